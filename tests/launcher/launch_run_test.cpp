// Whole books run through the real launcher on the headless backend: the
// transcript of what the reader sees, what the browser was given, and what is
// left in the temporary directory afterwards (it must be nothing).
//
// The browser is the fake one, registered for text/html in a private desktop
// (HOME and XDG_* in a temporary folder) set up once for the test program
// before anything reads the desktop database.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
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
using headless::kEscape;
using headless::ScriptAction;
using Lines = std::vector<std::string>;
using test::TempDir;

class BrowserDesktop : public ::testing::Environment {
public:
    void SetUp() override {
        m_dir = std::make_unique<TempDir>();
        test::PrivateDesktop(m_dir->Path(), std::string("\"") + PAGORIX_FAKE_BROWSER + "\" %f")
            .Enter();
    }
    void TearDown() override { m_dir.reset(); }

private:
    std::unique_ptr<TempDir> m_dir;
};

[[maybe_unused]] ::testing::Environment* const kDesktop =
    ::testing::AddGlobalTestEnvironment(new BrowserDesktop);

const std::string kPage = "<html><body>Hello</body></html>";

// One run: a temporary directory of its own (TMPDIR), the fake browser's
// record, and what the launcher showed and left.
class BookRunTest : public test::HeadlessTest {
protected:
    BookRunTest() {
        const char* tmp = std::getenv("TMPDIR");
        m_savedTmp = tmp != nullptr ? tmp : "";
        platform::MakeDirectory(m_tmp);
        setenv("TMPDIR", m_tmp.c_str(), 1);
        setenv("PGX_BROWSER_RECORD", m_record.c_str(), 1);
    }
    ~BookRunTest() override {
        if (m_savedTmp.empty()) {
            unsetenv("TMPDIR");
        } else {
            setenv("TMPDIR", m_savedTmp.c_str(), 1);
        }
        unsetenv("PGX_BROWSER_RECORD");
    }

