// Whole books run through the real launcher on the headless backend: the
// transcript of what the reader sees, what the browser was given, and what is
// left in the temporary directory afterwards (it must be nothing).
//
// The browser is the fake one, registered for text/html in a private desktop
// (HOME and XDG_* in a temporary folder) set up once for the test program
// before anything reads the desktop database.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <thread>

#include "framework/headless_fixture.h"
#include "launcher/book_test_support.h"
#include "launcher/fhtml.h"
#include "platform/platform.h"
#include "support/private_desktop.h"

namespace pagorix {
namespace {

using headless::kCloseBox;
using headless::ScriptAction;
using Lines = std::vector<std::string>;

class BrowserDesktop : public ::testing::Environment {
    void SetUp() override {
        test::PrivateDesktop(m_dir.Path(), std::string("\"") + PAGORIX_FAKE_BROWSER + "\" %f")
            .Enter();
    }
    test::TempDir m_dir;
};

[[maybe_unused]] ::testing::Environment* const kDesktop =
    ::testing::AddGlobalTestEnvironment(new BrowserDesktop);

const std::string kPage = "<html><body>Hello</body></html>";

// One run: a temporary directory of its own (TMPDIR), the fake browser's
// record, and what the launcher showed; it must leave nothing.
class BookRunTest : public test::HeadlessTest {
protected:
    BookRunTest() {
        platform::MakeDirectory(m_tmp);
        setenv("TMPDIR", m_tmp.c_str(), 1);
        setenv("PGX_BROWSER_RECORD", m_record.c_str(), 1);
    }
    ~BookRunTest() override {
        setenv("TMPDIR", m_savedTmp.c_str(), 1);
        unsetenv("PGX_BROWSER_RECORD");
    }

    // Runs the book; the transcript is normalised: the temporary directory
    // reads <tmp>, the work directory kbmN and the clip ~fsN.avi.
    Lines Run(const std::string& book, const std::string& tempDir = {}) {
        BookRun run;
        run.payload = {book, PayloadOffset};
        run.tempDir = tempDir;
        run.onLaunched = [this](const TExecFile& exec, const std::string& workDir) {
            launched = true;
            showCommand = exec.ShowCommand();
            workDirPerms = std::filesystem::status(workDir).permissions();
            workFiles.clear();
            for (const std::string& name : test::ListTree(workDir))
                workFiles.push_back(
                    std::regex_replace(name, std::regex("~fs[0-9]+\\.avi"), "~fsN.avi"));
            // The fake browser ends at once, which the runtime takes for a
            // hand-off to a running browser.
            if (answerHandOff && exec.ProcessId() != 0) {
                hb.Answer("plain", launcher_messages::kHandOff, "OK");
            }
        };
        launched = false;
        showCommand = -1;
        workFiles.clear();
        platform::RemoveFile(m_record);
        hb.ClearTranscript();
        Application().ResetState();
        const std::string startDir = platform::CurrentDirectory();
        RunBook(run);
        // The run has left its work directory, and removed it.
        EXPECT_EQ(platform::CurrentDirectory().rfind(m_tmp, 0), std::string::npos);
        EXPECT_EQ(LeftInTmp(), leftAfterRun) << book;
        platform::ChangeDirectory(startDir);
        browser = test::ReadBrowserRecord(m_record);
        Lines lines;
        for (std::string line : hb.Transcript()) {
            line = std::regex_replace(line, std::regex(m_tmp), "<tmp>");
            line = std::regex_replace(line, std::regex("kbm[0-9A-F]+"), "kbmN");
            line = std::regex_replace(line, std::regex("~fs[0-9]+\\.avi"), "~fsN.avi");
            lines.push_back(line);
        }
        return lines;
    }

    // The transcript without the animation's lines.
    static Lines Visible(const Lines& lines) {
        Lines out;
        for (const auto& line : lines)
            if (line.rfind("anim ", 0) != 0) out.push_back(line);
        return out;
    }

    Lines LeftInTmp() const { return test::ListTree(m_tmp); }

    // A new folder for one case of a table.
    std::string CaseDir() {
        const std::string dir = m_dir / ("case" + std::to_string(++m_cases));
        platform::MakeDirectory(dir);
        return dir;
    }
    int m_cases = 0;

