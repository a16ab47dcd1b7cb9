#include "io/Crc16.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define MP3CUT_CLMUL 1
#include <immintrin.h>
#endif

namespace mp3core {

namespace {

constexpr uint32_t Poly = 0x18005; // x^16 + x^15 + x^2 + 1

// Tables for eight bytes at a time: Tables[k][b] is the CRC of byte b followed by k zero bytes.
using TTables = std::array<std::array<uint16_t, 256>, 8>;

constexpr TTables MakeTables()
{
    TTables t{};
    for (uint32_t b = 0; b < 256; ++b) {
        uint32_t c = b;
        for (int i = 0; i < 8; ++i) {
            c = (c >> 1) ^ ((c & 1) != 0 ? 0xA001 : 0);
        }
        t[0][b] = uint16_t(c);
    }
    for (size_t k = 1; k < 8; ++k) {
        for (size_t b = 0; b < 256; ++b) {
            t[k][b] = uint16_t((t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFF]);
        }
    }
    return t;
}

constexpr TTables Tables = MakeTables();

uint16_t Sliced(uint16_t crc, const uint8_t *p, size_t n)
{
    while (n >= 8) {
        const uint32_t lo = crc ^ (uint32_t(p[0]) | (uint32_t(p[1]) << 8));
        crc = Tables[7][lo & 0xFF] ^ Tables[6][lo >> 8] ^ Tables[5][p[2]] ^ Tables[4][p[3]] ^
              Tables[3][p[4]] ^ Tables[2][p[5]] ^ Tables[1][p[6]] ^ Tables[0][p[7]];
        p += 8;
        n -= 8;
    }
    return Crc16Bytewise(crc, p, n);
}

#ifdef MP3CUT_CLMUL
// x^n mod P, as 64 bits with the coefficient of x^k at bit 63 - k: the reflected order in which
// the CRC reads the bits of its bytes.
constexpr uint64_t ReflectedPower(int n)
{
    uint32_t r = 1;
    for (int i = 0; i < n; ++i) {
        r <<= 1;
        if ((r & 0x10000) != 0) {
            r ^= Poly;
        }
    }
    uint64_t reflected = 0;
    for (int k = 0; k < 16; ++k) {
        if ((r >> k) & 1) {
            reflected |= uint64_t(1) << (63 - k);
        }
    }
    return reflected;
}

// Folding. Sixteen bytes loaded little-endian hold a polynomial A of degree < 128 with its first
// bit (the coefficient of x^127) at bit 0. Moved d bits further on, A x^d = Ahi x^(d+64) +
// Alo x^d is, modulo P, Ahi (x^(d+63) mod P) x + Alo (x^(d-1) mod P) x, and a carry-less product
// of two reflected factors comes out reflected and already multiplied by x. The sum has fewer
// than 128 bits: XORed into the sixteen bytes d bits on, it leaves the CRC as it was.
__attribute__((target("pclmul,sse2"))) inline __m128i Fold(__m128i a, __m128i constants)
{
    return _mm_xor_si128(_mm_clmulepi64_si128(a, constants, 0x00),
                         _mm_clmulepi64_si128(a, constants, 0x11));
}

__attribute__((target("pclmul,sse2"))) uint16_t Folded(uint16_t crc, const uint8_t *p, size_t n)
{
    // Four lanes of sixteen bytes hide the multiplier's latency: each folds 512 bits on.
    const __m128i by512 =
        _mm_set_epi64x(int64_t(ReflectedPower(511)), int64_t(ReflectedPower(575)));
    const __m128i by128 =
        _mm_set_epi64x(int64_t(ReflectedPower(127)), int64_t(ReflectedPower(191)));
    auto load = [](const uint8_t *at) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
    };
    __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(crc)); // the running CRC goes first
    __m128i x1 = load(p + 16);
    __m128i x2 = load(p + 32);
    __m128i x3 = load(p + 48);
    p += 64;
    n -= 64;
    while (n >= 64) {
        x0 = _mm_xor_si128(Fold(x0, by512), load(p));
        x1 = _mm_xor_si128(Fold(x1, by512), load(p + 16));
        x2 = _mm_xor_si128(Fold(x2, by512), load(p + 32));
        x3 = _mm_xor_si128(Fold(x3, by512), load(p + 48));
        p += 64;
        n -= 64;
    }
    x1 = _mm_xor_si128(Fold(x0, by128), x1);
    x2 = _mm_xor_si128(Fold(x1, by128), x2);
    x3 = _mm_xor_si128(Fold(x2, by128), x3);
    // What is left is sixteen bytes and a tail shorter than 64: the tables finish.
    alignas(16) uint8_t last[16];
    _mm_store_si128(reinterpret_cast<__m128i *>(last), x3);
    return Sliced(Sliced(0, last, 16), p, n);
}

