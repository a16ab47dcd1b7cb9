#include "plan/SegmentList.h"

#include "plan/SplitPlan.h"

#include <algorithm>

namespace mp3core {

void TSegmentList::Reset(int64_t lengthMs, std::optional<int64_t> lastCutMs)
{
    rows_.assign(1, TSegment{0, lengthMs, true, std::nullopt});
    lastCutMs_ = lastCutMs.value_or(lengthMs);
}

std::optional<size_t> TSegmentList::RowAt(int64_t t) const
{
    const auto after = std::upper_bound(rows_.begin(), rows_.end(), t,
                                        [](int64_t v, const TSegment &s) { return v < s.StartMs; });
    if (after == rows_.begin()) {
        return std::nullopt;
    }
    return size_t(after - rows_.begin()) - 1;
}

TSegmentList::TAddResult TSegmentList::AddCut(int64_t t)
{
    const std::optional<size_t> i = RowAt(t);
    if (!i) {
        return {TAdd::Outside};
    }
    TSegment &row = rows_[*i];
    if (row.StartMs == t || row.EndMs == t) {
        return {TAdd::Exists, *i};
    }
    if (t > row.EndMs || t >= lastCutMs_) {
        return {TAdd::Outside};
    }
    TSegment second = row;
    second.StartMs = t;
    row.EndMs = t;
    rows_.insert(rows_.begin() + std::ptrdiff_t(*i + 1), second);
    return {TAdd::Added, *i + 1};
}

bool TSegmentList::MoveCut(size_t row, int64_t t)
{
    if (row == 0 || row >= rows_.size() || t <= rows_[row - 1].StartMs || t >= rows_[row].EndMs ||
        t >= lastCutMs_) {
        return false;
    }
    rows_[row - 1].EndMs = t;
    rows_[row].StartMs = t;
    return true;
}

size_t TSegmentList::Plan(int64_t from, int64_t to, int64_t step)
{
    return PlanTimes(PlanCutPoints(from, to, step));
}

size_t TSegmentList::PlanTimes(const std::vector<int64_t> &times)
{
    size_t existing = 0;
    for (const int64_t t : times) {
        existing += AddCut(t).What == TAdd::Exists ? 1 : 0;
    }
    return existing;
}

void TSegmentList::LeaveOut(int64_t startMs, int64_t endMs)
{
    AddCut(startMs);
    AddCut(endMs);
    for (TSegment &row : rows_) {
        if (row.StartMs >= startMs && row.EndMs <= endMs) {
            row.Ticked = false;
        }
    }
}

size_t TSegmentList::PlanTracks(const std::vector<TCueTrack> &tracks)
{
    RemoveAll();
    size_t outside = 0;
    for (const TCueTrack &t : tracks) {
        outside += t.StartMs > 0 && AddCut(t.StartMs).What != TAdd::Added ? 1 : 0;
    }
    for (TSegment &row : rows_) {
        const auto track = std::find_if(tracks.begin(), tracks.end(), [&](const TCueTrack &t) {
            return t.StartMs == row.StartMs;
        });
        row.Ticked = track != tracks.end();
        row.Tag = row.Ticked ? std::optional<TPartTag>(track->Tag) : std::nullopt;
    }
    return outside;
}

std::optional<size_t> TSegmentList::Remove(size_t row)
{
    if (rows_.size() < 2 || row >= rows_.size()) {
        return std::nullopt;
    }
    if (row > 0) {
        rows_[row - 1].EndMs = rows_[row].EndMs;
    } else {
        rows_[1].StartMs = rows_[0].StartMs;
    }
    rows_.erase(rows_.begin() + std::ptrdiff_t(row));
    return row > 0 ? row - 1 : 0;
}

void TSegmentList::RemoveAll()
{
    if (rows_.size() > 1) {
        rows_.front().EndMs = rows_.back().EndMs;
        rows_.resize(1);
    }
}

std::vector<TPartSegment> TSegmentList::Parts() const
{
    std::vector<TPartSegment> parts;
    for (size_t i = 0; i < rows_.size(); ++i) {
        const TSegment &row = rows_[i];
        if (!row.Ticked) {
            continue;
        }
        TPartSegment segment;
        segment.StartMs = row.StartMs;
        if (i + 1 < rows_.size()) {
            segment.EndMs = row.EndMs;
        }
        segment.Tag = row.Tag;
        parts.push_back(segment);
    }
    return parts;
}

} // namespace mp3core
