// The extraction driver of TUnZipper: UnZip selects entries and runs
// ExtractEntry for each inside one ExtractionRun.
//
// Safety rules on top of the plain algorithm:
// - relative destination directories are taken from the current directory at
//   the start of the call, so the change of current directory cannot move
//   the output;
// - an entry whose stored directory has a ".." component, or whose name is
//   "." or ".." (or a device name on hosts with drive letters), is skipped
//   with srUnsafePath and never written;
// - the output file is made only after OnStartUnZip, so a skipped entry
//   never touches a file that exists;
// - a decoder that keeps reading far past the end of an entry's data is
//   stopped as on a data error (see ExtractionRun::InputOverrun);
// - the output directory always ends with a separator, so a drive-only
//   stored directory ("C:") cannot glue the name onto the destination's own;
// - names are written as the host takes them (HostEntryName: UTF-8 on POSIX
//   hosts) and never cut: a name too long for the host is skipped with
//   srNameTooLong before any folder is made for it;
// - one entry that cannot be made, read, decoded or written whole is one
//   failure: it is reported through OnSkippingFile with its reason, its
//   partial file is removed and the run goes on with the next entry. Every
//   write is checked, and an entry must produce exactly its declared size.
#include <cctype>
#include <memory>

#include "archive/archive_errors.h"
#include "archive/decompressors.h"
#include "archive/extraction_run.h"
#include "archive/match_pattern.h"
#include "archive/unzipper.h"
#include "framework/dialogs.h"
#include "framework/sysutils.h"
#include "platform/platform.h"
#include "streams/utilities.h"

