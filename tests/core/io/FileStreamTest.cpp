#include "io/FileStream.h"
#include "Fixtures.h"
#include "io/Crc16.h"
#include "io/Errors.h"
#include "io/OutputFile.h"

#include <gtest/gtest.h>

#include <memory>

using namespace mp3core;

namespace {

TEST(FileStream, OpenFailuresNameTheFileAndTheReason)
{
    TTempDir dir;
    const auto missing = dir / "missing.mp3";
    try {
        TFileStream s(missing, fmOpenRead);
        ADD_FAILURE() << "opened a missing file";
    } catch (const EFOpenError &e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + missing.string() + "\". No such file or directory");
    }
    EXPECT_THROW(TFileStream(dir.Path(), fmOpenRead), EFOpenError) << "a folder is no file";
    EXPECT_THROW(TFileStream(dir / "no" / "x.mp3", fmCreate), EFOpenError);
}

TEST(FileStream, ExactReadsAndWrites)
{
    TTempDir dir;
    TFileStream s(dir / "f", fmCreate);
    const Bytes data = {1, 2, 3, 4, 5};
    s.WriteBuffer(data.data(), 5);
    EXPECT_EQ(s.Size(), 5);
    EXPECT_EQ(s.Position(), 5);
    EXPECT_EQ(s.Seek(-2, soEnd), 3);
    EXPECT_EQ(s.Seek(-1, soCurrent), 2);
    Bytes got(3);
    s.ReadBuffer(got.data(), 3);
    EXPECT_EQ(got, (Bytes{3, 4, 5}));
    s.Seek(3, soBeginning);
    try {
        s.ReadBuffer(got.data(), 3);
        ADD_FAILURE() << "read past the end";
    } catch (const EReadError &e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
    s.Seek(0, soBeginning);
    EXPECT_EQ(s.Read(got.data(), 3), 3);
    s.ReadBufferAt(1, got.data(), 3);
    EXPECT_EQ(got, (Bytes{2, 3, 4}));
    EXPECT_THROW(s.ReadBufferAt(3, got.data(), 3), EReadError) << "past the end";
    s.SetSize(1);
    EXPECT_EQ(s.Size(), 1);
    EXPECT_EQ(s.Position(), 1) << "a position past the new end moves to it";
}

TEST(FileStream, WritesToAReadOnlyStreamRaise)
{
    TTempDir dir;
    WriteFile(dir / "f", Bytes(10, 1));
    TFileStream s(dir / "f", fmOpenRead);
    const uint8_t b = 0;
    try {
        s.WriteBuffer(&b, 1);
        ADD_FAILURE();
    } catch (const EWriteError &e) {
        EXPECT_STREQ(e.what(), "Stream write error");
    }
}

TEST(FileStream, SizesAndPositionsBeyondFourGibibytes)
{
    TTempDir dir;
    TFileStream s(dir / "big", fmCreate);
    const int64_t far = (int64_t(5) << 30) + 3;
    s.Seek(far, soBeginning);
    const uint8_t b = 0xAB;
    s.WriteBuffer(&b, 1);
    EXPECT_EQ(s.Size(), far + 1);
    EXPECT_EQ(s.Seek(-1, soEnd), far);
    uint8_t back = 0;
    s.ReadBuffer(&back, 1);
    EXPECT_EQ(back, 0xAB);
    back = 0;
    s.ReadBufferAt(far, &back, 1);
    EXPECT_EQ(back, 0xAB);
}

// Both kinds of temporary file: unnamed until complete (Linux), and named from the start.
class OutputFile : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override { TOutputFile::UseNamedTemporaries(GetParam()); }
    void TearDown() override { TOutputFile::UseNamedTemporaries(false); }

    static size_t Entries(const TTempDir &dir)
    {
        return size_t(std::distance(std::filesystem::directory_iterator(dir.Path()), {}));
    }
    static void Write(const std::filesystem::path &target, const Bytes &data, bool commit)
    {
        TOutputFile out(target);
        out.Stream().WriteBuffer(data.data(), int64_t(data.size()));
        if (commit) {
            out.Commit();
        }
    }
};

TEST_P(OutputFile, ReplacesTheTargetOnlyOnCommit)
{
    TTempDir dir;
    const auto target = dir / "out.mp3";
    WriteFile(target, Bytes(7, 'o'));
    Write(target, Bytes(3, 'n'), false);
    EXPECT_EQ(ReadFile(target), Bytes(7, 'o')) << "an uncommitted output leaves the target";
    EXPECT_EQ(Entries(dir), 1u) << "and no temporary file";
    Write(target, Bytes(3, 'n'), true);
    EXPECT_EQ(ReadFile(target), Bytes(3, 'n'));
    EXPECT_EQ(Entries(dir), 1u);
    // A name as long as a file's may be: the temporary name does not grow with it.
    const auto longName = dir / (std::string(240, 'a') + ".mp3");
    Write(longName, Bytes(2, 'l'), true);
    EXPECT_EQ(ReadFile(longName), Bytes(2, 'l'));
}

