// The real book runtime (pagorix-stub with a book appended) started as a
// reader starts it, on the tests' private Xvfb, so that it shows its windows
// with GTK. Each run gets a desktop of its own (HOME and XDG_* in the test's
// folder) whose program for text/html is the fake browser, and a temporary
// directory of its own that must be empty when the run ends. The reader is
// xdotool: the runtime's windows belong to another process, so they are
// found by their titles and given keys through the X server. There is no
// window manager: keys go where the pointer is, so the pointer is put on a
// window first.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "gtk_session.h"
#include "launcher/book_test_support.h"
#include "support/private_desktop.h"
#include "support/test_support.h"

namespace pagorix {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Env = std::map<std::string, std::string>;

const std::string kStub = PAGORIX_STUB_EXE;
const std::string kPage = "<html><body><h1>Chapter one</h1></body></html>\n";
constexpr auto kRunLimit = std::chrono::seconds(60);

void Xdotool(const std::string& arguments) {
    const std::string command = "xdotool " + arguments;
    g_spawn_command_line_sync(command.c_str(), nullptr, nullptr, nullptr, nullptr);
}

// The windows on screen whose titles match the pattern (a regular
// expression), by X window id.
std::vector<std::string> VisibleWindows(const std::string& pattern) {
    const std::string command = "xdotool search --onlyvisible --name '" + pattern + "'";
    gchar* out = nullptr;
    g_spawn_command_line_sync(command.c_str(), &out, nullptr, nullptr, nullptr);
    std::istringstream lines(out != nullptr ? out : "");
    g_free(out);
    std::vector<std::string> ids;
    for (std::string id; std::getline(lines, id);)
        if (!id.empty()) ids.push_back(id);
    return ids;
}

// Keys for a window: the pointer goes into it, then each command is one
// xdotool run ("type" takes the rest of its line).
void KeysTo(const std::string& id, const std::vector<std::string>& commands) {
    Xdotool("mousemove --window " + id + " 10 10");
    for (const std::string& command : commands)
        Xdotool(command);
}

// A book started as its own process with the desktop's environment, no
// terminal on its standard input and its output in a file. Killed if the
// test leaves it running.
class BookProcess {
public:
    BookProcess(const std::string& book, const Env& env, const std::string& log) {
        std::vector<std::string> entries;
        for (const auto& [name, value] : env)
            entries.push_back(name + "=" + value);
        std::vector<char*> envp;
        for (std::string& e : entries)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string program = book;
        char* argv[] = {program.data(), nullptr};
        m_pid = fork();
        if (m_pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            const int in = open("/dev/null", O_RDONLY);
            const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(in, 0);
            dup2(out, 1);
            dup2(out, 2);
            execve(argv[0], argv, envp.data());
            _exit(127);
        }
    }
    ~BookProcess() {
        if (Running()) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    BookProcess(const BookProcess&) = delete;
    BookProcess& operator=(const BookProcess&) = delete;

    bool Running() {
        if (m_pid <= 0 || m_status >= 0) return false;
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) != m_pid) return true;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    // The exit status, or -1 when the run is still going after the limit.
    int Wait() {
        Until([] { return false; });
        return m_status;
    }
    // Polls `found` every 50 ms while the book runs; false when the book
    // ended first or the limit passed.
    bool Until(const std::function<bool()>& found) {
        const auto end = Clock::now() + kRunLimit;
        while (Running() && Clock::now() < end) {
            if (found()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    // The first window on screen whose title matches, or "".
    std::string WaitForWindow(const std::string& pattern) {
        std::string id;
        Until([&] {
            const std::vector<std::string> ids = VisibleWindows(pattern);
            if (!ids.empty()) id = ids.front();
            return !id.empty();
        });
        return id;
    }

private:
    pid_t m_pid = -1;
    int m_status = -1;
};

// The reader answers the introduction and types the password. The browser
// is installed as a snap, which cannot read the system's temporary
// directory: the book is unpacked into "Pagorix books" in the home instead.
// The folder is removed again when the run made it, and kept (with what the
// reader put there) when it was there before. Snapd starts its programs
// through /snap/bin; a script of the test's stands in front of that word and
// hands on the page.
TEST(StubDesktopRun, TheReaderOpensABookWithASnapBrowser) {
    if (kStub.empty()) GTEST_SKIP() << "this build's runtime is not padded to a book image";
    PAGORIX_NEED_DISPLAY();
    if (std::system("command -v xdotool > /dev/null") != 0) GTEST_SKIP() << "no xdotool";
    test::TempDir dir;
    BookManifest manifest;
    manifest.title = "Xvfb Book";
    manifest.startPage = "index.html";
    manifest.introduction = "Open the book now?";
    manifest.password = "s3cret";
    const std::string book =
        test::MakePackedBook(dir.Path(), {{"index.html", kPage}}, manifest, kStub, 1);
    const std::string launcher = dir / "snap-launcher";
    test::WriteFile(launcher,
                    "#!/bin/sh\nshift\nexec '" + std::string(PAGORIX_FAKE_BROWSER) + "' \"$@\"\n");
    fs::permissions(launcher, fs::perms::owner_all);
    const fs::path folder = dir / "home/Pagorix books";
    const auto log = [&] { return test::ReadText(dir / "log"); };
    for (const bool folderThere : {false, true}) {
        SCOPED_TRACE(folderThere ? "the folder was there" : "no folder before");
        fs::remove_all(dir / "home");
        fs::remove(dir / "record");
        fs::create_directories(dir / "tmp");
        Env env = test::PrivateDesktop(dir.Path(), launcher + " /snap/bin/pagorix-test-browser %f")
                      .Environment();
        env["TMPDIR"] = dir / "tmp";
        env["PGX_BROWSER_RECORD"] = dir / "record";
        // The browser stays past the runtime's hand-off limit.
        env["PGX_BROWSER_DELAY_MS"] = "6000";
        if (folderThere) {
            fs::create_directories(folder);
            test::WriteFile((folder / "notes.txt").string(), "mine");
        }
        BookProcess run(book, env, dir / "log");
        // Until the introduction is answered the splash keeps its own
        // title, so only the box carries the book's.
        const std::string introduction = run.WaitForWindow("^Xvfb Book$");
        ASSERT_FALSE(introduction.empty()) << "no introduction\n" << log();
        KeysTo(introduction, {"key Return"});
        const std::string password = run.WaitForWindow("^Password protection$");
        ASSERT_FALSE(password.empty()) << "no password box\n" << log();
        KeysTo(password, {"type s3cret", "key Return"});
        // While the browser shows the book, nothing of the runtime is on
        // screen: it waits without serving the display, so a window still
        // mapped then would stay there, frozen.
        ASSERT_TRUE(run.Until([&] { return test::Exists(dir / "record"); })) << log();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        EXPECT_EQ(VisibleWindows("^Xvfb Book$"), std::vector<std::string>{});
        EXPECT_EQ(run.Wait(), 0) << log();

        const test::BrowserRecord browser = test::ReadBrowserRecord(dir / "record");
        EXPECT_EQ(fs::path(browser.cwd).parent_path(), folder);
        EXPECT_EQ(browser.args, std::vector<std::string>{browser.cwd + "/index.html"});
        EXPECT_EQ(browser.page, kPage);
        if (folderThere) {
            EXPECT_EQ(test::ListTree(folder.string()), std::vector<std::string>{"notes.txt"});
            EXPECT_EQ(test::ReadText((folder / "notes.txt").string()), "mine");
        } else {
            EXPECT_FALSE(fs::exists(folder));
        }
        EXPECT_EQ(test::ListTree(dir / "tmp"), std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace pagorix
