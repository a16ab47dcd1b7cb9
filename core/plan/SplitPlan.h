#pragma once
// Cut points at equal steps of playing time or of size.

#include <cstdint>
#include <optional>
#include <vector>

namespace mp3core {

// A step of whole seconds in ms; nothing when it is not at least 1 ms or overflows.
std::optional<int64_t> TimeStepMs(int64_t seconds);

// A size step of kilobytes (of 1024 bytes) in bytes; nothing when it is not at least 1 KB or
// beyond any file.
std::optional<int64_t> SizeStepBytes(int64_t kilobytes);

// The cut points from + step, from + 2 step, ... that lie strictly before to.
std::vector<int64_t> PlanCutPoints(int64_t from, int64_t to, int64_t step);

} // namespace mp3core
