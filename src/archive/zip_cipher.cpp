#include "archive/zip_cipher.h"

#include <array>
#include <cstring>
#include <memory>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#include <immintrin.h>
#define PAGORIX_CRC_CLMUL 1
#endif

namespace pagorix {

namespace {

// kTable is the standard table; SliceTables()[k][i] is the register after i
// went through the table and then k zero bytes, which lets sixteen bytes be
// folded in at once: the sixteen lookups are independent of each other, so
// they overlap in the processor instead of waiting for one another as the
// byte-wise step does. Only the standard table is stored in the program; the
// other 15 KB are computed on first use, as the book runtime has a fixed size
// budget.
using CrcTable = std::array<std::uint32_t, 256>;
constexpr std::size_t kSlices = 16;
using CrcTables = std::array<CrcTable, kSlices>;

constexpr CrcTable MakeTable() {
    CrcTable t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) != 0 ? (c >> 1) ^ kCrcPolynomial : c >> 1;
        t[i] = c;
    }
    return t;
}

constexpr CrcTable kTable = MakeTable();

std::unique_ptr<CrcTables> MakeSliceTables() {
    auto t = std::make_unique<CrcTables>();
    (*t)[0] = kTable;
    for (std::uint32_t i = 0; i < 256; ++i) {
        for (size_t k = 1; k < kSlices; ++k)
            (*t)[k][i] = ((*t)[k - 1][i] >> 8) ^ kTable[(*t)[k - 1][i] & 0xFF];
    }
    return t;
}

// On the heap: the compiler would otherwise store the computed tables in the
// program.
const CrcTables& SliceTables() {
    static const std::unique_ptr<CrcTables> tables = MakeSliceTables();
    return *tables;
}

std::uint32_t Load32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The register run over n bytes with the slicing tables.
std::uint32_t Crc32Slices(std::uint32_t crc, const std::uint8_t* data, std::size_t n) {
    if (n >= kSlices) {
        const CrcTables& t = SliceTables();
        while (n >= kSlices) {
            const std::uint32_t a = crc ^ Load32(data);
            const std::uint32_t b = Load32(data + 4);
            const std::uint32_t c = Load32(data + 8);
            const std::uint32_t d = Load32(data + 12);
            crc = t[15][a & 0xFF] ^ t[14][a >> 8 & 0xFF] ^ t[13][a >> 16 & 0xFF] ^ t[12][a >> 24] ^
                  t[11][b & 0xFF] ^ t[10][b >> 8 & 0xFF] ^ t[9][b >> 16 & 0xFF] ^ t[8][b >> 24] ^
                  t[7][c & 0xFF] ^ t[6][c >> 8 & 0xFF] ^ t[5][c >> 16 & 0xFF] ^ t[4][c >> 24] ^
                  t[3][d & 0xFF] ^ t[2][d >> 8 & 0xFF] ^ t[1][d >> 16 & 0xFF] ^ t[0][d >> 24];
            data += kSlices;
            n -= kSlices;
        }
    }
    while (n-- > 0)
        crc = UpdateCrc32(*data++, crc);
    return crc;
}

#ifdef PAGORIX_CRC_CLMUL

// Carry-less multiplication folding (x86-64 with PCLMULQDQ, chosen at run
// time). The data is taken 16 bytes at a time as polynomials over GF(2), bit
// 0 of the first byte the highest power, as the reflected CRC reads it. Four
// 128-bit accumulators run 64 bytes apart; folding an accumulator forward by
// D bits multiplies its two 64-bit halves by x^(D+32) and x^(D-32) modulo the
// CRC polynomial (the 32 accounts for where the 33-bit constants sit in the
// product) and adds the next data. What is left is one 128-bit value with the
// same remainder as everything folded into it; the slicing code finishes it
// and the tail.

// x^n modulo the CRC polynomial, bit-reflected and shifted left by one, as
// the folding multiplies it.
constexpr std::uint64_t FoldConstant(unsigned n) {
    std::uint32_t r = 1;  // x^0, in the polynomial's normal bit order
    for (unsigned i = 0; i < n; ++i)
        r = (r & 0x80000000u) != 0 ? (r << 1) ^ 0x04C11DB7u : r << 1;
    std::uint64_t reflected = 0;
    for (unsigned i = 0; i < 32; ++i)
        reflected |= static_cast<std::uint64_t>(r >> i & 1) << (31 - i);
    return reflected << 1;
}

