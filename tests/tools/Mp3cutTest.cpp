// mp3cut driven as a user runs it: arguments in, files, output and exit status out.
#include "Decode.h"
#include "Fixtures.h"
#include "format/FrameHeader.h"
#include "format/MPEGAFHdr.h"
#include "tags/MP3TAG.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <taglib/chapterframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace mp3core;

namespace fs = std::filesystem;

namespace {

struct RunResult
{
    int status = -1;
    std::string out;
    std::string err;
};

std::string Slurp(const fs::path &p)
{
    const Bytes b = ReadFile(p);
    return std::string(b.begin(), b.end());
}

class Mp3cut : public ::testing::Test
{
protected:
    TTempDir dir;
    Bytes source;
    size_t audioEnd = 0;

    void SetUp() override
    {
        AppendFrames(source, THeaderSpec{}, 1000); // 128 kbps, 26.06 s
        audioEnd = source.size();
        Append(source, Id3v1Tag("Tagged", 13));
        WriteFile(dir / "song.mp3", source);
    }

    // before: shell commands that set up the run (limits, traps).
    RunResult Run(const std::string &args, const std::string &before = "")
    {
        const std::string command = "cd '" + dir.Path().string() + "' && " + before + " '" +
                                    MP3CUT_BINARY "' " + args +
                                    " >stdout.txt 2>stderr.txt </dev/null";
        const int raw = std::system(command.c_str());
        RunResult r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = Slurp(dir / "stdout.txt");
        r.err = Slurp(dir / "stderr.txt");
        fs::remove(dir / "stdout.txt");
        fs::remove(dir / "stderr.txt");
        return r;
    }

    Bytes Audio(size_t from, size_t to) const
    {
        return Bytes(source.begin() + long(from), source.begin() + long(to));
    }

    size_t FileCount() const
    {
        return size_t(std::distance(fs::directory_iterator(dir.Path()), {}));
    }
};

TEST_F(Mp3cut, InfoDescribesFormatAndTag)
{
    const RunResult r = Run("info song.mp3");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char *line :
         {"version: MPEG-1\n", "layer: 3\n", "bitrate: 128 kbps\n", "sample rate: 44100 Hz\n",
          "frame length: 417 bytes\n", "frame count: 1000\n", "duration: 00:26.062\n",
          "encoding: CBR\n", "title: Tagged\n", "genre: Pop (13)\n"}) {
        EXPECT_NE(r.out.find(line), std::string::npos) << line << " in\n" << r.out;
    }

    // An ID3v2 tag's texts in UTF-8, and its pictures.
    Bytes tagged = Id3v2TextTag({{"TIT2", "中文标题"}, {"TPE1", "歌手"}}, Bytes(1234, 7));
    Append(tagged, source);
    WriteFile(dir / "v2.mp3", tagged);
    const RunResult v2 = Run("info v2.mp3");
    EXPECT_NE(v2.out.find("tag: ID3v2, ID3v1\ntitle: 中文标题\nartist: 歌手\n"), std::string::npos)
        << v2.out;
    EXPECT_NE(v2.out.find("picture: front cover, image/jpeg, 1234 bytes\n"), std::string::npos)
        << v2.out;

    // --no-tags: parts of nothing but frames.
    ASSERT_EQ(Run("split v2.mp3 --every 10 -n bare --no-tags --frames").status, 0);
    for (const char *name : {"bare000.mp3", "bare002.mp3"}) {
        const Bytes part = ReadFile(dir / name);
        EXPECT_EQ(part.size(), FramesOf(dir / name).size() + 417) << name;
    }
}

TEST_F(Mp3cut, CutWritesWholeFramesUnderTheProposedName)
{
    const RunResult r = Run("cut song.mp3 0:1.0 0:2.0 --frames");
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path out = dir / "song_片段.mp3";
    EXPECT_EQ(r.out, "song_片段.mp3\n");
    EXPECT_EQ(FramesOf(out), Audio(39 * 417, 77 * 417)) << "behind an information frame";
    EXPECT_GT(ReadFile(out).size(), FramesOf(out).size());

    ASSERT_EQ(Run("cut song.mp3 0:20.0 9:0.0 -o tail.mp3 --frames").status, 0);
    EXPECT_EQ(FramesOf(dir / "tail.mp3"), Audio(20000 * 16 / 417 * 417 + 417, audioEnd))
        << "the frames end where the audio ends";
    for (const char *name : {"song_片段.mp3", "tail.mp3"}) {
        TFileStream s(dir / name, fmOpenRead);
        TID3Tag tag;
        ASSERT_TRUE(tag.ReadTag(s)) << "the source's tag goes with the audio";
        EXPECT_EQ(tag.Title, "Tagged");
        EXPECT_EQ(tag.Track, 0) << "a cut is no numbered track";
    }
    const RunResult info = Run("info tail.mp3");
    EXPECT_NE(info.out.find("tag: ID3v2, ID3v1\ntitle: Tagged\n"), std::string::npos)
        << "an ID3v2 tag made from the source's ID3v1 tag:\n"
        << info.out;

    // A damaged ID3v2 tag is left out with a note; the cut is made all the same.
    Bytes damaged = Id3v2Tag(40, false, 'X');
    Append(damaged, source);
    WriteFile(dir / "damaged.mp3", damaged);
    const RunResult noted = Run("cut damaged.mp3 0:1.0 0:2.0 -o noted.mp3 --frames");
    EXPECT_EQ(noted.status, 0);
    EXPECT_EQ(noted.err, "mp3cut: note: damaged ID3v2 tag left out: a frame runs past the end "
                         "of the tag\n");
    EXPECT_EQ(FramesOf(dir / "noted.mp3"), Audio(39 * 417, 77 * 417));

    ASSERT_EQ(Run("cut song.mp3 0:20.0 9:0.0 -o bare.mp3 --frames --no-tags").status, 0);
    EXPECT_EQ(ReadFile(dir / "bare.mp3").size(), FramesOf(dir / "bare.mp3").size() + 417)
        << "nothing but the information frame and the frames";

    // Without --frames the cut holds the samples of the range exactly: one second more of
    // 44.1 kHz stereo, from frames that start before it.
    ASSERT_EQ(Run("cut song.mp3 0:1.0 0:2.0 -o exact.mp3").status, 0);
    EXPECT_EQ(GaplessSamples(dir / "exact.mp3").size(), 2u * 44100u);
}

