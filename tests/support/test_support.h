// Helpers shared by the tests: a private temporary directory, whole-file
// reads and writes, a little-endian byte writer for building inputs, and a
// stream that counts what its user asks of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/stream.h"
#include "platform/platform.h"

namespace pagorix::test {

using Bytes = std::vector<std::uint8_t>;

// A fresh directory, removed with everything in it when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    // Path() joined with a relative name using the host's separator.
    std::string operator/(const std::string& name) const {
        return m_path + platform::kPathDelim + name;
    }

private:
    std::string m_path;
};

void WriteFile(const std::string& path, const Bytes& bytes);
inline void WriteFile(const std::string& path, const std::string& text) {
    WriteFile(path, Bytes(text.begin(), text.end()));
}
Bytes ReadFile(const std::string& path);
std::string ReadText(const std::string& path);
bool Exists(const std::string& path);

// Where the repository's own test inputs are: $PAGORIX_TEST_DATA, else the
// source tree's tests/data.
std::string TestDataDir();
// The archives made by other tools: tests/data/zip.
inline std::string CorpusDir() {
    return TestDataDir() + "/zip";
}
// Returns path; a missing input is a test failure that names it, never a skip.
std::string RequireInput(const std::string& path);

// Builds byte strings field by field.
class ByteWriter {
public:
    ByteWriter& U8(std::uint8_t v) { return Raw(Bytes{v}); }
    ByteWriter& U16(std::uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
    ByteWriter& U32(std::uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
    ByteWriter& Text(const std::string& s) { return Raw(Bytes(s.begin(), s.end())); }
    ByteWriter& Raw(const Bytes& b);
    ByteWriter& Fill(size_t count, std::uint8_t v) { return Raw(Bytes(count, v)); }
    const Bytes& Data() const { return m_data; }
    size_t Size() const { return m_data.size(); }

private:
    Bytes m_data;
};

// A memory stream that counts the calls and bytes of its user.
class CountingStream : public TMemoryStream {
public:
    using TMemoryStream::TMemoryStream;
    std::int32_t Read(void* buffer, std::int32_t count) override;
    std::int32_t Write(const void* buffer, std::int32_t count) override;
    std::vector<std::int32_t> reads;   // byte counts asked, per call
    std::vector<std::int32_t> writes;  // byte counts given, per call
    // When >= 0, writes accept at most this many bytes in total.
    std::int64_t writeLimit = -1;
};

Bytes RandomBytes(size_t n, std::uint32_t seed);

}  // namespace pagorix::test
