#include "format/StreamFrames.h"

#include "format/FrameScan.h"
#include "io/Arith.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <optional>

namespace mp3core {

namespace {

// A file counts as VBR when the bitrates of its first frames differ.
constexpr int VbrProbeFrames = 64;
constexpr int64_t CopyBlock = 256 * 1024; // read, summed and written while in the cache
constexpr int64_t ProgressStep = 8 * 1024 * 1024;

} // namespace

void TStreamFrames::Begin(const TFrameInfo &first, const std::array<uint8_t, 4> &header,
                          int64_t audioStart, int64_t audioEnd, bool vbr, int64_t frames,
                          int64_t bytes)
{
    first_ = first;
    firstHeader_ = header;
    AudioStart = audioStart;
    AudioEnd = audioEnd;
    Bitrate = first.Bitrate;
    SampleRate = first.SampleRate;
    SamplesPerFrame = first.SamplesPerFrame;
    FrameLength = first.FrameLength;
    FrameCount = 0;
    Duration = 0;
    VBR = vbr;
    WalkFrames = false;
    infoFrames_ = frames;
    infoBytes_ = bytes;
    index_ = TFrameIndex{};
    index_.Reset(audioStart);
    junk_.clear();
    walkedAll_ = false;
}

void TStreamFrames::Count(TFileStream &stream, int64_t streamStart)
{
    TWindowReader reader(stream, stream.Size(), window_);
    bool padded = false;
    const std::vector<int64_t> probed = VBR ? std::vector<int64_t>{} : ProbeFrames(reader, padded);
    // An information frame's count stands only while the file still holds about the bytes it
    // announces (within 1 %, as libmpg123 checks): an editor may have cut audio out since.
    const int64_t streamBytes = AudioEnd - streamStart;
    const bool countHolds =
        infoFrames_ > 0 &&
        (infoBytes_ <= 0 || std::abs(infoBytes_ - streamBytes) * 100 <= streamBytes);
    if (!VBR) {
        if (!CountCbr(reader, probed, padded, countHolds)) {
            // Junk among the frames (a damaged download, a bad join) moves every frame after
            // it off the arithmetic: the frames are walked and counted as a VBR file's are,
            // and the junk is never taken for audio.
            CountByWalk(reader);
        }
        return;
    }
    FrameCount = countHolds ? infoFrames_ : 0;
    if (FrameCount <= 0) {
        CountByWalk(reader);
    }
    WalkFrames = true;
    Duration = RoundHalfEven(FrameCount * SamplesPerFrame * 1000, SampleRate);
    if (Duration > 0) {
        Bitrate = int32_t(RoundHalfEven((AudioEnd - AudioStart) * 8, Duration));
    }
}

std::vector<int64_t> TStreamFrames::ProbeFrames(TWindowReader &reader, bool &padded)
{
    std::vector<int64_t> probed; // where the first frames start, from AudioStart
    TFrameWalker walker(reader, first_, firstHeader_, AudioEnd, AudioStart, NoteJunk(), &index_);
    TFrameInfo frame;
    int64_t framePos = 0;
    for (int i = 0; i < VbrProbeFrames && walker.Next(frame, framePos); ++i) {
        probed.push_back(framePos - AudioStart);
        padded = padded || frame.PaddingSize > 0;
        if (frame.Bitrate != first_.Bitrate) {
            VBR = true;
            break;
        }
    }
    return probed;
}

bool TStreamFrames::CountCbr(TWindowReader &reader, const std::vector<int64_t> &probed, bool padded,
                             bool countHolds)
{
    const int64_t audioBytes = AudioEnd - AudioStart;
    // Frames of one bitrate differ only by a padding slot; where the encoder pads, a frame
    // holds samples x kbps x 125 / rate bytes on average, and their number is the bytes over
    // that average, bits x rate / (kbps x samples).
    cbrNum_ = padded ? int64_t(SamplesPerFrame) * Bitrate * 125 : FrameLength;
    cbrDen_ = padded ? SampleRate : 1;
    FrameCount = countHolds ? infoFrames_
                 : padded   ? RoundHalfEven(audioBytes * 8 * SampleRate,
                                            int64_t(Bitrate) * 1000 * SamplesPerFrame)
                            : audioBytes / FrameLength;
    Duration = RoundHalfEven(audioBytes * 8, Bitrate); // bits / kbps = ms
    // Frame i of a CBR stream starts within a byte of i times the average frame length: the
    // last frame counted must lie there and end the audio. An encoder that pads as its
    // running remainder overflows puts frame i at (i x num + c) / den exactly, for a phase c
    // that the first frames tell: then the last frame must lie at that very byte, and a
    // single byte of junk is found too.
    int64_t cLow = 0;
    int64_t cHigh = cbrDen_;
    for (size_t i = 0; i < probed.size(); ++i) {
        const int64_t at = int64_t(i) * cbrNum_;
        cLow = std::max(cLow, probed[i] * cbrDen_ - at);
        cHigh = std::min(cHigh, (probed[i] + 1) * cbrDen_ - at);
    }
    const int64_t n = FrameCount - 1;
    const bool phased = probed.size() >= 2 && cLow < cHigh &&
                        (n * cbrNum_ + cLow) / cbrDen_ == (n * cbrNum_ + cHigh - 1) / cbrDen_;
    const int64_t guess =
        AudioStart + (phased ? (n * cbrNum_ + cLow) / cbrDen_ : n * cbrNum_ / cbrDen_);
    TFrameInfo last;
    const int64_t lastPos =
        FrameCount <= 0
            ? -1
            : FindFrame(reader, std::max(AudioStart, guess - (phased ? 0 : 1)),
                        std::min(AudioEnd, guess + (phased ? 1 : 2)), AudioEnd, &first_, last);
    return lastPos >= 0 && lastPos + last.FrameLength == AudioEnd;
}

void TStreamFrames::CountByWalk(TWindowReader &reader)
{
    WalkFrames = true;
    TFrameWalker walker(reader, first_, firstHeader_, AudioEnd, AudioStart, NoteJunk(), &index_);
    FrameCount = walker.Skip(std::numeric_limits<int64_t>::max());
    walkedAll_ = true;
    Duration = RoundHalfEven(FrameCount * SamplesPerFrame * 1000, SampleRate);
}

std::function<void(TByteRange)> TStreamFrames::NoteJunk()
{
    return [this](TByteRange junk) {
        const auto at =
            std::lower_bound(junk_.begin(), junk_.end(), junk.Start,
                             [](const TByteRange &r, int64_t start) { return r.Start < start; });
        if (at == junk_.end() || at->Start != junk.Start) {
            junk_.insert(at, junk);
        }
    };
}

std::vector<TByteRange> TStreamFrames::JunkWithin(TByteRange range) const
{
    std::vector<TByteRange> within;
    for (const TByteRange &j : junk_) {
        if (j.Start >= range.Start && j.End <= range.End) {
            within.push_back(j);
        }
    }
    return within;
}

std::vector<TByteRange> TStreamFrames::FindJunk(TFileStream &source)
{
    if (WalkFrames && first_.Valid && !walkedAll_) {
        TWindowReader reader(source, AudioEnd, window_);
        TFrameWalker walker(reader, first_, firstHeader_, AudioEnd, AudioStart, NoteJunk(),
                            &index_);
        walker.Skip(std::numeric_limits<int64_t>::max());
        walkedAll_ = true;
    }
    return junk_;
}

int64_t TStreamFrames::FrameOffsetAt(TFileStream &source, int64_t ms)
{
    // Past 2^40 ms (35 years) every file has ended; the bound keeps ms x kbps in range.
    ms = std::clamp<int64_t>(ms, 0, int64_t(1) << 40);
    TWindowReader reader(source, AudioEnd, window_);
    TFrameInfo info;
    if (!WalkFrames) {
        // Constant bitrate: time maps to bytes; every table bitrate is a multiple of 8 kbps.
        const int64_t offset = AudioStart + RoundHalfEven(ms * Bitrate, 8);
        if (offset >= AudioEnd) {
            return AudioEnd;
        }
        const int64_t pos = FindFrame(reader, offset, AudioEnd, AudioEnd, &first_, info);
        return pos < 0 ? AudioEnd : pos;
    }
    // Variable bitrate: the first frame whose start time is at or after ms, found by walking
    // the headers from the nearest frame the index knows.
    const int64_t target = FrameNumberAt(ms);
    const TFrameIndex::TEntry from = index_.AtOrBefore(target);
    TFrameWalker walker(reader, first_, firstHeader_, AudioEnd, from.Pos, NoteJunk(), &index_,
                        from.Number);
    TFrameInfo at;
    int64_t framePos = 0;
    if (walker.Skip(target - from.Number) < target - from.Number || !walker.Next(at, framePos)) {
        return AudioEnd;
    }
    return framePos; // the walk may have resynchronised past junk
}

int64_t TStreamFrames::LastCutMs(TFileStream &source)
{
    if (!first_.Valid) {
        return 0;
    }
    if (WalkFrames) {
        // Time t cuts before frame ceil(t x rate / (1000 x samples)); the last is FrameCount - 1.
        const int64_t secondLast = FrameCount - 2;
        if (secondLast < 0) {
            return 0;
        }
        return secondLast * 1000 * SamplesPerFrame / SampleRate + 1;
    }
    // Constant bitrate: t cuts at the first frame from byte t x kbps / 8 of the audio on, so
    // every time past the second-to-last frame's start cuts at the last frame or later.
    TWindowReader reader(source, AudioEnd, window_);
    const int64_t from = std::max(AudioStart, AudioEnd - 4 * int64_t(FrameLength + 4));
    TFrameInfo info;
    int64_t pos = FindFrame(reader, from, AudioEnd, AudioEnd, &first_, info);
    int64_t last = -1;
    int64_t secondLast = -1;
    if (pos >= 0) {
        TFrameWalker walker(reader, first_, firstHeader_, AudioEnd, pos, NoteJunk());
        int64_t framePos = 0;
        while (walker.Next(info, framePos)) {
            secondLast = last;
            last = framePos;
        }
    }
    if (secondLast < 0) {
        return from == AudioStart ? 0 : Duration; // one frame; or junk we cannot see through
    }
    return (secondLast - AudioStart) / (Bitrate / 8) + 1;
}

std::vector<int64_t> TStreamFrames::SizeCutTimes(TFileStream &source, int64_t fromMs, int64_t toMs,
                                                 int64_t stepBytes)
{
    std::vector<int64_t> times;
    if (!first_.Valid || stepBytes < 1) {
        return times;
    }
    const int64_t from = FrameOffsetAt(source, fromMs);
    const int64_t to = FrameOffsetAt(source, toMs);
    // The frames' numbers count from the first audio frame, as VBR times do.
    TWindowReader reader(source, AudioEnd, window_);
    TFrameWalker walker(reader, first_, firstHeader_, AudioEnd, AudioStart, NoteJunk(), &index_);
    TFrameInfo info;
    int64_t index = -1;
    int64_t pos = 0;
    int64_t before = -1; // the frame before pos, and its number
    int64_t target = from + stepBytes;
    while (walker.Next(info, pos)) {
        ++index;
        if (pos < target) {
            before = pos;
            continue;
        }
        if (pos >= to) {
            break;
        }
        // The boundary nearest to the target: this frame's start, or the one before it.
        const bool takeBefore = before > from && target - before < pos - target;
        const int64_t at = takeBefore ? before : pos;
        const int64_t number = takeBefore ? index - 1 : index;
        times.push_back(WalkFrames ? number * 1000 * SamplesPerFrame / SampleRate
                                   : (at - AudioStart) / (Bitrate / 8));
        target = at + stepBytes;
        before = pos;
    }
    return times;
}

std::vector<TStreamFrames::TFrameAt> TStreamFrames::FramesAt(TFileStream &source,
                                                             const std::vector<int64_t> &indices)
{
    std::vector<TFrameAt> frames;
    if (!first_.Valid || indices.empty()) {
        return frames;
    }
    TWindowReader reader(source, AudioEnd, window_);
    auto record = [&](int64_t index, int64_t pos, const TFrameInfo &info) {
        TFrameAt f;
        f.Index = index;
        f.Pos = pos;
        f.Length = info.FrameLength;
        if (info.Layer == lyLayer3) {
            const uint8_t *b = reader.At(pos, 8);
            const bool mono = TChannelMode(b[3] >> 6) == cmMono;
            const uint8_t *side = b + 4 + (info.Protected ? 2 : 0);
            // side information, first bits: main_data_begin, 9 bits in MPEG-1, 8 after
            f.MainDataBegin =
                info.MPEGVersion == mvMpeg1 ? (side[0] << 1) | (side[1] >> 7) : side[0];
            f.MainDataRoom = info.FrameLength - 4 - (info.Protected ? 2 : 0) -
                             SideInfoBytes(info.MPEGVersion, mono);
        }
        frames.push_back(f);
    };
    TFrameInfo info;
    if (!WalkFrames) {
        for (const int64_t index : indices) {
            if (index < 0 || index >= FrameCount) {
                continue;
            }
            const int64_t guess = AudioStart + index * cbrNum_ / cbrDen_;
            const int64_t pos = FindFrame(reader, std::max(AudioStart, guess - 2), AudioEnd,
                                          AudioEnd, &first_, info);
            if (pos >= 0 && pos + info.FrameLength <= AudioEnd) {
                record(index, pos, info);
            }
        }
        return frames;
    }
    // One walk over the frames in order, which starts again nearer where the index knows a
    // frame closer to the next one wanted.
    std::optional<TFrameWalker> walker;
    int64_t number = 0; // of the frame at the walker's position
    for (const int64_t index : indices) {
        const TFrameIndex::TEntry from = index_.AtOrBefore(index);
        if (!walker || index < number || from.Number > number) {
            walker.emplace(reader, first_, firstHeader_, AudioEnd, from.Pos, NoteJunk(), &index_,
                           from.Number);
            number = from.Number;
        }
        number += walker->Skip(index - number);
        int64_t pos = 0;
        if (number < index || !walker->Next(info, pos)) {
            break;
        }
        number = index + 1;
        record(index, pos, info);
    }
    return frames;
}

int64_t TStreamFrames::FrameNumberAt(int64_t ms) const
{
    // Frame i starts at i x samples / rate seconds.
    ms = std::clamp<int64_t>(ms, 0, int64_t(1) << 40);
    const int64_t perFrame = int64_t(SamplesPerFrame) * 1000;
    return (ms * SampleRate + perFrame - 1) / perFrame;
}

int64_t TStreamFrames::FrameIndexAt(TFileStream &source, int64_t ms)
{
    ms = std::clamp<int64_t>(ms, 0, int64_t(1) << 40);
    if (WalkFrames) {
        return std::min(FrameCount, FrameNumberAt(ms));
    }
    const int64_t pos = FrameOffsetAt(source, ms);
    return pos >= AudioEnd
               ? FrameCount
               : std::min(FrameCount, RoundHalfEven((pos - AudioStart) * cbrDen_, cbrNum_));
}

TByteRange TStreamFrames::RangeBytes(TFileStream &source, int64_t startMs, int64_t endMs)
{
    if (!first_.Valid) {
        return {};
    }
    startMs = std::max<int64_t>(startMs, 0);
    endMs = std::max<int64_t>(endMs, 0);
    if (startMs >= endMs) {
        return {};
    }
    const int64_t start = FrameOffsetAt(source, startMs);
    if (start >= AudioEnd) {
        return {};
    }
    const int64_t end = FrameOffsetAt(source, endMs);
    if (end <= start) {
        return {};
    }
    return {start, end};
}

int64_t TStreamFrames::CopyBytes(TFileStream &source, TFileStream &target, TByteRange range,
                                 const TCopyProgress &progress, uint16_t *crc)
{
    if (range.End <= range.Start) {
        return 0;
    }
    if (!copyBuffer_) {
        copyBuffer_.reset(new char[CopyBlock]);
    }
    source.Seek(range.Start, soBeginning);
    const int64_t total = range.End - range.Start;
    // With someone to tell, a long copy goes in steps that leave room for a progress bar.
    const int64_t step = progress ? ProgressStep : total;
    int64_t copied = 0;
    while (copied < total) {
        const int64_t n = std::min(step, total - copied);
        target.CopyFrom(source, n, copyBuffer_.get(), CopyBlock, crc);
        copied += n;
        if (progress && copied < total && !progress(copied, total)) {
            break;
        }
    }
    return copied;
}

void TStreamFrames::ForEachFrame(TFileStream &source, int64_t first, int64_t pos, int64_t end,
                                 const TFrameSink &sink)
{
    TWindowReader reader(source, AudioEnd, window_);
    TFrameWalker walker(reader, first_, firstHeader_, AudioEnd, pos, NoteJunk(), &index_, first);
    TFrameInfo info;
    int64_t at = 0;
    for (int64_t n = first; n < end && walker.Next(info, at); ++n) {
        // The walker found the frame whole inside the audio: its bytes are there to read.
        sink(n, reader.At(at, info.FrameLength), info.FrameLength);
    }
}

} // namespace mp3core
