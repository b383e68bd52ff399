#include <gtest/gtest.h>

#include <array>
#include <string>

#include "archive/zip_cipher.h"
#include "support/test_support.h"

namespace pagorix {
namespace {

// The CRC-32 exactly as the definition states it: one bit at a time.
std::uint32_t BitwiseCrc(std::uint32_t crc, const std::uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return crc;
}

TEST(Crc32, KnownAnswers) {
    const struct {
        std::string text;
        std::uint32_t crc;
    } cases[] = {
        {"", 0x00000000},
        {"x", 0x8CDC1683},  // one.dat of the shared corpus
        {"123456789", 0xCBF43926},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339},
    };
    for (const auto& c : cases) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(c.text.data());
        EXPECT_EQ(Crc32Of(p, c.text.size()), c.crc) << c.text;
        std::uint32_t reg = kCrcPreset;
        for (const char ch : c.text)
            reg = UpdateCrc32(static_cast<std::uint8_t>(ch), reg);
        EXPECT_EQ(~reg, c.crc) << c.text;
    }
}

// The table-driven whole-buffer path equals the bitwise definition for every
// length 0..300 at every alignment, from any starting register.
TEST(Crc32, BufferPathEqualsTheDefinitionAtEveryLengthAndAlignment) {
    const test::Bytes data = test::RandomBytes(300 + 8, 1234);
    for (size_t align = 0; align < 8; ++align) {
        for (size_t n = 0; n + align <= data.size() && n <= 300; ++n) {
            const std::uint8_t* p = data.data() + align;
            const std::uint32_t start = static_cast<std::uint32_t>(n * 2654435761u);
            ASSERT_EQ(Crc32Update(start, p, n), BitwiseCrc(start, p, n))
                << "length " << n << " alignment " << align;
        }
    }
}

// The traditional cipher as the application note defines it, for reference.
struct ReferenceKeys {
    std::uint32_t k[3] = {0x12345678, 0x23456789, 0x34567890};
    void Update(std::uint8_t c) {
        k[0] = BitwiseCrc(k[0], &c, 1);
        k[1] = (k[1] + (k[0] & 0xFF)) * 134775813u + 1;
        const auto top = static_cast<std::uint8_t>(k[1] >> 24);
        k[2] = BitwiseCrc(k[2], &top, 1);
    }
    std::uint8_t Stream() const {
        const std::uint32_t temp = (k[2] | 2) & 0xFFFF;
        return static_cast<std::uint8_t>((temp * (temp ^ 1)) >> 8);
    }
    test::Bytes Encrypt(const test::Bytes& plain) {
        test::Bytes out;
        for (const std::uint8_t p : plain) {
            out.push_back(static_cast<std::uint8_t>(p ^ Stream()));
            Update(p);
        }
        return out;
    }
};

// The keys after every kind of password (a byte above 127 among them), and
// the decryption of what the reference encrypts, in one call or in two pieces.
TEST(ZipCipher, KeysFollowThePasswordAndDecryptWholeOrInPieces) {
    const test::Bytes plain = test::RandomBytes(1000, 99);
    for (const std::string password : {"", "a", "RKTM4V?PQ918XN2", "\xE9t\xE9", "secret"}) {
        ReferenceKeys reference;
        for (const char c : password)
            reference.Update(static_cast<std::uint8_t>(c));
        ZipCipher keys;
        keys.InitKeys(password);
        EXPECT_EQ(keys.key0, reference.k[0]) << password;
        EXPECT_EQ(keys.key1, reference.k[1]) << password;
        EXPECT_EQ(keys.key2, reference.k[2]) << password;
        const test::Bytes cipherText = reference.Encrypt(plain);
        for (const size_t split : {0, 1, 11, 12, 500, 999, 1000}) {
            test::Bytes buffer = cipherText;
            ZipCipher cipher;
            cipher.InitKeys(password);
            cipher.DecryptBuffer(buffer.data(), static_cast<std::uint16_t>(split));
            cipher.DecryptBuffer(buffer.data() + split, static_cast<std::uint16_t>(1000 - split));
            EXPECT_EQ(buffer, plain) << password << " split at " << split;
        }
    }
}

}  // namespace
}  // namespace pagorix
