// TSortedZip: the archive directory as a sorted list of TZipHeaderInfo, each
// entry its own key, ordered by one of the TZipSortMode orders. The name
// orders and ByNone ascend; ByDate puts the newest first, the size orders the
// largest first and ByRate the highest ratio first. ByDate and the size
// orders never report equality, so equal entries keep the order they were
// added in; the other orders put a new equal entry in front of the old ones
// when duplicates are accepted.
#pragma once

#include <cstdint>

#include "archive/object_list.h"
#include "archive/zip_records.h"

namespace pagorix {

enum class TZipSortMode : std::uint8_t {
    ByName,
    ByFileName,
    ByDirectoryName,
    ByDate,
    ByCompressedSize,
    ByUnCompressedSize,
    ByRate,
    ByNone
};

// The listing's compression ratio: compressed x 100 / uncompressed rounded
// (halves to even), at most 100; 0 for an empty entry.
std::int32_t CompressionRatio(const TZipHeaderInfo& entry);

class TSortedZip : public TSortedObjectList {
public:
    explicit TSortedZip(TDuplicates duplicates) : TSortedObjectList(duplicates) {}

    TZipSortMode SortMode = TZipSortMode::ByNone;

    int Compare(const TListObject* key1, const TListObject* key2) const override;
    TZipHeaderInfo* Entry(std::int32_t index) const {
        return static_cast<TZipHeaderInfo*>(Get(index));
    }
};

}  // namespace pagorix
