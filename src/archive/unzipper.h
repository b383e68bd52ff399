// TUnZipper: the archive component. It opens a ZIP archive (also one with
// data in front of it, a truncated one, or one split over volumes), keeps its
// directory in (volume, local offset) order plus a view in the user's sort
// order, selects entries by wildcard patterns, extracts them with password
// and CRC-32 checks, overwrite rules, progress events and cancellation, and
// writes a one-line-per-entry listing.
//
// Invariants:
// - m_directory owns every entry; m_sortedView is either the directory itself
//   (ByNone) or a separate non-owning list of the same entries.
// - While UnZip runs, the stream, the directory and CurrentEntry stay in
//   place: CloseZip or a new ZipName coming from an event handler inside
//   UnZip is recorded and carried out when UnZip leaves.
// - Archive names keep their backslashes; they become host paths only where
//   a file or directory is made.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/entry_names.h"
#include "archive/sorted_zip.h"
#include "archive/zip_cipher.h"
#include "archive/zip_records.h"
#include "framework/component.h"
#include "framework/date_time.h"
#include "framework/string_list.h"
#include "streams/buffer_stream.h"

namespace pagorix {

enum class TUZOverwriteMode : std::uint8_t { Prompt, Always, Never };
enum TIncompleteZipMode : std::uint8_t { izAssumeMulti, izAssumeBad };
// Why an entry was not written. After the first two:
// srUnsafePath     it would be written outside the destination directory, or
//                  under a name that is not a plain file name;
// srNameTooLong    a part of its name, or the whole path, is longer than the
//                  host takes (names are never cut);
// srCreateFailed   its file or one of its folders could not be made;
// srWriteFailed    a write failed or fell short (a full disk);
// srReadFailed     the archive ends inside its data;
// srBadData        its data decoded to another size than the one declared;
// srUnknownMethod  its compression method is not one the engine reads;
// srTooLarge       it is 4 GiB or larger (ZIP64).
// The partial file of a failed entry is removed.
enum TSkipReason : std::uint8_t {
    srBadPassword,
    srNoOverwrite,
    srUnsafePath,
    srNameTooLong,
    srCreateFailed,
    srWriteFailed,
    srReadFailed,
    srBadData,
    srUnknownMethod,
    srTooLarge
};

// MediaKind values.
inline constexpr int kMediaSingle = 0;
inline constexpr int kMediaRemovable = 1;
inline constexpr int kMediaFixed = 2;

inline constexpr std::int32_t kScanYieldBytes = 10240;

class ExtractionRun;

class TUnZipper : public TComponent {
public:
    using TStartUnZipInfoEvent = std::function<void(TUnZipper& sender, std::int32_t numFiles,
                                                    std::int64_t totalBytes, bool& stopNow)>;
    using TPercentEvent = std::function<void(TUnZipper& sender, std::int32_t percent)>;
    using TStartUnZipEvent = std::function<void(TUnZipper& sender, std::int32_t fileIndex,
                                                const std::string& fName, bool& skip)>;
    using TEndUnZipEvent =
        std::function<void(TUnZipper& sender, std::int32_t fileIndex, const std::string& fName)>;
    using TPromptForOverwriteEvent = std::function<void(
        TUnZipper& sender, bool& overWriteIt, std::int32_t fileIndex, std::string& fName)>;
    using TSkippingFileEvent =
        std::function<void(TUnZipper& sender, TSkipReason reason, std::int32_t fileIndex)>;
    using TBadPasswordEvent = std::function<void(TUnZipper& sender, std::int32_t fileIndex)>;
    using TBadCRCEvent = std::function<void(TUnZipper& sender, std::uint32_t calcCRC,
                                            std::uint32_t storedCRC, std::int32_t fileIndex)>;
    using TInCompleteZipEvent =
        std::function<void(TUnZipper& sender, TIncompleteZipMode& incompleteMode)>;
    using TGetNextDiskEvent =
        std::function<void(TUnZipper& sender, std::int32_t nextDisk, std::string& fName)>;

    explicit TUnZipper(TComponent* owner = nullptr);
    ~TUnZipper() override;
    void Loaded() override;

    // ---- Published properties ----
    const std::string& ZipName() const { return m_zipName; }
    virtual void SetZipName(const std::string& value);
    const std::string& DestDir() const { return m_destDir; }
    void SetDestDir(const std::string& value);
    TZipSortMode SortMode = TZipSortMode::ByNone;  // applied when the directory is next read
    bool RecreateDirs = false;
    TUZOverwriteMode OverwriteMode = TUZOverwriteMode::Prompt;
    TStringList FilesList;
    bool DoAll = false;
    TIncompleteZipMode IncompleteZipMode = izAssumeMulti;
    bool KeepZipOpen = false;
    bool DoProcessMessages = true;
    bool RetainAttributes = true;

    // The code page of entry names without the UTF-8 flag (bit 11), for hosts
    // whose file names are UTF-8 (POSIX): kCodePageAsStored (the default)
    // writes the stored bytes as they are; kCodePage437, kCodePage1252, ...
    // convert them. With NameCodePageDosHostsOnly only names made on MS-DOS,
    // OS/2 or Windows hosts (by "version made by") are converted; the others
    // pass as stored. Hosts with drive letters always take the stored bytes.
    std::uint16_t NameCodePage = kCodePageAsStored;
    bool NameCodePageDosHostsOnly = false;

