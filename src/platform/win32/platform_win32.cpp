// Windows implementation of the host layer, through the ANSI ("A") functions:
// every string the system handles is a byte string in the system code page.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/platform.h"
#include "platform/resources_internal.h"

namespace pagorix::platform {

namespace {

HANDLE ToHandle(std::intptr_t native) {
    return reinterpret_cast<HANDLE>(native);
}

// FILETIME of a local wall-clock time given in seconds since 1970.
bool LocalSecondsToFileTime(std::int64_t localSeconds, FILETIME& result) {
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(localSeconds) + 11644473600ULL) * 10000000ULL;
    FILETIME local;
    local.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    local.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return LocalFileTimeToFileTime(&local, &result) != 0;
}

}  // namespace

std::string FormatList(const char* format, std::va_list args) {
    std::va_list copy;
    va_copy(copy, args);
    const int needed = _vscprintf(format, copy);
    va_end(copy);
    if (needed <= 0) return {};
    std::string result(static_cast<size_t>(needed) + 1, '\0');
    _vsnprintf(result.data(), result.size(), format, args);
    result.resize(static_cast<size_t>(needed));
    return result;
}

int LastError() {
    return static_cast<int>(GetLastError());
}

// ---- FileHandle ----

FileHandle FileHandle::Open(const std::string& path, std::uint16_t mode) {
    DWORD access = GENERIC_READ;
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    DWORD disposition = OPEN_EXISTING;
    if (mode == fmCreate) {
        access = GENERIC_READ | GENERIC_WRITE;
        share = 0;
        disposition = CREATE_ALWAYS;
    } else {
        switch (mode & 0x0003) {
            case fmOpenWrite:
                access = GENERIC_WRITE;
                break;
            case fmOpenReadWrite:
                access = GENERIC_READ | GENERIC_WRITE;
                break;
            default:
                access = GENERIC_READ;
                break;
        }
        switch (mode & 0x00F0) {
            case fmShareExclusive:
                share = 0;
                break;
            case fmShareDenyWrite:
                share = FILE_SHARE_READ;
                break;
            case fmShareDenyRead:
                share = FILE_SHARE_WRITE;
                break;
            default:
                share = FILE_SHARE_READ | FILE_SHARE_WRITE;
                break;
        }
    }
    HANDLE h = CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        FileHandle failed;
        failed.m_error = static_cast<int>(GetLastError());
        return failed;
    }
    return FileHandle(reinterpret_cast<std::intptr_t>(h));
}

std::int64_t FileHandle::Read(void* buffer, std::int64_t count) {
    if (!IsOpen() || count < 0) return -1;
    auto* out = static_cast<char*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        const DWORD ask = static_cast<DWORD>(std::min<std::int64_t>(count - done, 1 << 30));
        DWORD got = 0;
        if (!ReadFile(ToHandle(m_native), out + done, ask, &got, nullptr)) {
            return done > 0 ? done : -1;
        }
        if (got == 0) break;
        done += got;
    }
    return done;
}

std::int64_t FileHandle::Write(const void* buffer, std::int64_t count) {
    if (!IsOpen() || count < 0) return -1;
    const auto* in = static_cast<const char*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        const DWORD give = static_cast<DWORD>(std::min<std::int64_t>(count - done, 1 << 30));
        DWORD put = 0;
        if (!WriteFile(ToHandle(m_native), in + done, give, &put, nullptr)) {
            return done > 0 ? done : -1;
        }
        if (put == 0) break;
        done += put;
    }
    return done;
}

CopyOutcome CopyFileData(FileHandle& from, FileHandle& to, std::int64_t count) {
    return CopyFileDataByBlocks(from, to, count);
}

std::int64_t FileHandle::Seek(std::int64_t offset, std::uint16_t origin) {
    if (!IsOpen()) return -1;
    DWORD method = FILE_BEGIN;
    if (origin == kSeekCurrent) method = FILE_CURRENT;
    if (origin == kSeekEnd) method = FILE_END;
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER result;
    if (!SetFilePointerEx(ToHandle(m_native), distance, &result, method)) return -1;
    return result.QuadPart;
}

std::int64_t FileHandle::Size() {
    LARGE_INTEGER size;
    if (!IsOpen() || !GetFileSizeEx(ToHandle(m_native), &size)) return -1;
    return size.QuadPart;
}

bool FileHandle::Truncate(std::int64_t size) {
    return Seek(size, kSeekBegin) == size && SetEndOfFile(ToHandle(m_native)) != 0;
}

bool FileHandle::SetModificationTime(std::int64_t localSeconds) {
    FILETIME time;
    return IsOpen() && LocalSecondsToFileTime(localSeconds, time) &&
           SetFileTime(ToHandle(m_native), nullptr, nullptr, &time) != 0;
}

void FileHandle::Close() {
    if (IsOpen()) {
        CloseHandle(ToHandle(m_native));
        m_native = kInvalid;
    }
}

