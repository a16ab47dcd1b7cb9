// The level of an output changed without decoding: gain, fades, normalizing and ReplayGain, each
// proven by decoding the output (libmpg123, in floats) beside the source.
#include "output/Level.h"
#include "Decode.h"
#include "format/FrameHeader.h"
#include "jobs/CutJob.h"
#include "jobs/SplitJob.h"

#include <gtest/gtest.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr double OneStep = 1.0 / 32768; // one 16-bit step

struct TFormat
{
    const char *name;
    int rate;
    int channels;
    const char *lame;
};

const TFormat Formats[] = {
    {"CBR", 44100, 2, "-b 128"},          {"VBR", 44100, 2, "-V 2"},
    {"MPEG2Mono", 22050, 1, "-b 32"},     {"MPEG25", 8000, 2, "-b 24"},
    {"MidSide", 44100, 2, "-b 128 -m f"}, {"Crc", 44100, 2, "-b 128 -p"},
};

// The samples a gapless player plays of file from the sample from on, as many as the output
// holds.
std::vector<float> Stretch(const std::vector<float> &source, size_t from, size_t count)
{
    return {source.begin() + long(from),
            source.begin() + long(std::min(from + count, source.size()))};
}

// Every Layer III frame of an output (behind its information frame): a CRC-protected one holds
// the CRC of its side information (the silent frames in front of an output are not protected).
void ExpectFrameCrcs(const fs::path &file, bool protectedFrames)
{
    const Bytes frames = FramesOf(file);
    size_t checked = 0;
    for (size_t at = 0; at + 6 <= frames.size();) {
        const TFrameInfo info = DecodeFrameInfo(&frames[at]);
        ASSERT_TRUE(info.Valid) << file << " " << at;
        if (info.Protected) {
            const uint16_t stored = uint16_t(frames[at + 4] << 8 | frames[at + 5]);
            EXPECT_EQ(FrameCrc(&frames[at], size_t(SideInfoBytes(info.MPEGVersion, info.Mono))),
                      stored)
                << file << " frame at " << at;
            ++checked;
        }
        at += size_t(info.FrameLength);
    }
    EXPECT_EQ(checked * 2 > frames.size() / 418, protectedFrames); // most frames, or none
}

class Level : public ::testing::TestWithParam<TFormat>
{
protected:
    TTempDir dir;
};

