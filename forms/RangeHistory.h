#pragma once
// Undo and redo of the Cut page's marked range: each change that has settled (one typed
// field, one mark, one whole drag) is a step.

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

class TRangeHistory
{
public:
    using TRange = std::pair<int64_t, int64_t>; // start and end, ms

    // Another file: nothing to undo, its range as it stands.
    void Reset(TRange now)
    {
        undo_.clear();
        redo_.clear();
        now_ = now;
    }
    // The range now stands at now: a step when it moved.
    void Settled(TRange now)
    {
        if (now == now_) {
            return;
        }
        undo_.push_back(now_);
        if (undo_.size() > 100) {
            undo_.erase(undo_.begin());
        }
        redo_.clear();
        now_ = now;
    }
    // The range to show, when there is a step to take.
    std::optional<TRange> Undo() { return Step(undo_, redo_); }
    std::optional<TRange> Redo() { return Step(redo_, undo_); }

private:
    std::optional<TRange> Step(std::vector<TRange> &from, std::vector<TRange> &to)
    {
        if (from.empty()) {
            return std::nullopt;
        }
        to.push_back(now_);
        now_ = from.back();
        from.pop_back();
        return now_;
    }

    TRange now_{0, 0};
    std::vector<TRange> undo_;
    std::vector<TRange> redo_;
};
