#pragma once
// An MPEG audio stream as the window and the jobs see it: its first frame found and decoded
// into the fields they show, its length counted; a thin front over the frame header (a value,
// FrameHeader.h), the information frame (InfoFrame.h) and where the frames lie
// (StreamFrames.h), which answers its queries.

#include "format/FrameHeader.h"
#include "format/StreamFrames.h"
#include "io/FileStream.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mp3core {

// libmpg123 and LAME's decoder count 529 samples of their own delay before the first sample of
// the first frame comes out: a gapless decoder drops the tag's delay plus these.
inline constexpr int64_t DecoderDelay = 529;

class TMPEGAFHdr
{
public:
    std::array<uint8_t, 4> Header{};
    TMpegVersion MPEGVersion = mvReserved;
    int32_t Bitrate = 0; // kbps; for a VBR file the average over its audio
    int32_t SampleRate = 0;
    int32_t FrameLength = 0;
    int64_t FrameCount = 0;
    int64_t Duration = 0; // ms
    TLayer Layer = lyReserved;
    int32_t PaddingSize = 0;
    bool PaddingFlag = false;
    TChannelMode ChannelMode = cmStereo;
    int32_t ModeExtension = 0;
    bool RightsFlag = false;
    bool OriginalFlag = false;
    std::string EmphasisName;

    // What ReadFirstFrame learnt of the file beyond the first header.
    bool VBR = false;
    // Frames are found by walking their headers, not by arithmetic: VBR, or a CBR stream with
    // junk among its frames.
    bool WalkFrames = false;
    int32_t SamplesPerFrame = 0;
    int64_t StreamStart = 0; // first frame: the Xing/Info/VBRI frame where there is one
    int64_t AudioStart = 0;  // first audio frame: after ID3v2 tags, junk and a Xing/Info/VBRI frame
    int64_t AudioEnd = 0;    // end of the audio: the start of trailing ID3v1 and APEv2 tags
    // The encoder's LAME tag, when its information frame has one: the samples a gapless
    // decoder drops at the start (the delay) and at the end (the padding) of the stream.
    bool HasLameTag = false;
    std::array<uint8_t, 36> LameTag{};
    int32_t EncoderDelay = 0;
    int32_t EncoderPadding = 0;
    // The playing time as a gapless player plays the file: Duration less the delay and the
    // padding its LAME tag names.
    int64_t PlayedMs() const;
    // The samples (per channel) a gapless player plays: the frames' less that delay and padding.
    int64_t PlayedSamples() const;
    // The samples a gapless decoder drops before the first one played: the tag's delay and the
    // decoder's own (none without a LAME tag).
    int64_t LeadSamples() const { return HasLameTag ? EncoderDelay + DecoderDelay : 0; }

    // Finds and decodes the first audio frame of the stream and estimates the file's length.
    // From a later byte (from): the stream that starts there, as where the format changes.
    bool ReadFirstFrame(TFileStream &stream, int64_t from = 0);
    // ReadFirstFrame's first step: the stream's bytes (StreamStart, AudioStart, AudioEnd), its
    // format and its encoder's tag, without counting its frames (which may walk the file).
    bool Locate(TFileStream &stream, int64_t from = 0);
    // After ReadFirstFrame found no frame: the file is a free-format stream, which it does not
    // read.
    bool FreeFormat = false;
    // Decodes Header into the fields; true when it describes a usable frame.
    bool DecodeHeader();
    int32_t CalcFrameLength() const;

    // Called between the blocks of a long copy with the bytes copied so far and the bytes to
    // copy; returning false stops the copy there.
    using TCopyProgress = TStreamFrames::TCopyProgress;

    // The queries of where the frames lie, answered by the stream's frames (see StreamFrames.h)
    // once ReadFirstFrame has counted them.
    //
    // The whole frames from the first frame at or after startMs up to the first frame at or
    // after endMs (or the end of the audio); empty when none.
    TByteRange RangeBytes(TFileStream &source, int64_t startMs, int64_t endMs)
    {
        return frames_.RangeBytes(source, startMs, endMs);
    }
    // Appends the bytes of range to target; returns the bytes written, fewer only when progress
    // stopped the copy. With crc, the CRC-16 of the bytes copied is carried on in it.
    int64_t CopyBytes(TFileStream &source, TFileStream &target, TByteRange range,
                      const TCopyProgress &progress = {}, uint16_t *crc = nullptr)
    {
        return frames_.CopyBytes(source, target, range, progress, crc);
    }
    // Byte offset of the first frame at or after ms, or AudioEnd when there is none.
    int64_t FrameOffsetAt(TFileStream &source, int64_t ms)
    {
        return frames_.FrameOffsetAt(source, ms);
    }
    // The first time at which a cut would leave only the last frame after it, or nothing: a
    // plan drops its cut points from there on, so that no part is empty or the last frame alone.
    int64_t LastCutMs(TFileStream &source) { return frames_.LastCutMs(source); }
    // The times of the frames that start nearest to every stepBytes of audio from the frame at
    // fromMs on, before the frame at toMs: cut points for parts of about that size, which this
    // object maps back to exactly those frames.
    std::vector<int64_t> SizeCutTimes(TFileStream &source, int64_t fromMs, int64_t toMs,
                                      int64_t stepBytes)
    {
        return frames_.SizeCutTimes(source, fromMs, toMs, stepBytes);
    }
    // One frame of the stream by its number (0: the first audio frame), with what its Layer III
    // side information says of the bit reservoir.
    using TFrameAt = TStreamFrames::TFrameAt;
    // The frames of the given numbers, which must rise; numbers past the last frame are left
    // out. A CBR file finds them by arithmetic, a VBR file by one walk.
    std::vector<TFrameAt> FramesAt(TFileStream &source, const std::vector<int64_t> &indices)
    {
        return frames_.FramesAt(source, indices);
    }
    // The number of the first frame that starts at or after ms, were the stream to go on so
    // long: for a walked stream, the frame FrameOffsetAt finds.
    int64_t FrameNumberAt(int64_t ms) const { return frames_.FrameNumberAt(ms); }
    // The number of the frame at or after ms, as FrameOffsetAt finds it.
    int64_t FrameIndexAt(TFileStream &source, int64_t ms)
    {
        return frames_.FrameIndexAt(source, ms);
    }
    // Bytes between two frames that are no frame (junk), in order: those that the walks so
    // far stepped over inside range, which every walk that reached range's end has seen.
    std::vector<TByteRange> JunkWithin(TByteRange range) const { return frames_.JunkWithin(range); }
    // Where the walks so far found the frames of a walked stream.
    const TFrameIndex &Index() const { return frames_.Index(); }
    // Walks frames first to end from byte pos, handing each one's bytes to sink (see
    // StreamFrames.h).
    void ForEachFrame(TFileStream &source, int64_t first, int64_t pos, int64_t end,
                      const TStreamFrames::TFrameSink &sink)
    {
        frames_.ForEachFrame(source, first, pos, end, sink);
    }
    // All the junk among the frames, walking them to the end where they are walked.
    std::vector<TByteRange> FindJunk(TFileStream &source) { return frames_.FindJunk(source); }

private:
    TStreamFrames frames_;
};

} // namespace mp3core
