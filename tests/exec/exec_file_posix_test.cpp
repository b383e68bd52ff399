// TExecFile starting real processes on a POSIX host. Whatever reads the
// desktop database or asks the application to quit runs in a forked child
// (RunIsolated): the environment it sets, the caches GIO builds and the
// application's quit state stay out of this process.
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <sstream>
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

// The program the tests start, written into `dir`. After $PGX_HELPER_DELAY seconds it writes to
// $PGX_HELPER_RECORD (under a temporary name, then renamed, so that a reader
// never sees half) its pid, current directory, nice value and every argument,
// one per line, and ends with status 3.
std::string WriteHelper(const TempDir& dir) {
    const std::string path = dir / "pgx-helper";
    test::WriteFile(
        path,
        "#!/bin/sh\n"
        "PATH=/usr/bin:/bin\n"  // its callers' PATH may hold only bin/xdg-open
        "sleep \"${PGX_HELPER_DELAY:-0}\"\n"
        "exec 2>/dev/null\n"  // a record asked by a test that has ended goes nowhere
        "{ echo $$; pwd -P; nice; printf '%s\\n' \"$0\" \"$@\"; } >\"$PGX_HELPER_RECORD.part\"\n"
        "mv \"$PGX_HELPER_RECORD.part\" \"$PGX_HELPER_RECORD\"\n"
        "exit 3\n");
    chmod(path.c_str(), 0755);
    return path;
}

Words Split(const std::string& text, char delimiter) {
    Words parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, delimiter);)
        parts.push_back(part);
    return parts;
}

// Where the helpers started from now on write, and after how long.
void HelperWrites(const std::string& record, const char* delay) {
    platform::RemoveFile(record);
    setenv("PGX_HELPER_RECORD", record.c_str(), 1);
    setenv("PGX_HELPER_DELAY", delay, 1);
}

bool Eventually(const std::function<bool()>& condition) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
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

