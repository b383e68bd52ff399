// Owner locks and tree removal on Windows.
//
// The lock is LockFileEx on one byte of the file, on a handle that started
// programs do not inherit. The owner's handle shares reading and writing but
// not deletion, so nobody can delete the file while its owner holds it. A
// process that locks the file in the instant between its creation and its
// creator's lock can therefore not delete it either; the creator waits for
// that lock to be given up and then takes its own.
//
// RemoveTree does not descend into reparse points (junctions, symbolic
// links): it removes the link itself.
#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace pagorix::platform {

namespace {

constexpr int kMaxTreeDepth = 32;

HANDLE ToHandle(std::intptr_t native) {
    return reinterpret_cast<HANDLE>(native);
}

bool LockByte(HANDLE file, DWORD flags) {
    OVERLAPPED at = {};
    return LockFileEx(file, flags, 0, 1, 0, &at) != 0;
}

void EmptyDirectory(const std::string& path, int depth) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        const std::string child = path + "\\" + name;
        const DWORD attributes = data.dwFileAttributes;
        if (attributes & FILE_ATTRIBUTE_READONLY) {
            SetFileAttributesA(child.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        }
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            DeleteFileA(child.c_str());
            continue;
        }
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && depth < kMaxTreeDepth) {
            EmptyDirectory(child, depth + 1);
        }
        RemoveDirectoryA(child.c_str());
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

}  // namespace

bool RemoveTree(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return false;
    }
    std::string dir = path;
    while (dir.size() > 1 && (dir.back() == '\\' || dir.back() == '/'))
        dir.pop_back();
    EmptyDirectory(dir, 0);
    return RemoveDirectoryA(path.c_str()) != 0;
}

OwnerLock OwnerLock::Create(const std::string& path) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    if (!LockByte(file, LOCKFILE_EXCLUSIVE_LOCK)) {
        CloseHandle(file);
        DeleteFileA(path.c_str());
        return {};
    }
    return OwnerLock(reinterpret_cast<std::intptr_t>(file));
}

OwnerLock OwnerLock::TryTake(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
        !LockByte(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY)) {
        CloseHandle(file);
        return {};
    }
    return OwnerLock(reinterpret_cast<std::intptr_t>(file));
}

void OwnerLock::Release() {
    if (m_native == kInvalid) return;
    // Closing the handle gives the lock up.
    CloseHandle(ToHandle(m_native));
    m_native = kInvalid;
}

}  // namespace pagorix::platform
