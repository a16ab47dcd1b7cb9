#include "plan/SilenceScan.h"

#include "format/Decoder.h"
#include "format/Source.h"
#include "io/Errors.h"
#include "plan/Peaks.h"

#include <mpg123.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace mp3core {

namespace {

// Closes the handle when the scan returns, whichever way.
struct TDecoder
{
    mpg123_handle *Handle = nullptr;
    ~TDecoder() { CloseDecoder(Handle); }
};

int64_t Middle(const TSilence &s)
{
    return (s.StartMs + s.EndMs) / 2;
}

// A silence at either end of the recording parts nothing.
bool AtAnEnd(const TSilence &s, const TSilenceScan &scan)
{
    return s.StartMs <= 0 || s.EndMs >= scan.LengthMs;
}

} // namespace

namespace {

// The level of decoded samples in windows of 10 ms, and the quiet stretches it finds: a
// window is silent when its mean square lies under the threshold's.
class TQuietMeter
{
public:
    TQuietMeter(long rate, int channels, int64_t offsetMs, const TSilenceOptions &options,
                TSilenceScan &scan)
        : rate_(rate), channels_(channels), offsetMs_(offsetMs), options_(options), scan_(scan),
          window_(std::max<int64_t>(1, rate / 100)),
          limit_(std::pow(10.0, options.ThresholdDb / 10.0) * 32768.0 * 32768.0)
    {
    }

    // Measures frames of interleaved samples.
    void Add(const int16_t *samples, int64_t frames)
    {
        for (int64_t i = 0; i < frames;) {
            // The rest of the window, or of the samples: summed in one run of integer squares.
            const int64_t take = std::min(frames - i, window_ - inWindow_);
            const int16_t *q = samples + i * channels_;
            int64_t squares = 0;
            for (int64_t k = 0; k < take * channels_; ++k) {
                squares += int32_t(q[k]) * q[k];
            }
            sum_ += double(squares);
            inWindow_ += take;
            sample_ += take;
            i += take;
            if (inWindow_ == window_) {
                const bool quiet = sum_ / double(window_ * channels_) < limit_;
                if (quiet && quietFrom_ < 0) {
                    quietFrom_ = sample_ - window_;
                } else if (!quiet) {
                    EndQuiet(sample_ - window_);
                }
                inWindow_ = 0;
                sum_ = 0;
            }
        }
    }

    // The squares of a whole stream of so many samples, summed by window already.
    void AddWindows(const std::vector<double> &sums, int64_t samples)
    {
        for (int64_t w = 0; w < samples / window_; ++w) {
            sample_ += window_;
            const bool quiet = sums[size_t(w)] / double(window_ * channels_) < limit_;
            if (quiet && quietFrom_ < 0) {
                quietFrom_ = sample_ - window_;
            } else if (!quiet) {
                EndQuiet(sample_ - window_);
            }
        }
        inWindow_ = samples - sample_; // the last window, unfinished, is not measured
        sample_ = samples;
    }

    // The stream has ended: so has a silence at its end (the next stream has another format).
    void End()
    {
        EndQuiet(sample_ - inWindow_);
        scan_.LengthMs = Ms(sample_);
    }

    int64_t Ms(int64_t sample) const { return offsetMs_ + sample * 1000 / rate_; }
    int64_t Sample() const { return sample_; }

private:
    void EndQuiet(int64_t at)
    {
        if (quietFrom_ >= 0 && (at - quietFrom_) * 1000 / rate_ >= options_.MinSilenceMs) {
            scan_.Silences.push_back({Ms(quietFrom_), Ms(at)});
        }
        quietFrom_ = -1;
    }

