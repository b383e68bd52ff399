// The terminal GUI backend: runs the framework's windows and dialogs on a
// text terminal, so a book can be read on any host, also without a display.
//
// What is shown (Windows-1252 text is converted to UTF-8 only when printed,
// with its control characters in caret notation, "^[" for Escape):
// - a visible form as a title line (its caption), then one status line with
//   the visible label's text and the progress bar; on a terminal the status
//   line is redrawn in place, otherwise a line is printed only when the
//   text changes or the bar passes another tenth;
// - a message box as its caption, its text and its buttons, each with its
//   letter (the one after "&", else the first); the reader types a letter,
//   Enter takes the default button and Escape or the end of input answer as
//   the box's Escape and close box do;
// - the input box as its caption and prompt; the line is read with echo and
//   taken from the terminal's UTF-8 into Windows-1252 ("?" for a character
//   it cannot hold).
// With no terminal on standard input nobody can answer: every box is printed
// with the default button taken, and a form left waiting for a reader is
// closed as its close box would close it.
//
// While a form is on screen and standard input is a terminal, keys are read
// one by one: a button's letter presses that button, Escape and Ctrl-C close
// the form (Ctrl-C does not end the program, so the run can clean up; nor
// does a closed output pipe). Time is the host's clock; timers fire from the
// main loop.
#pragma once

#include <cstdio>
#include <memory>

#include "framework/backend.h"

namespace pagorix::terminal {

class TerminalBackend : public Backend {
public:
    // Installs itself as the process's backend, drawing on `out` (standard
    // output unless given); the destructor restores the terminal and the
    // backend that was installed before.
    explicit TerminalBackend(std::FILE* out = nullptr);
    ~TerminalBackend() override;
    TerminalBackend(const TerminalBackend&) = delete;
    TerminalBackend& operator=(const TerminalBackend&) = delete;

    void ProcessMessages() override;
    bool WaitMessage() override;
    void TitleChanged(const std::string& title) override;
    int ShowMessageBox(const MessageBoxRequest& request) override;
    bool InputQuery(const std::string& caption, const std::string& prompt,
                    std::string& value) override;
    std::unique_ptr<NativeWindow> CreateNativeWindow(const TCreateParams& params,
                                                     WindowSink& sink) override;
    std::unique_ptr<HostTimer> StartTimer(const std::string& name, unsigned intervalMs,
                                          std::function<void()> onTick) override;

    struct State;  // shared with the windows and timers it made

private:
    std::shared_ptr<State> m_state;
    Backend* m_previous;
};

}  // namespace pagorix::terminal
