// The real book runtime (pagorix-stub with a book appended) started as a
// reader starts it, on the tests' private Xvfb, so that it shows its windows
// with GTK. Each run gets a desktop of its own (HOME and XDG_* in the test's
// folder) whose program for text/html is the fake browser, and a temporary
// directory of its own that must be empty when the run ends. The reader is xdotool: the runtime's
// windows belong to another process, so they are found by their titles and given keys and clicks
// through the X server. There is no window manager: keys go where the
// pointer is, so the pointer is put on a window first.
//
// The fake browser stays 6 seconds after it has recorded its page, so that
// the runtime never takes it for a browser that handed the page on and
// ended at once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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
// The large book: enough text that its unpacking lasts about a second, well
// beyond the time the test takes to see it begin and to click.
constexpr int kLargeFiles = 2;
constexpr size_t kLargeFileSize = 16 * 1024 * 1024;  // random bytes, base64 encoded

// What a program wrote on its standard output.
std::string Output(const std::vector<std::string>& argv) {
    std::vector<gchar*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<gchar*>(a.c_str()));
    args.push_back(nullptr);
    gchar* out = nullptr;
    g_spawn_sync(nullptr, args.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, &out,
                 nullptr, nullptr, nullptr);
    std::string text = out != nullptr ? out : "";
    g_free(out);
    return text;
}

void Xdotool(const std::string& arguments) {
    const std::string command = "xdotool " + arguments;
    g_spawn_command_line_sync(command.c_str(), nullptr, nullptr, nullptr, nullptr);
}

// The windows on screen whose titles match the pattern (a regular
// expression), by X window id.
std::vector<std::string> VisibleWindows(const std::string& pattern) {
    std::istringstream lines(Output({"xdotool", "search", "--onlyvisible", "--name", pattern}));
    std::vector<std::string> ids;
    for (std::string id; std::getline(lines, id);)
        if (!id.empty()) ids.push_back(id);
    return ids;
}

// A window's size on screen.
std::pair<int, int> WindowSize(const std::string& id) {
    std::istringstream lines(Output({"xdotool", "getwindowgeometry", "--shell", id}));
    int width = 0, height = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("WIDTH=", 0) == 0) width = std::stoi(line.substr(6));
        if (line.rfind("HEIGHT=", 0) == 0) height = std::stoi(line.substr(7));
    }
    return {width, height};
}

// Keys for a window: the pointer goes into it, then each command is one
// xdotool run ("type" takes the rest of its line).
void KeysTo(const std::string& id, const std::vector<std::string>& commands) {
    Xdotool("mousemove --window " + id + " 10 10");
    for (const std::string& command : commands)
        Xdotool(command);
}

// A picture of the whole screen, kept for people to look at.
void Screenshot(const fs::path& file) {
    Output({"import", "-window", "root", file.string()});
}

// A desktop of its own in `dir` whose program for web pages is `exec` (a
// desktop entry's command line), with the run's temporary directory and the
// fake browser's record and delay.
Env MakeDesktop(const test::TempDir& dir, const std::string& exec) {
    fs::create_directories(dir / "tmp");
    Env env = test::PrivateDesktop(dir.Path(), exec).Environment();
    env["TMPDIR"] = dir / "tmp";
    env["PGX_BROWSER_RECORD"] = dir / "record";
    env["PGX_BROWSER_DELAY_MS"] = "6000";
    return env;
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
        const auto end = Clock::now() + kRunLimit;
        while (Running() && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
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

class StubDesktopRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (kStub.empty()) GTEST_SKIP() << "this build's runtime is not padded to a book image";
        PAGORIX_NEED_DISPLAY();
        if (!test::HaveProgram("xdotool")) GTEST_SKIP() << "xdotool is not installed";
        fs::create_directories(dir / "source");
        test::WriteFile(dir / "source/index.html", kPage);
    }

    std::string MakeBook(BookManifest manifest) {
        manifest.startPage = "index.html";
        return test::MakePackedBook(dir.Path(), {}, std::move(manifest), kStub, 1);
    }
    // The fake browser as the desktop's program for web pages.
    Env PlainDesktop() { return MakeDesktop(dir, std::string(PAGORIX_FAKE_BROWSER) + " %f"); }

    // What is left in the run's temporary directory.
    std::vector<std::string> LeftInTmp() const { return test::ListTree(dir / "tmp"); }
    // A failed test says what the runtime printed.
    std::string Log() const { return test::Exists(dir / "log") ? test::ReadText(dir / "log") : ""; }

    test::TempDir dir;
};

