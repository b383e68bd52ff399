#include "launcher/work_dir.h"

#include <gtest/gtest.h>

#include "framework/exceptions.h"
#include "platform/platform.h"
#include "support/test_support.h"

namespace pagorix {
namespace {

using test::Bytes;
using test::TempDir;

constexpr char kDelim = platform::kPathDelim;

TEST(WorkDirectory, TwoRunsGetTwoPrivateDirectories) {
    TempDir tmp;
    const std::string a = MakeWorkDirectory(tmp.Path());
    const std::string b = MakeWorkDirectory(tmp.Path());
    EXPECT_NE(a, b);
    for (const auto& dir : {a, b}) {
        EXPECT_EQ(dir.back() == kDelim, false);
        EXPECT_EQ(dir.rfind(tmp.Path() + kDelim + "kbm", 0), 0u) << dir;
        EXPECT_NE(platform::FileAttributes(dir) & platform::faDirectory, 0);
    }
    // Only the two directories were made: no unique temporary file is left.
    EXPECT_EQ(platform::ListDirectory(tmp.Path()).size(), 2u);
}

TEST(WorkDirectory, DefaultsToTheSystemTemporaryDirectory) {
    const std::string dir = MakeWorkDirectory();
    EXPECT_EQ(dir.rfind(platform::TempDirectory() + "kbm", 0), 0u) << dir;
    EXPECT_TRUE(RemoveWorkDirectory(dir, platform::CurrentDirectory()));
}

Bytes Executable(size_t payloadSize) {
    Bytes exe = test::RandomBytes(static_cast<size_t>(PayloadOffset), 1);
    const Bytes payload = test::RandomBytes(payloadSize, 2);
    exe.insert(exe.end(), payload.begin(), payload.end());
    return exe;
}

// The copy is the executable's tail, byte for byte, at sizes around the copy
// block; a file with nothing appended, or shorter than the runtime image,
// gives an empty copy, never the whole file.
TEST(Payload, CopyIsTheTailOfTheExecutable) {
    for (size_t size :
         {size_t{0}, size_t{1}, size_t{61439}, size_t{61440}, size_t{61441}, size_t{200000}}) {
        TempDir tmp;
        const Bytes exe = Executable(size);
        test::WriteFile(tmp / "book", exe);
        const std::string work = MakeWorkDirectory(tmp.Path());
        CopyPayload({tmp / "book", PayloadOffset}, work);
        const Bytes copy = test::ReadFile(work + kDelim + "PAGORIX.ZIP");
        ASSERT_EQ(copy.size(), size);
        EXPECT_TRUE(std::equal(copy.begin(), copy.end(), exe.begin() + PayloadOffset));
    }
    TempDir tmp;
    test::WriteFile(tmp / "short", Bytes(100, 7));
    CopyPayload({tmp / "short", PayloadOffset}, tmp.Path());
    EXPECT_TRUE(test::ReadFile(tmp / "PAGORIX.ZIP").empty());
}

TEST(Payload, FailuresRaiseTheFrameworkOpenError) {
    TempDir tmp;
    test::WriteFile(tmp / "book", Executable(10));
    const std::string missingDir = tmp / "not-made";
    try {
        CopyPayload({tmp / "book", PayloadOffset}, missingDir);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), "Ne peut ouvrir le fichier " + missingDir + kDelim + "PAGORIX.ZIP");
    }
    try {
        CopyPayload({tmp / "no-book", PayloadOffset}, tmp.Path());
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), "Ne peut ouvrir le fichier " + (tmp / "no-book"));
    }
}

TEST(WorkDirectory, RemovalLeavesTheDirectoryFirstAndKeepsStrangersFiles) {
    TempDir tmp;
    const std::string work = MakeWorkDirectory(tmp.Path());
    const std::string before = platform::CurrentDirectory();
    ASSERT_TRUE(platform::ChangeDirectory(work));
    test::WriteFile(work + kDelim + "left.txt", std::string("x"));
    EXPECT_FALSE(RemoveWorkDirectory(work, tmp.Path()));
    EXPECT_EQ(platform::CurrentDirectory(), tmp.Path());
    EXPECT_TRUE(test::Exists(work + kDelim + "left.txt"));
    ASSERT_TRUE(platform::RemoveFile(work + kDelim + "left.txt"));
    EXPECT_TRUE(RemoveWorkDirectory(work, before));
    EXPECT_FALSE(test::Exists(work));
    EXPECT_EQ(platform::CurrentDirectory(), before);
}

TEST(Paths, DirectoryOfKeepsTheLastSeparator) {
    const std::string d(1, kDelim);
    EXPECT_EQ(DirectoryOf(d + "opt" + d + "book" + d + "run"), d + "opt" + d + "book" + d);
    EXPECT_EQ(DirectoryOf("run"), "");
}

}  // namespace
}  // namespace pagorix
