#include "format/Source.h"

#include <algorithm>
#include <cstdint>

namespace mp3core {

bool TSource::ReadStreams()
{
    if (!Hdr.ReadFirstFrame(*Stream)) {
        return false;
    }
    // What follows the first stream's frames may be a stream of another format.
    const int64_t size = Stream->Size();
    for (TMPEGAFHdr *last = &Hdr; last->AudioEnd < size;) {
        auto next = std::make_unique<TMPEGAFHdr>();
        if (!next->ReadFirstFrame(*Stream, last->AudioEnd)) {
            break;
        }
        const int64_t start = StreamStartMs(StreamCount() - 1) + last->PlayedMs();
        Later.push_back({std::move(next), start});
        last = Later.back().Hdr.get();
    }
    return true;
}

size_t TSource::StreamAt(int64_t ms) const
{
    size_t k = 0;
    while (k < Later.size() && ms >= Later[k].StartMs) {
        ++k;
    }
    return k;
}

int64_t TSource::LengthMs() const
{
    const TMPEGAFHdr &last = Later.empty() ? Hdr : *Later.back().Hdr;
    return StreamStartMs(StreamCount() - 1) + last.PlayedMs();
}

int64_t TSource::LastCutMs()
{
    const size_t last = StreamCount() - 1;
    return StreamStartMs(last) + StreamHdr(last).LastCutMs(*Stream);
}

std::vector<int64_t> TSource::SizeCutTimes(int64_t fromMs, int64_t toMs, int64_t stepBytes)
{
    std::vector<int64_t> times;
    for (size_t k = 0; k < StreamCount(); ++k) {
        const int64_t start = StreamStartMs(k);
        const int64_t end = k + 1 < StreamCount() ? StreamStartMs(k + 1) : INT64_MAX;
        if (end <= fromMs || start >= toMs) {
            continue;
        }
        for (const int64_t t : StreamHdr(k).SizeCutTimes(*Stream, std::max(fromMs, start) - start,
                                                         std::min(toMs, end) - start, stepBytes)) {
            times.push_back(start + t);
        }
    }
    return times;
}

TByteRange TSource::RangeBytes(int64_t startMs, const std::optional<int64_t> &endMs, size_t stream)
{
    TMPEGAFHdr &hdr = StreamHdr(stream);
    if (endMs) {
        return hdr.RangeBytes(*Stream, startMs, *endMs);
    }
    const int64_t start = hdr.FrameOffsetAt(*Stream, startMs);
    return start < hdr.AudioEnd ? TByteRange{start, hdr.AudioEnd} : TByteRange{};
}

} // namespace mp3core
