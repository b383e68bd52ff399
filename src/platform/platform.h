// The host's kernel services behind one interface.
//
// Everything that differs between Windows and POSIX hosts lives in the two
// implementation folders next to this header (posix/, win32/); the build
// compiles exactly one of them. No host type appears here: files are reached
// through the move-only FileHandle, whose native handle is an opaque integer.
//
// Names avoid those of the Windows API, which are macros there.
//
// Functions that the system treats as "ignore the result" (deletions, removing
// a directory) still report success, so that callers and tests can look.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/host_config.h"

namespace pagorix::platform {

// ---- Open modes (16-bit, as the framework's file streams take them) ----

inline constexpr std::uint16_t fmCreate = 0xFFFF;
inline constexpr std::uint16_t fmOpenRead = 0x0000;
inline constexpr std::uint16_t fmOpenWrite = 0x0001;
inline constexpr std::uint16_t fmOpenReadWrite = 0x0002;
inline constexpr std::uint16_t fmShareCompat = 0x0000;
inline constexpr std::uint16_t fmShareExclusive = 0x0010;
inline constexpr std::uint16_t fmShareDenyWrite = 0x0020;
inline constexpr std::uint16_t fmShareDenyRead = 0x0030;
inline constexpr std::uint16_t fmShareDenyNone = 0x0040;

// Seek origins.
inline constexpr std::uint16_t kSeekBegin = 0;
inline constexpr std::uint16_t kSeekCurrent = 1;
inline constexpr std::uint16_t kSeekEnd = 2;

// File attributes as the archive stores them (the low byte of the DOS
// attributes). POSIX hosts map read-only onto the write bits and ignore the rest.
inline constexpr std::uint32_t faReadOnly = 0x01;
inline constexpr std::uint32_t faHidden = 0x02;
inline constexpr std::uint32_t faSysFile = 0x04;
inline constexpr std::uint32_t faVolumeID = 0x08;
inline constexpr std::uint32_t faDirectory = 0x10;
inline constexpr std::uint32_t faArchive = 0x20;

// printf-style formatting (integers, strings, widths and precisions) with the
// host's C library; the Windows runtime uses the system's own, which keeps
// the compiler's floating-point formatter out of the program.
std::string FormatList(const char* format, std::va_list args);

// The error code of the last failing call on this thread (errno or GetLastError).
int LastError();

// A file opened by name. Move-only; closes itself. An invalid handle is what a
// failed Open returns: IsOpen() is false and ErrorCode() holds the host's error code.
class FileHandle {
public:
    FileHandle() = default;
    ~FileHandle();
    FileHandle(FileHandle&& other) noexcept;
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    // Opens by the 16-bit mode: fmCreate creates or empties the file for
    // reading and writing; otherwise the low nibble is the access (read,
    // write, read-write) and the next nibble the sharing, which hosts without
    // mandatory sharing treat as advisory.
    static FileHandle Open(const std::string& path, std::uint16_t mode);

    bool IsOpen() const { return m_native != kInvalid; }
    int ErrorCode() const { return m_error; }

    // Byte counts actually transferred; -1 on a failure of the host call.
    std::int64_t Read(void* buffer, std::int64_t count);
    std::int64_t Write(const void* buffer, std::int64_t count);
    // Returns the new position, or -1.
    std::int64_t Seek(std::int64_t offset, std::uint16_t origin);
    std::int64_t Size();
    bool Truncate(std::int64_t size);
    // Sets the last-write time from a local date-time in seconds since the
    // Unix epoch, as the host's local time zone reads it.
    bool SetModificationTime(std::int64_t localSeconds);
    void Close();

