#include "jobs/ChapterOffsets.h"

#include "format/Source.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace mp3core {

namespace {

void PutBigEndian(std::vector<uint8_t> &bytes, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.push_back(uint8_t(value >> shift));
    }
}

// The bytes of a CHAP frame's body as ChapterFrames renders it, up to its offsets: the element
// ID, its end, the start and end times, and the two offsets "not given".
std::vector<uint8_t> UnplacedChapter(const TChapter &c)
{
    std::vector<uint8_t> bytes(c.Id.begin(), c.Id.end());
    bytes.push_back(0);
    PutBigEndian(bytes, uint32_t(c.StartMs));
    PutBigEndian(bytes, uint32_t(c.EndMs));
    bytes.insert(bytes.end(), 8, 0xFF);
    return bytes;
}

} // namespace

void WriteChapterOffsets(TFileStream &written, const std::vector<TChapter> &chapters)
{
    if (chapters.empty()) {
        return;
    }
#ifdef _WIN32
    return; // the offsets stay "not given"
#else
    // A second look at the output through a descriptor of its own, which moves no offset of
    // the writer's.
    const int fd = ::open(DescriptorPath(written).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return; // no such view of the file here: the offsets stay "not given"
    }
    TSource output;
    output.Stream = std::make_unique<TFileStream>(fd, written.FileName());
    if (!output.ReadStreams()) {
        return;
    }
    const TMPEGAFHdr &hdr = output.Hdr;
    std::vector<uint8_t> tag(size_t(hdr.StreamStart));
    output.Stream->ReadBufferAt(0, tag.data(), int64_t(tag.size()));
    const int64_t lengthMs = output.LengthMs();
    const auto frameFrom = [&](int64_t ms) {
        const TByteRange r = output.RangeBytes(ms, std::nullopt);
        return ms < lengthMs && r.End > r.Start ? r.Start : hdr.AudioEnd;
    };
    for (const TChapter &c : chapters) {
        const std::vector<uint8_t> body = UnplacedChapter(c);
        const auto at = std::search(tag.begin(), tag.end(), body.begin(), body.end());
        const int64_t start = frameFrom(c.StartMs);
        const int64_t end = frameFrom(c.EndMs);
        if (at == tag.end() || end >= int64_t(std::numeric_limits<uint32_t>::max())) {
            continue;
        }
        std::vector<uint8_t> offsets;
        PutBigEndian(offsets, uint32_t(start));
        PutBigEndian(offsets, uint32_t(end));
        const int64_t pos = (at - tag.begin()) + int64_t(body.size()) - 8;
        written.WriteBufferAt(pos, offsets.data(), 8);
    }
#endif
}

} // namespace mp3core