TEST_P(OutputFile, AReplacedFileKeepsItsPermissions)
{
    namespace fs = std::filesystem;
    TTempDir dir;
    for (const fs::perms mode : {fs::perms::owner_read | fs::perms::owner_write,
                                 fs::perms::owner_all | fs::perms::group_read}) {
        const auto target = dir / "private.mp3";
        WriteFile(target, Bytes(7, 'o'));
        fs::permissions(target, mode);
        Write(target, Bytes(3, 'n'), true);
        EXPECT_EQ(fs::status(target).permissions(), mode);
        EXPECT_EQ(ReadFile(target), Bytes(3, 'n'));
    }
}

TEST_P(OutputFile, ALinkIsWrittenThroughToItsTarget)
{
    namespace fs = std::filesystem;
    TTempDir dir;
    fs::create_directory(dir / "real");
    WriteFile(dir / "real" / "song.mp3", Bytes(7, 'o'));
    fs::create_symlink("real/song.mp3", dir / "link.mp3");    // relative to its folder
    fs::create_symlink(dir / "link.mp3", dir / "chain.mp3");  // a link to a link
    fs::create_symlink("real/new.mp3", dir / "dangling.mp3"); // to a name not taken yet
    Write(dir / "chain.mp3", Bytes(3, 'n'), true);
    EXPECT_TRUE(fs::is_symlink(dir / "chain.mp3"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.mp3"));
    EXPECT_EQ(ReadFile(dir / "real" / "song.mp3"), Bytes(3, 'n'));
    Write(dir / "dangling.mp3", Bytes(2, 'd'), true);
    EXPECT_TRUE(fs::is_symlink(dir / "dangling.mp3"));
    EXPECT_EQ(ReadFile(dir / "real" / "new.mp3"), Bytes(2, 'd'));
    EXPECT_EQ(Entries(dir), 4u) << "no temporary file beside the links";

    fs::create_symlink("loop-b", dir / "loop-a");
    fs::create_symlink("loop-a", dir / "loop-b");
    EXPECT_THROW(Write(dir / "loop-a", Bytes(1, 'x'), true), EFOpenError);
}

INSTANTIATE_TEST_SUITE_P(Temporaries, OutputFile, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "Named" : "Unnamed"; });

TEST(OutputFileNames, SameFileSeesThroughOtherNames)
{
    TTempDir dir;
    WriteFile(dir / "a.mp3", Bytes(1, 0));
    std::filesystem::create_directory(dir / "sub");
    EXPECT_TRUE(SameFile(dir / "a.mp3", dir / "sub" / ".." / "a.mp3"));
    std::filesystem::create_symlink(dir / "a.mp3", dir / "link.mp3");
    EXPECT_TRUE(SameFile(dir / "a.mp3", dir / "link.mp3"));
    EXPECT_FALSE(SameFile(dir / "a.mp3", dir / "b.mp3"));
}

} // namespace

namespace {

// Copies of less than a block and of many; the target starts two bytes in, so that the first
// block is shortened to end on a page of the target.
class CopyFrom : public ::testing::TestWithParam<size_t>
{
};

TEST_P(CopyFrom, MovesBytesBetweenPositions)
{
    TTempDir dir;
    Bytes data(GetParam());
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = uint8_t(i * 31 + i / 4096);
    }
    WriteFile(dir / "src", data);
    TFileStream source(dir / "src", fmOpenRead);
    {
        TFileStream target(dir / "dst", fmCreate);
        target.WriteBuffer("ab", 2);
        source.Seek(1000, soBeginning);
        std::unique_ptr<char[]> buffer(new char[64 * 1024]);
        uint16_t crc = 0x1234;
        target.CopyFrom(source, int64_t(data.size()) - 2000, buffer.get(), 64 * 1024, &crc);
        EXPECT_EQ(crc, Crc16(0x1234, data.data() + 1000, data.size() - 2000));
        EXPECT_EQ(source.Position(), int64_t(data.size()) - 1000);
        EXPECT_EQ(target.Position(), int64_t(data.size()) - 1998);
    }
    Bytes expected = {'a', 'b'};
    expected.insert(expected.end(), data.begin() + 1000, data.end() - 1000);
    EXPECT_EQ(ReadFile(dir / "dst"), expected);

    TFileStream target(dir / "short", fmCreate);
    source.Seek(-10, soEnd);
    EXPECT_THROW(target.CopyFrom(source, 11), EReadError) << "the source ends first";
    source.Seek(1000, soBeginning);
    EXPECT_THROW(target.CopyFrom(source, int64_t(data.size())), EReadError);

    // Nothing of a failed copy reaches the next one.
    {
        TFileStream again(dir / "again", fmCreate);
        source.Seek(1, soBeginning);
        again.CopyFrom(source, int64_t(data.size()) - 1);
    }
    EXPECT_EQ(ReadFile(dir / "again"), Bytes(data.begin() + 1, data.end()));
}

INSTANTIATE_TEST_SUITE_P(Sizes, CopyFrom,
                         ::testing::Values(40 * 1024 + 3, 3 * 1024 * 1024 + 17,
                                           9 * 1024 * 1024 + 5));

} // namespace