TEST_F(Mp3cut, FailuresAreToldApartAndWriteNothing)
{
    WriteFile(dir / "keep.mp3", Bytes(9, 'k'));
    WriteFile(dir / "silence.mp3", Bytes(20000, 0));
    // Free format: bitrate index 0, every frame as long as the encoder chose (here 600 bytes).
    Bytes freeFormat;
    for (int i = 0; i < 50; ++i) {
        Bytes frame = HeaderBytes(THeaderSpec{1, 3, 0});
        frame.resize(600, 0x55);
        Append(freeFormat, frame);
    }
    WriteFile(dir / "free.mp3", freeFormat);
    fs::create_directory(dir / "locked");
    fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    const bool rootIgnoresModes = ::geteuid() == 0;
    struct Case
    {
        std::string args;
        int status;
        std::string says;
    };
    std::vector<Case> cases = {
        {"", 2, "usage"},
        {"cut song.mp3 0:1.0", 2, "cut takes FILE START END"},
        {"cut song.mp3 abc 0:2.0", 2, "bad time 'abc'"},
        {"frobnicate song.mp3", 2, "unknown command"},
        {"cut song.mp3 0:1.0 0:2.0 --bogus", 2, "unknown option --bogus"},
        {"cut missing.mp3 0:1.0 0:2.0 -o keep.mp3", 3, "cannot read 'missing.mp3': No such"},
        {"cut silence.mp3 0:1.0 0:2.0 -o keep.mp3", 4, "no MPEG audio"},
        {"cut free.mp3 0:1.0 0:2.0 -o keep.mp3", 4,
         "no MPEG audio in 'free.mp3': free-format bitrate is not supported"},
        {"cut song.mp3 0:5.0 0:5.0 -o keep.mp3", 5, "is empty"},
        {"cut song.mp3 0:30.0 0:40.0 -o keep.mp3", 5, "no audio lies between"},
        {"split song.mp3 --every 0", 6, "split step"},
        {"split song.mp3 --size -3", 6, "split step"},
        {"split song.mp3 --every 5 -d song.mp3/parts", 7, "cannot make the folder"},
        {"cut song.mp3 0:1.0 0:2.0 -o ./sub/../song.mp3", 8, "is the input itself"},
        {"split song.mp3 --every 5 -d . -n song.mp3x", 0, ""},
        {"split song.mp3 --at 0:1.0,0:99.0", 5, "outside the audio"},
        {"split song.mp3 --every 5 --at 0:1.0", 2, "one of --at"},
        {"split song.mp3 --every 5 --genre Nonsense", 2, "unknown genre"},
        {"split song.mp3 --every 5 -n taken", 9, "'./taken001.mp3': a folder has that name"},
        {"split song.mp3 --every 5 -n " + std::string(250, 'n'), 9, "File name too long"},
        {"cut song.mp3 0:1.0 0:2.0 -o taken001.mp3", 9, "a folder has that name"},
        {"cut song.mp3 0:1.0 0:2.0 -o pipe.mp3", 9, "'pipe.mp3': it is a FIFO, not a regular"},
        {"cut song.mp3 0:1.0 0:2.0 -o ''", 9, "cannot write '': no file name was given"},
        {"info pipe.mp3", 3, "cannot read 'pipe.mp3': it is a FIFO, not a regular file"},
        {"cut pipe.mp3 0:1.0 0:2.0 -o keep.mp3", 3, "it is a FIFO"},
    };
    fs::create_directory(dir / "taken001.mp3");
    ASSERT_EQ(::mkfifo((dir / "pipe.mp3").c_str(), 0644), 0);
    if (!rootIgnoresModes) {
        cases.push_back({"split song.mp3 --every 5 -d locked", 7, "cannot write to the folder"});
    }
    fs::create_directory(dir / "sub");
    for (const Case &c : cases) {
        const size_t before = FileCount();
        const RunResult r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << ": " << r.err;
        if (c.status != 0) {
            EXPECT_EQ(FileCount(), before) << c.args << " left a file behind";
            EXPECT_EQ(ReadFile(dir / "keep.mp3"), Bytes(9, 'k')) << c.args;
        }
    }
    EXPECT_EQ(ReadFile(dir / "song.mp3"), source) << "the input is never touched";
    const RunResult version = Run("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "mp3cut " MP3CUT_VERSION "\n") << "the project's one version";
}

TEST_F(Mp3cut, AFailedSplitListsThePartsItWroteAndSaysHowMany)
{
    // Files may not grow past 30 or 60 KB (the shell counts in blocks of 512 or 1024 bytes):
    // the parts of one second pass, the part of eight seconds (128 KB) does not. The limit is a
    // write that fails, not the end of the run, whether or not the shell ignores its signal.
    for (const char *shell : {"ulimit -c 0; ulimit -f 60;", "trap '' XFSZ; ulimit -f 60;"}) {
        SCOPED_TRACE(shell);
        const RunResult r = Run("split song.mp3 --at 0:1.0,0:2.0,0:10.0 -n f --frames", shell);
        EXPECT_EQ(r.status, 9);
        EXPECT_EQ(r.out, "./f000.mp3\n./f001.mp3\n");
        EXPECT_EQ(r.err, "mp3cut: 2 of 4 parts written\nmp3cut: cannot write './f002.mp3': File "
                         "too large\n");
        EXPECT_EQ(FileCount(), 3u) << "no temporary file left";
    }
    EXPECT_EQ(FramesOf(dir / "f001.mp3"), Audio(39 * 417, 77 * 417));
    EXPECT_FALSE(fs::exists(dir / "f002.mp3"));
    EXPECT_EQ(FileCount(), 3u) << "no temporary file left";
}

// "-o -" and the names of standard output write the cut through it, in order: into a pipe, and
// onto the end of a file that standard output appends to, which keeps what it held.
TEST_F(Mp3cut, ACutGoesToStandardOutputWhenNamedSo)
{
    ASSERT_EQ(Run("cut song.mp3 0:1.0 0:3.0 -o file.mp3").status, 0);
    const Bytes expected = ReadFile(dir / "file.mp3");
    const std::string mp3cut = "'" MP3CUT_BINARY "' cut song.mp3 0:1.0 0:3.0 ";
    const auto shell = [&](const std::string &command) {
        return std::system(("cd '" + dir.Path().string() + "' && " + command).c_str());
    };
    ASSERT_EQ(shell(mp3cut + "-o - | cat > piped.mp3"), 0);
    EXPECT_EQ(ReadFile(dir / "piped.mp3"), expected) << "through a pipe";
    ASSERT_EQ(shell(mp3cut + "-o /dev/stdout 2>err.txt | cat > piped2.mp3"), 0);
    EXPECT_EQ(ReadFile(dir / "piped2.mp3"), expected);
    EXPECT_EQ(Slurp(dir / "err.txt"), "") << "nothing said of a folder /dev";
    ASSERT_EQ(shell("echo log > log.txt && " + mp3cut + "-o /dev/stdout >> log.txt"), 0);
    Bytes logged = {'l', 'o', 'g', '\n'};
    Append(logged, expected);
    EXPECT_EQ(ReadFile(dir / "log.txt"), logged) << "appended, the log kept";
    EXPECT_TRUE(GaplessSamples(dir / "piped.mp3") == GaplessSamples(dir / "file.mp3"));

    const RunResult split = Run("split song.mp3 --every 5 -d -");
    EXPECT_EQ(split.status, 2);
    EXPECT_NE(split.err.find("split writes its parts as files, not to standard output"),
              std::string::npos)
        << split.err;
}

// Two streams put end to end (44.1 kHz, then 48 kHz): info shows both, a cut over the change is
// refused with its own status, and a split ends a part there and says so.
TEST_F(Mp3cut, AFileOfTwoStreamsIsToldCutAndSplitAsSuch)
{
    Bytes joined;
    AppendFrames(joined, THeaderSpec{}, 200);
    THeaderSpec at48k;
    at48k.sampleRateIndex = 1;
    AppendFrames(joined, at48k, 200);
    WriteFile(dir / "joined.mp3", joined);
    const RunResult info = Run("info joined.mp3");
    EXPECT_EQ(info.status, 0);
    for (const char *line : {"duration: 00:10.012\n",
                             "stream 1: MPEG-1 Layer 3, 44100 Hz, stereo, 128 kbps CBR, from "
                             "00:00.000, 00:05.212 long\n",
                             "stream 2: MPEG-1 Layer 3, 48000 Hz, stereo, 128 kbps CBR, from "
                             "00:05.212, 00:04.800 long\n"}) {
        EXPECT_NE(info.out.find(line), std::string::npos) << info.out;
    }
    const RunResult across = Run("cut joined.mp3 0:4.000 0:6.000 -o x.mp3");
    EXPECT_EQ(across.status, 10);
    EXPECT_EQ(across.err, "mp3cut: the range runs over a change of format at 00:05.212 (44100 Hz "
                          "stereo to 48000 Hz stereo): cut each side on its own\n");
    EXPECT_FALSE(fs::exists(dir / "x.mp3"));
    const RunResult split = Run("split joined.mp3 --every 4 -n j --frames");
    EXPECT_EQ(split.status, 0) << split.err;
    EXPECT_EQ(split.out, "./j000.mp3\n./j001.mp3\n./j002.mp3\n./j003.mp3\n");
    EXPECT_NE(split.err.find("note: the format changes at 00:05.212"), std::string::npos);
    Bytes parts;
    for (int n = 0; n < 4; ++n) {
        Append(parts, FramesOf(dir / ("j00" + std::to_string(n) + ".mp3")));
    }
    EXPECT_EQ(parts, joined) << "every frame of both streams, once";
}

TEST_F(Mp3cut, AReadOnlyOutputIsReplacedOnlyWithForce)
{
    WriteFile(dir / "ro.mp3", Bytes(5, 'r'));
    ::chmod((dir / "ro.mp3").c_str(), 0444);
    const RunResult r = Run("cut song.mp3 0:1.0 0:3.0 -o ro.mp3");
    EXPECT_EQ(r.status, 9);
    EXPECT_EQ(r.err,
              "mp3cut: cannot write 'ro.mp3': the file is read-only (--force replaces it)\n");
    EXPECT_EQ(ReadFile(dir / "ro.mp3"), Bytes(5, 'r'));
    EXPECT_EQ(Run("cut song.mp3 0:1.0 0:3.0 -o ro.mp3 --force").status, 0);
    EXPECT_NE(ReadFile(dir / "ro.mp3"), Bytes(5, 'r'));
}

TEST_F(Mp3cut, SplitByTimeNamesTagsAndTilesTheAudio)
{
    const RunResult ok = Run("split song.mp3 --every 10 -d parts -n ch --title 第一章 "
                             "--artist 'A B' --genre folklore --year 2024 --frames");
    ASSERT_EQ(ok.status, 0) << ok.err;
    // The folder made, and no progress line without a terminal.
    EXPECT_EQ(ok.err, "mp3cut: note: made the folder 'parts'\n");
    EXPECT_EQ(ok.out, "parts/ch000.mp3\nparts/ch001.mp3\nparts/ch002.mp3\n");
    Bytes joined;
    for (int n = 0; n < 3; ++n) {
        const fs::path part = dir / "parts" / ("ch00" + std::to_string(n) + ".mp3");
        TFileStream s(part, fmOpenRead);
        TID3Tag tag;
        ASSERT_TRUE(tag.ReadTag(s));
        EXPECT_EQ(tag.Title, "\xB5\xDA\xD2\xBB\xD5\xC2") << "GB18030 of 第一章";
        EXPECT_EQ(tag.Artist, "A B");
        EXPECT_EQ(tag.Year, "2024");
        EXPECT_EQ(tag.GenreID, 114);
        EXPECT_EQ(tag.Track, n + 1);
        Append(joined, FramesOf(part));
    }
    EXPECT_EQ(joined, Audio(0, audioEnd));
}

TEST_F(Mp3cut, SplitBySizeAndAtTimes)
{
    // 100 KB steps: five parts of the 26 s file, the first four 102400 bytes of frames rounded
    // to the nearest frame boundary.
    ASSERT_EQ(Run("split song.mp3 --size 100 -n s --frames").status, 0);
    for (int n = 0; n < 4; ++n) {
        const auto size = FramesOf(dir / ("s00" + std::to_string(n) + ".mp3")).size();
        EXPECT_NEAR(double(size), 102400.0, 209.0) << "the frame boundary nearest to 100 KB";
    }
    EXPECT_TRUE(fs::exists(dir / "s004.mp3"));
    EXPECT_FALSE(fs::exists(dir / "s005.mp3"));
    EXPECT_EQ(FramesOf(dir / "s000.mp3").size() % 417, 0u);

    ASSERT_EQ(Run("split song.mp3 --at 0:20.0,0:2.0 -n at --frames").status, 0);
    EXPECT_EQ(FramesOf(dir / "at000.mp3"), Audio(0, 77 * 417)) << "cut points are sorted";
    EXPECT_TRUE(fs::exists(dir / "at002.mp3"));
    TFileStream last(dir / "at002.mp3", fmOpenRead);
    TID3Tag tag;
    ASSERT_TRUE(tag.ReadTag(last)) << "the source's tag goes with every part";
    EXPECT_EQ(tag.Title, "Tagged");
    EXPECT_EQ(tag.Track, 3);
}

TEST_F(Mp3cut, SplitAtSilences)
{
    // Two seconds of tone, a second and a half of silence, three of tone.
    std::vector<int16_t> samples;
    for (int i = 0; i < 44100 * 13 / 2; ++i) {
        const bool quiet = i >= 2 * 44100 && i < 44100 * 7 / 2;
        samples.push_back(quiet ? 0 : int16_t(9000 * std::sin(i * 0.0627)));
    }
    EncodeSamplesWithLame(dir, "talk", samples, 44100, 1, "-b 64");
    const RunResult r = Run("split talk.mp3 --silence --min-silence 1 --threshold -50 -n t");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "./t000.mp3\n./t001.mp3\n");
    EXPECT_NEAR(double(GaplessSamples(dir / "t000.mp3").size()), 2.75 * 44100, 0.05 * 44100)
        << "cut in the middle of the silence";

    // --trim leaves the silence out: the tone before it and the tone after it.
    ASSERT_EQ(Run("split talk.mp3 --silence --trim -n tr").status, 0);
    EXPECT_NEAR(double(GaplessSamples(dir / "tr000.mp3").size()), 2.0 * 44100, 0.05 * 44100);
    EXPECT_NEAR(double(GaplessSamples(dir / "tr001.mp3").size()), 3.0 * 44100, 0.05 * 44100);
    EXPECT_FALSE(fs::exists(dir / "tr002.mp3"));

    const RunResult none = Run("split talk.mp3 --silence --min-silence 2 -n u");
    EXPECT_EQ(none.status, 5);
    EXPECT_EQ(none.err, "mp3cut: no silence of 2.0 s under -48.0 dB to cut at in 'talk.mp3'\n");
    EXPECT_EQ(Run("split talk.mp3 --silence --threshold loud").status, 2);

    // Time steps moved to the nearest silence within a second: 3 s goes to 2.75 s.
    const RunResult adjusted = Run("split talk.mp3 --every 3 --adjust 1 -n a");
    ASSERT_EQ(adjusted.status, 0) << adjusted.err;
    EXPECT_EQ(adjusted.out, "./a000.mp3\n./a001.mp3\n./a002.mp3\n");
    EXPECT_NEAR(double(GaplessSamples(dir / "a000.mp3").size()), 2.75 * 44100, 0.05 * 44100);
    EXPECT_NEAR(double(GaplessSamples(dir / "a001.mp3").size()), 3.25 * 44100, 0.05 * 44100)
        << "6 s has no silence near it and stays";
    EXPECT_EQ(Run("split talk.mp3 --at 0:3.0 --adjust 1").status, 2);
}