    // The system handle as an opaque integer (file descriptor or HANDLE).
    std::intptr_t Native() const { return m_native; }

private:
    static constexpr std::intptr_t kInvalid = -1;
    explicit FileHandle(std::intptr_t native) : m_native(native) {}
    std::intptr_t m_native = kInvalid;
    int m_error = 0;
};

// What CopyFileData achieved: the bytes copied and, when fewer than asked,
// whether the source ran out or failed (otherwise the target failed).
struct CopyOutcome {
    std::int64_t copied = 0;
    bool sourceShort = false;
};

// Copies count bytes from `from` to `to`, each from its current position
// (both advance by what was copied), in the cheapest way the host has: in
// the kernel where it can, else in large blocks (CopyFileDataByBlocks).
CopyOutcome CopyFileData(FileHandle& from, FileHandle& to, std::int64_t count);
// The portable way: reads and writes of up to 256 KiB.
CopyOutcome CopyFileDataByBlocks(FileHandle& from, FileHandle& to, std::int64_t count);

// ---- Paths, files and directories ----

// The system's temporary directory, ending with kPathDelim.
std::string TempDirectory();

// Creates a new, empty directory in `parent` named prefix + hexadecimal digits,
// atomically (a name that exists already is never reused), private to the
// current user where the host has permissions. `path` receives the full path
// without a trailing separator; when no directory could be made it is the
// last name tried, which does not exist.
bool MakeUniqueDirectory(const std::string& parent, const std::string& prefix, std::string& path);

bool RemoveFile(const std::string& path);
// Creates an empty file only when nothing exists at the path yet, private to
// the current user where the host has permissions, and closes it again.
// False when the name is taken (also by a link) or the file cannot be made.
bool CreateNewFile(const std::string& path);
bool MakeDirectory(const std::string& path);
bool RemoveDir(const std::string& path);

// Attributes in the archive's encoding (faDirectory and so on), or -1 when the
// path cannot be read.
std::int32_t FileAttributes(const std::string& path);
bool ChangeFileAttributes(const std::string& path, std::uint32_t attributes);
// The last-write time of a file, in seconds since the Unix epoch (UTC), or
// nothing when it cannot be read.
std::optional<double> FileModifiedSeconds(const std::string& path);

// True when a file (not a directory) is found at the path. A wildcard pattern
// in the last component counts when its first match is a file.
bool FileExists(const std::string& path);

// The names (not paths) of the entries of a directory, "." and ".." excluded.
std::vector<std::string> ListDirectory(const std::string& path);

std::string CurrentDirectory();
// The current directory of a drive: 0 the current drive, 1 A, 2 B, ... Hosts
// without drives answer the current directory for every number.
std::string CurrentDirectoryOfDrive(int drive);
// On failure returns false and leaves the host's error code in LastError().
bool ChangeDirectory(const std::string& path);

// Removes the directory at `path` with everything in it. Links are removed
// as links: nothing outside the directory is ever reached through one. A
// path that is itself a link, or (where the host has owners) a directory of
// another user, is left alone. Returns whether the directory is gone.
bool RemoveTree(const std::string& path);

// ---- Owner locks ----

// An exclusive lock on a small file, held by this process until Release(),
// the destructor, or the end of the process however it ends (flock on POSIX,
// LockFileEx on Windows). Programs that the process starts do not inherit
// it. Move-only; a default-constructed or failed lock holds nothing.
class OwnerLock {
public:
    OwnerLock() = default;
    ~OwnerLock();
    OwnerLock(OwnerLock&& other) noexcept;
    OwnerLock& operator=(OwnerLock&& other) noexcept;
    OwnerLock(const OwnerLock&) = delete;
    OwnerLock& operator=(const OwnerLock&) = delete;

    // Creates the file at `path`, which must not exist yet, and takes its
    // lock. No other process can take the lock and then delete the file
    // while its creator lives: POSIX hosts make the file appear already
    // locked; on Windows the file cannot be deleted while it is open, and
    // the creator waits out a lock taken in the instant before its own.
    static OwnerLock Create(const std::string& path);
    // Takes the lock of the existing file at `path` without waiting. Holds
    // nothing when there is no such file (a link does not count) or its lock
    // is held, by another process or through another OwnerLock of this one.
    static OwnerLock TryTake(const std::string& path);

    bool Held() const { return m_native != kInvalid; }
    // Gives the lock up and closes the file; the file itself stays.
    void Release();

private:
    static constexpr std::intptr_t kInvalid = -1;
    explicit OwnerLock(std::intptr_t native) : m_native(native) {}
    std::intptr_t m_native = kInvalid;  // file descriptor or HANDLE
};

// The user's home directory (without a trailing separator), or the empty
// text when the host does not say.
std::string HomeDirectory();

// The full path of the running executable.
std::string ExecutablePath();

// Drive type of a root path ("A:\"), as the Windows constants number them
// (0 unknown, 1 no root, 2 removable, 3 fixed, 4 remote, 5 cd-rom, 6 ram
// disk). POSIX hosts answer 3 for an existing path and 1 otherwise.
int DriveType(const std::string& root);
// The volume label of a root path read with a buffer of `bufferSize`
// characters; the empty text when the query fails or the host has none.
std::string VolumeLabel(const std::string& root, int bufferSize);

// ---- Standard streams ----

// True when the standard stream (0 input, 1 output, 2 error) is an
// interactive terminal.
bool StandardStreamIsTerminal(int stream);

// Reads one line from standard input, without its line break; when the
// input is a terminal, what is typed is not shown (the terminal's echo is
// off until the line ends). Nothing at the end of the input.
std::optional<std::string> ReadLineUnechoed();

// ---- Resources of the program's own module ----

// The bytes of the resource of that type and name (both matched without
// regard to case), or nothing. On hosts without resource sections the
// program's resources are embedded data registered at start-up.
std::optional<std::span<const std::uint8_t>> FindProgramResource(const std::string& type,
                                                                 const std::string& name);

struct EmbeddedResource {
    const char* type;
    const char* name;
    std::span<const std::uint8_t> data;
};
// Makes embedded data answer FindProgramResource on hosts without resource sections
// (and after the module's own resources on hosts that have them).
void RegisterResource(const EmbeddedResource& resource);

// ---- Time ----

// Milliseconds since an arbitrary start, wrapping at 2^32.
std::uint32_t TickCount();

struct LocalTime {
    int year, month, day, hour, minute, second, millisecond;
};
LocalTime Now();

}  // namespace pagorix::platform
