// What an output holds, as bytes: the silent frames in front, the information frame, and the
// writing of the whole output (see OutputAssembly.h).
#include "output/OutputAssembly.h"

#include "io/Crc16.h"

#include <algorithm>
#include <cstring>

namespace {

void PutBigEndian(uint8_t *at, uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i) {
        at[i] = uint8_t(value);
        value >>= 8;
    }
}

// The four header bytes of a frame of the stream's format at a bitrate index: the stream's
// version, layer, sample rate and channel mode, no CRC, no padding, no mode extension.
void PutHeader(const TMPEGAFHdr &hdr, int index, uint8_t *b)
{
    b[0] = 0xFF;
    b[1] = uint8_t(hdr.Header[1] | 0x01);
    b[2] = uint8_t((index << 4) | (hdr.Header[2] & 0x0D));
    b[3] = uint8_t(hdr.Header[3] & 0xCF);
}

// The length of that frame, by the header decoder's own rule.
int32_t LengthAt(const TMPEGAFHdr &hdr, int index)
{
    uint8_t header[4];
    PutHeader(hdr, index, header);
    return DecodeFrameInfo(header).FrameLength;
}

// The lowest bitrate index whose frames have room for n bytes after the side information.
int IndexWithRoom(const TMPEGAFHdr &hdr, int32_t n)
{
    const int32_t side = 4 + SideInfoBytes(hdr.MPEGVersion, hdr.ChannelMode == cmMono);
    int index = 1;
    while (index < 14 && LengthAt(hdr, index) - side < n) {
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
    return LengthAt(hdr, own) - 4 - SideInfoBytes(hdr.MPEGVersion, hdr.ChannelMode == cmMono);
}

} // namespace

std::vector<uint8_t> SilentFrames(const TMPEGAFHdr &hdr, int64_t count,
                                  const std::vector<uint8_t> &reservoir)
{
    std::vector<uint8_t> frames;
    if (count <= 0) {
        return frames;
    }
    // A CBR output stays CBR to the tools that check it: its silent frames take the stream's
    // bitrate, but for the last where the reservoir needs more room than that leaves (spread
    // over two frames, it would move libmpg123's decoding off the source's own); in VBR, the
    // lowest bitrate that has the room.
    const int64_t own = OwnBitrateRoom(hdr);
    const int ownIndex = (hdr.Header[2] >> 4) & 0x0F;
    for (int64_t n = 0; n < count; ++n) {
        const long holds = n + 1 < count ? 0 : long(reservoir.size());
        const int index = own > 0 && own >= holds ? ownIndex : IndexWithRoom(hdr, int32_t(holds));
        const size_t at = frames.size();
        frames.resize(at + size_t(LengthAt(hdr, index)), 0);
        PutHeader(hdr, index, frames.data() + at);
        // Side information of zeros: no audio data of its own (part2_3_length 0) and none
        // before; the reservoir's bytes end its audio-data area.
        std::copy(reservoir.end() - holds, reservoir.end(), frames.end() - holds);
    }
    return frames;
}

namespace {

// True when the silent frames in front have the stream's own bitrate, so that a CBR stream's
// output is CBR throughout.
bool FillerOfOwnBitrate(const TMPEGAFHdr &hdr, const TOutputPlan &plan)
{
    for (size_t at = 0; at + 4 <= plan.Filler.size();) {
        if ((plan.Filler[at + 2] >> 4) != (hdr.Header[2] >> 4)) {
            return false;
        }
        at += size_t(DecodeFrameInfo(plan.Filler.data() + at).FrameLength);
    }
    return true;
}

} // namespace

