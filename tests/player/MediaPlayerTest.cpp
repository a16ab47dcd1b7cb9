// The preview player on SDL's dummy sound driver, which plays at real-time pace.
#include "MediaPlayer.h"
#include "Decode.h"
#include "Fixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

using namespace mp3core;

namespace {

using namespace std::chrono_literals;

// Waits until the condition holds, giving up after the limit.
bool WaitFor(const std::function<bool()> &condition, std::chrono::milliseconds limit = 5000ms)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

class Player : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        dir = new TTempDir;
        file = new std::filesystem::path(EncodeWithLame(*dir, "tone", 3.0, 44100, 2, "-b 128"));
    }
    static void TearDownTestSuite()
    {
        delete file;
        delete dir;
    }
    void SetUp() override
    {
        const char *driver = std::getenv("SDL_AUDIODRIVER");
        if (driver == nullptr || std::string(driver) != "dummy") {
            GTEST_SKIP() << "needs SDL_AUDIODRIVER=dummy";
        }
        player.FileName = file->string();
        player.Open();
    }
    // Lets the sound thread deliver a few more periods.
    void LetPeriodsPass(uint64_t n)
    {
        const uint64_t start = player.Periods();
        ASSERT_TRUE(WaitFor([&] { return player.Periods() >= start + n; }));
    }

    static TTempDir *dir;
    static std::filesystem::path *file;
    TMediaPlayer player;
};

TTempDir *Player::dir = nullptr;
std::filesystem::path *Player::file = nullptr;

TEST_F(Player, OpensWithItsExactLength)
{
    EXPECT_EQ(player.Mode(), TMediaPlayer::mpStopped);
    EXPECT_NEAR(double(player.Length()), 3000.0, 30.0);
    EXPECT_EQ(player.Position(), 0);
}

TEST_F(Player, PlaysPausesAndResumes)
{
    player.Play();
    EXPECT_EQ(player.Mode(), TMediaPlayer::mpPlaying);
    ASSERT_TRUE(WaitFor([&] { return player.Position() >= 200; }));
    player.Pause();
    EXPECT_EQ(player.Mode(), TMediaPlayer::mpPaused);
    const int64_t held = player.Position();
    LetPeriodsPass(4);
    EXPECT_EQ(player.Position(), held) << "a paused file stands still";
    player.Pause();
    EXPECT_EQ(player.Mode(), TMediaPlayer::mpPlaying);
    ASSERT_TRUE(WaitFor([&] { return player.Position() > held; }));
}

TEST_F(Player, SeekLeavesPlaybackStopped)
{
    player.Play();
    player.SetPosition(1500);
    EXPECT_EQ(player.Mode(), TMediaPlayer::mpStopped);
    EXPECT_EQ(player.Position(), 1500);
    LetPeriodsPass(3);
    EXPECT_EQ(player.Position(), 1500);
    player.Play();
    ASSERT_TRUE(WaitFor([&] { return player.Position() > 1500; }));
}

TEST_F(Player, OneShotRangeThenPlaysOnWithoutLimits)
{
    player.SetStartPos(500);
    player.SetEndPos(800);
    player.Play();
    ASSERT_TRUE(WaitFor([&] { return player.Mode() == TMediaPlayer::mpStopped; }));
    EXPECT_EQ(player.Position(), 800);
    player.Play();
    ASSERT_TRUE(WaitFor([&] { return player.Position() > 900; })) << "no limit the second time";
    EXPECT_EQ(player.Mode(), TMediaPlayer::mpPlaying);
}

TEST_F(Player, StopsAtTheEndAndRewindsOnTheNextPlay)
{
    player.SetPosition(player.Length() - 150);
    player.Play();
    ASSERT_TRUE(WaitFor([&] { return player.Mode() == TMediaPlayer::mpStopped; }));
    EXPECT_EQ(player.Position(), player.Length());
    player.Play();
    EXPECT_LT(player.Position(), 500) << "rewound to the start";
    EXPECT_EQ(player.Mode(), TMediaPlayer::mpPlaying);
}

TEST_F(Player, OpeningAnotherFileClosesTheFirst)
{
    player.Play();
    const auto other = EncodeWithLame(*dir, "other", 1.0, 22050, 1, "-b 32");
    player.FileName = other.string();
    player.Open();
    EXPECT_EQ(player.Mode(), TMediaPlayer::mpStopped);
    EXPECT_NEAR(double(player.Length()), 1000.0, 120.0) << "a second, give or take frames";
}

