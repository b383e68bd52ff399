#include "archive/zip_records.h"

#include <vector>

#include "framework/exceptions.h"
#include "streams/utilities.h"

namespace pagorix {

std::uint16_t GetU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t GetU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::string MethodShortName(std::uint16_t method) {
    static constexpr const char* kNames[] = {"STOR", "SHR", "RED1", "RED2", "RED3",
                                             "RED4", "IMP", "TOK",  "DEF"};
    return method < 9 ? kNames[method] : "";
}

TDateTime DosDateTimeToDateTime(std::uint32_t dosDateTime) {
    const int second = static_cast<int>(dosDateTime & 0x1F) * 2;
    const int minute = static_cast<int>(dosDateTime >> 5 & 0x3F);
    const int hour = static_cast<int>(dosDateTime >> 11 & 0x1F);
    const int day = static_cast<int>(dosDateTime >> 16 & 0x1F);
    const int month = static_cast<int>(dosDateTime >> 21 & 0x0F);
    const int year = static_cast<int>(dosDateTime >> 25 & 0x7F) + 1980;
    TDateTime date = 0;
    TDateTime time = 0;
    if (!TryEncodeDate(year, month, day, date) || !TryEncodeTime(hour, minute, second, 0, time)) {
        return 0;
    }
    return date + time;
}

void SplitEntryName(std::string stored, std::string& entryDir, std::string& entryName) {
    SlashesToBackslashes(stored);
    const size_t cut = stored.find_last_of("\\:");
    if (cut == std::string::npos) {
        entryDir.clear();
        entryName = stored;
    } else {
        entryDir = stored.substr(0, cut + 1);
        entryName = stored.substr(cut + 1);
    }
}

namespace {

// The source of an Assign as the target's own class; another class raises the
// framework's conversion error.
template <class T>
const T* AssignSource(const TListObject& source, const TListObject& target) {
    const auto* from = dynamic_cast<const T*>(&source);
    if (from == nullptr) {
        throw EConvertError("Impossible d'assigner un " + source.ClassName() + " \xE0 un " +
                            target.ClassName());
    }
    return from;
}

}  // namespace

// ---- TZipHeaderInfo ----

void TZipHeaderInfo::Assign(const TListObject& source) {
    const auto* from = AssignSource<TZipHeaderInfo>(source, *this);
    if (from == this) return;
    VersionMadeBy = from->VersionMadeBy;
    VersionNeeded = from->VersionNeeded;
    GPFlags = from->GPFlags;
    CompressionMethod = from->CompressionMethod;
    DateTime = from->DateTime;
    CRC32 = from->CRC32;
    CompressedSize = from->CompressedSize;
    UncompressedSize = from->UncompressedSize;
    FileNameLength = from->FileNameLength;
    ExtraFieldLength = from->ExtraFieldLength;
    CommentLength = from->CommentLength;
    DiskNumberStart = from->DiskNumberStart;
    InternalAttrs = from->InternalAttrs;
    ExternalAttrs = from->ExternalAttrs;
    LocalOffset = from->LocalOffset;
    CentralOffset = from->CentralOffset;
    EntryName = from->EntryName;
    EntryDir = from->EntryDir;
    if (from->CommentLength > 0 && !from->EntryComment.empty()) {
        EntryComment = from->EntryComment;
    }
    Selected = from->Selected;
    TooLarge = from->TooLarge;
}

void TZipHeaderInfo::AssignTo(TListObject& dest) const {
    auto* to = dynamic_cast<TZipHeaderInfo*>(&dest);
    if (to == nullptr) {
        throw EConvertError("Impossible d'assigner un " + ClassName() + " \xE0 un " +
                            dest.ClassName());
    }
    to->Assign(*this);
}

bool TZipHeaderInfo::ReadName(TStream& stream, std::int64_t start, std::uint16_t length) {
    std::string name(length, '\0');
    if (length > 0 && stream.Read(name.data(), length) != length) {
        stream.Seek(start, soFromBeginning);
        return false;
    }
    SplitEntryName(std::move(name), EntryDir, EntryName);
    return true;
}

bool TZipHeaderInfo::ReadCentralHeader(TStream*& stream, const TNextVolume& nextVolume) {
    std::int64_t start = stream->Position();
    std::uint8_t buf[kCentralSize] = {};
    std::int32_t k = stream->Read(buf, kCentralSize);
    if (k < 0) k = 0;
    if (nextVolume && (k == 0 || (k < kCentralSize && k >= 4 && GetU32(buf) == kCentralSig))) {
        stream = nextVolume();
        if (stream == nullptr) return false;
        // The record now starts in the previous volume; a failure below
        // returns to the start of the part in this one.
        start = stream->Position();
        const std::int32_t more = stream->Read(buf + k, kCentralSize - k);
        if (more > 0) k += more;
    }
    if (k != kCentralSize || GetU32(buf) != kCentralSig) {
        stream->Seek(start, soFromBeginning);
        return false;
    }
    const std::uint16_t nameLength = GetU16(buf + 28);
    if (!ReadName(*stream, start, nameLength)) return false;
    const std::uint16_t extraLength = GetU16(buf + 30);
    std::string extra(extraLength, '\0');
    if (extraLength > 0 && stream->Read(extra.data(), extraLength) != extraLength) {
        stream->Seek(start, soFromBeginning);
        return false;
    }
    stream->Seek(GetU16(buf + 32), soFromCurrent);
    VersionMadeBy = GetU16(buf + 4);
    VersionNeeded = GetU16(buf + 6);
    GPFlags = GetU16(buf + 8);
    CompressionMethod = GetU16(buf + 10);
    DateTime = GetU32(buf + 12);
    CRC32 = GetU32(buf + 16);
    CompressedSize = GetU32(buf + 20);
    UncompressedSize = GetU32(buf + 24);
    FileNameLength = nameLength;
    ExtraFieldLength = GetU16(buf + 30);
    CommentLength = GetU16(buf + 32);
    DiskNumberStart = GetU16(buf + 34);
    InternalAttrs = GetU16(buf + 36);
    ExternalAttrs = GetU32(buf + 38);
    LocalOffset = GetU32(buf + 42);
    CentralOffset = static_cast<std::uint64_t>(start);
    EntryComment.clear();
    Selected = false;
    TooLarge = false;
    ApplyZip64Extra(extra);
    return true;
}

void TZipHeaderInfo::ApplyZip64Extra(const std::string& extra) {
    constexpr std::uint32_t kMax32 = 0xFFFFFFFF;
    const auto* p = reinterpret_cast<const std::uint8_t*>(extra.data());
    size_t at = 0;
    while (at + 4 <= extra.size()) {
        const std::uint16_t id = GetU16(p + at);
        const size_t size = GetU16(p + at + 2);
        const size_t body = at + 4;
        if (body + size > extra.size()) return;
        if (id == kZip64ExtraId) {
            // Only the fields whose classic value is all ones are there, in
            // this order.
            size_t field = body;
            const size_t end = body + size;
            auto take64 = [&](std::uint64_t& value) {
                if (field + 8 > end) return false;
                value = GetU32(p + field) | static_cast<std::uint64_t>(GetU32(p + field + 4)) << 32;
                field += 8;
                return true;
            };
            std::uint64_t value = 0;
            if (UncompressedSize == kMax32 && take64(value)) {
                UncompressedSize = value < kMax32 ? static_cast<std::uint32_t>(value) : kMax32;
                TooLarge = TooLarge || value >= kMax32;
            }
            if (CompressedSize == kMax32 && take64(value)) {
                CompressedSize = value < kMax32 ? static_cast<std::uint32_t>(value) : kMax32;
                TooLarge = TooLarge || value >= kMax32;
            }
            if (LocalOffset == kMax32 && take64(value)) LocalOffset = value;
            if (DiskNumberStart == 0xFFFF && field + 4 <= end) {
                DiskNumberStart = static_cast<std::uint16_t>(GetU32(p + field));
            }
            return;
        }
        at = body + size;
    }
}

bool TZipHeaderInfo::ReadLocalHeader(TStream& stream) {
    const std::int64_t start = stream.Position();
    std::uint8_t buf[kLocalSize] = {};
    if (stream.Read(buf, kLocalSize) != kLocalSize || GetU32(buf) != kLocalSig) {
        stream.Seek(start, soFromBeginning);
        return false;
    }
    const std::uint16_t nameLength = GetU16(buf + 26);
    if (!ReadName(stream, start, nameLength)) return false;
    VersionMadeBy = 0;
    VersionNeeded = GetU16(buf + 4);
    GPFlags = GetU16(buf + 6);
    CompressionMethod = GetU16(buf + 8);
    DateTime = GetU32(buf + 10);
    CRC32 = GetU32(buf + 14);
    CompressedSize = GetU32(buf + 18);
    UncompressedSize = GetU32(buf + 22);
    FileNameLength = nameLength;
    ExtraFieldLength = GetU16(buf + 28);
    CommentLength = 0;
    DiskNumberStart = 0;
    InternalAttrs = 0;
    ExternalAttrs = 0;
    LocalOffset = static_cast<std::uint64_t>(start);
    CentralOffset = 0;
    EntryComment.clear();
    Selected = false;
    TooLarge = false;
    return true;
}

// ---- TEndCentral ----

void TEndCentral::ResetEnd() {
    EndSignature = kEndCentralSig;
    ThisDisk = 0;
    CentralStartDisk = 0;
    EntriesThisDisk = 0;
    TotalEntries = 0;
    CentralSize = 0;
    CentralDirOffset = 0;
    CommentLength = 0;
    ZipComment.clear();
    CommentPosition = 0;
    CentralEnd = -1;
    Zip64 = false;
}

void TEndCentral::Assign(const TListObject& source) {
    const auto* from = AssignSource<TEndCentral>(source, *this);
    if (from == this) return;
    EndSignature = from->EndSignature;
    ThisDisk = from->ThisDisk;
    CentralStartDisk = from->CentralStartDisk;
    EntriesThisDisk = from->EntriesThisDisk;
    TotalEntries = from->TotalEntries;
    CentralSize = from->CentralSize;
    CentralDirOffset = from->CentralDirOffset;
    CommentLength = from->CommentLength;
    if (!from->ZipComment.empty()) {
        ZipComment = from->ZipComment;
        CommentLength = static_cast<std::uint16_t>(ZipComment.size());
    }
    CommentPosition = from->CommentPosition;
    CentralEnd = from->CentralEnd;
    Zip64 = from->Zip64;
}

void TEndCentral::AssignTo(TListObject& dest) const {
    auto* to = dynamic_cast<TEndCentral*>(&dest);
    if (to == nullptr) {
        throw EConvertError("Impossible d'assigner un " + ClassName() + " \xE0 un " +
                            dest.ClassName());
    }
    to->Assign(*this);
}

bool TEndCentral::FindEnd(TStream& stream) {
    const std::int64_t size = stream.Size();
    const auto n = static_cast<std::int32_t>(size < kMaxEndSearch ? size : kMaxEndSearch);
    if (n < kEndCentralSize) return false;
    std::vector<std::uint8_t> buf(static_cast<size_t>(n));
    stream.Seek(size - n, soFromBeginning);
    if (stream.Read(buf.data(), n) != n) return false;
    for (std::int32_t i = n - kEndCentralSize; i >= 0; --i) {
        if (buf[static_cast<size_t>(i)] != 0x50) continue;
        const std::uint8_t* p = buf.data() + i;
        if (GetU32(p) != kEndCentralSig) continue;
        ThisDisk = GetU16(p + 4);
        CentralStartDisk = GetU16(p + 6);
        EntriesThisDisk = GetU16(p + 8);
        TotalEntries = GetU16(p + 10);
        CentralSize = GetU32(p + 12);
        CentralDirOffset = GetU32(p + 16);
        CommentLength = GetU16(p + 20);
        CommentPosition = static_cast<std::uint64_t>(size - CommentLength);
        CentralEnd = size - n + i;
        Zip64 = false;
        ReadZip64End(stream);
        return true;
    }
    return false;
}

void TEndCentral::ReadZip64End(TStream& stream) {
    const std::int64_t locatorAt = CentralEnd - kZip64LocatorSize;
    if (locatorAt < kZip64EndSize) return;
    std::uint8_t locator[kZip64LocatorSize] = {};
    stream.Seek(locatorAt, soFromBeginning);
    if (stream.Read(locator, kZip64LocatorSize) != kZip64LocatorSize ||
        GetU32(locator) != kZip64LocatorSig) {
        return;
    }
    // The record normally lies right in front of its locator; the offset the
    // locator gives does not count data in front of the archive.
    std::uint8_t record[kZip64EndSize] = {};
    const std::int64_t recordAt = locatorAt - kZip64EndSize;
    stream.Seek(recordAt, soFromBeginning);
    if (stream.Read(record, kZip64EndSize) != kZip64EndSize || GetU32(record) != kZip64EndSig) {
        return;
    }
    auto u64 = [&](int at) {
        return GetU32(record + at) | static_cast<std::uint64_t>(GetU32(record + at + 4)) << 32;
    };
    auto count = [](std::uint64_t value) {
        return static_cast<std::uint32_t>(value < 0xFFFFFFFF ? value : 0xFFFFFFFF);
    };
    Zip64 = true;
    ThisDisk = static_cast<std::uint16_t>(GetU32(record + 16));
    CentralStartDisk = static_cast<std::uint16_t>(GetU32(record + 20));
    EntriesThisDisk = count(u64(24));
    TotalEntries = count(u64(32));
    CentralSize = u64(40);
    CentralDirOffset = u64(48);
    CentralEnd = recordAt;
}

}  // namespace pagorix
