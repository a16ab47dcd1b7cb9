// CUE sheets: every sheet is read or refused with a reason and a line inside it; the tracks of a
// sheet read start in order and make rows that tile the audio; the names made of their texts
// are safe file names.
#include "FuzzSupport.h"

#include "jobs/SplitJob.h"
#include "plan/CueSheet.h"
#include "plan/SegmentList.h"
#include "tags/TextCodec.h"

#include <algorithm>
#include <cstdint>
#include <string>

using namespace mp3core;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    const TCueRead read = ParseCueSheet(bytes, "album.mp3");
    if (!read.Sheet) {
        FUZZ_CHECK(!read.Reason.empty());
        FUZZ_CHECK(read.Line >= 0 &&
                   size_t(read.Line) <= size_t(std::count(bytes.begin(), bytes.end(), '\n')) + 1);
        return 0;
    }
    const std::vector<TCueTrack> &tracks = read.Sheet->Tracks;
    FUZZ_CHECK(!tracks.empty());
    for (size_t i = 0; i < tracks.size(); ++i) {
        FUZZ_CHECK(tracks[i].StartMs >= 0);
        FUZZ_CHECK(i == 0 || tracks[i].StartMs > tracks[i - 1].StartMs);
        const std::string name = PartFileName("@n @t @p @a", i, tracks.size(), tracks[i].Tag);
        FUZZ_CHECK(name.size() <= 255 && IsUtf8(name));
        FUZZ_CHECK(name.find('/') == std::string::npos && name[0] != '.');
    }
    TSegmentList list;
    list.Reset(tracks.back().StartMs / 2 + 1000);
    const size_t outside = list.PlanTracks(tracks);
    FUZZ_CHECK(outside <= tracks.size());
    int64_t at = 0;
    size_t ticked = 0;
    for (const TSegment &row : list.Rows()) {
        FUZZ_CHECK(row.StartMs == at && row.EndMs > row.StartMs);
        FUZZ_CHECK(row.Ticked == row.Tag.has_value());
        ticked += row.Ticked ? 1 : 0;
        at = row.EndMs;
    }
    FUZZ_CHECK(ticked == tracks.size() - outside);
    return 0;
}
