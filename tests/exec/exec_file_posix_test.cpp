// TExecFile starting real processes on a POSIX host: the helper program
// records its arguments and current directory; associations come from a
// private desktop configuration (HOME and XDG_* in a temporary folder, a
// .desktop file for text/html made the default with xdg-mime).
//
// Whatever reads the desktop database or asks the application to quit runs
// in a forked child (RunIsolated), so that the environment it sets and the
// caches GIO builds stay out of this process and out of the other tests.
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
#include <sstream>
#include <thread>

#include "exec/exec_file.h"
#include "framework/application.h"
#include "framework/backend.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "support/test_support.h"

namespace pagorix {
namespace {

using Clock = std::chrono::steady_clock;
using test::TempDir;

const std::string kHelper = PAGORIX_EXEC_HELPER;

// What the helper wrote: its pid, its current directory, its arguments.
struct Record {
    bool present = false;
    long pid = 0;
    std::string cwd;
    int nice = 0;
    std::vector<std::string> args;
};

Record ReadRecord(const std::string& path) {
    Record record;
    std::ifstream in(path);
    if (!in) {
        return record;
    }
    record.present = true;
    std::string line;
    std::getline(in, line);
    record.pid = std::atol(line.c_str());
    std::getline(in, record.cwd);
    std::getline(in, line);
    record.nice = std::atoi(line.c_str());
    while (std::getline(in, line)) {
        record.args.push_back(line);
    }
    return record;
}

// Tells the helpers started from now on where to record, how long to wait
// and what exit code to give; clears it again.
class HelperSettings {
public:
    HelperSettings(const std::string& record, int delayMs, int exitCode = 0) {
        setenv("PGX_HELPER_RECORD", record.c_str(), 1);
        setenv("PGX_HELPER_DELAY_MS", std::to_string(delayMs).c_str(), 1);
        setenv("PGX_HELPER_EXIT", std::to_string(exitCode).c_str(), 1);
    }
    ~HelperSettings() {
        unsetenv("PGX_HELPER_RECORD");
        unsetenv("PGX_HELPER_DELAY_MS");
        unsetenv("PGX_HELPER_EXIT");
    }
    HelperSettings(const HelperSettings&) = delete;
    HelperSettings& operator=(const HelperSettings&) = delete;
};

class InDirectory {
public:
    explicit InDirectory(const std::string& dir) : m_old(platform::CurrentDirectory()) {
        EXPECT_EQ(chdir(dir.c_str()), 0);
    }
    ~InDirectory() { EXPECT_EQ(chdir(m_old.c_str()), 0); }
    InDirectory(const InDirectory&) = delete;
    InDirectory& operator=(const InDirectory&) = delete;

private:
    std::string m_old;
};

bool Eventually(const std::function<bool()>& condition, int timeoutMs = 5000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
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

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// ---- Isolated runs ----

struct Outcome {
    int exitStatus = -1;  // of the isolated child; 0 when the body returned
    bool result = false;
    std::uint32_t errorCode = 0;
    int failCalls = 0;
    long long elapsedMs = 0;
    bool observed = false;  // what the body chose to look at right after Execute
    std::string associatedProgram;
};

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
        std::ostringstream text;
        text << outcome.result << ' ' << outcome.errorCode << ' ' << outcome.failCalls << ' '
             << outcome.elapsedMs << ' ' << outcome.observed << '\n'
             << outcome.associatedProgram;
        const std::string bytes = text.str();
        if (write(channel[1], bytes.data(), bytes.size()) < 0) {
            _exit(3);
        }
        _exit(0);
    }
    close(channel[1]);
    std::string bytes;
    char buffer[512];
    ssize_t got;
    while ((got = read(channel[0], buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
        bytes.append(buffer, static_cast<size_t>(got > 0 ? got : 0));
    }
    close(channel[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    Outcome outcome;
    outcome.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::istringstream in(bytes);
    in >> outcome.result >> outcome.errorCode >> outcome.failCalls >> outcome.elapsedMs >>
        outcome.observed;
    in.ignore(1);
    std::getline(in, outcome.associatedProgram);
    return outcome;
}

Outcome ExecuteObserved(TExecFile& exec) {
    Outcome outcome;
    exec.OnFail = [&outcome, &exec](TExecFile& sender) {
        // The sender is the component, and the code is set before the call.
        if (&sender == &exec && sender.ErrorCode() != 0) {
            ++outcome.failCalls;
        }
    };
    const auto start = Clock::now();
    outcome.result = exec.Execute();
    outcome.elapsedMs = MillisecondsSince(start);
    outcome.errorCode = exec.ErrorCode();
    outcome.associatedProgram = exec.AssociatedProgram();
    return outcome;
}

// A desktop of our own: HOME, XDG_CONFIG_HOME, XDG_DATA_HOME in a temporary
// folder, and the helper as bin/xdg-open, first in PATH, so that nothing
// outside the test opens anything.
struct DesktopOptions {
    bool handler = true;     // the helper is the default program for text/html
    bool systemData = true;  // the system's data folders (the MIME database) stay visible
    bool opener = true;      // bin/xdg-open exists
    bool systemPath = true;  // PATH goes on with the caller's
};

class PrivateDesktop {
public:
    explicit PrivateDesktop(const DesktopOptions& options) {
        for (const char* sub : {"home", "config", "data", "data/applications", "cache", "bin",
                                "nodata", "noconfig"}) {
            EXPECT_TRUE(platform::MakeDirectory(m_dir / sub)) << sub;
        }
        if (options.opener) {
            EXPECT_EQ(symlink(kHelper.c_str(), (m_dir / "bin/xdg-open").c_str()), 0);
        }
        m_vars = {{"HOME", m_dir / "home"},
                  {"XDG_CONFIG_HOME", m_dir / "config"},
                  {"XDG_DATA_HOME", m_dir / "data"},
                  {"XDG_CACHE_HOME", m_dir / "cache"},
                  {"XDG_CONFIG_DIRS", m_dir / "noconfig"}};
        if (!options.systemData) {
            m_vars.emplace_back("XDG_DATA_DIRS", m_dir / "nodata");
        }
        if (options.handler) {
            test::WriteFile(m_dir / "data/applications/pgx-helper.desktop",
                            "[Desktop Entry]\n"
                            "Type=Application\n"
                            "Name=Pagorix test helper\n"
                            "Exec=\"" +
                                kHelper +
                                "\" %U\n"
                                "MimeType=text/html;\n");
            std::string command =
                "env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u KDE_FULL_SESSION "
                "-u GNOME_DESKTOP_SESSION_ID -u XDG_DATA_DIRS";
            for (const auto& [name, value] : m_vars) {
                command += " " + name + "='" + value + "'";
            }
            command += " xdg-mime default pgx-helper.desktop text/html";
            EXPECT_EQ(std::system(command.c_str()), 0) << command;
        }
        const char* path = std::getenv("PATH");
        m_vars.emplace_back("PATH", (m_dir / "bin") + (options.systemPath && path != nullptr
                                                           ? std::string(":") + path
                                                           : std::string()));
    }
    // Called in the isolated child, before anything reads the database.
    void Enter() const {
        for (const char* name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                                 "GNOME_DESKTOP_SESSION_ID", "XDG_DATA_DIRS"}) {
            unsetenv(name);
        }
        for (const auto& [name, value] : m_vars) {
            setenv(name.c_str(), value.c_str(), 1);
        }
        setenv("GIO_USE_VFS", "local", 1);
    }
    std::string operator/(const std::string& name) const { return m_dir / name; }
    const std::string& Path() const { return m_dir.Path(); }

private:
    TempDir m_dir;
    std::vector<std::pair<std::string, std::string>> m_vars;
};

// ---- First attempt ----

TEST(ExecFileStart, AProgramStartsAtTheFirstAttemptInTheCallersDirectory) {
    for (const TWaitStyle style : {TWaitStyle::wSuspend, TWaitStyle::wRegular}) {
        TempDir dir;
        InDirectory inDir(dir.Path());
        HelperSettings settings(dir / "record", 100, 3);
        TExecFile exec;
        exec.SetCommandLine(kHelper);
        exec.SetParameters("alpha  beta");
        exec.SetWait(true);
        exec.SetWaitStyle(style);
        exec.SetAssociate(true);  // not needed: the first attempt succeeds
        const Outcome outcome = ExecuteObserved(exec);

        EXPECT_TRUE(outcome.result);
        EXPECT_EQ(outcome.failCalls, 0);
        EXPECT_EQ(outcome.errorCode, 0u);
        EXPECT_EQ(exec.AssociatedProgram(), "");
        EXPECT_TRUE(exec.ProcessEnded());
        EXPECT_FALSE(exec.Busy());
        // The wait covered the helper's whole life, and reaped it.
        const Record record = ReadRecord(dir / "record");
        ASSERT_TRUE(record.present);
        EXPECT_EQ(record.pid, exec.ProcessId());
        EXPECT_EQ(record.cwd, dir.Path());
        EXPECT_EQ(record.args, (std::vector<std::string>{kHelper, "alpha", "beta"}));
        EXPECT_TRUE(Gone(exec.ProcessId()));
    }
}

TEST(ExecFileStart, NamesWithoutASlashAreLookedUpInPath) {
    TExecFile exec;
    exec.SetCommandLine("true");
    exec.SetWait(true);
    exec.SetWaitStyle(TWaitStyle::wSuspend);
    EXPECT_TRUE(exec.Execute());
    EXPECT_TRUE(Gone(exec.ProcessId()));
}

TEST(ExecFileStart, AProgramPathMayHoldBlanks) {
    TempDir dir;
    platform::MakeDirectory(dir / "my programs");
    const std::string program = dir / "my programs/the helper";
    ASSERT_EQ(symlink(kHelper.c_str(), program.c_str()), 0);
    const struct {
        std::string parameters;
        std::vector<std::string> args;
    } cases[] = {
        {"", {program}},
        {"one  two", {program, "one", "two"}},
    };
    for (const auto& c : cases) {
        platform::RemoveFile(dir / "record");
        HelperSettings settings(dir / "record", 0);
        TExecFile exec;
        exec.SetCommandLine(program);
        exec.SetParameters(c.parameters);
        exec.SetWait(true);
        exec.SetWaitStyle(TWaitStyle::wSuspend);
        EXPECT_TRUE(exec.Execute());
        EXPECT_EQ(ReadRecord(dir / "record").args, c.args);
    }
}

TEST(ExecFileStart, TheFirstCommandLineIsCutTo255Characters) {
    TempDir dir;
    HelperSettings settings(dir / "record", 0);
    std::string parameters;
    for (int i = 0; parameters.size() < 250; ++i) {
        parameters += "w" + std::to_string(i) + " ";
    }
    TExecFile exec;
    exec.SetCommandLine(kHelper);
    exec.SetParameters(parameters);
    exec.SetWait(true);
    exec.SetWaitStyle(TWaitStyle::wSuspend);
    ASSERT_GT(kHelper.size() + 1 + exec.Parameters().size(), kMaxInString);
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
        platform::RemoveFile(dir / "record");
        // The helper looks at its priority after a while: the start sets it
        // from outside once the process exists.
        HelperSettings settings(dir / "record", 200);
        TExecFile exec;
        exec.SetCommandLine(kHelper);
        exec.SetPriority(c.priority);
        exec.SetWait(true);
        exec.SetWaitStyle(TWaitStyle::wSuspend);
        ASSERT_TRUE(exec.Execute());
        EXPECT_EQ(exec.CreationFlags(), PriorityFlagOf(c.priority));
        EXPECT_EQ(ReadRecord(dir / "record").nice, c.nice) << static_cast<int>(c.priority);
    }
}

TEST(ExecFileStart, DocumentsAreNotProgramsWithoutAssociate) {
    TempDir dir;
    test::WriteFile(dir / "page.html", "<html></html>");
    // A page that carries the execute bit is still not run, not even as a
    // shell script.
    test::WriteFile(dir / "script.html", "touch " + (dir / "ran") + "\n");
    chmod((dir / "script.html").c_str(), 0755);
    const struct {
        std::string commandLine;
        std::uint32_t error;
    } cases[] = {
        {dir / "page.html", EACCES},    {dir / "script.html", ENOEXEC},
        {dir / "missing.html", ENOENT}, {"page.html", ENOENT},  // no slash: looked up in PATH only
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
    const Outcome outcome = ExecuteObserved(exec);
    ASSERT_TRUE(outcome.result);
    EXPECT_LT(outcome.elapsedMs, 1000);
    EXPECT_FALSE(test::Exists(dir / "record"));
    EXPECT_FALSE(exec.ProcessEnded());
    ASSERT_TRUE(Eventually([&] { return test::Exists(dir / "record"); }));
    EXPECT_TRUE(Eventually([&] { return Gone(exec.ProcessId()); }));
}

class CountingBackend : public Backend {
public:
    explicit CountingBackend(TExecFile& exec) : m_exec(exec) {}
    void ProcessMessages() override {
        ++calls;
        busySeen = busySeen || m_exec.Busy();
        if (quitAfter > 0 && calls == quitAfter) {
            Application().Terminate();
        }
    }
    int calls = 0;
    int quitAfter = 0;
    bool busySeen = false;

private:
    TExecFile& m_exec;
};

TEST(ExecFileWait, TheRegularWaitKeepsTheMessagesFlowing) {
    TempDir dir;
    HelperSettings settings(dir / "record", 300);
    TExecFile exec;
    exec.SetCommandLine(kHelper);
    exec.SetWait(true);
    CountingBackend backend(exec);
    SetBackend(&backend);
    const bool started = exec.Execute();
    SetBackend(nullptr);
    EXPECT_TRUE(started);
    EXPECT_TRUE(backend.busySeen);
    EXPECT_GT(backend.calls, 2);
    EXPECT_TRUE(test::Exists(dir / "record"));
}

TEST(ExecFileWait, TheSuspendedWaitHandlesNoMessage) {
    TempDir dir;
    HelperSettings settings(dir / "record", 100);
    TExecFile exec;
    exec.SetCommandLine(kHelper);
    exec.SetWait(true);
    exec.SetWaitStyle(TWaitStyle::wSuspend);
    CountingBackend backend(exec);
    SetBackend(&backend);
    EXPECT_TRUE(exec.Execute());
    SetBackend(nullptr);
    EXPECT_EQ(backend.calls, 0);
    EXPECT_TRUE(test::Exists(dir / "record"));
}

TEST(ExecFileWait, AQuitRequestDuringTheRegularWaitEndsTheProgram) {
    TempDir dir;
    HelperSettings settings(dir / "record", 3000);
    const struct {
        bool replaceExit;
        int status;  // of the program that ran Execute
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
            CountingBackend backend(exec);
            backend.quitAfter = 3;
            SetBackend(&backend);
            exec.Execute();
            _exit(9);  // reached only when Execute returned
            return Outcome{};
        });
        EXPECT_EQ(outcome.exitStatus, c.status);
        EXPECT_LT(MillisecondsSince(start), 2500);
    }
}

// ---- The associated program ----

TEST(ExecFileAssociate, ThePageOpensInTheDefaultProgramForItsType) {
    PrivateDesktop desktop({});
    const std::string page = desktop / "page.html";
    test::WriteFile(page, "<html><body>Pagorix</body></html>\n");
    const struct {
        std::string commandLine;
        std::string cwd;
        TWaitStyle style;
        std::string parameters;
        std::vector<std::string> args;  // after the program's own name
    } cases[] = {
        {page, desktop / "home", TWaitStyle::wSuspend, "", {page}},
        {"page.html",
         desktop.Path(),
         TWaitStyle::wRegular,
         "extra  words",
         {page, "extra", "words"}},
    };
    for (const auto& c : cases) {
        const std::string recordPath = desktop / "record";
        platform::RemoveFile(recordPath);
        HelperSettings settings(recordPath, 200);
        const Outcome outcome = RunIsolated([&] {
            desktop.Enter();
            InDirectory inDir(c.cwd);
            TExecFile exec;
            exec.SetCommandLine(c.commandLine);
            exec.SetParameters(c.parameters);
            exec.SetAssociate(true);
            exec.SetWait(true);
            exec.SetWaitStyle(c.style);
            Outcome run = ExecuteObserved(exec);
            run.observed = test::Exists(recordPath);
            return run;
        });
        EXPECT_EQ(outcome.exitStatus, 0);
        EXPECT_TRUE(outcome.result) << c.commandLine << " error " << outcome.errorCode;
        EXPECT_EQ(outcome.failCalls, 0);
        EXPECT_EQ(outcome.associatedProgram, kHelper);
        EXPECT_TRUE(outcome.observed) << "Execute returned before the program ended";
        const Record record = ReadRecord(recordPath);
        std::vector<std::string> expected{kHelper};
        expected.insert(expected.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(record.args, expected);
        EXPECT_EQ(record.cwd, c.cwd);
    }
}

TEST(ExecFileAssociate, WithoutWaitTheOpenedPageIsLeftRunning) {
    PrivateDesktop desktop({});
    const std::string page = desktop / "page.html";
    test::WriteFile(page, "<html></html>\n");
    HelperSettings settings(desktop / "record", 1500);
    const Outcome outcome = RunIsolated([&] {
        desktop.Enter();
        TExecFile exec;
        exec.SetCommandLine(page);
        exec.SetAssociate(true);
        Outcome run = ExecuteObserved(exec);
        run.observed = test::Exists(desktop / "record");
        return run;
    });
    EXPECT_TRUE(outcome.result);
    EXPECT_EQ(outcome.associatedProgram, kHelper);
    EXPECT_LT(outcome.elapsedMs, 1000);
    EXPECT_FALSE(outcome.observed);
    EXPECT_TRUE(Eventually([&] { return test::Exists(desktop / "record"); }));
}

TEST(ExecFileAssociate, WithoutAHandlerTheOpenerOrAFailure) {
    const struct {
        const char* name;
        bool opener;
        bool documentExists;
        bool result;
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
            exec.SetWaitStyle(TWaitStyle::wSuspend);
            return ExecuteObserved(exec);
        });
        EXPECT_EQ(outcome.exitStatus, 0) << c.name;
        EXPECT_EQ(outcome.result, c.result) << c.name;
        EXPECT_EQ(outcome.errorCode, c.error) << c.name;
        EXPECT_EQ(outcome.failCalls, c.result ? 0 : 1) << c.name;
        if (c.result) {
            EXPECT_EQ(outcome.associatedProgram, desktop / "bin/xdg-open") << c.name;
            EXPECT_EQ(ReadRecord(desktop / "record").args,
                      (std::vector<std::string>{desktop / "bin/xdg-open", document}));
        } else {
            EXPECT_EQ(outcome.associatedProgram, "") << c.name;
        }
    }
}

}  // namespace
}  // namespace pagorix
