#pragma once
// The level of an output changed without decoding it: the global_gain of each granule of
// Layer III side information (the 8-bit scale its samples are read with) moved by whole steps.
// A step is a factor of 2^(1/4), 1.505 dB. Every channel of a granule moves by the same step,
// so that mid/side and intensity stereo stay as they were.

#include "format/MPEGAFHdr.h"

#include <cstddef>
#include <cstdint>

namespace mp3core {

inline constexpr double StepDb = 1.50515; // 20 log10(2^(1/4))

// What a request asks of an output's level.
struct TLevel
{
    int GainSteps = 0;
    int64_t FadeInMs = 0;  // from the output's first sample, rising from silence
    int64_t FadeOutMs = 0; // to its last, falling to silence

    bool Any() const { return GainSteps != 0 || FadeInMs > 0 || FadeOutMs > 0; }
};

// The nearest whole step to a gain in dB.
int StepsOf(double db);

// The steps a fade takes away at fraction x of its way from its silent end (0) to the full
// level (1): those of a straight ramp of the amplitude, -4 log2(x) rounded; from x = 0 on, as
// many as the stream has (down to global_gain 0). Falls as x rises.
int FadeSteps(double x);

// The CRC-16 of a protected Layer III frame: over the header's last two bytes and the side
// information (polynomial 0x8005, from 0xFFFF, as the frame stores it behind its header).
uint16_t FrameCrc(const uint8_t *frame, size_t sideInfoBytes);

// Edits the frames of one output as they pass on their way to it, in order.
class TLevelEdit
{
public:
    // lead: the samples a gapless decoder drops before the first it plays (the output's
    // encoder delay and the decoder's); played: how many it plays.
    TLevelEdit(const TMPEGAFHdr &stream, const TLevel &level, int64_t lead, int64_t played);

    // Edits the whole frames at the start of bytes[0, n), which follow those given before;
    // returns their bytes (the rest, a frame that n cuts off, is for the next call). Bytes that
    // hold no frame of the stream's are passed over whole.
    size_t Frames(uint8_t *bytes, size_t n);
    // Granules whose gain could not move by the whole step and stopped at 0 or 255.
    int64_t Clamped() const { return clamped_; }

private:
    void EditFrame(uint8_t *frame, const TFrameInfo &info);
    int StepsAt(int64_t granule) const;

    TLevel level_;
    int64_t lead_;
    int64_t played_;
    bool mpeg1_;
    int64_t granule_ = 0; // the next granule's number, from the output's first frame
    int64_t clamped_ = 0;
};

} // namespace mp3core
