// Every output as it was: the bytes of a battery of cuts and splits of files made here, against
// fingerprints recorded from the program as it is. A change that only moves code (into rooms,
// one source, one planner) must keep every one; a change of what an output holds is recorded
// anew, on purpose, with the lines this test prints.
#include "Decode.h"
#include "Fixtures.h"
#include "jobs/CutJob.h"
#include "jobs/SplitJob.h"
#include "tags/TextCodec.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

using namespace mp3core;

namespace fs = std::filesystem;

namespace {

// FNV-1a, 64 bits: the same on every machine.
uint64_t Fingerprint(const Bytes &bytes)
{
    uint64_t h = 0xCBF29CE484222325ull;
    for (const uint8_t b : bytes) {
        h = (h ^ b) * 0x100000001B3ull;
    }
    return h;
}

struct TRecorded
{
    uint64_t Fingerprint;
    size_t Size;
};

// Recorded on 2026-12-08 from main at "Fuzz seeds: a file of three streams ...".
const std::map<std::string, TRecorded> Recorded = {
    {"cbr-exact.mp3", {0xC0A91AE14AF25AA1ull, 54855}},
    {"cbr-frames.mp3", {0x65D5A28B08A606F9ull, 53497}},
    {"cbr-start.mp3", {0x934DF450BAB5E8CCull, 13373}},
    {"cbr-end.mp3", {0xC1237AA1FE81CF71ull, 50257}},
    {"cbr-p000.mp3", {0xB3CD5BEBE89FA329ull, 26269}},
    {"cbr-p001.mp3", {0x862E4F3A00C7DEBFull, 26792}},
    {"cbr-p002.mp3", {0xCC5C8145E639BF69ull, 27626}},
    {"cbr-p003.mp3", {0x0F7F529472E89571ull, 27208}},
    {"tagged-exact.mp3", {0xE7E4385C415D4CE6ull, 50964}},
    {"tagged-frames.mp3", {0x8FDAFC7889423228ull, 49660}},
    {"tagged-start.mp3", {0xA92CC80DA419A323ull, 17693}},
    {"tagged-end.mp3", {0xCD3657536B7449EEull, 47000}},
    {"tagged-p000.mp3", {0xE1B17DC1E5066F7Full, 27372}},
    {"tagged-p001.mp3", {0xE333157FB2485A9Aull, 27372}},
    {"tagged-p002.mp3", {0x80A86CD868E4A9F0ull, 27266}},
    {"tagged-p003.mp3", {0x2278E13F1FDD1321ull, 27580}},
    {"mpeg2-exact.mp3", {0x9CDC3C3E3B5C3B0Dull, 12041}},
    {"mpeg2-frames.mp3", {0xEDE6B44131E04538ull, 11466}},
    {"mpeg2-start.mp3", {0x868655385179C5D1ull, 3733}},
    {"mpeg2-end.mp3", {0x92CFD389295A386Eull, 5040}},
    {"mpeg2-p000.mp3", {0xA24A300A4C4363C0ull, 7851}},
    {"mpeg2-p001.mp3", {0xAAC64FB504E119DEull, 7905}},
    {"mpeg2-p002.mp3", {0x8F238D008824A98Full, 6233}},
    {"joined-exact.mp3", {0xC0A91AE14AF25AA1ull, 54855}},
    {"joined-frames.mp3", {0x65D5A28B08A606F9ull, 53497}},
    {"joined-start.mp3", {0x934DF450BAB5E8CCull, 13373}},
    {"joined-end.mp3", {0x3BD333B4CDEC612Eull, 52416}},
    {"joined-p000.mp3", {0x8121FF85CC2FD107ull, 26269}},
    {"joined-p001.mp3", {0xB6522F583B26A705ull, 26792}},
    {"joined-p002.mp3", {0x299464C798D6ED0Full, 27626}},
    {"joined-p003.mp3", {0xD7DF903A1714887Full, 27208}},
    {"joined-p004.mp3", {0x30F314EC5D037CF6ull, 32393}},
    {"joined-p005.mp3", {0x2118CDAD96E85EC2ull, 33449}},
    {"junk-exact.mp3", {0x3F864EA8D2CAC33Bull, 54855}},
    {"junk-frames.mp3", {0x82A95CDEE6C31753ull, 53497}},
    {"junk-start.mp3", {0xD134587F3D5FDA2Aull, 13373}},
    {"junk-end.mp3", {0x1D0AA02357B5804Cull, 50257}},
    {"junk-p000.mp3", {0x8752F6F33C512CF3ull, 26269}},
    {"junk-p001.mp3", {0x888321F9883BE812ull, 26792}},
    {"junk-p002.mp3", {0xCC5C8145E639BF69ull, 27626}},
    {"junk-p003.mp3", {0x0F7F529472E89571ull, 27208}},
};

TEST(GoldenOutputs, EveryOutputIsAsRecorded)
{
    TTempDir dir;
    // The inputs: lame's CBR and VBR (with both tags and a cover), MPEG-2 mono, two encodes put
    // end to end, and junk between two frames.
    const fs::path cbr = EncodeWithLame(dir, "cbr", 6.0, 44100, 2, "-b 128");
    Bytes tagged = Id3v2TextTag({{"TIT2", "标题"}, {"TPE1", "Artist"}}, Bytes(5000, 0x5A));
    Append(tagged, ReadFile(EncodeWithLame(dir, "vbr", 6.0, 44100, 2, "-V 2")));
    Append(tagged, Id3v1Tag("v1 title", 13));
    WriteFile(dir / "tagged.mp3", tagged);
    const fs::path mpeg2 = EncodeWithLame(dir, "mpeg2", 4.0, 22050, 1, "-b 32");
    Bytes joined = ReadFile(cbr);
    Append(joined, ReadFile(EncodeWithLame(dir, "at48k", 3.0, 48000, 2, "-b 160")));
    WriteFile(dir / "joined.mp3", joined);
    Bytes junk = ReadFile(cbr);
    junk.insert(junk.begin() + 30000, 300, 0x37);
    WriteFile(dir / "junk.mp3", junk);

    std::vector<std::pair<std::string, fs::path>> outputs;
    for (const auto &[name, input] :
         std::vector<std::pair<std::string, fs::path>>{{"cbr", cbr},
                                                       {"tagged", dir / "tagged.mp3"},
                                                       {"mpeg2", mpeg2},
                                                       {"joined", dir / "joined.mp3"},
                                                       {"junk", dir / "junk.mp3"}}) {
        struct TCut
        {
            const char *what;
            int64_t from;
            std::optional<int64_t> to;
            bool frames;
        };
        for (const TCut &c :
             {TCut{"exact", 1234, 4567, false}, TCut{"frames", 1234, 4567, true},
              TCut{"start", 0, 777, false}, TCut{"end", 3001, std::nullopt, false}}) {
            const fs::path out = dir / (name + "-" + c.what + ".mp3");
            TCutJob job{input, out, c.from, c.to, c.frames, true};
            if (name == "joined" && c.to == std::nullopt) {
                job.StartMs = 6500; // in the second stream, to its end
            }
            ASSERT_EQ(RunCut(job).Status, TJobStatus::Done) << out;
            outputs.push_back({out.filename().string(), out});
        }
        const fs::path folder = dir / (name + "-parts");
        fs::create_directory(folder);
        TSplitJob split;
        split.Input = input;
        split.Folder = folder;
        split.BaseName = "p";
        split.Tags = TTagFrames::All;
        split.Tag.Album = "专辑";
        for (int64_t t = 0; t < 9000; t += 1500) {
            split.Segments.push_back(
                {t, t + 1500 < 9000 ? std::optional<int64_t>(t + 1500) : std::nullopt, {}});
        }
        const TJobOutcome o = RunSplit(split);
        ASSERT_EQ(o.Status, TJobStatus::Done) << name;
        for (const fs::path &part : o.Written) {
            outputs.push_back({name + "-" + part.filename().string(), part});
        }
    }

    std::string record;
    for (const auto &[name, path] : outputs) {
        const Bytes bytes = ReadFile(path);
        const auto found = Recorded.find(name);
        char line[160];
        std::snprintf(line, sizeof line, "    {\"%s\", {0x%016llXull, %zu}},\n", name.c_str(),
                      static_cast<unsigned long long>(Fingerprint(bytes)), bytes.size());
        record += line;
        EXPECT_TRUE(found != Recorded.end() && found->second.Fingerprint == Fingerprint(bytes) &&
                    found->second.Size == bytes.size())
            << name << " is not the output recorded";
    }
    EXPECT_EQ(outputs.size(), Recorded.size()) << "outputs made";
    if (::testing::Test::HasFailure()) {
        std::printf("The outputs as this build makes them (to record a deliberate change):\n%s",
                    record.c_str());
    }
}

} // namespace
