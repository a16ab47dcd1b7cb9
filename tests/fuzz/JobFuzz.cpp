// The cut and the split as the front ends run them: whatever the input, every part listed
// exists whole and starts with its tag or a frame, nothing else is left in the folder (no
// temporary file), and a run that says it is done wrote every part it planned.
#include "FuzzSupport.h"

#include "jobs/CutJob.h"
#include "jobs/SplitJob.h"

#include <array>
#include <cstring>

using namespace mp3core;

namespace {

void CheckParts(const TJobOutcome &o, const std::filesystem::path &folder)
{
    for (const auto &part : o.Written) {
        std::error_code ec;
        const auto bytes = std::filesystem::file_size(part, ec);
        FUZZ_CHECK(!ec && bytes >= 4);
        FILE *f = std::fopen(part.c_str(), "rb");
        FUZZ_CHECK(f != nullptr);
        uint8_t head[3] = {};
        FUZZ_CHECK(std::fread(head, 1, 3, f) == 3);
        std::fclose(f);
        FUZZ_CHECK(std::memcmp(head, "ID3", 3) == 0 || (head[0] == 0xFF && head[1] >= 0xE0));
    }
    FUZZ_CHECK(Entries(folder).size() == o.Written.size());
    if (o.Status == TJobStatus::Done) {
        FUZZ_CHECK(o.Written.size() == o.Planned);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const TMemoryFile file(data, size);
    TTail tail(data, size);
    const uint32_t choice = tail.Next(12);

    TSplitJob split;
    split.Input = file.Path();
    split.Folder = Cleared();
    split.BaseName = "p";
    split.WholeFrames = choice % 2 == 1;
    split.Tags =
        std::array{TTagFrames::None, TTagFrames::All, TTagFrames::TextsAndPictures}[choice / 2 % 3];
    split.Tag.Title = choice >= 6 ? "Title" : "";
    int64_t at = 0;
    for (int n = 0; n < 3; ++n) {
        const int64_t next = at + tail.Next(20000);
        split.Segments.push_back({at, next, {}});
        at = next;
    }
    split.Segments.push_back({at, std::nullopt, {}});
    CheckParts(RunSplit(split), split.Folder);

    TCutJob cut;
    cut.Input = file.Path();
    cut.Output = Cleared() / "cut.mp3";
    cut.StartMs = tail.Next(30000);
    cut.EndMs = cut.StartMs + tail.Next(30000);
    cut.WholeFrames = choice % 2 == 0;
    cut.KeepTags = choice % 3 == 0;
    CheckParts(RunCut(cut), OutputFolder());
    return 0;
}
