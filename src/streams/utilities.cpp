#include "streams/utilities.h"

#include <cmath>

#include "framework/exceptions.h"
#include "platform/platform.h"

namespace pagorix {

std::int32_t IntMin(std::int32_t a, std::int32_t b) {
    return a < b ? a : b;
}
std::int32_t IntMax(std::int32_t a, std::int32_t b) {
    return a > b ? a : b;
}

namespace {
// Round to nearest, halves to even, as the processor's default rounding does.
std::int32_t RoundedPercent(long double done, long double size) {
    const long double value = std::nearbyint(done * 100.0L / size);
    if (value >= 100.0L) return 100;
    if (value <= static_cast<long double>(INT32_MIN)) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}
}  // namespace

std::int32_t PercentOf(std::int32_t size, std::int32_t done) {
    if (size < 1) return 0;
    return RoundedPercent(done, size);
}

std::int32_t PercentOf64(std::int64_t total, std::int64_t done) {
    if (total <= 0) return 0;
    return RoundedPercent(static_cast<long double>(done), static_cast<long double>(total));
}

char* SlashesToBackslashes(char* text) {
    for (char* p = text; *p != '\0'; ++p) {
        if (*p == '/') *p = '\\';
    }
    return text;
}

void SlashesToBackslashes(std::string& text) {
    for (char& c : text) {
        if (c == '/') c = '\\';
    }
}

std::string RightChars(const std::string& text, std::int32_t n) {
    if (n <= 0) return {};
    const auto length = static_cast<std::int32_t>(text.size());
    const std::int32_t start = IntMax(1, length - n + 1);
    return text.substr(static_cast<size_t>(start - 1));
}

std::string LeftChars(const std::string& text, std::int32_t n) {
    if (n <= 0) return {};
    return text.substr(0, static_cast<size_t>(n));
}

namespace {
constexpr bool kDriveLetters = platform::kPathDelim == '\\';
}  // namespace

bool IsDirEnd(char c) {
    return c == platform::kPathDelim || (kDriveLetters && c == ':');
}

void MakeDirs(const std::string& path) {
    std::string dir = path;
    if (!dir.empty() && dir.back() == platform::kPathDelim) dir.pop_back();
    // What remains of a root: "C:" on drive-letter hosts, "" where paths start
    // at "/".
    const size_t rootLength = kDriveLetters ? 2 : 0;
    if (dir.size() <= rootLength || DirExistsAt(dir)) return;
    // From the root down, one prefix at a time, so a deep path costs memory
    // in proportion to its length; after the first failure nothing deeper is
    // tried.
    std::string prefix;
    prefix.reserve(dir.size());
    for (size_t i = 0; i < dir.size(); ++i) {
        prefix += dir[i];
        const bool partEnds = i + 1 == dir.size() || IsDirEnd(dir[i + 1]);
        if (!partEnds || prefix.size() <= rootLength || IsDirEnd(prefix.back())) continue;
        if (!DirExistsAt(prefix) && !platform::MakeDirectory(prefix)) return;
    }
}

bool FileExistsAt(const std::string& path) {
    return platform::FileExists(path);
}

bool DirExistsAt(const std::string& path) {
    const std::int32_t attributes = platform::FileAttributes(path);
    return attributes != -1 && (attributes & platform::faDirectory) != 0;
}

std::string CurrentDirOf(std::int32_t drive) {
    return platform::CurrentDirectoryOfDrive(drive);
}

void ChangeDir(const std::string& path) {
    if (!platform::ChangeDirectory(path)) RaiseLastOSError(platform::LastError());
}

std::string VolumeLabelOf(const std::string& root) {
    return platform::VolumeLabel(root, 14);
}

std::string AsCString(const std::string& text) {
    return text;
}

}  // namespace pagorix
