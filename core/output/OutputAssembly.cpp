#include "output/OutputAssembly.h"

#include "io/Arith.h"
#include "io/Crc16.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace mp3core {

namespace {

// The tag's delay and padding are 12 bits wide.
constexpr int64_t MaxDelay = 4095;
// How far in front of the first wanted frame the bit reservoir may reach, in frames: 511
// bytes of MPEG-1 (255 of MPEG-2 and 2.5) from frames that hold at least 31 bytes of audio
// data each, the smallest of MPEG-2.5 stereo at 8 kbps.
constexpr int64_t MaxLead = 12;

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
    return hdr.LeadSamples();
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
    const int64_t granules = hdr.MPEGVersion == mvMpeg1 ? 2 : 1;
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

// The whole frames of ranges of a walked stream: the bytes from the first frame at or after each
// start to the first at or after its end, and a Layer III output's seek table (the frames at
// each hundredth of its frames), all found in one walk.
void WalkedRanges(TMPEGAFHdr &hdr, TFileStream &source, const std::vector<TOutputRange> &ranges,
                  std::vector<TOutputPlan> &plans)
{
    struct TNumbers
    {
        int64_t Start = -1; // the frames at the range's ends, were the stream to go on
        std::optional<int64_t> End;
        TSpan Span; // the frames an output holds, as FrameIndexAt counts them
    };
    std::vector<TNumbers> numbers(ranges.size());
    std::vector<int64_t> wanted;
    for (size_t i = 0; i < ranges.size(); ++i) {
        const TOutputRange &r = ranges[i];
        if (r.EndMs && std::max<int64_t>(r.StartMs, 0) >= std::max<int64_t>(*r.EndMs, 0)) {
            continue; // an empty range
        }
        TNumbers &n = numbers[i];
        n.Start = hdr.FrameNumberAt(r.StartMs);
        wanted.push_back(n.Start);
        if (r.EndMs) {
            n.End = hdr.FrameNumberAt(*r.EndMs);
            wanted.push_back(*n.End);
        }
        n.Span = {std::min(hdr.FrameCount, n.Start),
                  n.End ? std::min(hdr.FrameCount, *n.End) : hdr.FrameCount};
        for (int64_t t = 0; hdr.Layer == lyLayer3 && t < 100; ++t) {
            wanted.push_back(TocIndex(n.Span, t));
        }
    }
    SortUnique(wanted);
    const std::vector<TMPEGAFHdr::TFrameAt> frames = hdr.FramesAt(source, wanted);
    for (size_t i = 0; i < ranges.size(); ++i) {
        const TNumbers &n = numbers[i];
        const TMPEGAFHdr::TFrameAt *first = n.Start < 0 ? nullptr : Find(frames, n.Start);
        if (first == nullptr) {
            continue; // the audio ended before the range
        }
        const TMPEGAFHdr::TFrameAt *end = n.End ? Find(frames, *n.End) : nullptr;
        const int64_t endPos = end != nullptr ? end->Pos : hdr.AudioEnd;
        if (endPos <= first->Pos) {
            continue;
        }
        TOutputPlan &plan = plans[i];
        plan.Bytes = {first->Pos, endPos};
        for (int64_t t = 0; hdr.Layer == lyLayer3 && t < 100; ++t) {
            const auto *f = Find(frames, TocIndex(n.Span, t));
            plan.Toc.push_back(f != nullptr ? f->Pos - first->Pos : t > 0 ? plan.Toc.back() : 0);
        }
    }
}

// Whole frames: from the first frame at or after each start to the first at or after its end.
void PlanWholeFrames(TSource &input, size_t stream, const std::vector<TOutputRange> &ranges,
                     std::vector<TOutputPlan> &plans)
{
    TMPEGAFHdr &hdr = input.StreamHdr(stream);
    TFileStream &source = *input.Stream;
    if (hdr.WalkFrames) {
        WalkedRanges(hdr, source, ranges, plans);
    }
    for (size_t i = 0; i < ranges.size(); ++i) {
        const TOutputRange &r = ranges[i];
        TOutputPlan &plan = plans[i];
        if (!hdr.WalkFrames) {
            plan.Bytes = input.RangeBytes(r.StartMs, r.EndMs, stream);
        }
        if (plan.Bytes.End <= plan.Bytes.Start) {
            continue;
        }
        const int64_t first = hdr.FrameIndexAt(source, r.StartMs);
        const int64_t end = r.EndMs ? hdr.FrameIndexAt(source, *r.EndMs) : hdr.FrameCount;
        plan.Frames = std::max<int64_t>(1, end - first);
        plan.InfoFrame = hdr.Layer == lyLayer3;
        // Whole frames play as they decode, but for the source's own ends.
        if (hdr.HasLameTag) {
            plan.Delay = first == 0 ? hdr.EncoderDelay : 0;
            plan.Padding = end >= hdr.FrameCount ? hdr.EncoderPadding : 0;
        }
        // A CBR output's frames lie evenly (a walked one's seek table came with its walk).
        if (plan.InfoFrame && plan.Toc.empty()) {
            for (int64_t t = 0; t < 100; ++t) {
                plan.Toc.push_back((plan.Bytes.End - plan.Bytes.Start) * t / 100);
            }
        }
    }
}

// What an exact output of one range plays, in samples of the decoder's output, and the frames
// it holds; r < 0: no sample lies in the range.
struct TExact
{
    int64_t r = -1; // the first wanted sample, and the end
    int64_t e = -1;
    TSpan Span;
};

// The frames whose bit reservoir and overlap the first wanted frame k may reach back for.
std::vector<int64_t> HeadFrames(int64_t k)
{
    std::vector<int64_t> frames;
    for (int64_t q = std::max<int64_t>(0, k - MaxLead); q <= k; ++q) {
        frames.push_back(q);
    }
    return frames;
}

// The exact outputs' samples and frames.
std::vector<TExact> ExactSpans(const TMPEGAFHdr &hdr, const std::vector<TOutputRange> &ranges)
{
    // Samples: a gapless decoder drops lead samples before the source's first played one.
    const int64_t s = hdr.SamplesPerFrame;
    const int64_t lead = Lead(hdr);
    const int64_t played =
        hdr.FrameCount * s - (hdr.HasLameTag ? hdr.EncoderDelay + hdr.EncoderPadding : 0);
    std::vector<TExact> spans(ranges.size());
    for (size_t i = 0; i < ranges.size(); ++i) {
        const TOutputRange &range = ranges[i];
        const int64_t s0 =
            std::max<int64_t>(0, RoundHalfEven(range.StartMs * hdr.SampleRate, 1000));
        const int64_t s1 =
            range.EndMs ? std::min(played, RoundHalfEven(*range.EndMs * hdr.SampleRate, 1000))
                        : played;
        if (s0 >= s1) {
            continue;
        }
        TExact &x = spans[i];
        x.r = s0 + lead;
        x.e = s1 + lead;
        const int64_t k = x.r / s;
        // The first wanted frame k takes its first samples from the overlap of the granule
        // before it and from the synthesis filter's memory of it: that granule must decode
        // from whole data. It is frame k - 1 in MPEG-1, whose frames hold two granules,
        // and k - 2 and k - 1 in MPEG-2 and 2.5, whose frames hold one.
        x.Span.First = std::max<int64_t>(0, k - (hdr.MPEGVersion == mvMpeg1 ? 1 : 2));
        x.Span.End = std::min(hdr.FrameCount, (x.e + s - 1) / s);
    }
    return spans;
}

// The frames whose places the exact plans need, for one walk: the frames before each first
// wanted one, the end, and a walked stream's seek-table frames.
std::vector<int64_t> WantedFrames(const TMPEGAFHdr &hdr, const std::vector<TExact> &spans)
{
    std::vector<int64_t> wanted;
    for (const TExact &x : spans) {
        if (x.r < 0) {
            continue;
        }
        const std::vector<int64_t> head = HeadFrames(x.r / hdr.SamplesPerFrame);
        wanted.insert(wanted.end(), head.begin(), head.end());
        wanted.push_back(x.Span.End);
        for (int64_t t = 0; hdr.WalkFrames && t < 100; ++t) {
            wanted.push_back(std::min(x.Span.End - 1, TocIndex(x.r, x.e, hdr.SamplesPerFrame, t)));
        }
    }
    SortUnique(wanted);
    return wanted;
}

// The seek table of an exact output: the frames that hold each hundredth of the samples it
// plays, a VBR output's found by the walk, a CBR output's lying evenly.
std::vector<int64_t> ExactToc(const TMPEGAFHdr &hdr,
                              const std::vector<TMPEGAFHdr::TFrameAt> &frames, const TExact &x,
                              TByteRange bytes)
{
    const int64_t j = x.Span.First;
    std::vector<int64_t> toc(100);
    for (int64_t t = 0; t < 100; ++t) {
        const int64_t q = std::min(x.Span.End - 1, TocIndex(x.r, x.e, hdr.SamplesPerFrame, t));
        if (!hdr.WalkFrames) {
            toc[size_t(t)] = (q - j) * (bytes.End - bytes.Start) / (x.Span.End - j);
            continue;
        }
        const auto *f = Find(frames, q);
        // A frame the walk did not reach (a count that promised more) lies no earlier than
        // the one before it.
        toc[size_t(t)] = f != nullptr ? f->Pos - bytes.Start : t > 0 ? toc[size_t(t - 1)] : 0;
    }
    return toc;
}

// The plan of one exact output, from the frames the walk found.
TOutputPlan ExactPlan(const TMPEGAFHdr &hdr, TFileStream &source,
                      const std::vector<TMPEGAFHdr::TFrameAt> &frames, const TExact &x)
{
    const int64_t s = hdr.SamplesPerFrame;
    const int64_t k = x.r / s;
    const int64_t j = x.Span.First;
    const TMPEGAFHdr::TFrameAt *first = Find(frames, j);
    const TMPEGAFHdr::TFrameAt *end = Find(frames, x.Span.End);
    TOutputPlan plan;
    if (first == nullptr) {
        return plan; // the audio ended first: no frame lies in the range
    }
    plan.Bytes = {first->Pos, end != nullptr ? end->Pos : hdr.AudioEnd};
    plan.Toc = ExactToc(hdr, frames, x, plan.Bytes);
    // The bit reservoir bytes those frames reach back for, before frame j, go into a silent
    // frame in front of them.
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
    // A silent frame also makes room for the decoder's own delay when a file without a LAME
    // tag is cut from its very start.
    const int64_t least = reach > 0 || x.r - j * s < DecoderDelay ? 1 : 0;
    int64_t fillers = InTurn(hdr, k, k - j, least, (MaxDelay + DecoderDelay - (x.r - j * s)) / s);
    fillers = fillers < 0 ? least : fillers;
    plan.Filler = SilentFrames(hdr, fillers, ReservoirBytes(source, frames, j, reach));
    // The output's frames are the source's moved by shift frames.
    const int64_t shift = fillers - first->Index;
    plan.Frames = x.Span.End + shift;
    plan.InfoFrame = true;
    plan.Delay = int32_t(std::clamp<int64_t>(x.r + shift * s - DecoderDelay, 0, MaxDelay));
    plan.Padding =
        int32_t(std::clamp<int64_t>(plan.Frames * s - plan.Delay - (x.e - x.r), 0, MaxDelay));
    return plan;
}

// Junk among the frames stays out of every output; the walks that found each plan's last frame
// stepped over all of it, and the seek table counts the bytes the output holds.
void LeaveOutJunk(const TMPEGAFHdr &hdr, size_t stream, std::vector<TOutputPlan> &plans)
{
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
}

// PlanOutputs for ranges of one stream, on its own timeline.
std::vector<TOutputPlan> PlanStream(TSource &input, size_t stream,
                                    const std::vector<TOutputRange> &ranges, bool exact,
                                    bool walkLater)
{
    TMPEGAFHdr &hdr = input.StreamHdr(stream);
    std::vector<TOutputPlan> plans(ranges.size());
    if (!exact || hdr.Layer != lyLayer3) {
        PlanWholeFrames(input, stream, ranges, plans);
    } else if (walkLater && hdr.WalkFrames) {
        const std::vector<TExact> spans = ExactSpans(hdr, ranges);
        for (size_t i = 0; i < ranges.size(); ++i) {
            const TExact &x = spans[i];
            if (x.r >= 0 && x.Span.First < hdr.FrameCount) {
                plans[i].InfoFrame = true;
                plans[i].Later = TOutputPlan::TLater{x.r, x.e, x.Span.First, x.Span.End};
            }
        }
    } else {
        const std::vector<TExact> spans = ExactSpans(hdr, ranges);
        const std::vector<TMPEGAFHdr::TFrameAt> frames =
            hdr.FramesAt(*input.Stream, WantedFrames(hdr, spans));
        for (size_t i = 0; i < ranges.size(); ++i) {
            if (spans[i].r >= 0) {
                plans[i] = ExactPlan(hdr, *input.Stream, frames, spans[i]);
            }
        }
    }
    LeaveOutJunk(hdr, stream, plans);
    return plans;
}

} // namespace

