#pragma once
// Cut points at equal steps of playing time or of size.

#include <cstdint>
#include <optional>
#include <vector>

// A step of whole seconds in ms; nothing when it is not at least 1 ms or overflows.
std::optional<int64_t> TimeStepMs(int64_t seconds);

// The time that bitrate kbps needs for kilobytes (of 1024 bytes), rounded halves to even:
// the byte copy maps that time back to that many bytes. Nothing when the bitrate is unknown,
// or the step rounds below 1 ms or overflows.
std::optional<int64_t> SizeStepMs(int64_t kilobytes, int32_t bitrate);

// The cut points from + step, from + 2 step, ... that lie strictly before to.
std::vector<int64_t> PlanCutPoints(int64_t from, int64_t to, int64_t step);
