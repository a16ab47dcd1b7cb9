#pragma once
// The 28-bit sizes of ID3v2 (seven bits a byte) and the big-endian sizes of ID3v2.3 frames.

#include <cstddef>
#include <cstdint>

namespace mp3core {

inline int64_t SyncSafe(const uint8_t *b)
{
    return (int64_t(b[0]) << 21) | (int64_t(b[1]) << 14) | (int64_t(b[2]) << 7) | int64_t(b[3]);
}

inline void PutSyncSafe(uint8_t *b, size_t value)
{
    for (int i = 0; i < 4; ++i) {
        b[i] = uint8_t((value >> (7 * (3 - i))) & 0x7F);
    }
}

inline int64_t BigEndian(const uint8_t *b, int n)
{
    int64_t v = 0;
    for (int i = 0; i < n; ++i) {
        v = (v << 8) | b[i];
    }
    return v;
}

} // namespace mp3core
