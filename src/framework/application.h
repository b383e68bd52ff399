// The application object of the run-time framework: the title, the quit
// request, message pumping, the main loop, the forms it owns and the default
// handling of an exception that leaves an event handler. The GUI backend in
// use does the host's part.
//
// The quit request: Terminate() records it and tells the backend; the caller
// goes on. The next message pump (ProcessMessages, the main loop or a dialog)
// takes it; the main loop then ends. From the request on, every framework
// dialog closes at once with its Cancel result, as a dialog's own message
// loop would take the pending quit. Only the display of an exception is
// always shown, so that a failure is never lost.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/backend.h"

namespace pagorix {

class TComponent;
class TForm;

// What Halt throws; deliberately not a std::exception.
struct THaltSignal {};

class TApplication {
public:
    TApplication();
    ~TApplication();

    const std::string& Title() const { return m_title; }
    void SetTitle(std::string title);

    // Handles every pending message once, without waiting.
    void ProcessMessages();

    // Posts the quit request. The caller goes on; the main loop ends when it
    // takes the request, and from then on every dialog closes at once with
    // the result Cancel.
    void Terminate();
    bool Terminated() const { return m_terminated; }

    // Creates a form (owning it until Run ends or ResetState); the first one
    // made becomes the main form.
    template <class T, class... Args>
    T& CreateForm(Args&&... args) {
        auto made = std::make_unique<T>(nullptr, std::forward<Args>(args)...);
        T& ref = *made;
        AdoptForm(std::move(made));
        return ref;
    }
    void AdoptForm(std::unique_ptr<TForm> form);
    TForm* MainForm() const { return m_mainForm; }

    // Shows the main form and runs the main loop until the quit request is
    // taken (or the backend has nothing more to deliver); then destroys the
    // forms, last made first.
    void Run();

    // The default handling of an exception that leaves an event handler:
    // OnException when assigned, else ShowException.
    void HandleException(const std::exception& error);
    // The exception's message, with a full stop added unless it ends with
    // one, in a box captioned with the title, the stop icon and "OK".
    void ShowException(const std::exception& error);

    // Runs an event handler the way the message loop does: an exception that
    // leaves it goes to HandleException, and the caller goes on.
    template <class F>
    void SafeCall(F&& handler) {
        try {
            handler();
        } catch (const std::exception& error) {
            HandleException(error);
        }
    }

    // Ends the program at once: the quit is taken and THaltSignal unwinds
    // everything up to Run, which then destroys the forms. SafeCall lets it
    // through (it is not a std::exception); a backend that calls back from
    // host code catches it at that border and ends its loop.
    [[noreturn]] void Halt();
    bool Halted() const { return m_halted; }

    // Back to the state at program start: no forms, no title, no quit
    // request. Tests run several programs in one process.
    void ResetState();

private:
    void TakeQuit();
    void DestroyForms();

    std::string m_title;
    bool m_terminated = false;
    bool m_quitTaken = false;
    bool m_halted = false;
    std::vector<std::unique_ptr<TForm>> m_forms;
    TForm* m_mainForm = nullptr;
};

// The one application of the process.
TApplication& Application();

// The screen: its density and size, and the cursor shown over the program.
class TScreen {
public:
    int PixelsPerInch() const { return CurrentBackend().ScreenPixelsPerInch(); }
    int Width() const { return CurrentBackend().ScreenWidth(); }
    int Height() const { return CurrentBackend().ScreenHeight(); }
    TCursor Cursor() const { return m_cursor; }
    void SetCursor(TCursor cursor);

private:
    TCursor m_cursor = TCursor::crDefault;
};

TScreen& Screen();

}  // namespace pagorix
