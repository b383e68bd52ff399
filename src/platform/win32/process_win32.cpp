// Windows processes: CreateProcessA, FindExecutableA and the waits on the
// process handle.
//
// The first command line is handed to the system as it is; in the associated
// program's line, the program's path and the document's are quoted when they
// hold a blank, so that each stays one argument. The start-up record asks
// for the request's show command, the creation flags combine the priority
// class with CREATE_NEW_CONSOLE, handles are not inherited, and the child
// gets the caller's environment and current directory.
//
// The associated program's line is refused, not cut, when it does not fit
// the 512-character buffer: a cut line would start the program on the wrong
// document. The lookup's result buffer is MAX_PATH characters, the size the
// shell may write.
//
// The process and thread handles are closed once the wait is over, or at
// once when nobody waits.
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <vector>

#include "platform/process.h"

namespace pagorix::platform {

namespace {

constexpr DWORD kStartupInfoSize = sizeof(STARTUPINFOA);  // 68 bytes on 32-bit hosts
constexpr size_t kAssociatedLineBuffer = 512;

HANDLE ToHandle(std::intptr_t native) {
    return reinterpret_cast<HANDLE>(native);
}

void CloseIfOpen(std::intptr_t& native) {
    if (native != -1) {
        CloseHandle(ToHandle(native));
        native = -1;
    }
}

struct Started {
    PROCESS_INFORMATION info{};
    DWORD error = 0;
};

Started Create(const std::string& commandLine, const StartRequest& request) {
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = kStartupInfoSize;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(request.showCommand);
    // CreateProcessA may write into the line, so it gets a copy of its own.
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    const DWORD flags = request.priorityFlag | (request.newConsole ? CREATE_NEW_CONSOLE : 0);
    Started started;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                        &startup, &started.info)) {
        started.error = GetLastError();
        if (started.error == 0) {
            started.error = ERROR_GEN_FAILURE;  // a failure must not read as success
        }
        started.info = PROCESS_INFORMATION{};
    }
    return started;
}

// A path with a blank in quotes, so that it stays one argument (a temporary
// folder under a user name with a blank); other paths as they are.
std::string Quoted(const std::string& path) {
    return path.find_first_of(" \t") == std::string::npos ? path : "\"" + path + "\"";
}

void Fill(std::intptr_t& handle, std::intptr_t& thread, std::int64_t& id, int& error,
          const Started& started) {
    if (started.error != 0) {
        error = static_cast<int>(started.error);
        return;
    }
    handle = reinterpret_cast<std::intptr_t>(started.info.hProcess);
    thread = reinterpret_cast<std::intptr_t>(started.info.hThread);
    id = started.info.dwProcessId;
}

}  // namespace

Process Process::Start(const StartRequest& request) {
    Process process;
    Fill(process.m_handle, process.m_thread, process.m_id, process.m_error,
         Create(request.commandLine, request));
    return process;
}

Process Process::StartAssociated(const std::string& document, const std::string& parameters,
                                 const StartRequest& request, std::string& program) {
    Process process;
    char found[MAX_PATH] = {};
    SetLastError(0);
    const auto result =
        reinterpret_cast<INT_PTR>(FindExecutableA(document.c_str(), nullptr, found));
    if (result <= 32) {
        // The shell does not always leave a last error; its own result then
        // says why, so that a failure never reads as code 0.
        DWORD error = GetLastError();
        if (error == 0) {
            error = result == SE_ERR_NOASSOC ? ERROR_NO_ASSOCIATION
                    : result == 0            ? ERROR_NOT_ENOUGH_MEMORY
                                             : static_cast<DWORD>(result);
        }
        process.m_error = static_cast<int>(error);
        return process;
    }
    found[MAX_PATH - 1] = '\0';
    program = found;
    const std::string line = Quoted(program) + " " + Quoted(document) + " " + parameters;
    if (line.size() >= kAssociatedLineBuffer) {
        process.m_error = kErrorCommandLineTooLong;
        return process;
    }
    Fill(process.m_handle, process.m_thread, process.m_id, process.m_error, Create(line, request));
    return process;
}

namespace {

void KeepExitStatus(std::intptr_t handle, int& status) {
    DWORD code = 0;
    if (GetExitCodeProcess(ToHandle(handle), &code)) status = static_cast<int>(code);
}

}  // namespace

void Process::WaitUntilEnded() {
    if (m_handle == -1) {
        return;
    }
    WaitForSingleObject(ToHandle(m_handle), INFINITE);
    KeepExitStatus(m_handle, m_exitStatus);
    CloseIfOpen(m_handle);
    CloseIfOpen(m_thread);
}

bool Process::WaitHandlingMessages(const std::function<bool()>& idle, int& quitCode) {
    MSG message;
    while (m_handle != -1) {
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quitCode = static_cast<int>(message.wParam);
                return false;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
            continue;
        }
        if (!idle()) {
            quitCode = 0;
            return false;
        }
        if (WaitForSingleObject(ToHandle(m_handle), 0) == WAIT_OBJECT_0) {
            KeepExitStatus(m_handle, m_exitStatus);
            CloseIfOpen(m_handle);
            CloseIfOpen(m_thread);
        }
    }
    return true;
}

void Process::Release() {
    CloseIfOpen(m_handle);
    CloseIfOpen(m_thread);
}

}  // namespace pagorix::platform
