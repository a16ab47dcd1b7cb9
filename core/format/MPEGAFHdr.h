#pragma once
// MPEG audio frame headers: finding the first frame of a file, describing its format, and
// copying the whole frames that lie between two times.

#include "format/FrameIndex.h"
#include "io/FileStream.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mp3core {

// kbps by [version: MPEG-1, MPEG-2, MPEG-2.5][layer: I, II, III][bitrate index].
// Index 0 (free format) is 0, index 15 (not allowed) is -1; MPEG-2.5 uses the MPEG-2 rows.
inline constexpr std::array<std::array<std::array<int32_t, 16>, 3>, 3> BitrateTable{{
    {{
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, -1},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, -1},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, -1},
    }},
    {{
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, -1},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1},
    }},
    {{
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, -1},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1},
    }},
}};

// Hz by [version][sample-rate index]; index 3 is reserved.
inline constexpr std::array<std::array<int32_t, 4>, 3> SampleRateTable{{
    {44100, 48000, 32000, -1},
    {22050, 24000, 16000, -1},
    {11025, 12000, 8000, -1},
}};

inline constexpr std::array<std::string_view, 4> EmphasisNames{"None", "50/15 ms", "", "CCIT J.17"};

// The MPEG version, numbered as the tables' rows are (less one): MPEG-2.5 is 3.
enum TMpegVersion : int32_t
{
    mvReserved = 0,
    mvMpeg1 = 1,
    mvMpeg2 = 2,
    mvMpeg25 = 3,
};

// The layer, I to III; 0 is reserved.
enum TLayer : int32_t
{
    lyReserved = 0,
    lyLayer1 = 1,
    lyLayer2 = 2,
    lyLayer3 = 3,
};

// The channel mode of byte 3, bits 7-6.
enum TChannelMode : int32_t
{
    cmStereo = 0,
    cmJointStereo = 1,
    cmDualChannel = 2,
    cmMono = 3,
};

// "1", "2" or "2.5": the version as a listener reads it after "MPEG".
const char *VersionText(TMpegVersion version);

// One header decoded from its four bytes, with nothing read around it.
struct TFrameInfo
{
    TMpegVersion MPEGVersion = mvReserved;
    TLayer Layer = lyReserved;
    int32_t Bitrate = -1;    // kbps; 0 free format, -1 not allowed
    int32_t SampleRate = -1; // Hz; -1 reserved
    int32_t PaddingSize = 0;
    int32_t FrameLength = 0;
    int32_t SamplesPerFrame = 0;
    bool Protected = false; // a 16-bit CRC follows the header
    bool Mono = false;      // one channel
    bool Valid = false;     // usable as an audio frame: free format does not count
};

// True when the two bytes are the eleven sync bits of a frame header.
constexpr bool IsSync(uint8_t b0, uint8_t b1)
{
    return b0 == 0xFF && (b1 & 0xE0) == 0xE0;
}

TFrameInfo DecodeFrameInfo(const uint8_t *header);

// Bytes of Layer III side information after the header (and its CRC): 32 or 17 for MPEG-1
// (stereo or mono), 17 or 9 for MPEG-2 and 2.5. Xing and Info headers follow it.
constexpr int32_t SideInfoBytes(TMpegVersion version, bool mono)
{
    return version == mvMpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
}

// Frames of one stream agree on these; a header that differs is not the next frame. Two
// encodes put end to end that differ in one of them are two streams.
constexpr bool SameStream(const TFrameInfo &a, const TFrameInfo &b)
{
    return a.MPEGVersion == b.MPEGVersion && a.Layer == b.Layer && a.SampleRate == b.SampleRate &&
           a.Mono == b.Mono;
}

// Bytes [Start, End) of a file; empty when End <= Start.
struct TByteRange
{
    int64_t Start = 0;
    int64_t End = 0;
};

// The bytes a window reader holds, kept from one reader to the next over the same stream, so
// that the queries of a job read each byte of the file once.
struct TWindow
{
    std::unique_ptr<uint8_t[]> Buffer;   // ReaderBlock bytes, allocated on first use
    const TFileStream *Stream = nullptr; // whose bytes it holds
    int64_t Start = 0;
    int64_t Length = 0;
    int64_t Next = 4 * 1024; // size of the next read: a search usually ends within a frame or two
};

class TWindowReader;

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
    using TCopyProgress = std::function<bool(int64_t copied, int64_t total)>;

    // The whole frames from the first frame at or after startMs up to the first frame at or
    // after endMs (or the end of the audio); empty when none.
    TByteRange RangeBytes(TFileStream &source, int64_t startMs, int64_t endMs);
    // Appends the bytes of range to target; returns the bytes written, fewer only when progress
    // stopped the copy. With crc, the CRC-16 of the bytes copied is carried on in it.
    int64_t CopyBytes(TFileStream &source, TFileStream &target, TByteRange range,
                      const TCopyProgress &progress = {}, uint16_t *crc = nullptr);

    // Byte offset of the first frame at or after ms, or AudioEnd when there is none.
    int64_t FrameOffsetAt(TFileStream &source, int64_t ms);
    // The first time at which a cut would leave only the last frame after it, or nothing: a
    // plan drops its cut points from there on, so that no part is empty or the last frame alone.
    int64_t LastCutMs(TFileStream &source);
    // The times of the frames that start nearest to every stepBytes of audio from the frame at
    // fromMs on, before the frame at toMs: cut points for parts of about that size, which this
    // object maps back to exactly those frames.
    std::vector<int64_t> SizeCutTimes(TFileStream &source, int64_t fromMs, int64_t toMs,
                                      int64_t stepBytes);

    // One frame of the stream by its number (0: the first audio frame), with what its Layer III
    // side information says of the bit reservoir.
    struct TFrameAt
    {
        int64_t Index = 0;
        int64_t Pos = 0;
        int32_t Length = 0;
        int32_t MainDataBegin = 0; // bytes of its audio data in the frames before it
        int32_t MainDataRoom = 0;  // bytes it holds for audio data, its own and later frames'
    };
    // The frames of the given numbers, which must rise; numbers past the last frame are left
    // out. A CBR file finds them by arithmetic, a VBR file by one walk.
    std::vector<TFrameAt> FramesAt(TFileStream &source, const std::vector<int64_t> &indices);
    // The number of the first frame that starts at or after ms, were the stream to go on so
    // long: for a walked stream, the frame FrameOffsetAt finds.
    int64_t FrameNumberAt(int64_t ms) const;
    // The number of the frame at or after ms, as FrameOffsetAt finds it.
    int64_t FrameIndexAt(TFileStream &source, int64_t ms);

    // Bytes between two frames that are no frame (junk), in order: those that the walks so
    // far stepped over inside range, which every walk that reached range's end has seen.
    std::vector<TByteRange> JunkWithin(TByteRange range) const;
    // Where the walks so far found the frames of a walked stream.
    const TFrameIndex &Index() const { return index_; }
    // All the junk among the frames, walking them to the end where they are walked.
    std::vector<TByteRange> FindJunk(TFileStream &source);

private:
    // ReadFirstFrame's steps: the first frames (VBR when their bitrates differ; where they
    // start, and whether the encoder pads), the count of a CBR stream by arithmetic (false
    // when its last frame is not where the arithmetic puts it), and the count by a walk.
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
