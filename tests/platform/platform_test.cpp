#include "platform/platform.h"

#include <gtest/gtest.h>

#include <set>

#include "support/test_support.h"

namespace pagorix::platform {
namespace {

using test::TempDir;

// Every call makes a new directory named by the prefix and hex digits; under
// a parent that does not exist the call fails.
TEST(UniqueDirectory, EveryCallGivesANewDirectory) {
    TempDir parent;
    std::set<std::string> made;
    for (int i = 0; i < 50; ++i) {
        std::string path;
        ASSERT_TRUE(MakeUniqueDirectory(parent.Path(), "kbm", path));
        EXPECT_TRUE(made.insert(path).second) << path;
        const std::string name = path.substr(parent.Path().size() + 1);
        EXPECT_EQ(name.rfind("kbm", 0), 0u);
        EXPECT_EQ(name.find_first_not_of("0123456789ABCDEF", 3), std::string::npos) << name;
        EXPECT_NE(FileAttributes(path) & faDirectory, 0);
    }
    std::string path;
    EXPECT_FALSE(MakeUniqueDirectory(parent / "missing", "kbm", path));
    EXPECT_FALSE(test::Exists(path));
}

TEST(FileHandle, OpenModesAndFailures) {
    TempDir dir;
    const std::string name = dir / "f.bin";
    EXPECT_FALSE(FileHandle::Open(name, fmOpenRead).IsOpen());
    EXPECT_NE(FileHandle::Open(name, fmOpenRead).ErrorCode(), 0);
    {
        FileHandle f = FileHandle::Open(name, fmCreate);
        ASSERT_TRUE(f.IsOpen());
        EXPECT_EQ(f.Write("hello", 5), 5);
        EXPECT_EQ(f.Seek(1, kSeekBegin), 1);
        char buf[8] = {};
        EXPECT_EQ(f.Read(buf, 8), 4);
        EXPECT_STREQ(buf, "ello");
        EXPECT_EQ(f.Size(), 5);
    }
    // A directory is not a file to open.
    EXPECT_FALSE(FileHandle::Open(dir.Path(), fmOpenRead).IsOpen());
}

TEST(Files, ExistenceAttributesAndWildcards) {
    TempDir dir;
    test::WriteFile(dir / "page.htm", std::string("x"));
    EXPECT_TRUE(FileExists(dir / "page.htm"));
    EXPECT_TRUE(FileExists(dir / "*.htm"));
    EXPECT_FALSE(FileExists(dir / "*.gif"));
    EXPECT_FALSE(FileExists(dir.Path()));
    ASSERT_TRUE(ChangeFileAttributes(dir / "page.htm", faReadOnly));
    EXPECT_NE(FileAttributes(dir / "page.htm") & faReadOnly, 0);
    ASSERT_TRUE(ChangeFileAttributes(dir / "page.htm", faArchive));
    EXPECT_EQ(FileAttributes(dir / "page.htm") & faReadOnly, 0);
    EXPECT_EQ(FileAttributes(dir / "none"), -1);
}

TEST(Resources, RegisteredDataIsFoundWithoutRegardToCase) {
    static const std::uint8_t kData[] = {1, 2, 3};
    RegisterResource({"MyType", "MyName", kData});
    auto found = FindProgramResource("MYTYPE", "myname");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->size(), 3u);
    EXPECT_FALSE(FindProgramResource("MyType", "Other").has_value());
}

}  // namespace
}  // namespace pagorix::platform
