// What differs between GUI hosts. The portable framework (application,
// dialogs, forms and controls) calls the installed backend; a program or test
// installs exactly one (headless, terminal, gtk or win32). Without one, the
// framework behaves as a backend that shows nothing and answers every dialog
// with its Cancel result.
//
// Controls reach their host window through NativeWindow, made by
// CreateNativeWindow from the control's creation parameters; the host reports
// back to the control through its WindowSink with framework messages
// (framework/messages.h). Message numbers are those of the Windows API, so the
// Win32 backend passes them through and the other backends imitate them.
// Timers are HostTimer objects: destroying one stops it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/messages.h"

namespace pagorix {

enum class DialogIcon { None, Stop, Warning, Information, Question };

// Which of the framework's boxes a request is: the kinds of MessageDlg, the
// host's box with a caller's caption (ShowMessageBox) and the display of an
// exception that left an event handler.
enum class DialogKind { Error, Warning, Information, Confirmation, Plain, System, Exception };

struct MessageBoxRequest {
    std::string caption;
    std::string text;
    DialogIcon icon = DialogIcon::None;
    std::vector<std::string> buttons;  // texts, e.g. "&Oui", "&Non"
    std::vector<int> results;          // the result of each button
    int defaultIndex = 0;              // the button that Enter presses
    int escapeResult = 2;              // the result of Escape
    DialogKind kind = DialogKind::System;
    int closeResult = 2;  // the result of the title bar's close box
};

// The kinds of host window behind the framework's controls.
enum class WindowKind { Form, Label, Memo, Button, ProgressBar, Custom };

// What a control asks of its host window when it is made.
struct TCreateParams {
    WindowKind kind = WindowKind::Custom;
    std::string name;           // the component's name (scripts and transcripts use it)
    std::string caption;        // window text
    std::string winClassName;   // the class registered for this window
    std::string baseClassName;  // the host class it specialises ("SysAnimate32"), or empty
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    std::uint32_t classStyle = kCsHRedraw | kCsVRedraw;
    int x = 0, y = 0, width = 0, height = 0;
    bool visible = false;
    bool enabled = true;
    class NativeWindow* parent = nullptr;
};

// Where a host window reports to its control: clicks and notifications as
// kCnCommand, size changes the host makes itself, the close box (kWmClose).
class WindowSink {
public:
    virtual void HostMessage(TMessage& message) = 0;

protected:
    ~WindowSink() = default;
};

// A host window. The control that made it owns it; destroying it destroys the
// host window. The base class is a window that shows nothing.
class NativeWindow {
public:
    virtual ~NativeWindow() = default;
    virtual void SetBounds(int /*x*/, int /*y*/, int /*width*/, int /*height*/) {}
    virtual void SetVisible(bool /*visible*/) {}
    virtual void SetText(const std::string& /*text*/) {}
    virtual void SetEnabled(bool /*enabled*/) {}
    // Progress bars: the range and the position.
    virtual void SetProgress(int /*min*/, int /*max*/, int /*position*/) {}
    // Memos: the lines shown.
    virtual void SetLines(const std::vector<std::string>& /*lines*/) {}
    virtual void SetFocus() {}
    virtual bool Focused() const { return false; }
    // A message to the host control itself (ACM_OPEN and so on); its answer.
    virtual std::intptr_t Send(unsigned /*message*/, std::uintptr_t /*wParam*/,
                               std::intptr_t /*lParam*/) {
        return 0;
    }
};

class HostTimer {
public:
    virtual ~HostTimer() = default;
};

// The cursor shapes the framework uses.
enum class TCursor { crDefault, crHourGlass };

class Backend {
public:
    virtual ~Backend() = default;
    // Handles every pending host message once, without waiting.
    virtual void ProcessMessages() {}
    // Blocks until a message is pending. False when none can ever come (the
    // main loop then ends).
    virtual bool WaitMessage() { return false; }
    // The quit request was made (the framework keeps its state).
    virtual void Terminate() {}
    virtual void TitleChanged(const std::string& /*title*/) {}
    virtual int ShowMessageBox(const MessageBoxRequest& request) { return request.escapeResult; }
    // Returns false when the box is cancelled.
    virtual bool InputQuery(const std::string& /*caption*/, const std::string& /*prompt*/,
                            std::string& /*value*/) {
        return false;
    }
    // A box or input box that the quit request closed at once, with its
    // Cancel result: it appears only for an instant, if at all.
    virtual void MessageBoxClosedAtOnce(const MessageBoxRequest& /*request*/) {}
    virtual void InputClosedAtOnce(const std::string& /*caption*/, const std::string& /*prompt*/,
                                   const std::string& /*value*/) {}
    virtual bool OpenFileDialog(const std::string& /*title*/, const std::string& /*filter*/,
                                const std::string& /*initialDir*/, std::string& /*fileName*/) {
        return false;
    }
    virtual bool SelectDirectoryDialog(std::string& /*directory*/, bool /*allowCreate*/) {
        return false;
    }

    virtual std::unique_ptr<NativeWindow> CreateNativeWindow(const TCreateParams& /*params*/,
                                                             WindowSink& /*sink*/) {
        return std::make_unique<NativeWindow>();
    }
    // Calls onTick every intervalMs milliseconds from the message loop until
    // the returned timer is destroyed. `name` is the timer component's name.
    virtual std::unique_ptr<HostTimer> StartTimer(const std::string& /*name*/,
                                                  unsigned /*intervalMs*/,
                                                  std::function<void()> /*onTick*/) {
        return std::make_unique<HostTimer>();
    }

    virtual int ScreenPixelsPerInch() { return 96; }
    virtual int ScreenWidth() { return 1024; }
    virtual int ScreenHeight() { return 768; }
    // Shows (kSwShow) or hides (kSwHide) the application window that owns
    // the program's taskbar button.
    virtual void ShowApplicationWindow(int /*showCommand*/) {}
    virtual void SetCursor(TCursor /*cursor*/) {}
    // The program's module instance, as window class names show it.
    virtual std::uint32_t ModuleInstance() { return 0x00400000; }
};

// Installs the backend for the process (not owned; nullptr for none).
void SetBackend(Backend* backend);
Backend& CurrentBackend();

}  // namespace pagorix
