#include "archive/unzipper.h"

#include <optional>

#include "archive/archive_errors.h"
#include "framework/application.h"
#include "framework/dialogs.h"
#include "framework/sysutils.h"
#include "platform/platform.h"
#include "streams/utilities.h"

namespace pagorix {

namespace {

// Hosts with drive letters also ignore the case of file names; there the
// archive's name is kept upper-cased. Elsewhere upper-casing would name
// another file.
constexpr bool kNamesIgnoreCase = platform::kPathDelim == '\\';

constexpr const char* kOpenZipTitle = "Open a Zip File";
constexpr const char* kOpenZipFilter =
    "Zip Files (*.ZIP)|*.zip|SFX Files (*.EXE)|*.exe|All Files (*.*)|*.*";
constexpr int kDriveRemovable = 2;

std::string DefaultDialogDir() {
    return kNamesIgnoreCase ? "C:\\" : "/";
}

bool IsAbsolutePath(const std::string& path) {
    if (path.empty()) return false;
    if (path[0] == platform::kPathDelim || path[0] == '/') return true;
    return kNamesIgnoreCase && path.size() > 1 && path[1] == ':';
}

}  // namespace

TUnZipper::TUnZipper(TComponent* owner) : TComponent(owner) {}

TUnZipper::~TUnZipper() {
    m_unzipDepth = 0;
    CloseZip();
}

void TUnZipper::Loaded() {
    TComponent::Loaded();
}

TDateTime TUnZipper::FileDateOf(const std::string& fileName) const {
    const std::optional<double> seconds = platform::FileModifiedSeconds(fileName);
    if (!seconds) return 0;
    // Unix time 0 is day 25569 of the calendar.
    return *seconds / 86400.0 + 25569.0;
}

void TUnZipper::ReleaseDirectory() {
    m_ownView.reset();
    m_sortedView = nullptr;
    m_directory.reset();
}

void TUnZipper::ForgetArchive() {
    ReleaseDirectory();
    m_zipFileDate = 0;
    m_endCentral.ResetEnd();
    m_zipStream.reset();
    m_rebuilt = false;
}

void TUnZipper::CreateDirectory() {
    m_directory = std::make_unique<TSortedZip>(TDuplicates::Error);
    m_directory->SortMode = TZipSortMode::ByNone;
    m_sortedView = m_directory.get();
}

void TUnZipper::SetZipName(const std::string& value) {
    if (value == m_zipName) return;
    if (m_unzipDepth > 0) {
        m_renamePending = true;
        m_pendingName = value;
        return;
    }
    std::string name = value;
    if (!value.empty() && value.back() == '?') {
        std::string initialDir;
        const size_t cut = value.find_last_of(std::string("\\:") + platform::kPathDelim);
        if (cut != std::string::npos) initialDir = value.substr(0, cut + 1);
        if (initialDir.empty() || !DirExistsAt(initialDir)) initialDir = DefaultDialogDir();
        std::string chosen;
        if (!OpenFileDialog(kOpenZipTitle, kOpenZipFilter, initialDir, chosen)) {
            throw EUserCanceled(archive_messages::kNoZipName);
        }
        name = chosen;
    }
    m_zipName = kNamesIgnoreCase ? UpperCase(name) : name;
    ForgetArchive();
}

void TUnZipper::SetDestDir(const std::string& value) {
    if (value != "?") {
        m_destDir = value;
    } else {
        std::string start = m_destDir;
        if (start.empty() || !DirExistsAt(start + platform::kPathDelim)) start = CurrentDirOf(0);
        if (!SelectDirectoryDialog(start, true)) throw EUserCanceled(archive_messages::kNoDestDir);
        m_destDir = start;
    }
    if (m_destDir.size() > 1 && m_destDir.back() == platform::kPathDelim) m_destDir.pop_back();
}

void TUnZipper::OpenZip() {
    if (!m_zipStream) {
        m_zipStream = std::make_unique<TLFNFileStream>(
            m_zipName, platform::fmOpenRead | platform::fmShareDenyWrite);
    }
    if (m_directory && FileDateOf(m_zipName) == m_zipFileDate) return;
    ReadZip();
}

void TUnZipper::ReleaseZip() {
    if (!KeepZipOpen) m_zipStream.reset();
}

void TUnZipper::CloseZip() {
    if (m_unzipDepth > 0) {
        m_closePending = true;
        return;
    }
    m_zipStream.reset();
    ReleaseDirectory();
    m_endCentral.ResetEnd();
    m_rebuilt = false;
    m_zipFileDate = 0;
    m_volumeCount = 1;
    m_currentVolume = 0;
    m_zipName.clear();
}

void TUnZipper::FinishDeferredRelease() {
    const bool close = m_closePending;
    const bool rename = m_renamePending;
    m_closePending = false;
    m_renamePending = false;
    if (close) CloseZip();
    if (rename) SetZipName(m_pendingName);
}

std::int32_t TUnZipper::Count() const {
    return m_directory ? m_directory->Count() : 0;
}

std::string TUnZipper::EntryNames(std::int32_t index) const {
    if (m_sortedView == nullptr || index < 0 || index >= Count() ||
        index >= m_sortedView->Count()) {
        throw EListError(Format(archive_messages::kIndexOutOfRange, index));
    }
    return m_sortedView->Entry(index)->EntryName;
}

void TUnZipper::ApplySortMode(TZipSortMode mode) {
    m_ownView.reset();
    m_sortedView = m_directory.get();
    if (mode != TZipSortMode::ByNone) {
        m_ownView = std::make_unique<TSortedZip>(TDuplicates::Accept);
        m_ownView->OwnsObjects = false;
        m_ownView->SortMode = mode;
        if (m_directory) {
            for (std::int32_t i = 0; i < m_directory->Count(); ++i) {
                m_ownView->Add(m_directory->Get(i));
            }
        }
        m_sortedView = m_ownView.get();
    }
    SortMode = mode;
}

void TUnZipper::FillList(TStringList& strings) const {
    strings.Clear();
    if (m_sortedView == nullptr) return;
    for (std::int32_t i = 0; i < m_sortedView->Count(); ++i) {
        const TZipHeaderInfo& e = *m_sortedView->Entry(i);
        const TDateTime stamp = DosDateTimeToDateTime(e.DateTime);
        std::string line = e.EntryName;
        if (e.Encrypted()) line += '#';
        if (e.HasComment()) line += '@';
        line += '\t';
        line += Format("%8s", FormatDateTime("mm/dd/yy", stamp).c_str());
        line += '\t';
        line += Format("%7s", FormatDateTime("hh:mmam/pm", stamp).c_str());
        line += '\t';
        line += Format("%8u", e.UncompressedSize);
        line += '\t';
        line += Format("%8u", e.CompressedSize);
        line += '\t';
        line += Format("%3d%s", CompressionRatio(e), "%");
        line += '\t';
        line += MethodShortName(e.CompressionMethod);
        line += '\t';
        line += e.EntryDir;
        strings.Add(LowerCase(line));
    }
}

std::uint16_t TUnZipper::NameCodePageOf(const TZipHeaderInfo& entry) const {
    if (kNamesIgnoreCase) return kCodePageAsStored;
    if ((entry.GPFlags & kFlagUtf8Name) != 0) return kCodePageUtf8;
    if (NameCodePageDosHostsOnly && !MadeOnDosHost(entry.VersionMadeBy)) return kCodePageAsStored;
    return NameCodePage;
}

std::string TUnZipper::HostEntryName(const TZipHeaderInfo& entry) const {
    return NameToUtf8(entry.EntryName, NameCodePageOf(entry));
}

std::string TUnZipper::HostEntryDir(const TZipHeaderInfo& entry) const {
    return NameToUtf8(entry.EntryDir, NameCodePageOf(entry));
}

// ---- Reading the directory ----

bool TUnZipper::SignatureAt(std::int64_t position, std::uint32_t signature) {
    if (position < 0) return false;
    std::uint8_t sig[4] = {};
    m_zipStream->Seek(position, soFromBeginning);
    return m_zipStream->Read(sig, 4) == 4 && GetU32(sig) == signature;
}

void TUnZipper::ReadZip() {
    m_zipFileDate = FileDateOf(m_zipName);
    ReleaseDirectory();
    // A scan of an earlier read says nothing about this one.
    m_rebuilt = false;
    // Data in front of a single-volume archive (a program, a book's runtime)
    // that its offsets do not count.
    std::int64_t shift = 0;
    if (m_endCentral.FindEnd(*m_zipStream)) {
        m_currentVolume = m_endCentral.ThisDisk;
        if (m_endCentral.ThisDisk == 0) {
            m_mediaKind = kMediaSingle;
        } else if (m_zipName.size() > 1 && m_zipName[1] == ':' &&
                   platform::DriveType(LeftChars(m_zipName, 3)) == kDriveRemovable) {
            m_mediaKind = kMediaRemovable;
        } else {
            m_mediaKind = kMediaFixed;
        }
        if (m_endCentral.CentralStartDisk != m_currentVolume) {
            OpenVolume(m_endCentral.CentralStartDisk + 1);
        }
        // The central directory ends where the end record begins, so its
        // start is known from its size; the difference to the recorded
        // offset is the length of the data in front.
        bool found = false;
        if (m_endCentral.ThisDisk == 0 && m_endCentral.CentralStartDisk == 0 &&
            m_endCentral.CentralSize <= static_cast<std::uint64_t>(m_endCentral.CentralEnd)) {
            const std::int64_t start =
                m_endCentral.CentralEnd - static_cast<std::int64_t>(m_endCentral.CentralSize);
            if (m_endCentral.TotalEntries == 0 ? m_endCentral.CentralSize == 0
                                               : SignatureAt(start, kCentralSig)) {
                shift = start - static_cast<std::int64_t>(m_endCentral.CentralDirOffset);
                m_zipStream->Seek(start, soFromBeginning);
                found = true;
            }
        }
        if (!found &&
            SignatureAt(static_cast<std::int64_t>(m_endCentral.CentralDirOffset), kCentralSig)) {
            m_zipStream->Seek(-4, soFromCurrent);
            found = true;
        }
        if (found) {
            CreateDirectory();
        } else if (!ScanLocalHeaders()) {
            // Entries are counted and none can be found.
            if (m_endCentral.TotalEntries > 0) FailDirectory(archive_messages::kDamagedDirectory);
            ApplySortMode(SortMode);
            return;
        }
    } else {
        if (OnInCompleteZip) OnInCompleteZip(*this, IncompleteZipMode);
        if (IncompleteZipMode == izAssumeMulti) {
            throw EIncompleteZip(archive_messages::kIncompleteZip);
        }
        if (!ScanLocalHeaders()) {
            ApplySortMode(SortMode);
            return;
        }
    }
    TZipHeaderInfo::TNextVolume next;
    if (!m_rebuilt && m_mediaKind != kMediaSingle) next = [this] { return NextVolume(); };
    for (std::uint32_t i = 0; i < m_endCentral.TotalEntries; ++i) {
        auto entry = std::make_unique<TZipHeaderInfo>();
        TStream* stream = m_zipStream.get();
        if (!entry->ReadCentralHeader(stream, next)) {
            // A rebuilt directory takes what the records add; a directory
            // read from its records must have every one of them.
            if (m_rebuilt) break;
            FailDirectory(archive_messages::kDamagedDirectory);
        }
        if (m_rebuilt) {
            std::int32_t index = 0;
            if (m_directory->Find(entry.get(), index)) {
                TZipHeaderInfo* found = m_directory->Entry(index);
                const std::uint64_t offset = found->LocalOffset;
                found->Assign(*entry);
                found->LocalOffset = offset;
            }
        } else {
            if (shift < 0 && entry->LocalOffset < static_cast<std::uint64_t>(-shift)) {
                FailDirectory(archive_messages::kDamagedDirectory);
            }
            entry->LocalOffset += static_cast<std::uint64_t>(shift);
            m_directory->Add(std::move(entry));
        }
    }
    if (!m_rebuilt) {
        // More records than the end record counts.
        if (m_mediaKind == kMediaSingle) {
            std::uint8_t sig[4] = {};
            if (m_zipStream->Read(sig, 4) == 4 && GetU32(sig) == kCentralSig) {
                FailDirectory(archive_messages::kDamagedDirectory);
            }
        }
        CheckOverlaps();
    }
    m_volumeCount = m_endCentral.ThisDisk + 1;
    ApplySortMode(SortMode);
}

void TUnZipper::FailDirectory(const char* message) {
    ReleaseDirectory();
    m_endCentral.ResetEnd();
    m_zipFileDate = 0;
    ApplySortMode(SortMode);
    throw EFatalUnzipError(message);
}

void TUnZipper::CheckOverlaps() {
    // The directory is in (volume, offset) order: each entry's header, name
    // and data must end before the next entry's header begins. (The local
    // extra field and a data descriptor only add to that.)
    const std::int32_t n = m_directory->Count();
    for (std::int32_t i = 0; i + 1 < n; ++i) {
        const TZipHeaderInfo& e = *m_directory->Entry(i);
        const TZipHeaderInfo& next = *m_directory->Entry(i + 1);
        if (next.DiskNumberStart != e.DiskNumberStart) continue;
        const std::uint64_t end =
            e.LocalOffset + kLocalSize + e.FileNameLength + std::uint64_t{e.CompressedSize};
        if (next.LocalOffset < end) FailDirectory(archive_messages::kOverlappingEntries);
    }
}

bool TUnZipper::ScanLocalHeaders() {
    m_rebuilt = true;
    ReleaseDirectory();
    TStream& stream = *m_zipStream;
    stream.Seek(0, soFromBeginning);
    static constexpr std::uint8_t kSig[4] = {0x50, 0x4B, 0x03, 0x04};
    int matched = 0;
    std::int32_t sinceYield = 0;
    std::uint8_t c = 0;
    while (matched < 4) {
        if (stream.Read(&c, 1) != 1) return false;
        if (c == kSig[matched]) {
            ++matched;
        } else {
            matched = c == 0x50 ? 1 : 0;
        }
        if (c != 0x50 && ++sinceYield >= kScanYieldBytes) {
            sinceYield = 0;
            if (DoProcessMessages) {
                Application().ProcessMessages();
                if (m_cancelled) {
                    m_cancelled = false;
                    throw EUserCanceled(archive_messages::kUserAborted);
                }
            }
        }
    }
    stream.Seek(-4, soFromCurrent);
    CreateDirectory();
    while (true) {
        auto entry = std::make_unique<TZipHeaderInfo>();
        if (!entry->ReadLocalHeader(stream)) break;
        std::int64_t skip =
            static_cast<std::int64_t>(entry->CompressedSize) + entry->ExtraFieldLength;
        if (entry->HasDataDescriptor()) skip += kDataDescriptorSize;
        m_directory->Add(std::move(entry));
        stream.Seek(skip, soFromCurrent);
    }
    m_endCentral.ThisDisk = 0;
    m_endCentral.CentralDirOffset = static_cast<std::uint64_t>(stream.Position());
    m_endCentral.TotalEntries = static_cast<std::uint32_t>(m_directory->Count());
    m_currentVolume = 0;
    m_volumeCount = 1;
    return true;
}

TStream* TUnZipper::OpenVolume(std::int32_t n) {
    m_zipStream.reset();
    std::string name = m_zipName;
    if (!OnGetNextDisk) {
        // Without a handler only the archive's own file, the last volume,
        // is known by name.
        if (n - 1 != m_endCentral.ThisDisk) name.clear();
    } else {
        do {
            OnGetNextDisk(*this, n, name);
        } while (!name.empty() && !VolumeLabelMatches(n));
    }
    if (name.empty()) throw EUserCanceled(archive_messages::kNoNewDisk);
    if (m_unzipDepth > 0 && !m_runBaseDir.empty() && !IsAbsolutePath(name)) {
        name = m_runBaseDir + platform::kPathDelim + name;
    }
    m_zipStream = std::make_unique<TLFNFileStream>(name, platform::fmOpenRead);
    m_currentVolume = n - 1;
    m_zipFileDate = FileDateOf(name);
    m_zipName = name;
    return m_zipStream.get();
}

TStream* TUnZipper::NextVolume() {
    return OpenVolume(m_currentVolume + 2);
}

bool TUnZipper::VolumeLabelMatches(std::int32_t n) {
    if (m_mediaKind != kMediaRemovable) return true;
    const std::string label = LeftChars(VolumeLabelOf(LeftChars(m_zipName, 3)), 11);
    return RightChars(label, 3) == Format("%3.3d", n);
}

}  // namespace pagorix