TEST_F(Mp3cut, LongTitlesAreCutAtACharacterBoundary)
{
    // 16 Chinese characters are 32 bytes in GB18030: the field keeps 15 of them.
    const std::string title = "一二三四五六七八九十一二三四五六";
    ASSERT_EQ(Run("split song.mp3 --every 100 -n t --title " + title).status, 0);
    TFileStream s(dir / "t000.mp3", fmOpenRead);
    TID3Tag tag;
    ASSERT_TRUE(tag.ReadTag(s));
    EXPECT_EQ(tag.Title.size(), 30u);
}

struct OtherFormat
{
    const char *name;
    THeaderSpec shape;
};

void PrintTo(const OtherFormat &c, std::ostream *os)
{
    *os << c.name;
}

class Mp3cutFormats : public ::testing::TestWithParam<OtherFormat>
{
};

TEST_P(Mp3cutFormats, CutsWholeFrames)
{
    TTempDir dir;
    const THeaderSpec shape = GetParam().shape;
    Bytes file;
    AppendFrames(file, shape, 400);
    WriteFile(dir / "in.mp3", file);
    const std::string command = "'" MP3CUT_BINARY "' cut '" + (dir / "in.mp3").string() +
                                "' 0:1.0 0:3.0 --frames -o '" + (dir / "out.mp3").string() +
                                "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const Bytes out = FramesOf(dir / "out.mp3");
    const auto frame = size_t(DecodeFrameInfo(file.data()).FrameLength);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.size() % frame, 0u);
    EXPECT_TRUE(DecodeFrameInfo(out.data()).Valid);
}

