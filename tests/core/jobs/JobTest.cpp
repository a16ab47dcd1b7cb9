// The cut and split jobs: what each request ends with, and what a failure leaves behind.
#include "Fixtures.h"
#include "format/MPEGAFHdr.h"
#include "io/Crc16.h"
#include "io/OutputFile.h"
#include "jobs/CutJob.h"
#include "jobs/SplitJob.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <functional>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace mp3core;

namespace fs = std::filesystem;

namespace {

// Every file under a folder, by its path relative to the folder, with its bytes.
std::map<std::string, Bytes> Tree(const fs::path &root)
{
    std::map<std::string, Bytes> files;
    for (const auto &e : fs::recursive_directory_iterator(root)) {
        if (e.is_regular_file()) {
            files[fs::relative(e.path(), root).string()] = ReadFile(e.path());
        }
    }
    return files;
}

struct JobFixture : ::testing::Test
{
    TTempDir dir;
    Bytes source;
    size_t audioEnd = 0;

    void SetUp() override
    {
        source.clear();
        AppendFrames(source, THeaderSpec{}, 300); // 7.8 s at 128 kbps
        audioEnd = source.size();
        Append(source, Id3v1Tag("Source", 3));
        WriteFile(dir / "in.mp3", source);
        WriteFile(dir / "silence.mp3", Bytes(20000, 0));
        WriteFile(dir / "empty.mp3", {});
        WriteFile(dir / "plain.txt", Bytes(3, 't'));
        fs::create_directories(dir / "out" / "taken.mp3");
        fs::create_directories(dir / "out" / "p001.mp3");
        WriteFile(dir / "out" / "keep.mp3", Bytes(4, 'k'));
        for (const char *fifo : {"fifo.mp3", "out/fifo.mp3", "out/f001.mp3"}) {
            ::mkfifo((dir / fifo).c_str(), 0644);
        }
    }
};

// One request, written as the front ends write it, and what it must end with. File is the
// name the outcome must speak of, relative to the fixture's folder.
struct TOutcomeCase
{
    const char *name;
    std::function<TJobOutcome(const fs::path &dir)> run;
    TJobStatus status;
    std::string file;
    std::string reasonHas;
    std::vector<std::string> written;
};

TCutJob Cut(const fs::path &dir, const std::string &in, const std::string &out, int64_t start,
            std::optional<int64_t> end)
{
    return TCutJob{dir / in, dir / out, start, end};
}

TSplitJob Split(const fs::path &dir, const std::string &in, const std::string &folder,
                const std::string &base, std::vector<TPartSegment> segments)
{
    TSplitJob job;
    job.Input = dir / in;
    job.Folder = dir / folder;
    job.BaseName = base;
    job.Segments = std::move(segments);
    return job;
}

const std::vector<TPartSegment> Three = {{0, 2000, {}}, {2000, 5000, {}}, {5000, {}, {}}};

// One request to a row.
// clang-format off
const TOutcomeCase OutcomeCases[] = {
    {"cut", [](auto d) { return RunCut(Cut(d, "in.mp3", "out/c.mp3", 1000, 2000)); },
     TJobStatus::Done, "", "", {"out/c.mp3"}},
    {"cut to the end", [](auto d) { return RunCut(Cut(d, "in.mp3", "c.mp3", 7000, {})); },
     TJobStatus::Done, "", "", {"c.mp3"}},
    {"cut of a missing file", [](auto d) { return RunCut(Cut(d, "no.mp3", "c.mp3", 0, 1)); },
     TJobStatus::InputUnreadable, "no.mp3", "No such file", {}},
    {"cut of a folder", [](auto d) { return RunCut(Cut(d, "out", "c.mp3", 0, 1000)); },
     TJobStatus::InputUnreadable, "out", "Is a directory", {}},
    {"cut of a FIFO", [](auto d) { return RunCut(Cut(d, "fifo.mp3", "c.mp3", 0, 1000)); },
     TJobStatus::InputUnreadable, "fifo.mp3", "it is a FIFO, not a regular file", {}},
    {"cut of zeros", [](auto d) { return RunCut(Cut(d, "silence.mp3", "c.mp3", 0, 1000)); },
     TJobStatus::NoAudio, "silence.mp3", "no two frame headers", {}},
    {"cut of an empty file", [](auto d) { return RunCut(Cut(d, "empty.mp3", "c.mp3", 0, 9)); },
     TJobStatus::NoAudio, "empty.mp3", "empty", {}},
    {"cut of an empty range", [](auto d) { return RunCut(Cut(d, "in.mp3", "c.mp3", 500, 500)); },
     TJobStatus::EmptyRange, "", "", {}},
    {"cut past the audio", [](auto d) { return RunCut(Cut(d, "in.mp3", "c.mp3", 9000, {})); },
     TJobStatus::EmptyRange, "", "", {}},
    {"cut onto the input",
     [](auto d) { return RunCut(Cut(d, "in.mp3", "out/../in.mp3", 0, 1000)); },
     TJobStatus::OutputIsInput, "out/../in.mp3", "", {}},
    {"cut onto a folder",
     [](auto d) { return RunCut(Cut(d, "in.mp3", "out/taken.mp3", 0, 1000)); },
     TJobStatus::NameIsFolder, "out/taken.mp3", "", {}},
    {"cut onto a FIFO",
     [](auto d) { return RunCut(Cut(d, "in.mp3", "out/fifo.mp3", 0, 1000)); },
     TJobStatus::NotAFile, "out/fifo.mp3", "a FIFO", {}},
    {"cut without a name",
     [](auto d) { return RunCut(TCutJob{d / "in.mp3", "", 0, 1000}); },
     TJobStatus::WriteFailed, "", "no file name", {}},
    {"cut into a missing folder",
     [](auto d) { return RunCut(Cut(d, "in.mp3", "none/c.mp3", 0, 1000)); },
     TJobStatus::FolderUnwritable, "none", "No such file", {}},
    {"cut into a file",
     [](auto d) { return RunCut(Cut(d, "in.mp3", "plain.txt/c.mp3", 0, 1000)); },
     TJobStatus::FolderUnwritable, "plain.txt", "Not a directory", {}},
    {"split", [](auto d) { return RunSplit(Split(d, "in.mp3", "out", "s", Three)); },
     TJobStatus::Done, "", "", {"out/s000.mp3", "out/s001.mp3", "out/s002.mp3"}},
    {"split of nothing", [](auto d) { return RunSplit(Split(d, "in.mp3", "out", "s", {})); },
     TJobStatus::EmptyRange, "", "", {}},
    {"split of zeros",
     [](auto d) { return RunSplit(Split(d, "silence.mp3", "out", "s", Three)); },
     TJobStatus::NoAudio, "silence.mp3", "no two frame headers", {}},
    {"split with a part named as a folder",
     [](auto d) { return RunSplit(Split(d, "in.mp3", "out", "p", Three)); },
     TJobStatus::NameIsFolder, "out/p001.mp3", "", {}},
    {"split with a part named as a FIFO",
     [](auto d) { return RunSplit(Split(d, "in.mp3", "out", "f", Three)); },
     TJobStatus::NotAFile, "out/f001.mp3", "a FIFO", {}},
    {"split over the input",
     [](auto d) {
         fs::copy_file(d / "in.mp3", d / "out" / "in000.mp3");
         return RunSplit(Split(d, "out/in000.mp3", "out/../out", "in", Three));
     },
     TJobStatus::OutputIsInput, "out/../out/in000.mp3", "", {}},
    {"split into a missing folder",
     [](auto d) { return RunSplit(Split(d, "in.mp3", "none", "s", Three)); },
     TJobStatus::FolderUnwritable, "none", "No such file", {}},
    {"split with a name too long",
     [](auto d) { return RunSplit(Split(d, "in.mp3", "out", std::string(250, 'n'), Three)); },
     TJobStatus::WriteFailed, "out/" + std::string(250, 'n') + "000.mp3", "too long", {}},
};
// clang-format on

TEST_F(JobFixture, EveryRequestEndsWithItsOutcomeAndWritesOnlyWhatItLists)
{
    for (const TOutcomeCase &c : OutcomeCases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir.Path());
        fs::create_directory(dir.Path());
        SetUp();
        const auto before = Tree(dir.Path());
        const TJobOutcome o = c.run(dir.Path());
        EXPECT_EQ(o.Status, c.status);
        EXPECT_EQ(o.File, c.file.empty() ? fs::path() : dir / c.file);
        EXPECT_NE(o.Reason.find(c.reasonHas), std::string::npos) << o.Reason;
        std::vector<fs::path> written;
        for (const std::string &w : c.written) {
            written.push_back(dir / w);
        }
        EXPECT_EQ(o.Written, written);
        // Nothing else appears, nothing that was there changes.
        auto after = Tree(dir.Path());
        for (const fs::path &w : o.Written) {
            EXPECT_GT(after.erase(fs::relative(w, dir.Path()).lexically_normal().string()), 0u);
        }
        after.erase("out/in000.mp3"); // made by one case itself
        EXPECT_EQ(after, before);
        if (c.status == TJobStatus::EmptyRange && std::string(c.name) != "split of nothing") {
            EXPECT_GT(o.AudioMs, 7000) << "an empty range is told against the audio's length";
        }
    }
}

