#pragma once
// Where the frames of a walked stream lie: the offset of every Step-th frame from frame 0 on,
// noted by the walks as they pass. Its size is bounded whatever the stream's length: when it is
// full, every other entry goes and the step doubles, as libmpg123 thins its own index. A query
// for frame n starts its walk at the entry at or before n, at most one step away.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mp3core {

class TFrameIndex
{
public:
    static constexpr size_t Capacity = 4096;

    struct TEntry
    {
        int64_t Number = 0; // the frame's number, 0 for the stream's first audio frame
        int64_t Pos = 0;    // its offset in the file
    };

    // Starts over with frame 0 at pos.
    void Reset(int64_t pos);
    // The number of the next frame the index keeps; a walk notes that frame's offset.
    int64_t Wanted() const { return wanted_; }
    // Frame Wanted() starts at pos.
    void Add(int64_t pos);
    // The last entry whose number is at or before number.
    TEntry AtOrBefore(int64_t number) const;
    int64_t Step() const { return step_; }

    // Frames the walks that noted into the index stepped over on their way to the frames
    // asked for: about the stream's frames when it was walked once.
    int64_t Stepped = 0;

private:
    std::vector<int64_t> pos_; // pos_[i] is where frame i x step_ starts
    int64_t step_ = 1;
    int64_t wanted_ = 0;
};

} // namespace mp3core