namespace pagorix {

namespace {

constexpr bool kDriveLetterHost = platform::kPathDelim == '\\';

std::string ToHostPath(std::string path) {
    for (char& c : path) {
        if (c == '\\') c = platform::kPathDelim;
    }
    return path;
}

bool IsAbsoluteHostPath(const std::string& path) {
    if (path.empty()) return false;
    if (path[0] == platform::kPathDelim || path[0] == '/') return true;
    return kDriveLetterHost && path.size() > 1 && path[1] == ':';
}

bool IsDeviceName(const std::string& name) {
    if (!kDriveLetterHost) return false;
    const std::string stem = UpperCase(name.substr(0, name.find('.')));
    static const char* kDevices[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$"};
    for (const char* device : kDevices) {
        if (stem == device) return true;
    }
    return stem.size() == 4 && (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}

// The longest name of one folder or file, and of a whole path, that the host
// takes.
constexpr size_t kMaxHostNamePart = 255;
constexpr size_t kMaxHostPath = kDriveLetterHost ? 259 : 4095;

// True when every part of a stored path (backslash-separated) and the whole
// output path fit the host.
bool FitsHost(const std::string& storedPath, size_t outputPathLength) {
    if (outputPathLength > kMaxHostPath) return false;
    size_t start = 0;
    while (start <= storedPath.size()) {
        size_t end = storedPath.find('\\', start);
        if (end == std::string::npos) end = storedPath.size();
        if (end - start > kMaxHostNamePart) return false;
        start = end + 1;
    }
    return true;
}

bool IsUnsafeName(const std::string& name) {
    // A NUL byte would cut the name short where the host takes it.
    return name == "." || name == ".." || name.find('\0') != std::string::npos ||
           IsDeviceName(name);
}

// True when a stored directory would climb out of the destination or name a
// device.
bool IsUnsafeDir(const std::string& dir) {
    if (dir.find('\0') != std::string::npos) return true;
    size_t start = 0;
    while (start < dir.size()) {
        size_t end = dir.find_first_of("\\:", start);
        if (end == std::string::npos) end = dir.size();
        const std::string part = dir.substr(start, end - start);
        if (part == ".." || IsDeviceName(part)) return true;
        start = end + 1;
    }
    return false;
}

// Seconds since 1970-01-01 of the local wall-clock time a DOS date-time
// names, or -1 when it names none.
std::int64_t DosToLocalSeconds(std::uint32_t dosDateTime) {
    const TDateTime value = DosDateTimeToDateTime(dosDateTime);
    if (value == 0) return -1;
    return static_cast<std::int64_t>((value - 25569.0) * 86400.0 + 0.5);
}

}  // namespace

std::uint8_t TUnZipper::DecryptHeader(const std::string& password, TStream& stream) {
    std::uint8_t header[kEncryptionHeaderSize] = {};
    stream.Read(header, kEncryptionHeaderSize);
    // An entry shorter than its header has no data left (rather than 4 GiB).
    m_currentEntry.CompressedSize = m_currentEntry.CompressedSize >= kEncryptionHeaderSize
                                        ? m_currentEntry.CompressedSize - kEncryptionHeaderSize
                                        : 0;
    m_cipher.InitKeys(password);
    m_cipher.DecryptBuffer(header, kEncryptionHeaderSize);
    return header[kEncryptionHeaderSize - 1];
}

void TUnZipper::SkipRemaining(std::int32_t& count) {
    const std::int64_t left = m_currentEntry.CompressedSize;
    if (left > 0 && m_zipStream) m_zipStream->Seek(left, soFromCurrent);
    --count;
}

void TUnZipper::FailEntry(TSkipReason reason, std::int32_t index, std::int32_t& count) {
    if (OnSkippingFile) OnSkippingFile(*this, reason, index);
    --count;
}

std::int32_t TUnZipper::UnZip() {
    m_cancelled = false;
    OpenZip();

    // Handlers that release the archive while the run is on the stack only
    // record the request; it is carried out when UnZip leaves.
    struct DepthGuard {
        TUnZipper& zip;
        explicit DepthGuard(TUnZipper& z) : zip(z) { ++zip.m_unzipDepth; }
        ~DepthGuard() {
            if (--zip.m_unzipDepth == 0) {
                try {
                    zip.FinishDeferredRelease();
                } catch (...) {
                    // A dialog cancelled while carrying out a deferred new
                    // name leaves the archive closed.
                }
            }
        }
    } depth(*this);

    ExtractionRun run(*this);
    const std::string savedDir = CurrentDirOf(0);
    m_runBaseDir = savedDir;
    std::string dest = m_destDir;
    if (!dest.empty() && !IsAbsoluteHostPath(dest)) {
        dest = savedDir +
               (savedDir.empty() || savedDir.back() == platform::kPathDelim
                    ? ""
                    : std::string(1, platform::kPathDelim)) +
               dest;
    }
    const TZipSortMode savedMode = SortMode;
    bool switchedView = false;
    auto restore = [&] {
        platform::ChangeDirectory(savedDir);
        if (switchedView) ApplySortMode(savedMode);
    };

    std::int32_t count = 0;
    try {
        if (!dest.empty() && !TestMode) {
            if (!DirExistsAt(dest)) MakeDirs(dest);
            ChangeDir(dest);
        }
        if (m_endCentral.ThisDisk > 0 && SortMode != TZipSortMode::ByNone) {
            ApplySortMode(TZipSortMode::ByNone);
            switchedView = true;
        }
        m_totalBytes = 0;
        m_bytesDone = 0;
        count = Count();
        const std::int32_t entries = m_sortedView == nullptr ? 0 : m_sortedView->Count();
        for (std::int32_t i = 0; i < entries; ++i) {
            TZipHeaderInfo& e = *m_sortedView->Entry(i);
            e.Selected = DoAll;
            if (e.EntryName.empty() && !RecreateDirs) {
                e.Selected = false;
                --count;
                continue;
            }
            for (const std::string& pattern : FilesList) {
                const std::string subject =
                    LowerCase(pattern.find('\\') == std::string::npos ? e.EntryName
                                                                      : e.EntryDir + e.EntryName);
                if (Matches(LowerCase(pattern), subject)) {
                    e.Selected = true;
                    break;
                }
            }
            if (e.Selected) {
                m_totalBytes += e.UncompressedSize;
            } else {
                --count;
            }
        }
        bool stopNow = false;
        if (OnStartUnZipInfo) OnStartUnZipInfo(*this, count, m_totalBytes, stopNow);
        if (count > 0 && !stopNow) {
            for (std::int32_t i = 0; i < entries; ++i) {
                if (DoAll || m_sortedView->Entry(i)->Selected) ExtractEntry(i, run, count, dest);
            }
        }
    } catch (...) {
        restore();
        throw;
    }
    restore();
    ReleaseZip();
    return count;
}

void TUnZipper::ExtractEntry(std::int32_t index, ExtractionRun& run, std::int32_t& count,
                             const std::string& dest) {
    m_currentEntry.Assign(*m_sortedView->Entry(index));
    TZipHeaderInfo& e = m_currentEntry;

    if (e.TooLarge && !e.EntryName.empty()) {
        FailEntry(srTooLarge, index, count);
        return;
    }
    if (!e.EntryName.empty()) {
        if (m_endCentral.ThisDisk > 0 && e.DiskNumberStart != m_currentVolume) {
            OpenVolume(e.DiskNumberStart + 1);
        }
        std::uint8_t localHeader[kLocalSize] = {};
        m_zipStream->Seek(static_cast<std::int64_t>(e.LocalOffset), soFromBeginning);
        if (m_zipStream->Read(localHeader, kLocalSize) != kLocalSize) {
            FailEntry(srReadFailed, index, count);
            return;
        }
        m_zipStream->Seek(
            static_cast<std::int64_t>(GetU16(localHeader + 26)) + GetU16(localHeader + 28),
            soFromCurrent);
    }

    if ((!e.EntryName.empty() && IsUnsafeName(e.EntryName)) ||
        (RecreateDirs && IsUnsafeDir(e.EntryDir))) {
        if (OnSkippingFile) OnSkippingFile(*this, srUnsafePath, index);
        SkipRemaining(count);
        return;
    }

    const std::string hostName = HostEntryName(e);
    const std::string hostDir = RecreateDirs ? HostEntryDir(e) : std::string();

    // The output directory, in the host's terms, ending with a separator.
    std::string outDir;
    if (!hostDir.empty()) {
        const std::string& stored = hostDir;
        const bool absolute = stored[0] == '\\' || (stored.size() > 1 && stored[1] == ':');
        if (absolute) {
            if (dest.empty()) {
                outDir = ToHostPath(stored);
            } else if (stored[0] == '\\') {
                outDir = dest + ToHostPath(stored);
            } else {
                outDir = dest + platform::kPathDelim + ToHostPath(stored.substr(2));
            }
        } else {
            outDir = dest + platform::kPathDelim + ToHostPath(stored);
        }
        if (outDir.empty() || outDir.back() != platform::kPathDelim) outDir += platform::kPathDelim;
    } else {
        outDir = dest + platform::kPathDelim;
    }

    // Refused whole rather than cut, and before any folder is made for it.
    if (!FitsHost(hostDir + hostName, outDir.size() + hostName.size())) {
        if (OnSkippingFile) OnSkippingFile(*this, srNameTooLong, index);
        SkipRemaining(count);
        return;
    }
    if (!hostDir.empty() && !TestMode && !DirExistsAt(outDir)) MakeDirs(outDir);

    if (e.EntryName.empty()) {
        if (RecreateDirs && OnStartUnZip) {
            bool skip = false;
            OnStartUnZip(*this, index, outDir, skip);
        }
        return;
    }

    std::string fullPath = outDir + hostName;

    if (e.Encrypted()) {
        const auto expected = static_cast<std::uint8_t>(
            e.HasDataDescriptor() ? (e.DateTime >> 8) & 0xFF : e.CRC32 >> 24);
        if (DecryptHeader(Password, *m_zipStream) != expected) {
            if (OnBadPassword) OnBadPassword(*this, index);
            if (OnSkippingFile) OnSkippingFile(*this, srBadPassword, index);
            SkipRemaining(count);
            return;
        }
    }

    if (!TestMode && OverwriteMode != TUZOverwriteMode::Always && FileExistsAt(fullPath)) {
        bool overWriteIt = false;
        if (OverwriteMode == TUZOverwriteMode::Prompt) {
            if (OnPromptForOverwrite) {
                OnPromptForOverwrite(*this, overWriteIt, index, fullPath);
            } else {
                overWriteIt =
                    ShowMessageBox("Replace existing file " + EntryNames(index) + "?",
                                   archive_messages::kFileExistsCaption, kMbYesNo) == kIdYes;
            }
        }
        if (!overWriteIt) {
            if (OnSkippingFile) OnSkippingFile(*this, srNoOverwrite, index);
            SkipRemaining(count);
            return;
        }
    }

    bool skip = false;
    if (OnStartUnZip) OnStartUnZip(*this, index, fullPath, skip);
    if (skip) {
        SkipRemaining(count);
        return;
    }

    // Removes what a failed entry left; the stored attributes may have made
    // the file read-only, which would keep it in place on some hosts.
    auto removeOutput = [&] {
        if (TestMode) return;
        platform::ChangeFileAttributes(fullPath, platform::faArchive);
        platform::RemoveFile(fullPath);
    };

    bool ran = false;
    TSkipReason failure = srBadData;
    bool failed = false;
    {
        std::unique_ptr<TLFNFileStream> out;
        if (!TestMode) {
            // A file that is there already is replaced by a new one rather
            // than emptied and rewritten: file systems flush a truncated
            // file's new data at close, which makes overwriting slow.
            platform::RemoveFile(fullPath);
            try {
                out = std::make_unique<TLFNFileStream>(fullPath, platform::fmCreate);
            } catch (const Exception&) {
                FailEntry(srCreateFailed, index, count);
                return;
            }
        }
        // The output blocks go straight to the file, whose every write is
        // checked; OutBuf is the output buffer already.
        run.StartEntry(out ? &out->File() : nullptr);
        if (const Decompressor decode = FindDecompressor(e.CompressionMethod)) {
            try {
                decode(run);
                ran = true;
            } catch (const ExtractionRun::InputOverrun&) {
                // Corrupt data that would decode on without input: stopped
                // like any data error, the CRC-32 check rejects the entry.
            } catch (const ExtractionRun::WriteFailed&) {
                failed = true;
                failure = srWriteFailed;
            } catch (const EFatalUnzipError&) {
                // The archive ends inside this entry's data.
                failed = true;
                failure = srReadFailed;
            } catch (...) {
                out.reset();
                removeOutput();
                throw;
            }
        } else {
            ShowMessageBox(archive_messages::kUnknownMethod, archive_messages::kZipErrorCaption,
                           kMbOk);
            failed = true;
            failure = srUnknownMethod;
        }
        // The date goes on through the handle still open, after the last
        // write: no second open, and a read-only entry gets its date too.
        if (ran && out) {
            const std::int64_t seconds = DosToLocalSeconds(e.DateTime);
            if (seconds >= 0) out->File().File().SetModificationTime(seconds);
        }
    }
    if (failed) {
        removeOutput();
        FailEntry(failure, index, count);
        // The input may stand anywhere inside the entry now.
        return;
    }
    if (ran && !TestMode && RetainAttributes) {
        platform::ChangeFileAttributes(fullPath, e.ExternalAttrs);
    }

    m_runningCRC = ~m_runningCRC;
    if (m_runningCRC != e.CRC32) {
        if (e.Encrypted()) {
            if (OnBadPassword) OnBadPassword(*this, index);
            if (OnSkippingFile) OnSkippingFile(*this, srBadPassword, index);
        } else if (OnBadCRC) {
            OnBadCRC(*this, m_runningCRC, e.CRC32, index);
        }
        removeOutput();
        --count;
        return;
    }
    // The CRC-32 of a short output can still match (a stored CRC of 0 and
    // nothing written); the declared size must have come out too.
    if (run.EntryBytesOut != static_cast<std::int64_t>(e.UncompressedSize)) {
        removeOutput();
        FailEntry(srBadData, index, count);
        return;
    }
    if (OnEndUnZip) OnEndUnZip(*this, index, fullPath);
}

}  // namespace pagorix
