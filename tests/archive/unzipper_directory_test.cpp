#include <gtest/gtest.h>

#include "archive/archive_errors.h"
#include "archive/unzipper.h"
#include "archive_test_support.h"
#include "framework/sysutils.h"
#include "platform/platform.h"

namespace pagorix {
namespace {

using test::BackendDouble;
using test::Bytes;
using test::ByteWriter;
using test::EntryPlan;
using test::TempDir;

void OpenArchive(TUnZipper& zip, const std::string& path) {
    zip.SetZipName(path);
    zip.OpenZip();
}

// The archive with data in front whose end record gives a wrong directory
// size as well as unadjusted offsets: neither finds the central directory,
// so only a scan of the local headers does.
Bytes WithoutFindableDirectory(const test::BuiltZip& built) {
    Bytes bytes = built.bytes;
    ++bytes[built.endPosition + 12];  // central size, low byte
    return bytes;
}

TEST(ReadZip, EmptyArchiveAndArchivesWithDataInFront) {
    const struct {
        const char* archive;
        std::int32_t count;
        bool rebuilt;
        std::uint32_t firstOffset;
    } cases[] = {
        // An empty archive has an empty directory, found without a scan.
        {"empty.zip", 0, false, 0},
        // Offsets that do not count the program in front: shifted by the
        // distance between the recorded and the actual directory start.
        {"sfx_deflate.zip", 7, false, 4096},
        {"sfx_adjusted.zip", 7, false, 4096},
        {"iz_deflate.zip", 7, false, 0},
    };
    for (const auto& c : cases) {
        TUnZipper zip;
        OpenArchive(zip, test::CorpusPath(c.archive));
        EXPECT_EQ(zip.Count(), c.count) << c.archive;
        EXPECT_EQ(zip.Rebuilt(), c.rebuilt) << c.archive;
        if (c.count > 0) {
            EXPECT_EQ(zip.SortedView()->Entry(0)->LocalOffset, c.firstOffset) << c.archive;
        }
    }
}

// ZIP64 archives: Info-ZIP zip -fz leaves the sizes and the directory's
// offset to the ZIP64 extra field and end record; Python's zipfile with
// force_zip64 writes ZIP64 local headers. zip -0 -s 64k: a stored entry of
// 150,000 bytes runs through all three volumes and is read on from each next
// one like the other methods. Every entry tests clean.
TEST(ReadZip, Zip64AndSplitStoredArchivesTestClean) {
    test::BackendDouble backend;
    const struct {
        const char* file;
        bool zip64End;
        std::int32_t entries;
    } cases[] = {
        {"zip64_made_by_infozip_zip_fz.zip", true, 2},
        {"zip64_made_by_python_force_zip64.zip", false, 2},
        {"zip_split_stored_64k.zip", false, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path =
            test::RequireInput(test::TestDataDir() + platform::kPathDelim + c.file);
        TUnZipper zip;
        zip.SetZipName(path);
        test::UseSplitNaming(zip, path);
        zip.TestMode = true;
        zip.DoAll = true;
        int bad = 0;
        zip.OnBadCRC = [&](TUnZipper&, std::uint32_t, std::uint32_t, std::int32_t) { ++bad; };
        EXPECT_EQ(zip.UnZip(), c.entries);  // a skipped entry is not counted
        EXPECT_EQ(bad, 0);
        EXPECT_EQ(zip.EndCentral().Zip64, c.zip64End);
    }
}

// The format allows 65,535 entries in a classic archive.
TEST(ReadZip, OpensTheMostEntriesAClassicArchiveHolds) {
    TempDir dir;
    std::vector<EntryPlan> entries(65535);
    for (size_t i = 0; i < entries.size(); ++i)
        entries[i].name = Format("%05u", static_cast<unsigned>(i));
    test::WriteFile(dir / "many.zip", test::BuildZip(entries).bytes);
    TUnZipper zip;
    OpenArchive(zip, dir / "many.zip");
    EXPECT_EQ(zip.Count(), 65535);
}

// The central directory cannot be found from the end record: the directory
// is rebuilt from the local headers and the central records merged into it.
TEST(ReadZip, RebuildsAndMergesWhenTheCentralDirectoryIsMisplaced) {
    TempDir dir;
    const std::vector<EntryPlan> entries = {{"a.txt", Bytes(10, 'a')},
                                            {"DOCS/b.htm", Bytes(20, 'b')}};
    test::BuiltZip built = test::BuildZip(entries, Bytes(300, 0x11));
    // Make the first central record point at where its header really lies,
    // so it merges; the second keeps its unadjusted offset and does not.
    Bytes bytes = WithoutFindableDirectory(built);
    const size_t field = built.centralPositions[0] + 42;
    bytes[field] = static_cast<std::uint8_t>(300 & 0xFF);
    bytes[field + 1] = static_cast<std::uint8_t>(300 >> 8);
    test::WriteFile(dir / "pre.zip", bytes);

    TUnZipper zip;
    OpenArchive(zip, dir / "pre.zip");
    ASSERT_TRUE(zip.Rebuilt());
    ASSERT_EQ(zip.Count(), 2);
    const TZipHeaderInfo& first = *zip.Directory()->Entry(0);
    const TZipHeaderInfo& second = *zip.Directory()->Entry(1);
    EXPECT_EQ(first.LocalOffset, 300u);
    EXPECT_EQ(first.VersionMadeBy, 20);  // merged from the central record
    EXPECT_EQ(first.ExternalAttrs, 0x20u);
    EXPECT_EQ(second.LocalOffset, 300u + built.localOffsets[1]);
    EXPECT_EQ(second.VersionMadeBy, 0);  // as read from its local header
    EXPECT_EQ(second.EntryDir, "DOCS\\");
}

TEST(ReadZip, BadDirectoriesEndAsDescribed) {
    TempDir dir;
    const std::vector<EntryPlan> three = {
        {"one", Bytes(5, '1')}, {"two", Bytes(5, '2')}, {"three", Bytes(5, '3')}};
    const test::BuiltZip good = test::BuildZip(three);

    // The third central record is cut: the end record follows 20 bytes of it.
    Bytes cutCentral(good.bytes.begin(), good.bytes.begin() + good.centralPositions[2] + 20);
    cutCentral.insert(cutCentral.end(), good.bytes.begin() + good.endPosition, good.bytes.end());

    // The second record's name length runs past the end of the file.
    Bytes longName = good.bytes;
    longName[good.centralPositions[1] + 28] = 0xFF;
    longName[good.centralPositions[1] + 29] = 0xFF;

    // Two central records name the same (volume, offset).
    Bytes duplicate = good.bytes;
    for (int k = 0; k < 4; ++k) {
        duplicate[good.centralPositions[1] + 42 + k] = duplicate[good.centralPositions[0] + 42 + k];
    }

    // The end record counts two entries of three.
    Bytes countTooLow = good.bytes;
    countTooLow[good.endPosition + 8] = 2;   // entries on this volume
    countTooLow[good.endPosition + 10] = 2;  // entries in total

    // The end record alone, claiming five entries in 230 bytes of directory.
    Bytes claims = test::BuildZip({}).bytes;
    claims[8] = claims[10] = 5;  // entries on this volume, in total
    claims[12] = 230;            // central directory size, low byte

    // The first entry's data runs over the second entry's header (the
    // overlapping-entry bomb: many entries sharing one stream).
    Bytes overlap = good.bytes;
    overlap[good.centralPositions[0] + 20] = 40;  // compressed size of "one"

    const struct {
        const char* what;
        Bytes bytes;
        const char* error;
    } cases[] = {
        {"central record cut short", cutCentral, "Damaged central directory"},
        {"name length past the end", longName, "Damaged central directory"},
        {"fewer entries counted than recorded", countTooLow, "Damaged central directory"},
        {"entries counted that are not there", claims, "Damaged central directory"},
        {"data overlapping the next entry", overlap, "Overlapping entries"},
        {"duplicate volume and offset", duplicate, "Duplicate Object index"},
        {"shorter than an end record", Bytes(21, 0x50), "Incomplete Zip File"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::WriteFile(dir / "bad.zip", c.bytes);
        TUnZipper zip;
        zip.SetZipName(dir / "bad.zip");
        try {
            zip.OpenZip();
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), c.error);
        }
    }
}

TEST(ReadZip, TruncatedArchiveFollowsTheIncompleteMode) {
    TempDir dir;
    const test::BuiltZip built = test::BuildZip(
        {{"one", Bytes(50, '1')}, {"two", Bytes(50, '2')}, {"three", Bytes(50, '3')}});
    // Cut inside the third local header.
    Bytes cut(built.bytes.begin(), built.bytes.begin() + built.localOffsets[2] + 12);
    test::WriteFile(dir / "cut.zip", cut);

    TUnZipper zip;
    zip.SetZipName(dir / "cut.zip");
    try {
        zip.OpenZip();
        FAIL() << "no exception";
    } catch (const EIncompleteZip& e) {
        EXPECT_STREQ(e.what(), "Incomplete Zip File");
    }

    // The handler may switch the mode; the complete local headers remain.
    int calls = 0;
    zip.OnInCompleteZip = [&](TUnZipper&, TIncompleteZipMode& mode) {
        ++calls;
        EXPECT_EQ(mode, izAssumeMulti);
        mode = izAssumeBad;
    };
    zip.OpenZip();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(zip.IncompleteZipMode, izAssumeBad);
    EXPECT_TRUE(zip.Rebuilt());
    ASSERT_EQ(zip.Count(), 2);
    EXPECT_EQ(zip.EntryNames(1), "two");

    // No local header at all: no directory.
    test::WriteFile(dir / "none.zip", Bytes(100, 0x50));
    TUnZipper none;
    none.IncompleteZipMode = izAssumeBad;
    none.SetZipName(dir / "none.zip");
    none.OpenZip();
    EXPECT_EQ(none.Count(), 0);
    EXPECT_EQ(none.Directory(), nullptr);
}

TEST(ScanLocalHeaders, YieldsEvery10240BytesAndHonoursCancel) {
    TempDir dir;
    // 30,000 bytes of other data, none of them 0x50, then the archive.
    const test::BuiltZip built = test::BuildZip({{"x", Bytes(3, 'x')}}, Bytes(30000, 0x11));
    test::WriteFile(dir / "sfx.zip", WithoutFindableDirectory(built));

    BackendDouble backend;
    {
        TUnZipper zip;
        OpenArchive(zip, dir / "sfx.zip");
        EXPECT_EQ(zip.Count(), 1);
        EXPECT_EQ(backend.pumps, 2);  // after 10,240 and 20,480 bytes
    }
    backend.pumps = 0;
    {
        TUnZipper zip;
        zip.DoProcessMessages = false;
        OpenArchive(zip, dir / "sfx.zip");
        EXPECT_EQ(backend.pumps, 0);
    }
    TUnZipper zip;
    backend.onPump = [&] { zip.CancelUnZip(); };
    zip.SetZipName(dir / "sfx.zip");
    try {
        zip.OpenZip();
        FAIL() << "no exception";
    } catch (const EUserCanceled& e) {
        EXPECT_STREQ(e.what(), "User Aborted Operation");
    }
    EXPECT_FALSE(zip.Cancelled());
}

TEST(UnZipper, ListingLinesAndSortedView) {
    TempDir dir;
    EntryPlan enc{"Docs/Page1.HTM", Bytes(1000, 'p')};
    enc.flags = 1;
    enc.method = 8;  // listed only; never decoded here
    EntryPlan root{"README.TXT", Bytes(3, 'r')};
    root.dosDateTime = 0x3A218C40;  // 2009-01-01 17:34:00
    EntryPlan empty{"sub/", {}};
    empty.dosDateTime = 0;  // invalid: the zero date-time
    test::WriteFile(dir / "list.zip", test::BuildZip({enc, root, empty}).bytes);

    TUnZipper zip;
    zip.SortMode = TZipSortMode::ByName;
    OpenArchive(zip, dir / "list.zip");
    TStringList lines;
    zip.FillList(lines);
    ASSERT_EQ(lines.Count(), 3);
    EXPECT_EQ(lines[0], "page1.htm#\t03/05/24\t05:39am\t    1000\t    1000\t100%\tdef\tdocs\\");
    EXPECT_EQ(lines[1], "readme.txt\t01/01/09\t05:34pm\t       3\t       3\t100%\tstor\t");
    EXPECT_EQ(lines[2], "\t12/30/99\t12:00am\t       0\t       0\t  0%\tstor\tsub\\");
    TStringList again;
    zip.FillList(again);
    EXPECT_EQ(again.Text(), lines.Text());

    EXPECT_EQ(zip.EntryNames(1), "README.TXT");
    try {
        zip.EntryNames(3);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "Index 3 is out of range");
    }
    EXPECT_THROW(zip.EntryNames(-1), EListError);