constexpr std::uint64_t kFold512Low = FoldConstant(512 + 32);
constexpr std::uint64_t kFold512High = FoldConstant(512 - 32);
constexpr std::uint64_t kFold128Low = FoldConstant(128 + 32);
constexpr std::uint64_t kFold128High = FoldConstant(128 - 32);

__attribute__((target("pclmul,sse2"))) inline __m128i Fold(__m128i acc, __m128i k, __m128i next) {
    const __m128i low = _mm_clmulepi64_si128(acc, k, 0x00);
    const __m128i high = _mm_clmulepi64_si128(acc, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

// Precondition: n >= 64.
__attribute__((target("pclmul,sse2"))) std::uint32_t Crc32Fold(std::uint32_t crc,
                                                               const std::uint8_t* data,
                                                               std::size_t n) {
    const auto load = [](const std::uint8_t* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    };
    __m128i x0 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x1 = load(data + 16);
    __m128i x2 = load(data + 32);
    __m128i x3 = load(data + 48);
    data += 64;
    n -= 64;
    const __m128i k512 =
        _mm_set_epi64x(static_cast<long long>(kFold512High), static_cast<long long>(kFold512Low));
    while (n >= 64) {
        x0 = Fold(x0, k512, load(data));
        x1 = Fold(x1, k512, load(data + 16));
        x2 = Fold(x2, k512, load(data + 32));
        x3 = Fold(x3, k512, load(data + 48));
        data += 64;
        n -= 64;
    }
    const __m128i k128 =
        _mm_set_epi64x(static_cast<long long>(kFold128High), static_cast<long long>(kFold128Low));
    x0 = Fold(x0, k128, x1);
    x0 = Fold(x0, k128, x2);
    x0 = Fold(x0, k128, x3);
    while (n >= 16) {
        x0 = Fold(x0, k128, load(data));
        data += 16;
        n -= 16;
    }
    std::uint8_t folded[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(folded), x0);
    return Crc32Slices(Crc32Slices(0, folded, 16), data, n);
}

bool HasClmul() {
    static const bool has = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        return __get_cpuid(1, &a, &b, &c, &d) != 0 && (c & bit_PCLMUL) != 0 && (d & bit_SSE2) != 0;
    }();
    return has;
}

#endif

}  // namespace

std::uint32_t UpdateCrc32(std::uint8_t b, std::uint32_t crc) {
    return kTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
}

std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* data, std::size_t n) {
#ifdef PAGORIX_CRC_CLMUL
    // Below a few hundred bytes the tables are as fast.
    if (n >= 256 && HasClmul()) return Crc32Fold(crc, data, n);
#endif
    return Crc32Slices(crc, data, n);
}

std::uint32_t Crc32Of(const std::uint8_t* data, std::size_t n) {
    return ~Crc32Update(kCrcPreset, data, n);
}

void ZipCipher::UpdateKeys(std::uint8_t c) {
    key0 = UpdateCrc32(c, key0);
    key1 = (key1 + (key0 & 0xFF)) * kKeyMultiplier + 1;
    key2 = UpdateCrc32(static_cast<std::uint8_t>(key1 >> 24), key2);
}

std::uint8_t ZipCipher::DecryptByte() const {
    const std::uint32_t temp = (key2 & 0xFFFF) | 2;
    return static_cast<std::uint8_t>((temp * (temp ^ 1)) >> 8);
}

void ZipCipher::InitKeys(const std::string& password) {
    key0 = kKey0Init;
    key1 = kKey1Init;
    key2 = kKey2Init;
    for (const char c : password)
        UpdateKeys(static_cast<std::uint8_t>(c));
}

void ZipCipher::DecryptBuffer(std::uint8_t* buffer, std::uint16_t n) {
    // The keys live in locals: stores through the byte pointer may alias
    // anything, so keys kept in the object would be reloaded after each byte.
    std::uint32_t k0 = key0, k1 = key1, k2 = key2;
    for (std::uint16_t i = 0; i < n; ++i) {
        const std::uint32_t temp = (k2 & 0xFFFF) | 2;
        const auto plain = static_cast<std::uint8_t>(buffer[i] ^ ((temp * (temp ^ 1)) >> 8));
        buffer[i] = plain;
        k0 = kTable[(k0 ^ plain) & 0xFF] ^ (k0 >> 8);
        k1 = (k1 + (k0 & 0xFF)) * kKeyMultiplier + 1;
        k2 = kTable[(k2 ^ (k1 >> 24)) & 0xFF] ^ (k2 >> 8);
    }
    key0 = k0;
    key1 = k1;
    key2 = k2;
}

}  // namespace pagorix
