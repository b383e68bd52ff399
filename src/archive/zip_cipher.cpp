#include "archive/zip_cipher.h"

#include <array>
#include <memory>

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

}  // namespace

std::uint32_t UpdateCrc32(std::uint8_t b, std::uint32_t crc) {
    return kTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
}

std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* data, std::size_t n) {
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
