#include "OutputAssembly.h"

#include "Arith.h"
#include "Crc16.h"

#include <algorithm>
#include <cstring>

namespace {

// libmpg123 and LAME's decoder count 529 samples of their own delay before the first sample of
// the first frame comes out: a gapless decoder drops the tag's delay plus these.
constexpr int64_t DecoderDelay = 529;
// The tag's delay and padding are 12 bits wide.
constexpr int64_t MaxDelay = 4095;
// How far in front of the first wanted frame the bit reservoir may reach, in frames: 511
// bytes of MPEG-1 (255 of MPEG-2 and 2.5) from frames that hold at least 31 bytes of audio
// data each, the smallest of MPEG-2.5 stereo at 8 kbps.
constexpr int64_t MaxLead = 12;

void PutBigEndian(uint8_t *at, uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i) {
        at[i] = uint8_t(value);
        value >>= 8;
    }
}

const TMPEGAFHdr::TFrameAt *Find(const std::vector<TMPEGAFHdr::TFrameAt> &frames, int64_t index)
{
    const auto it =
        std::lower_bound(frames.begin(), frames.end(), index,
                         [](const TMPEGAFHdr::TFrameAt &f, int64_t i) { return f.Index < i; });
    return it != frames.end() && it->Index == index ? &*it : nullptr;
}

void SortUnique(std::vector<int64_t> &v)
{
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
}

// The last n bytes of audio data before frame index: the ends of the audio-data areas of the
// frames before it, read from the last back. Zeros stand for what lies before the first frame.
std::vector<uint8_t> ReservoirBytes(TFileStream &source,
                                    const std::vector<TMPEGAFHdr::TFrameAt> &frames, int64_t index,
                                    int64_t n)
{
    std::vector<uint8_t> bytes(size_t(n), 0);
    int64_t filled = 0;
    for (int64_t q = index - 1; q >= 0 && filled < n; --q) {
        const TMPEGAFHdr::TFrameAt *f = Find(frames, q);
        if (f == nullptr) {
            break;
        }
        const int64_t take = std::min<int64_t>(f->MainDataRoom, n - filled);
        filled += take;
        source.ReadBufferAt(f->Pos + f->Length - take, bytes.data() + (n - filled), take);
    }
    return bytes;
}

// The samples a gapless decoder drops before the source's first played one.
int64_t Lead(const TMPEGAFHdr &hdr)
{
    return hdr.HasLameTag ? hdr.EncoderDelay + DecoderDelay : 0;
}

// libmpg123 turns the order in which it sums its synthesis filter with every granule, four
// granules round, so that a granule decoded in another turn than the source's may round a few
// samples one step apart. It decodes from the fourth frame before the one that holds the first
// sample played (the frames before that only fill the bit reservoir). How many silent frames
// go in front of an output whose first wanted frame is k, with more of the source's frames
// before k: from least to most, the fewest that have k decoded in the source's turn; least when
// none does (in MPEG-2 and 2.5, one turn in four when k's reservoir needs a silent frame):
// then -1.
int64_t InTurn(const TMPEGAFHdr &hdr, int64_t k, int64_t more, int64_t least, int64_t most)
{
    const int64_t granules = hdr.MPEGVersion == 1 ? 2 : 1;
    const int64_t source = k - std::max<int64_t>(0, Lead(hdr) / hdr.SamplesPerFrame - 4);
    for (int64_t fillers = least; fillers <= std::min(most, least + 3); ++fillers) {
        const int64_t output = std::min<int64_t>(fillers + more, 4);
        if ((output - source) * granules % 4 == 0) {
            return fillers;
        }
    }
    return -1;
}

struct TSpan
{
    int64_t First = 0; // the first frame copied
    int64_t End = 0;   // the frame after the last
};

// The frame at t hundredths of a span of whole frames, for the seek table.
int64_t TocIndex(const TSpan &span, int64_t t)
{
    return span.First + t * (span.End - span.First) / 100;
}

// The frame that holds the sample t hundredths into the samples [r, e) an exact output plays.
int64_t TocIndex(int64_t r, int64_t e, int64_t samplesPerFrame, int64_t t)
{
    return (r + t * (e - r) / 100) / samplesPerFrame;
}

} // namespace

