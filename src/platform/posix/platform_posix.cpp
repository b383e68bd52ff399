// POSIX implementation of the host layer (Linux and other Unix-like hosts).
//
// Sharing modes are advisory on POSIX and are not enforced. The archive's DOS
// attributes map onto permission bits: read-only clears the write bits.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>

#include "platform/platform.h"
#include "platform/resources_internal.h"

namespace pagorix::platform {

namespace {

int ToFd(std::intptr_t native) {
    return static_cast<int>(native);
}

bool StatPath(const std::string& path, struct stat& st) {
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

}  // namespace

std::string FormatList(const char* format, std::va_list args) {
    std::va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed <= 0) return {};
    std::string result(static_cast<size_t>(needed) + 1, '\0');
    std::vsnprintf(result.data(), result.size(), format, args);
    result.resize(static_cast<size_t>(needed));
    return result;
}

int LastError() {
    return errno;
}

// ---- FileHandle ----

FileHandle FileHandle::Open(const std::string& path, std::uint16_t mode) {
    int flags = O_CLOEXEC;
    if (mode == fmCreate) {
        flags |= O_RDWR | O_CREAT | O_TRUNC;
    } else {
        switch (mode & 0x0003) {
            case fmOpenWrite:
                flags |= O_WRONLY;
                break;
            case fmOpenReadWrite:
                flags |= O_RDWR;
                break;
            default:
                flags |= O_RDONLY;
                break;
        }
    }
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd >= 0) {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd);
            FileHandle failed;
            failed.m_error = EISDIR;
            return failed;
        }
        return FileHandle(fd);
    }
    FileHandle failed;
    failed.m_error = errno;
    return failed;
}

std::int64_t FileHandle::Read(void* buffer, std::int64_t count) {
    if (!IsOpen() || count < 0) return -1;
    auto* out = static_cast<char*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(ToFd(m_native), out + done, static_cast<size_t>(count - done));
        if (got < 0) {
            if (errno == EINTR) continue;
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
        const ssize_t put = ::write(ToFd(m_native), in + done, static_cast<size_t>(count - done));
        if (put < 0) {
            if (errno == EINTR) continue;
            return done > 0 ? done : -1;
        }
        if (put == 0) break;
        done += put;
    }
    return done;
}

CopyOutcome CopyFileData(FileHandle& from, FileHandle& to, std::int64_t count) {
    // copy_file_range moves the data inside the kernel (or shares the
    // blocks, on file systems that can); where it is not available (another
    // kernel, another file system, other kinds of file) the rest goes by
    // blocks, which also tell a failing source from a failing target.
    CopyOutcome outcome;
    while (outcome.copied < count && from.IsOpen() && to.IsOpen()) {
        const ssize_t n =
            ::copy_file_range(ToFd(from.Native()), nullptr, ToFd(to.Native()), nullptr,
                              static_cast<size_t>(count - outcome.copied), 0);
        if (n > 0) {
            outcome.copied += n;
            continue;
        }
        if (n == 0) {
            outcome.sourceShort = true;
            return outcome;
        }
        if (errno == EINTR) continue;
        if (errno == ENOSPC || errno == EDQUOT || errno == EFBIG) return outcome;
        break;
    }
    const CopyOutcome rest = CopyFileDataByBlocks(from, to, count - outcome.copied);
    outcome.copied += rest.copied;
    outcome.sourceShort = rest.sourceShort;
    return outcome;
}

std::int64_t FileHandle::Seek(std::int64_t offset, std::uint16_t origin) {
    if (!IsOpen()) return -1;
    int whence = SEEK_SET;
    if (origin == kSeekCurrent) whence = SEEK_CUR;
    if (origin == kSeekEnd) whence = SEEK_END;
    const off_t result = ::lseek(ToFd(m_native), static_cast<off_t>(offset), whence);
    return result < 0 ? -1 : static_cast<std::int64_t>(result);
}

