#include "archive/sorted_zip.h"

#include "framework/sysutils.h"
#include "streams/utilities.h"

namespace pagorix {

namespace {

// The platform's case-insensitive comparison: ASCII letters folded to upper
// case, the difference of the first differing characters or of the lengths.
int CompareFolded(const std::string& a, const std::string& b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        auto ca = static_cast<unsigned char>(a[i]);
        auto cb = static_cast<unsigned char>(b[i]);
        if (ca >= 'a' && ca <= 'z') ca = static_cast<unsigned char>(ca - 32);
        if (cb >= 'a' && cb <= 'z') cb = static_cast<unsigned char>(cb - 32);
        if (ca != cb) return static_cast<int>(ca) - static_cast<int>(cb);
    }
    return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

// Largest first, as unsigned values: sizes and offsets past 2 GiB must not
// turn negative.
int LargerFirst(std::uint32_t a, std::uint32_t b) {
    return b > a ? 1 : -1;
}

}  // namespace

std::int32_t CompressionRatio(const TZipHeaderInfo& entry) {
    return PercentOf64(entry.UncompressedSize, entry.CompressedSize);
}

int TSortedZip::Compare(const TListObject* key1, const TListObject* key2) const {
    const auto& a = *static_cast<const TZipHeaderInfo*>(key1);
    const auto& b = *static_cast<const TZipHeaderInfo*>(key2);
    switch (SortMode) {
        case TZipSortMode::ByName:
            return CompareFolded(a.EntryDir + a.EntryName, b.EntryDir + b.EntryName);
        case TZipSortMode::ByFileName:
            return CompareFolded(a.EntryName, b.EntryName);
        case TZipSortMode::ByDirectoryName:
            return CompareFolded(a.EntryDir, b.EntryDir);
        case TZipSortMode::ByDate:
            return DosDateTimeToDateTime(a.DateTime) < DosDateTimeToDateTime(b.DateTime) ? 1 : -1;
        case TZipSortMode::ByCompressedSize:
            return LargerFirst(a.CompressedSize, b.CompressedSize);
        case TZipSortMode::ByUnCompressedSize:
            return LargerFirst(a.UncompressedSize, b.UncompressedSize);
        case TZipSortMode::ByRate:
            return CompressionRatio(b) - CompressionRatio(a);
        case TZipSortMode::ByNone:
            if (a.DiskNumberStart != b.DiskNumberStart) {
                return static_cast<int>(a.DiskNumberStart) - static_cast<int>(b.DiskNumberStart);
            }
            if (a.LocalOffset != b.LocalOffset) return a.LocalOffset < b.LocalOffset ? -1 : 1;
            return 0;
    }
    return -1;
}

}  // namespace pagorix
