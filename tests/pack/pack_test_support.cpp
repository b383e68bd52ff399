#include "pack_test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "book/book_format.h"
#include "platform/platform.h"

namespace pagorix::test {

namespace fs = std::filesystem;

PackRequest Request(const TempDir& dir) {
    PackRequest request;
    request.sourceDir = dir / "src";
    request.output = dir / "book";
    request.stub = dir / "stub.bin";
    WriteFile(request.stub, RandomBytes(static_cast<size_t>(PayloadOffset), 325120));
    request.manifest.producer = "pagorix-pack test";
    request.manifest.title = "Test book";
    request.manifest.startPage = "index.html";
    request.manifest.built = "2026-12-06";
    return request;
}

void WriteTree(const std::string& root, const std::map<std::string, Bytes>& files) {
    for (const auto& [name, bytes] : files) {
        const fs::path path = fs::path(root) / fs::path(name);
        fs::create_directories(path.parent_path());
        WriteFile(path.string(), bytes);
    }
}

std::map<std::string, Bytes> ReadTree(const std::string& root) {
    std::map<std::string, Bytes> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        const std::u8string name = entry.path().lexically_relative(root).generic_u8string();
        files[std::string(name.begin(), name.end())] = ReadFile(entry.path().string());
    }
    return files;
}

std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names = platform::ListDirectory(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string CutPayload(const std::string& book, const TempDir& dir) {
    const Bytes all = ReadFile(book);
    const std::string path = dir / kArchiveCopyName;
    WriteFile(path,
              Bytes(all.begin() + std::min<std::ptrdiff_t>(PayloadOffset, all.size()), all.end()));
    return path;
}

std::map<std::string, EntryInfo> ReadWithLibzip(const std::string& archive) {
    std::map<std::string, EntryInfo> entries;
    int error = 0;
    zip_t* zip = zip_open(archive.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (zip == nullptr) {
        ADD_FAILURE() << "libzip cannot open " << archive << " (error " << error << ")";
        return entries;
    }
    zip_set_default_password(zip, kArchivePassword);
    for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(zip_get_num_entries(zip, 0)); ++i) {
        zip_stat_t stat;
        zip_stat_index(zip, i, ZIP_FL_ENC_RAW, &stat);
        EntryInfo& info = entries[stat.name];
        info.index = static_cast<std::size_t>(i);
        info.method = stat.comp_method;
        info.encrypted = stat.encryption_method == ZIP_EM_TRAD_PKWARE;
        info.data.resize(static_cast<size_t>(stat.size));
        zip_file_t* file = zip_fopen_index(zip, i, 0);
        EXPECT_EQ(zip_fread(file, info.data.data(), info.data.size()),
                  static_cast<zip_int64_t>(info.data.size()))
            << stat.name;
        zip_fclose(file);
    }
    zip_close(zip);
    return entries;
}

std::string ManifestOf(const std::string& book, const TempDir& dir) {
    const Bytes manifest = ReadWithLibzip(CutPayload(book, dir))[kManifestName].data;
    return std::string(manifest.begin(), manifest.end());
}

CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string Quote(const std::string& text) {
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace pagorix::test