std::vector<TOutputPlan> PlanOutputs(TSource &input, const std::vector<TOutputRange> &ranges,
                                     bool exact, bool walkLater)
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
        std::vector<TOutputPlan> planned = PlanStream(input, stream, own, exact, walkLater);
        std::move(planned.begin(), planned.end(), std::back_inserter(plans));
    }
    return plans;
}

TOutputPlan PlanHead(TSource &input, const TOutputPlan &later)
{
    TMPEGAFHdr &hdr = input.StreamHdr(later.Stream);
    const TOutputPlan::TLater &l = *later.Later;
    const TExact x{l.R, l.E, {l.First, l.End}};
    // The frames before the first wanted one lie near where the last walk went by: the index
    // and the window kept from it find them without reading the file again.
    const std::vector<int64_t> head = HeadFrames(x.r / hdr.SamplesPerFrame);
    TOutputPlan plan = ExactPlan(hdr, *input.Stream, hdr.FramesAt(*input.Stream, head), x);
    plan.Toc.clear();
    plan.Stream = later.Stream;
    plan.Later = later.Later;
    return plan;
}

std::vector<int64_t> TocFrames(const TOutputPlan::TLater &later, int32_t samplesPerFrame)
{
    std::vector<int64_t> frames;
    for (int64_t t = 0; t < 100; ++t) {
        frames.push_back(std::min(later.End - 1, TocIndex(later.R, later.E, samplesPerFrame, t)));
    }
    return frames;
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

} // namespace mp3core
