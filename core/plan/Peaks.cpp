#include "plan/Peaks.h"

#include "format/Decoder.h"
#include "io/Errors.h"

#include <mpg123.h>

#include <algorithm>
#include <limits>
#include <mutex>
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

// The pieces' frames and bytes, found in one walk of a VBR stream.
std::vector<TPieceFrames> PieceFrames(TSource &source, size_t pieces)
{
    TMPEGAFHdr &hdr = source.Hdr;
    const int64_t frames = hdr.FrameCount;
    // libmpg123 sums its synthesis in a turn of four granules, from the frame where the whole
    // stream's decode starts (four before the first one played; the frames before only fill
    // the reservoir): a piece's first decoded frame falls on the turn the whole decode has
    // there.
    const int64_t granules = 2; // an MPEG-1 frame's
    const int64_t lead = hdr.LeadSamples();
    const int64_t origin = std::max<int64_t>(0, lead / hdr.SamplesPerFrame - 4);
    std::vector<TPieceFrames> out;
    std::vector<int64_t> wanted;
    for (size_t k = 0; k < pieces; ++k) {
        TPieceFrames p;
        p.Own = frames * int64_t(k) / int64_t(pieces);
        p.End = frames * int64_t(k + 1) / int64_t(pieces);
        if (p.End <= p.Own) {
            continue;
        }
        for (int64_t q = p.Own - PrimingFrames - 3; q <= p.Own - PrimingFrames; ++q) {
            wanted.push_back(std::max<int64_t>(0, q)); // the candidates for its first frame
        }
        wanted.push_back(p.End);
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
            if ((c - origin) * granules % 4 == 0) {
                p.From = c;
                break;
            }
        }
        p.Bytes = {pos(p.From), pos(p.End)};
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
    if (source.Hdr.MPEGVersion != mvMpeg1) {
        pieces = 1;
    }
    const std::vector<TPieceFrames> frames = PieceFrames(source, std::max<size_t>(1, pieces));
    const std::string file = source.Stream->FileName().string();
    std::vector<std::string> errors(frames.size());
    std::vector<std::thread> threads;
    for (size_t k = 0; k < frames.size(); ++k) {
        threads.emplace_back(
            [&, k] { DecodePiece(file, source.Hdr, k, frames[k], sink, errors[k], cancel); });
    }
    for (std::thread &t : threads) {
        t.join();
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

TPeaks BuildPeaks(TSource &source, size_t threads,
                  const std::shared_ptr<const std::atomic<bool>> &cancel)
{
    TPeaks peaks;
    const TMPEGAFHdr &hdr = source.Hdr;
    peaks.Rate = hdr.SampleRate;
    peaks.Channels = hdr.ChannelMode == cmMono ? 1 : 2;
    peaks.Samples = hdr.PlayedSamples();
    const int64_t blocks = (std::max<int64_t>(0, peaks.Samples) + PeakBlock - 1) / PeakBlock;
    // Every block starts empty (highest minimum, lowest maximum); a piece fills the blocks it
    // covers, and two pieces meet in one block at most, which a lock keeps whole.
    std::vector<TPeak> finest(size_t(blocks), TPeak{std::numeric_limits<int16_t>::max(),
                                                    std::numeric_limits<int16_t>::min()});
    std::mutex edges;
    const int channels = peaks.Channels;
    const TSampleSink sink = [&](size_t, int64_t first, const int16_t *samples, int64_t count) {
        for (int64_t i = 0; i < count;) {
            const int64_t block = (first + i) / PeakBlock;
            const int64_t take = std::min(count - i, (block + 1) * PeakBlock - (first + i));
            int16_t lo = std::numeric_limits<int16_t>::max();
            int16_t hi = std::numeric_limits<int16_t>::min();
            for (const int16_t *q = samples + i * channels, *e = q + take * channels; q < e; ++q) {
                lo = std::min(lo, *q);
                hi = std::max(hi, *q);
            }
            // A block a piece holds whole is its alone; a shared one is merged under the lock.
            const bool whole = take == PeakBlock;
            std::unique_lock lock(edges, std::defer_lock);
            if (!whole) {
                lock.lock();
            }
            TPeak &p = finest[size_t(block)];
            p = {std::min(p.Min, lo), std::max(p.Max, hi)};
            i += take;
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

} // namespace mp3core
