// TExecFile: starts a program, or a document through the program associated
// with it, optionally waits until the started process ends, and reports a
// failure through OnFail.
//
// Execute makes at most two attempts. The first starts "CommandLine
// Parameters" (cut to 255 characters) as a program. When that fails and
// Associate is set, the host's association for CommandLine is looked up and
// started with the document and the parameters. Whatever fails, ErrorCode
// receives the host's error code (errno or GetLastError; when no program is
// associated at all, platform::kErrorNoAssociation), OnFail runs and Execute
// returns false; no exception leaves Execute. AssociatedProgram is cleared
// by every Execute and names the program the association found.
//
// Waiting: wSuspend blocks without handling any message; wRegular keeps the
// program's messages flowing and ends the whole program when a quit request
// arrives meanwhile. The process is released after the wait (handles closed,
// child reaped), so nothing is left behind; with Wait false it is released
// at once and runs on alone.
//
// Every property only stores its value; CommandLine and Parameters hold at
// most 255 characters, longer values are cut.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "framework/component.h"

namespace pagorix {

enum class TPriorityClass : std::uint8_t { pcNormal, pcIdle, pcHigh, pcRealTime };
enum class TWaitStyle : std::uint8_t { wRegular, wSuspend };
enum class TWindowStyle : std::uint8_t {
    wsNorm,
    wsMinimize,
    wsMaximize,
    wsHide,
    wsMinNoActivate,
    wsShowNoActivate
};

// The longest command line and the longest CommandLine or Parameters value.
inline constexpr std::size_t kMaxInString = 255;

// The show command of the started program's first window (Windows SW_* value).
int ShowCommandOf(TWindowStyle style);
// The creation flag of a priority class (Windows *_PRIORITY_CLASS value).
std::uint32_t PriorityFlagOf(TPriorityClass priority);

class TExecFile : public TComponent {
public:
    using TNotifyEvent = std::function<void(TExecFile& sender)>;
    // Ends the program with an exit code; std::exit unless replaced.
    using ExitFunction = std::function<void(int exitCode)>;

    explicit TExecFile(TComponent* owner = nullptr);
    ~TExecFile() override;

    bool Execute();
    // The exit code of the program the last Execute waited for; -1 when it
    // did not wait, the program was ended by a signal, or nothing started.
    int ExitStatus() const { return m_exitStatus; }

    // Published properties.
    bool Associate() const { return m_associate; }
    void SetAssociate(bool value) { m_associate = value; }
    TPriorityClass Priority() const { return m_priority; }
    void SetPriority(TPriorityClass value) { m_priority = value; }
    bool Wait() const { return m_wait; }
    void SetWait(bool value) { m_wait = value; }
    TWaitStyle WaitStyle() const { return m_waitStyle; }
    void SetWaitStyle(TWaitStyle value) { m_waitStyle = value; }
    const std::string& CommandLine() const { return m_commandLine; }
    void SetCommandLine(const std::string& value);
    const std::string& Parameters() const { return m_parameters; }
    void SetParameters(const std::string& value);
    TWindowStyle WindowStyle() const { return m_windowStyle; }
    void SetWindowStyle(TWindowStyle value) { m_windowStyle = value; }
    TNotifyEvent OnFail;

    // Run-time state.
    std::uint32_t ErrorCode() const { return m_errorCode; }
    bool Busy() const { return m_busy; }
    bool ProcessEnded() const { return m_processEnded; }
    const std::string& AssociatedProgram() const { return m_associatedProgram; }
    // The id of the last process started (0 before the first).
    std::int64_t ProcessId() const { return m_processId; }
    // The show command the last Execute asked for.
    int ShowCommand() const { return m_showCommand; }
    // The command line of the first attempt of the last Execute.
    const std::string& FirstCommandLine() const { return m_firstCommandLine; }

    // Replaces how a quit request during a regular wait ends the program.
    // Should the function return, Execute stops waiting and returns true.
    void SetExitFunction(ExitFunction exitFunction) { m_exit = std::move(exitFunction); }

private:
    bool Fail(int errorCode);

    bool m_processEnded = false;
    bool m_associate = false;
    TPriorityClass m_priority = TPriorityClass::pcNormal;
    std::uint32_t m_errorCode = 0;
    bool m_busy = false;
    bool m_wait = false;
    TWaitStyle m_waitStyle = TWaitStyle::wRegular;
    std::string m_commandLine;
    std::string m_parameters;
    std::string m_associatedProgram;
    TWindowStyle m_windowStyle = TWindowStyle::wsNorm;
    int m_showCommand = 0;
    std::string m_firstCommandLine;
    std::int64_t m_processId = 0;
    int m_exitStatus = -1;
    ExitFunction m_exit;
};

}  // namespace pagorix