namespace {

// PlanOutputs for ranges of one stream, on its own timeline.
std::vector<TOutputPlan> PlanStream(TJobInput &input, size_t stream,
                                    const std::vector<TOutputRange> &ranges, bool exact)
{
    TMPEGAFHdr &hdr = input.StreamHdr(stream);
    TFileStream &source = *input.Stream;
    const bool layer3 = hdr.Layer == 3;
    std::vector<TOutputPlan> plans(ranges.size());
    std::vector<TSpan> spans(ranges.size());
    if (!exact || !layer3) {
        for (size_t i = 0; i < ranges.size(); ++i) {
            const TOutputRange &r = ranges[i];
            TOutputPlan &plan = plans[i];
            plan.Bytes = JobRangeBytes(input, r.StartMs, r.EndMs, stream);
            if (plan.Bytes.End <= plan.Bytes.Start) {
                continue;
            }
            spans[i].First = hdr.FrameIndexAt(source, r.StartMs);
            spans[i].End = r.EndMs ? hdr.FrameIndexAt(source, *r.EndMs) : hdr.FrameCount;
            plan.Frames = std::max<int64_t>(1, spans[i].End - spans[i].First);
            plan.InfoFrame = layer3;
            // Whole frames play as they decode, but for the source's own ends.
            if (hdr.HasLameTag) {
                plan.Delay = spans[i].First == 0 ? hdr.EncoderDelay : 0;
                plan.Padding = spans[i].End >= hdr.FrameCount ? hdr.EncoderPadding : 0;
            }
        }
    } else {
        // Samples: a gapless decoder drops lead samples before the source's first played one.
        const int64_t s = hdr.SamplesPerFrame;
        const int64_t lead = Lead(hdr);
        const int64_t played =
            hdr.FrameCount * s - (hdr.HasLameTag ? hdr.EncoderDelay + hdr.EncoderPadding : 0);
        struct TSamples
        {
            int64_t r = 0; // the first wanted sample of the decoder's output, and the end
            int64_t e = 0;
        };
        std::vector<TSamples> samples(ranges.size());
        std::vector<int64_t> wanted;
        for (size_t i = 0; i < ranges.size(); ++i) {
            const TOutputRange &range = ranges[i];
            const int64_t s0 =
                std::max<int64_t>(0, RoundHalfEven(range.StartMs * hdr.SampleRate, 1000));
            const int64_t s1 =
                range.EndMs ? std::min(played, RoundHalfEven(*range.EndMs * hdr.SampleRate, 1000))
                            : played;
            if (s0 >= s1) {
                samples[i] = {-1, -1};
                continue;
            }
            samples[i] = {s0 + lead, s1 + lead};
            const auto [r, e] = samples[i];
            const int64_t k = r / s;
            // The first wanted frame k takes its first samples from the overlap of the granule
            // before it and from the synthesis filter's memory of it: that granule must decode
            // from whole data. It is frame k - 1 in MPEG-1, whose frames hold two granules,
            // and k - 2 and k - 1 in MPEG-2 and 2.5, whose frames hold one.
            spans[i].First = std::max<int64_t>(0, k - (hdr.MPEGVersion == 1 ? 1 : 2));
            spans[i].End = std::min(hdr.FrameCount, (samples[i].e + s - 1) / s);
            for (int64_t q = std::max<int64_t>(0, k - MaxLead); q <= k; ++q) {
                wanted.push_back(q);
            }
            wanted.push_back(spans[i].End);
            // The seek table's frames, found by the same walk.
            for (int64_t t = 0; hdr.WalkFrames && t < 100; ++t) {
                wanted.push_back(std::min(spans[i].End - 1, TocIndex(r, e, s, t)));
            }
        }
        SortUnique(wanted);
        const std::vector<TMPEGAFHdr::TFrameAt> frames = hdr.FramesAt(source, wanted);
        for (size_t i = 0; i < ranges.size(); ++i) {
            const auto [r, e] = samples[i];
            if (r < 0) {
                continue;
            }
            const int64_t k = r / s;
            const int64_t j = spans[i].First;
            const TMPEGAFHdr::TFrameAt *first = Find(frames, j);
            const TMPEGAFHdr::TFrameAt *end = Find(frames, spans[i].End);
            if (first == nullptr) {
                continue; // the audio ended first: no frame lies in the range
            }
            TOutputPlan &plan = plans[i];
            // The seek table points at the frames that hold each hundredth of the samples
            // played: a VBR output's found by the walk, a CBR output's lying evenly.
            const int64_t endPos = end != nullptr ? end->Pos : hdr.AudioEnd;
            plan.Toc.resize(100);
            for (int64_t t = 0; t < 100; ++t) {
                const int64_t q = std::min(spans[i].End - 1, TocIndex(r, e, s, t));
                if (!hdr.WalkFrames) {
                    plan.Toc[size_t(t)] = (q - j) * (endPos - first->Pos) / (spans[i].End - j);
                    continue;
                }
                const auto *f = Find(frames, q);
                // A frame the walk did not reach (a count that promised more) lies no
                // earlier than the one before it.
                plan.Toc[size_t(t)] = f != nullptr ? f->Pos - first->Pos
                                      : t > 0      ? plan.Toc[size_t(t - 1)]
                                                   : 0;
            }
            // The bit reservoir bytes those frames reach back for, before frame j, go into a
            // silent frame in front of them.
            int64_t reach = 0;
            int64_t room = 0;
            for (int64_t q = j; q < k; ++q) {
                const TMPEGAFHdr::TFrameAt *f = Find(frames, q);
                if (f == nullptr) {
                    break;
                }
                reach = std::max(reach, f->MainDataBegin - room);
                room += f->MainDataRoom;
            }
            // A silent frame also makes room for the decoder's own delay when a file without
            // a LAME tag is cut from its very start.
            const int64_t least = reach > 0 || r - j * s < DecoderDelay ? 1 : 0;
            int64_t fillers =
                InTurn(hdr, k, k - j, least, (MaxDelay + DecoderDelay - (r - j * s)) / s);
            fillers = fillers < 0 ? least : fillers;
            plan.Filler = SilentFrames(hdr, fillers, ReservoirBytes(source, frames, j, reach));
            // The output's frames are the source's moved by shift frames.
            const int64_t shift = fillers - first->Index;
            plan.Bytes = {first->Pos, endPos};
            plan.Frames = spans[i].End + shift;
            plan.InfoFrame = true;
            plan.Delay = int32_t(std::clamp<int64_t>(r + shift * s - DecoderDelay, 0, MaxDelay));
            plan.Padding =
                int32_t(std::clamp<int64_t>(plan.Frames * s - plan.Delay - (e - r), 0, MaxDelay));
        }
    }

    // The seek table: where the frames at every hundredth of each output start. A CBR
    // output's frames lie evenly; a VBR output's are found with one more walk.
    std::vector<int64_t> tocIndices;
    std::vector<bool> walked(plans.size(), false);
    for (size_t i = 0; i < plans.size(); ++i) {
        TOutputPlan &plan = plans[i];
        if (!plan.InfoFrame || plan.Bytes.End <= plan.Bytes.Start || !plan.Toc.empty()) {
            continue;
        }
        walked[i] = hdr.WalkFrames;
        plan.Toc.resize(100);
        for (int64_t t = 0; t < 100; ++t) {
            if (hdr.WalkFrames) {
                tocIndices.push_back(TocIndex(spans[i], t));
            } else {
                plan.Toc[size_t(t)] = (plan.Bytes.End - plan.Bytes.Start) * t / 100;
            }
        }
    }
    if (!tocIndices.empty()) {
        SortUnique(tocIndices);
        const std::vector<TMPEGAFHdr::TFrameAt> frames = hdr.FramesAt(source, tocIndices);
        for (size_t i = 0; i < plans.size(); ++i) {
            TOutputPlan &plan = plans[i];
            for (int64_t t = 0; walked[i] && t < int64_t(plan.Toc.size()); ++t) {
                const auto *f = Find(frames, TocIndex(spans[i], t));
                plan.Toc[size_t(t)] = f != nullptr ? f->Pos - plan.Bytes.Start
                                      : t > 0      ? plan.Toc[size_t(t - 1)]
                                                   : 0;
            }
        }
    }
    // Junk among the frames stays out of every output; the walks that found each plan's last
    // frame stepped over all of it, and the seek table counts the bytes the output holds.
    for (TOutputPlan &plan : plans) {
        plan.Stream = stream;
        plan.Junk = hdr.JunkWithin(plan.Bytes);
        for (int64_t &at : plan.Toc) {
            // The junk before the point, or the part of it before a point inside it (a CBR
            // table's points are interpolated), so that the table still rises.
            const int64_t pos = plan.Bytes.Start + at;
            for (const TByteRange &j : plan.Junk) {
                at -= std::clamp<int64_t>(pos - j.Start, 0, j.End - j.Start);
            }
        }
    }
    return plans;
}

} // namespace

