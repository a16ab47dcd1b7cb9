#include "plan/SplitPlan.h"

namespace mp3core {

namespace {

// No planned time may leave the millisecond range that the time texts carry.
constexpr int64_t MaxStepMs = INT32_MAX;

} // namespace

std::optional<int64_t> TimeStepMs(int64_t seconds)
{
    if (seconds < 1 || seconds > MaxStepMs / 1000) {
        return std::nullopt;
    }
    return seconds * 1000;
}

std::optional<int64_t> SizeStepBytes(int64_t kilobytes)
{
    if (kilobytes < 1 || kilobytes > (int64_t(1) << 40)) {
        return std::nullopt;
    }
    return kilobytes * 1024;
}

std::vector<int64_t> PlanCutPoints(int64_t from, int64_t to, int64_t step)
{
    std::vector<int64_t> points;
    if (step < 1) {
        return points;
    }
    for (int64_t t = from + step; t < to; t += step) {
        points.push_back(t);
    }
    return points;
}

} // namespace mp3core
