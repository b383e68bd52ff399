#include "streams/utilities.h"

#include <gtest/gtest.h>

#include "framework/exceptions.h"
#include "platform/platform.h"
#include "streams/string_resource.h"
#include "support/test_support.h"

namespace pagorix {
namespace {

TEST(Percent, RoundsHalvesToEvenAndCapsAt100) {
    const struct {
        std::int32_t size, done, expected;
    } cases[] = {
        {0, 5, 0},        // size below 1
        {-3, 5, 0},       //
        {200, 1, 0},      // 0.5 rounds to 0
        {200, 3, 2},      // 1.5 rounds to 2
        {8, 1, 12},       // 12.5 rounds to 12
        {8, 3, 38},       // 37.5 rounds to 38
        {100, 150, 100},  // capped
        {40000, 16000, 40},
        {40000, 40000, 100},
        {2147483647, 2147483647, 100},  // no overflow in the product
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PercentOf(c.size, c.done), c.expected) << c.size << " " << c.done;
        EXPECT_EQ(PercentOf64(c.size, c.done), c.expected) << c.size << " " << c.done;
    }
    EXPECT_EQ(PercentOf64(0, 10), 0);
    EXPECT_EQ(PercentOf64(10'000'000'000LL, 5'000'000'000LL), 50);
}

TEST(Substrings, RightAndLeftChars) {
    const struct {
        const char* text;
        std::int32_t n;
        const char* right;
        const char* left;
    } cases[] = {
        {"abc", 5, "abc", "abc"}, {"abcdef", 2, "ef", "ab"},         {"abcdef", 0, "", ""},
        {"", 3, "", ""},          {"abcdef", 6, "abcdef", "abcdef"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RightChars(c.text, c.n), c.right);
        EXPECT_EQ(LeftChars(c.text, c.n), c.left);
    }
}

// MakeDirs makes every missing parent and leaves what exists; a file is no
// directory and a directory no file.
TEST(Directories, MakeDirsAndExistence) {
    test::TempDir dir;
    const char d = platform::kPathDelim;
    const std::string deep = dir.Path() + d + "A" + d + "B" + d + "C" + d;
    MakeDirs(deep);
    EXPECT_TRUE(DirExistsAt(dir / "A"));
    EXPECT_TRUE(DirExistsAt(deep.substr(0, deep.size() - 1)));
    MakeDirs(deep);  // existing: nothing happens
    MakeDirs("");
    test::WriteFile(dir / "f.txt", std::string("x"));
    EXPECT_TRUE(FileExistsAt(dir / "f.txt"));
    EXPECT_FALSE(DirExistsAt(dir / "f.txt"));
    EXPECT_FALSE(FileExistsAt(dir.Path()));
    EXPECT_TRUE(DirExistsAt(dir.Path()));
    EXPECT_FALSE(DirExistsAt(dir / "missing"));
}

TEST(Directories, ChangeDirRaisesTheHostError) {
    test::TempDir dir;
    const std::string before = CurrentDirOf(0);
    ChangeDir(dir.Path());
    EXPECT_EQ(CurrentDirOf(0), dir.Path());
    ChangeDir(before);
    EXPECT_THROW(ChangeDir(dir / "missing"), EInOutError);
    EXPECT_EQ(CurrentDirOf(0), before);
}

// The end mark's id and ids outside the table find nothing, table names
// ignore case, and a missing table raises every time (it is not cached). The
// stream errors' texts, which come through it, are checked with the buffer
// stream.
TEST(StringTable, LookupById) {
    for (const char* table : {"S_Stream", "s_stream"}) {
        EXPECT_EQ(GetResString(table, 1), "Seek error");
        EXPECT_EQ(GetResString(table, 7), "Cannot write to a resource stream");
        for (const int id : {0, 9, -1})
            EXPECT_EQ(GetResString(table, id), "") << table << " " << id;
    }
    for (int attempt = 0; attempt < 2; ++attempt)
        EXPECT_THROW(GetResString("S_Nothing", 1), Exception);
}

}  // namespace
}  // namespace pagorix
