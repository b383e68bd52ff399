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

struct Record {
    long pid = 0;
    std::string cwd;
    int nice = 0;
    Words args;
};

Record ReadRecord(const std::string& path) {
    Record record;
    std::ifstream in(path);
    std::string line;
    if (std::getline(in, line) && std::getline(in, record.cwd)) {
        record.pid = std::atol(line.c_str());
        std::getline(in, line);
        record.nice = std::atoi(line.c_str());
        while (std::getline(in, line)) {
            record.args.push_back(line);
        }
    }
    return record;
}

// What the helpers started from now on do; cleared again at the end.
struct HelperSettings {
    HelperSettings(const std::string& record, int delayMs) {
        platform::RemoveFile(record);
        setenv("PGX_HELPER_RECORD", record.c_str(), 1);
        setenv("PGX_HELPER_DELAY_MS", std::to_string(delayMs).c_str(), 1);
        setenv("PGX_HELPER_EXIT", "3", 1);  // the exit code does not matter to Execute
    }
    ~HelperSettings() {
        for (const char* name : {"PGX_HELPER_RECORD", "PGX_HELPER_DELAY_MS", "PGX_HELPER_EXIT"}) {
            unsetenv(name);
        }
    }
};

bool Eventually(const std::function<bool()>& condition) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (Clock::now() > deadline) {
            return false;
        }
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
    int failCalls = 0;  // OnFail calls with the component as sender and a code set
    long long elapsedMs = 0;
    bool recordAtReturn = false;
    char associatedProgram[512] = {};
};

