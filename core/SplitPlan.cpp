#include "SplitPlan.h"

#include "Arith.h"

namespace {

// No planned time may leave the millisecond range that the time texts carry.
constexpr int64_t MaxStepMs = INT32_MAX;

std::optional<int64_t> Checked(int64_t step)
{
    if (step < 1 || step > MaxStepMs) {
        return std::nullopt;
    }
    return step;
}

} // namespace

std::optional<int64_t> TimeStepMs(int64_t seconds)
{
    if (seconds < 1 || seconds > MaxStepMs / 1000) {
        return std::nullopt;
    }
    return seconds * 1000;
}

std::optional<int64_t> SizeStepMs(int64_t kilobytes, int32_t bitrate)
{
    if (bitrate <= 0 || kilobytes < 1 || kilobytes > (int64_t(1) << 40)) {
        return std::nullopt;
    }
    return Checked(RoundHalfEven(kilobytes * 8192, bitrate)); // bits / kbps = ms
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
