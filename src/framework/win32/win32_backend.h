// The Win32 GUI backend: the framework's windows, dialogs and timers as real
// windows of the Windows user interface, through the ANSI ("A") functions.
//
// - A hidden top-level application window owns the program's taskbar button
//   (ShowApplicationWindow shows and hides it), carries the application
//   title, receives the timers (SetTimer) and owns every form, so forms have
//   no taskbar button of their own.
// - Forms are top-level windows whose client area has the form's size; the
//   children are the system's STATIC, EDIT, BUTTON and progress bar
//   controls, and the animation control is a class of its own derived from
//   "SysAnimate32". Every window uses "MS Sans Serif" at height -11 (at 96
//   pixels per inch). The parent's WM_COMMAND notifications go back to the
//   child control that sent them.
// - Message boxes and the input box are dialogs of our own, made from
//   in-memory templates, so their buttons read "&Oui", "&Non", "OK" and
//   "Annuler" whatever the system's language: Enter presses the default
//   button, Escape gives the box's Escape result, the close box its close
//   result.
// - ProcessMessages is a PeekMessage loop; WaitMessage blocks until input
//   is pending.
//
// Framework code runs inside window procedures, which the system calls; no
// exception may unwind through the system's frames. So whatever leaves a
// handler there (THaltSignal included) is caught at the window procedure,
// open dialogs of ours are ended, and it is thrown again once the system
// call that led there has returned to our code.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "framework/backend.h"

namespace pagorix::win32 {

class Win32Backend : public Backend {
public:
    // Registers the window classes, makes the application window and
    // installs itself as the process's backend; the destructor destroys the
    // windows and puts back the backend installed before.
    Win32Backend();
    ~Win32Backend() override;
    Win32Backend(const Win32Backend&) = delete;
    Win32Backend& operator=(const Win32Backend&) = delete;

    // Called with each dialog of ours (message box, input box) once it is on
    // screen, its window handle as an integer; tests answer dialogs with it.
    void SetDialogObserver(std::function<void(std::intptr_t dialog)> observer);
    // The application window's handle as an integer.
    std::intptr_t ApplicationWindow() const;

    void ProcessMessages() override;
    bool WaitMessage() override;
    void Terminate() override;
    void TitleChanged(const std::string& title) override;
    int ShowMessageBox(const MessageBoxRequest& request) override;
    bool InputQuery(const std::string& caption, const std::string& prompt,
                    std::string& value) override;
    bool OpenFileDialog(const std::string& title, const std::string& filter,
                        const std::string& initialDir, std::string& fileName) override;
    bool SelectDirectoryDialog(std::string& directory, bool allowCreate) override;
    std::unique_ptr<NativeWindow> CreateNativeWindow(const TCreateParams& params,
                                                     WindowSink& sink) override;
    std::unique_ptr<HostTimer> StartTimer(const std::string& name, unsigned intervalMs,
                                          std::function<void()> onTick) override;
    int ScreenPixelsPerInch() override;
    int ScreenWidth() override;
    int ScreenHeight() override;
    void ShowApplicationWindow(int showCommand) override;
    void SetCursor(TCursor cursor) override;
    std::uint32_t ModuleInstance() override;

    struct State;

private:
    std::unique_ptr<State> m_state;
    Backend* m_previous;
};

}  // namespace pagorix::win32
