#pragma once
// What an output holds, decided in one place for every cut and every part. A Layer III output
// is an information frame (Xing for VBR, Info for CBR, with a LAME tag) and the source's frames
// that a gapless decoder needs to play exactly the samples asked for: the frames whose bit
// reservoir and overlap the first wanted frame needs go in front, and the tag's delay and
// padding drop what lies outside the range. Layer I and II outputs are the whole frames of the
// range, as whole-frame outputs (--frames) of Layer III are, with an information frame.

#include "format/Source.h"
#include "output/Level.h"
#include "tags/OutputTags.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace mp3core {

struct TOutputPlan
{
    TByteRange Bytes;    // the source's frames copied; empty: no frame lies in the range
    int64_t Frames = 0;  // how many
    int32_t Delay = 0;   // samples a gapless decoder drops at the start
    int32_t Padding = 0; // and at the end
    bool InfoFrame = false;
    // Silent frames before the source's frames, the last of which ends its audio-data area
    // with the bit reservoir bytes the first of them reaches back for; empty when none is due.
    std::vector<uint8_t> Filler;
    std::vector<int64_t> Toc; // where the frames at 0 %, 1 %, ... 99 % lie, from Bytes.Start
    // Junk among the source's frames inside Bytes, in order: not copied.
    std::vector<TByteRange> Junk;
    size_t Stream = 0; // the input's stream the frames are of (see TSource)
    // An exact output of a walked stream planned to be walked as it is copied (PlanOutputs'
    // walkLater): the samples it plays, r to e of the decoder's output, and its frames First
    // to End. Bytes, Toc and Filler come as it is written (WriteOutput).
    struct TLater
    {
        int64_t R = 0;
        int64_t E = 0;
        int64_t First = 0;
        int64_t End = 0;
    };
    std::optional<TLater> Later;
};

// The bytes of the source's frames a plan copies (Bytes less its junk), and the pieces they lie in.
int64_t PlanBytes(const TOutputPlan &plan);
std::vector<TByteRange> PlanPieces(const TOutputPlan &plan);

struct TOutputRange
{
    int64_t StartMs = 0;
    std::optional<int64_t> EndMs; // none: to the end of the audio
};

// The plans of ranges given in rising order, found with one or two walks over a VBR file. A
// time is a sample of the source as a gapless decoder plays it: t ms is sample
// round(t x rate / 1000). In a file of several streams, a range lies in the stream where it
// starts and ends where the next begins at the latest. Exact: those samples; otherwise the whole
// frames from the first at or after the start to the first at or after the end.
//
// walkLater: the exact outputs of a walked stream (VBR) are planned only as far as their
// samples tell (Later), without a walk; each is walked as it is written, so that a split reads
// the input once.
std::vector<TOutputPlan> PlanOutputs(TSource &input, const std::vector<TOutputRange> &ranges,
                                     bool exact, bool walkLater = false);
// An output of PlanOutputs' walkLater as far as the frames before its first wanted one tell:
// its silent frames in front, its first frame (Bytes.Start; Bytes empty when the audio ended
// before it), its length and its delay and padding.
TOutputPlan PlanHead(TSource &input, const TOutputPlan &later);
// The numbers of the frames that hold each hundredth of the samples such an output plays, for
// its seek table.
std::vector<int64_t> TocFrames(const TOutputPlan::TLater &later, int32_t samplesPerFrame);

// Frames of the stream's format with no audio in them (they decode to silence), with the given
// bytes at the end of their audio-data areas, where the next frame's bit reservoir reads them.
std::vector<uint8_t> SilentFrames(const TMPEGAFHdr &hdr, int64_t count,
                                  const std::vector<uint8_t> &reservoir);

// The information frame of an output, in the stream's own format.
std::vector<uint8_t> InfoFrameBytes(const TMPEGAFHdr &hdr, const TOutputPlan &plan,
                                    uint16_t musicCrc);

// Writes the output: its ID3v2 tag, the information frame, the frames, its ID3v1 tag; false
// when progress stopped it. Raises the stream errors. In order: to a stream that cannot go back
// (a pipe), with the frames read once more beforehand for the information frame's CRC. level:
// the gain and fades of the Layer III frames, with the granules clamped told in clamped.
bool WriteOutput(TSource &input, TFileStream &out, const TOutputPlan &plan,
                 const TOutputTags &tags = {}, const TMPEGAFHdr::TCopyProgress &progress = {},
                 bool inOrder = false, const TLevel &level = {}, int64_t *clamped = nullptr);

} // namespace mp3core
