#include <gtest/gtest.h>

#include <memory>

#include "archive/archive_errors.h"
#include "archive/sorted_zip.h"
#include "framework/exceptions.h"

namespace pagorix {
namespace {

std::unique_ptr<TZipHeaderInfo> Entry(const std::string& dir, const std::string& name,
                                      std::uint32_t offset, std::uint32_t size = 0,
                                      std::uint32_t dosDate = 0x58650000) {
    auto e = std::make_unique<TZipHeaderInfo>();
    e->EntryDir = dir;
    e->EntryName = name;
    e->LocalOffset = offset;
    e->UncompressedSize = size;
    e->CompressedSize = size / 2;
    e->DateTime = dosDate;
    return e;
}

// The local offsets of the list, in list order.
std::vector<std::uint32_t> Offsets(const TSortedZip& list) {
    std::vector<std::uint32_t> out;
    for (std::int32_t i = 0; i < list.Count(); ++i)
        out.push_back(list.Entry(i)->LocalOffset);
    return out;
}

TEST(SortedZip, OrdersAndPlacesEqualKeysAsDescribed) {
    // offset: name, size, date
    const struct {
        const char* dir;
        const char* name;
        std::uint32_t offset, size, date;
    } items[] = {
        {"b\\", "Same.txt", 10, 500, 0x58650000},  // 2024-03-05
        {"a\\", "same.TXT", 20, 900, 0x58650000},
        {"", "Zeta", 30, 100, 0x58660000},   // 2024-03-06, newest
        {"", "alpha", 40, 900, 0x00000000},  // invalid date: oldest
        {"B\\", "same.txt", 50, 0, 0x58650000},
    };
    const struct {
        TZipSortMode mode;
        std::vector<std::uint32_t> order;
    } cases[] = {
        {TZipSortMode::ByNone, {10, 20, 30, 40, 50}},
        // "B\same.txt" equals "b\Same.txt" ignoring case: the later one goes in front.
        {TZipSortMode::ByName, {40, 20, 50, 10, 30}},
        {TZipSortMode::ByFileName, {40, 50, 20, 10, 30}},
        {TZipSortMode::ByDirectoryName, {40, 30, 20, 50, 10}},
        // Newest first; equal dates keep the order they came in.
        {TZipSortMode::ByDate, {30, 10, 20, 50, 40}},
        // Largest first; equal sizes keep their order.
        {TZipSortMode::ByUnCompressedSize, {20, 40, 10, 30, 50}},
        {TZipSortMode::ByCompressedSize, {20, 40, 10, 30, 50}},
    };
    for (const auto& c : cases) {
        TSortedZip list(TDuplicates::Accept);
        list.SortMode = c.mode;
        for (const auto& it : items)
            list.Add(Entry(it.dir, it.name, it.offset, it.size, it.date));
        EXPECT_EQ(Offsets(list), c.order) << static_cast<int>(c.mode);
    }
}

TEST(SortedZip, RateModePutsTheHighestRatioFirst) {
    TSortedZip list(TDuplicates::Accept);
    list.SortMode = TZipSortMode::ByRate;
    const std::uint32_t sizes[][3] = {{1, 100, 10}, {2, 100, 90}, {3, 0, 0}, {4, 100, 50}};
    for (const auto& s : sizes) {
        auto e = Entry("", "x", s[0]);
        e->UncompressedSize = s[1];
        e->CompressedSize = s[2];
        list.Add(std::move(e));
    }
    EXPECT_EQ(Offsets(list), (std::vector<std::uint32_t>{2, 4, 1, 3}));
}

TEST(SortedZip, FindOnAnEmptyListAndDuplicatePolicies) {
    TSortedZip list(TDuplicates::Error);
    auto probe = Entry("", "a", 5);
    std::int32_t index = -1;
    EXPECT_FALSE(list.Find(probe.get(), index));
    EXPECT_EQ(index, 0);

    list.Add(Entry("", "a", 5));
    list.Add(Entry("", "b", 9));
    try {
        list.Add(Entry("", "other", 5));
        FAIL() << "no error for a duplicate (volume, offset)";
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "Duplicate Object index");
    }
    EXPECT_EQ(Offsets(list), (std::vector<std::uint32_t>{5, 9}));

