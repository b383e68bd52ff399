// TExecFile starting real processes on a POSIX host. The helper program
// records its pid, current directory, nice value and arguments; associations
// come from a private desktop (HOME and XDG_* in a temporary folder, a
// .desktop file for text/html made the default with xdg-mime).
//
// Whatever reads the desktop database or asks the application to quit runs
// in a forked child (RunIsolated): the environment it sets, the caches GIO
// builds and the application's quit state stay out of this process.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>

#include "exec/exec_file.h"
#include "framework/application.h"
#include "framework/backend.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "support/private_desktop.h"
#include "support/test_support.h"

namespace pagorix {
namespace {

using Clock = std::chrono::steady_clock;
using test::TempDir;
using Words = std::vector<std::string>;

const std::string kHelper = PAGORIX_EXEC_HELPER;

// What the helper wrote: its pid, current directory, nice value and arguments.
struct Record {
    long pid = 0;
    std::string cwd;
    int nice = 0;
    Words args;
};

Record ReadRecord(const std::string& path) {
    Words lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    if (lines.size() < 3) return {};
    return {std::atol(lines[0].c_str()), lines[1], std::atoi(lines[2].c_str()),
            Words(lines.begin() + 3, lines.end())};
}

// What the helpers started from now on do; cleared again at the end.
struct HelperSettings {
    HelperSettings(const std::string& record, int delayMs) {
        platform::RemoveFile(record);
        setenv("PGX_HELPER_RECORD", record.c_str(), 1);
        setenv("PGX_HELPER_DELAY_MS", std::to_string(delayMs).c_str(), 1);
        setenv("PGX_HELPER_EXIT", "3", 1);  // the exit status a wait reports
    }
    ~HelperSettings() {
        for (const char* name : {"PGX_HELPER_RECORD", "PGX_HELPER_DELAY_MS", "PGX_HELPER_EXIT"})
            unsetenv(name);
    }
};

bool Eventually(const std::function<bool()>& condition) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A zombie still answers signal 0; only a reaped process is gone.
bool Gone(std::int64_t pid) {
    return kill(static_cast<pid_t>(pid), 0) == -1 && errno == ESRCH;
}

struct Outcome {
    int exitStatus = -1;  // of the isolated child; 0 when its body returned
    bool result = false;
    std::uint32_t errorCode = 0;
    int failCalls = 0;            // OnFail calls with the component as sender and a code set
    bool recordAtReturn = false;  // the helper, which waits before writing it, had ended
    char associatedProgram[512] = {};
};

Outcome ExecuteObserved(TExecFile& exec, const std::string& record = "") {
    Outcome outcome;
    exec.OnFail = [&](TExecFile& sender) {
        outcome.failCalls += &sender == &exec && sender.ErrorCode() != 0 ? 1 : 100;
    };
    outcome.result = exec.Execute();
    outcome.recordAtReturn = !record.empty() && test::Exists(record);
    outcome.errorCode = exec.ErrorCode();
    exec.AssociatedProgram().copy(outcome.associatedProgram, sizeof outcome.associatedProgram - 1);
    return outcome;
}

Outcome RunIsolated(const std::function<Outcome()>& body) {
    int channel[2];
    if (pipe(channel) != 0) {
        ADD_FAILURE() << "pipe";
        return {};
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(channel[0]);
        const Outcome outcome = body();
        _exit(write(channel[1], &outcome, sizeof outcome) == sizeof outcome ? 0 : 3);
    }
    close(channel[1]);
    Outcome outcome;
    while (read(channel[0], &outcome, sizeof outcome) < 0 && errno == EINTR) {
    }
    close(channel[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    outcome.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return outcome;
}

// HOME and XDG_* in a temporary folder, and the helper as bin/xdg-open first
// in PATH, so that nothing outside the test opens anything.
struct DesktopOptions {
    bool handler = true;     // the helper is the default program for text/html
    bool systemData = true;  // the system's data folders (the MIME database) stay visible
    bool opener = true;      // bin/xdg-open exists
    bool systemPath = true;  // PATH goes on with the caller's
};

class PrivateDesktop {
public:
    explicit PrivateDesktop(const DesktopOptions& options)
        : m_desktop(m_dir.Path(), options.handler ? "\"" + kHelper + "\" %U" : "",
                    options.systemData) {
        platform::MakeDirectory(m_dir / "bin");
        if (options.opener) {
            EXPECT_EQ(symlink(kHelper.c_str(), (m_dir / "bin/xdg-open").c_str()), 0);
        }
        const char* path = std::getenv("PATH");
        m_path = (m_dir / "bin") +
                 (options.systemPath && path != nullptr ? std::string(":") + path : std::string());
    }
    // Called in the isolated child, before anything reads the database.
    void Enter() const {
        m_desktop.Enter();
        setenv("PATH", m_path.c_str(), 1);
    }
    std::string operator/(const std::string& name) const { return m_dir / name; }

private:
    TempDir m_dir;
    test::PrivateDesktop m_desktop;
    std::string m_path;
};

// Counts the message pumps of a regular wait and whether Busy was set then;
// asks the application to quit at the given pump.
class CountingBackend : public Backend {
public:
    explicit CountingBackend(TExecFile& exec, int quitAfter = 0)
        : m_exec(exec), m_quitAfter(quitAfter) {}
    void ProcessMessages() override {
        ++calls;
        busySeen = busySeen || m_exec.Busy();
        if (calls == m_quitAfter) Application().Terminate();
    }
    int calls = 0;
    bool busySeen = false;

private:
    TExecFile& m_exec;
    int m_quitAfter;
};

// ---- The first attempt ----

// A program (by path, with blanks in it, or by name through PATH) starts in
// the caller's directory with its parameters split on blanks and the asked
// priority. With Wait it is waited for (only the regular wait handles
// messages meanwhile) and reaped; without, Execute returns at once and the
// program is still reaped when it ends.
TEST(ExecFileStart, AProgramStartsInTheCallersDirectoryAndIsWaitedFor) {
    TempDir dir;
    platform::MakeDirectory(dir / "my programs");
    const std::string program = dir / "my programs/the helper";
    ASSERT_EQ(symlink(kHelper.c_str(), program.c_str()), 0);
    const auto suspend = TWaitStyle::wSuspend, regular = TWaitStyle::wRegular;
    const auto normal = TPriorityClass::pcNormal;
    const struct {
        std::string commandLine, parameters;
        std::optional<TWaitStyle> wait;
        TPriorityClass priority;
        Words args;
    } cases[] = {
        {kHelper, "alpha  beta", suspend, normal, {kHelper, "alpha", "beta"}},
        {kHelper, "alpha  beta", regular, normal, {kHelper, "alpha", "beta"}},
        {program, "", suspend, normal, {program}},
        {program, "one  two", regular, TPriorityClass::pcIdle, {program, "one", "two"}},
        {"env", "-u NONE " + kHelper + " x", suspend, normal, {kHelper, "x"}},
        {kHelper, "", std::nullopt, normal, {kHelper}},
    };
    const std::string old = platform::CurrentDirectory();
    ASSERT_TRUE(platform::ChangeDirectory(dir.Path()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commandLine + " " + c.parameters);
        // The priority is set from outside once the process exists; the
        // helper looks at it a little later.
        HelperSettings settings(dir / "record", c.wait ? 300 : 1500);
        TExecFile exec;
        exec.SetCommandLine(c.commandLine);
        exec.SetParameters(c.parameters);
        exec.SetWait(c.wait.has_value());
        exec.SetWaitStyle(c.wait.value_or(regular));
        exec.SetPriority(c.priority);
        exec.SetAssociate(true);  // not needed: the first attempt succeeds
        CountingBackend backend(exec);
        SetBackend(&backend);
        const Outcome outcome = ExecuteObserved(exec, dir / "record");
        SetBackend(nullptr);
        EXPECT_TRUE(outcome.result);
        EXPECT_EQ(outcome.failCalls, 0);
        EXPECT_EQ(exec.AssociatedProgram(), "");
        EXPECT_FALSE(exec.Busy());
        const bool handlesMessages = c.wait == regular;
        EXPECT_EQ(backend.busySeen, handlesMessages);
        EXPECT_EQ(backend.calls > 2, handlesMessages) << backend.calls;
        EXPECT_EQ(outcome.recordAtReturn, c.wait.has_value());
        EXPECT_EQ(exec.ExitStatus(), c.wait ? 3 : -1);
        ASSERT_TRUE(Eventually([&] { return test::Exists(dir / "record"); }));
        const Record record = ReadRecord(dir / "record");
        EXPECT_EQ(record.pid, exec.ProcessId());
        EXPECT_EQ(record.cwd, dir.Path());
        EXPECT_EQ(record.nice, c.priority == normal ? getpriority(PRIO_PROCESS, 0) : 19);
        EXPECT_EQ(record.args, c.args);
        EXPECT_TRUE(Eventually([&] { return Gone(exec.ProcessId()); }));
    }
    ASSERT_TRUE(platform::ChangeDirectory(old));
}

// The command line and parameters are kept to 255 characters each, and so is
// the command line the first attempt runs.
TEST(ExecFileStart, TheFirstCommandLineIsCutTo255Characters) {
    TempDir dir;
    HelperSettings settings(dir / "record", 0);
    std::string parameters;
    for (int i = 0; parameters.size() < 300; ++i) {
        parameters += "w" + std::to_string(i) + " ";
    }
    TExecFile exec;
    exec.SetCommandLine(std::string(300, 'c'));
    EXPECT_EQ(exec.CommandLine(), std::string(255, 'c'));
    exec.SetCommandLine(kHelper);
    exec.SetParameters(parameters);
    EXPECT_EQ(exec.Parameters(), parameters.substr(0, kMaxInString));
    exec.SetWait(true);
    ASSERT_TRUE(exec.Execute());

    const std::string expected = (kHelper + " " + parameters).substr(0, kMaxInString);
    EXPECT_EQ(exec.FirstCommandLine(), expected);
    std::string received;
    for (const std::string& arg : ReadRecord(dir / "record").args) {
        received += (received.empty() ? "" : " ") + arg;
    }
    EXPECT_EQ(received, expected.substr(0, expected.find_last_not_of(' ') + 1));
}

TEST(ExecFileStart, DocumentsAreNotProgramsWithoutAssociate) {
    TempDir dir;
    test::WriteFile(dir / "page.html", "<html></html>");
    // A page that carries the execute bit is still not run, not even by a shell.
    test::WriteFile(dir / "script.html", "touch " + (dir / "ran") + "\n");
    chmod((dir / "script.html").c_str(), 0755);
    const struct {
        std::string commandLine;
        std::uint32_t error;
    } cases[] = {
        {dir / "page.html", EACCES},    {dir / "script.html", ENOEXEC},
        {dir / "missing.html", ENOENT}, {"page.html", ENOENT},  // no slash: PATH only
        {dir.Path(), EACCES},           {"", ENOENT},
    };
    for (const auto& c : cases) {
        TExecFile exec;
        exec.SetCommandLine(c.commandLine);
        exec.SetWait(true);
        const Outcome outcome = ExecuteObserved(exec);
        EXPECT_FALSE(outcome.result) << c.commandLine;
        EXPECT_EQ(outcome.failCalls, 1) << c.commandLine;
        EXPECT_EQ(outcome.errorCode, c.error) << c.commandLine;
        EXPECT_EQ(exec.ProcessId(), 0);
    }
    EXPECT_FALSE(test::Exists(dir / "ran"));
}

// ---- Waiting ----

TEST(ExecFileWait, AQuitRequestDuringTheRegularWaitEndsTheProgram) {
    TempDir dir;
    HelperSettings settings(dir / "record", 3000);
    const struct {
        bool replaceExit;
        int status;  // of the program that called Execute; 9 when Execute returned
    } cases[] = {{true, 7}, {false, 0}};
    for (const auto& c : cases) {
        const auto start = Clock::now();
        const Outcome outcome = RunIsolated([&] {
            TExecFile exec;
            exec.SetCommandLine(kHelper);
            exec.SetWait(true);
            if (c.replaceExit) {
                exec.SetExitFunction([](int code) { _exit(code == 0 ? 7 : 8); });
            }
            CountingBackend backend(exec, 3);
            SetBackend(&backend);
            exec.Execute();
            _exit(9);
            return Outcome{};
        });
        EXPECT_EQ(outcome.exitStatus, c.status);
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2500));
    }
}

// ---- The associated program ----

// A document that is no program opens in the default program for its type,
// in the caller's directory, with the parameters after it; without such a
// program xdg-open takes over; with neither, or for a missing document,
// Execute fails with the host's error and OnFail.
TEST(ExecFileAssociate, TheDocumentOpensInTheProgramForItsType) {
    const DesktopOptions bare{.handler = false, .systemData = false, .systemPath = false};
    const auto regular = TWaitStyle::wRegular, suspend = TWaitStyle::wSuspend;
    const struct {
        const char* what;
        DesktopOptions desktop;
        std::string document;  // in the caller's directory
        bool exists;
        std::optional<TWaitStyle> wait;
        std::string parameters;
        std::uint32_t error;  // 0: opened
        bool byOpener;        // by bin/xdg-open rather than the helper
    } cases[] = {
        {"by path", {}, "page.html", true, suspend, "", 0, false},
        {"by name, parameters", {}, "page.html", true, regular, "extra  words", 0, false},
        {"not waited", {}, "page.html", true, std::nullopt, "", 0, false},
        {"xdg-open takes over", bare, "notes.pgxdoc", true, suspend, "", 0, true},
        {"nothing to open with",
         {.handler = false, .systemData = false, .opener = false, .systemPath = false},
         "notes.pgxdoc",
         true,
         suspend,
         "",
         platform::kErrorNoAssociation,
         false},
        {"missing document", bare, "notes.pgxdoc", false, suspend, "", ENOENT, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PrivateDesktop desktop(c.desktop);
        const std::string cwd = desktop / "home";
        const std::string document = cwd + "/" + c.document;
        if (c.exists) test::WriteFile(document, "<html><body>Pagorix</body></html>\n");
        const std::string record = desktop / "record";
        HelperSettings settings(record, c.wait ? 200 : 1500);
        const Outcome outcome = RunIsolated([&] {
            desktop.Enter();
            EXPECT_TRUE(platform::ChangeDirectory(cwd));
            TExecFile exec;
            // The name alone when there are parameters: found in the caller's directory.
            exec.SetCommandLine(c.parameters.empty() ? document : c.document);
            exec.SetParameters(c.parameters);
            exec.SetAssociate(true);
            exec.SetWait(c.wait.has_value());
            exec.SetWaitStyle(c.wait.value_or(suspend));
            return ExecuteObserved(exec, record);
        });
        EXPECT_EQ(outcome.exitStatus, 0);
        EXPECT_EQ(outcome.result, c.error == 0) << "error " << outcome.errorCode;
        EXPECT_EQ(outcome.errorCode, c.error);
        EXPECT_EQ(outcome.failCalls, c.error == 0 ? 0 : 1);
        const std::string program = c.error != 0 ? ""
                                    : c.byOpener ? desktop / "bin/xdg-open"
                                                 : kHelper;
        EXPECT_EQ(std::string(outcome.associatedProgram), program);
        if (c.error != 0) continue;
        EXPECT_EQ(outcome.recordAtReturn, c.wait.has_value());
        ASSERT_TRUE(Eventually([&] { return test::Exists(record); }));
        const Record seen = ReadRecord(record);
        Words expected{program, document};
        if (!c.parameters.empty()) expected.insert(expected.end(), {"extra", "words"});
        EXPECT_EQ(seen.args, expected);
        EXPECT_EQ(seen.cwd, cwd);
    }
}

}  // namespace
}  // namespace pagorix
