#include <gtest/gtest.h>

#include <memory>

#include "archive/archive_errors.h"
#include "archive/sorted_zip.h"
#include "archive/zip_records.h"
#include "archive_test_support.h"
#include "framework/date_time.h"
#include "framework/exceptions.h"

namespace pagorix {
namespace {

using test::Bytes;
using test::ByteWriter;

// An end record with the given comment, after `lead` bytes of filler.
Bytes EndRecord(std::uint16_t thisDisk, const Bytes& comment, size_t lead = 0) {
    ByteWriter w;
    w.Fill(lead, 0x41)                                    // filler before the record
        .U32(0x06054B50)                                  // end signature
        .U16(thisDisk)                                    // this disk
        .U16(thisDisk)                                    // central start disk
        .U16(1)                                           // entries here
        .U16(2)                                           // entries in total
        .U32(46)                                          // central size
        .U32(1234)                                        // central offset
        .U16(static_cast<std::uint16_t>(comment.size()))  // comment length
        .Raw(comment);                                    // comment
    return w.Data();
}

// Every field of the record nearest the end is read; the comment is left in
// the file, where CommentPosition points.
TEST(FindEnd, LocatesTheRecordNearestTheEndAndReadsItsFields) {
    const Bytes fakeInComment = EndRecord(7, {});
    struct Case {
        const char* what;
        Bytes bytes;
        bool found;
        std::uint16_t thisDisk, commentLength;
    } cases[] = {
        {"21 bytes", Bytes(21, 0x50), false, 0, 0},
        {"bare record", EndRecord(0, {}), true, 0, 0},
        {"record after data", EndRecord(3, {}, 1000), true, 3, 0},
        {"record after data, with a comment", EndRecord(0, Bytes(10, 'x'), 100), true, 0, 10},
        {"comment of 65,513 bytes", EndRecord(1, Bytes(65513, 'c')), true, 1, 65513},
        {"comment of 65,514 bytes hides it", EndRecord(1, Bytes(65514, 'c')), false, 0, 0},
        {"signature inside the comment wins", EndRecord(1, fakeInComment), true, 7, 0},
        {"no signature", Bytes(5000, 0x50), false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TMemoryStream stream(c.bytes);
        TEndCentral end;
        EXPECT_EQ(end.FindEnd(stream), c.found);
        if (!c.found) continue;
        EXPECT_EQ(end.ThisDisk, c.thisDisk);
        EXPECT_EQ(end.EntriesThisDisk, 1u);
        EXPECT_EQ(end.TotalEntries, 2u);
        EXPECT_EQ(end.CentralSize, 46u);
        EXPECT_EQ(end.CentralDirOffset, 1234u);
        EXPECT_EQ(end.CommentLength, c.commentLength);
        EXPECT_EQ(end.CommentPosition, c.bytes.size() - c.commentLength);
        EXPECT_TRUE(end.ZipComment.empty());
    }
}

TEST(EntryNames, SplitAfterTheLastBackslashOrColon) {
    const struct {
        std::string stored, dir, name;
    } cases[] = {
        {"DOCS/INTRO.HTM", "DOCS\\", "INTRO.HTM"},
        {"DOCS/", "DOCS\\", ""},
        {"C:README", "C:", "README"},
        {"a\\b/c.txt", "a\\b\\", "c.txt"},
        {"plain", "", "plain"},
        {"x/" + std::string(300, 'n'), "x\\", std::string(300, 'n')},
    };
    for (const auto& c : cases) {
        std::string dir, name;
        SplitEntryName(c.stored, dir, name);
        EXPECT_EQ(dir, c.dir) << c.stored;
        EXPECT_EQ(name, c.name) << c.stored;
    }
}

TEST(DosDateTime, InvalidFieldsGiveTheZeroDateTime) {
    const auto dos = [](int y, int mo, int d, int h, int mi, int s) {
        return static_cast<std::uint32_t>((y - 1980) << 25 | mo << 21 | d << 16 | h << 11 |
                                          mi << 5 | s / 2);
    };
    EXPECT_DOUBLE_EQ(DosDateTimeToDateTime(dos(2024, 3, 5, 6, 7, 8)),
                     EncodeDate(2024, 3, 5) + EncodeTime(6, 7, 8, 0));
    EXPECT_DOUBLE_EQ(DosDateTimeToDateTime(dos(1980, 1, 1, 0, 0, 0)), EncodeDate(1980, 1, 1));
    const std::uint32_t invalid[] = {0,
                                     dos(2024, 13, 1, 0, 0, 0),
                                     dos(2023, 2, 29, 0, 0, 0),
                                     dos(2024, 3, 5, 24, 0, 0),
                                     dos(2024, 3, 5, 1, 60, 0),
                                     dos(2024, 3, 5, 1, 1, 60)};
    for (const std::uint32_t value : invalid) {
        EXPECT_DOUBLE_EQ(DosDateTimeToDateTime(value), 0.0) << std::hex << value;
    }
}

TEST(DateTime, FormatsTheListingsDateAndTime) {
    const struct {
        TDateTime value;
        const char* format;
        const char* text;
    } cases[] = {
        {EncodeDate(2024, 3, 5) + EncodeTime(6, 7, 8, 0), "mm/dd/yy", "03/05/24"},
        {EncodeDate(2024, 3, 5) + EncodeTime(6, 7, 8, 0), "hh:mmam/pm", "06:07am"},
        {EncodeDate(1999, 12, 31) + EncodeTime(23, 59, 0, 0), "hh:mmam/pm", "11:59pm"},
        {EncodeTime(0, 5, 0, 0), "hh:mmam/pm", "12:05am"},
        {EncodeTime(12, 0, 0, 0), "hh:mmam/pm", "12:00pm"},
        {0.0, "mm/dd/yy", "12/30/99"},
        {EncodeDate(2000, 2, 29), "yyyy-mm-dd", "2000-02-29"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatDateTime(c.format, c.value), c.text);
    int y = 0, m = 0, d = 0;
    DecodeDate(EncodeDate(1600, 2, 29), y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 16000229);
}

// A central record of 46 bytes for the name, with chosen lengths.
Bytes CentralRecord(const std::string& name, std::uint16_t nameLength, std::uint16_t extra = 0) {
    ByteWriter w;
    w.U32(0x02014B50)       // central signature
        .U16(0x0314)        // made by
        .U16(20)            // needed
        .U16(0x0009)        // flags: encrypted, data descriptor
        .U16(8)             // method
        .U32(0x58652CE4)    // time, date
        .U32(0xDEADBEEF)    // CRC-32
        .U32(100)           // compressed size
        .U32(300)           // uncompressed size
        .U16(nameLength)    // name length
        .U16(extra)         // extra length
        .U16(3)             // comment length
        .U16(2)             // disk number
        .U16(1)             // internal attributes
        .U32(0x81A40020)    // external attributes
        .U32(0x1000)        // local header offset
        .Text(name)         // name
        .Fill(extra, 0xEE)  // extra field
        .Text("cmt");       // comment
    return w.Data();
}

TEST(ReadCentralHeader, ReadsEveryFieldAndSkipsExtraAndComment) {
    ByteWriter w;
    w.Fill(5, 0)  // something in front, so CentralOffset is not 0
        .Raw(CentralRecord("dir/File.txt", 12, 4))
        .Text("NEXT");
    TMemoryStream stream(w.Data());
    stream.SetPosition(5);
    TZipHeaderInfo info;
    TStream* s = &stream;
    ASSERT_TRUE(info.ReadCentralHeader(s));
    EXPECT_EQ(stream.Position(), 5 + 46 + 12 + 4 + 3);
    EXPECT_TRUE(info.Encrypted() && info.HasDataDescriptor() && info.HasComment());
    EXPECT_EQ(info.CRC32, 0xDEADBEEFu);
    EXPECT_EQ(info.DiskNumberStart, 2);
    EXPECT_EQ(info.ExternalAttrs, 0x81A40020u);
    EXPECT_EQ(info.LocalOffset, 0x1000u);
    EXPECT_EQ(info.CentralOffset, 5u);
    EXPECT_EQ(info.EntryDir, "dir\\");
    EXPECT_EQ(info.EntryName, "File.txt");
}

TEST(ReadCentralHeader, FailsOnShortOrForeignRecordsAndRewinds) {
    const Bytes whole = CentralRecord("name.txt", 8);
    struct Case {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"cut inside the fixed part", Bytes(whole.begin(), whole.begin() + 30)},
        {"name length past the end", CentralRecord("abc", 60000)},
        {"local signature", ByteWriter().U32(0x04034B50).Fill(60, 0).Data()},
        {"empty", {}},
    };
    for (const Case& c : cases) {
        ByteWriter w;
        w.Fill(3, 0).Raw(c.bytes);
        TMemoryStream stream(w.Data());
        stream.SetPosition(3);
        TZipHeaderInfo info;
        TStream* s = &stream;
        EXPECT_FALSE(info.ReadCentralHeader(s)) << c.what;
        EXPECT_EQ(stream.Position(), 3) << c.what;
    }
}

TEST(ReadCentralHeader, ContinuesARecordCutByTheEndOfAVolume) {
    const Bytes whole = CentralRecord("a.txt", 5);
    TMemoryStream first(Bytes(whole.begin(), whole.begin() + 20));
    TMemoryStream second(Bytes(whole.begin() + 20, whole.end()));
    TZipHeaderInfo info;
    TStream* s = &first;
    int calls = 0;
    ASSERT_TRUE(info.ReadCentralHeader(s, [&]() -> TStream* {
        ++calls;
        return &second;
    }));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(s, &second);
    EXPECT_EQ(info.EntryName, "a.txt");
    EXPECT_EQ(info.LocalOffset, 0x1000u);
}

TEST(ReadLocalHeader, LeavesTheStreamAfterTheName) {
    ByteWriter w;
    w.U32(0x04034B50)     // local signature
        .U16(20)          // needed
        .U16(8)           // flags: data descriptor
        .U16(0)           // method
        .U32(0x58652CE4)  // time, date
        .U32(0)           // CRC-32 (in the descriptor)
        .U32(0)           // compressed size
        .U32(0)           // uncompressed size
        .U16(5)           // name length
        .U16(9)           // extra length
        .Text("x/y.z")    // name
        .Fill(9, 0);      // extra field
    TMemoryStream stream(w.Data());
    TZipHeaderInfo info;
    ASSERT_TRUE(info.ReadLocalHeader(stream));
    EXPECT_EQ(stream.Position(), 35);
    EXPECT_EQ(info.ExtraFieldLength, 9);
    EXPECT_EQ(info.EntryDir, "x\\");
    EXPECT_EQ(info.EntryName, "y.z");
    EXPECT_EQ(info.VersionMadeBy, 0);
    EXPECT_EQ(info.LocalOffset, 0u);

    Bytes cut = w.Data();
    cut.resize(32);  // the name is cut
    TMemoryStream shortStream(cut);
    EXPECT_FALSE(info.ReadLocalHeader(shortStream));
    EXPECT_EQ(shortStream.Position(), 0);
}

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