std::vector<TOutputPlan> PlanOutputs(TJobInput &input, const std::vector<TOutputRange> &ranges,
                                     bool exact)
{
    // Each range lies in the stream where it starts, on that stream's own timeline; the next
    // stream's start ends it.
    std::vector<TOutputPlan> plans;
    for (size_t i = 0; i < ranges.size();) {
        const size_t stream = input.StreamAt(ranges[i].StartMs);
        const int64_t offset = input.StreamStartMs(stream);
        std::vector<TOutputRange> own;
        for (; i < ranges.size() && input.StreamAt(ranges[i].StartMs) == stream; ++i) {
            std::optional<int64_t> end = ranges[i].EndMs;
            if (stream + 1 < input.StreamCount()) {
                end = std::min(end.value_or(INT64_MAX), input.StreamStartMs(stream + 1));
            }
            own.push_back({ranges[i].StartMs - offset,
                           end ? std::optional<int64_t>(*end - offset) : std::nullopt});
        }
        std::vector<TOutputPlan> planned = PlanStream(input, stream, own, exact);
        std::move(planned.begin(), planned.end(), std::back_inserter(plans));
    }
    return plans;
}

int64_t PlanBytes(const TOutputPlan &plan)
{
    int64_t bytes = plan.Bytes.End - plan.Bytes.Start;
    for (const TByteRange &j : plan.Junk) {
        bytes -= j.End - j.Start;
    }
    return std::max<int64_t>(0, bytes);
}