Outcome ExecuteObserved(TExecFile& exec, const std::string& record = "") {
    Outcome outcome;
    exec.OnFail = [&](TExecFile& sender) {
        outcome.failCalls += &sender == &exec && sender.ErrorCode() != 0 ? 1 : 100;
    };
    const auto start = Clock::now();
    outcome.result = exec.Execute();
    outcome.elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
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
    ssize_t got;
    while ((got = read(channel[0], &outcome, sizeof outcome)) < 0 && errno == EINTR) {
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
    const std::string& Path() const { return m_dir.Path(); }

private:
    TempDir m_dir;
    test::PrivateDesktop m_desktop;
    std::string m_path;
};

// ---- The first attempt ----

// A program (by path, with blanks in it, or by name through PATH) starts in
// the caller's directory with its parameters split on blanks, and is waited
// for and reaped in either wait style.
TEST(ExecFileStart, AProgramStartsInTheCallersDirectoryAndIsWaitedFor) {
    TempDir dir;
    platform::MakeDirectory(dir / "my programs");
    const std::string program = dir / "my programs/the helper";
    ASSERT_EQ(symlink(kHelper.c_str(), program.c_str()), 0);
    const struct {
        std::string commandLine, parameters;
        TWaitStyle style;
        Words args;
    } cases[] = {
        {kHelper, "alpha  beta", TWaitStyle::wSuspend, {kHelper, "alpha", "beta"}},
        {kHelper, "alpha  beta", TWaitStyle::wRegular, {kHelper, "alpha", "beta"}},
        {program, "", TWaitStyle::wSuspend, {program}},
        {program, "one  two", TWaitStyle::wRegular, {program, "one", "two"}},
        {"env", "-u NONE " + kHelper + " x", TWaitStyle::wSuspend, {kHelper, "x"}},
    };
    const std::string old = platform::CurrentDirectory();
    ASSERT_TRUE(platform::ChangeDirectory(dir.Path()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commandLine);
        HelperSettings settings(dir / "record", 100);
        TExecFile exec;
        exec.SetCommandLine(c.commandLine);
        exec.SetParameters(c.parameters);
        exec.SetWait(true);
        exec.SetWaitStyle(c.style);
        exec.SetAssociate(true);  // not needed: the first attempt succeeds
        const Outcome outcome = ExecuteObserved(exec, dir / "record");
        EXPECT_TRUE(outcome.result);
        EXPECT_EQ(outcome.failCalls, 0);
        EXPECT_TRUE(outcome.recordAtReturn);
        EXPECT_EQ(exec.AssociatedProgram(), "");
        EXPECT_TRUE(exec.ProcessEnded());
        EXPECT_FALSE(exec.Busy());
        const Record record = ReadRecord(dir / "record");
        EXPECT_EQ(record.pid, exec.ProcessId());
        EXPECT_EQ(record.cwd, dir.Path());
        EXPECT_EQ(record.args, c.args);
        EXPECT_TRUE(Gone(exec.ProcessId()));  // reaped by the wait
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

TEST(ExecFileStart, TheIdleClassRunsTheProgramAtTheLowestPriority) {
    TempDir dir;
    const struct {
        TPriorityClass priority;
        int nice;
    } cases[] = {
        {TPriorityClass::pcNormal, getpriority(PRIO_PROCESS, 0)},
        {TPriorityClass::pcIdle, 19},
    };
    for (const auto& c : cases) {
        // The priority is set from outside once the process exists; the
        // helper looks at it a little later.
        HelperSettings settings(dir / "record", 200);
        TExecFile exec;
        exec.SetCommandLine(kHelper);
        exec.SetPriority(c.priority);
        exec.SetWait(true);
        ASSERT_TRUE(exec.Execute());
        EXPECT_EQ(ReadRecord(dir / "record").nice, c.nice) << static_cast<int>(c.priority);
    }
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

TEST(ExecFileWait, WithoutWaitExecuteReturnsAtOnceAndTheChildIsStillReaped) {
    TempDir dir;
    HelperSettings settings(dir / "record", 1500);
    TExecFile exec;
    exec.SetCommandLine(kHelper);
    const Outcome outcome = ExecuteObserved(exec, dir / "record");
    ASSERT_TRUE(outcome.result);
    EXPECT_LT(outcome.elapsedMs, 1000);
    EXPECT_FALSE(outcome.recordAtReturn);
    ASSERT_TRUE(Eventually([&] { return test::Exists(dir / "record"); }));
    EXPECT_TRUE(Eventually([&] { return Gone(exec.ProcessId()); }));
}

class CountingBackend : public Backend {
public:
    explicit CountingBackend(TExecFile& exec, int quitAfter = 0)
        : m_exec(exec), m_quitAfter(quitAfter) {}
    void ProcessMessages() override {
        ++calls;
        busySeen = busySeen || m_exec.Busy();
        if (calls == m_quitAfter) {
            Application().Terminate();
        }
    }
    int calls = 0;
    bool busySeen = false;

private:
    TExecFile& m_exec;
    int m_quitAfter;
};

TEST(ExecFileWait, OnlyTheRegularWaitHandlesMessages) {
    for (const TWaitStyle style : {TWaitStyle::wRegular, TWaitStyle::wSuspend}) {
        TempDir dir;
        HelperSettings settings(dir / "record", 300);
        TExecFile exec;
        exec.SetCommandLine(kHelper);
        exec.SetWait(true);
        exec.SetWaitStyle(style);
        CountingBackend backend(exec);
        SetBackend(&backend);
        const Outcome outcome = ExecuteObserved(exec, dir / "record");
        SetBackend(nullptr);
        EXPECT_TRUE(outcome.recordAtReturn);
        EXPECT_EQ(backend.busySeen, style == TWaitStyle::wRegular);
        EXPECT_EQ(backend.calls > 2, style == TWaitStyle::wRegular) << backend.calls;
    }
}

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

TEST(ExecFileAssociate, ThePageOpensInTheDefaultProgramForItsType) {
    PrivateDesktop desktop({});
    const std::string page = desktop / "page.html";
    test::WriteFile(page, "<html><body>Pagorix</body></html>\n");
    const struct {
        std::string commandLine, cwd, parameters;
        bool wait;
        TWaitStyle style;
        Words args;  // after the program's own path
    } cases[] = {
        {page, desktop / "home", "", true, TWaitStyle::wSuspend, {page}},
        {"page.html",
         desktop.Path(),
         "extra  words",
         true,
         TWaitStyle::wRegular,
         {page, "extra", "words"}},
        {page, desktop.Path(), "", false, TWaitStyle::wSuspend, {page}},
    };
    for (const auto& c : cases) {
        const std::string record = desktop / "record";
        HelperSettings settings(record, c.wait ? 200 : 1500);
        const Outcome outcome = RunIsolated([&] {
            desktop.Enter();
            EXPECT_TRUE(platform::ChangeDirectory(c.cwd));
            TExecFile exec;
            exec.SetCommandLine(c.commandLine);
            exec.SetParameters(c.parameters);
            exec.SetAssociate(true);
            exec.SetWait(c.wait);
            exec.SetWaitStyle(c.style);
            return ExecuteObserved(exec, record);
        });
        EXPECT_EQ(outcome.exitStatus, 0);
        EXPECT_TRUE(outcome.result) << c.commandLine << " error " << outcome.errorCode;
        EXPECT_EQ(outcome.failCalls, 0);
        EXPECT_EQ(std::string(outcome.associatedProgram), kHelper);
        // With Wait the program has ended; without, Execute did not wait.
        EXPECT_EQ(outcome.recordAtReturn, c.wait);
        if (!c.wait) {
            EXPECT_LT(outcome.elapsedMs, 1000);
        }
        ASSERT_TRUE(Eventually([&] { return test::Exists(record); }));
        const Record seen = ReadRecord(record);
        Words expected{kHelper};
        expected.insert(expected.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(seen.args, expected);
        EXPECT_EQ(seen.cwd, c.cwd);
    }
}

TEST(ExecFileAssociate, WithoutAHandlerTheOpenerTakesOverOrItFails) {
    const struct {
        const char* name;
        bool opener, documentExists, result;
        std::uint32_t error;
    } cases[] = {
        {"xdg-open takes over", true, true, true, 0},
        {"nothing to open with", false, true, false,
         static_cast<std::uint32_t>(platform::kErrorNoAssociation)},
        {"missing document", true, false, false, ENOENT},
    };
    for (const auto& c : cases) {
        PrivateDesktop desktop(
            {.handler = false, .systemData = false, .opener = c.opener, .systemPath = false});
        const std::string document = desktop / "notes.pgxdoc";
        if (c.documentExists) {
            test::WriteFile(document, "plain words\n");
        }
        HelperSettings settings(desktop / "record", 0);
        const Outcome outcome = RunIsolated([&] {
            desktop.Enter();
            TExecFile exec;
            exec.SetCommandLine(document);
            exec.SetAssociate(true);
            exec.SetWait(true);
            return ExecuteObserved(exec, desktop / "record");
        });
        EXPECT_EQ(outcome.exitStatus, 0) << c.name;
        EXPECT_EQ(outcome.result, c.result) << c.name;
        EXPECT_EQ(outcome.errorCode, c.error) << c.name;
        EXPECT_EQ(outcome.failCalls, c.result ? 0 : 1) << c.name;
        EXPECT_EQ(std::string(outcome.associatedProgram), c.result ? desktop / "bin/xdg-open" : "")
            << c.name;
        if (c.result) {
            EXPECT_EQ(ReadRecord(desktop / "record").args,
                      (Words{desktop / "bin/xdg-open", document}));
        }
    }
}

}  // namespace
}  // namespace pagorix