// Every granule of every channel moves by the same step: the output decodes to the source's
// samples times 2^(k/4), within one 16-bit step, in every format; a protected frame's CRC is
// made again (the source's, as lame wrote them, check the way we compute them).
TEST_P(Level, AGainScalesTheSamplesByItsSteps)
{
    const TFormat f = GetParam();
    const fs::path source = EncodeWithLame(dir, "source", 4.0, f.rate, f.channels, f.lame);
    const std::vector<float> whole = GaplessFloats(source);
    ASSERT_FALSE(whole.empty());
    const bool crc = std::string(f.lame).find("-p") != std::string::npos;
    ExpectFrameCrcs(source, crc);
    for (const int steps : {-3, 2, 0}) {
        TCutJob job{source, dir / "out.mp3", 500, 3500};
        job.Level.Level.GainSteps = steps;
        const TJobOutcome o = RunCut(job);
        ASSERT_EQ(o.Status, TJobStatus::Done) << o.Reason;
        EXPECT_EQ(o.Plan[0].Level.GainSteps, steps);
        EXPECT_EQ(o.Plan[0].Level.Clamped, 0);
        const std::vector<float> out = GaplessFloats(job.Output);
        const size_t from = size_t(f.rate / 2 * f.channels);
        ASSERT_EQ(out.size(), size_t(3 * f.rate * f.channels));
        const std::vector<float> expected = Stretch(whole, from, out.size());
        const double factor = std::pow(2.0, steps / 4.0);
        double worst = 0;
        for (size_t i = 0; i < out.size(); ++i) {
            worst = std::max(worst, std::abs(double(out[i]) - double(expected[i]) * factor));
        }
        EXPECT_LE(worst, OneStep) << f.name << " " << steps << " steps";
        ExpectFrameCrcs(job.Output, crc);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, Level, ::testing::ValuesIn(Formats),
                         [](const auto &info) { return std::string(info.param.name); });

// The level of each 576 samples, against the source's.
std::vector<double> BlockRatios(const std::vector<float> &out, const std::vector<float> &source)
{
    std::vector<double> ratios;
    for (size_t at = 0; at + 576 * 2 <= out.size(); at += 576 * 2) {
        double a = 0;
        double b = 0;
        for (size_t i = at; i < at + 576 * 2; ++i) {
            a += double(out[i]) * out[i];
            b += double(source[i]) * source[i];
        }
        ratios.push_back(std::sqrt(a / std::max(b, 1e-12)));
    }
    return ratios;
}

// Fades rise from silence and fall to it over the granules of their stretch and no others: the
// level climbs block by block, and outside the fades every sample is the source's.
TEST(LevelFades, RiseAndFallOverTheirStretchOnly)
{
    TTempDir dir;
    constexpr int Rate = 44100;
    std::vector<int16_t> tone(size_t(Rate) * 6 * 2);
    for (size_t i = 0; i < tone.size(); ++i) {
        tone[i] = int16_t(8000 * std::sin(2 * M_PI * 440 * double(i / 2) / Rate));
    }
    const fs::path source = EncodeSamplesWithLame(dir, "tone", tone, Rate, 2, "-b 192");
    TCutJob job{source, dir / "faded.mp3", 1000, 5000};
    job.Level.Level.FadeInMs = 1000;
    job.Level.Level.FadeOutMs = 1500;
    ASSERT_EQ(RunCut(job).Status, TJobStatus::Done);
    const std::vector<float> out = GaplessFloats(job.Output);
    ASSERT_EQ(out.size(), size_t(Rate) * 4 * 2);
    const std::vector<float> expected =
        Stretch(GaplessFloats(source), size_t(Rate) * 2, out.size());
    const std::vector<double> ratios = BlockRatios(out, expected);
    const size_t in = Rate / 576;            // blocks of the fade-in
    const size_t outAt = Rate * 5 / 2 / 576; // the first block of the fade-out
    EXPECT_LT(ratios.front(), 0.01);
    EXPECT_LT(ratios.back(), 0.05);
    for (size_t b = 1; b < ratios.size(); ++b) {
        if (b <= in) {
            EXPECT_GE(ratios[b], ratios[b - 1] - 0.02) << "block " << b;
        } else if (b > outAt + 1) {
            EXPECT_LE(ratios[b], ratios[b - 1] + 0.02) << "block " << b;
        }
    }
    for (size_t b = 0; b < in * 85 / 100; ++b) {
        EXPECT_LT(ratios[b], 0.99) << "block " << b << " lies in the fade-in";
    }
    // From two granules after the fade-in to two before the fade-out: the source's samples.
    double worst = 0;
    for (size_t i = (in + 2) * 576 * 2; i < (outAt - 2) * 576 * 2; ++i) {
        worst = std::max(worst, std::abs(double(out[i]) - double(expected[i])));
    }
    EXPECT_LE(worst, OneStep);
}

// A gain past what a granule's 8 bits hold stops there and is counted; frames that hold no
// gain (Layer II) are refused, and nothing is written.
TEST(LevelLimits, ClampedGranulesAreCountedAndLayerTwoIsRefused)
{
    TTempDir dir;
    const fs::path source = EncodeWithLame(dir, "loud", 3.0, 44100, 2, "-b 128");
    for (const auto &[steps, clamps] : {std::pair{100, true}, {-199, true}, {-3, false}}) {
        TCutJob job{source, dir / "c.mp3", 0, 2000};
        job.Level.Level.GainSteps = steps;
        const TJobOutcome o = RunCut(job);
        ASSERT_EQ(o.Status, TJobStatus::Done);
        EXPECT_EQ(o.Plan[0].Level.Clamped > 0, clamps) << steps;
        EXPECT_EQ(DecodeFile(job.Output).errors, 0);
    }
    Bytes layer2;
    AppendFrames(layer2, THeaderSpec{1, 2, 9, 0}, 200);
    WriteFile(dir / "layer2.mp2", layer2);
    TCutJob job{dir / "layer2.mp2", dir / "l.mp3", 0, 2000};
    job.Level.Level.FadeInMs = 500;
    const TJobOutcome o = RunCut(job);
    EXPECT_EQ(o.Status, TJobStatus::LevelNeedsLayer3);
    EXPECT_EQ(o.Reason, "Layer II");
    EXPECT_FALSE(fs::exists(job.Output));
}

// What loudgain, a second ReplayGain 2.0 meter, measures of files: each one's gain in dB and
// true peak by name, and the album's as "Album"; empty when it is not installed.
std::map<std::string, std::pair<double, double>> Loudgain(const TTempDir &dir,
                                                          const std::vector<fs::path> &files)
{
    std::string command = "command -v loudgain >/dev/null && loudgain -a -O";
    for (const fs::path &f : files) {
        command += " '" + f.string() + "'";
    }
    const fs::path out = dir / "loudgain.txt";
    std::map<std::string, std::pair<double, double>> found;
    if (std::system((command + " >'" + out.string() + "' 2>/dev/null").c_str()) != 0) {
        return found;
    }
    std::ifstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> cells;
        std::stringstream cellsOf(line);
        for (std::string cell; std::getline(cellsOf, cell, '\t');) {
            cells.push_back(cell);
        }
        if (cells.size() >= 9 && cells[0] != "File") {
            found[fs::path(cells[0]).filename().string()] = {std::stod(cells[8]),
                                                             std::stod(cells[3])};
        }
    }
    return found;
}

