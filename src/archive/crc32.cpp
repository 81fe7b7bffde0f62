// CRC-32 by eight byte tables, and on x86-64 processors with carry-less multiplication by
// folding 64 bytes at a time, which keeps the CRC a small share of a member's decoding time.
#include "archive/crc32.h"

#include <array>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VANTLE_CRC_FOLDING 1
#endif

namespace vantle {
namespace {

// Eight tables so that eight bytes advance the register with independent look-ups; table 0 is
// the classic byte-at-a-time table.
constexpr std::array<std::array<std::uint32_t, 256>, 8> makeTables() {
    std::array<std::array<std::uint32_t, 256>, 8> tables{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        tables[0][n] = c;
    }
    for (std::size_t t = 1; t < 8; ++t)
        for (std::size_t n = 0; n < 256; ++n)
            tables[t][n] = (tables[t - 1][n] >> 8) ^ tables[0][tables[t - 1][n] & 0xFF];
    return tables;
}

constexpr auto kTables = makeTables();

std::uint32_t byTables(std::uint32_t crc, const std::uint8_t* data, std::size_t n) {
    const auto& t = kTables;
    for (; n >= 8; n -= 8, data += 8) {
        std::uint64_t word = 0;
        for (int i = 7; i >= 0; --i)
            word = word << 8 | data[i];
        word ^= crc;
        crc = t[7][word & 0xFF] ^ t[6][(word >> 8) & 0xFF] ^ t[5][(word >> 16) & 0xFF] ^
              t[4][(word >> 24) & 0xFF] ^ t[3][(word >> 32) & 0xFF] ^ t[2][(word >> 40) & 0xFF] ^
              t[1][(word >> 48) & 0xFF] ^ t[0][word >> 56];
    }
    for (; n > 0; --n, ++data)
        crc = t[0][(crc ^ *data) & 0xFF] ^ (crc >> 8);
    return crc;
}

#ifdef VANTLE_CRC_FOLDING

// Folding constants of the reflected polynomial: x^(4*128+32), x^(4*128-32) mod P for four
// lanes, the same for one lane, x^64 mod P, and P with its Barrett quotient.
alignas(16) constexpr std::uint64_t kFold4[2] = {0x0154442BD4, 0x01C6E41596};
alignas(16) constexpr std::uint64_t kFold1[2] = {0x01751997D0, 0x00CCAA009E};
alignas(16) constexpr std::uint64_t kFold64[2] = {0x0163CD6124, 0};
alignas(16) constexpr std::uint64_t kBarrett[2] = {0x01DB710641, 0x01F7011641};

__attribute__((target("pclmul,sse4.1"))) __m128i fold(__m128i x, __m128i k, __m128i next) {
    const __m128i low = _mm_clmulepi64_si128(x, k, 0x00);
    const __m128i high = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

// n is a multiple of 16, at least 64.
__attribute__((target("pclmul,sse4.1"))) std::uint32_t
byFolding(std::uint32_t crc, const std::uint8_t* data, std::size_t n) {
    auto load = [](const std::uint8_t* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    };
    __m128i x1 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = load(data + 16);
    __m128i x3 = load(data + 32);
    __m128i x4 = load(data + 48);
    data += 64;
    n -= 64;
    const __m128i k4 = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold4));
    for (; n >= 64; n -= 64, data += 64) {
        x1 = fold(x1, k4, load(data));
        x2 = fold(x2, k4, load(data + 16));
        x3 = fold(x3, k4, load(data + 32));
        x4 = fold(x4, k4, load(data + 48));
    }
    const __m128i k1 = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold1));
    x1 = fold(x1, k1, x2);
    x1 = fold(x1, k1, x3);
    x1 = fold(x1, k1, x4);
    for (; n >= 16; n -= 16, data += 16)
        x1 = fold(x1, k1, load(data));

    // 128 bits to 64, then Barrett reduction to 32.
    const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);
    __m128i x = _mm_xor_si128(_mm_clmulepi64_si128(x1, k1, 0x10), _mm_srli_si128(x1, 8));
    const __m128i k64 = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold64));
    x = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), k64, 0x00),
                      _mm_srli_si128(x, 4));
    const __m128i p = _mm_load_si128(reinterpret_cast<const __m128i*>(kBarrett));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), p, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), p, 0x00);
    return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(x, t), 1));
}

const bool kHasFolding = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");

#endif

} // namespace

std::uint32_t updateCrc32(std::uint32_t crc, const std::uint8_t* data, std::size_t n) {
#ifdef VANTLE_CRC_FOLDING
    if (kHasFolding && n >= 64) {
        const std::size_t whole = n & ~std::size_t{15};
        crc = byFolding(crc, data, whole);
        data += whole;
        n -= whole;
    }
#endif
    return byTables(crc, data, n);
}

} // namespace vantle
