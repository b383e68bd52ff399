// The ZIP records the engine reads: the end-of-central-directory record
// (TEndCentral) and one directory entry (TZipHeaderInfo), built from either a
// central directory record or a local file header. All integers on disk are
// little-endian. Readers never trust a length they read: every read is
// checked against what the stream actually delivered, and a record that
// cannot be read whole leaves the stream at the record's start.
//
// Entry names keep the archive's bytes; "/" becomes "\" and the name is split
// after its last backslash or colon into EntryDir (with that character) and
// EntryName. Names are never cut: one that the host cannot take is refused
// when it is extracted, so two long names cannot land on one file.
//
// ZIP64: the end record reader also reads the ZIP64 end record in front of
// it, and the central record reader takes sizes, the local offset and the
// volume from the ZIP64 extra field where the classic fields are all ones.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/object_list.h"
#include "framework/date_time.h"
#include "framework/stream.h"

namespace pagorix {

inline constexpr std::uint32_t kEndCentralSig = 0x06054B50;
inline constexpr std::uint32_t kCentralSig = 0x02014B50;
inline constexpr std::uint32_t kLocalSig = 0x04034B50;
inline constexpr std::int32_t kEndCentralSize = 22;
inline constexpr std::int32_t kCentralSize = 46;
inline constexpr std::int32_t kLocalSize = 30;
inline constexpr std::int32_t kDataDescriptorSize = 16;
inline constexpr std::int32_t kMaxEndSearch = 65535;
inline constexpr std::uint32_t kZip64EndSig = 0x06064B50;
inline constexpr std::uint32_t kZip64LocatorSig = 0x07064B50;
inline constexpr std::int32_t kZip64EndSize = 56;
inline constexpr std::int32_t kZip64LocatorSize = 20;
inline constexpr std::uint16_t kZip64ExtraId = 0x0001;

inline constexpr std::uint16_t kFlagEncrypted = 0x0001;
inline constexpr std::uint16_t kFlagDataDescriptor = 0x0008;

// The listing's short name of a compression method ("" for unknown ones).
std::string MethodShortName(std::uint16_t method);

// The calendar value of a DOS date-time (time in the low word); the zero
// date-time when the fields do not form a valid date and time.
TDateTime DosDateTimeToDateTime(std::uint32_t dosDateTime);

// Splits a stored name: "/" turned into "\", then cut after the last "\" or ":".
void SplitEntryName(std::string stored, std::string& entryDir, std::string& entryName);

std::uint16_t GetU16(const std::uint8_t* p);
std::uint32_t GetU32(const std::uint8_t* p);

class TZipHeaderInfo : public TListObject {
public:
    // Hands back the stream of the next volume; may replace the stream.
    using TNextVolume = std::function<TStream*()>;

    std::string ClassName() const override { return "TZipHeaderInfo"; }

    std::uint16_t VersionMadeBy = 0;
    std::uint16_t VersionNeeded = 0;
    std::uint16_t GPFlags = 0;
    std::uint16_t CompressionMethod = 0;
    std::uint32_t DateTime = 0;
    std::uint32_t CRC32 = 0;
    std::uint32_t CompressedSize = 0;
    std::uint32_t UncompressedSize = 0;
    std::uint16_t FileNameLength = 0;
    std::uint16_t ExtraFieldLength = 0;
    std::uint16_t CommentLength = 0;
    std::uint16_t DiskNumberStart = 0;
    std::uint16_t InternalAttrs = 0;
    std::uint32_t ExternalAttrs = 0;
    // 64-bit: ZIP64 archives, and archives behind data in front, put local
    // headers past 4 GiB.
    std::uint64_t LocalOffset = 0;
    std::uint64_t CentralOffset = 0;
    std::string EntryName;
    std::string EntryDir;
    std::string EntryComment;  // never filled by the readers
    bool Selected = false;
    // A ZIP64 size of 4 GiB or more: the entry is listed but not extracted.
    bool TooLarge = false;

    bool Encrypted() const { return (GPFlags & kFlagEncrypted) != 0; }
    bool HasDataDescriptor() const { return (GPFlags & kFlagDataDescriptor) != 0; }
    bool HasComment() const { return CommentLength != 0; }

    // Copies every field of source; a source of another class raises
    // EConvertError.
    void Assign(const TListObject& source);
    void AssignTo(TListObject& dest) const;

    // Reads one central record at the stream's position. nextVolume, when
    // given, continues a record cut by the end of a volume.
    bool ReadCentralHeader(TStream*& stream, const TNextVolume& nextVolume = nullptr);
    // Reads one local header; the stream is left just after the name.
    bool ReadLocalHeader(TStream& stream);

private:
    bool ReadName(TStream& stream, std::int64_t start, std::uint16_t length);
    // Takes the sizes, offset and volume that the central record left to its
    // ZIP64 extra field.
    void ApplyZip64Extra(const std::string& extra);
};

class TEndCentral : public TListObject {
public:
    TEndCentral() { ResetEnd(); }
    std::string ClassName() const override { return "TEndCentral"; }

    std::uint32_t EndSignature = kEndCentralSig;
    std::uint16_t ThisDisk = 0;
    std::uint16_t CentralStartDisk = 0;
    // Counts, size and offset are widened for the ZIP64 end record, which
    // FindEnd reads when the classic record points at one.
    std::uint32_t EntriesThisDisk = 0;
    std::uint32_t TotalEntries = 0;
    std::uint64_t CentralSize = 0;
    std::uint64_t CentralDirOffset = 0;
    std::uint16_t CommentLength = 0;
    std::string ZipComment;  // never filled by FindEnd
    std::uint64_t CommentPosition = 0;
    // Where the central directory ends in the stream: the start of the ZIP64
    // end record, else of the end record; -1 before FindEnd found one.
    std::int64_t CentralEnd = -1;
    bool Zip64 = false;

    void ResetEnd();
    void Assign(const TListObject& source);
    void AssignTo(TListObject& dest) const;
    // Finds the end record nearest the end of the stream, and the ZIP64 end
    // record in front of it when there is one.
    bool FindEnd(TStream& stream);

private:
    void ReadZip64End(TStream& stream);
};

}  // namespace pagorix