    test::TempDir m_dir;
    std::string m_tmp = m_dir / "tmp";
    std::string m_record = m_dir / "browser.record";
    // The other tests' temporary directory (the system's when TMPDIR is unset).
    std::string m_savedTmp = platform::TempDirectory();
    bool launched = false;
    bool answerHandOff = true;
    int showCommand = -1;
    std::filesystem::perms workDirPerms{};
    Lines workFiles;
    test::BrowserRecord browser;
    Lines leftAfterRun;  // what other runs have in the temporary directory
};

BookManifest Manifest() {
    BookManifest m;
    m.title = "My Book";
    m.startPage = "index.html";
    m.status = "Opening the book...";
    return m;
}

// A book of one start page, made from the source.
std::string PageBook(const std::string& dir, const BookManifest& m = Manifest()) {
    return test::MakePackedBook(dir, {{"index.html", kPage}}, m);
}

// Waits up to `seconds` for a file to appear.
bool AwaitFile(const std::string& path, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!test::Exists(path)) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string Contains(const Lines& lines, const std::string& text) {
    for (const auto& line : lines)
        if (line.find(text) != std::string::npos) return line;
    return {};
}

// The browser hands the page to an instance already running and ends at
// once: the book stays until the reader answers the box, which here is once
// that instance has read the page, two seconds later.
TEST_F(BookRunTest, NormalRunShowsTheBookAndLeavesNothing) {
    hb.SetScreen(120, 1024, 768);
    BookManifest m = Manifest();
    m.closing = "Bye";
    const std::string book =
        test::MakePackedBook(m_dir.Path(), {{"index.html", kPage}, {"Pics/Cover.PNG", "png"}}, m);
    const std::string late = m_record + ".late";
    setenv("PGX_BROWSER_HANDOFF_MS", "2000", 1);
    answerHandOff = false;
    hb.Answer("plain", launcher_messages::kHandOff, "OK", [&] { AwaitFile(late, 10); });
    hb.Answer("plain", "Bye", "OK");
    const Lines t = Run(book);
    unsetenv("PGX_BROWSER_HANDOFF_MS");
    EXPECT_EQ(test::ReadText(late), kPage);
    EXPECT_EQ(Visible(t),
              (Lines{"title \"Pagorix 1.0\"", "taskbar shown",
                     "label texte \"Initializing the data... Please wait...\"", "taskbar shown",
                     // the manifest applied, then the window appears
                     "title \"My Book\"", "label texte \"Opening the book...\"",
                     "window fhtml shown \"My Book\" 375x202", "progress jauge 66",
                     "progress jauge 69", "progress jauge 100",
                     // the launch, and after the browser the clean-up
                     "window fhtml hidden", "taskbar hidden",
                     // the browser handed the page on: the reader says when
                     "taskbar shown",
                     "box plain \"My Book\" none \"The book is open in your web browser. Click OK "
                     "when you have finished reading.\" [OK] -> OK",
                     "box plain \"My Book\" none \"Bye\" [OK] -> OK", "quit requested"}));
    // The clip plays from the show event to the launch, from the work
    // directory, where a sweep finds it.
    EXPECT_NE(Contains(t, "anim anim ACM_OPEN 0 \"<tmp>/kbmN/~fsN.avi\" -> 1"), "");
    EXPECT_NE(Contains(t, "anim anim ACM_PLAY -1 0xFFFF0000"), "");
    EXPECT_NE(Contains(t, "anim anim ACM_STOP"), "");
    // Only the book's files were in the work directory while the browser ran.
    EXPECT_EQ(workFiles,
              (Lines{"PAGORIX.LCK", "Pics", "Pics/Cover.PNG", "index.html", "~fsN.avi"}));
    EXPECT_EQ(showCommand, 1);
    EXPECT_EQ(workDirPerms, std::filesystem::perms::owner_all);  // no other user may enter
    EXPECT_EQ(browser.cwd.rfind(m_tmp + "/kbm", 0), 0u) << browser.cwd;
    EXPECT_EQ(browser.args, Lines{browser.cwd + "/index.html"});
    EXPECT_EQ(browser.page, kPage);
}

// A book of a raw manifest (lines ended with CR LF) and one start page.
std::string RawBook(const std::string& dir, const Lines& manifest) {
    return test::MakeRawBook(dir,
                             {{"PAGORIX.KBM", test::ManifestOf(manifest)}, {"index.html", kPage}});
}

// The introduction (line 2) goes on unless answered Non (Escape is Non; the
// close box is not); the password (line 5) must match exactly, and Annuler
// ends the run unless the book has none; the window (line 8) is normal for
// "1", minimised for "2" and maximised for anything else.
TEST_F(BookRunTest, IntroductionPasswordAndWindowLines) {
    const struct {
        std::string answer;  // to the introduction; "" for a book without one
        std::string line5;
        std::optional<std::string> typed;  // none: Annuler
        std::string line8;
        bool goesOn;
        int showCommand;  // SW_SHOWNORMAL 1, SW_SHOWMINIMIZED 2, SW_SHOWMAXIMIZED 3
    } cases[] = {{"&Oui", "\xA7", "", "1", true, 1},
                 {"&Non", "\xA7", "", "1", false, -1},
                 {kCloseBox, "\xA7", "", "1", true, 1},
                 {"", "Secret", "Secret", "1", true, 1},
                 {"", "Secret", "secret", "1", false, -1},
                 {"", "Secret", "Secret ", "1", false, -1},
                 {"", "Secret", std::nullopt, "1", false, -1},
                 {"", "", std::nullopt, "2", true, 2},
                 {"", "", "", "0", true, 3},
                 {"", "\xA7", "", "\xA7", true, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer + "/" + c.line5 + "/" + c.typed.value_or("(Annuler)") + "/" +
                     c.line8);
        const std::string intro = c.answer.empty() ? "\xA7" : "Read it?";
        const std::string book =
            RawBook(CaseDir(), {"x", "T", intro, "index.html", "S", c.line5, "\xA7", "x", c.line8});
        if (!c.answer.empty()) hb.Answer("plain", intro, c.answer);
        const bool asked = c.line5 != "\xA7";
        if (asked && !c.typed) hb.CancelInput("Please enter the password :");
        if (asked && c.typed) hb.AnswerInput("Please enter the password :", *c.typed);
        if (asked && !c.goesOn) {
            hb.Answer("error",
                      "Password incorrect. You may be not allowed to access to this Pagorix.",
                      "OK");
        }
        const Lines t = Run(book);
        EXPECT_EQ(launched, c.goesOn);
        EXPECT_EQ(showCommand, c.showCommand);
        EXPECT_EQ(
            Contains(t, "input \"Password protection\" \"Please enter the password :\" \"\"") != "",
            asked);
        if (!c.answer.empty()) {
            EXPECT_NE(Contains(t, "box plain \"T\" none \"Read it?\" [&Oui|&Non] -> " + c.answer),
                      "");
        }
        EXPECT_EQ(hb.UnusedAnswers(), Lines{});
    }
}

// Cancel in the pause (the button or the window's close box) ends the run
// before the unpacking; Cancel during it ends the run after the engine's
// message. Incompressible files, so that the engine refills its input (and
// lets the click in) many times.
TEST_F(BookRunTest, CancelEndsTheRunAndLeavesNothing) {
    const test::Bytes noise = test::RandomBytes(400000, 7);
    const std::string big(noise.begin(), noise.end());
    const std::string aborted =
        "box exception \"My Book\" stop \"User Aborted Operation.\" [OK] -> OK";
    const struct {
        bool inThePause;
        ScriptAction action;
        Lines tail;
    } cases[] = {
        {true, ScriptAction::Press("bcancel"), {"press bcancel", "quit requested"}},
        {true, ScriptAction::Close("fhtml"), {"close fhtml", "quit requested"}},
        {false, ScriptAction::Press("bcancel"), {"press bcancel", "quit requested", aborted}},
    };
    for (const auto& c : cases) {
        const std::string book = test::MakePackedBook(
            CaseDir(), {{"index.html", kPage}, {"a.bin", big}, {"b.bin", big}}, Manifest());
        if (c.inThePause) {
            hb.WhenTimerArmed("tic", c.action);
        } else {
            hb.WhenProgressReaches("jauge", 30, c.action);
            hb.Answer("exception", "User Aborted Operation.", "OK");
        }
        const Lines shown = Visible(Run(book));
        EXPECT_FALSE(launched);
        EXPECT_EQ(Lines(shown.end() - std::min(shown.size(), c.tail.size()), shown.end()), c.tail);
        // In the pause the timer never fired and nothing was unpacked.
        EXPECT_EQ(hb.Now() == 0u, c.inThePause);
        EXPECT_EQ(hb.TranscriptOf("progress").empty(), c.inThePause);
    }
}

TEST_F(BookRunTest, FatalPathsCleanUp) {
    const std::string bad = launcher_messages::kBadPagorix;
    const std::string manifest =
        test::ManifestOf({"x", "T", "\xA7", "index.html", "S", "\xA7", "\xA7"});
    const test::RawEntry kbm = {"PAGORIX.KBM", manifest}, page = {"index.html", kPage};
    const test::RawEntry locked = {"PAGORIX.KBM", manifest, "wrong"};  // another password
    const struct {
        const char* what;
        std::vector<test::RawEntry> entries;
        bool corrupt;  // a byte of the last entry's data flipped
        std::string kind, caption, text;
        bool shown;  // the splash window appeared
    } cases[] = {
        {"corrupted page", {kbm, page}, true, "plain", "T", bad, true},
        {"wrong archive password", {locked}, false, "plain", "Pagorix 1.0", bad, false},
        {"no manifest",
         {page},
         false,
         "error",
         "Erreur",
         launcher_messages::kDiskSpaceAtStart,
         false},
    };
    for (const auto& c : cases) {
        const std::string book = test::MakeRawBook(CaseDir(), c.entries);
        if (c.corrupt) test::CorruptLastEntry(book);
        hb.Answer(c.kind, c.text, "OK");
        const Lines t = Run(book);
        EXPECT_FALSE(launched) << c.what;
        EXPECT_NE(Contains(t, "box " + c.kind + " \"" + c.caption + "\""), "") << c.what;
        EXPECT_EQ(Contains(t, "window fhtml shown") != "", c.shown) << c.what;
        EXPECT_EQ(hb.UnusedAnswers(), Lines{}) << c.what;
    }
}

// A book that keeps its folders is unpacked with them, opens a start page in
// a folder, and the clean-up removes every file and folder the run made. A
// flat book unpacks into one folder, as books always did.
TEST_F(BookRunTest, FolderAndFlatBooksWriteTheirFilesAndLeaveNothing) {
    const std::vector<std::pair<std::string, std::string>> site = {
        {"index.html", kPage},
        {"doc/ch 1/page.html", "<link href='../../css/s.css'>"},
        {"css/s.css", "p {}"}};
    BookManifest m = Manifest();
    m.startPage = "doc/ch 1/page.html";
    Run(test::MakePackedBook(CaseDir(), site, m));
    EXPECT_EQ(workFiles, (Lines{"PAGORIX.LCK", "css", "css/s.css", "doc", "doc/ch 1",
                                "doc/ch 1/page.html", "index.html", "~fsN.avi"}));
    EXPECT_EQ(browser.args, Lines{browser.cwd + "/doc/ch 1/page.html"});
    EXPECT_EQ(browser.page, site[1].second);

    // A book as the authoring tool makes it with --flat (no mark), of names
    // in Windows-1252: the files are written, and the start page handed to
    // the browser, under their names in the host's UTF-8. The clean-up
    // removes what the engine wrote under the names it wrote, whatever they
    // hold ("#" ends a name in the archive's listing), encrypted or not;
    // book files named like the run's own files are not written.
    const std::string flat = test::MakeRawBook(
        CaseDir(), {{"PAGORIX.KBM", test::ManifestOf({"x", "T", "\xA7", "caf\xE9.htm", "S", "\xA7",
                                                      "\xA7", "2026-12-07"})},
                    {"doc/ch 1/caf\xE9.htm", kPage},
                    {"css/s.css", "p {}"},
                    {"C#-notes.html", "c#"},
                    {"notes#1.html", "1"},
                    {"plain.txt", "not encrypted", ""},
                    {"Pagorix.zip", "not the archive"},
                    {"pagorix.lck", "not the owner file"}});
    Run(flat);
    EXPECT_EQ(workFiles, (Lines{"C#-notes.html", "PAGORIX.LCK", "caf\xC3\xA9.htm", "notes#1.html",
                                "plain.txt", "s.css", "~fsN.avi"}));
    EXPECT_EQ(browser.args, Lines{browser.cwd + "/caf\xC3\xA9.htm"});
    EXPECT_EQ(browser.page, kPage);
}

// A start page that is not one file of the book is opened like a missing
// one: not at all, with the launch failure box, and the run cleans up. A
// browser that ends at once with a failure (an opener that found no browser)
// gets the same box, not the hand-off one.
TEST_F(BookRunTest, StartPageThatCannotBeOpenedGetsTheFailureBox) {
    test::WriteFile(m_dir / "outside.html", "not the book's");
    answerHandOff = false;
    for (const std::string page : {"index.html", "nothere.html", "", ".", "..",
                                   "../../outside.html", "/etc/hostname", "sub\\x.html"}) {
        const bool opened = page == "index.html";  // by a browser that fails
        if (opened) setenv("PGX_BROWSER_STATUS", "3", 1);
        const std::string book = RawBook(CaseDir(), {"x", "T", "\xA7", page, "S", "\xA7", "Bye"});
        hb.Answer("plain", launcher_messages::kCannotRunBrowser, "OK");
        hb.Answer("plain", "Bye", "OK");
        Run(book);
        unsetenv("PGX_BROWSER_STATUS");
        EXPECT_EQ(browser.cwd != "", opened) << page;
        EXPECT_EQ(hb.UnusedAnswers(), Lines{}) << page;
    }
}

// A failure before the unpacking (a work folder that cannot be made, an
// executable with nothing appended) shows the engine's message, and the
// window rests until Cancel; nothing is launched and nothing is left.
TEST_F(BookRunTest, FailureBeforeTheUnpackingRestsUntilCancel) {
    const struct {
        std::string book, tempDir, message;
    } cases[] = {
        {PageBook(CaseDir()), m_dir / "no-such-folder", "Ne peut ouvrir le fichier"},
        {test::WriteStub(CaseDir()), "", "Incomplete Zip File."},
    };
    for (const auto& c : cases) {
        hb.Answer("exception", "*", "OK");
        hb.AtPump(hb.Pumps() + 1, ScriptAction::Press("bcancel"));
        const Lines t = Run(c.book, c.tempDir);
        EXPECT_NE(Contains(t, "box exception \"Pagorix 1.0\" stop \"" + c.message), "");
        EXPECT_NE(Contains(t, "window fhtml shown"), "");
        EXPECT_EQ(Visible(t).back(), "quit requested");
        EXPECT_FALSE(launched);
    }
}

// A run killed at some moment leaves its work directory; the next start of a
// book removes it, but not a directory without the owner file nor one whose
// run is alive. The killed runs are the launcher in a process of its own
// (helpers/book_runner.cpp), which stops at the moment named and writes a
// marker file.
class AbandonedRunTest : public BookRunTest {
protected:
    ~AbandonedRunTest() override {
        for (const pid_t pid : m_runners) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    // Starts a runner and waits for its marker; returns its process id.
    pid_t StartRunner(const std::string& book, const std::string& moment,
                      const std::string& marker) {
        const pid_t pid = fork();
        if (pid == 0) {
            execl(PAGORIX_BOOK_RUNNER, PAGORIX_BOOK_RUNNER, book.c_str(), moment.c_str(),
                  marker.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        m_runners.push_back(pid);
        EXPECT_TRUE(AwaitFile(marker, 30)) << moment;
        return pid;
    }
    static void Kill(pid_t pid) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    std::vector<pid_t> m_runners;
};

TEST_F(AbandonedRunTest, TheNextStartRemovesTheDirectoryOfAKilledRun) {
    const test::Bytes noise = test::RandomBytes(400000, 7);
    const std::string big(noise.begin(), noise.end());
    for (const char* moment : {"pause", "extraction", "browser"}) {
        const std::string dir = CaseDir();
        const std::string book = test::MakePackedBook(
            dir, {{"index.html", kPage}, {"a.bin", big}, {"b.bin", big}}, Manifest());
        // Not ours: no owner file, whatever the name.
        platform::MakeDirectory(m_tmp + "/kbmA0A0");
        test::WriteFile(m_tmp + "/kbmA0A0/notes.txt", "keep");
        // A run that is alive, resting in its pause.
        StartRunner(book, "pause", dir + "/alive");
        const Lines alive = LeftInTmp();
        // The run to kill: its marker (the browser's record, for the browser)
        // says it has reached the moment.
        setenv("PGX_BROWSER_DELAY_MS", "4000", 1);
        platform::RemoveFile(m_record);
        const std::string marker = std::string(moment) == "browser" ? m_record : dir + "/killed";
        Kill(StartRunner(book, moment, marker));
        unsetenv("PGX_BROWSER_DELAY_MS");
        EXPECT_GT(LeftInTmp().size(), alive.size()) << moment;

        const std::string another = PageBook(CaseDir());
        // Nothing of the killed run is left, its splash clip included.
        leftAfterRun = alive;
        Run(another);
        EXPECT_TRUE(launched) << moment;

        for (const pid_t pid : m_runners)
            Kill(pid);
        m_runners.clear();
        // The owner of the live run has gone now: its directory goes too.
        leftAfterRun = {"kbmA0A0", "kbmA0A0/notes.txt"};
        Run(another);
        platform::RemoveTree(m_tmp + "/kbmA0A0");
    }
}

}  // namespace
}  // namespace pagorix
