#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace pagorix::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    if (!platform::MakeUniqueDirectory(platform::TempDirectory(), "pgxtest", m_path)) {
        ADD_FAILURE() << "cannot make a temporary directory";
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Files may have been made read-only by a test; make them removable.
    for (auto it = fs::recursive_directory_iterator(m_path, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(m_path, ignored);
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) {
    std::error_code ignored;
    return fs::exists(path, ignored);
}

std::string TestDataDir() {
    const char* data = std::getenv("PAGORIX_TEST_DATA");
    return data != nullptr ? data : PAGORIX_SOURCE_DIR "/tests/data";
}

std::string RequireInput(const std::string& path) {
    if (!Exists(path)) ADD_FAILURE() << "test input missing: " << path;
    return path;
}

ByteWriter& ByteWriter::Raw(const Bytes& b) {
    m_data.insert(m_data.end(), b.begin(), b.end());
    return *this;
}

std::int32_t CountingStream::Read(void* buffer, std::int32_t count) {
    reads.push_back(count);
    return TMemoryStream::Read(buffer, count);
}

std::int32_t CountingStream::Write(const void* buffer, std::int32_t count) {
    writes.push_back(count);
    const std::int64_t allowed =
        writeLimit >= 0 ? std::min<std::int64_t>(count, writeLimit) : count;
    if (writeLimit >= 0) writeLimit -= allowed;
    return TMemoryStream::Write(buffer, static_cast<std::int32_t>(allowed));
}

Bytes RandomBytes(size_t n, std::uint32_t seed) {
    std::mt19937 gen(seed);
    Bytes b(n);
    for (auto& x : b)
        x = static_cast<std::uint8_t>(gen());
    return b;
}

}  // namespace pagorix::test
