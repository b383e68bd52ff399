#include "exec/exec_file.h"

#include <cstdlib>

#include "framework/application.h"
#include "platform/process.h"

namespace pagorix {

namespace {

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOWMINNOACTIVE = 7;
constexpr int SW_SHOWNA = 8;

constexpr std::uint32_t NORMAL_PRIORITY_CLASS = 0x20;
constexpr std::uint32_t IDLE_PRIORITY_CLASS = 0x40;
constexpr std::uint32_t HIGH_PRIORITY_CLASS = 0x80;
constexpr std::uint32_t REALTIME_PRIORITY_CLASS = 0x100;

std::string Cut(const std::string& text) {
    return text.substr(0, kMaxInString);
}

}  // namespace

int ShowCommandOf(TWindowStyle style) {
    switch (style) {
        case TWindowStyle::wsNorm:
            return SW_SHOWNORMAL;
        case TWindowStyle::wsMinimize:
            return SW_SHOWMINIMIZED;
        case TWindowStyle::wsMaximize:
            return SW_SHOWMAXIMIZED;
        case TWindowStyle::wsHide:
            return SW_HIDE;
        case TWindowStyle::wsMinNoActivate:
            return SW_SHOWMINNOACTIVE;
        case TWindowStyle::wsShowNoActivate:
            return SW_SHOWNA;
    }
    return SW_SHOWNORMAL;
}

std::uint32_t PriorityFlagOf(TPriorityClass priority) {
    switch (priority) {
        case TPriorityClass::pcNormal:
            return NORMAL_PRIORITY_CLASS;
        case TPriorityClass::pcIdle:
            return IDLE_PRIORITY_CLASS;
        case TPriorityClass::pcHigh:
            return HIGH_PRIORITY_CLASS;
        case TPriorityClass::pcRealTime:
            return REALTIME_PRIORITY_CLASS;
    }
    return NORMAL_PRIORITY_CLASS;
}

TExecFile::TExecFile(TComponent* owner)
    : TComponent(owner), m_exit([](int code) { std::exit(code); }) {}

TExecFile::~TExecFile() = default;

void TExecFile::SetCommandLine(const std::string& value) {
    m_commandLine = Cut(value);
}

void TExecFile::SetParameters(const std::string& value) {
    m_parameters = Cut(value);
}

bool TExecFile::Fail(int errorCode) {
    m_errorCode = static_cast<std::uint32_t>(errorCode);
    if (OnFail) {
        OnFail(*this);
    }
    return false;
}

bool TExecFile::Execute() {
    platform::StartRequest request;
    m_showCommand = ShowCommandOf(m_windowStyle);
    request.showCommand = m_showCommand;
    request.priorityFlag = PriorityFlagOf(m_priority);
    request.newConsole = true;
    // A program found for an earlier CommandLine says nothing about this one.
    m_associatedProgram.clear();
    m_exitStatus = -1;

    m_firstCommandLine = Cut(m_commandLine + " " + m_parameters);
    request.commandLine = m_firstCommandLine;
    platform::Process process = platform::Process::Start(request);
    if (!process.Started() && m_associate) {
        process = platform::Process::StartAssociated(m_commandLine, m_parameters, request,
                                                     m_associatedProgram);
    }
    if (!process.Started()) {
        return Fail(process.ErrorCode());
    }
    m_processId = process.Id();
    if (!m_wait) {
        process.Release();
        return true;
    }

    m_busy = true;
    m_processEnded = false;
    if (m_waitStyle == TWaitStyle::wSuspend) {
        process.WaitUntilEnded();
        m_processEnded = true;
        m_exitStatus = process.ExitStatus();
    } else {
        int quitCode = 0;
        const bool ended = process.WaitHandlingMessages(
            [] {
                Application().ProcessMessages();
                return !Application().Terminated();
            },
            quitCode);
        if (ended) {
            m_processEnded = true;
            m_exitStatus = process.ExitStatus();
            Application().ProcessMessages();
        } else {
            m_busy = false;
            m_exit(quitCode);
            return true;
        }
    }
    m_busy = false;
    return true;
}

}  // namespace pagorix
