// Links are no owner files, and tree removal never follows them. (Owner
// locks between processes, a holder's death and programs it starts are
// shown by the launcher's runs that are killed.)
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/test_support.h"

namespace pagorix::platform {
namespace {

using test::TempDir;

TEST(OwnerLockPosix, ALinkIsNoOwnerFile) {
    TempDir dir;
    test::WriteFile(dir / "target", "x");
    ASSERT_EQ(symlink((dir / "target").c_str(), (dir / "owner").c_str()), 0);
    EXPECT_FALSE(OwnerLock::TryTake(dir / "owner").Held());
}

TEST(RemoveTreeLinks, LinksAreRemovedNotFollowed) {
    TempDir dir;
    const std::string outside = dir / "outside";
    const std::string tree = dir / "tree";
    ASSERT_TRUE(MakeDirectory(outside));
    test::WriteFile(outside + "/keep", "keep");
    ASSERT_TRUE(MakeDirectory(tree));
    ASSERT_EQ(symlink(outside.c_str(), (tree + "/to-dir").c_str()), 0);
    ASSERT_EQ(symlink((outside + "/keep").c_str(), (tree + "/to-file").c_str()), 0);
    // A tree that is itself a link is left alone.
    ASSERT_EQ(symlink(outside.c_str(), (dir / "link").c_str()), 0);
    EXPECT_FALSE(RemoveTree(dir / "link"));
    EXPECT_TRUE(RemoveTree(tree));
    EXPECT_EQ(FileAttributes(tree), -1);
    EXPECT_EQ(test::ReadText(outside + "/keep"), "keep");
}

}  // namespace
}  // namespace pagorix::platform
