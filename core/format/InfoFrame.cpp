#include "format/InfoFrame.h"

#include "format/FrameScan.h"
#include "io/Crc16.h"

#include <algorithm>
#include <cstring>

namespace mp3core {

namespace {

void PutBigEndian(uint8_t *at, uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i) {
        at[i] = uint8_t(value);
        value >>= 8;
    }
}

uint32_t BigEndian32(const uint8_t *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// True when the silent frames in front have the stream's own bitrate, so that a CBR stream's
// output is CBR throughout.
bool FillerOfOwnBitrate(const TMPEGAFHdr &hdr, const std::vector<uint8_t> &filler)
{
    for (size_t at = 0; at + 4 <= filler.size();) {
        if ((filler[at + 2] >> 4) != (hdr.Header[2] >> 4)) {
            return false;
        }
        at += size_t(DecodeFrameInfo(filler.data() + at).FrameLength);
    }
    return true;
}

} // namespace

// The four header bytes of a frame of the stream's format at a bitrate index: the stream's
// version, layer, sample rate and channel mode, no CRC, no padding, no mode extension.
void PutFrameHeader(const TMPEGAFHdr &hdr, int index, uint8_t *b)
{
    b[0] = 0xFF;
    b[1] = uint8_t(hdr.Header[1] | 0x01);
    b[2] = uint8_t((index << 4) | (hdr.Header[2] & 0x0D));
    b[3] = uint8_t(hdr.Header[3] & 0xCF);
}

// The length of that frame, by the header decoder's own rule.
int32_t FrameLengthAt(const TMPEGAFHdr &hdr, int index)
{
    uint8_t header[4];
    PutFrameHeader(hdr, index, header);
    return DecodeFrameInfo(header).FrameLength;
}

// The lowest bitrate index whose frames have room for n bytes after the side information.
int IndexWithRoom(const TMPEGAFHdr &hdr, int32_t n)
{
    const int32_t side = 4 + SideInfoBytes(hdr.MPEGVersion, hdr.ChannelMode == cmMono);
    int index = 1;
    while (index < 14 && FrameLengthAt(hdr, index) - side < n) {
        ++index;
    }
    return index;
}

// The room for audio data in a frame of a CBR Layer III stream's own bitrate; 0 for VBR.
int64_t OwnBitrateRoom(const TMPEGAFHdr &hdr)
{
    const int own = (hdr.Header[2] >> 4) & 0x0F;
    if (hdr.VBR || hdr.Layer != lyLayer3 || own == 0 || own == 15) {
        return 0;
    }
    return FrameLengthAt(hdr, own) - 4 - SideInfoBytes(hdr.MPEGVersion, hdr.ChannelMode == cmMono);
}

std::vector<uint8_t> InfoFrameBytes(const TMPEGAFHdr &hdr, const TInfoFacts &facts)
{
    const TMpegVersion version = hdr.MPEGVersion;
    const bool mono = hdr.ChannelMode == cmMono;
    const int32_t xing = 4 + SideInfoBytes(version, mono);
    const int32_t lame = xing + 120;  // Xing: id, flags, frames, bytes, 100 toc, quality
    const int32_t needed = lame + 36; // and the LAME extension
    // A CBR stream's information frame has the stream's own bitrate when the tag fits in it.
    int index = (hdr.Header[2] >> 4) & 0x0F;
    if (hdr.VBR || index == 0 || index == 15 || FrameLengthAt(hdr, index) < needed) {
        index = IndexWithRoom(hdr, needed - xing);
    }
    std::vector<uint8_t> frame(size_t(FrameLengthAt(hdr, index)), 0);
    uint8_t *b = frame.data();
    PutFrameHeader(hdr, index, b);

    // Stream positions count from the information frame's first byte.
    const int64_t audioStart = int64_t(frame.size() + facts.Filler.size());
    const int64_t bytes = audioStart + facts.FrameBytes;
    // "Info" tells that every frame has one bitrate, and tools that check it then take the
    // length from the bytes; an output with a silent frame of another bitrate is "Xing".
    const bool vbr = hdr.VBR || !FillerOfOwnBitrate(hdr, facts.Filler);
    std::memcpy(b + xing, vbr ? "Xing" : "Info", 4);
    PutBigEndian(b + xing + 4, 0x0F, 4); // frames, bytes, seek table and quality follow
    PutBigEndian(b + xing + 8, uint64_t(facts.Frames), 4);
    PutBigEndian(b + xing + 12, uint64_t(bytes), 4);
    // Entry 0 is 0, as LAME writes it: a player starts at the start of the file.
    for (size_t t = 1; t < 100; ++t) {
        const int64_t at = audioStart + (t < facts.Toc.size() ? facts.Toc[t] : 0);
        b[xing + 16 + int32_t(t)] = uint8_t(std::min<int64_t>(255, at * 256 / bytes));
    }
    PutBigEndian(b + xing + 116, 0, 4); // quality: unknown

    // The LAME extension: the source's, with what is this output's own rewritten; replay
    // gain measured over the whole source does not hold for a part of it.
    uint8_t *ext = b + lame;
    if (hdr.HasLameTag) {
        std::memcpy(ext, hdr.LameTag.data(), 36);
        std::memset(ext + 11, 0, 8); // peak, radio and audiophile gain
        // byte 9, bits 3-0: the bitrate method. A CBR method under "Xing" makes tools that
        // read both (mediainfo) give no length; with a frame of another bitrate the output is
        // not CBR, and its method is unknown (0).
        if (vbr && !hdr.VBR && (ext[9] & 0x0F) == 1) {
            ext[9] = uint8_t(ext[9] & 0xF0);
        }
    } else {
        // A tag in LAME's format names it so: ffmpeg reads the delay and padding only then.
        std::memcpy(ext, "LAME     ", 9);
        ext[9] = uint8_t(0x10 | (hdr.VBR ? 4 : vbr ? 0 : 1)); // revision 1; VBR, unknown, CBR
        ext[20] = 0xFF;                                       // no ABR bitrate
    }
    // bytes 21-23: delay and padding, 12 bits each
    ext[21] = uint8_t(facts.Delay >> 4);
    ext[22] = uint8_t(((facts.Delay & 0x0F) << 4) | (facts.Padding >> 8));
    ext[23] = uint8_t(facts.Padding);
    PutBigEndian(ext + 28, uint64_t(bytes), 4);                // music length, this frame included
    PutBigEndian(ext + 32, facts.MusicCrc, 2);                 // CRC of the audio frames
    PutBigEndian(ext + 34, Crc16(0, b, size_t(lame + 34)), 2); // CRC of all before it
    return frame;
}

TInfoFrame ReadInfoFrame(TWindowReader &reader, int64_t pos, const TFrameInfo &info)
{
    TInfoFrame result;
    if (info.Layer != lyLayer3) {
        return result;
    }
    const int64_t length = std::min<int64_t>(info.FrameLength, 256);
    const uint8_t *b = reader.At(pos, length);
    if (b == nullptr || length < 64) {
        return result;
    }
    // Xing and Info follow the side information: 32 or 17 bytes for MPEG-1 (stereo or
    // mono), 17 or 9 for MPEG-2 and 2.5. Encoders put them there also when a CRC follows the
    // header (LAME does, and ffmpeg reads them only there); the CRC's 2 bytes are tried too.
    const bool mono = TChannelMode(b[3] >> 6) == cmMono;
    const int sideInfo = SideInfoBytes(info.MPEGVersion, mono);
    for (const int xing : {4 + sideInfo, 4 + 2 + sideInfo}) {
        if (xing == 6 + sideInfo && !info.Protected) {
            break;
        }
        if (std::memcmp(b + xing, "Xing", 4) == 0 || std::memcmp(b + xing, "Info", 4) == 0) {
            result.Present = true;
            result.Vbr = b[xing] == 'X';
            const uint32_t flags = BigEndian32(b + xing + 4);
            int at = xing + 8;
            if ((flags & 1) != 0) {
                result.Frames = BigEndian32(b + at);
                at += 4;
            }
            if ((flags & 2) != 0) {
                result.Bytes = BigEndian32(b + at);
                at += 4;
            }
            at += ((flags & 4) != 0 ? 100 : 0) + ((flags & 8) != 0 ? 4 : 0);
            // The extension names its encoder in letters first ("LAME3.100", "Lavf"...).
            if (at + 36 <= length && std::all_of(b + at, b + at + 4, [](uint8_t c) {
                    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9');
                })) {
                result.Lame = true;
                std::copy_n(b + at, 36, result.LameTag.begin());
            }
            return result;
        }
    }
    // VBRI stands 32 bytes after the header: id, version, delay, quality, bytes, frames.
    if (std::memcmp(b + 36, "VBRI", 4) == 0) {
        result.Present = true;
        result.Vbr = true;
        result.Bytes = BigEndian32(b + 36 + 10);
        result.Frames = BigEndian32(b + 36 + 14);
    }
    return result;
}

} // namespace mp3core
