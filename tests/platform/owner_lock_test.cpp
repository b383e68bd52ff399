// Owner locks within one process, and removing a directory tree.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/test_support.h"

namespace pagorix::platform {
namespace {

using test::TempDir;

TEST(OwnerLock, HeldUntilReleasedDestroyedOrMovedOn) {
    TempDir dir;
    const std::string path = dir / "owner";
    EXPECT_FALSE(OwnerLock::TryTake(path).Held());  // no file yet
    OwnerLock owner = OwnerLock::Create(path);
    ASSERT_TRUE(owner.Held());
    EXPECT_TRUE(test::Exists(path));
    // Every other take fails while it is held, in this process too.
    EXPECT_FALSE(OwnerLock::TryTake(path).Held());
    OwnerLock moved = std::move(owner);
    EXPECT_FALSE(owner.Held());  // NOLINT(bugprone-use-after-move)
    EXPECT_FALSE(OwnerLock::TryTake(path).Held());
    moved.Release();
    EXPECT_TRUE(test::Exists(path));  // the file stays
    {
        OwnerLock taken = OwnerLock::TryTake(path);
        EXPECT_TRUE(taken.Held());
        EXPECT_FALSE(OwnerLock::TryTake(path).Held());
    }
    EXPECT_TRUE(OwnerLock::TryTake(path).Held());  // the destructor gave it up
    EXPECT_TRUE(RemoveFile(path));
}

TEST(OwnerLock, ADirectoryIsNoOwnerFile) {
    TempDir dir;
    ASSERT_TRUE(MakeDirectory(dir / "owner"));
    EXPECT_FALSE(OwnerLock::TryTake(dir / "owner").Held());
    EXPECT_FALSE(OwnerLock::Create(dir / "missing/owner").Held());
}

TEST(RemoveTree, RemovesEverythingBelow) {
    TempDir dir;
    const std::string root = dir / "tree";
    ASSERT_TRUE(MakeDirectory(root));
    ASSERT_TRUE(MakeDirectory(root + kPathDelim + "sub"));
    ASSERT_TRUE(MakeDirectory(root + kPathDelim + "sub" + kPathDelim + "deeper"));
    test::WriteFile(root + kPathDelim + "a.html", "a");
    test::WriteFile(root + kPathDelim + "sub" + kPathDelim + "b.png", "b");
    test::WriteFile(root + kPathDelim + "sub" + kPathDelim + "deeper" + kPathDelim + "c", "c");
    ChangeFileAttributes(root + kPathDelim + "a.html", faReadOnly);
    EXPECT_TRUE(RemoveTree(root));
    EXPECT_EQ(FileAttributes(root), -1);
    EXPECT_FALSE(RemoveTree(root));  // nothing there
    test::WriteFile(dir / "file", "f");
    EXPECT_FALSE(RemoveTree(dir / "file"));  // not a directory
    EXPECT_TRUE(test::Exists(dir / "file"));
}

}  // namespace
}  // namespace pagorix::platform
