#pragma once
// The information frame at the head of a Layer III stream (Xing, Info or VBRI, with the LAME
// tag): read from a source as its encoder wrote it, and written for an output.

#include "format/MPEGAFHdr.h"

#include <array>
#include <cstdint>
#include <vector>

namespace mp3core {

class TWindowReader;

// What an encoder's information frame (Xing, Info or VBRI) in the first frame tells.
struct TInfoFrame
{
    bool Present = false;
    bool Vbr = false;
    int64_t Frames = 0; // audio frames, not counting the information frame; 0 when unknown
    int64_t Bytes = 0;  // the stream's bytes from the information frame on; 0 when unknown
    // The LAME extension after a Xing or Info header, when an encoder wrote one.
    bool Lame = false;
    std::array<uint8_t, 36> LameTag{};
};

TInfoFrame ReadInfoFrame(TWindowReader &reader, int64_t pos, const TFrameInfo &info);

// What an output's information frame tells of the frames behind it.
struct TInfoFacts
{
    int64_t Frames = 0;                 // the output's frames, the silent ones in front included
    int64_t FrameBytes = 0;             // the bytes of the source's frames it copies
    const std::vector<uint8_t> &Filler; // the silent frames in front of them
    const std::vector<int64_t> &Toc;    // where the frames at 0 %, 1 %, ... start, from them
    int32_t Delay = 0;                  // samples a gapless decoder drops at the start
    int32_t Padding = 0;                // and at the end
    uint16_t MusicCrc = 0;              // the CRC-16 of the frames, the silent ones included
};

// The information frame of an output, in the stream's own format: "Xing" for VBR, "Info" for
// CBR, with the seek table and the LAME tag (the source's, with this output's own values).
std::vector<uint8_t> InfoFrameBytes(const TMPEGAFHdr &hdr, const TInfoFacts &facts);

// Frames of the stream's format at a bitrate index (no CRC, no padding, no mode extension):
// the four header bytes, the frame's length, the lowest index with room for n bytes after the
// side information, and the room a frame of a CBR Layer III stream's own bitrate has (0 for VBR).
void PutFrameHeader(const TMPEGAFHdr &hdr, int index, uint8_t *b);
int32_t FrameLengthAt(const TMPEGAFHdr &hdr, int index);
int IndexWithRoom(const TMPEGAFHdr &hdr, int32_t n);
int64_t OwnBitrateRoom(const TMPEGAFHdr &hdr);

} // namespace mp3core
