// The writer against what others on the machine do to the names it writes: a FIFO made under a
// part's name during a split, a link planted in a shared folder, a read-only file, a run killed
// between the two steps of replacing a file.
#include "Fixtures.h"
#include "io/OutputFile.h"
#include "jobs/CutJob.h"
#include "jobs/SplitJob.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

using namespace mp3core;

namespace fs = std::filesystem;

namespace {

struct OutputGuards : ::testing::Test
{
    TTempDir dir;
    Bytes source;

    void SetUp() override
    {
        AppendFrames(source, THeaderSpec{}, 400); // 10.4 s of CBR
        WriteFile(dir / "in.mp3", source);
    }

    TCutJob Cut(const fs::path &output) const
    {
        TCutJob job;
        job.Input = dir / "in.mp3";
        job.Output = output;
        job.StartMs = 1000;
        job.EndMs = 3000;
        job.WholeFrames = true;
        return job;
    }

    std::set<std::string> Temporaries(const fs::path &folder) const
    {
        std::set<std::string> names;
        for (const auto &e : fs::directory_iterator(folder)) {
            const std::string name = e.path().filename().string();
            if (name.rfind(".mp3cut-", 0) == 0) {
                names.insert(name);
            }
        }
        return names;
    }
};

// A FIFO that takes the next part's name while a split runs is refused when that part is put
// in place, as it is before the first part: it stays a FIFO and the parts before it stay.
TEST_F(OutputGuards, ANameTakenByAFifoDuringASplitIsRefusedAtCommit)
{
    fs::create_directory(dir / "out");
    TSplitJob job;
    job.Input = dir / "in.mp3";
    job.Folder = dir / "out";
    job.BaseName = "p";
    job.WholeFrames = true;
    job.Segments = {{0, 3000, {}}, {3000, 6000, {}}, {6000, std::nullopt, {}}};
    const fs::path fifo = job.Folder / PartFileName("p", 1, 3);
    const TJobOutcome o = RunSplit(job, [&](size_t done, size_t) {
        if (done == 1 && !fs::exists(fifo)) {
            EXPECT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
        }
        return true;
    });
    EXPECT_EQ(o.Status, TJobStatus::NotAFile);
    EXPECT_EQ(o.File, fifo);
    EXPECT_EQ(o.Reason, "a FIFO");
    EXPECT_EQ(o.Written, std::vector<fs::path>{job.Folder / PartFileName("p", 0, 3)});
    EXPECT_TRUE(fs::is_fifo(fifo)) << "the FIFO is not replaced";
    EXPECT_FALSE(fs::exists(job.Folder / PartFileName("p", 2, 3)));
    EXPECT_TRUE(Temporaries(job.Folder).empty());
}

// The kernel does not follow a link in a sticky folder that everyone may write to when the
// link's owner is neither the folder's nor the follower; the writer follows links itself and
// keeps the same rule. Needs a second user: run as root, the link is given to "nobody".
TEST_F(OutputGuards, ALinkPlantedInASharedFolderIsNotFollowed)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "giving a link to another user needs root";
    }
    const fs::path shared = dir / "shared";
    fs::create_directory(shared);
    ::chmod(shared.c_str(), 01777);
    const Bytes secret = {'s', 'e', 'c', 'r', 'e', 't'};
    WriteFile(dir / "secret", secret);
    ::chmod((dir / "secret").c_str(), 0600);
    fs::create_symlink(dir / "secret", shared / "planted.mp3");
    ASSERT_EQ(::lchown((shared / "planted.mp3").c_str(), 65534, 65534), 0);
    fs::create_symlink(dir / "mine.mp3", shared / "own.mp3");

    const TJobOutcome o = RunCut(Cut(shared / "planted.mp3"));
    EXPECT_EQ(o.Status, TJobStatus::WriteFailed);
    EXPECT_EQ(o.File, shared / "planted.mp3");
    EXPECT_EQ(o.Reason, "it is a link that another user made in a folder shared by everyone");
    EXPECT_EQ(ReadFile(dir / "secret"), secret);
    EXPECT_TRUE(fs::is_symlink(shared / "planted.mp3"));

    // The user's own link there is followed, and so is a planted one in a folder not shared.
    EXPECT_EQ(RunCut(Cut(shared / "own.mp3")).Status, TJobStatus::Done);
    EXPECT_EQ(FramesOf(dir / "mine.mp3").size() % 417, 0u);
    ::chmod(shared.c_str(), 0755);
    EXPECT_EQ(RunCut(Cut(shared / "planted.mp3")).Status, TJobStatus::Done);
    EXPECT_NE(ReadFile(dir / "secret"), secret);
}