std::vector<uint8_t> InfoFrameBytes(const TMPEGAFHdr &hdr, const TOutputPlan &plan,
                                    uint16_t musicCrc)
{
    const TMpegVersion version = hdr.MPEGVersion;
    const bool mono = hdr.ChannelMode == cmMono;
    const int32_t xing = 4 + SideInfoBytes(version, mono);
    const int32_t lame = xing + 120;  // Xing: id, flags, frames, bytes, 100 toc, quality
    const int32_t needed = lame + 36; // and the LAME extension
    // A CBR stream's information frame has the stream's own bitrate when the tag fits in it.
    int index = (hdr.Header[2] >> 4) & 0x0F;
    if (hdr.VBR || index == 0 || index == 15 || LengthAt(hdr, index) < needed) {
        index = IndexWithRoom(hdr, needed - xing);
    }
    std::vector<uint8_t> frame(size_t(LengthAt(hdr, index)), 0);
    uint8_t *b = frame.data();
    PutHeader(hdr, index, b);

    // Stream positions count from the information frame's first byte.
    const int64_t audioStart = int64_t(frame.size() + plan.Filler.size());
    const int64_t bytes = audioStart + PlanBytes(plan);
    // "Info" tells that every frame has one bitrate, and tools that check it then take the
    // length from the bytes; an output with a silent frame of another bitrate is "Xing".
    const bool vbr = hdr.VBR || !FillerOfOwnBitrate(hdr, plan);
    std::memcpy(b + xing, vbr ? "Xing" : "Info", 4);
    PutBigEndian(b + xing + 4, 0x0F, 4); // frames, bytes, seek table and quality follow
    PutBigEndian(b + xing + 8, uint64_t(plan.Frames), 4);
    PutBigEndian(b + xing + 12, uint64_t(bytes), 4);
    // Entry 0 is 0, as LAME writes it: a player starts at the start of the file.
    for (size_t t = 1; t < 100; ++t) {
        const int64_t at = audioStart + (t < plan.Toc.size() ? plan.Toc[t] : 0);
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
    ext[21] = uint8_t(plan.Delay >> 4);
    ext[22] = uint8_t(((plan.Delay & 0x0F) << 4) | (plan.Padding >> 8));
    ext[23] = uint8_t(plan.Padding);
    PutBigEndian(ext + 28, uint64_t(bytes), 4);                // music length, this frame included
    PutBigEndian(ext + 32, musicCrc, 2);                       // CRC of the audio frames
    PutBigEndian(ext + 34, Crc16(0, b, size_t(lame + 34)), 2); // CRC of all before it
    return frame;
}

namespace {

// The CRC of an output's frames: the silent ones, then the source's.
uint16_t MusicCrc(TSource &input, const TOutputPlan &plan)
{
    uint16_t crc = Crc16(0, plan.Filler.data(), plan.Filler.size());
    std::vector<uint8_t> block(size_t(256) << 10);
    for (const TByteRange &piece : PlanPieces(plan)) {
        for (int64_t pos = piece.Start; pos < piece.End;) {
            const int64_t n = std::min<int64_t>(int64_t(block.size()), piece.End - pos);
            input.Stream->ReadBufferAt(pos, block.data(), n);
            crc = Crc16(crc, block.data(), size_t(n));
            pos += n;
        }
    }
    return crc;
}

} // namespace

bool WriteOutput(TSource &input, TFileStream &out, const TOutputPlan &plan, const TOutputTags &tags,
                 const TMPEGAFHdr::TCopyProgress &progress, bool inOrder)
{
    TMPEGAFHdr &hdr = input.StreamHdr(plan.Stream);
    WriteFrontTag(tags, *input.Stream, out);
    // The information frame goes first with its music CRC still open, and is filled in once
    // the frames behind it are written and summed on their way.
    const int64_t infoAt = inOrder ? 0 : out.Position();
    const int64_t total = PlanBytes(plan);
    uint16_t crc = 0;
    if (plan.InfoFrame) {
        const std::vector<uint8_t> frame =
            InfoFrameBytes(hdr, plan, inOrder ? MusicCrc(input, plan) : 0);
        out.WriteBuffer(frame.data(), int64_t(frame.size()));
        out.WriteBuffer(plan.Filler.data(), int64_t(plan.Filler.size()));
        crc = Crc16(0, plan.Filler.data(), plan.Filler.size());
    }
    const bool sum = plan.InfoFrame && !inOrder;
    // The frames between the junk, with progress told over all of them.
    int64_t copied = 0;
    for (const TByteRange &piece : PlanPieces(plan)) {
        TMPEGAFHdr::TCopyProgress onBlock;
        if (progress) {
            onBlock = [&](int64_t done, int64_t) { return progress(copied + done, total); };
        }
        const int64_t n = piece.End - piece.Start;
        if (hdr.CopyBytes(*input.Stream, out, piece, onBlock, sum ? &crc : nullptr) < n) {
            return false;
        }
        copied += n;
        if (progress && copied < total && !progress(copied, total)) {
            return false;
        }
    }
    if (sum) {
        const std::vector<uint8_t> frame = InfoFrameBytes(hdr, plan, crc);
        out.WriteBufferAt(infoAt, frame.data(), int64_t(frame.size()));
    }
    if (tags.Back) {
        if (!inOrder) {
            out.Seek(0, soEnd);
        }
        out.WriteBuffer(tags.Back->data(), int64_t(tags.Back->size()));
    }
    return true;
}