// The same folding with a 64-byte register in each lane: each of its four 16-byte parts folds
// as above, four lanes fold 2048 bits on, and the parts of the last register go to the tables.
__attribute__((target("avx512f,vpclmulqdq"))) inline __m512i Fold(__m512i a, __m512i constants)
{
    return _mm512_xor_si512(_mm512_clmulepi64_epi128(a, constants, 0x00),
                            _mm512_clmulepi64_epi128(a, constants, 0x11));
}

// The constants that fold a 16-byte part d bits on, in each of the four.
__attribute__((target("avx512f"))) inline __m512i WideConstants(int d)
{
    const auto high = int64_t(ReflectedPower(d - 1));
    const auto low = int64_t(ReflectedPower(d + 63));
    return _mm512_set_epi64(high, low, high, low, high, low, high, low);
}

__attribute__((target("avx512f,vpclmulqdq"))) uint16_t WideFolded(uint16_t crc, const uint8_t *p,
                                                                  size_t n)
{
    const __m512i by2048 = WideConstants(2048);
    const __m512i by512 = WideConstants(512);
    __m512i x0 =
        _mm512_xor_si512(_mm512_loadu_si512(p), _mm512_zextsi128_si512(_mm_cvtsi32_si128(crc)));
    __m512i x1 = _mm512_loadu_si512(p + 64);
    __m512i x2 = _mm512_loadu_si512(p + 128);
    __m512i x3 = _mm512_loadu_si512(p + 192);
    p += 256;
    n -= 256;
    while (n >= 256) {
        x0 = _mm512_xor_si512(Fold(x0, by2048), _mm512_loadu_si512(p));
        x1 = _mm512_xor_si512(Fold(x1, by2048), _mm512_loadu_si512(p + 64));
        x2 = _mm512_xor_si512(Fold(x2, by2048), _mm512_loadu_si512(p + 128));
        x3 = _mm512_xor_si512(Fold(x3, by2048), _mm512_loadu_si512(p + 192));
        p += 256;
        n -= 256;
    }
    x1 = _mm512_xor_si512(Fold(x0, by512), x1);
    x2 = _mm512_xor_si512(Fold(x1, by512), x2);
    x3 = _mm512_xor_si512(Fold(x2, by512), x3);
    alignas(64) uint8_t last[64];
    _mm512_store_si512(last, x3);
    return Sliced(Sliced(0, last, 64), p, n);
}

const bool HaveClmul = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
const bool HaveWideClmul =
    __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("vpclmulqdq");
#endif

} // namespace

uint16_t Crc16Bytewise(uint16_t crc, const uint8_t *data, size_t n)
{
    while (n-- > 0) {
        crc = uint16_t((crc >> 8) ^ Tables[0][(crc ^ *data++) & 0xFF]);
    }
    return crc;
}

uint16_t Crc16(uint16_t crc, const uint8_t *data, size_t n)
{
#ifdef MP3CUT_CLMUL
    if (HaveWideClmul && n >= 256) {
        return WideFolded(crc, data, n);
    }
    if (HaveClmul && n >= 64) {
        return Folded(crc, data, n);
    }
#endif
    return Sliced(crc, data, n);
}

} // namespace mp3core
