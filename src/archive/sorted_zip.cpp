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

std::int32_t SignedDifference(std::uint32_t a, std::uint32_t b) {
    return static_cast<std::int32_t>(a - b);
}

}  // namespace

std::int32_t CompressionRatio(const TZipHeaderInfo& entry) {
    return PercentOf(static_cast<std::int32_t>(entry.UncompressedSize),
                     static_cast<std::int32_t>(entry.CompressedSize));
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
            return SignedDifference(b.CompressedSize, a.CompressedSize) > 0 ? 1 : -1;
        case TZipSortMode::ByUnCompressedSize:
            return SignedDifference(b.UncompressedSize, a.UncompressedSize) > 0 ? 1 : -1;
        case TZipSortMode::ByRate:
            return CompressionRatio(b) - CompressionRatio(a);
        case TZipSortMode::ByNone:
            if (a.DiskNumberStart != b.DiskNumberStart) {
                return static_cast<int>(a.DiskNumberStart) - static_cast<int>(b.DiskNumberStart);
            }
            {
                // The sign of the 32-bit difference, without its overflow.
                const std::int32_t d = SignedDifference(a.LocalOffset, b.LocalOffset);
                return d < 0 ? -1 : (d > 0 ? 1 : 0);
            }
    }
    return -1;
}

}  // namespace pagorix
