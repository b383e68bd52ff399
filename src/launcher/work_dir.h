// The payload appended to the book executable and the private work directory
// it is unpacked into.
//
// The executable is an image of exactly PayloadOffset bytes followed by one
// self-contained ZIP archive up to the end of the file; nothing marks it. A
// run copies it into a new directory "kbm" + hex digits in the temporary
// directory, made atomically (owner-only on POSIX) so that no other user can
// take the name first, and removes that directory again on every path out.
//
// A run that is killed cannot clean up, so each run holds an exclusive lock
// on an owner file in its work directory for its whole life. The next run
// to start removes every work directory whose owner file it can lock: their
// runs have ended without cleaning up, and everything in them goes, the
// run's splash clip included. A directory without the owner file is not ours
// to judge and is never touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "book/book_format.h"
#include "platform/platform.h"

namespace pagorix {

inline constexpr const char* kWorkDirPrefix = "kbm";
// At most this many work directories are examined per start, so that a
// crowded temporary directory cannot slow the start down; when there are
// more, a random choice of them is, and later starts get to the others.
inline constexpr std::size_t kSweepLimit = 256;

// Where the payload lives: the executable's path and the payload's offset.
struct PayloadSource {
    std::string executable;
    std::int64_t offset = PayloadOffset;
};

// Removes one trailing path separator, if there is one.
std::string RemoveTrailingBackslash(const std::string& path);

// Makes a new work directory in the system's temporary directory (or in
// `parent` when given) and returns its path without a trailing separator.
// When none can be made the path returned does not exist, and the first file
// operation in it fails with the framework's file-open error.
std::string MakeWorkDirectory(const std::string& parent = {});

// Copies the payload into workDir/PAGORIX.ZIP, in the kernel where the host
// can. An executable with nothing appended gives an empty copy. Raises the
// framework's file-open error for the executable or the copy, its read
// error when the executable ends early and its write error when the copy
// cannot take the bytes (a full disk).
void CopyPayload(const PayloadSource& source, const std::string& workDir);

// The directory part of a path, up to and including its last separator.
std::string DirectoryOf(const std::string& path);

// The last component of a path.
std::string BareName(const std::string& path);

// Removes the folders under `workDir` that hold the files of `written`
// (full paths, as the engine wrote them), each folder after the folders
// inside it. A folder that is not empty (a file the browser made, one still
// held open) stays, and so do the folders holding it.
void RemoveFoldersOfFiles(const std::string& workDir, const std::set<std::string>& written);

// Leaves the work directory (the directory `leaveTo` becomes current) and
// removes it, trying twice. Returns whether it is gone.
bool RemoveWorkDirectory(const std::string& workDir, const std::string& leaveTo);

// True for a name of the form of work directories: "kbm" and one or more
// hexadecimal digits.
bool IsWorkDirectoryName(const std::string& name);

// Whether the last component of `path` names the owner file, in any case.
bool IsOwnerFileName(const std::string& path);

// Removes, from `parent` (the system's temporary directory when empty), the
// work directories of runs that have ended without cleaning up: those of
// the work directory's name form holding an owner file whose lock can be
// taken. Never reports anything.
void SweepAbandonedWorkDirectories(const std::string& parent = {});

// Makes the owner file of workDir and holds its lock; the lock holds nothing
// when the file cannot be made (the directory is missing).
platform::OwnerLock LockWorkDirectory(const std::string& workDir);

// Gives the lock up and deletes the owner file.
void UnlockWorkDirectory(platform::OwnerLock& lock, const std::string& workDir);

// Where the work directory goes. A browser confined as a snap (the default on
// some desktops) cannot read the system's temporary directory, so when the
// program that opens web pages is one, the work directory is made in a
// visible folder of the user's home instead, "Pagorix books", created for
// the run and removed again when the run leaves it empty. Otherwise the
// system's temporary directory is used (Path() is empty).
class ReaderVisibleParent {
public:
    ReaderVisibleParent();
    ~ReaderVisibleParent();
    ReaderVisibleParent(const ReaderVisibleParent&) = delete;
    ReaderVisibleParent& operator=(const ReaderVisibleParent&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    bool m_made = false;
};

}  // namespace pagorix
