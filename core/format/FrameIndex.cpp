#include "format/FrameIndex.h"

#include <algorithm>

namespace mp3core {

void TFrameIndex::Reset(int64_t pos)
{
    pos_.assign(1, pos);
    step_ = 1;
    wanted_ = 1;
}

void TFrameIndex::Add(int64_t pos)
{
    if (pos_.size() == Capacity) {
        // Keeps frames 0, 2 x step, 4 x step, ...: those of the doubled step.
        for (size_t i = 0; 2 * i < pos_.size(); ++i) {
            pos_[i] = pos_[2 * i];
        }
        pos_.resize((pos_.size() + 1) / 2);
        step_ *= 2; // the frame wanted, Capacity x the old step, is an entry of the new one
    }
    pos_.push_back(pos);
    wanted_ = int64_t(pos_.size()) * step_;
}

TFrameIndex::TEntry TFrameIndex::AtOrBefore(int64_t number) const
{
    if (pos_.empty()) {
        return {};
    }
    const int64_t i = std::clamp<int64_t>(number / step_, 0, int64_t(pos_.size()) - 1);
    return {i * step_, pos_[size_t(i)]};
}

} // namespace mp3core
