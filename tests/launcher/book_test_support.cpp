#include "launcher/book_test_support.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/platform.h"

namespace pagorix::test {

namespace fs = std::filesystem;

std::string WriteStub(const std::string& dir) {
    const std::string path = dir + "/stub";
    WriteFile(path, Bytes(static_cast<size_t>(PayloadOffset), 0x5A));
    return path;
}

std::string MakePackedBook(const std::string& dir,
                           const std::vector<std::pair<std::string, std::string>>& files,
                           BookManifest manifest, const std::string& stub, int level) {
    const std::string source = dir + "/source";
    for (const auto& [name, text] : files) {
        const fs::path path = fs::path(source) / name;
        fs::create_directories(path.parent_path());
        WriteFile(path.string(), text);
    }
    PackRequest request;
    request.sourceDir = source;
    request.output = dir + "/book";
    request.stub = stub.empty() ? WriteStub(dir) : stub;
    request.manifest = std::move(manifest);
    request.level = level;
    PackBook(request);
    return request.output;
}

std::string MakeRawBook(const std::string& dir, const std::vector<RawEntry>& entries) {
    const std::string payload = dir + "/payload.zip";
    int error = 0;
    zip_t* archive = zip_open(payload.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    EXPECT_NE(archive, nullptr);
    for (const RawEntry& e : entries) {
        zip_source_t* source = zip_source_buffer(archive, e.data.data(), e.data.size(), 0);
        const zip_int64_t index = zip_file_add(archive, e.name.c_str(), source, ZIP_FL_ENC_CP437);
        EXPECT_GE(index, 0) << e.name;
        const auto at = static_cast<zip_uint64_t>(index);
        zip_set_file_compression(archive, at, ZIP_CM_DEFLATE, 6);
        if (!e.password.empty()) {
            EXPECT_EQ(zip_file_set_encryption(archive, at, ZIP_EM_TRAD_PKWARE, e.password.c_str()),
                      0);
        }
    }
    EXPECT_EQ(zip_close(archive), 0);
    const std::string book = dir + "/book";
    Bytes bytes = ReadFile(WriteStub(dir));
    const Bytes zip = ReadFile(payload);
    bytes.insert(bytes.end(), zip.begin(), zip.end());
    WriteFile(book, bytes);
    platform::RemoveFile(payload);
    return book;
}

std::string ManifestOf(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

void CorruptLastEntry(const std::string& book) {
    Bytes bytes = ReadFile(book);
    // The end record is the last 22 bytes (no comment); the central directory
    // follows the last entry's data and its 16-byte data descriptor.
    const auto u32At = [&](size_t at) {
        return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
               std::uint32_t{bytes[at + 3]} << 24;
    };
    const size_t end = bytes.size() - 22;
    ASSERT_EQ(u32At(end), 0x06054B50u);
    bytes[static_cast<size_t>(PayloadOffset) + u32At(end + 16) - 24] ^= 0x55;
    WriteFile(book, bytes);
}

BrowserRecord ReadBrowserRecord(const std::string& path) {
    BrowserRecord record;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!std::getline(in, record.cwd)) return record;
    while (std::getline(in, line) && line != "--")
        record.args.push_back(line);
    record.page.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return record;
}

std::vector<std::string> ListTree(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(dir, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        names.push_back(fs::relative(it->path(), dir, ignored).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace pagorix::test