// ---- Paths, files and directories ----

std::string TempDirectory() {
    char buffer[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof buffer, buffer);
    std::string dir = (n > 0 && n < sizeof buffer) ? std::string(buffer, n) : std::string(".\\");
    if (dir.back() != kPathDelim) dir += kPathDelim;
    return dir;
}

bool MakeUniqueDirectory(const std::string& parent, const std::string& prefix, std::string& path) {
    std::string base = parent;
    if (!base.empty() && base.back() != kPathDelim) base += kPathDelim;
    // Start from the tick count, as the system's unique names do, and move on
    // while a name exists.
    unsigned value = (GetTickCount() ^ GetCurrentProcessId()) & 0xFFFF;
    for (int attempt = 0; attempt < 65535; ++attempt) {
        value = (value % 0xFFFF) + 1;
        std::string digits;
        for (unsigned rest = value; rest != 0; rest >>= 4) {
            digits.insert(digits.begin(), "0123456789ABCDEF"[rest & 0xF]);
        }
        path = base + prefix + digits;
        if (CreateDirectoryA(path.c_str(), nullptr)) return true;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

bool RemoveFile(const std::string& path) {
    return DeleteFileA(path.c_str()) != 0;
}

bool CreateNewFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

bool MakeDirectory(const std::string& path) {
    return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool RemoveDir(const std::string& path) {
    return RemoveDirectoryA(path.c_str()) != 0;
}

std::int32_t FileAttributes(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ? -1 : static_cast<std::int32_t>(attributes);
}

bool ChangeFileAttributes(const std::string& path, std::uint32_t attributes) {
    return SetFileAttributesA(path.c_str(), attributes) != 0;
}

std::optional<double> FileModifiedSeconds(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    // FILETIME counts 100 ns from 1601; the Unix epoch is 11644473600 s later.
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
        data.ftLastWriteTime.dwLowDateTime;
    return static_cast<double>(ticks) / 1e7 - 11644473600.0;
}

bool FileExists(const std::string& path) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::vector<std::string> ListDirectory(const std::string& path) {
    std::vector<std::string> names;
    std::string pattern = path.empty() ? std::string(".") : path;
    if (pattern.back() != kPathDelim) pattern += kPathDelim;
    pattern += '*';
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return names;
}

std::string CurrentDirectory() {
    char buffer[MAX_PATH + 1];
    const DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
    return (n > 0 && n < sizeof buffer) ? std::string(buffer, n) : std::string();
}

std::string CurrentDirectoryOfDrive(int drive) {
    if (drive == 0) return CurrentDirectory();
    // The system keeps each drive's current directory; a drive-relative path
    // "X:" resolves against it.
    const char relative[3] = {static_cast<char>('A' + drive - 1), ':', '\0'};
    char buffer[MAX_PATH + 1];
    const DWORD n = GetFullPathNameA(relative, sizeof buffer, buffer, nullptr);
    return (n > 0 && n < sizeof buffer) ? std::string(buffer, n) : std::string();
}

bool ChangeDirectory(const std::string& path) {
    return SetCurrentDirectoryA(path.c_str()) != 0;
}

std::string HomeDirectory() {
    char buffer[MAX_PATH + 1];
    const DWORD n = GetEnvironmentVariableA("USERPROFILE", buffer, sizeof buffer);
    std::string dir = (n > 0 && n < sizeof buffer) ? std::string(buffer, n) : std::string();
    while (dir.size() > 3 && dir.back() == kPathDelim)
        dir.pop_back();
    return dir;
}

std::string ExecutablePath() {
    char buffer[MAX_PATH + 1];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    return (n > 0 && n < sizeof buffer) ? std::string(buffer, n) : std::string();
}

int DriveType(const std::string& root) {
    return static_cast<int>(GetDriveTypeA(root.c_str()));
}

std::string VolumeLabel(const std::string& root, int bufferSize) {
    std::vector<char> buffer(static_cast<size_t>(bufferSize > 0 ? bufferSize : 1), '\0');
    if (!GetVolumeInformationA(root.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()),
                               nullptr, nullptr, nullptr, nullptr, 0)) {
        return {};
    }
    return std::string(buffer.data());
}

// ---- Resources ----

std::optional<std::span<const std::uint8_t>> FindProgramResource(const std::string& type,
                                                                 const std::string& name) {
    HMODULE module = GetModuleHandleA(nullptr);
    if (HRSRC found = FindResourceA(module, name.c_str(), type.c_str())) {
        HGLOBAL loaded = LoadResource(module, found);
        const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
        if (data != nullptr) {
            return std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(data),
                                                 SizeofResource(module, found));
        }
    }
    return FindEmbeddedResource(type, name);
}

// ---- Time ----

std::uint32_t TickCount() {
    return GetTickCount();
}

LocalTime Now() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

}  // namespace pagorix::platform
