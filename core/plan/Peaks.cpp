#include "plan/Peaks.h"

#include "format/Decoder.h"
#include "io/Errors.h"

#include <mpg123.h>

#include <algorithm>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>

namespace mp3core {

namespace {

// Frames a piece decodes before its own: enough for the bit reservoir (511 bytes, in the
// smallest frames) and for the overlap of the frame before.
constexpr int64_t PrimingFrames = 12;

struct TDecoderHandle
{
    mpg123_handle *Handle = nullptr;
    ~TDecoderHandle() { CloseDecoder(Handle); }
};

// One piece: it decodes frames [From, End) of the stream and keeps the samples of frames
// [Own, End), counted as the raw samples of the whole stream.
struct TPieceFrames
{
    int64_t From = 0;
    int64_t Own = 0;
    int64_t End = 0;
    TByteRange Bytes;
};

// Frames [Own, End) of each piece, and its frames and bytes to decode, found in one walk of a
// VBR stream.
std::vector<TPieceFrames> PieceFrames(TSource &source,
                                      const std::vector<std::pair<int64_t, int64_t>> &owned)
{
    TMPEGAFHdr &hdr = source.Hdr;
    // libmpg123 sums its synthesis in a turn of four granules, from the frame where the whole
    // stream's decode starts (four before the first one played; the frames before only fill
    // the reservoir): a piece's first decoded frame falls on the turn the whole decode has
    // there: an even number of (two-granule, MPEG-1) frames after it.
    const int64_t lead = hdr.LeadSamples();
    const int64_t origin = std::max<int64_t>(0, lead / hdr.SamplesPerFrame - 4);
    std::vector<TPieceFrames> out;
    std::vector<int64_t> wanted;
    for (const auto &[own, end] : owned) {
        TPieceFrames p;
        p.Own = own;
        p.End = end;
        if (p.End <= p.Own) {
            continue;
        }
        for (int64_t q = p.Own - PrimingFrames - 3; q <= p.Own - PrimingFrames; ++q) {
            wanted.push_back(std::max<int64_t>(0, q)); // the candidates for its first frame
        }
        out.push_back(p);
    }
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    const std::vector<TMPEGAFHdr::TFrameAt> at = hdr.FramesAt(*source.Stream, wanted);
    const auto pos = [&](int64_t index) {
        const auto it =
            std::lower_bound(at.begin(), at.end(), index,
                             [](const TMPEGAFHdr::TFrameAt &f, int64_t i) { return f.Index < i; });
        return it != at.end() && it->Index == index ? it->Pos : hdr.AudioEnd;
    };
    for (TPieceFrames &p : out) {
        p.From = 0;
        for (int64_t c = p.Own - PrimingFrames; c > 0 && c > p.Own - PrimingFrames - 4; --c) {
            if ((c - origin) % 2 == 0) {
                p.From = c;
                break;
            }
        }
        // To the end of the stream: a piece stops once it has decoded its own frames.
        p.Bytes = {pos(p.From), hdr.AudioEnd};
    }
    return out;
}

// Decodes one piece and hands the samples it owns, within what the stream plays, to sink.
void DecodePiece(const std::string &file, const TMPEGAFHdr &hdr, size_t index,
                 const TPieceFrames &p, const TSampleSink &sink, std::string &error,
                 const std::shared_ptr<const std::atomic<bool>> &cancel)
{
    long rate = 0;
    int channels = 0;
    TDecoderHandle decoder;
    // The piece's bytes hold no information frame: the decoder gives every frame's samples.
    decoder.Handle = OpenDecoder(file, p.Bytes, rate, channels, error, cancel);
    if (decoder.Handle == nullptr) {
        return;
    }
    const int64_t spf = hdr.SamplesPerFrame;
    const int64_t lead = hdr.LeadSamples();
    const int64_t played = hdr.PlayedSamples();
    // The raw samples this piece keeps, as the whole stream counts them.
    const int64_t keepFrom = std::max(p.Own * spf, lead);
    const int64_t keepTo = std::min(p.End * spf, lead + played);
    std::vector<int16_t> buffer(size_t(spf) * size_t(channels) * 8);
    int64_t raw = p.From * spf; // the raw index of the next sample decoded
    while (raw < keepTo) {
        if (cancel != nullptr && cancel->load()) {
            return;
        }
        size_t bytes = 0;
        const int rc = mpg123_read(decoder.Handle, reinterpret_cast<unsigned char *>(buffer.data()),
                                   buffer.size() * sizeof(int16_t), &bytes);
        const int64_t count = int64_t(bytes / sizeof(int16_t)) / channels;
        const int64_t from = std::max(raw, keepFrom);
        const int64_t to = std::min(raw + count, keepTo);
        if (to > from) {
            sink(index, from - lead, buffer.data() + (from - raw) * channels, to - from);
        }
        raw += count;
        if (rc == MPG123_DONE) {
            break;
        }
        if (rc != MPG123_OK && rc != MPG123_NEW_FORMAT) {
            error = mpg123_strerror(decoder.Handle);
            return;
        }
    }
}

} // namespace

bool DecodeInPieces(TSource &source, size_t pieces, const TSampleSink &sink, std::string &error,
                    const std::shared_ptr<const std::atomic<bool>> &cancel)
{
    // MPEG-2 and 2.5 pieces do not always join to the very samples: now and then a sample
    // rounds one step apart many frames after a piece's start, whichever frame it starts on.
    // Their streams decode in one piece (they hold half the samples or fewer, and decode fast).
    pieces = source.Hdr.MPEGVersion != mvMpeg1 ? 1 : std::max<size_t>(1, pieces);
    const int64_t count = source.Hdr.FrameCount;
    std::vector<std::pair<int64_t, int64_t>> owned;
    for (size_t k = 0; k < pieces; ++k) {
        owned.emplace_back(count * int64_t(k) / int64_t(pieces),
                           count * int64_t(k + 1) / int64_t(pieces));
    }
    const std::string file = source.Stream->FileName().string();
    std::vector<std::string> errors(pieces);
    {
        // Every thread is joined at the end of this block, also when the walk raises.
        struct TThreads : std::vector<std::thread>
        {
            ~TThreads()
            {
                for (std::thread &t : *this) {
                    t.join();
                }
            }
        } threads;
        const auto start = [&](size_t k, const TPieceFrames &p) {
            threads.emplace_back(
                [&, k, p] { DecodePiece(file, source.Hdr, k, p, sink, errors[k], cancel); });
        };
        // The first piece starts at the first frame, which needs no walk: it decodes while the
        // walk (of a VBR stream) finds where the others start.
        for (const TPieceFrames &p : PieceFrames(source, {owned[0]})) {
            start(0, p);
        }
        owned.erase(owned.begin());
        const std::vector<TPieceFrames> rest = PieceFrames(source, owned);
        for (size_t k = 0; k < rest.size(); ++k) {
            start(k + 1, rest[k]);
        }
    }
    if (cancel != nullptr && cancel->load()) {
        return false; // stopped: the reads that failed were the cancel's
    }
    for (const std::string &e : errors) {
        if (!e.empty()) {
            error = e;
            return false;
        }
    }
    return true;
}

bool DecodeStretch(TSource &source, int64_t first, int64_t count, std::vector<int16_t> &samples,
                   std::string &error)
{
    const TMPEGAFHdr &hdr = source.Hdr;
    const int channels = hdr.ChannelMode == cmMono ? 1 : 2;
    const int64_t spf = std::max(1, hdr.SamplesPerFrame);
    first = std::clamp<int64_t>(first, 0, hdr.PlayedSamples());
    count = std::clamp<int64_t>(count, 0, hdr.PlayedSamples() - first);
    samples.assign(size_t(count * channels), 0);
    if (count == 0) {
        return true;
    }
    const int64_t lead = hdr.LeadSamples();
    const std::vector<TPieceFrames> piece = PieceFrames(
        source,
        {{(first + lead) / spf, std::min(hdr.FrameCount, (first + count + lead) / spf + 1)}});
    if (piece.empty()) {
        return true;
    }
    int64_t filled = 0;
    const TSampleSink sink = [&](size_t, int64_t at, const int16_t *s, int64_t n) {
        const int64_t from = std::max(at, first);
        const int64_t to = std::min(at + n, first + count);
        if (to > from) {
            std::copy(s + (from - at) * channels, s + (to - at) * channels,
                      samples.begin() + (from - first) * channels);
            filled = std::max(filled, to - first);
        }
    };
    DecodePiece(source.Stream->FileName().string(), hdr, 0, piece[0], sink, error, {});
    samples.resize(size_t(filled * channels));
    return error.empty();
}

void TPeakSketch::Start(const TPeaks &shape, int64_t blocks)
{
    std::lock_guard hold(lock_);
    shape_ = shape;
    shape_.Levels.clear();
    // The coarsest shift that leaves at most 4,096 peaks.
    shape_.Shift = 0;
    while ((blocks >> shape_.Shift) > 4096) {
        ++shape_.Shift;
    }
    const int64_t size = (blocks + (int64_t(1) << shape_.Shift) - 1) >> shape_.Shift;
    coarse_.assign(size_t(size),
                   TPeak{std::numeric_limits<int16_t>::max(), std::numeric_limits<int16_t>::min()});
    ++version_;
}

void TPeakSketch::Add(const std::vector<std::pair<int64_t, TPeak>> &found)
{
    std::lock_guard hold(lock_);
    for (const auto &[block, peak] : found) {
        TPeak &p = coarse_[size_t(block >> shape_.Shift)];
        p = {std::min(p.Min, peak.Min), std::max(p.Max, peak.Max)};
    }
    ++version_;
}

TPeaks TPeakSketch::Copy() const
{
    std::lock_guard hold(lock_);
    TPeaks peaks = shape_;
    if (!coarse_.empty()) {
        peaks.Levels = PeakLevels(coarse_);
    }
    return peaks;
}

uint64_t TPeakSketch::Version() const
{
    std::lock_guard hold(lock_);
    return version_;
}

std::vector<std::vector<TPeak>> PeakLevels(std::vector<TPeak> finest)
{
    std::vector<std::vector<TPeak>> levels;
    levels.push_back(std::move(finest));
    while (levels.back().size() > 1) {
        const std::vector<TPeak> &below = levels.back();
        std::vector<TPeak> level((below.size() + 1) / 2);
        for (size_t i = 0; i < level.size(); ++i) {
            const TPeak &a = below[2 * i];
            const TPeak &b = 2 * i + 1 < below.size() ? below[2 * i + 1] : a;
            level[i] = {std::min(a.Min, b.Min), std::max(a.Max, b.Max)};
        }
        levels.push_back(std::move(level));
    }
    return levels;
}

namespace {

// The finest peaks of a run of samples: the blocks it touches, each with its peak.
std::vector<std::pair<int64_t, TPeak>> BlockPeaks(int64_t first, const int16_t *samples,
                                                  int64_t count, int channels)
{
    std::vector<std::pair<int64_t, TPeak>> found;
    for (int64_t i = 0; i < count;) {
        const int64_t block = (first + i) / PeakBlock;
        const int64_t take = std::min(count - i, (block + 1) * PeakBlock - (first + i));
        int16_t lo = std::numeric_limits<int16_t>::max();
        int16_t hi = std::numeric_limits<int16_t>::min();
        for (const int16_t *q = samples + i * channels, *e = q + take * channels; q < e; ++q) {
            lo = std::min(lo, *q);
            hi = std::max(hi, *q);
        }
        found.emplace_back(block, TPeak{lo, hi});
        i += take;
    }
    return found;
}

} // namespace

TPeaks BuildPeaks(TSource &source, size_t threads,
                  const std::shared_ptr<const std::atomic<bool>> &cancel, TPeakSketch *sketch)
{
    TPeaks peaks;
    const TMPEGAFHdr &hdr = source.Hdr;
    peaks.Rate = hdr.SampleRate;
    peaks.Channels = hdr.ChannelMode == cmMono ? 1 : 2;
    peaks.Samples = hdr.PlayedSamples();
    const int64_t blocks = (std::max<int64_t>(0, peaks.Samples) + PeakBlock - 1) / PeakBlock;
    if (sketch != nullptr) {
        sketch->Start(peaks, blocks);
    }
    // Every block starts empty (highest minimum, lowest maximum); the pieces fill the blocks
    // they cover, two of them in one block where they meet.
    std::vector<TPeak> finest(size_t(blocks), TPeak{std::numeric_limits<int16_t>::max(),
                                                    std::numeric_limits<int16_t>::min()});
    std::mutex lock;
    const int channels = peaks.Channels;
    const TSampleSink sink = [&](size_t, int64_t first, const int16_t *samples, int64_t count) {
        const std::vector<std::pair<int64_t, TPeak>> found =
            BlockPeaks(first, samples, count, channels);
        {
            std::lock_guard hold(lock);
            for (const auto &[block, peak] : found) {
                TPeak &p = finest[size_t(block)];
                p = {std::min(p.Min, peak.Min), std::max(p.Max, peak.Max)};
            }
        }
        if (sketch != nullptr) {
            sketch->Add(found);
        }
    };
    if (!DecodeInPieces(source, threads, sink, peaks.Error, cancel)) {
        peaks.Stopped = peaks.Error.empty();
        return peaks;
    }
    if (!finest.empty()) {
        peaks.Levels = PeakLevels(std::move(finest));
    }
    return peaks;
}

int64_t QuietestNear(const TPeaks &peaks, int64_t ms, int64_t reachMs)
{
    if (peaks.Levels.empty() || peaks.Rate <= 0) {
        return ms;
    }
    const std::vector<TPeak> &finest = peaks.Levels[0];
    const int64_t block = PeakBlock << peaks.Shift;
    const auto blockAt = [&](int64_t t) {
        return std::clamp<int64_t>(t * peaks.Rate / 1000 / block, 0, int64_t(finest.size()) - 1);
    };
    const int64_t at = blockAt(ms);
    std::optional<int64_t> best;
    int quietest = 0;
    for (int64_t b = blockAt(ms - reachMs); b <= blockAt(ms + reachMs); ++b) {
        const TPeak &p = finest[size_t(b)];
        const int loud = int(p.Max) - int(p.Min);
        if (p.Min > p.Max) {
            continue; // not decoded yet
        }
        if (!best || loud < quietest ||
            (loud == quietest && std::abs(b - at) < std::abs(*best - at))) {
            best = b;
            quietest = loud;
        }
    }
    if (!best) {
        return ms;
    }
    // The middle of the quietest block, within the file.
    return std::min(*best * block + block / 2, peaks.Samples) * 1000 / peaks.Rate;
}

} // namespace mp3core
