// The CRC-32 of ISO 3309 / ITU-T V.42 (reflected polynomial 0xEDB88320) and
// the traditional PKWARE stream cipher that is keyed through it.
//
// UpdateCrc32 is the one-byte step the definition is written in; Crc32Update
// runs the same register over a whole buffer sixteen bytes at a time
// with slicing tables, giving bit-identical results. The cipher keeps three
// 32-bit keys; all arithmetic is modulo 2^32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pagorix {

inline constexpr std::uint32_t kCrcPolynomial = 0xEDB88320;
inline constexpr std::uint32_t kCrcPreset = 0xFFFFFFFF;

std::uint32_t UpdateCrc32(std::uint8_t b, std::uint32_t crc);
// The register run over n bytes (not preset, not complemented).
std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* data, std::size_t n);
// The CRC-32 of a byte sequence: preset, run, complemented.
std::uint32_t Crc32Of(const std::uint8_t* data, std::size_t n);

inline constexpr std::uint32_t kKey0Init = 0x12345678;
inline constexpr std::uint32_t kKey1Init = 0x23456789;
inline constexpr std::uint32_t kKey2Init = 0x34567890;
inline constexpr std::uint32_t kKeyMultiplier = 134775813;
inline constexpr std::int32_t kEncryptionHeaderSize = 12;

struct ZipCipher {
    std::uint32_t key0 = kKey0Init;
    std::uint32_t key1 = kKey1Init;
    std::uint32_t key2 = kKey2Init;

    void UpdateKeys(std::uint8_t c);
    std::uint8_t DecryptByte() const;
    void InitKeys(const std::string& password);
    // Decrypts in place, continuing the key state.
    void DecryptBuffer(std::uint8_t* buffer, std::uint16_t n);
};

}  // namespace pagorix
