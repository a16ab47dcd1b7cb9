#pragma once
// The input file of a job, open, with every stream in it found. A file may hold several
// streams: encodes put end to end (joined radio recordings, files joined with cat) that differ
// in sample rate, MPEG version, layer or channel count. Each is read as a file of its own, and
// the file's timeline runs through them in order.

#include "format/MPEGAFHdr.h"
#include "io/FileStream.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace mp3core {

struct TSource
{
    std::unique_ptr<TFileStream> Stream;
    TMPEGAFHdr Hdr; // the first stream
    struct TLaterStream
    {
        std::unique_ptr<TMPEGAFHdr> Hdr;
        int64_t StartMs = 0; // where it starts on the file's timeline
    };
    std::vector<TLaterStream> Later;

    // Finds the streams of the open Stream; false when no MPEG audio starts it (see
    // Hdr.FreeFormat). Raises the stream errors.
    bool ReadStreams();

    size_t StreamCount() const { return 1 + Later.size(); }
    TMPEGAFHdr &StreamHdr(size_t k) { return k == 0 ? Hdr : *Later[k - 1].Hdr; }
    const TMPEGAFHdr &StreamHdr(size_t k) const { return k == 0 ? Hdr : *Later[k - 1].Hdr; }
    int64_t StreamStartMs(size_t k) const { return k == 0 ? 0 : Later[k - 1].StartMs; }
    // The stream that plays at ms (the last one from its start on).
    size_t StreamAt(int64_t ms) const;
    // The whole file's playing time, every stream's.
    int64_t LengthMs() const;
    // The first time at which a cut would leave only the last frame after it, or nothing.
    int64_t LastCutMs();
    // Cut points for parts of about stepBytes each, from fromMs to toMs, in every stream.
    std::vector<int64_t> SizeCutTimes(int64_t fromMs, int64_t toMs, int64_t stepBytes);
    // The bytes from the first frame at or after startMs to the first frame at or after endMs,
    // or to the end of the audio when there is no end; in the given stream, on its own timeline.
    TByteRange RangeBytes(int64_t startMs, const std::optional<int64_t> &endMs, size_t stream = 0);
};

} // namespace mp3core
