#pragma once

#include <cstdint>

namespace mp3core {

// num / den rounded to the nearest integer, halves to the even neighbour; den > 0.
constexpr int64_t RoundHalfEven(int64_t num, int64_t den)
{
    int64_t q = num / den;
    int64_t r = num % den;
    if (r < 0) { // floor division, so that the remainder is in [0, den)
        q -= 1;
        r += den;
    }
    if (2 * r > den || (2 * r == den && (q & 1) != 0)) {
        q += 1;
    }
    return q;
}

} // namespace mp3core
