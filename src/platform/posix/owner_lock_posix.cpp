// Owner locks and tree removal on POSIX hosts.
//
// The lock is flock() on a descriptor opened close-on-exec, so a started
// program (a browser that outlives the run) never keeps it. Create makes the
// file under a temporary name, locks it and only then renames it into place.
// TryTake checks after locking that the name still leads to the file it
// locked, so a file replaced meanwhile is not mistaken for an abandoned one.
//
// RemoveTree walks the tree through directory descriptors (openat with
// O_NOFOLLOW, unlinkat), so a link swapped in while it runs is unlinked, not
// followed.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/platform.h"

namespace pagorix::platform {

namespace {

// Deeper trees than this are not the runtime's (its work directory is flat)
// and are left partly in place rather than risk the stack.
constexpr int kMaxTreeDepth = 32;

// Empties the directory open as `dirFd` (which it closes).
void EmptyDirectory(int dirFd, int depth) {
    DIR* dir = ::fdopendir(dirFd);
    if (dir == nullptr) {
        ::close(dirFd);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (::unlinkat(dirFd, name.c_str(), 0) == 0) continue;
        if (errno != EISDIR && errno != EPERM) continue;
        // A directory: opened without following a link, emptied, removed.
        if (depth >= kMaxTreeDepth) continue;
        const int child =
            ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child < 0) continue;
        EmptyDirectory(child, depth + 1);
        ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
    }
    ::closedir(dir);
}

}  // namespace

bool RemoveTree(const std::string& path) {
    const int dirFd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dirFd < 0) return false;
    struct stat st {};
    if (::fstat(dirFd, &st) != 0 || st.st_uid != ::geteuid()) {
        ::close(dirFd);
        return false;
    }
    EmptyDirectory(dirFd, 0);
    return ::rmdir(path.c_str()) == 0;
}

OwnerLock OwnerLock::Create(const std::string& path) {
    const std::string temporary = path + ".new";
    const int fd =
        ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return {};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        ::close(fd);
        return {};
    }
    return OwnerLock(fd);
}

OwnerLock OwnerLock::TryTake(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return {};
    struct stat locked {};
    struct stat named {};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &locked) != 0 ||
        !S_ISREG(locked.st_mode) || ::lstat(path.c_str(), &named) != 0 ||
        locked.st_dev != named.st_dev || locked.st_ino != named.st_ino) {
        ::close(fd);
        return {};
    }
    return OwnerLock(fd);
}

void OwnerLock::Release() {
    if (m_native == kInvalid) return;
    // Closing the last descriptor of the open file gives the lock up.
    ::close(static_cast<int>(m_native));
    m_native = kInvalid;
}

}  // namespace pagorix::platform
