#pragma once
// Where the frames of one stream lie: frame number, byte offset and time mapped to one another,
// by arithmetic for a CBR stream and through the frame index for a walked one (VBR, or CBR
// with junk among its frames); and the count of its frames. TMPEGAFHdr finds a stream and
// describes it; this answers where its frames are.

#include "format/FrameHeader.h"
#include "format/FrameIndex.h"
#include "io/FileStream.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace mp3core {

class TWindowReader;

class TStreamFrames
{
public:
    // What the stream's reading found, and its count of frames: the facts the queries use.
    int64_t AudioStart = 0; // the first audio frame
    int64_t AudioEnd = 0;   // the end of the audio
    int32_t Bitrate = 0;    // kbps; for a VBR stream the average over its audio
    int32_t SampleRate = 0;
    int32_t SamplesPerFrame = 0;
    int32_t FrameLength = 0; // of the first audio frame
    int64_t FrameCount = 0;
    int64_t Duration = 0; // ms
    bool VBR = false;
    bool WalkFrames = false; // frames are found by walking their headers, not by arithmetic

    // Starts over with a stream whose first audio frame (decoded as first, its bytes header)
    // lies at audioStart; vbr, frames and bytes as its information frame says (0: unknown).
    void Begin(const TFrameInfo &first, const std::array<uint8_t, 4> &header, int64_t audioStart,
               int64_t audioEnd, bool vbr, int64_t frames, int64_t bytes);
    // Counts the frames of the stream that starts (with its information frame) at streamStart:
    // by the information frame's count where it holds, by arithmetic for CBR where the last
    // frame lies where it puts it, otherwise by a walk.
    void Count(TFileStream &stream, int64_t streamStart);
    // The window the stream's reads go through, kept from call to call.
    TWindow &Window() { return window_; }

    // Called between the blocks of a long copy with the bytes copied so far and the bytes to
    // copy; returning false stops the copy there.
    using TCopyProgress = std::function<bool(int64_t copied, int64_t total)>;
    // See TMPEGAFHdr: the queries it hands on.
    TByteRange RangeBytes(TFileStream &source, int64_t startMs, int64_t endMs);
    int64_t CopyBytes(TFileStream &source, TFileStream &target, TByteRange range,
                      const TCopyProgress &progress = {}, uint16_t *crc = nullptr);
    int64_t FrameOffsetAt(TFileStream &source, int64_t ms);
    int64_t LastCutMs(TFileStream &source);
    std::vector<int64_t> SizeCutTimes(TFileStream &source, int64_t fromMs, int64_t toMs,
                                      int64_t stepBytes);
    struct TFrameAt
    {
        int64_t Index = 0;
        int64_t Pos = 0;
        int32_t Length = 0;
        int32_t MainDataBegin = 0; // bytes of its audio data in the frames before it
        int32_t MainDataRoom = 0;  // bytes it holds for audio data, its own and later frames'
    };
    std::vector<TFrameAt> FramesAt(TFileStream &source, const std::vector<int64_t> &indices);
    int64_t FrameNumberAt(int64_t ms) const;
    int64_t FrameIndexAt(TFileStream &source, int64_t ms);
    std::vector<TByteRange> JunkWithin(TByteRange range) const;
    const TFrameIndex &Index() const { return index_; }
    std::vector<TByteRange> FindJunk(TFileStream &source);
    // Walks the frames numbered first up to end (not included) from byte pos, handing each
    // one's number and bytes to sink in order: one read of them, noted in the index and the
    // junk list as every walk is. Stops early at the end of the audio.
    using TFrameSink = std::function<void(int64_t number, const uint8_t *bytes, int32_t length)>;
    void ForEachFrame(TFileStream &source, int64_t first, int64_t pos, int64_t end,
                      const TFrameSink &sink);

private:
    // Count's steps: the first frames (VBR when their bitrates differ; where they start, and
    // whether the encoder pads), the count of a CBR stream by arithmetic (false when its last
    // frame is not where the arithmetic puts it), and the count by a walk.
    std::vector<int64_t> ProbeFrames(TWindowReader &reader, bool &padded);
    bool CountCbr(TWindowReader &reader, const std::vector<int64_t> &probed, bool padded,
                  bool countHolds);
    void CountByWalk(TWindowReader &reader);
    std::function<void(TByteRange)> NoteJunk();

    std::vector<TByteRange> junk_; // found by the walks, in order
    bool walkedAll_ = false;       // a walk went over every frame: junk_ is all there is
    int64_t infoFrames_ = 0;       // what the information frame announces, 0 when unknown
    int64_t infoBytes_ = 0;
    TFrameInfo first_{};                   // the first audio frame: the stream's reference header
    std::array<uint8_t, 4> firstHeader_{}; // and its bytes
    TFrameIndex index_;                    // where the walks found the frames
    // A CBR frame's average length in bytes, cbrNum_ / cbrDen_: frame i starts within a
    // byte of i times it.
    int64_t cbrNum_ = 1;
    int64_t cbrDen_ = 1;
    // Kept from call to call: a split copies many ranges with one object.
    TWindow window_;
    std::unique_ptr<char[]> copyBuffer_;
};

} // namespace mp3core