INSTANTIATE_TEST_SUITE_P(Formats, Mp3cutFormats,
                         ::testing::Values(OtherFormat{"Mpeg2Layer3", {2, 3, 8, 0}},
                                           OtherFormat{"Mpeg25Layer3", {3, 3, 4, 0}},
                                           OtherFormat{"Mpeg1Layer2", {1, 2, 10, 1}},
                                           OtherFormat{"Mpeg2Layer1", {2, 1, 6, 2}}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(Mp3cut, ASplitNeverEndsInAnEmptyPartOrTheLastFrameAlone)
{
    // Layer II at 192 kbps and 48 kHz: 576-byte frames of 24 ms. 12501 frames last 5:00.024,
    // so "every 60 s" puts its fifth cut point at the start of the last frame: it is dropped.
    Bytes layer2;
    AppendFrames(layer2, THeaderSpec{1, 2, 10, 1}, 12501);
    WriteFile(dir / "l2.mp3", layer2);
    const RunResult r = Run("split l2.mp3 --every 60 -n l"); // Layer II: whole frames
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "./l000.mp3\n./l001.mp3\n./l002.mp3\n./l003.mp3\n./l004.mp3\n");
    EXPECT_EQ(ReadFile(dir / "l004.mp3").size(), 2501u * 576u);
}

TEST_F(Mp3cut, SplitByACueSheetNamesAndTagsEveryTrack)
{
    const fs::path album = EncodeWithLame(dir, "album", 6.0, 44100, 2, "-V 2");
    const std::string sheet = "PERFORMER \"Band\"\nTITLE \"LP\"\nFILE \"album.wav\" WAVE\n"
                              "TRACK 01 AUDIO\nTITLE \"One\"\nINDEX 01 00:00:00\n"
                              "TRACK 02 AUDIO\nTITLE \"Two/Three\"\nPERFORMER \"Guest\"\n"
                              "INDEX 00 00:01:50\nINDEX 01 00:02:10\n"
                              "TRACK 03 AUDIO\nINDEX 01 00:04:00\n"
                              "TRACK 04 AUDIO\nTITLE \"Bonus\"\nINDEX 01 00:10:00\n";
    WriteFile(dir / "album.cue", Bytes(sheet.begin(), sheet.end()));
    const RunResult r = Run("split album.mp3 --cue album.cue -n '@n - @t'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "./01 - One.mp3\n./02 - Two_Three.mp3\n./03 - Track 03.mp3\n");
    EXPECT_EQ(r.err, "mp3cut: note: 1 of the 4 tracks of the CUE sheet start after the end of the "
                     "audio (00:06.000) and are left out\n");

    // The tracks start at their INDEX 01, to the sample (2:10 is 2133 ms), and tile the audio.
    std::vector<int16_t> joined;
    const char *names[] = {"01 - One.mp3", "02 - Two_Three.mp3", "03 - Track 03.mp3"};
    for (const char *name : names) {
        const std::vector<int16_t> part = GaplessSamples(dir / name);
        ASSERT_FALSE(part.empty()) << name;
        if (joined.empty()) {
            EXPECT_EQ(part.size(), 94065u * 2);
        }
        joined.insert(joined.end(), part.begin(), part.end());
    }
    EXPECT_EQ(joined, GaplessSamples(album));

    const struct
    {
        const char *name, *title, *artist, *track;
    } tags[] = {{names[0], "One", "Band", "1/3"},
                {names[1], "Two/Three", "Guest", "2/3"},
                {names[2], "", "Band", "3/3"}};
    for (const auto &t : tags) {
        TagLib::MPEG::File file((dir / t.name).c_str(), false);
        TagLib::ID3v2::Tag *v2 = file.ID3v2Tag();
        ASSERT_NE(v2, nullptr) << t.name;
        EXPECT_EQ(v2->title().to8Bit(true), t.title);
        EXPECT_EQ(v2->artist().to8Bit(true), t.artist);
        EXPECT_EQ(v2->album().to8Bit(true), "LP");
        EXPECT_EQ(v2->frameListMap()["TPE2"].front()->toString().to8Bit(true), "Band");
        EXPECT_EQ(v2->frameListMap()["TRCK"].front()->toString().to8Bit(true), t.track);
    }
}

// An audiobook's chapters: info lists them, split --chapters cuts at each one's start (to the
// sample), names and tags each part from its chapter, and the parts tile the audio.
TEST_F(Mp3cut, SplitAtChaptersNamesTagsAndTilesTheAudio)
{
    const fs::path encoded = EncodeWithLame(dir, "encoded", 6.0, 44100, 2, "-V 2");
    Bytes book = Id3v2ChapterTag(
        "Book",
        {{"c1", 0, 2000, "Opening"}, {"c3", 4500, 6000, "End"}, {"c2", 2000, 4500, "Middle"}},
        {{"toc", true, {"c1", "c2", "c3"}}});
    Append(book, ReadFile(encoded));
    WriteFile(dir / "book.mp3", book);
    const RunResult info = Run("info book.mp3");
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("chapter 1: 00:00.000 - 00:02.000 Opening\n"
                            "chapter 2: 00:02.000 - 00:04.500 Middle\n"
                            "chapter 3: 00:04.500 - 00:06.000 End\n"),
              std::string::npos)
        << info.out;

    const RunResult r = Run("split book.mp3 --chapters -n '@n - @t'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "./01 - Opening.mp3\n./02 - Middle.mp3\n./03 - End.mp3\n");
    const char *names[] = {"01 - Opening.mp3", "02 - Middle.mp3", "03 - End.mp3"};
    std::vector<int16_t> joined;
    for (const char *name : names) {
        const std::vector<int16_t> part = GaplessSamples(dir / name);
        if (joined.empty()) {
            EXPECT_EQ(part.size(), 88200u * 2); // 2 s at 44.1 kHz
        }
        joined.insert(joined.end(), part.begin(), part.end());
        TagLib::MPEG::File file((dir / name).c_str(), false);
        ASSERT_NE(file.ID3v2Tag(), nullptr) << name;
        EXPECT_NE(std::string(name).find(file.ID3v2Tag()->title().to8Bit(true)), std::string::npos);
    }
    EXPECT_EQ(joined, GaplessSamples(dir / "book.mp3"));

    // A part keeps the chapters that play within it, moved to its own timeline; so does a cut.
    const auto chaptersOf = [&](const std::string &file) {
        const std::string out = Run("info '" + file + "'").out;
        return out.substr(std::min(out.size(), out.find("chapter 1")));
    };
    ASSERT_EQ(Run("split book.mp3 --at 0:03.000 -n half").status, 0);
    EXPECT_EQ(chaptersOf("half000.mp3"), "chapter 1: 00:00.000 - 00:02.000 Opening\n"
                                         "chapter 2: 00:02.000 - 00:03.000 Middle\n");
    EXPECT_EQ(chaptersOf("half001.mp3"), "chapter 1: 00:00.000 - 00:01.500 Middle\n"
                                         "chapter 2: 00:01.500 - 00:03.000 End\n");
    ASSERT_EQ(Run("cut book.mp3 0:01.000 0:05.000 -o cut.mp3").status, 0);
    EXPECT_EQ(chaptersOf("cut.mp3"), "chapter 1: 00:00.000 - 00:01.000 Opening\n"
                                     "chapter 2: 00:01.000 - 00:03.500 Middle\n"
                                     "chapter 3: 00:03.500 - 00:04.000 End\n");

    WriteFile(dir / "plain.mp3", ReadFile(encoded));
    const RunResult none = Run("split plain.mp3 --chapters");
    EXPECT_EQ(none.status, 5);
    EXPECT_EQ(none.err, "mp3cut: 'plain.mp3' has no chapters\n");
}

// A second reader, eyeD3 (where installed): the chapters of a tag laid byte by byte with nested
// tables, of a file chapters wrote and of a part's, as they were written.
TEST_F(Mp3cut, EyeD3ReadsTheChaptersAsWritten)
{
    const auto eyeD3 = [&](const std::string &file) {
        const std::string command = "p=$(command -v eyeD3) || exit 77; \"$(sed -n '1s/^#!//p' "
                                    "\"$p\")\" '" EYED3_CHAPTERS "' '" +
                                    (dir / file).string() + "' >'" + (dir / "eyed3.txt").string() +
                                    "' 2>&1";
        const int raw = std::system(command.c_str());
        RunResult r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = Slurp(dir / "eyed3.txt");
        return r;
    };
    const fs::path encoded = EncodeWithLame(dir, "encoded", 6.0, 44100, 2, "-V 2");
    Bytes book = Id3v2ChapterTag(
        "Book",
        {{"c1", 0, 2000, "Opening"}, {"c2", 2000, 4500, "Middle"}, {"c3", 4500, 6000, "End"}},
        {{"toc", true, {"c1", "inner"}}, {"inner", false, {"c2", "c3"}}});
    Append(book, ReadFile(encoded));
    WriteFile(dir / "book.mp3", book);
    RunResult r = eyeD3("book.mp3");
    if (r.status == 77) {
        GTEST_SKIP() << "eyeD3 is not installed";
    }
    EXPECT_EQ(r.out, "toc toc 1 1 c1,inner\n"
                     "toc inner 0 1 c2,c3\n"
                     "c1 0 2000 - - Opening\n"
                     "c2 2000 4500 - - Middle\n"
                     "c3 4500 6000 - - End\n");
    // chapters of our own, flattened into one ordered table, with their byte offsets.
    ASSERT_EQ(Run("chapters book.mp3 --chapters -o ours.mp3").status, 0);
    r = eyeD3("ours.mp3");
    const std::string head = "toc toc 1 1 chp0,chp1,chp2\nchp0 0 2000 ";
    EXPECT_EQ(r.out.substr(0, head.size()), head) << r.out;
    EXPECT_NE(r.out.find(" Middle\nchp2 4500 6000 "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(" - "), std::string::npos) << r.out; // every offset given
    // A part's chapters, moved to its own timeline.
    ASSERT_EQ(Run("cut book.mp3 1 5 -o cut.mp3").status, 0);
    r = eyeD3("cut.mp3");
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "toc toc 1 1 c1,c2,c3") << r.out;
    EXPECT_NE(r.out.find("c2 1000 3500 "), std::string::npos) << r.out;
}

// chapters writes the file whole, its frames as they are, with a chapter for each part the
// split's method plans, titled by --titles; every method of split plans them.
TEST_F(Mp3cut, ChaptersWritesTheFileWholeWithItsChapters)
{
    const fs::path book = EncodeWithLame(dir, "book", 6.0, 44100, 2, "-V 2");
    const std::string titles = "Prologue\r\nChapter One\n";
    WriteFile(dir / "titles.txt", Bytes(titles.begin(), titles.end()));
    const RunResult r = Run("chapters book.mp3 --at 0:02.000,0:04.500 --titles titles.txt -o "
                            "with.mp3");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "with.mp3\n");
    const std::string info = Run("info with.mp3").out;
    EXPECT_NE(info.find("chapter 1: 00:00.000 - 00:02.000 Prologue\n"
                        "chapter 2: 00:02.000 - 00:04.500 Chapter One\n"
                        "chapter 3: 00:04.500 - 00:06.000\n"),
              std::string::npos)
        << info;
    EXPECT_EQ(GaplessSamples(dir / "with.mp3"), GaplessSamples(book));
    // Read back as a tag reader reads them: a top-level table listing the three in order.
    TagLib::MPEG::File file((dir / "with.mp3").c_str(), false);
    const TagLib::ID3v2::FrameList tables = file.ID3v2Tag()->frameList("CTOC");
    ASSERT_EQ(tables.size(), 1u);
    EXPECT_EQ(file.ID3v2Tag()->frameList("CHAP").size(), 3u);

    // The byte offsets: each chapter from the frame that holds its first sample to the one that
    // holds the next chapter's, found by walking the frames from the first after the
    // information frame.
    const Bytes bytes = ReadFile(dir / "with.mp3");
    const size_t audio = bytes.size() - FramesOf(dir / "with.mp3").size();
    std::vector<size_t> frameStarts;
    for (size_t at = audio; at + 4 <= bytes.size(); at += DecodeFrameInfo(&bytes[at]).FrameLength) {
        ASSERT_TRUE(DecodeFrameInfo(&bytes[at]).Valid) << at;
        frameStarts.push_back(at);
    }
    frameStarts.push_back(bytes.size());
    std::vector<std::pair<size_t, size_t>> frames; // each chapter's first frame and the next's
    for (const TagLib::ID3v2::Frame *f : file.ID3v2Tag()->frameList("CHAP")) {
        const auto *c = dynamic_cast<const TagLib::ID3v2::ChapterFrame *>(f);
        const auto first = std::find(frameStarts.begin(), frameStarts.end(), c->startOffset());
        const auto after = std::find(frameStarts.begin(), frameStarts.end(), c->endOffset());
        ASSERT_NE(first, frameStarts.end()) << c->startOffset();
        ASSERT_NE(after, frameStarts.end()) << c->endOffset();
        frames.emplace_back(first - frameStarts.begin(), after - frameStarts.begin());
    }
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].first, 0u);
    EXPECT_EQ(frames[0].second, frames[1].first);
    EXPECT_EQ(frames[1].second, frames[2].first);
    EXPECT_EQ(frames[2].second, frameStarts.size() - 1); // the end of the audio
    // Frame k plays from sample 1152 k - 1105 (LAME's delay and the decoder's).
    EXPECT_NEAR(double(frames[1].first) * 1152 - 1105, 88200, 1152);
    EXPECT_NEAR(double(frames[2].first) * 1152 - 1105, 4.5 * 44100, 1152);

    ASSERT_EQ(Run("chapters book.mp3 --every 2 -o every.mp3").status, 0);
    EXPECT_NE(Run("info every.mp3").out.find("chapter 3: 00:04.000 - 00:06.000"),
              std::string::npos);
    EXPECT_EQ(Run("chapters book.mp3 --every 2").status, 2); // no -o
    EXPECT_EQ(Run("chapters book.mp3 --every 2 -o book.mp3").status, 8);

    // --from-parts: the parts of an earlier split become the chapters, titled by their tags.
    const std::string labels = "0\t0\tPrologue\n2\t2\tChapter One\n4.5\t4.5\tEnd\n";
    WriteFile(dir / "labels.txt", Bytes(labels.begin(), labels.end()));
    ASSERT_EQ(Run("split book.mp3 --labels labels.txt -n p --quiet").status, 0);
    ASSERT_EQ(Run("chapters book.mp3 --from-parts p000.mp3 p001.mp3 p002.mp3 -o parts.mp3").status,
              0);
    EXPECT_NE(Run("info parts.mp3")
                  .out.find("chapter 1: 00:00.000 - 00:02.000 Prologue\n"
                            "chapter 2: 00:02.000 - 00:04.500 Chapter One\n"
                            "chapter 3: 00:04.500 - 00:06.000 End\n"),
              std::string::npos);
    const RunResult longer = Run("chapters book.mp3 --from-parts book.mp3 p000.mp3 -o x.mp3");
    EXPECT_EQ(longer.status, 2);
    EXPECT_NE(longer.err.find("the parts play 00:08.000, longer than 'book.mp3' (00:06.000): "
                              "they are not its parts"),
              std::string::npos)
        << longer.err;
}

