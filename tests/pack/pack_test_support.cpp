#include "pack_test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "pack/book_format.h"
#include "platform/platform.h"

namespace pagorix::test {

namespace fs = std::filesystem;

Bytes FakeStubBytes() {
    return RandomBytes(static_cast<size_t>(PayloadOffset), 325120);
}

std::string WriteFakeStub(const TempDir& dir, const std::string& name) {
    const std::string path = dir / name;
    WriteFile(path, FakeStubBytes());
    return path;
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

void CutPayload(const std::string& book, const std::string& payloadPath) {
    const Bytes all = ReadFile(book);
    EXPECT_GE(all.size(), static_cast<size_t>(PayloadOffset));
    if (all.size() < static_cast<size_t>(PayloadOffset)) return;
    WriteFile(payloadPath, Bytes(all.begin() + PayloadOffset, all.end()));
}

std::map<std::string, EntryInfo> ReadWithLibzip(const std::string& archive) {
    std::map<std::string, EntryInfo> entries;
    int error = 0;
    zip_t* zip = zip_open(archive.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (zip == nullptr) {
        ADD_FAILURE() << "libzip cannot open " << archive << " (error " << error << ")";
        return entries;
    }
    const std::unique_ptr<zip_t, int (*)(zip_t*)> closer(zip, zip_close);
    zip_set_default_password(zip, kArchivePassword);
    const zip_int64_t count = zip_get_num_entries(zip, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t stat;
        zip_stat_init(&stat);
        zip_stat_index(zip, index, ZIP_FL_ENC_RAW, &stat);
        EntryInfo info;
        info.method = stat.comp_method;
        info.encrypted = stat.encryption_method == ZIP_EM_TRAD_PKWARE;
        info.data.resize(static_cast<size_t>(stat.size));
        zip_file_t* file = zip_fopen_index(zip, index, 0);
        EXPECT_NE(file, nullptr) << stat.name;
        if (file == nullptr) continue;
        EXPECT_EQ(zip_fread(file, info.data.data(), info.data.size()),
                  static_cast<zip_int64_t>(info.data.size()))
            << stat.name;
        zip_fclose(file);
        entries[stat.name] = std::move(info);
    }
    return entries;
}

std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names = platform::ListDirectory(dir);
    std::sort(names.begin(), names.end());
    return names;
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
    for (const char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

bool HaveInfoZipUnzip() {
    return RunCommand("unzip -v").status == 0;
}

}  // namespace pagorix::test
