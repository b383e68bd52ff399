// The GTK 3 desktop backend: the framework's forms, controls, timers and
// dialogs as GTK widgets on the user's display.
//
// The message pump is GLib's default main context. ProcessMessages handles
// what is pending without waiting; WaitMessage blocks until something is
// ready without handling it, so that the main loop takes a quit request
// before anything else runs. The taskbar button is the forms' taskbar hint:
// hiding the application window keeps every form off the taskbar.
#pragma once

#include <memory>

#include "framework/backend.h"

namespace pagorix::gtk {

struct GtkState;

class GtkBackend : public Backend {
public:
    // Installs itself as the process's backend; GTK must be initialised on a
    // display (OpenGtkBackend does both).
    GtkBackend();
    ~GtkBackend() override;
    GtkBackend(const GtkBackend&) = delete;
    GtkBackend& operator=(const GtkBackend&) = delete;

    void ProcessMessages() override;
    bool WaitMessage() override;
    void Terminate() override;
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

    bool TaskbarVisible() const;

private:
    std::shared_ptr<GtkState> m_state;
    Backend* m_previous;
};

// Opens the display (DISPLAY or WAYLAND_DISPLAY) and makes the backend;
// nullptr, with nothing installed, when no display can be opened.
std::unique_ptr<Backend> OpenGtkBackend();

}  // namespace pagorix::gtk
