#include "launcher/work_dir.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/test_support.h"

namespace pagorix {
namespace {

using test::Bytes;
using test::TempDir;

constexpr char kDelim = platform::kPathDelim;

// The copy is the executable's tail, byte for byte, at sizes around the copy
// block; a file with nothing appended, or shorter than the runtime image,
// gives an empty copy, never the whole file.
TEST(Payload, CopyIsTheTailOfTheExecutable) {
    for (size_t size :
         {size_t{0}, size_t{1}, size_t{61439}, size_t{61440}, size_t{61441}, size_t{200000}}) {
        TempDir tmp;
        const Bytes exe = test::RandomBytes(static_cast<size_t>(PayloadOffset) + size, 1);
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

}  // namespace
}  // namespace pagorix
