#include "archive/zip_cipher.h"

#include <array>
#include <memory>

namespace pagorix {

namespace {

// kTable is the standard table; SliceTables()[k][i] is the register after i
// went through the table and then k zero bytes, which lets eight bytes be
// folded in at once. Only the standard table is stored in the program; the
// other 7 KB are computed on first use, as the book runtime has a fixed size
// budget.
using CrcTable = std::array<std::uint32_t, 256>;
using CrcTables = std::array<CrcTable, 8>;

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
        for (size_t k = 1; k < 8; ++k)
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

}  // namespace

std::uint32_t UpdateCrc32(std::uint8_t b, std::uint32_t crc) {
    return kTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
}

std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* data, std::size_t n) {
    if (n >= 8) {
        const CrcTables& t = SliceTables();
        while (n >= 8) {
            const std::uint32_t lo = crc ^ (static_cast<std::uint32_t>(data[0]) |
                                            static_cast<std::uint32_t>(data[1]) << 8 |
                                            static_cast<std::uint32_t>(data[2]) << 16 |
                                            static_cast<std::uint32_t>(data[3]) << 24);
            crc = t[7][lo & 0xFF] ^ t[6][lo >> 8 & 0xFF] ^ t[5][lo >> 16 & 0xFF] ^ t[4][lo >> 24] ^
                  t[3][data[4]] ^ t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]];
            data += 8;
            n -= 8;
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
    for (std::uint16_t i = 0; i < n; ++i) {
        const auto plain = static_cast<std::uint8_t>(buffer[i] ^ DecryptByte());
        buffer[i] = plain;
        UpdateKeys(plain);
    }
}

}  // namespace pagorix