TEST_F(JobFixture, ACutHoldsTheFramesOfItsRangeAndAStopWritesNothing)
{
    TCutJob whole = Cut(dir.Path(), "in.mp3", "c.mp3", 7000, {});
    whole.WholeFrames = true;
    ASSERT_EQ(RunCut(whole).Status, TJobStatus::Done);
    const Bytes tail = FramesOf(dir / "c.mp3");
    EXPECT_EQ(tail, Bytes(source.begin() + long(audioEnd - tail.size()),
                          source.begin() + long(audioEnd)));
    EXPECT_EQ(tail.size() % 417, 0u) << "whole frames, without the source's tag";

    Bytes longSource;
    AppendFrames(longSource, THeaderSpec{}, 30000); // 12.5 MB: copied in progress steps
    WriteFile(dir / "long.mp3", longSource);
    WriteFile(dir / "c.mp3", Bytes(2, 'c'));
    int asked = 0;
    const TJobOutcome o = RunCut(Cut(dir.Path(), "long.mp3", "c.mp3", 0, {}), [&](auto, auto) {
        ++asked;
        return false;
    });
    EXPECT_EQ(o.Status, TJobStatus::Stopped);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(o.Written.empty());
    EXPECT_EQ(ReadFile(dir / "c.mp3"), Bytes(2, 'c')) << "the file of that name is kept";

    // Whole, the 12.5 MB output carries the CRC of all its frames, read in many blocks.
    ASSERT_EQ(RunCut(Cut(dir.Path(), "long.mp3", "c.mp3", 0, {})).Status, TJobStatus::Done);
    const Bytes out = ReadFile(dir / "c.mp3");
    const size_t info = size_t(DecodeFrameInfo(out.data()).FrameLength);
    const size_t crcAt = 4 + 32 + 120 + 32; // header, side information, Xing, LAME tag bytes
    EXPECT_EQ((out[crcAt] << 8) | out[crcAt + 1],
              Crc16Bytewise(0, out.data() + info, out.size() - info));
    EXPECT_EQ((out[crcAt + 2] << 8) | out[crcAt + 3], Crc16Bytewise(0, out.data(), crcAt + 2));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 8) << "no temporary file";
}