// The body's outcome comes back through memory shared with the child.
Outcome RunIsolated(const std::function<Outcome()>& body) {
    void* shared =
        mmap(nullptr, sizeof(Outcome), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    const pid_t pid = fork();
    if (pid == 0) {
        const Outcome outcome = body();
        std::memcpy(shared, &outcome, sizeof outcome);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    Outcome outcome;
    std::memcpy(&outcome, shared, sizeof outcome);
    munmap(shared, sizeof(Outcome));
    outcome.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return outcome;
}

// The private desktop of a case (HOME and XDG_* in a temporary folder): the
// helper as the default program for text/html, with the system's MIME
// database and the caller's PATH after bin/; the helper only as bin/xdg-open,
// alone in PATH; or neither. Nothing outside the test opens anything.
enum class Desktop { Full, OpenerOnly, Nothing };

// Counts the message pumps of a regular wait; asks the application to quit
// at the given pump.
struct CountingBackend : Backend {
    void ProcessMessages() override {
        if (++calls == quitAfter) Application().Terminate();
    }
    int calls = 0;
    int quitAfter = 0;
};

// A program (by path, with blanks in it, or by name through PATH) starts in
// the caller's directory with its parameters split on blanks and the asked
// priority. With Wait it is waited for (only the regular wait handles
// messages meanwhile) and reaped; without, Execute returns at once and the
// program is still reaped when it ends. The command line and parameters are
// kept to 255 characters each, and so is the line the first attempt runs.
TEST(ExecFileStart, AProgramStartsInTheCallersDirectoryAndIsWaitedFor) {
    TempDir dir;
    const std::string helper = WriteHelper(dir);
    platform::MakeDirectory(dir / "my programs");
    const std::string program = dir / "my programs/the helper";
    ASSERT_EQ(symlink(helper.c_str(), program.c_str()), 0);
    const auto suspend = TWaitStyle::wSuspend, regular = TWaitStyle::wRegular;
    const auto normal = TPriorityClass::pcNormal;
    std::string longParameters;
    for (int i = 0; longParameters.size() < 300; ++i)
        longParameters += "w" + std::to_string(i) + " ";
    // The words of the command line cut to 255 characters.
    const Words cut = Split((helper + " " + longParameters).substr(0, kMaxInString), ' ');
    const struct {
        std::string commandLine, parameters;
        std::optional<TWaitStyle> wait;
        TPriorityClass priority;
        Words args;
    } cases[] = {
        {helper, "alpha  beta", suspend, normal, {helper, "alpha", "beta"}},
        {program, "", suspend, normal, {program}},
        {program, "one  two", regular, TPriorityClass::pcIdle, {program, "one", "two"}},
        {"env", "-u NONE " + helper + " x", suspend, normal, {helper, "x"}},
        {helper, "", std::nullopt, normal, {helper}},
        {helper, longParameters, suspend, normal, cut},
    };
    TExecFile tooLong;
    tooLong.SetCommandLine(std::string(300, 'c'));
    EXPECT_EQ(tooLong.CommandLine(), std::string(255, 'c'));
    const std::string old = platform::CurrentDirectory();
    ASSERT_TRUE(platform::ChangeDirectory(dir.Path()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commandLine + " " + c.parameters);
        // The priority is set from outside once the process exists; the
        // helper looks at it a little later.
        HelperWrites(dir / "record", c.wait ? "0.3" : "1.5");
        TExecFile exec;
        exec.SetCommandLine(c.commandLine);
        exec.SetParameters(c.parameters);
        EXPECT_EQ(exec.Parameters(), c.parameters.substr(0, kMaxInString));
        exec.SetWait(c.wait.has_value());
        exec.SetWaitStyle(c.wait.value_or(regular));
        exec.SetPriority(c.priority);
        exec.SetAssociate(true);  // not needed: the first attempt succeeds
        CountingBackend backend;
        SetBackend(&backend);
        const Outcome outcome = ExecuteObserved(exec, dir / "record");
        SetBackend(nullptr);
        EXPECT_TRUE(outcome.result);
        EXPECT_EQ(outcome.failCalls, 0);
        EXPECT_EQ(exec.AssociatedProgram(), "");
        EXPECT_FALSE(exec.Busy());
        // Only the regular wait handles messages.
        EXPECT_EQ(backend.calls > 2, c.wait == regular) << backend.calls;
        EXPECT_EQ(outcome.recordAtReturn, c.wait.has_value());
        EXPECT_EQ(exec.ExitStatus(), c.wait ? 3 : -1);
        ASSERT_TRUE(Eventually([&] { return test::Exists(dir / "record"); }));
        const int niceness = c.priority == normal ? getpriority(PRIO_PROCESS, 0) : 19;
        Words expected = {std::to_string(exec.ProcessId()), dir.Path(), std::to_string(niceness)};
        expected.insert(expected.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(Split(test::ReadText(dir / "record"), '\n'), expected);
        // A zombie still answers signal 0; only a reaped process is gone.
        const auto pid = static_cast<pid_t>(exec.ProcessId());
        EXPECT_TRUE(Eventually([&] { return kill(pid, 0) == -1 && errno == ESRCH; }));
    }
    ASSERT_TRUE(platform::ChangeDirectory(old));
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

TEST(ExecFileWait, AQuitRequestDuringTheRegularWaitEndsTheProgram) {
    TempDir dir;
    const std::string helper = WriteHelper(dir);
    HelperWrites(dir / "record", "3");
    const struct {
        bool replaceExit;
        int status;  // of the program that called Execute; 9 when Execute returned
    } cases[] = {{true, 7}, {false, 0}};
    for (const auto& c : cases) {
        const auto start = Clock::now();
        const Outcome outcome = RunIsolated([&] {
            TExecFile exec;
            exec.SetCommandLine(helper);
            exec.SetWait(true);
            if (c.replaceExit) {
                exec.SetExitFunction([](int code) { _exit(code == 0 ? 7 : 8); });
            }
            CountingBackend backend;
            backend.quitAfter = 3;
            SetBackend(&backend);
            exec.Execute();
            _exit(9);
            return Outcome{};
        });
        EXPECT_EQ(outcome.exitStatus, c.status);
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2500));
    }
}

// A document that is no program opens in the default program for its type,
// in the caller's directory, with the parameters after it; without such a
// program xdg-open takes over; with neither, or for a missing document,
// Execute fails with the host's error and OnFail.
TEST(ExecFileAssociate, TheDocumentOpensInTheProgramForItsType) {
    using enum Desktop;
    const auto regular = TWaitStyle::wRegular, suspend = TWaitStyle::wSuspend;
    const std::uint32_t kNoAssociation = platform::kErrorNoAssociation;
    const struct {
        const char* what;
        Desktop desktop;
        std::string document;  // in the caller's directory; missing for ENOENT
        TWaitStyle wait;
        std::string parameters;
        std::uint32_t error;  // 0: opened, by bin/xdg-open where the desktop has no program
    } cases[] = {
        {"by path", Full, "page.html", suspend, "", 0},
        {"by name, parameters", Full, "page.html", regular, "extra  words", 0},
        {"xdg-open takes over", OpenerOnly, "notes.pgxdoc", suspend, "", 0},
        {"nothing to open with", Nothing, "notes.pgxdoc", suspend, "", kNoAssociation},
        {"missing document", OpenerOnly, "notes.pgxdoc", suspend, "", ENOENT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string helper = WriteHelper(dir);
        const bool full = c.desktop == Full;
        const test::PrivateDesktop desktop(dir.Path(), full ? "\"" + helper + "\" %U" : "", full);
        platform::MakeDirectory(dir / "bin");
        if (c.desktop != Nothing) {
            EXPECT_EQ(symlink(helper.c_str(), (dir / "bin/xdg-open").c_str()), 0);
        }
        const char* callerPath = std::getenv("PATH");
        const std::string path =
            (dir / "bin") + (full && callerPath ? ":" + std::string(callerPath) : "");
        const std::string cwd = desktop.Home();
        const std::string document = cwd + "/" + c.document;
        if (c.error != ENOENT) test::WriteFile(document, "<html><body>Pagorix</body></html>\n");
        const std::string record = dir / "record";
        HelperWrites(record, "0.2");
        const Outcome outcome = RunIsolated([&] {
            desktop.Enter();
            setenv("PATH", path.c_str(), 1);
            EXPECT_TRUE(platform::ChangeDirectory(cwd));
            TExecFile exec;
            // The name alone when there are parameters: found in the caller's directory.
            exec.SetCommandLine(c.parameters.empty() ? document : c.document);
            exec.SetParameters(c.parameters);
            exec.SetAssociate(true);
            exec.SetWait(true);
            exec.SetWaitStyle(c.wait);
            return ExecuteObserved(exec, record);
        });
        EXPECT_EQ(outcome.exitStatus, 0);
        EXPECT_EQ(outcome.result, c.error == 0) << "error " << outcome.errorCode;
        EXPECT_EQ(outcome.errorCode, c.error);
        EXPECT_EQ(outcome.failCalls, c.error == 0 ? 0 : 1);
        const std::string program = c.error != 0              ? ""
                                    : c.desktop == OpenerOnly ? dir / "bin/xdg-open"
                                                              : helper;
        EXPECT_EQ(std::string(outcome.associatedProgram), program);
        if (c.error != 0) continue;
        ASSERT_TRUE(outcome.recordAtReturn);
        const Words seen = Split(test::ReadText(record), '\n');
        ASSERT_GE(seen.size(), 3u);
        EXPECT_EQ(seen[1], cwd);
        Words expected{program, document};
        if (!c.parameters.empty()) expected.insert(expected.end(), {"extra", "words"});
        EXPECT_EQ(Words(seen.begin() + 3, seen.end()), expected);
    }
}

}  // namespace
}  // namespace pagorix