// Audacity's labels cut and title the parts; any plan goes out as labels and as a CUE sheet
// (and no part is written then), and comes back in as the same plan.
TEST_F(Mp3cut, LabelsInAndListsOut)
{
    const fs::path talk = EncodeWithLame(dir, "talk", 6.0, 44100, 2, "-b 128");
    const std::string labels = "1.480000\t1.480000\tFirst\r\n\\\t100\t200\n"
                               "4.000000\t5.000000\tSecond\n";
    WriteFile(dir / "talk.txt", Bytes(labels.begin(), labels.end()));
    const RunResult r = Run("split talk.mp3 --labels talk.txt -n '@n @t'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "./01 Track 01.mp3\n./02 First.mp3\n./03 Second.mp3\n");
    const auto samples = [&](const char *name) { return GaplessSamples(dir / name).size() / 2; };
    EXPECT_EQ(samples("01 Track 01.mp3"), 65268u); // 1.48 s
    EXPECT_EQ(samples("02 First.mp3"), 176400u - 65268u);

    // Out and in again: the same cut points, by labels and by a sheet (1.48 s is 111 frames).
    const size_t before = FileCount();
    const RunResult out = Run("split talk.mp3 --at 0:01.480,0:04.000 --export-labels out.txt "
                              "--export-cue out.cue --album LP");
    ASSERT_EQ(out.status, 0) << out.err;
    EXPECT_EQ(out.out, "out.txt\nout.cue\n");
    EXPECT_EQ(FileCount(), before + 2); // the lists, and no part
    EXPECT_NE(Slurp(dir / "out.cue").find("TITLE \"LP\"\nFILE \"talk.mp3\" MP3\n"),
              std::string::npos);
    for (const char *method : {"--labels out.txt", "--cue out.cue"}) {
        const RunResult again = Run(std::string("split talk.mp3 ") + method + " -n again");
        ASSERT_EQ(again.status, 0) << again.err;
        EXPECT_EQ(samples("again000.mp3"), 65268u) << method;
        EXPECT_EQ(samples("again001.mp3"), 176400u - 65268u) << method;
    }

    const std::string bad = "1.0\t2.0\tfine\nnot a label\n";
    WriteFile(dir / "bad.txt", Bytes(bad.begin(), bad.end()));
    const RunResult refused = Run("split talk.mp3 --labels bad.txt");
    EXPECT_EQ(refused.status, 3);
    EXPECT_EQ(refused.err, "mp3cut: bad label file 'bad.txt', line 2: not a label (start, end "
                           "and text, tab-separated, in seconds)\n");
}

// Times as people type them: seconds, minutes:seconds, hours:minutes:seconds, decimal
// fractions, and before the end with a minus; a time that is none names the argument. And
// --parts: parts of equal playing time.
TEST_F(Mp3cut, TimesAsPeopleTypeThem)
{
    // The length info gives, in ms, and a time so many ms from the start as minutes:seconds.
    const std::string info = Run("info song.mp3").out;
    const size_t at = info.find("duration: ") + 10;
    const int64_t length = std::stoll(info.substr(at, 2)) * 60000 +
                           std::stoll(info.substr(at + 3, 2)) * 1000 +
                           std::stoll(info.substr(at + 6, 3));
    const auto clock = [](int64_t ms) {
        char text[32];
        std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", (long long)(ms / 60000),
                      (long long)(ms / 1000 % 60), (long long)(ms % 1000));
        return std::string(text);
    };
    ASSERT_EQ(Run("cut song.mp3 0:20.000 " + clock(length - 1000) + " -o a.mp3 --frames").status,
              0);
    ASSERT_EQ(Run("cut song.mp3 20 -1 -o b.mp3 --frames").status, 0);
    ASSERT_EQ(Run("cut song.mp3 0:00:20.0 -0:01 -o c.mp3 --frames").status, 0);
    EXPECT_EQ(ReadFile(dir / "a.mp3"), ReadFile(dir / "b.mp3"));
    EXPECT_EQ(ReadFile(dir / "a.mp3"), ReadFile(dir / "c.mp3"));
    ASSERT_EQ(Run("split song.mp3 --at 2.5,-0:02.5 -n t --frames").status, 0);
    ASSERT_EQ(
        Run("cut song.mp3 0:2.500 " + clock(length - 2500) + " -o middle.mp3 --frames").status, 0);
    EXPECT_EQ(FramesOf(dir / "t001.mp3"), FramesOf(dir / "middle.mp3"));
    // Equal parts: as long as each other within a frame, and together the whole.
    EncodeWithLame(dir, "even", 6.0, 44100, 2, "-b 128");
    ASSERT_EQ(Run("split even.mp3 --parts 4 -n q").status, 0);
    std::vector<int64_t> lengths; // samples of a channel
    for (const char *name : {"q000.mp3", "q001.mp3", "q002.mp3", "q003.mp3"}) {
        lengths.push_back(int64_t(GaplessSamples(dir / name).size() / 2));
    }
    const auto [shortest, longest] = std::minmax_element(lengths.begin(), lengths.end());
    EXPECT_LE(*longest - *shortest, 1152);
    EXPECT_EQ(lengths[0] + lengths[1] + lengths[2] + lengths[3],
              int64_t(GaplessSamples(dir / "even.mp3").size() / 2));
    const RunResult bad = Run("cut song.mp3 1,5 2");
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err.substr(0, bad.err.find(':', 9)), "mp3cut: bad time '1,5' for START");
    EXPECT_NE(bad.err.find("1:02:03.250"), std::string::npos); // the forms it takes
    EXPECT_NE(Run("split song.mp3 --at 1:x").err.find("bad time '1:x' for --at"),
              std::string::npos);
}