// The whole file is read on a thread of the player's own: files opened and closed again before
// it ends leave nothing behind (the sanitizers watch), and a seek made at once lands exactly.
TEST_F(Player, ReadsTheFileOnItsOwnThread)
{
    const auto other = EncodeWithLame(*dir, "other", 1.0, 22050, 1, "-b 32");
    for (int i = 0; i < 20; ++i) {
        player.FileName = (i % 2 == 0 ? other : *file).string();
        player.Open();
    }
    player.Close();
    player.FileName = file->string();
    player.Open();
    player.SetPosition(2345);
    EXPECT_EQ(player.Position(), 2345);
    EXPECT_EQ(player.Length(), GaplessSamples(*file).size() / 2 * 1000 / 44100);
}

// The length the core counted stands from the open on, whatever the encoder's count says, and
// the player's own reading of the whole file agrees with it once it has ended.
TEST_F(Player, TheCoresLengthStandsFromTheOpenOn)
{
    Bytes noCount; // VBR frames without an information frame: libmpg123 can only estimate
    AppendVbrFrames(noCount, 400);
    WriteFile(*dir / "count.mp3", noCount);
    for (const std::filesystem::path &path : {*file, *dir / "count.mp3"}) {
        TFileStream stream(path, fmOpenRead);
        TMPEGAFHdr hdr;
        ASSERT_TRUE(hdr.ReadFirstFrame(stream));
        TMediaPlayer other;
        other.FileName = path.string();
        other.Open(hdr.PlayedSamples());
        EXPECT_EQ(other.Length(), hdr.PlayedSamples() * 1000 / hdr.SampleRate) << path;
        TMediaPlayer reader; // the same file without the core's count, read through
        reader.FileName = path.string();
        reader.Open();
        ASSERT_TRUE(WaitFor([&] {
            reader.SetPosition(0); // takes the read-through handle once it is there
            return reader.Length() == hdr.PlayedSamples() * 1000 / hdr.SampleRate;
        })) << path
            << ": " << reader.Length();
    }
}

TEST_F(Player, ATagWhoseSizeRunsPastTheFileIsSteppedOver)
{
    Bytes damaged = Id3v2Tag(200);
    damaged[6] = 0x7F; // 256 MB
    Append(damaged, ReadFile(*file));
    WriteFile(*dir / "damaged.mp3", damaged);
    TMediaPlayer other;
    other.FileName = (*dir / "damaged.mp3").string();
    other.Open();
    EXPECT_EQ(other.Length(), player.Length());
    other.SetPosition(2000);
    EXPECT_EQ(other.Position(), 2000);
}

TEST(PlayerErrors, NothingOpen)
{
    TMediaPlayer player;
    for (const auto &op : std::vector<std::function<void()>>{
             [&] { player.Play(); }, [&] { player.Pause(); }, [&] { player.SetPosition(5); },
             [&] { (void)player.Length(); }}) {
        try {
            op();
            ADD_FAILURE() << "no error";
        } catch (const EMCIDeviceError &e) {
            EXPECT_STREQ(e.what(), "No MCI device open");
        }
    }
}

TEST(PlayerErrors, FilesThatDoNotDecode)
{
    TTempDir dir;
    WriteFile(dir / "noise.mp3", Bytes(5000, 0x11));
    TMediaPlayer player;
    for (const auto &name : {dir / "missing.mp3", dir / "noise.mp3"}) {
        player.FileName = name.string();
        try {
            player.Open();
            ADD_FAILURE() << name << " opened";
        } catch (const EMCIDeviceError &e) {
            EXPECT_GT(std::string(e.what()).size(), 5u) << "libmpg123's own text";
        }
        EXPECT_FALSE(player.IsOpen());
    }
}

// Run by CTest a second time with a driver that does not exist.
TEST(PlayerWithoutSound, FileOpensAndPlayRaises)
{
    const char *driver = std::getenv("SDL_AUDIODRIVER");
    if (driver == nullptr || std::string(driver) != "no-such-driver") {
        GTEST_SKIP() << "needs SDL_AUDIODRIVER=no-such-driver";
    }
    TTempDir dir;
    const auto mp3 = EncodeWithLame(dir, "t", 1.0, 44100, 1, "-b 64");
    TMediaPlayer player;
    player.FileName = mp3.string();
    player.Open();
    EXPECT_NEAR(double(player.Length()), 1000.0, 60.0);
    player.SetPosition(300);
    EXPECT_EQ(player.Position(), 300);
    try {
        player.Play();
        ADD_FAILURE() << "played without a device";
    } catch (const EMCIDeviceError &e) {
        EXPECT_NE(std::string(e.what()).find("No sound output device"), std::string::npos);
    }
}

} // namespace
