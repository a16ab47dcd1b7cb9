#pragma once
// The segments of a split as the user builds them: rows that tile the file in order, each with
// a tick (written or not) and, once given, tag texts of its own. The Split page shows it; a
// split job writes its parts.

#include "plan/CueSheet.h"
#include "tags/OutputTags.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace mp3core {

// One part of a split: a stretch of the file and, once given, texts of its own.
struct TPartSegment
{
    int64_t StartMs = 0;
    std::optional<int64_t> EndMs; // none: to the end of the audio
    std::optional<TPartTag> Tag;  // the segment's own texts; otherwise the job's
};

struct TSegment
{
    int64_t StartMs = 0;
    int64_t EndMs = 0;
    bool Ticked = true;
    std::optional<TPartTag> Tag;
};

class TSegmentList
{
public:
    // One ticked row over a file of length ms. Cut points from lastCutMs on (see
    // TMPEGAFHdr::LastCutMs) lie outside the audio.
    void Reset(int64_t lengthMs, std::optional<int64_t> lastCutMs = std::nullopt);
    void Clear() { rows_.clear(); }

    size_t Count() const { return rows_.size(); }
    const TSegment &operator[](size_t row) const { return rows_[row]; }
    const std::vector<TSegment> &Rows() const { return rows_; }

    enum class TAdd
    {
        Added,   // Row: the new row, the second half of the row that held the time
        Exists,  // the time is a row's start or end already
        Outside, // the time lies outside every row, or too near the end of the audio
    };
    struct TAddResult
    {
        TAdd What;
        size_t Row = 0;
    };
    // Splits the row that holds t in two; the new row takes the old one's tick and tag.
    TAddResult AddCut(int64_t t);
    // Adds the cut points from + step, from + 2 step, ... before to; how many existed already.
    size_t Plan(int64_t from, int64_t to, int64_t step);
    // Adds the given cut points; how many existed already.
    size_t PlanTimes(const std::vector<int64_t> &times);
    // Replaces the rows with one for each track, from its start to the next one's, with the
    // track's texts; a stretch before the first track stays unticked. Tracks that start outside
    // the audio are left out: returns how many.
    size_t PlanTracks(const std::vector<TCueTrack> &tracks);
    // Cuts at both ends of the stretch and unticks the rows inside it: no part holds it.
    void LeaveOut(int64_t startMs, int64_t endMs);

    // Moves the cut point where row starts (row 1 on) to t, between the start of the row before
    // and the end of this one, and before the end of the audio; false when t lies outside.
    bool MoveCut(size_t row, int64_t t);
    // Removes a row, its neighbour (the one before, or for the first row the one after) taking
    // its time; returns the neighbour's new index. The last remaining row is never removed.
    std::optional<size_t> Remove(size_t row);
    // Merges every row into one from the first start to the last end, which keeps the first
    // row's tick and tag.
    void RemoveAll();

    // The rows as a copy of Rows() had them (an undo).
    void Restore(std::vector<TSegment> rows) { rows_ = std::move(rows); }

    void SetTicked(size_t row, bool ticked) { rows_[row].Ticked = ticked; }
    void SetTag(size_t row, const std::optional<TPartTag> &tag) { rows_[row].Tag = tag; }

    // The parts of the ticked rows; the last row runs to the end of the audio, wherever a
    // player put the file's end.
    std::vector<TPartSegment> Parts() const;

private:
    // The last row that starts at or before t, or none.
    std::optional<size_t> RowAt(int64_t t) const;

    std::vector<TSegment> rows_;
    int64_t lastCutMs_ = 0;
};

} // namespace mp3core
