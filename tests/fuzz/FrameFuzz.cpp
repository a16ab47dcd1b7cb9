// Reading the first frame and the stream's facts, then planning and copying ranges: whatever
// the bytes, the facts are consistent, ranges stay inside the audio and join exactly, a copy is
// the input's own bytes, and every plan fits the information frame's fields.
#include "FuzzSupport.h"

#include "format/MPEGAFHdr.h"
#include "jobs/JobOutcome.h"
#include "output/OutputAssembly.h"

#include <algorithm>
#include <cstring>

using namespace mp3core;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const TMemoryFile file(data, size);
    TSource input;
    TJobOutcome outcome;
    if (!OpenJobInput(file.Path(), input, outcome)) {
        FUZZ_CHECK(outcome.Status == TJobStatus::NoAudio);
        return 0;
    }
    TMPEGAFHdr &hdr = input.Hdr;
    TFileStream &stream = *input.Stream;
    FUZZ_CHECK(0 <= hdr.AudioStart && hdr.AudioStart < hdr.AudioEnd);
    FUZZ_CHECK(hdr.AudioEnd <= int64_t(size));
    FUZZ_CHECK(hdr.FrameCount >= 0 && hdr.Duration >= 0 && hdr.PlayedMs() >= 0);
    // Streams after the first follow each other in the file and on its timeline.
    for (size_t k = 1; k < input.StreamCount(); ++k) {
        FUZZ_CHECK(input.StreamHdr(k).StreamStart >= input.StreamHdr(k - 1).AudioEnd);
        FUZZ_CHECK(input.StreamHdr(k).AudioEnd <= int64_t(size));
        FUZZ_CHECK(input.StreamStartMs(k) >= input.StreamStartMs(k - 1));
    }

    // Three times, sorted: two ranges that meet.
    TTail tail(data, size);
    const auto span = uint32_t(std::min<int64_t>(input.LengthMs() + 2000, 1 << 30));
    int64_t t[3] = {tail.Next(span), tail.Next(span), tail.Next(span)};
    std::sort(t, t + 3);
    const TByteRange a = hdr.RangeBytes(stream, t[0], t[1]);
    const TByteRange b = hdr.RangeBytes(stream, t[1], t[2]);
    for (const TByteRange &r : {a, b}) {
        if (r.Start < r.End) {
            FUZZ_CHECK(hdr.AudioStart <= r.Start && r.End <= hdr.AudioEnd);
        }
    }
    if (a.Start < a.End && b.Start < b.End) {
        FUZZ_CHECK(a.End == b.Start);
    }

    // A copy holds the input's bytes of its range.
    if (a.Start < a.End) {
        const TMemoryFile copy(nullptr, 0);
        TFileStream target(copy.Path(), fmOpenReadWrite);
        FUZZ_CHECK(hdr.CopyBytes(stream, target, a) == a.End - a.Start);
        std::vector<uint8_t> back(size_t(a.End - a.Start));
        target.ReadBufferAt(0, back.data(), int64_t(back.size()));
        FUZZ_CHECK(std::memcmp(back.data(), data + a.Start, back.size()) == 0);
    }

    // Plans, exact and of whole frames: inside the audio, in order, within their fields.
    for (const bool exact : {true, false}) {
        const std::vector<TOutputPlan> plans =
            PlanOutputs(input, {{t[0], t[1]}, {t[1], t[2]}, {t[2], std::nullopt}}, exact);
        FUZZ_CHECK(plans.size() == 3);
        int64_t end = hdr.AudioStart;
        for (const TOutputPlan &p : plans) {
            if (p.Bytes.Start >= p.Bytes.End) {
                continue;
            }
            FUZZ_CHECK(p.Stream < input.StreamCount());
            const TMPEGAFHdr &own = input.StreamHdr(p.Stream);
            FUZZ_CHECK(own.AudioStart <= p.Bytes.Start && p.Bytes.End <= own.AudioEnd);
            FUZZ_CHECK(exact || p.Bytes.Start >= end); // whole frames never overlap
            end = p.Bytes.End;
            FUZZ_CHECK(p.Frames > 0);
            FUZZ_CHECK(0 <= p.Delay && p.Delay < 4096 && 0 <= p.Padding && p.Padding < 4096);
            FUZZ_CHECK(std::is_sorted(p.Toc.begin(), p.Toc.end()));
            if (p.InfoFrame) {
                const std::vector<uint8_t> info = InfoFrameBytes(own, p, 0);
                FUZZ_CHECK(info.size() >= 4 && info[0] == 0xFF);
            }
        }
    }
    return 0;
}