std::int64_t FileHandle::Size() {
    struct stat st {};
    if (!IsOpen() || ::fstat(ToFd(m_native), &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool FileHandle::Truncate(std::int64_t size) {
    return IsOpen() && ::ftruncate(ToFd(m_native), static_cast<off_t>(size)) == 0;
}

bool FileHandle::SetModificationTime(std::int64_t localSeconds) {
    if (!IsOpen()) return false;
    // The value is a wall-clock reading in local time; mktime turns it into
    // the absolute time the file system keeps.
    const std::time_t asIfUtc = static_cast<std::time_t>(localSeconds);
    std::tm broken{};
    if (::gmtime_r(&asIfUtc, &broken) == nullptr) return false;
    broken.tm_isdst = -1;
    const std::time_t absolute = std::mktime(&broken);
    if (absolute == static_cast<std::time_t>(-1)) return false;
    struct timespec times[2];
    times[0].tv_sec = absolute;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    return ::futimens(ToFd(m_native), times) == 0;
}

void FileHandle::Close() {
    if (IsOpen()) {
        ::close(ToFd(m_native));
        m_native = kInvalid;
    }
}

// ---- Paths, files and directories ----

std::string TempDirectory() {
    const char* env = std::getenv("TMPDIR");
    std::string dir = (env != nullptr && *env != '\0') ? env : "/tmp";
    if (dir.back() != kPathDelim) dir += kPathDelim;
    return dir;
}

bool MakeUniqueDirectory(const std::string& parent, const std::string& prefix, std::string& path) {
    std::string base = parent;
    if (!base.empty() && base.back() != kPathDelim) base += kPathDelim;
    std::random_device device;
    std::mt19937 numbers(device() ^ static_cast<unsigned>(::getpid()));
    for (int attempt = 0; attempt < 1000; ++attempt) {
        // Like the system's unique temporary names: up to four hex digits.
        const unsigned value = 1 + numbers() % 0xFFFF;
        char digits[16];
        std::snprintf(digits, sizeof digits, "%X", value);
        path = base + prefix + digits;
        if (::mkdir(path.c_str(), 0700) == 0) return true;
        if (errno != EEXIST) return false;
    }
    return false;
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool CreateNewFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool MakeDirectory(const std::string& path) {
    return ::mkdir(path.c_str(), 0777) == 0;
}

bool RemoveDir(const std::string& path) {
    return ::rmdir(path.c_str()) == 0;
}

std::int32_t FileAttributes(const std::string& path) {
    struct stat st {};
    if (!StatPath(path, st)) return -1;
    std::int32_t attributes = 0;
    if (S_ISDIR(st.st_mode)) attributes |= faDirectory;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= faReadOnly;
    if (!S_ISDIR(st.st_mode)) attributes |= faArchive;
    return attributes;
}

bool ChangeFileAttributes(const std::string& path, std::uint32_t attributes) {
    struct stat st {};
    if (!StatPath(path, st)) return false;
    mode_t mode = st.st_mode & 07777;
    if ((attributes & faReadOnly) != 0) {
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    } else {
        mode |= S_IWUSR;
    }
    return ::chmod(path.c_str(), mode) == 0;
}

std::optional<double> FileModifiedSeconds(const std::string& path) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return static_cast<double>(info.st_mtim.tv_sec) +
           static_cast<double>(info.st_mtim.tv_nsec) / 1e9;
}

bool FileExists(const std::string& path) {
    const auto slash = path.find_last_of(kPathDelim);
    const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
    if (last.find_first_of("*?") == std::string::npos) {
        struct stat st {};
        return StatPath(path, st) && !S_ISDIR(st.st_mode);
    }
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    for (const auto& name : ListDirectory(dir)) {
        if (::fnmatch(last.c_str(), name.c_str(), 0) == 0) {
            struct stat st {};
            return StatPath((slash == std::string::npos ? "" : dir) + name, st) &&
                   !S_ISDIR(st.st_mode);
        }
    }
    return false;
}

std::vector<std::string> ListDirectory(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(path.empty() ? "." : path.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

std::string CurrentDirectory() {
    char buffer[PATH_MAX];
    if (::getcwd(buffer, sizeof buffer) == nullptr) return {};
    return buffer;
}

std::string CurrentDirectoryOfDrive(int /*drive*/) {
    return CurrentDirectory();
}

bool ChangeDirectory(const std::string& path) {
    return ::chdir(path.c_str()) == 0;
}

std::string HomeDirectory() {
    const char* home = std::getenv("HOME");
    std::string dir = home != nullptr ? home : "";
    while (dir.size() > 1 && dir.back() == kPathDelim)
        dir.pop_back();
    return dir;
}

std::string ExecutablePath() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    return std::string(buffer, static_cast<size_t>(n));
}

int DriveType(const std::string& root) {
    struct stat st {};
    return StatPath(root, st) ? 3 : 1;
}

std::string VolumeLabel(const std::string& /*root*/, int /*bufferSize*/) {
    return {};
}

// ---- Resources ----

std::optional<std::span<const std::uint8_t>> FindProgramResource(const std::string& type,
                                                                 const std::string& name) {
    return FindEmbeddedResource(type, name);
}

// ---- Time ----

std::uint32_t TickCount() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

LocalTime Now() {
    struct timeval tv {};
    ::gettimeofday(&tv, nullptr);
    const std::time_t seconds = tv.tv_sec;
    std::tm broken{};
    ::localtime_r(&seconds, &broken);
    return LocalTime{broken.tm_year + 1900,
                     broken.tm_mon + 1,
                     broken.tm_mday,
                     broken.tm_hour,
                     broken.tm_min,
                     broken.tm_sec,
                     static_cast<int>(tv.tv_usec / 1000)};
}

}  // namespace pagorix::platform