// verify proves the parts of a split, and a cut from where it starts; a damaged part is found
// with its first differing sample, and the exit status says so.
TEST_F(Mp3cut, VerifyProvesOutputsAndFindsTheFirstDifference)
{
    EncodeWithLame(dir, "talk", 6.0, 44100, 2, "-V 2");
    ASSERT_EQ(Run("split talk.mp3 --every 2 -n p --quiet").status, 0);
    RunResult r = Run("verify talk.mp3 p000.mp3 p001.mp3 p002.mp3");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "p000.mp3: exact, 88200 samples from 00:00.000\n"
                     "p001.mp3: exact, 88200 samples from 00:02.000\n"
                     "p002.mp3: exact, 88200 samples from 00:04.000\n"
                     "played in turn they are talk.mp3 from 00:00.000 to 00:06.000, its end\n");
    ASSERT_EQ(Run("cut talk.mp3 1.5 4 -o cut.mp3").status, 0);
    EXPECT_EQ(Run("verify talk.mp3 cut.mp3 --from 1.5").status, 0);
    EXPECT_EQ(Run("verify talk.mp3 cut.mp3 --from 1.6").status, 11);

    // Bytes of the middle part's audio changed: the first sample that decodes otherwise.
    Bytes part = ReadFile(dir / "p001.mp3");
    for (size_t i = part.size() / 2; i < part.size() / 2 + 40; ++i) {
        part[i] ^= 0x5A;
    }
    WriteFile(dir / "p001.mp3", part);
    const std::vector<int16_t> damaged = GaplessSamples(dir / "p001.mp3");
    const std::vector<int16_t> whole = GaplessSamples(dir / "talk.mp3");
    ASSERT_FALSE(damaged.empty());
    size_t first = 0;
    while (first < damaged.size() && damaged[first] == whole[88200 * 2 + first]) {
        ++first;
    }
    r = Run("verify talk.mp3 p000.mp3 p001.mp3 p002.mp3");
    EXPECT_EQ(r.status, 11);
    EXPECT_NE(r.out.find("p001.mp3: differs: 88200 samples expected, 88200 found; the first "
                         "difference at sample " +
                         std::to_string(first / 2) + " "),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("played in turn they are not talk.mp3"), std::string::npos);
}