    zip.ApplySortMode(TZipSortMode::ByNone);
    EXPECT_EQ(zip.SortedView(), zip.Directory());
    EXPECT_EQ(zip.EntryNames(0), "Page1.HTM");
    zip.ApplySortMode(TZipSortMode::ByUnCompressedSize);
    EXPECT_NE(zip.SortedView(), zip.Directory());
    EXPECT_EQ(zip.EntryNames(2), "");

    // The directory is kept while the archive file is unchanged.
    const TSortedZip* directory = zip.Directory();
    zip.ReleaseZip();
    EXPECT_EQ(zip.ZipStream(), nullptr);
    zip.OpenZip();
    EXPECT_EQ(zip.Directory(), directory);

    zip.CloseZip();
    EXPECT_EQ(zip.Count(), 0);
    EXPECT_EQ(zip.ZipName(), "");
    EXPECT_EQ(zip.VolumeCount(), 1);
    EXPECT_EQ(zip.ZipStream(), nullptr);
}

// A name of "?" asks the reader with the open or folder dialog (the file
// dialog in the folder given before the "?"); a dialog cancelled keeps the
// old name and raises the cancel.
TEST(UnZipper, QuestionMarkAsksTheReader) {
    TUnZipper zip;
    TempDir dir;
    BackendDouble backend;
    backend.fileAnswer = dir / "chosen.zip";
    zip.SetZipName(dir.Path() + platform::kPathDelim + "?");
    ASSERT_EQ(backend.dialogs.size(), 1u);
    EXPECT_TRUE(backend.dialogs[0].rfind(dir.Path() + platform::kPathDelim) ==
                backend.dialogs[0].size() - dir.Path().size() - 1);
    EXPECT_TRUE(SameText(zip.ZipName(), dir / "chosen.zip"));
    backend.fileAnswer.clear();
    EXPECT_THROW(zip.SetZipName("?"), EUserCanceled);
    EXPECT_TRUE(SameText(zip.ZipName(), dir / "chosen.zip"));

    backend.dirAnswer = dir.Path() + platform::kPathDelim;
    zip.SetDestDir("?");
    EXPECT_EQ(zip.DestDir(), dir.Path());  // without the last separator
    backend.dirAnswer.clear();
    EXPECT_THROW(zip.SetDestDir("?"), EUserCanceled);
    EXPECT_EQ(zip.DestDir(), dir.Path());
}

}  // namespace
}  // namespace pagorix
