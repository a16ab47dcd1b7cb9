#include "jobs/LevelledOutput.h"

#include "io/Errors.h"

#include <algorithm>
#include <cmath>

namespace mp3core {

int StepsUnder(double peak, double dbfs)
{
    if (!(peak > 0)) {
        return 0;
    }
    return int(std::floor(4 * std::log2(std::pow(10.0, dbfs / 20) / peak) + 1e-9));
}

namespace {

TReplayGain TrackGain(const TLoudness &loudness)
{
    return {ReplayGainReference - loudness.Lufs, loudness.Peak, std::nullopt, std::nullopt};
}

TLoudness Measured(TFileStream &out, TPeakKind peak)
{
    std::string error;
    std::optional<TLoudness> loudness = MeasureLoudness(out, peak, error);
    if (!loudness) {
        throw EStreamError("the output cannot be decoded to measure it: " + error);
    }
    return *loudness;
}

} // namespace

bool WriteLevelled(TSource &input, TFileStream &out, const TOutputPlan &plan,
                   const TOutputTags &tags, const TMPEGAFHdr::TCopyProgress &progress,
                   const TLevelRequest &request, std::optional<int> albumSteps, TLevelled &facts)
{
    TLevel level = request.Level;
    if (request.NormalizeDbfs) {
        if (!albumSteps) {
            // Written as it is, measured, and written again with the step that fits.
            if (!WriteOutput(input, out, plan, tags, progress)) {
                return false;
            }
            albumSteps = StepsUnder(Measured(out, TPeakKind::True).Peak, *request.NormalizeDbfs);
            out.SetSize(0);
            out.Seek(0, soBeginning);
        }
        level.GainSteps = *albumSteps;
    }
    facts.GainSteps = level.GainSteps;
    return WriteOutput(input, out, plan, tags, progress, false, level, &facts.Clamped);
}

TLoudness MeasureReplayGain(TFileStream &out)
{
    return Measured(out, TPeakKind::Sample);
}

void WriteTrackGain(TFileStream &out, int64_t at, size_t room, const TLoudness &loudness,
                    bool album)
{
    TReplayGain gain = TrackGain(loudness);
    if (album) { // the track's values stand in until the album's are known
        gain.AlbumGainDb = gain.TrackGainDb;
        gain.AlbumPeak = gain.TrackPeak;
    }
    const std::vector<uint8_t> bytes = ReplayGainFrames(gain, room);
    out.WriteBufferAt(at, bytes.data(), int64_t(bytes.size()));
}

TReplayGain WriteAlbumGain(const std::vector<TWrittenGain> &outputs)
{
    std::vector<TLoudness> tracks;
    double peak = 0;
    for (const TWrittenGain &o : outputs) {
        tracks.push_back(o.Loudness);
        peak = std::max(peak, o.Loudness.Peak);
    }
    const double album = ReplayGainReference - AlbumLufs(tracks);
    for (const TWrittenGain &o : outputs) {
        TReplayGain gain = TrackGain(o.Loudness);
        gain.AlbumGainDb = album;
        gain.AlbumPeak = peak;
        const std::vector<uint8_t> bytes = ReplayGainFrames(gain, o.Room);
        TFileStream file(o.File, fmOpenReadWrite);
        file.WriteBufferAt(o.At, bytes.data(), int64_t(bytes.size()));
    }
    return {album, peak, album, peak};
}

} // namespace mp3core