// --- Failures during a split ------------------------------------------------------------------

// A split of parts of 500 ms with one long part, a file of a part's name already there, and the
// bytes each part must hold. Runs on CBR and on VBR input.
struct FaultFixture : ::testing::TestWithParam<bool>
{
    TTempDir dir;
    TSplitJob job;
    std::vector<Bytes> expected; // each part's bytes, from a lone copy of its range
    static constexpr size_t LongPart = 3;

    void Make(int frames, int64_t longPartMs)
    {
        Bytes source;
        if (GetParam()) {
            AppendVbrFrames(source, frames);
        } else {
            AppendFrames(source, THeaderSpec{}, frames);
        }
        WriteFile(dir / "in.mp3", source);
        fs::create_directory(dir / "out");
        job.Input = dir / "in.mp3";
        job.Folder = dir / "out";
        job.BaseName = "p";
        job.WholeFrames = true; // the frames each part copies, byte for byte
        int64_t t = 0;
        for (size_t n = 0; n < 6; ++n) {
            const int64_t length = n == LongPart ? longPartMs : 500;
            job.Segments.push_back({t, t + length, {}});
            t += length;
        }
        TFileStream in(job.Input, fmOpenRead);
        TMPEGAFHdr hdr;
        ASSERT_TRUE(hdr.ReadFirstFrame(in));
        for (const TPartSegment &s : job.Segments) {
            const TByteRange r = hdr.RangeBytes(in, s.StartMs, *s.EndMs);
            ASSERT_LT(r.Start, r.End);
            expected.emplace_back(source.begin() + r.Start, source.begin() + r.End);
        }
        WriteFile(job.Folder / "keep", Bytes(1, 'k'));
    }

