#include "launcher/work_dir.h"

#include <algorithm>
#include <random>
#include <vector>

#include "framework/exceptions.h"
#include "framework/stream.h"
#include "framework/sysutils.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "streams/utilities.h"

namespace pagorix {

namespace {

std::string Join(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    return dir.back() == platform::kPathDelim ? dir + name : dir + platform::kPathDelim + name;
}

}  // namespace

std::string RemoveTrailingBackslash(const std::string& path) {
    if (!path.empty() && path.back() == platform::kPathDelim) {
        return path.substr(0, path.size() - 1);
    }
    return path;
}

std::string MakeWorkDirectory(const std::string& parent) {
    std::string path;
    platform::MakeUniqueDirectory(parent.empty() ? platform::TempDirectory() : parent,
                                  kWorkDirPrefix, path);
    return RemoveTrailingBackslash(path);
}

void CopyPayload(const PayloadSource& source, const std::string& workDir) {
    const std::string target = Join(workDir, kArchiveCopyName);
    // The copy is created first (empty), as the later open expects it to exist.
    platform::FileHandle::Open(target, platform::fmCreate);
    TFileStream input(source.executable, platform::fmOpenRead | platform::fmShareDenyNone);
    const std::int64_t count = input.Size() - source.offset;
    TFileStream output(target, platform::fmOpenWrite | platform::fmShareExclusive);
    // Nothing appended: the copy stays empty and the engine then finds no
    // archive in it, instead of taking the whole executable for one.
    if (count <= 0) return;
    input.SetPosition(source.offset);
    // In one go, as cheaply as the host copies files (in the kernel on Linux).
    const platform::CopyOutcome outcome =
        platform::CopyFileData(input.File(), output.File(), count);
    if (outcome.copied == count) return;
    if (outcome.sourceShort) throw EReadError(messages::SReadError);
    throw EWriteError(messages::SWriteError);
}

std::string DirectoryOf(const std::string& path) {
    size_t cut = path.size();
    while (cut > 0 && !IsDirEnd(path[cut - 1]))
        --cut;
    return path.substr(0, cut);
}

std::string BareName(const std::string& path) {
    return path.substr(DirectoryOf(path).size());
}

void RemoveFoldersOfFiles(const std::string& workDir, const std::set<std::string>& written) {
    const std::string prefix = workDir + platform::kPathDelim;
    std::vector<std::string> relative;
    for (const std::string& path : written) {
        if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) continue;
        std::string name = path.substr(prefix.size());
        std::replace(name.begin(), name.end(), platform::kPathDelim, '/');
        relative.push_back(std::move(name));
    }
    for (std::string folder : FoldersOfNames(relative)) {
        std::replace(folder.begin(), folder.end(), '/', platform::kPathDelim);
        platform::RemoveDir(prefix + folder);
    }
}

bool RemoveWorkDirectory(const std::string& workDir, const std::string& leaveTo) {
    platform::ChangeDirectory(leaveTo);
    return platform::RemoveDir(workDir) || platform::RemoveDir(workDir);
}

bool IsWorkDirectoryName(const std::string& name) {
    const std::string prefix = kWorkDirPrefix;
    return name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
           name.find_first_not_of("0123456789ABCDEFabcdef", prefix.size()) == std::string::npos;
}

bool IsOwnerFileName(const std::string& path) {
    return SameFileName(BareName(path), kOwnerFileName);
}

void SweepAbandonedWorkDirectories(const std::string& parent) {
    const std::string dir = parent.empty() ? platform::TempDirectory() : parent;
    std::vector<std::string> candidates;
    for (const std::string& name : platform::ListDirectory(dir)) {
        if (IsWorkDirectoryName(name)) candidates.push_back(name);
    }
    if (candidates.size() > kSweepLimit) {
        std::minstd_rand order(platform::TickCount());
        std::shuffle(candidates.begin(), candidates.end(), order);
        candidates.resize(kSweepLimit);
    }
    for (const std::string& name : candidates) {
        const std::string path = Join(dir, name);
        platform::OwnerLock lock = platform::OwnerLock::TryTake(Join(path, kOwnerFileName));
        if (!lock.Held()) continue;  // no owner file, or its run is alive
        // Windows cannot delete a file its holder has open.
        lock.Release();
        if (!platform::RemoveTree(path) && platform::FileAttributes(path) >= 0) {
            // Something still uses the directory (on Windows, the killed
            // run's browser while its current directory is there): the
            // owner file comes back, so that a later start finishes the job.
            platform::CreateNewFile(Join(path, kOwnerFileName));
        }
    }
}

platform::OwnerLock LockWorkDirectory(const std::string& workDir) {
    return platform::OwnerLock::Create(Join(workDir, kOwnerFileName));
}

void UnlockWorkDirectory(platform::OwnerLock& lock, const std::string& workDir) {
    lock.Release();
    platform::RemoveFile(Join(workDir, kOwnerFileName));
}

namespace {
constexpr const char* kVisibleFolder = "Pagorix books";
}  // namespace

ReaderVisibleParent::ReaderVisibleParent() {
    if (!platform::HandlerIsConfined("index.html")) return;
    const std::string home = platform::HomeDirectory();
    if (home.empty()) return;
    m_path = Join(home, kVisibleFolder);
    m_made = platform::MakeDirectory(m_path);
}

ReaderVisibleParent::~ReaderVisibleParent() {
    // Only a folder this run made, and only when nothing is left in it.
    if (m_made) platform::RemoveDir(m_path);
}

}  // namespace pagorix
