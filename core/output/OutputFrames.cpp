// What an output holds, as bytes: the silent frames in front, its information frame (made by
// the format's InfoFrame unit), and the writing of the whole output (see OutputAssembly.h).
#include "output/OutputAssembly.h"

#include "format/InfoFrame.h"
#include "io/Crc16.h"
#include "io/Errors.h"
#include "output/Level.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>

namespace mp3core {

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
        frames.resize(at + size_t(FrameLengthAt(hdr, index)), 0);
        PutFrameHeader(hdr, index, frames.data() + at);
        // Side information of zeros: no audio data of its own (part2_3_length 0) and none
        // before; the reservoir's bytes end its audio-data area.
        std::copy(reservoir.end() - holds, reservoir.end(), frames.end() - holds);
    }
    return frames;
}

std::vector<uint8_t> InfoFrameBytes(const TMPEGAFHdr &hdr, const TOutputPlan &plan,
                                    uint16_t musicCrc)
{
    return InfoFrameBytes(hdr, TInfoFacts{plan.Frames, PlanBytes(plan), plan.Filler, plan.Toc,
                                          plan.Delay, plan.Padding, musicCrc});
}

namespace {

// The edit of an output's level, from its first frame behind the information frame; none
// when the level stays.
std::optional<TLevelEdit> LevelEditOf(const TMPEGAFHdr &hdr, const TOutputPlan &plan,
                                      const TLevel &level)
{
    if (!level.Any()) {
        return std::nullopt;
    }
    const int64_t played = plan.Frames * hdr.SamplesPerFrame - plan.Delay - plan.Padding;
    return TLevelEdit(hdr, level, plan.Delay + DecoderDelay, played);
}

// Reads the plan's frames in blocks, each of whole frames and edited by edit when there is one,
// and hands them to use in order; false when use stops it.
bool ForEachBlock(TSource &input, const TOutputPlan &plan, TLevelEdit *edit,
                  const std::function<bool(const uint8_t *, size_t)> &use)
{
    std::vector<uint8_t> block(size_t(256) << 10);
    for (const TByteRange &piece : PlanPieces(plan)) {
        for (int64_t pos = piece.Start; pos < piece.End;) {
            const int64_t n = std::min<int64_t>(int64_t(block.size()), piece.End - pos);
            input.Stream->ReadBufferAt(pos, block.data(), n);
            // A frame the block cuts off starts the next one; one cut off by the piece's end
            // goes as it is.
            size_t whole = edit ? edit->Frames(block.data(), size_t(n)) : size_t(n);
            whole = whole > 0 ? whole : size_t(n);
            if (!use(block.data(), whole)) {
                return false;
            }
            pos += int64_t(whole);
        }
    }
    return true;
}

// The silent frames in front, as the output holds them (their granules counted by edit).
std::vector<uint8_t> EditedFiller(const TOutputPlan &plan, TLevelEdit *edit)
{
    std::vector<uint8_t> filler = plan.Filler;
    if (edit) {
        edit->Frames(filler.data(), filler.size());
    }
    return filler;
}

// Writes the silent frames in front; the CRC of the output's frames so far.
uint16_t WriteFiller(TFileStream &out, const TOutputPlan &plan, std::optional<TLevelEdit> &edit)
{
    const std::vector<uint8_t> filler = EditedFiller(plan, edit ? &*edit : nullptr);
    out.WriteBuffer(filler.data(), int64_t(filler.size()));
    return Crc16(0, filler.data(), filler.size());
}

// The CRC of an output's frames: the silent ones, then the source's, as the output holds them.
uint16_t MusicCrc(TSource &input, const TOutputPlan &plan, const TLevel &level)
{
    std::optional<TLevelEdit> edit = LevelEditOf(input.StreamHdr(plan.Stream), plan, level);
    const std::vector<uint8_t> filler = EditedFiller(plan, edit ? &*edit : nullptr);
    uint16_t crc = Crc16(0, filler.data(), filler.size());
    ForEachBlock(input, plan, edit ? &*edit : nullptr, [&](const uint8_t *bytes, size_t n) {
        crc = Crc16(crc, bytes, n);
        return true;
    });
    return crc;
}

} // namespace