    std::string Password;
    // Decode and check every selected entry without making any file or
    // directory.
    bool TestMode = false;

    TStartUnZipInfoEvent OnStartUnZipInfo;
    TPercentEvent OnFilePercentDone;
    TPercentEvent OnTotalPercentDone;
    TStartUnZipEvent OnStartUnZip;
    TEndUnZipEvent OnEndUnZip;
    TPromptForOverwriteEvent OnPromptForOverwrite;
    TSkippingFileEvent OnSkippingFile;
    TBadPasswordEvent OnBadPassword;
    TBadCRCEvent OnBadCRC;
    TInCompleteZipEvent OnInCompleteZip;
    TGetNextDiskEvent OnGetNextDisk;

    // ---- Operations ----
    std::int32_t UnZip();
    void OpenZip();
    void ReleaseZip();
    void CloseZip();
    void CancelUnZip() { m_cancelled = true; }
    std::int32_t Count() const;
    std::string EntryNames(std::int32_t index) const;
    void ApplySortMode(TZipSortMode mode);
    void FillList(TStringList& strings) const;

    // The entry's name and directory as they are written on this host (see
    // NameCodePage); the directory keeps the archive's backslashes. The full
    // path of a written file is also the FName of OnStartUnZip and
    // OnEndUnZip.
    std::string HostEntryName(const TZipHeaderInfo& entry) const;
    std::string HostEntryDir(const TZipHeaderInfo& entry) const;
    // The code page HostEntryName converts this entry's name from.
    std::uint16_t NameCodePageOf(const TZipHeaderInfo& entry) const;

    void ReadZip();
    bool ScanLocalHeaders();
    TStream* OpenVolume(std::int32_t n);
    TStream* NextVolume();
    bool VolumeLabelMatches(std::int32_t n);

    // ---- State shared with the record readers and the decompressors ----
    TSortedZip* Directory() const { return m_directory.get(); }
    TSortedZip* SortedView() const { return m_sortedView; }
    TZipHeaderInfo& CurrentEntry() { return m_currentEntry; }
    TEndCentral& EndCentral() { return m_endCentral; }
    TStream* ZipStream() const { return m_zipStream.get(); }
    std::int32_t CurrentVolume() const { return m_currentVolume; }
    std::int32_t VolumeCount() const { return m_volumeCount; }
    int MediaKind() const { return m_mediaKind; }
    TDateTime ZipFileDate() const { return m_zipFileDate; }
    bool Rebuilt() const { return m_rebuilt; }
    bool Cancelled() const { return m_cancelled; }
    std::uint32_t RunningCRC() const { return m_runningCRC; }
    std::int64_t TotalBytes() const { return m_totalBytes; }
    std::int64_t BytesDone() const { return m_bytesDone; }
    ZipCipher& Cipher() { return m_cipher; }

    // Reads and decrypts the 12-byte encryption header at the stream's
    // position; returns its check byte.
    std::uint8_t DecryptHeader(const std::string& password, TStream& stream);

private:
    friend class ExtractionRun;

    void ReleaseDirectory();
    bool SignatureAt(std::int64_t position, std::uint32_t signature);
    // Forgets the directory read so far and raises EFatalUnzipError.
    [[noreturn]] void FailDirectory(const char* message);
    void CheckOverlaps();
    void ForgetArchive();
    void CreateDirectory();
    TDateTime FileDateOf(const std::string& fileName) const;
    void ExtractEntry(std::int32_t index, ExtractionRun& run, std::int32_t& count,
                      const std::string& dest);
    void FinishDeferredRelease();
    void SkipRemaining(std::int32_t& count);
    // Reports an entry that was not written and takes it off the count.
    void FailEntry(TSkipReason reason, std::int32_t index, std::int32_t& count);

    std::string m_zipName;
    std::string m_destDir;
    std::unique_ptr<TSortedZip> m_directory;
    std::unique_ptr<TSortedZip> m_ownView;  // the separate view, when there is one
    TSortedZip* m_sortedView = nullptr;
    TZipHeaderInfo m_currentEntry;
    TEndCentral m_endCentral;
    std::unique_ptr<TLFNFileStream> m_zipStream;
    std::int32_t m_currentVolume = 0;
    std::int32_t m_volumeCount = 1;
    int m_mediaKind = kMediaSingle;
    TDateTime m_zipFileDate = 0;
    bool m_rebuilt = false;
    bool m_cancelled = false;
    std::uint32_t m_runningCRC = 0;
    std::int64_t m_totalBytes = 0;
    std::int64_t m_bytesDone = 0;
    ZipCipher m_cipher;

    // Re-entry from handlers while UnZip runs.
    int m_unzipDepth = 0;
    bool m_closePending = false;
    bool m_renamePending = false;
    std::string m_pendingName;
    // The current directory when UnZip started; relative volume names are
    // taken from it while UnZip has the destination as current directory.
    std::string m_runBaseDir;
};

}  // namespace pagorix