// Several files: each split as one would be, two at a time, the outputs and outcomes in their
// order; @f names each one's folder, made when missing; a file that fails stops none of the
// others, and its status is the run's.
TEST_F(Mp3cut, ManyFilesEachAsOne)
{
    for (const char *name : {"a.mp3", "c.mp3"}) {
        WriteFile(dir / name, source);
    }
    WriteFile(dir / "b.mp3", Bytes(5000, 0x11)); // no audio
    const RunResult r = Run("split a.mp3 b.mp3 c.mp3 --every 10 -d 'out/@f' -n '@f-' --jobs 2");
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.out, "out/a/a-000.mp3\nout/a/a-001.mp3\nout/a/a-002.mp3\n"
                     "out/c/c-000.mp3\nout/c/c-001.mp3\nout/c/c-002.mp3\n");
    EXPECT_EQ(r.err.substr(0, r.err.find("b.mp3: no MPEG audio")),
              "mp3cut: note: made the folder 'out/a'\nmp3cut: a.mp3: done\nmp3cut: ");
    EXPECT_NE(r.err.find("mp3cut: note: made the folder 'out/c'\nmp3cut: c.mp3: done\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(FramesOf(dir / "out/a/a-001.mp3"), FramesOf(dir / "out/c/c-001.mp3"));

    const RunResult cut = Run("cut a.mp3 c.mp3 1 2 -o 'cuts/@f.mp3' --frames");
    EXPECT_EQ(cut.status, 0) << cut.err;
    EXPECT_EQ(cut.out, "cuts/a.mp3\ncuts/c.mp3\n");
    EXPECT_EQ(Run("cut a.mp3 c.mp3 1 2 -o same.mp3").status, 2); // one name for two outputs
}

// A dry run prints each output the run would write, and the refusal it would give, and writes
// nothing: not a part, not a folder.
TEST_F(Mp3cut, ADryRunPrintsThePlanAndWritesNothing)
{
    const size_t before = FileCount();
    RunResult r = Run("split song.mp3 --every 10 -d later --dry-run");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = {
        "later/song000.mp3: 00:00.000 to 00:10.000 (00:10.000), ",
        "later/song001.mp3: 00:10.000 to 00:20.000 (00:10.000), ",
        "later/song002.mp3: 00:20.000 to 00:26.062 (00:06.062), "};
    size_t at = 0;
    for (const std::string &line : lines) {
        at = r.out.find(line, at);
        ASSERT_NE(at, std::string::npos) << r.out;
    }
    EXPECT_EQ(r.err, "mp3cut: note: would make the folder 'later'\n");
    // The bytes are those a real run writes of frames: about a tenth of the file each.
    const size_t bytes = std::stoul(r.out.substr(r.out.find("), ") + 3));
    EXPECT_NEAR(double(bytes), double(audioEnd) * 10 / 26.062, 2 * 417.0);
    EXPECT_EQ(FileCount(), before);

    WriteFile(dir / "ro.mp3", Bytes(5, 'r'));
    chmod((dir / "ro.mp3").c_str(), 0444);
    r = Run("cut song.mp3 1 -2 -o ro.mp3 --dry-run");
    EXPECT_EQ(r.status, 9);
    EXPECT_NE(r.err.find("read-only"), std::string::npos);
    r = Run("cut song.mp3 1 -2 -o ok.mp3 --dry-run");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, r.out.find(",")), "ok.mp3: 00:01.000 to 00:24.062 (00:23.062)");
    EXPECT_EQ(FileCount(), before + 1); // ro.mp3 alone
}

TEST_F(Mp3cut, ABadCueSheetOrNameWritesNothing)
{
    const std::string head = "FILE \"song.mp3\" MP3\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
    const std::string bad = head + "TRACK 02 AUDIO\nINDEX 01 00:10:80\n";
    const std::string good = head + "TRACK 02 AUDIO\nINDEX 01 00:10:00\n";
    WriteFile(dir / "bad.cue", Bytes(bad.begin(), bad.end()));
    WriteFile(dir / "good.cue", Bytes(good.begin(), good.end()));
    const size_t files = FileCount();
    const struct
    {
        std::string args;
        int status;
        std::string err;
    } cases[] = {
        {"--cue bad.cue", 3,
         "mp3cut: bad CUE sheet 'bad.cue', line 5: bad time '00:10:80' (use "
         "minutes:seconds:frames, 75 frames a second)\n"},
        {"--cue none.cue", 3,
         "mp3cut: cannot use the CUE sheet 'none.cue': No such file or directory\n"},
        {"--cue good.cue -n '@p'", 2,
         "mp3cut: two parts would be named './_.mp3' (put @n in the name)\nTry 'mp3cut --help'.\n"},
        {"--cue good.cue --every 5", 2,
         "mp3cut: split takes one of --at, --every, --parts, --size, --silence, --cue, "
         "--chapters and --labels\n"
         "Try 'mp3cut --help'.\n"},
    };
    for (const auto &c : cases) {
        const RunResult r = Run("split song.mp3 " + c.args);
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_EQ(r.err, c.err) << c.args;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(FileCount(), files) << c.args;
    }
}

