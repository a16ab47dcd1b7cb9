#pragma once
// How loud an output plays and how high its peaks reach, measured on its decoded samples (as a
// gapless player decodes them, in floating point, so that a peak over full scale is seen):
// for normalizing and for ReplayGain 2.0 tags.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mp3core {

class TFileStream;

struct TLoudness
{
    double Lufs = 0; // integrated loudness (EBU R128); -inf (as -HUGE_VAL) for silence
    double Peak = 0; // the highest sample, or the true peak (4x oversampled); 1.0 full scale
    // The measure as far as it goes, for an album's loudness over several outputs.
    std::shared_ptr<void> State;
};

enum class TPeakKind
{
    Sample, // the highest sample, as ReplayGain tags (foobar2000) give it
    True,   // between the samples too: four times oversampled (and four times slower)
};

// Measures a file, or the samples from..to of it (of a channel, as a gapless player counts
// them; to -1: to its end); empty with error filled when it cannot be decoded.
std::optional<TLoudness> MeasureLoudness(const std::filesystem::path &file, TPeakKind peak,
                                         std::string &error, int64_t from = 0, int64_t to = -1);
// The same for a file still open for writing (an output before it is put in place).
std::optional<TLoudness> MeasureLoudness(TFileStream &written, TPeakKind peak, std::string &error);
// The loudness of outputs played one after the other, as one album.
double AlbumLufs(const std::vector<TLoudness> &tracks);

// ReplayGain 2.0: the gain that brings a loudness to -18 LUFS, in dB.
inline constexpr double ReplayGainReference = -18.0;

} // namespace mp3core