// The TXXX text of an output's tag.
std::string UserText(const fs::path &file, const std::string &name)
{
    TagLib::MPEG::File mp3(file.c_str(), false);
    const auto *frame =
        TagLib::ID3v2::UserTextIdentificationFrame::find(mp3.ID3v2Tag(), TagLib::String(name));
    return frame ? frame->fieldList().back().to8Bit(true) : std::string();
}

// ReplayGain 2.0 tags agree with loudgain within 0.1 dB, the album's over the parts too, and
// the peak is the highest sample; the parts' frames are left as they are. Normalizing keeps the
// true peak under its target by less than a step, and an album's parts share one step.
TEST(LevelLoudness, ReplayGainAndNormalizingAgreeWithASecondMeter)
{
    TTempDir dir;
    const fs::path source = EncodeWithLame(dir, "talk", 8.0, 44100, 2, "-V 2");
    TSplitJob split;
    split.Input = source;
    split.Folder = dir.Path();
    split.BaseName = "part";
    split.Segments = {{0, 3000, {}}, {3000, std::nullopt, {}}};
    split.Tags = TTagFrames::All;
    split.Level.ReplayGain = true;
    const TJobOutcome o = RunSplit(split);
    ASSERT_EQ(o.Status, TJobStatus::Done) << o.Reason;
    ASSERT_TRUE(o.Album.has_value());
    const auto measured = Loudgain(dir, o.Written);
    if (measured.empty()) {
        GTEST_SKIP() << "loudgain is not installed";
    }
    for (const fs::path &part : o.Written) {
        const auto [gain, peak] = measured.at(part.filename().string());
        EXPECT_NEAR(std::stod(UserText(part, "REPLAYGAIN_TRACK_GAIN")), gain, 0.1) << part;
        // The peak is the highest sample, as a player decodes it (loudgain's is between them).
        double highest = 0;
        for (const float sample : GaplessFloats(part)) {
            highest = std::max(highest, double(std::abs(sample)));
        }
        EXPECT_NEAR(std::stod(UserText(part, "REPLAYGAIN_TRACK_PEAK")), highest, 2e-6);
        EXPECT_LE(highest, peak * 1.0001);
        EXPECT_NEAR(std::stod(UserText(part, "REPLAYGAIN_ALBUM_GAIN")), measured.at("Album").first,
                    0.1);
        EXPECT_EQ(UserText(part, "REPLAYGAIN_ALBUM_GAIN").substr(0, 1) == "-",
                  *o.Album->AlbumGainDb < 0);
    }
    const std::vector<int16_t> joined = [&] {
        std::vector<int16_t> all = GaplessSamples(o.Written[0]);
        const std::vector<int16_t> second = GaplessSamples(o.Written[1]);
        all.insert(all.end(), second.begin(), second.end());
        return all;
    }();
    EXPECT_EQ(joined, GaplessSamples(source)); // measured, not changed

    TCutJob cut{source, dir / "normal.mp3", 1000, 7000};
    cut.Level.NormalizeDbfs = -1.0;
    const TJobOutcome n = RunCut(cut);
    ASSERT_EQ(n.Status, TJobStatus::Done);
    const double peakDb = 20 * std::log10(Loudgain(dir, {cut.Output}).at("normal.mp3").second);
    EXPECT_LE(peakDb, -1.0 + 0.02);
    EXPECT_GT(peakDb, -1.0 - StepDb - 0.02);

    split.Level = {};
    split.Level.NormalizeDbfs = -3.0;
    split.Level.NormalizeAlbum = true;
    const TJobOutcome album = RunSplit(split);
    ASSERT_EQ(album.Status, TJobStatus::Done);
    EXPECT_EQ(album.Plan[0].Level.GainSteps, album.Plan[1].Level.GainSteps);
    double loudest = 0;
    for (const auto &[name, values] : Loudgain(dir, album.Written)) {
        loudest = name == "Album" ? loudest : std::max(loudest, values.second);
    }
    EXPECT_LE(20 * std::log10(loudest), -3.0 + 0.02);
    EXPECT_GT(20 * std::log10(loudest), -3.0 - StepDb - 0.02);
}

} // namespace