namespace {

constexpr size_t CopyBlockBytes = 256 << 10; // written at once, summed while in the cache
constexpr int64_t ProgressBytes = 8 << 20;   // told between, as the byte copy tells

// Writes an output of PlanOutputs' walkLater: its frames are walked as they are copied, and
// the seek table, the bytes and the CRC found on the way go into its information frame,
// written last in the place kept for it. Raises EReadError when the audio ended before it.
bool WriteWalked(TSource &input, TFileStream &out, const TOutputPlan &later,
                 const TOutputTags &tags, const TMPEGAFHdr::TCopyProgress &progress,
                 const TLevel &level, int64_t *clamped)
{
    TMPEGAFHdr &hdr = input.StreamHdr(later.Stream);
    TOutputPlan plan = PlanHead(input, later);
    if (plan.Bytes.End <= plan.Bytes.Start) {
        throw EReadError(); // the frame count promised frames that the file does not hold
    }
    WriteFrontTag(tags, *input.Stream, out);
    const int64_t infoAt = out.Position();
    const std::vector<uint8_t> kept = InfoFrameBytes(hdr, plan, 0); // its size, for now
    out.WriteBuffer(kept.data(), int64_t(kept.size()));
    std::optional<TLevelEdit> edit = LevelEditOf(hdr, plan, level);
    uint16_t crc = WriteFiller(out, plan, edit);
    const std::vector<int64_t> tocFrames = TocFrames(*plan.Later, hdr.SamplesPerFrame);
    plan.Toc.assign(100, -1);
    std::vector<uint8_t> block;
    block.reserve(CopyBlockBytes);
    int64_t written = 0; // the source's frames, junk left out
    int64_t told = 0;
    bool stopped = false;
    size_t t = 0;
    const auto flush = [&] {
        crc = Crc16(crc, block.data(), block.size());
        out.WriteBuffer(block.data(), int64_t(block.size()));
        block.clear();
    };
    hdr.ForEachFrame(*input.Stream, plan.Later->First, plan.Bytes.Start, plan.Later->End,
                     [&](int64_t number, const uint8_t *bytes, int32_t length) {
                         for (; t < 100 && tocFrames[t] <= number; ++t) {
                             plan.Toc[t] = tocFrames[t] == number ? written : -1;
                         }
                         block.insert(block.end(), bytes, bytes + length);
                         if (edit) {
                             edit->Frames(block.data() + block.size() - length, size_t(length));
                         }
                         written += length;
                         if (block.size() >= CopyBlockBytes) {
                             flush();
                         }
                         if (progress && written - told >= ProgressBytes) {
                             told = written;
                             stopped = stopped || !progress(written, written);
                         }
                     });
    flush();
    // A frame the walk did not reach (a count that promised more) lies no earlier than the
    // one before it.
    for (size_t i = 0; i < plan.Toc.size(); ++i) {
        plan.Toc[i] = plan.Toc[i] >= 0 ? plan.Toc[i] : i > 0 ? plan.Toc[i - 1] : 0;
    }
    plan.Bytes.End = plan.Bytes.Start + written;
    plan.Junk.clear(); // stepped over, never written
    const std::vector<uint8_t> frame = InfoFrameBytes(hdr, plan, crc);
    out.WriteBufferAt(infoAt, frame.data(), int64_t(frame.size()));
    if (tags.Back) {
        out.Seek(0, soEnd);
        out.WriteBuffer(tags.Back->data(), int64_t(tags.Back->size()));
    }
    if (clamped && edit) {
        *clamped = edit->Clamped();
    }
    return !stopped;
}

// The frames of the plan, their level edited, written with progress told over all of them;
// false when progress stopped it.
bool CopyEdited(TSource &input, TFileStream &out, const TOutputPlan &plan, TLevelEdit &edit,
                const TMPEGAFHdr::TCopyProgress &progress, uint16_t *crc)
{
    const int64_t total = PlanBytes(plan);
    int64_t copied = 0;
    int64_t told = 0;
    return ForEachBlock(input, plan, &edit, [&](const uint8_t *bytes, size_t n) {
        out.WriteBuffer(bytes, int64_t(n));
        if (crc) {
            *crc = Crc16(*crc, bytes, n);
        }
        copied += int64_t(n);
        if (progress && copied - told >= ProgressBytes && copied < total) {
            told = copied;
            return progress(copied, total);
        }
        return true;
    });
}

} // namespace

bool WriteOutput(TSource &input, TFileStream &out, const TOutputPlan &plan, const TOutputTags &tags,
                 const TMPEGAFHdr::TCopyProgress &progress, bool inOrder, const TLevel &level,
                 int64_t *clamped)
{
    if (plan.Later) { // only a split plans them, and it writes files
        return WriteWalked(input, out, plan, tags, progress, level, clamped);
    }
    TMPEGAFHdr &hdr = input.StreamHdr(plan.Stream);
    WriteFrontTag(tags, *input.Stream, out);
    // The information frame goes first with its music CRC still open, and is filled in once
    // the frames behind it are written and summed on their way.
    const int64_t infoAt = inOrder ? 0 : out.Position();
    const int64_t total = PlanBytes(plan);
    uint16_t crc = 0;
    std::optional<TLevelEdit> edit = LevelEditOf(hdr, plan, level);
    if (plan.InfoFrame) {
        const std::vector<uint8_t> frame =
            InfoFrameBytes(hdr, plan, inOrder ? MusicCrc(input, plan, level) : 0);
        out.WriteBuffer(frame.data(), int64_t(frame.size()));
        crc = WriteFiller(out, plan, edit);
    }
    const bool sum = plan.InfoFrame && !inOrder;
    if (edit) {
        if (!CopyEdited(input, out, plan, *edit, progress, sum ? &crc : nullptr)) {
            return false;
        }
        if (clamped) {
            *clamped = edit->Clamped();
        }
    }
    // The frames between the junk, with progress told over all of them.
    int64_t copied = 0;
    for (const TByteRange &piece : edit ? std::vector<TByteRange>{} : PlanPieces(plan)) {
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

} // namespace mp3core