    // Exactly the listed parts, each whole; the file of the failed part's name as it was; no
    // temporary file.
    void ExpectOnlyWritten(const TJobOutcome &o, size_t count)
    {
        ASSERT_EQ(o.Written.size(), count);
        for (size_t n = 0; n < count; ++n) {
            EXPECT_EQ(o.Written[n], job.Folder / PartFileName("p", n));
            EXPECT_EQ(FramesOf(o.Written[n]), expected[n]) << "part " << n;
        }
        for (const auto &e : fs::directory_iterator(job.Folder)) {
            const std::string name = e.path().filename().string();
            if (name == "keep" || fs::is_directory(e.path())) {
                continue;
            }
            EXPECT_TRUE(std::count(o.Written.begin(), o.Written.end(), e.path()) == 1 ||
                        ReadFile(e.path()) == Bytes(3, 'x'))
                << "left behind: " << name;
        }
    }
};

TEST_P(FaultFixture, AFolderThatAppearsAtAPartsNameEndsTheRunThere)
{
    Make(400, 2000);
    const TJobOutcome o = RunSplit(job, [&](size_t done, size_t) {
        if (done == 2) {
            fs::create_directory(job.Folder / "p002.mp3");
        }
        return true;
    });
    EXPECT_EQ(o.Status, TJobStatus::NameIsFolder);
    EXPECT_EQ(o.File, job.Folder / "p002.mp3");
    ExpectOnlyWritten(o, 2);
    EXPECT_FALSE(fs::exists(job.Folder / "p003.mp3")) << "no part after the failure";
}

TEST_P(FaultFixture, AnInputCutShortEndsTheRunNamingTheInput)
{
    Make(400, 2000);
    WriteFile(job.Folder / "p003.mp3", Bytes(3, 'x'));
    const TJobOutcome o = RunSplit(job, [&](size_t done, size_t) {
        if (done == 3) {
            fs::resize_file(job.Input, 2000); // another program shortens the input
        }
        return true;
    });
    EXPECT_EQ(o.Status, TJobStatus::ReadFailed);
    EXPECT_EQ(o.File, job.Input);
    EXPECT_NE(o.Reason.find("ended early"), std::string::npos) << o.Reason;
    ExpectOnlyWritten(o, 3);
    EXPECT_EQ(ReadFile(job.Folder / "p003.mp3"), Bytes(3, 'x')) << "the existing file is kept";
}

TEST_P(FaultFixture, AStopEndsTheRunAfterThePartInHand)
{
    Make(400, 2000);
    for (const size_t stopAt : {size_t(1), size_t(4), size_t(6)}) {
        SCOPED_TRACE(stopAt);
        for (size_t n = 0; n < 6; ++n) {
            fs::remove(job.Folder / PartFileName("p", n));
        }
        const TJobOutcome o = RunSplit(job, [&](size_t done, size_t) { return done < stopAt; });
        EXPECT_EQ(o.Status, stopAt < 6 ? TJobStatus::Stopped : TJobStatus::Done);
        ExpectOnlyWritten(o, stopAt);
    }
}

// Disk full, as the system reports it: a child process whose files may not grow past a limit
// that only the long part reaches: within its first block, a few blocks in, or after many.
struct DiskFull : FaultFixture
{
    TJobOutcome RunLimited(off_t limit)
    {
        const fs::path report = dir / "reason.txt";
        const pid_t child = ::fork();
        if (child == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit lim{rlim_t(limit), rlim_t(limit)};
            ::setrlimit(RLIMIT_FSIZE, &lim);
            const TJobOutcome o = RunSplit(job);
            const std::string text = o.File.string() + "\n" + o.Reason;
            WriteFile(report, Bytes(text.begin(), text.end()));
            std::_Exit(int(o.Status) * 16 + int(o.Written.size()));
        }
        int raw = 0;
        ::waitpid(child, &raw, 0);
        TJobOutcome o;
        EXPECT_TRUE(WIFEXITED(raw));
        o.Status = TJobStatus(WEXITSTATUS(raw) / 16);
        for (int n = 0; n < WEXITSTATUS(raw) % 16; ++n) {
            o.Written.push_back(job.Folder / PartFileName("p", size_t(n)));
        }
        const Bytes text = ReadFile(report);
        const std::string s(text.begin(), text.end());
        o.File = s.substr(0, s.find('\n'));
        o.Reason = s.substr(s.find('\n') + 1);
        fs::remove(report);
        return o;
    }
};

