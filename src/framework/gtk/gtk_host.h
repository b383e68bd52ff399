// What the GTK backend's parts share: the backend's state, the host windows
// behind the framework's controls, the dialogs, and the helpers for text and
// GObject references.
//
// GTK calls us back from C: every such callback runs the framework through
// Guard(), which catches whatever leaves it (the framework's halt, a test's
// stop) and keeps it until the message pump that dispatched the callback has
// returned to C++ code, where RethrowPending() throws it again. Nothing
// unwinds through GTK's frames.
//
// Coordinates are the framework's: a form's position is in screen pixels
// from the primary monitor's top-left corner, a control's in its parent's
// client area (a GtkFixed). Texts arrive in Windows-1252 and are converted to
// UTF-8 where GTK shows them; texts typed by the user go back to Windows-1252,
// with "?" for a character it cannot hold.
#pragma once

#include "framework/gtk/gtk_library.h"

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "framework/backend.h"

namespace pagorix::gtk {

// Owns one reference to a GObject (a widget sunk with g_object_ref_sink).
template <class T>
class GRef {
public:
    GRef() = default;
    explicit GRef(T* object) : m_object(object) {}
    ~GRef() { Reset(); }
    GRef(const GRef&) = delete;
    GRef& operator=(const GRef&) = delete;
    GRef(GRef&& other) noexcept : m_object(other.m_object) { other.m_object = nullptr; }
    GRef& operator=(GRef&& other) noexcept {
        if (this != &other) {
            Reset();
            m_object = other.m_object;
            other.m_object = nullptr;
        }
        return *this;
    }
    void Reset() {
        if (m_object != nullptr) g_object_unref(m_object);
        m_object = nullptr;
    }
    T* get() const { return m_object; }

private:
    T* m_object = nullptr;
};

// Takes the floating reference of a new widget.
inline GRef<GtkWidget> Sink(GtkWidget* widget) {
    return GRef<GtkWidget>(GTK_WIDGET(g_object_ref_sink(widget)));
}

class FormWindow;

struct GtkState {
    std::exception_ptr pending;  // what a callback let out, for the pump to rethrow
    // The program asked to quit: the pump under way dispatches nothing more,
    // so that idle work queued for windows that are about to go (the layout
    // of a long memo, over a hundred milliseconds for thousands of lines)
    // does not hold the end up.
    bool quitRequested = false;
    bool taskbarVisible = true;
    TCursor cursor = TCursor::crDefault;
    std::vector<FormWindow*> forms;  // live form windows, oldest first
    GRef<GtkCssProvider> css;

    template <class F>
    void Guard(F&& call) {
        try {
            call();
        } catch (...) {
            if (!pending) pending = std::current_exception();
        }
    }
    void RethrowPending() {
        if (pending) {
            std::exception_ptr error = pending;
            pending = nullptr;
            std::rethrow_exception(error);
        }
    }
    // A visible form for dialogs to sit on, or nullptr.
    GtkWindow* DialogParent() const;
    void ApplyTaskbar() const;
    void ApplyCursor() const;
};

// Text helpers.
std::string ToUtf8(const std::string& cp1252);
// "&Oui" -> "_Oui" ("&&" is a plain "&", "_" is doubled), converted to UTF-8.
std::string Mnemonic(const std::string& cp1252);
// UTF-8 from GTK back to Windows-1252; "?" for what it cannot hold.
std::string FromUtf8(const char* utf8);

// A host window; the control that made it owns it.
class HostWindow : public NativeWindow {
public:
    HostWindow(std::shared_ptr<GtkState> state, const TCreateParams& params, WindowSink& sink);
    ~HostWindow() override;
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    // The widget placed in the parent, and where children go (or nullptr).
    GtkWidget* Outer() const { return m_outer.get(); }
    virtual GtkFixed* Container() const { return nullptr; }
    const TCreateParams& Params() const { return m_params; }

    void SetBounds(int x, int y, int width, int height) override;
    void SetVisible(bool visible) override;
    void SetEnabled(bool enabled) override;
    void SetFocus() override;
    bool Focused() const override;

protected:
    // Puts the outer widget into the parent's container; called by the
    // constructors of the kinds once the widget is made.
    void Place(GtkWidget* outer, GtkWidget* focusWidget);
    void Notify(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

    std::shared_ptr<GtkState> m_state;
    TCreateParams m_params;
    WindowSink& m_sink;
    GRef<GtkWidget> m_outer;
    GtkWidget* m_focus = nullptr;  // the widget that takes the keyboard focus
    int m_x = 0, m_y = 0, m_width = 0, m_height = 0;
};

class FormWindow : public HostWindow {
public:
    FormWindow(std::shared_ptr<GtkState> state, const TCreateParams& params, WindowSink& sink);
    ~FormWindow() override;
    GtkFixed* Container() const override { return GTK_FIXED(m_fixed); }
    GtkWindow* Window() const { return GTK_WINDOW(Outer()); }
    void SetBounds(int x, int y, int width, int height) override;
    void SetVisible(bool visible) override;
    void SetText(const std::string& text) override;

private:
    static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self);
    static void OnRealize(GtkWidget*, gpointer self);
    GtkWidget* m_fixed = nullptr;  // owned by the window
};

// Makes the host window of a control of any kind.
std::unique_ptr<NativeWindow> MakeHostWindow(std::shared_ptr<GtkState> state,
                                             const TCreateParams& params, WindowSink& sink);
// The animation control (gtk_animation.cpp).
std::unique_ptr<NativeWindow> MakeAnimationWindow(std::shared_ptr<GtkState> state,
                                                  const TCreateParams& params, WindowSink& sink);

// Dialogs (gtk_dialogs.cpp): modal, in a message loop of their own.
int RunMessageBox(GtkState& state, const MessageBoxRequest& request);
bool RunInputBox(GtkState& state, const std::string& caption, const std::string& prompt,
                 std::string& value);
bool RunOpenFile(GtkState& state, const std::string& title, const std::string& filter,
                 const std::string& initialDir, std::string& fileName);
bool RunSelectDirectory(GtkState& state, std::string& directory, bool allowCreate);

}  // namespace pagorix::gtk
