#pragma once
// An output's level as a request asks it: a gain, fades, a gain found from its peak
// (normalizing), and its ReplayGain measured and written into its tag.

#include "jobs/Loudness.h"
#include "output/OutputAssembly.h"

#include <cstdint>
#include <optional>

namespace mp3core {

struct TLevelRequest
{
    TLevel Level; // the gain in steps and the fades of every output
    // Instead of the gain: the largest step that keeps each output's true peak at or under
    // this level (dBFS).
    std::optional<double> NormalizeDbfs;
    bool NormalizeAlbum = false; // a split's parts: one normalizing step for all
    bool ReplayGain = false;     // ReplayGain 2.0 tags (a split's parts: with the album's)

    // Whether the frames change (only Layer III frames can).
    bool ChangesFrames() const { return Level.Any() || NormalizeDbfs.has_value(); }
};

// What an output's level came to.
struct TLevelled
{
    int GainSteps = 0;
    int64_t Clamped = 0;               // granules whose gain stopped at 0 or 255
    std::optional<TLoudness> Loudness; // measured for ReplayGain
};

// The largest step that keeps a true peak at or under dbfs; 0 for silence.
int StepsUnder(double peak, double dbfs);

// Writes the output into out, still open (see WriteOutput), with the level asked for, where
// normalizing without albumSteps first writes it as it is to measure its true peak. Raises the
// stream errors, an EStreamError when the output cannot be decoded. False when progress
// stopped it.
bool WriteLevelled(TSource &input, TFileStream &out, const TOutputPlan &plan,
                   const TOutputTags &tags, const TMPEGAFHdr::TCopyProgress &progress,
                   const TLevelRequest &request, std::optional<int> albumSteps, TLevelled &facts);

// An output's ReplayGain loudness, measured as a gapless player decodes it (its sample peak).
// Raises an EStreamError when it cannot be decoded.
TLoudness MeasureReplayGain(TFileStream &out);
// Its track values into the room its tag keeps at at (album: as the album's too, until
// WriteAlbumGain).
void WriteTrackGain(TFileStream &out, int64_t at, size_t room, const TLoudness &loudness,
                    bool album);

// The album's values of outputs written with ReplayGain, into each one's tag (files in place).
struct TWrittenGain
{
    std::filesystem::path File;
    int64_t At = -1; // see TOutputTags::ReplayGainAt
    size_t Room = 0;
    TLoudness Loudness;
};
// Returns the album's gain and peak. Raises the stream errors.
TReplayGain WriteAlbumGain(const std::vector<TWrittenGain> &outputs);

} // namespace mp3core