// --json: standard output is one JSON document, whatever happens: every input's streams,
// tags, outputs (planned or written, with their true sizes) and outcome, in the inputs' order.
TEST_F(Mp3cut, JsonTellsScriptsEveryInputInOneDocument)
{
    const auto document = [](const RunResult &r) {
        QJsonParseError error;
        const QJsonDocument d = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << r.out;
        EXPECT_EQ(d.object()["exit"].toInt(), r.status);
        return d.object();
    };
    RunResult r = Run("info --json song.mp3");
    QJsonObject file = document(r)["files"].toArray()[0].toObject();
    EXPECT_EQ(file["streams"].toArray()[0].toObject()["sample_rate"].toInt(), 44100);
    EXPECT_EQ(file["tags"].toObject()["title"].toString(), "Tagged");
    EXPECT_EQ(file["outcome"].toObject()["status"].toString(), "done");

    // Three inputs, the middle one unreadable; a folder name that must be escaped.
    WriteFile(dir / "copy.mp3", source);
    r = Run("split --json song.mp3 missing.mp3 copy.mp3 --every 10 -d 'a \"b\"/@f' --jobs 2");
    EXPECT_EQ(r.status, 3);
    const QJsonArray files = document(r)["files"].toArray();
    ASSERT_EQ(files.size(), 3);
    for (const int i : {0, 2}) {
        const QJsonArray outputs = files[i].toObject()["outputs"].toArray();
        ASSERT_EQ(outputs.size(), 3) << i;
        const QJsonObject last = outputs[2].toObject();
        EXPECT_TRUE(last["written"].toBool());
        EXPECT_EQ(last["start_ms"].toInt(), 20000);
        const fs::path written = dir / last["file"].toString().toStdString();
        EXPECT_EQ(last["bytes"].toInteger(), int64_t(fs::file_size(written)));
    }
    const QJsonObject failed = files[1].toObject()["outcome"].toObject();
    EXPECT_EQ(failed["exit"].toInt(), 3);
    EXPECT_NE(failed["message"].toString().indexOf("missing.mp3"), -1);

    // A dry run plans, writes nothing, and says so; verify tells each output.
    const size_t before = FileCount();
    r = Run("cut --json --dry-run song.mp3 2 -2 -o planned.mp3");
    const QJsonObject planned =
        document(r)["files"].toArray()[0].toObject()["outputs"].toArray()[0].toObject();
    EXPECT_FALSE(planned["written"].toBool());
    EXPECT_EQ(planned["end_ms"].toInt(), 24062);
    EXPECT_EQ(FileCount(), before);
    r = Run("verify --json song.mp3 'a \"b\"/song/song000.mp3'");
    const QJsonObject verified =
        document(r)["files"].toArray()[0].toObject()["outputs"].toArray()[0].toObject();
    EXPECT_TRUE(verified["exact"].toBool()) << r.out;
    EXPECT_EQ(verified["found_samples"].toInt(), 441000);

    r = Run("cut --json song.mp3 1"); // a usage error is still a document
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(document(r)["error"].toString(), "cut takes FILE START END");
}

// The level options: each step named in a note, every refusal with its exit status and
// reason, the steps in the JSON document.
TEST_F(Mp3cut, LevelOptionsSayWhatTheyDid)
{
    EncodeWithLame(dir, "talk", 6.0, 44100, 2, "-V 2");
    Bytes layer2;
    AppendFrames(layer2, THeaderSpec{1, 2, 9, 0}, 200);
    WriteFile(dir / "old.mp2", layer2);
    const struct
    {
        std::string args;
        int status;
        std::string err; // what stderr holds
    } cases[] = {
        {"cut talk.mp3 1 5 -o g.mp3 --gain -4", 0,
         "mp3cut: note: gain -3 steps of 1.505 dB (-4.52 dB)\n"},
        {"split talk.mp3 --every 3 -n f --fade-in 500 --fade-out 250 --quiet", 0, ""},
        {"cut talk.mp3 1 5 -o n.mp3 --normalize", 0, "mp3cut: note: n.mp3: normalized by "},
        {"cut talk.mp3 1 5 -o n.mp3 --normalize=-6 --force", 0,
         "mp3cut: note: n.mp3: normalized by "},
        {"split talk.mp3 --every 3 -n a --normalize-album -2 --quiet", 0,
         "mp3cut: note: ./a000.mp3: normalized by "},
        {"cut talk.mp3 1 5 -o x.mp3 --normalize-album", 2,
         "mp3cut: --normalize-album takes the parts of a split: use --normalize\n"},
        {"cut talk.mp3 1 5 -o x.mp3 --gain 3 --normalize", 2,
         "mp3cut: --gain and --normalize both set the gain: give one of them\n"},
        {"cut talk.mp3 1 5 -o - --replaygain", 2,
         "mp3cut: --normalize and --replaygain measure the file written: not with -o -\n"},
        {"cut talk.mp3 1 5 -o x.mp3 --replaygain --no-tags", 2,
         "mp3cut: --replaygain writes tags: not with --no-tags\n"},
        {"cut talk.mp3 1 5 -o x.mp3 --fade-in soon", 2,
         "mp3cut: --fade-in takes a number, not 'soon'\n"},
        {"cut old.mp2 0 2 -o x.mp3 --gain -3", 12,
         "mp3cut: cannot change the level of 'old.mp2': its frames are Layer II, which hold no "
         "gain that can be changed without decoding (Layer III frames do)\n"},
    };
    for (const auto &c : cases) {
        const RunResult r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
        EXPECT_EQ(r.err.substr(0, c.err.size()), c.err) << c.args;
    }
    EXPECT_FALSE(fs::exists(dir / "x.mp3"));
    EXPECT_EQ(GaplessSamples(dir / "f001.mp3").size(), 3u * 44100 * 2);
    // To standard output, in order: the same bytes, its information frame's CRC summed over
    // the edited frames beforehand.
    const RunResult piped = Run("cut talk.mp3 1 5 -o - --gain -3 --fade-in 300");
    ASSERT_EQ(Run("cut talk.mp3 1 5 -o lv.mp3 --gain -3 --fade-in 300").status, 0);
    EXPECT_TRUE(piped.out == Slurp(dir / "lv.mp3"));
    const RunResult json = Run("cut --json talk.mp3 1 5 -o j.mp3 --gain -3");
    EXPECT_NE(json.out.find("\"gain_steps\": -2"), std::string::npos) << json.out;
}

TEST(Mp3cutReal, VbrCutDecodesCleanly)
{
    TTempDir dir;
    const auto mp3 = EncodeWithLame(dir, "v", 20.0, 44100, 2, "-V 2");
    const std::string command = "'" MP3CUT_BINARY "' cut '" + mp3.string() +
                                "' 0:3.0 0:9.500 --frames -o '" + (dir / "cut.mp3").string() +
                                "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const TDecodeResult d = DecodeFile(dir / "cut.mp3");
    EXPECT_EQ(d.errors, 0) << d.message;
    // Frames starting from 3 s to 9.5 s: numbers 115 to 363.
    EXPECT_EQ(d.frames, 364 - 115);
}

} // namespace
