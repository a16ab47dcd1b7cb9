#include "Fixtures.h"
#include "format/MPEGAFHdr.h"

#include <gtest/gtest.h>

using namespace mp3core;

namespace {

struct HeaderCase
{
    const char *name;
    uint8_t bytes[4];
    int version, layer, bitrate, sampleRate, frameLength;
    bool valid;
};

void PrintTo(const HeaderCase &c, std::ostream *os)
{
    *os << c.name;
}

class HeaderDecoding : public ::testing::TestWithParam<HeaderCase>
{
};

TEST_P(HeaderDecoding, DecodesTablesAndFrameLength)
{
    const HeaderCase &c = GetParam();
    TMPEGAFHdr hdr;
    std::copy_n(c.bytes, 4, hdr.Header.begin());
    EXPECT_EQ(hdr.DecodeHeader(), c.valid);
    EXPECT_EQ(hdr.MPEGVersion, c.version);
    EXPECT_EQ(hdr.Layer, c.layer);
    EXPECT_EQ(hdr.Bitrate, c.bitrate);
    EXPECT_EQ(hdr.SampleRate, c.sampleRate);
    if (c.valid) {
        EXPECT_EQ(hdr.FrameLength, c.frameLength);
        EXPECT_EQ(DecodeFrameInfo(c.bytes).FrameLength, c.frameLength);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Headers, HeaderDecoding,
    ::testing::Values(
        HeaderCase{"Mpeg1L3_128_44100", {0xFF, 0xFB, 0x90, 0x64}, 1, 3, 128, 44100, 417, true},
        HeaderCase{
            "Mpeg1L3_128_44100_padded", {0xFF, 0xFB, 0x92, 0x64}, 1, 3, 128, 44100, 418, true},
        HeaderCase{"Mpeg1L3_320_48000", {0xFF, 0xFB, 0xE4, 0x00}, 1, 3, 320, 48000, 960, true},
        HeaderCase{"Mpeg2L3_64_22050", {0xFF, 0xF3, 0x80, 0xC4}, 2, 3, 64, 22050, 208, true},
        HeaderCase{"Mpeg1L1_448_32000", {0xFF, 0xFF, 0xE8, 0x00}, 1, 1, 448, 32000, 672, true},
        HeaderCase{"Mpeg1L1_32_44100", {0xFF, 0xFF, 0x10, 0x00}, 1, 1, 32, 44100, 32, true},
        HeaderCase{"Mpeg1L1_32_44100_padded", {0xFF, 0xFF, 0x12, 0x00}, 1, 1, 32, 44100, 36, true},
        HeaderCase{
            "Mpeg2L1_256_16000_padded", {0xFF, 0xF7, 0xEA, 0x00}, 2, 1, 256, 16000, 772, true},
        HeaderCase{"Mpeg2L2_160_24000", {0xFF, 0xF5, 0xE4, 0x00}, 2, 2, 160, 24000, 960, true},
        HeaderCase{"Mpeg1L2_384_48000", {0xFF, 0xFD, 0xE4, 0x00}, 1, 2, 384, 48000, 1152, true},
        HeaderCase{"Mpeg25L3_8_8000", {0xFF, 0xE3, 0x18, 0x00}, 3, 3, 8, 8000, 72, true},
        HeaderCase{"Mpeg25L3_32_11025", {0xFF, 0xE3, 0x40, 0x00}, 3, 3, 32, 11025, 208, true},
        HeaderCase{"Mpeg25L3_64_12000", {0xFF, 0xE3, 0x84, 0x00}, 3, 3, 64, 12000, 384, true},
        HeaderCase{"ReservedLayer", {0xFF, 0xE0, 0x90, 0x00}, 3, 0, -1, 11025, 0, false},
        HeaderCase{"ReservedVersion", {0xFF, 0xEB, 0x90, 0x00}, 0, 3, -1, -1, 0, false},
        HeaderCase{"BitrateIndex15", {0xFF, 0xFB, 0xF0, 0x00}, 1, 3, -1, 44100, 0, false},
        HeaderCase{"SampleRateIndex3", {0xFF, 0xFB, 0x9C, 0x00}, 1, 3, 128, -1, 0, false},
        HeaderCase{"FreeFormat", {0xFF, 0xFB, 0x00, 0x00}, 1, 3, 0, 44100, 0, false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(FrameHeader, DecodesTheLastByteAndPadding)
{
    TMPEGAFHdr hdr;
    hdr.Header = {0xFF, 0xFB, 0x90, 0x64};
    ASSERT_TRUE(hdr.DecodeHeader());
    EXPECT_FALSE(hdr.PaddingFlag);
    EXPECT_EQ(hdr.PaddingSize, 0);
    EXPECT_EQ(hdr.ChannelMode, 1);
    EXPECT_EQ(hdr.ModeExtension, 2);
    EXPECT_FALSE(hdr.RightsFlag);
    EXPECT_TRUE(hdr.OriginalFlag);
    EXPECT_EQ(hdr.EmphasisName, "None");

    hdr.Header = {0xFF, 0xFF, 0x12, 0xFA}; // Layer I, padded, mode 3, ext 3, rights, emphasis 10
    ASSERT_TRUE(hdr.DecodeHeader());
    EXPECT_TRUE(hdr.PaddingFlag);
    EXPECT_EQ(hdr.PaddingSize, 4);
    EXPECT_EQ(hdr.ChannelMode, 3);
    EXPECT_EQ(hdr.ModeExtension, 3);
    EXPECT_TRUE(hdr.RightsFlag);
    EXPECT_FALSE(hdr.OriginalFlag);
    EXPECT_EQ(hdr.EmphasisName, "");

    hdr.Header = {0xFF, 0xFB, 0x92, 0x03};
    ASSERT_TRUE(hdr.DecodeHeader());
    EXPECT_EQ(hdr.PaddingSize, 1);
    EXPECT_EQ(hdr.EmphasisName, "CCIT J.17");
}

TEST(FrameHeader, SyncNeedsElevenBits)
{
    EXPECT_FALSE(IsSync(0xFF, 0xDF));
    EXPECT_TRUE(IsSync(0xFF, 0xE0));
    EXPECT_FALSE(IsSync(0xFE, 0xFF));
}

TEST(FrameHeader, FixtureFramesHaveTheirComputedLength)
{
    // Every valid combination of the tables builds and decodes back to itself.
    for (int version = 1; version <= 3; ++version) {
        for (int layer = 1; layer <= 3; ++layer) {
            for (int bitrate = 1; bitrate <= 14; ++bitrate) {
                for (int rate = 0; rate <= 2; ++rate) {
                    const THeaderSpec shape{version, layer, bitrate, rate, bitrate % 2 == 0};
                    const Bytes frame = Frame(shape);
                    const TFrameInfo info = DecodeFrameInfo(frame.data());
                    ASSERT_TRUE(info.Valid);
                    EXPECT_EQ(info.MPEGVersion, version);
                    EXPECT_EQ(info.Layer, layer);
                    EXPECT_EQ(info.Bitrate, BitrateTable[version - 1][layer - 1][bitrate]);
                    EXPECT_EQ(info.SampleRate, SampleRateTable[version - 1][rate]);
                    EXPECT_EQ(int(frame.size()), info.FrameLength);
                    EXPECT_EQ(info.Bitrate % 8, 0);
                }
            }
        }
    }
}

} // namespace
