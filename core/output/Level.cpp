#include "output/Level.h"

#include "format/FrameHeader.h"

#include <algorithm>
#include <cmath>

namespace mp3core {

namespace {

constexpr int64_t GranuleSamples = 576;
constexpr int Silent = 255; // steps that take any gain to 0

// The count bits (at most 24) from bit at, as a number; the five bytes that hold them are read.
uint32_t BitsAt(const uint8_t *bytes, int at, int count)
{
    const uint8_t *p = bytes + (at >> 3);
    const uint64_t word = uint64_t(p[0]) << 32 | uint64_t(p[1]) << 24 | uint64_t(p[2]) << 16 |
                          uint64_t(p[3]) << 8 | uint64_t(p[4]);
    return uint32_t(word >> (40 - (at & 7) - count)) & ((1u << count) - 1);
}

// Writes the count bits (at most 8) from bit at.
void PutBitsAt(uint8_t *bytes, int at, int count, uint32_t value)
{
    uint8_t *p = bytes + (at >> 3);
    const int shift = 16 - (at & 7) - count;
    const uint32_t mask = ((1u << count) - 1) << shift;
    const uint32_t word = ((uint32_t(p[0]) << 8 | p[1]) & ~mask) | ((value << shift) & mask);
    p[0] = uint8_t(word >> 8);
    p[1] = uint8_t(word);
}

} // namespace

int StepsOf(double db)
{
    return int(std::lround(db / StepDb));
}

int FadeSteps(double x)
{
    if (x <= 0) {
        return Silent;
    }
    return x >= 1 ? 0 : std::min(Silent, int(std::lround(-4 * std::log2(x))));
}

uint16_t FrameCrc(const uint8_t *frame, size_t sideInfoBytes)
{
    uint16_t crc = 0xFFFF;
    const auto add = [&](uint8_t byte) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool high = ((crc >> 15) ^ (byte >> bit)) & 1;
            crc = uint16_t(crc << 1);
            crc = high ? uint16_t(crc ^ 0x8005) : crc;
        }
    };
    add(frame[2]);
    add(frame[3]);
    for (size_t i = 0; i < sideInfoBytes; ++i) {
        add(frame[6 + i]);
    }
    return crc;
}

TLevelEdit::TLevelEdit(const TMPEGAFHdr &stream, const TLevel &level, int64_t lead, int64_t played)
    : level_(level), lead_(lead), played_(played), mpeg1_(stream.MPEGVersion == mvMpeg1)
{
    level_.FadeInMs = level.FadeInMs * stream.SampleRate / 1000; // in samples from here on
    level_.FadeOutMs = level.FadeOutMs * stream.SampleRate / 1000;
}

size_t TLevelEdit::Frames(uint8_t *bytes, size_t n)
{
    size_t at = 0;
    while (at + 4 <= n) {
        const TFrameInfo info = DecodeFrameInfo(bytes + at);
        if (!info.Valid || info.Layer != lyLayer3 || info.FrameLength <= 0) {
            return n; // no frame of ours: passed over as it is
        }
        if (at + size_t(info.FrameLength) > n) {
            break;
        }
        EditFrame(bytes + at, info);
        at += size_t(info.FrameLength);
    }
    return at;
}

int TLevelEdit::StepsAt(int64_t granule) const
{
    // The middle of the granule, as a sample the decoder plays (negative: one it drops).
    const double middle = double(granule * GranuleSamples + GranuleSamples / 2 - lead_);
    int fade = 0;
    if (level_.FadeInMs > 0 && middle < double(level_.FadeInMs)) {
        fade = FadeSteps(middle / double(level_.FadeInMs));
    }
    if (level_.FadeOutMs > 0 && middle > double(played_ - level_.FadeOutMs)) {
        fade = std::max(fade, FadeSteps((double(played_) - middle) / double(level_.FadeOutMs)));
    }
    return fade;
}

void TLevelEdit::EditFrame(uint8_t *frame, const TFrameInfo &info)
{
    const int channels = info.Mono ? 1 : 2;
    const int granules = mpeg1_ ? 2 : 1;
    uint8_t *side = frame + 4 + (info.Protected ? 2 : 0);
    // Where the first granule's first channel starts, and how long each is, in bits.
    const int first = mpeg1_ ? 9 + (info.Mono ? 5 : 3) + 4 * channels : 8 + (info.Mono ? 1 : 2);
    const int each = mpeg1_ ? 59 : 63;
    for (int gr = 0; gr < granules; ++gr, ++granule_) {
        const int fade = StepsAt(granule_);
        bool clamped = false;
        for (int ch = 0; ch < channels; ++ch) {
            const int at = first + (gr * channels + ch) * each;
            if (BitsAt(side, at, 12) == 0) {
                continue; // part2_3_length 0: no samples, silent whatever its gain
            }
            const int gain = int(BitsAt(side, at + 21, 8)) + level_.GainSteps;
            clamped = clamped || gain < 0 || gain > 255;
            PutBitsAt(side, at + 21, 8, uint32_t(std::max(0, std::clamp(gain, 0, 255) - fade)));
        }
        clamped_ += clamped ? 1 : 0;
    }
    if (info.Protected) {
        const uint16_t crc = FrameCrc(frame, size_t(SideInfoBytes(info.MPEGVersion, info.Mono)));
        frame[4] = uint8_t(crc >> 8);
        frame[5] = uint8_t(crc);
    }
}

} // namespace mp3core