    // Runs the book; the transcript is normalised: the temporary directory
    // reads <tmp>, the work directory kbmN and the clip ~fsN.avi.
    Lines Run(const std::string& book, const std::string& tempDir = {}) {
        BookRun run;
        run.payload = {book, PayloadOffset};
        run.tempDir = tempDir;
        run.handOffMs = handOffMs;
        run.onLaunched = [this](const TExecFile& exec, const std::string& workDir) {
            launched = true;
            showCommand = exec.ShowCommand();
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
        // The run has left its work directory.
        EXPECT_EQ(platform::CurrentDirectory().rfind(m_tmp, 0), std::string::npos);
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

    TempDir m_dir;
    std::string m_tmp = m_dir / "tmp";
    std::string m_record = m_dir / "browser.record";
    std::string m_savedTmp;
    bool launched = false;
    bool answerHandOff = true;
    std::uint32_t handOffMs = kHandOffMs;
    int showCommand = -1;
    Lines workFiles;
    test::BrowserRecord browser;
};

BookManifest Manifest() {
    BookManifest m;
    m.title = "My Book";
    m.startPage = "index.html";
    m.status = "Opening the book...";
    return m;
}

std::string Contains(const Lines& lines, const std::string& text) {
    for (const auto& line : lines)
        if (line.find(text) != std::string::npos) return line;
    return {};
}

TEST_F(BookRunTest, NormalRunShowsTheBookAndLeavesNothing) {
    hb.SetScreen(120, 1024, 768);
    BookManifest m = Manifest();
    m.closing = "Bye";
    const std::string book =
        test::MakePackedBook(m_dir.Path(), {{"index.html", kPage}, {"Pics/Cover.PNG", "png"}}, m);
    hb.Answer("plain", "Bye", "OK");
    const Lines t = Run(book);
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
    // The clip plays from the show event to the launch.
    // The clip plays from the work directory, where a sweep finds it.
    EXPECT_NE(Contains(t, "anim anim ACM_OPEN 0 \"<tmp>/kbmN/~fsN.avi\" -> 1"), "");
    EXPECT_NE(Contains(t, "anim anim ACM_PLAY -1 0xFFFF0000"), "");
    EXPECT_NE(Contains(t, "anim anim ACM_STOP"), "");
    // Only the book's files were in the work directory while the browser ran.
    EXPECT_EQ(workFiles,
              (Lines{"PAGORIX.LCK", "Pics", "Pics/Cover.PNG", "index.html", "~fsN.avi"}));
    EXPECT_EQ(showCommand, 1);
    EXPECT_EQ(browser.cwd.rfind(m_tmp + "/kbm", 0), 0u) << browser.cwd;
    EXPECT_EQ(browser.args, Lines{browser.cwd + "/index.html"});
    EXPECT_EQ(browser.page, kPage);
    EXPECT_EQ(LeftInTmp(), Lines{});
}

// A book of a raw manifest (lines ended with CR LF) and one start page.
std::string RawBook(const std::string& dir, const Lines& manifest) {
    return test::MakeRawBook(dir,
                             {{"PAGORIX.KBM", test::ManifestOf(manifest)}, {"index.html", kPage}});
}

TEST_F(BookRunTest, IntroductionAnswers) {
    const struct {
        std::string response;
        bool goesOn;
    } cases[] = {{"&Oui", true}, {"&Non", false}, {kEscape, false}, {kCloseBox, true}};
    for (const auto& c : cases) {
        const std::string dir = CaseDir();
        BookManifest m = Manifest();
        m.introduction = "Read it?";
        const std::string book = test::MakePackedBook(dir, {{"index.html", kPage}}, m);
        hb.Answer("plain", "Read it?", c.response);
        const Lines t = Run(book);
        EXPECT_EQ(launched, c.goesOn) << c.response;
        EXPECT_NE(
            Contains(t, "box plain \"My Book\" none \"Read it?\" [&Oui|&Non] -> " + c.response),
            "");
        EXPECT_EQ(Contains(t, "window fhtml shown") != "", c.goesOn);
        EXPECT_EQ(LeftInTmp(), Lines{}) << c.response;
    }
}

// The password (line 5) must match exactly, and Annuler ends the run unless
// the book has none; the window (line 8) is normal for "1", minimised for
// "2" and maximised for anything else.
TEST_F(BookRunTest, PasswordAndWindowLines) {
    const struct {
        std::string line5, line8;
        std::string typed;  // "" with cancel: Annuler
        bool cancel;
        bool goesOn;
        int showCommand;  // SW_SHOWNORMAL 1, SW_SHOWMINIMIZED 2, SW_SHOWMAXIMIZED 3
    } cases[] = {{"Secret", "1", "Secret", false, true, 1},
                 {"Secret", "1", "secret", false, false, -1},
                 {"Secret", "1", "Secret ", false, false, -1},
                 {"Secret", "1", "", true, false, -1},
                 {"", "2", "", true, true, 2},
                 {"", "0", "", false, true, 3},
                 {"\xA7", "", "", false, true, 3},
                 {"\xA7", "\xA7", "", false, true, 3},
                 {"\xA7", " 1", "", false, true, 3},
                 {"\xA7", "3", "", false, true, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line5 + "/" + c.typed + "/" + c.line8);
        const std::string book = RawBook(
            CaseDir(), {"x", "T", "\xA7", "index.html", "S", c.line5, "\xA7", "x", c.line8});
        const bool asked = c.line5 != "\xA7";
        if (asked && c.cancel) hb.CancelInput("Please enter the password :");
        if (asked && !c.cancel) hb.AnswerInput("Please enter the password :", c.typed);
        if (!c.goesOn) {
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
        EXPECT_EQ(hb.UnusedAnswers(), Lines{});
        EXPECT_EQ(LeftInTmp(), Lines{});
    }
}

TEST_F(BookRunTest, FiveLineManifestShowsEveryOptionalBoxEmpty) {
    const std::string book = RawBook(m_dir.Path(), {"x", "T", "", "index.html", "S"});
    hb.Answer("plain", "", "&Oui");
    hb.AnswerInput("Please enter the password :", "");
    hb.Answer("plain", "", "OK");
    Run(book);
    EXPECT_TRUE(launched);
    EXPECT_EQ(showCommand, 3);
    EXPECT_EQ(hb.UnusedAnswers(), Lines{});
    EXPECT_EQ(LeftInTmp(), Lines{});
}

TEST_F(BookRunTest, CancelInThePauseRemovesTheArchiveCopy) {
    // The Cancel button and the window's close box alike.
    for (const ScriptAction& action :
         {ScriptAction::Press("bcancel"), ScriptAction::Close("fhtml")}) {
        const std::string dir = CaseDir();
        const std::string book = test::MakePackedBook(dir, {{"index.html", kPage}}, Manifest());
        hb.WhenTimerArmed("tic", action);
        const Lines t = Run(book);
        EXPECT_FALSE(launched);
        EXPECT_EQ(hb.TranscriptOf("progress"), Lines{});
        EXPECT_EQ(hb.Now(), 0u);  // the timer never fired
        EXPECT_EQ(Visible(t).back(), "quit requested");
        EXPECT_EQ(LeftInTmp(), Lines{});
    }
}

TEST_F(BookRunTest, CancelDuringTheExtractionEndsAfterTheEnginesMessage) {
    // Incompressible files, so the engine refills its input (and lets the
    // Cancel click in) many times.
    const test::Bytes noise = test::RandomBytes(400000, 7);
    const std::string big(noise.begin(), noise.end());
    const std::string book = test::MakePackedBook(
        m_dir.Path(), {{"index.html", kPage}, {"a.bin", big}, {"b.bin", big}}, Manifest());
    hb.WhenProgressReaches("jauge", 30, ScriptAction::Press("bcancel"));
    hb.Answer("exception", "User Aborted Operation.", "OK");
    const Lines t = Run(book);
    EXPECT_FALSE(launched);
    const Lines shown = Visible(t);
    const Lines tail(shown.end() - 3, shown.end());
    EXPECT_EQ(tail,
              (Lines{"press bcancel", "quit requested",
                     "box exception \"My Book\" stop \"User Aborted Operation.\" [OK] -> OK"}));
    EXPECT_EQ(LeftInTmp(), Lines{});
}

TEST_F(BookRunTest, FatalPathsCleanUp) {
    const std::string bad = "Error : bad Pagorix ! Aborting !";
    const struct {
        const char* what;
        std::function<std::string(const std::string&)> make;
        std::string kind, caption, text;
        bool shown;  // the splash window appeared
    } cases[] = {
        {"corrupted manifest",
         [](const std::string& d) {
             const std::string book = test::MakePackedBook(d, {{"index.html", kPage}}, Manifest());
             test::CorruptEntry(book, "PAGORIX.KBM");
             return book;
         },
         "plain", "Pagorix 1.0", bad, false},
        {"corrupted page",
         [](const std::string& d) {
             const std::string book = test::MakePackedBook(d, {{"index.html", kPage}}, Manifest());
             test::CorruptEntry(book, "index.html");
             return book;
         },
         "plain", "My Book", bad, true},
        {"wrong archive password",
         [](const std::string& d) {
             return test::MakeRawBook(
                 d, {{"PAGORIX.KBM", test::ManifestOf({"x", "T", "\xA7", "index.html", "S"}),
                      "wrong"}});
         },
         "plain", "Pagorix 1.0", bad, false},
        {"no manifest",
         [](const std::string& d) {
             return test::MakeRawBook(d, {{"index.html", kPage}});
         },
         "error", "Erreur", "Error : please verify disk space.", false},
    };
    for (const auto& c : cases) {
        const std::string dir = CaseDir();
        const std::string book = c.make(dir);
        hb.Answer(c.kind, c.text, "OK");
        const Lines t = Run(book);
        EXPECT_FALSE(launched) << c.what;
        EXPECT_NE(Contains(t, "box " + c.kind + " \"" + c.caption + "\""), "") << c.what;
        EXPECT_EQ(Contains(t, "window fhtml shown") != "", c.shown) << c.what;
        EXPECT_EQ(hb.UnusedAnswers(), Lines{}) << c.what;
        EXPECT_EQ(LeftInTmp(), Lines{}) << c.what;
    }
}

// A book that keeps its folders is unpacked with them, opens a start page in
// a folder, and the clean-up removes every file and folder the run made. A
// book made flat from the same site unpacks into one folder, as books always
// did.
TEST_F(BookRunTest, FolderBookKeepsItsFoldersAndLeavesNothing) {
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
    EXPECT_EQ(LeftInTmp(), Lines{});

    // The same book as the authoring tool makes it with --flat: no mark.
    const std::string flat = test::MakeRawBook(
        CaseDir(), {{"PAGORIX.KBM", test::ManifestOf({"x", "T", "\xA7", "page.html", "S", "\xA7",
                                                      "\xA7", "2026-12-07"})},
                    {"doc/ch 1/page.html", "flat"},
                    {"css/s.css", "p {}"}});
    Run(flat);
    EXPECT_EQ(workFiles, (Lines{"PAGORIX.LCK", "page.html", "s.css", "~fsN.avi"}));
    EXPECT_EQ(browser.page, "flat");
    EXPECT_EQ(LeftInTmp(), Lines{});

    // A marked book whose entries climb out of the work directory writes
    // nothing there, and the run still leaves nothing.
    const std::string climbing = test::MakeRawBook(
        CaseDir(), {{"PAGORIX.KBM", test::ManifestOf({"x", "T", "\xA7", "index.html", "S", "\xA7",
                                                      "\xA7", "folders"})},
                    {"index.html", kPage},
                    {"doc/../../../escaped.html", "out"},
                    {"../escaped.html", "out"}});
    Run(climbing);
    EXPECT_FALSE(platform::FileExists(m_dir / "escaped.html"));
    EXPECT_FALSE(platform::FileExists(m_dir.Path() + "/../escaped.html"));
    EXPECT_EQ(LeftInTmp(), Lines{});
}

// A start page that is not one file of the book is opened like a missing
// one: not at all, with the launch failure box, and the run cleans up.
TEST_F(BookRunTest, StartPageOutsideTheBookIsNotOpened) {
    test::WriteFile(m_dir / "outside.html", "not the book's");
    for (const std::string page :
         {"nothere.html", "", ".", "..", "../../outside.html", "/etc/hostname", "sub\\x.html"}) {
        const std::string book = RawBook(CaseDir(), {"x", "T", "\xA7", page, "S", "\xA7", "Bye"});
        hb.Answer("plain", "Sorry ! Cannot run your web browser !", "OK");
        hb.Answer("plain", "Bye", "OK");
        Run(book);
        EXPECT_EQ(browser.cwd, "") << page;
        EXPECT_EQ(hb.UnusedAnswers(), Lines{}) << page;
        EXPECT_EQ(LeftInTmp(), Lines{}) << page;
    }
}

// The book's names are Windows-1252: the files are written, and the start
// page handed to the browser, under their names in the host's UTF-8. The
// clean-up removes what the engine wrote under the names it wrote, whatever
// they hold ("#" ends a name in the archive's listing), encrypted or not;
// book files named like the run's own files are not written.
TEST_F(BookRunTest, EveryFileTheRunWroteIsRemoved) {
    const std::string book = test::MakeRawBook(
        m_dir.Path(),
        {{"PAGORIX.KBM", test::ManifestOf({"x", "T", "\xA7", "caf\xE9.htm", "S", "\xA7", "\xA7"})},
         {"caf\xE9.htm", kPage},
         {"chapter one.htm", "1"},
         {"C#-notes.html", "c#"},
         {"notes#1.html", "1"},
         {"plain.txt", "not encrypted", ""},
         {"Pagorix.zip", "not the archive"},
         {"pagorix.lck", "not the owner file"}});
    Run(book);
    EXPECT_EQ(workFiles, (Lines{"C#-notes.html", "PAGORIX.LCK", "caf\xC3\xA9.htm",
                                "chapter one.htm", "notes#1.html", "plain.txt", "~fsN.avi"}));
    EXPECT_EQ(browser.args, Lines{browser.cwd + "/caf\xC3\xA9.htm"});
    EXPECT_EQ(browser.page, kPage);
    EXPECT_EQ(LeftInTmp(), Lines{});
}

// A failure before the unpacking (a work folder that cannot be made, an
// executable with nothing appended) shows the engine's message, and the
// window rests until Cancel; nothing is launched and nothing is left.
TEST_F(BookRunTest, FailureBeforeTheUnpackingRestsUntilCancel) {
    const struct {
        std::string book, tempDir, message;
    } cases[] = {
        {test::MakePackedBook(CaseDir(), {{"index.html", kPage}}, Manifest()),
         m_dir / "no-such-folder", "Ne peut ouvrir le fichier"},
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
        EXPECT_EQ(LeftInTmp(), Lines{});
    }
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

TEST_F(BookRunTest, ABrowserThatHandsThePageOnKeepsTheBookUntilTheReaderIsDone) {
    const std::string handOffText = launcher_messages::kHandOff;
    const struct {
        const char* what;
        const char* variable;  // how the fake browser behaves
        const char* value;
        std::uint32_t limitMs;
        bool handOff;
        bool failBox;  // "Sorry ! Cannot run your web browser !"
    } cases[] = {
        // Ends at once; a child reads the page two seconds later.
        {"hand-off", "PGX_BROWSER_HANDOFF_MS", "2000", kHandOffMs, true, false},
        // Stays past the limit (shortened here): waited for, no box.
        {"stays", "PGX_BROWSER_DELAY_MS", "1500", 1000, false, false},
        // Ends at once with a failure, as an opener that found no browser:
        // nothing shows the book, so no hand-off but the failure box.
        {"fails", "PGX_BROWSER_STATUS", "3", kHandOffMs, false, true},
    };
    for (const auto& c : cases) {
        const std::string dir = CaseDir();
        const std::string book = test::MakePackedBook(dir, {{"index.html", kPage}}, Manifest());
        setenv(c.variable, c.value, 1);
        answerHandOff = false;
        handOffMs = c.limitMs;
        const std::string late = m_record + ".late";
        platform::RemoveFile(late);
        Lines whileOpen;
        if (c.handOff) {
            // The reader reads, then answers.
            hb.Answer("plain", handOffText, "OK", [&] {
                AwaitFile(late, 10);
                for (const std::string& name : LeftInTmp())
                    if (name.rfind("kbm", 0) == 0) whileOpen.push_back(name);
            });
        }
        if (c.failBox) hb.Answer("plain", launcher_messages::kCannotRunBrowser, "OK");
        const Lines t = Run(book);
        unsetenv(c.variable);
        const std::string box = Contains(t, handOffText);
        EXPECT_EQ(box != "", c.handOff) << c.what;
        EXPECT_EQ(Contains(t, launcher_messages::kCannotRunBrowser) != "", c.failBox) << c.what;
        EXPECT_EQ(hb.UnusedAnswers(), Lines{}) << c.what;
        if (c.handOff) {
            EXPECT_EQ(box, "box plain \"My Book\" none \"" + handOffText + "\" [OK] -> OK");
            // The taskbar button is back while the box is open.
            EXPECT_EQ(hb.TranscriptOf("taskbar").back(), "taskbar shown");
            EXPECT_EQ(test::ReadText(late), kPage);
            // kbmN, its owner file, the clip and the page
            EXPECT_EQ(whileOpen.size(), 4u) << c.what;
        }
        EXPECT_EQ(LeftInTmp(), Lines{}) << c.what;
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
            const int log =
                open((m_dir / "runner.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            dup2(log, 1);
            dup2(log, 2);
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

        const std::string another =
            test::MakePackedBook(CaseDir(), {{"index.html", kPage}}, Manifest());
        Run(another);
        EXPECT_TRUE(launched) << moment;
        // Nothing of the killed run is left, its splash clip included.
        EXPECT_EQ(LeftInTmp(), alive) << moment;
        EXPECT_EQ(test::ReadText(m_tmp + "/kbmA0A0/notes.txt"), "keep");

        for (const pid_t pid : m_runners)
            Kill(pid);
        m_runners.clear();
        // The owner of the live run has gone now: its directory goes too.
        Run(another);
        EXPECT_EQ(LeftInTmp(), (Lines{"kbmA0A0", "kbmA0A0/notes.txt"})) << moment;
        platform::RemoveTree(m_tmp + "/kbmA0A0");
    }
}

}  // namespace
}  // namespace pagorix