std::vector<TByteRange> PlanPieces(const TOutputPlan &plan)
{
    std::vector<TByteRange> pieces;
    int64_t from = plan.Bytes.Start;
    for (const TByteRange &j : plan.Junk) {
        if (j.Start > from) {
            pieces.push_back({from, j.Start});
        }
        from = std::max(from, j.End);
    }
    if (plan.Bytes.End > from) {
        pieces.push_back({from, plan.Bytes.End});
    }
    return pieces;
}

namespace {

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
    const int32_t side = 4 + SideInfoBytes(hdr.MPEGVersion, hdr.ChannelMode == 3);
    int index = 1;
    while (index < 14 && LengthAt(hdr, index) - side < n) {
        ++index;
    }
    return index;
}

} // namespace

int64_t OwnBitrateRoom(const TMPEGAFHdr &hdr)
{
    const int own = (hdr.Header[2] >> 4) & 0x0F;
    if (hdr.VBR || hdr.Layer != 3 || own == 0 || own == 15) {
        return 0;
    }
    return LengthAt(hdr, own) - 4 - SideInfoBytes(hdr.MPEGVersion, hdr.ChannelMode == 3);
}

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
    const int version = hdr.MPEGVersion;
    const bool mono = hdr.ChannelMode == 3;
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
        ext[20] = 0xFF;                             // no ABR bitrate
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
uint16_t MusicCrc(TJobInput &input, const TOutputPlan &plan)
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

bool WriteOutput(TJobInput &input, TFileStream &out, const TOutputPlan &plan,
                 const TOutputTags &tags, const TMPEGAFHdr::TCopyProgress &progress, bool inOrder)
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