    long rate_;
    int channels_;
    int64_t offsetMs_;
    const TSilenceOptions &options_;
    TSilenceScan &scan_;
    int64_t window_;
    double limit_;
    int64_t sample_ = 0;     // samples (per channel) measured so far
    int64_t inWindow_ = 0;   // of the current window
    double sum_ = 0;         // its squares
    int64_t quietFrom_ = -1; // the first sample of the current quiet stretch
};

// Scans one stream's decoded samples into scan, its times from offsetMs on; false when progress
// stopped it.
bool ScanStream(mpg123_handle *handle, long rate, int channels, int64_t offsetMs,
                const TSilenceOptions &options, const TScanProgress &progress, TSilenceScan &scan)
{
    TQuietMeter meter(rate, channels, offsetMs, options, scan);
    std::vector<int16_t> buffer(size_t(64 * 1024));
    int64_t reported = meter.Ms(0);
    bool stopped = false;
    for (;;) {
        size_t bytes = 0;
        const int rc = mpg123_read(handle, buffer.data(), buffer.size() * 2, &bytes);
        meter.Add(buffer.data(), int64_t(bytes / 2 / size_t(channels)));
        if (progress && meter.Ms(meter.Sample()) - reported >= 10000) {
            reported = meter.Ms(meter.Sample());
            if (!progress(reported)) {
                stopped = true;
                break;
            }
        }
        if (rc == MPG123_NEW_FORMAT) {
            continue;
        }
        if (rc != MPG123_OK) {
            break; // MPG123_DONE at the end
        }
    }
    meter.End();
    return !stopped;
}

} // namespace

namespace {

// Decodes each of the given streams (bytes of the file, and where each starts on its
// timeline) in turn; bytes {0, -1}: the whole file, which a decoder that finds nothing names.
TSilenceScan ScanStreams(const std::filesystem::path &file,
                         const std::vector<std::pair<TByteRange, int64_t>> &streams,
                         const TSilenceOptions &options, const TScanProgress &progress)
{
    TSilenceScan scan;
    for (const auto &[bytes, startMs] : streams) {
        long rate = 0;
        int channels = 0;
        TDecoder d;
        d.Handle = OpenDecoder(file.string(), bytes, rate, channels, scan.Error);
        if (d.Handle == nullptr) {
            return scan;
        }
        if (!ScanStream(d.Handle, rate, channels, startMs, options, progress, scan)) {
            scan.Stopped = true;
            break;
        }
    }
    return scan;
}

// The stream decoded in pieces on every core: each adds the squares of its samples to the
// 10 ms windows they fall in (a window two pieces share under a lock); the quiet stretches
// are then found window by window, as the meter finds them in one decode.
TSilenceScan ScanInPieces(TSource &source, const TSilenceOptions &options,
                          const TScanProgress &progress)
{
    TSilenceScan scan;
    const TMPEGAFHdr &hdr = source.Hdr;
    const long rate = hdr.SampleRate;
    const int channels = hdr.ChannelMode == cmMono ? 1 : 2;
    const int64_t samples = hdr.PlayedSamples();
    const int64_t window = std::max<int64_t>(1, rate / 100);
    std::vector<double> sums(size_t(std::max<int64_t>(0, samples) / window + 1), 0.0);
    std::mutex shared;
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    std::atomic<int64_t> decoded{0};
    std::atomic<int64_t> told{0}; // the milliseconds progress was last told
    const TSampleSink sink = [&](size_t, int64_t first, const int16_t *s, int64_t count) {
        for (int64_t i = 0; i < count;) {
            const int64_t w = (first + i) / window;
            const int64_t take = std::min(count - i, (w + 1) * window - (first + i));
            int64_t squares = 0;
            for (const int16_t *q = s + i * channels, *e = q + take * channels; q < e; ++q) {
                squares += int32_t(*q) * *q;
            }
            std::unique_lock lock(shared, std::defer_lock);
            if (take < window) {
                lock.lock(); // a window this piece may share with the next
            }
            sums[size_t(w)] += double(squares);
            i += take;
        }
        const int64_t done = decoded += count;
        if (progress && done * 1000 / rate - told >= 10000) {
            const std::lock_guard lock(shared);
            if (done * 1000 / rate - told >= 10000) { // not told by another piece meanwhile
                told = done * 1000 / rate;
                if (!progress(told)) {
                    *cancel = true;
                }
            }
        }
    };
    const size_t cores =
        options.Threads > 0 ? options.Threads : std::max(1u, std::thread::hardware_concurrency());
    if (!DecodeInPieces(source, cores, sink, scan.Error, cancel)) {
        scan.Stopped = scan.Error.empty();
        return scan;
    }
    // The windows in order, as the meter takes them: the last, unfinished one is not measured.
    TQuietMeter meter(rate, channels, 0, options, scan);
    meter.AddWindows(sums, samples);
    meter.End();
    return scan;
}

} // namespace