// The reader answers the introduction and types the password; the right one
// opens the book in the browser, a wrong one gets the error box and ends the
// run. Either way nothing stays behind.
TEST_F(StubDesktopRun, TheReaderAnswersTheIntroductionAndThePassword) {
    struct Case {
        const char* typed;
        bool opens;
    };
    for (const Case& c : {Case{"wrong", false}, Case{"s3cret", true}}) {
        SCOPED_TRACE(c.typed);
        fs::remove_all(dir / "home");
        fs::remove(dir / "record");
        BookManifest manifest;
        manifest.title = "Xvfb Book";
        manifest.introduction = "Open the book now?";
        manifest.password = "s3cret";
        const std::string book = MakeBook(manifest);
        BookProcess run(book, PlainDesktop(), dir / "log");
        // Until the introduction is answered the splash keeps its own
        // title, so only the box carries the book's.
        const std::string introduction = run.WaitForWindow("^Xvfb Book$");
        ASSERT_FALSE(introduction.empty()) << "no introduction\n" << Log();
        KeysTo(introduction, {"key Return"});
        const std::string password = run.WaitForWindow("^Password protection$");
        ASSERT_FALSE(password.empty()) << "no password box\n" << Log();
        KeysTo(password, {std::string("type ") + c.typed, "key Return"});
        if (!c.opens) {
            const std::string error = run.WaitForWindow("^Erreur$");
            ASSERT_FALSE(error.empty()) << "no error box\n" << Log();
            KeysTo(error, {"key Return"});
        } else {
            // While the browser shows the book, nothing of the runtime is on
            // screen: it waits without serving the display, so a window
            // still mapped then would stay there, frozen.
            ASSERT_TRUE(run.Until([&] { return test::Exists(dir / "record"); })) << Log();
            std::this_thread::sleep_for(std::chrono::seconds(1));
            EXPECT_EQ(VisibleWindows("^Xvfb Book$"), std::vector<std::string>{});
        }
        EXPECT_EQ(run.Wait(), 0) << Log();

        const test::BrowserRecord browser = test::ReadBrowserRecord(dir / "record");
        if (c.opens) {
            EXPECT_EQ(fs::path(browser.cwd).parent_path(), fs::path(dir / "tmp"));
            EXPECT_EQ(fs::path(browser.cwd).filename().string().rfind("kbm", 0), 0u) << browser.cwd;
            EXPECT_EQ(browser.args, std::vector<std::string>{browser.cwd + "/index.html"});
            EXPECT_EQ(browser.page, kPage);
        } else {
            EXPECT_EQ(browser.cwd, "") << "the browser ran";
        }
        EXPECT_EQ(LeftInTmp(), std::vector<std::string>{});
    }
}

// Cancel clicked while a large book is being unpacked: the engine stops, the
// reader is told, the browser never starts and the work directory goes.
TEST_F(StubDesktopRun, CancelDuringTheExtractionOfALargeBookLeavesNothing) {
    // Text that deflates: the engine inflates it in many blocks and handles
    // the reader's click between two of them.
    for (int i = 0; i < kLargeFiles; ++i) {
        const test::Bytes noise =
            test::RandomBytes(kLargeFileSize, static_cast<std::uint32_t>(i + 1));
        gchar* text = g_base64_encode(noise.data(), noise.size());
        test::WriteFile(dir / ("source/part" + std::to_string(i) + ".txt"), std::string(text));
        g_free(text);
    }
    BookManifest manifest;
    manifest.title = "Large Xvfb Book";
    const std::string book = MakeBook(manifest);
    BookProcess run(book, PlainDesktop(), dir / "log");
    const std::string splash = run.WaitForWindow("^Large Xvfb Book$");
    ASSERT_FALSE(splash.empty()) << "no splash\n" << Log();
    // The unpacking has begun once the book's first file is in the work
    // directory.
    const bool unpacking = run.Until([&] {
        for (const std::string& name : test::ListTree(dir / "tmp")) {
            if (name.find("part") != std::string::npos) return true;
        }
        return false;
    });
    ASSERT_TRUE(unpacking) << "the unpacking was not seen\n" << Log();
    const fs::path shots = PAGORIX_ARTEFACT_DIR;
    fs::create_directories(shots);
    // The Cancel button, placed for a 300 x 162 window and scaled with it.
    const auto [width, height] = WindowSize(splash);
    const int x = (224 + 57 / 2) * width / 300;
    const int y = (96 + 25 / 2) * height / 162;
    Screenshot(shots / "stub-splash-unpacking.png");
    Xdotool("mousemove --window " + splash + " " + std::to_string(x) + " " + std::to_string(y) +
            " click 1");
    // The box that says the unpacking was stopped has the book's title too.
    std::string aborted;
    run.Until([&] {
        for (const std::string& id : VisibleWindows("^Large Xvfb Book$")) {
            if (id != splash) aborted = id;
        }
        return !aborted.empty();
    });
    ASSERT_FALSE(aborted.empty()) << "no box after Cancel (clicked too late?)\n"
                                  << "browser ran: " << test::Exists(dir / "record")
                                  << ", book still running: " << run.Running() << "\n"
                                  << Log();
    Screenshot(shots / "stub-cancelled.png");
    KeysTo(aborted, {"key Return"});
    EXPECT_EQ(run.Wait(), 0) << Log();
    EXPECT_FALSE(test::Exists(dir / "record")) << "the browser ran";
    EXPECT_EQ(LeftInTmp(), std::vector<std::string>{});
}

// A browser installed as a snap cannot read the system's temporary
// directory: the book is unpacked into "Pagorix books" in the home instead.
// The folder is removed again when the run made it, and kept (with what the
// reader put there) when it was there before.
TEST_F(StubDesktopRun, ASnapBrowserGetsTheBookInAFolderOfTheHome) {
    // Snapd starts its programs through /snap/bin; a script of the test's
    // stands in front of that word and hands on the page.
    const std::string launcher = dir / "snap-launcher";
    test::WriteFile(launcher,
                    "#!/bin/sh\nshift\nexec '" + std::string(PAGORIX_FAKE_BROWSER) + "' \"$@\"\n");
    fs::permissions(launcher, fs::perms::owner_all);
    for (const bool folderThere : {false, true}) {
        SCOPED_TRACE(folderThere ? "the folder was there" : "no folder before");
        fs::remove_all(dir / "home");
        fs::remove(dir / "record");
        const Env env = MakeDesktop(dir, launcher + " /snap/bin/pagorix-test-browser %f");
        const fs::path folder = dir / "home/Pagorix books";
        if (folderThere) {
            fs::create_directories(folder);
            test::WriteFile((folder / "notes.txt").string(), "mine");
        }
        BookManifest manifest;
        manifest.title = "Snap Book";
        const std::string book = MakeBook(manifest);
        BookProcess run(book, env, dir / "log");
        EXPECT_EQ(run.Wait(), 0) << Log();

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
        EXPECT_EQ(LeftInTmp(), std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace pagorix