    TSortedZip ignoring(TDuplicates::Ignore);
    ignoring.Add(Entry("", "a", 5));
    ignoring.Add(Entry("", "a2", 5));  // dropped, and freed with its unique_ptr
    EXPECT_EQ(ignoring.Count(), 1);
    EXPECT_EQ(static_cast<TZipHeaderInfo*>(ignoring.First())->EntryName, "a");
    EXPECT_EQ(ignoring.IndexOf(probe.get()), 0);

    EXPECT_THROW(list.Put(0, probe.get()), EListError);
}

// Capacities up to the limit are taken, past it or below the count refused.
TEST(ObjectList, CapacityAndIndexBounds) {
    TSortedZip list(TDuplicates::Accept);
    for (std::uint32_t i = 0; i < 20; ++i)
        list.Add(Entry("", "e", i));
    list.SetCapacity(65536);  // the most entries a classic archive holds, and more
    EXPECT_EQ(list.Capacity(), 65536);
    EXPECT_THROW(list.SetCapacity(kMaxListCapacity + 1), EListError);
    EXPECT_THROW(list.SetCapacity(3), EListError);  // below Count
    EXPECT_THROW(list.SetCount(-1), EListError);
    EXPECT_THROW(list.Get(20), EListError);
}

TEST(ObjectList, NeighbourWalksBothWays) {
    TSortedZip list(TDuplicates::Error);
    list.Add(Entry("", "a", 1));
    list.Add(Entry("", "b", 2));
    TListObject* first = list.Get(0);
    TListObject* last = list.Get(1);
    EXPECT_EQ(list.Neighbour(nullptr, true), first);
    EXPECT_EQ(list.Neighbour(nullptr, false), last);
    EXPECT_EQ(list.Neighbour(first, true), last);
    EXPECT_EQ(list.Neighbour(first, false), nullptr);
    EXPECT_EQ(list.Neighbour(last, true), nullptr);
    auto stranger = Entry("", "z", 3);
    try {
        list.Neighbour(stranger.get(), true);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "tObject TZipHeaderInfo not in item list");
    }
}

TEST(ObjectList, StreamingNeedsRegisteredClasses) {
    TSortedZip list(TDuplicates::Error);
    list.Add(Entry("", "a", 1));
    TMemoryStream stream;
    try {
        list.SaveToStream(stream);
        FAIL();
    } catch (const EClassNotFound& e) {
        EXPECT_STREQ(e.what(), "Source Class <TZipHeaderInfo> not registered");
    }

    RegisterListClass("TZipHeaderInfo",
                      {[] { return std::make_unique<TZipHeaderInfo>(); },
                       [](TListObject& o, TStream& s) {
                           s.ReadBuffer(&static_cast<TZipHeaderInfo&>(o).LocalOffset, 4);
                       },
                       [](const TListObject& o, TStream& s) {
                           s.WriteBuffer(&static_cast<const TZipHeaderInfo&>(o).LocalOffset, 4);
                       }});
    list.Add(Entry("", "b", 7));
    TMemoryStream saved;
    list.SaveToStream(saved);
    UnregisterListClass("TZipHeaderInfo");
    saved.SetPosition(0);
    TSortedZip loaded(TDuplicates::Accept);
    try {
        loaded.LoadFromStream(saved);
        FAIL();
    } catch (const EClassNotFound& e) {
        EXPECT_STREQ(e.what(), "Class <TZipHeaderInfo> not registered");
    }
    EXPECT_EQ(loaded.Duplicates, TDuplicates::Error);  // read before the items
}

}  // namespace
}  // namespace pagorix