TSilenceScan FindSilences(TSource &source, const TSilenceOptions &options,
                          const TScanProgress &progress)
{
    if (options.Threads != 1 && source.StreamCount() == 1 && source.Hdr.Layer == lyLayer3 &&
        source.Hdr.FrameCount > 0) {
        return ScanInPieces(source, options, progress);
    }
    // Every stream of the file, decoded in turn on the file's timeline.
    std::vector<std::pair<TByteRange, int64_t>> streams;
    for (size_t k = 0; k < source.StreamCount(); ++k) {
        const TMPEGAFHdr &hdr = source.StreamHdr(k);
        streams.push_back({{hdr.StreamStart, hdr.AudioEnd}, source.StreamStartMs(k)});
    }
    return ScanStreams(source.Stream->FileName(), streams, options, progress);
}

TSilenceScan FindSilences(const std::filesystem::path &file, const TSilenceOptions &options,
                          const TScanProgress &progress)
{
    TSource source;
    try {
        source.Stream = std::make_unique<TFileStream>(file, fmOpenRead);
        if (source.Stream->Kind().empty() && source.ReadStreams()) {
            return FindSilences(source, options, progress);
        }
    } catch (const EStreamError &) {
    }
    // Not MPEG audio as the core reads it: the decoder gets the whole file, and says why it
    // finds nothing.
    return ScanStreams(file, {{{0, -1}, 0}}, options, progress);
}

std::vector<int64_t> SilenceCutPoints(const TSilenceScan &scan, const TSilenceOptions &options)
{
    std::vector<int64_t> points;
    int64_t last = 0;
    for (const TSilence &s : scan.Silences) {
        if (AtAnEnd(s, scan)) {
            continue;
        }
        const int64_t middle = Middle(s);
        if (middle - last < options.MinPartMs) {
            continue; // the part before would be too short: it goes on into the next
        }
        points.push_back(middle);
        last = middle;
    }
    if (!points.empty() && scan.LengthMs - points.back() < options.MinPartMs) {
        points.pop_back(); // so would the last part: it merges into the one before
    }
    return points;
}

std::vector<int64_t> AdjustToSilences(const std::vector<int64_t> &points, const TSilenceScan &scan,
                                      int64_t withinMs)
{
    std::vector<int64_t> moved;
    for (const int64_t p : points) {
        int64_t best = p;
        int64_t distance = withinMs + 1;
        for (const TSilence &s : scan.Silences) {
            if (!AtAnEnd(s, scan) && std::abs(Middle(s) - p) < distance) {
                best = Middle(s);
                distance = std::abs(best - p);
            }
        }
        moved.push_back(best);
    }
    std::sort(moved.begin(), moved.end());
    moved.erase(std::unique(moved.begin(), moved.end()), moved.end());
    return moved;
}

std::vector<TSilence> SilencesLeftOut(const TSilenceScan &scan, const std::vector<int64_t> &points)
{
    std::vector<TSilence> out;
    for (const TSilence &s : scan.Silences) {
        if (AtAnEnd(s, scan) ||
            std::find(points.begin(), points.end(), Middle(s)) != points.end()) {
            out.push_back(s);
        }
    }
    return out;
}

} // namespace mp3core
