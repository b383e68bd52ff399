// Starting programs and documents, and waiting for the started process.
//
// The portable caller fills a StartRequest with a plain command line and the
// Windows values of the show command and the priority class; each host turns
// them into its own terms:
//  - Windows hands the line to the system unchanged and asks the shell for
//    the program associated with a document, whose line quotes the program's
//    path and the document's when they hold a blank.
//  - POSIX runs the executable the line names (the shortest text up to a
//    blank, or the whole line, that names an executable file, else the first
//    word, looked up in PATH when it has no slash; the rest split at blanks
//    as arguments), and finds the associated program through
//    the desktop's own database (GIO), falling back to xdg-open when the
//    desktop has no handler. Window styles have no meaning there.
//
// A Process owns what the host keeps for a started process (handles, or a
// child that must be reaped). It is move-only; destroying or releasing it
// never blocks: a child still running is reaped in the background when it
// ends, so no zombie is left behind.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace pagorix::platform {

// Error codes for failures that the host does not number itself; they are
// the values Windows gives the same conditions.
// No program is associated with the document (and no opener exists).
inline constexpr int kErrorNoAssociation = 1155;
// The associated program's command line does not fit the host's buffer.
inline constexpr int kErrorCommandLineTooLong = 206;

struct StartRequest {
    // The program followed by its arguments, unquoted.
    std::string commandLine;
    // How the first window is shown (Windows SW_* value).
    int showCommand = 1;
    // Priority class of the new process (Windows *_PRIORITY_CLASS value).
    std::uint32_t priorityFlag = 0x20;
    // Give a console program a console of its own.
    bool newConsole = true;
};

class Process {
public:
    Process() = default;
    ~Process();
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts the command line of the request as a program.
    static Process Start(const StartRequest& request);

    // Starts the program that the host associates with `document`, giving it
    // the document and then `parameters`. `program` receives that program's
    // path as soon as one is found (it stays empty otherwise), even when the
    // start then fails.
    static Process StartAssociated(const std::string& document, const std::string& parameters,
                                   const StartRequest& request, std::string& program);

    bool Started() const { return m_id != 0; }
    // The host's error code of a failed start (errno or GetLastError), or one
    // of the kError constants above.
    int ErrorCode() const { return m_error; }
    std::int64_t Id() const { return m_id; }
    // The exit code of a process that one of the waits saw end; -1 before
    // that, or when it was ended by a signal.
    int ExitStatus() const { return m_exitStatus; }

    // Blocks until the process has ended. No message of the thread is handled.
    void WaitUntilEnded();

    // Waits while the thread's messages keep being handled. Whenever the
    // host's own queue has nothing to dispatch, `idle` runs and the process
    // is tested without waiting. Returns true once the process has ended;
    // false when a quit request came first (the host's quit message, or
    // `idle` returning false), with its exit code in `quitCode`.
    bool WaitHandlingMessages(const std::function<bool()>& idle, int& quitCode);

    // Lets the process go on alone: the host's handles are closed now and a
    // child that is still running is reaped when it ends.
    void Release();

private:
    std::intptr_t m_handle = -1;  // process handle (Windows) or pid to reap (POSIX)
    std::intptr_t m_thread = -1;  // primary thread handle (Windows)
    std::int64_t m_id = 0;        // process id; 0 when nothing was started
    int m_error = 0;
    int m_exitStatus = -1;
};

// Whether the desktop's program for documents like `document` (a file name;
// it need not exist) runs confined as a snap. Such a browser cannot read the
// system's temporary directory or hidden folders, so a document meant for it
// must lie in a visible folder of the user's home. False on hosts without
// snaps.
bool HandlerIsConfined(const std::string& document);

}  // namespace pagorix::platform