TEST_P(DiskFull, AFullDiskEndsTheRunAtThePartItHit)
{
    for (const int64_t longPartMs : {2000, 6000, 600000}) { // 32 KB, 96 KB, 9.6 MB at 128 kbps
        SCOPED_TRACE(longPartMs);
        fs::remove_all(dir.Path());
        fs::create_directory(dir.Path());
        job = {};
        expected.clear();
        Make(int(longPartMs / 26) + 200, longPartMs);
        WriteFile(job.Folder / "p003.mp3", Bytes(3, 'x'));
        const TJobOutcome o = RunLimited(off_t(expected[LongPart].size() / 2));
        EXPECT_EQ(o.Status, TJobStatus::WriteFailed);
        EXPECT_EQ(o.File, job.Folder / "p003.mp3");
        EXPECT_NE(o.Reason.find("too large"), std::string::npos) << o.Reason;
        ExpectOnlyWritten(o, LongPart);
        EXPECT_EQ(ReadFile(job.Folder / "p003.mp3"), Bytes(3, 'x'));
    }
}

INSTANTIATE_TEST_SUITE_P(Input, FaultFixture, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "Vbr" : "Cbr"; });
INSTANTIATE_TEST_SUITE_P(Input, DiskFull, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "Vbr" : "Cbr"; });

// --- Signals ----------------------------------------------------------------------------------

// A split of three parts of 9.6 MB ended by a signal in the middle of its second part (a
// progress report comes between its blocks), or by the file-size limit in its first, leaves the
// parts it finished and no temporary file: an unnamed one dies with the process, a named one is
// removed by the handler. SIGKILL allows no handler: only the unnamed kind survives it clean.
TEST(Signals, AnInterruptedSplitLeavesOnlyWholeParts)
{
    TTempDir dir;
    Bytes source;
    AppendFrames(source, THeaderSpec{}, 3 * 23000); // 28.8 MB, 30 minutes
    WriteFile(dir / "in.mp3", source);
    TSplitJob job;
    job.Input = dir / "in.mp3";
    job.BaseName = "p";
    job.Segments = {{0, 600000, {}}, {600000, 1200000, {}}, {1200000, {}, {}}};
    struct Case
    {
        int signal;
        bool named;
        size_t partsLeft;
    };
    for (const Case c : {Case{SIGINT, false, 1}, Case{SIGTERM, true, 1}, Case{SIGHUP, true, 1},
                         Case{SIGKILL, false, 1}}) {
        SCOPED_TRACE(std::string(strsignal(c.signal)) + (c.named ? ", named" : ", unnamed"));
        job.Folder = dir / ("out" + std::to_string(c.signal) + (c.named ? "n" : "u"));
        fs::create_directory(job.Folder);
        const pid_t child = ::fork();
        if (child == 0) {
            TOutputFile::UseNamedTemporaries(c.named);
            RemoveTemporariesOnSignals();
            const rlimit noCore{0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);
            int reports = 0;
            RunSplit(job, [&](size_t done, size_t) {
                if (done == 1 && ++reports == 2) { // the first report inside the second part
                    ::raise(c.signal);
                }
                return true;
            });
            std::_Exit(0);
        }
        int raw = 0;
        ::waitpid(child, &raw, 0);
        ASSERT_TRUE(WIFSIGNALED(raw)) << "the signal ends the process as it would have";
        EXPECT_EQ(WTERMSIG(raw), c.signal);
        std::set<std::string> left;
        for (const auto &e : fs::directory_iterator(job.Folder)) {
            left.insert(e.path().filename().string());
        }
        std::set<std::string> whole;
        for (size_t n = 0; n < c.partsLeft; ++n) {
            whole.insert(PartFileName("p", n));
        }
        EXPECT_EQ(left, whole);
    }
}

} // namespace
