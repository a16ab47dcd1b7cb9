#pragma once
// A frame header as a value: the tables, the version, layer and channel mode, and what one
// header's four bytes tell without anything read around them.

#include "io/FileStream.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

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

} // namespace mp3core
