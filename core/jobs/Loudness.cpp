#include "jobs/Loudness.h"

#include "format/Decoder.h"
#include "io/FileStream.h"

#include <ebur128.h>
#include <mpg123.h>

#include <algorithm>
#include <cmath>

namespace mp3core {

namespace {

std::shared_ptr<void> NewState(int channels, long rate, TPeakKind peak)
{
    const int mode = EBUR128_MODE_I | EBUR128_MODE_HISTOGRAM |
                     (peak == TPeakKind::True ? EBUR128_MODE_TRUE_PEAK : EBUR128_MODE_SAMPLE_PEAK);
    ebur128_state *state = ebur128_init(unsigned(channels), static_cast<unsigned long>(rate), mode);
    return std::shared_ptr<void>(state, [](void *s) {
        auto *p = static_cast<ebur128_state *>(s);
        ebur128_destroy(&p);
    });
}

} // namespace

std::optional<TLoudness> MeasureLoudness(const std::filesystem::path &file, TPeakKind peakKind,
                                         std::string &error, int64_t from, int64_t to)
{
    long rate = 0;
    int channels = 0;
    mpg123_handle *handle = OpenFloatDecoder(file.string(), rate, channels, error);
    if (handle == nullptr) {
        return std::nullopt;
    }
    TLoudness result;
    result.State = NewState(channels, rate, peakKind);
    auto *state = static_cast<ebur128_state *>(result.State.get());
    std::vector<float> block(size_t(1152 * 64 * channels));
    int64_t read = 0;
    for (;;) {
        size_t bytes = 0;
        const int rc = mpg123_read(handle, reinterpret_cast<unsigned char *>(block.data()),
                                   block.size() * sizeof(float), &bytes);
        // The block's samples from..to, of those read so far.
        const int64_t frames = int64_t(bytes / sizeof(float)) / channels;
        const int64_t first = std::clamp<int64_t>(from - read, 0, frames);
        const int64_t last = to < 0 ? frames : std::clamp<int64_t>(to - read, 0, frames);
        read += frames;
        if (last > first && state != nullptr) {
            ebur128_add_frames_float(state, block.data() + first * channels, size_t(last - first));
        }
        if (rc == MPG123_DONE || (to >= 0 && read >= to)) {
            break;
        }
        if (rc != MPG123_OK && rc != MPG123_NEW_FORMAT) {
            error = mpg123_strerror(handle);
            CloseDecoder(handle);
            return std::nullopt;
        }
    }
    CloseDecoder(handle);
    if (state == nullptr) {
        error = "the loudness meter cannot be started";
        return std::nullopt;
    }
    ebur128_loudness_global(state, &result.Lufs);
    for (int ch = 0; ch < channels; ++ch) {
        double peak = 0;
        (peakKind == TPeakKind::True ? ebur128_true_peak : ebur128_sample_peak)(state, unsigned(ch),
                                                                                &peak);
        result.Peak = std::max(result.Peak, peak);
    }
    return result;
}

std::optional<TLoudness> MeasureLoudness(TFileStream &written, TPeakKind peak, std::string &error)
{
    // Through a name of its own descriptor: the file may have none yet.
    return MeasureLoudness(DescriptorPath(written), peak, error);
}

double AlbumLufs(const std::vector<TLoudness> &tracks)
{
    std::vector<ebur128_state *> states;
    for (const TLoudness &t : tracks) {
        if (t.State) {
            states.push_back(static_cast<ebur128_state *>(t.State.get()));
        }
    }
    double lufs = -HUGE_VAL;
    if (!states.empty()) {
        ebur128_loudness_global_multiple(states.data(), states.size(), &lufs);
    }
    return lufs;
}

} // namespace mp3core
