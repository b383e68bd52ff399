// The real book runtime with a book appended, as a reader starts it at a
// terminal (a pseudo-terminal the test reads and types into): the terminal
// backend, the fake browser as the desktop's text/html program (the private
// desktop of the launch tests), and a temporary directory of its own that
// must be empty afterwards.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "launcher/book_test_support.h"
#include "platform/platform.h"

namespace pagorix {
namespace {

const std::string kStub = PAGORIX_STUB_EXE;
const std::string kPage = "<html><body>Caf\xC3\xA9</body></html>";

// A book whose title, start page and password are not ASCII (UTF-8 in,
// Windows-1252 in the book): the reader types the password in the
// terminal's UTF-8, and the browser is given the page under its UTF-8 name.
TEST(BookRuntime, RunsABookAtATerminalAndLeavesNothing) {
    if (kStub.empty()) GTEST_SKIP() << "this build's runtime is not padded to a book image";
    test::TempDir dir;
    platform::MakeDirectory(dir / "tmp");
    BookManifest manifest;
    manifest.title = "Caf\xC3\xA9 book";
    manifest.startPage = "caf\xC3\xA9.htm";
    manifest.password = "p\xC3\xA4sswort";
    manifest.closing = "Thank you";
    const std::string book =
        test::MakePackedBook(dir.Path(), {{"caf\xC3\xA9.htm", kPage}}, manifest, kStub);
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setenv("TMPDIR", (dir / "tmp").c_str(), 1);
        setenv("PGX_BROWSER_RECORD", (dir / "record").c_str(), 1);
        execl(book.c_str(), book.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // What the runtime prints, read until `text` shows (or 30 seconds pass),
    // then `answer` typed.
    std::string all;
    size_t from = 0;
    const auto answerAfter = [&](const std::string& text, const std::string& answer) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (all.find(text, from) == std::string::npos &&
               std::chrono::steady_clock::now() < end) {
            pollfd fd{master, POLLIN, 0};
            if (poll(&fd, 1, 100) <= 0) continue;
            char buffer[512];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) break;
            all.append(buffer, static_cast<size_t>(n));
        }
        ASSERT_NE(all.find(text, from), std::string::npos) << all;
        from = all.find(text, from) + text.size();
        EXPECT_EQ(write(master, answer.data(), answer.size()), static_cast<ssize_t>(answer.size()));
    };
    answerAfter("Please enter the password :", "p\xC3\xA4sswort\n");
    // The fake browser ends at once: the hand-off box waits for the reader,
    // then the closing box.
    answerAfter("Choice (Enter: OK)?", "\n");
    answerAfter("Choice (Enter: OK)?", "\n");
    for (const char* text :
         {"== Caf\xC3\xA9 book ==", "The book is open in your web browser", "Thank you"})
        EXPECT_NE(all.find(text), std::string::npos) << text << "\n" << all;
    int status = -1;
    waitpid(pid, &status, 0);
    close(master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const test::BrowserRecord browser = test::ReadBrowserRecord(dir / "record");
    EXPECT_EQ(browser.args, std::vector<std::string>{browser.cwd + "/caf\xC3\xA9.htm"});
    EXPECT_EQ(browser.page, kPage);
    EXPECT_EQ(test::ListTree(dir / "tmp"), std::vector<std::string>{});
}

}  // namespace
}  // namespace pagorix
