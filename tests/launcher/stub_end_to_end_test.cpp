// The real book runtime with a book appended, as a reader starts it: the
// terminal backend with no terminal attached, the fake browser as the
// desktop's text/html program (the private desktop of the launch tests), and
// a temporary directory of its own that must be empty afterwards.
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

using test::TempDir;

const std::string kStub = PAGORIX_STUB_EXE;

// The start page links to pages whose names are not plain ASCII words.
const std::string kPage =
    "<html><body><a href=\"C%23-notes.html\">notes</a> <a href=\"chapter%20one.htm\">one</a>"
    "</body></html>";

// A book made with the runtime, of a start page named in Windows-1252, the
// pages it links to and a picture in a folder.
std::string MakeBook(const TempDir& dir) {
    platform::MakeDirectory(dir / "tmp");
    const test::Bytes picture = test::RandomBytes(50000, 3);
    BookManifest manifest;
    manifest.title = "Caf\xC3\xA9 book";  // UTF-8 in, Windows-1252 in the book
    manifest.startPage = "caf\xC3\xA9.htm";
    manifest.closing = "Thank you";
    return test::MakePackedBook(dir.Path(),
                                {{"caf\xC3\xA9.htm", kPage},
                                 {"C#-notes.html", "#"},
                                 {"chapter one.htm", "1"},
                                 {"Pics/Cover.PNG", std::string(picture.begin(), picture.end())}},
                                manifest, kStub);
}

// The shell command that runs the book with no terminal attached.
std::string Command(const TempDir& dir, const std::string& book, const std::string& record,
                    const std::string& out) {
    return "TMPDIR='" + (dir / "tmp") + "' PGX_BROWSER_RECORD='" + record + "' '" + book +
           "' </dev/null >'" + out + "' 2>&1";
}

TEST(BookRuntime, RunsABookAndLeavesNothing) {
    if (kStub.empty()) GTEST_SKIP() << "this build's runtime is not padded to a book image";
    TempDir dir;
    const std::string book = MakeBook(dir);
    EXPECT_EQ(std::system(Command(dir, book, dir / "record", dir / "out").c_str()), 0);
    const std::string out = test::ReadText(dir / "out");
    EXPECT_NE(out.find("== Caf\xC3\xA9 book =="), std::string::npos) << out;
    // The fake browser ends at once: taken for a hand-off, answered by default.
    EXPECT_NE(out.find("[Caf\xC3\xA9 book]\nThe book is open in your web browser. Click OK when "
                       "you have finished reading.\n[O] OK\n-> OK"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("[Caf\xC3\xA9 book]\nThank you\n[O] OK\n-> OK"), std::string::npos) << out;

    const test::BrowserRecord browser = test::ReadBrowserRecord(dir / "record");
    EXPECT_EQ(browser.cwd.rfind(dir / "tmp/kbm", 0), 0u) << browser.cwd;
    // The page's name in the host's UTF-8.
    EXPECT_EQ(browser.args, std::vector<std::string>{browser.cwd + "/caf\xC3\xA9.htm"});
    EXPECT_EQ(browser.page, kPage);
    EXPECT_EQ(test::ListTree(dir / "tmp"), std::vector<std::string>{});
}

// The reader at a terminal (a pseudo-terminal) types a password that is not
// ASCII: the terminal's UTF-8 is taken into the book's Windows-1252.
TEST(BookRuntime, APasswordTypedAtTheTerminalInUtf8OpensTheBook) {
    if (kStub.empty()) GTEST_SKIP() << "this build's runtime is not padded to a book image";
    TempDir dir;
    platform::MakeDirectory(dir / "tmp");
    BookManifest manifest;
    manifest.title = "Locked";
    manifest.startPage = "index.html";
    manifest.password = "p\xC3\xA4sswort";
    const std::string book =
        test::MakePackedBook(dir.Path(), {{"index.html", kPage}}, manifest, kStub);
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
    std::string out;
    const auto answerAfter = [&](const std::string& text, const std::string& answer) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (out.find(text) == std::string::npos && std::chrono::steady_clock::now() < end) {
            pollfd fd{master, POLLIN, 0};
            if (poll(&fd, 1, 100) <= 0) continue;
            char buffer[512];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) break;
            out.append(buffer, static_cast<size_t>(n));
        }
        ASSERT_NE(out.find(text), std::string::npos) << out;
        out.clear();
        ASSERT_EQ(write(master, answer.data(), answer.size()), static_cast<ssize_t>(answer.size()));
    };
    answerAfter("Please enter the password :", "p\xC3\xA4sswort\n");
    // The fake browser ends at once: the hand-off box waits for the reader.
    answerAfter("Choice (Enter: OK)?", "\n");
    int status = -1;
    waitpid(pid, &status, 0);
    close(master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(test::ReadBrowserRecord(dir / "record").page, kPage);
    EXPECT_EQ(test::ListTree(dir / "tmp"), std::vector<std::string>{});
}

}  // namespace
}  // namespace pagorix
