// Owner locks between processes: another process cannot take a held lock;
// the lock goes with its holder's death and is not passed to programs it
// starts. Tree removal never follows a link.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/test_support.h"

namespace pagorix::platform {
namespace {

using test::TempDir;

// Whether another process can take the lock of `path` (and then gives it up).
bool OtherProcessCanTake(const std::string& path) {
    const pid_t pid = fork();
    if (pid == 0) _exit(OwnerLock::TryTake(path).Held() ? 1 : 0);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 1;
}

// Waits until the other end of the pipe is closed (by exit or exec).
void AwaitClose(int readEnd) {
    char c = 0;
    while (read(readEnd, &c, 1) > 0) {
    }
    close(readEnd);
}

TEST(OwnerLockBetweenProcesses, HeldReleasedDiedStartedProgram) {
    TempDir dir;
    const std::string path = dir / "owner";
    {
        OwnerLock owner = OwnerLock::Create(path);
        ASSERT_TRUE(owner.Held());
        EXPECT_FALSE(OtherProcessCanTake(path));
        owner.Release();
        EXPECT_TRUE(OtherProcessCanTake(path));
    }

    // A holder killed outright loses the lock.
    RemoveFile(path);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        close(ready[0]);
        OwnerLock owner = OwnerLock::Create(path);
        close(ready[1]);
        for (;;)
            pause();
    }
    close(ready[1]);
    AwaitClose(ready[0]);
    EXPECT_FALSE(OwnerLock::TryTake(path).Held());
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_TRUE(OwnerLock::TryTake(path).Held());

    // A program started while the lock is held (a browser that outlives the
    // run) does not keep it.
    OwnerLock owner = OwnerLock::TryTake(path);
    ASSERT_TRUE(owner.Held());
    ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
    const pid_t program = fork();
    if (program == 0) {
        close(ready[0]);
        execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    AwaitClose(ready[0]);  // closed by the exec
    owner.Release();
    EXPECT_TRUE(OwnerLock::TryTake(path).Held());
    kill(program, SIGKILL);
    waitpid(program, nullptr, 0);
}

TEST(OwnerLockBetweenProcesses, ALinkIsNoOwnerFile) {
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