// A read-only file of an output's name is kept, as cp keeps it, unless the caller says to
// replace it; replaced, it stays read-only. A split refuses before its first part.
TEST_F(OutputGuards, AReadOnlyFileIsReplacedOnlyWhenAskedTo)
{
    const Bytes kept(5, 'k');
    WriteFile(dir / "ro.mp3", kept);
    ::chmod((dir / "ro.mp3").c_str(), 0444);
    TCutJob job = Cut(dir / "ro.mp3");
    TJobOutcome o = RunCut(job);
    EXPECT_EQ(o.Status, TJobStatus::ReadOnlyFile);
    EXPECT_EQ(o.File, dir / "ro.mp3");
    EXPECT_EQ(ReadFile(dir / "ro.mp3"), kept);

    job.ReplaceReadOnly = true;
    o = RunCut(job);
    ASSERT_EQ(o.Status, TJobStatus::Done);
    EXPECT_EQ(FramesOf(dir / "ro.mp3").size(), 77u * 417u);
    EXPECT_EQ(fs::status(dir / "ro.mp3").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

    fs::create_directory(dir / "out");
    WriteFile(dir / "out" / "p001.mp3", kept);
    ::chmod((dir / "out" / "p001.mp3").c_str(), 0400);
    TSplitJob split;
    split.Input = dir / "in.mp3";
    split.Folder = dir / "out";
    split.BaseName = "p";
    split.Segments = {{0, 3000, {}}, {3000, std::nullopt, {}}};
    o = RunSplit(split);
    EXPECT_EQ(o.Status, TJobStatus::ReadOnlyFile);
    EXPECT_EQ(o.File, dir / "out" / "p001.mp3");
    EXPECT_TRUE(o.Written.empty());
    EXPECT_FALSE(fs::exists(dir / "out" / "p000.mp3")) << "refused before the first part";
    split.ReplaceReadOnly = true;
    EXPECT_EQ(RunSplit(split).Status, TJobStatus::Done);
    EXPECT_NE(ReadFile(dir / "out" / "p001.mp3"), kept);
}

// Killed in the moment between naming the finished file and renaming it over the file it
// replaces, a run leaves the file under its temporary name. The next run that writes into the
// folder removes it, but never a temporary file that a running writer holds.
TEST_F(OutputGuards, ATemporaryFileLeftByAKilledRunIsRemovedByTheNext)
{
    for (const bool named : {false, true}) {
        SCOPED_TRACE(named ? "named from the start" : "unnamed until complete");
        const Bytes old(7, 'o');
        WriteFile(dir / "out.mp3", old);
        const pid_t child = ::fork();
        if (child == 0) {
            TOutputFile::UseNamedTemporaries(named);
            TOutputFile::BeforeRename([] { ::raise(SIGKILL); });
            RunCut(Cut(dir / "out.mp3"));
            std::_Exit(0);
        }
        int raw = 0;
        ::waitpid(child, &raw, 0);
        ASSERT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == SIGKILL) << "killed at the rename";
        EXPECT_EQ(ReadFile(dir / "out.mp3"), old) << "the file it was to replace is whole";
        ASSERT_EQ(Temporaries(dir.Path()).size(), 1u) << "left: the complete new file";

        // A writer that is still running holds its temporary file: it stays.
        const fs::path live = dir / ".mp3cut-12345.part";
        WriteFile(live, Bytes(3, 'l'));
        const int fd = ::open(live.c_str(), O_RDONLY);
        ASSERT_EQ(::flock(fd, LOCK_EX), 0);

        ASSERT_EQ(RunCut(Cut(dir / "other.mp3")).Status, TJobStatus::Done);
        EXPECT_EQ(Temporaries(dir.Path()), std::set<std::string>{live.filename().string()});
        ::close(fd);
        ASSERT_EQ(RunCut(Cut(dir / "other.mp3")).Status, TJobStatus::Done);
        EXPECT_TRUE(Temporaries(dir.Path()).empty());
    }
}

} // namespace
