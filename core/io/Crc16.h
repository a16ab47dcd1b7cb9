#pragma once
// CRC-16 as the LAME tag stores it: polynomial 0x8005 in reflected form (0xA001), initial value
// 0, no final inversion. Chained calls carry the running value: Crc16(Crc16(0, a), b) is the
// CRC of a followed by b.

#include <cstddef>
#include <cstdint>

namespace mp3core {

uint16_t Crc16(uint16_t crc, const uint8_t *data, size_t n);

// The byte-at-a-time form, kept for the tests to check the fast one against.
uint16_t Crc16Bytewise(uint16_t crc, const uint8_t *data, size_t n);

} // namespace mp3core
