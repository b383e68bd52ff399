#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include "framework/application.h"
#include "framework/win32/win32_backend.h"
#include "framework/win32/win32_internal.h"

namespace pagorix::win32 {

namespace {

constexpr const char* kAppClass = "PagorixApplication";
constexpr const char* kFormClass = "PagorixForm";
constexpr const char* kWindowProp = "PagorixWindow";
constexpr const char* kAnimateClass = "SysAnimate32";

Win32Backend::State* g_state = nullptr;

class Win32Window;

Win32Window* WindowOf(HWND hwnd) {
    return hwnd != nullptr ? static_cast<Win32Window*>(GetPropA(hwnd, kWindowProp)) : nullptr;
}

// The window procedure of SysAnimate32, which our animation classes call.
WNDPROC g_animateProc = nullptr;

LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// One host window behind a framework control.
class Win32Window : public NativeWindow {
public:
    Win32Window(const TCreateParams& params, WindowSink& sink) : m_sink(sink), m_kind(params.kind) {
        Create(params);
    }

    ~Win32Window() override {
        if (m_hwnd != nullptr) {
            RemovePropA(m_hwnd, kWindowProp);
            if (m_baseProc != nullptr && m_subclassed) {
                SetWindowLongPtrA(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_baseProc));
            }
            HWND hwnd = m_hwnd;
            m_hwnd = nullptr;
            DestroyWindow(hwnd);
        }
        if (!m_className.empty()) UnregisterClassA(m_className.c_str(), g_state->instance);
    }

    HWND Hwnd() const { return m_hwnd; }
    WNDPROC BaseProc() const { return m_baseProc; }
    WindowSink& Sink() { return m_sink; }
    void Detach() { m_hwnd = nullptr; }
    bool IsForm() const { return m_kind == WindowKind::Form; }

    void SetBounds(int x, int y, int width, int height) override {
        if (m_hwnd == nullptr) return;
        if (IsForm()) {
            const RECT outer = OuterRect(width, height);
            SetWindowPos(m_hwnd, nullptr, x, y, outer.right - outer.left, outer.bottom - outer.top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        } else {
            SetWindowPos(m_hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
        }
        g_state->Rethrow();
    }

    void SetVisible(bool visible) override {
        if (m_hwnd == nullptr) return;
        ShowWindow(m_hwnd, visible ? (IsForm() ? SW_SHOWNORMAL : SW_SHOW) : SW_HIDE);
        if (visible && IsForm()) UpdateWindow(m_hwnd);
        if (!visible && IsForm()) {
            // A look at the queue lets the display take the hide now (Wine's
            // X11 driver sends what it holds there): the program may block
            // next, waiting for the browser, without looking again.
            MSG pending;
            PeekMessageA(&pending, nullptr, 0, 0, PM_NOREMOVE);
        }
        g_state->Rethrow();
    }

    void SetText(const std::string& text) override {
        if (m_hwnd != nullptr) SetWindowTextA(m_hwnd, text.c_str());
        g_state->Rethrow();
    }

    void SetEnabled(bool enabled) override {
        if (m_hwnd != nullptr) EnableWindow(m_hwnd, enabled ? TRUE : FALSE);
        g_state->Rethrow();
    }

    void SetProgress(int min, int max, int position) override {
        if (m_hwnd == nullptr) return;
        SendMessageA(m_hwnd, PBM_SETRANGE32, static_cast<WPARAM>(min), static_cast<LPARAM>(max));
        SendMessageA(m_hwnd, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }

    void SetLines(const std::vector<std::string>& lines) override {
        if (m_hwnd == nullptr) return;
        std::string text;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (i != 0) text += "\r\n";
            text += lines[i];
        }
        SetWindowTextA(m_hwnd, text.c_str());
        g_state->Rethrow();
    }

    void SetFocus() override {
        if (m_hwnd != nullptr) ::SetFocus(m_hwnd);
        g_state->Rethrow();
    }

    bool Focused() const override { return m_hwnd != nullptr && GetFocus() == m_hwnd; }

    std::intptr_t Send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override {
        if (m_hwnd == nullptr) return 0;
        const LRESULT result = SendMessageA(m_hwnd, message, wParam, lParam);
        g_state->Rethrow();
        return result;
    }

    // Hands a message to the control, keeping what leaves it for later.
    void Report(TMessage& message) {
        g_state->Trap([&] { m_sink.HostMessage(message); });
    }

    // The window rectangle of a form whose client area is width x height.
    RECT OuterRect(int width, int height) const {
        RECT rect{0, 0, width, height};
        AdjustWindowRectEx(&rect, static_cast<DWORD>(GetWindowLongPtrA(m_hwnd, GWL_STYLE)), FALSE,
                           static_cast<DWORD>(GetWindowLongPtrA(m_hwnd, GWL_EXSTYLE)));
        return rect;
    }

private:
    void Create(const TCreateParams& params) {
        Win32Backend::State& state = *g_state;
        HWND parent = nullptr;
        if (params.parent != nullptr) parent = static_cast<Win32Window*>(params.parent)->Hwnd();
        const char* className = nullptr;
        DWORD style = params.style;
        DWORD exStyle = params.exStyle;
        if (params.enabled == false) style |= WS_DISABLED;
        switch (params.kind) {
            case WindowKind::Form:
                className = kFormClass;
                style |= WS_CLIPCHILDREN;
                parent = state.appWindow;  // the owner: no taskbar button of its own
                break;
            case WindowKind::Label:
                className = "STATIC";
                style |= SS_LEFT;
                break;
            case WindowKind::Memo:
                className = "EDIT";
                style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_TABSTOP;
                exStyle |= WS_EX_CLIENTEDGE;
                break;
            case WindowKind::Button:
                className = "BUTTON";
                style |= BS_PUSHBUTTON | WS_TABSTOP;
                break;
            case WindowKind::ProgressBar:
                className = PROGRESS_CLASSA;
                break;
            case WindowKind::Custom:
                className = RegisterDerivedClass(params);
                break;
        }
        if (className == nullptr) return;
        if (params.kind != WindowKind::Form) style |= WS_CHILD | WS_CLIPSIBLINGS;
        int width = params.width;
        int height = params.height;
        if (params.kind == WindowKind::Form) {
            RECT rect{0, 0, params.width, params.height};
            AdjustWindowRectEx(&rect, style, FALSE, exStyle);
            width = rect.right - rect.left;
            height = rect.bottom - rect.top;
        }
        // Forms are shown once placed; children show with their parent.
        const bool showNow = params.visible && params.kind != WindowKind::Form;
        m_hwnd = CreateWindowExA(exStyle, className, params.caption.c_str(), style, params.x,
                                 params.y, width, height, parent, nullptr, state.instance, this);
        if (m_hwnd == nullptr) {
            state.Rethrow();
            return;
        }
        SetPropA(m_hwnd, kWindowProp, this);
        if (params.kind != WindowKind::Form && params.kind != WindowKind::Custom) {
            // The system's own controls: our procedure in front of theirs.
            m_baseProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlProc)));
            m_subclassed = true;
        }
        SendMessageA(m_hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), FALSE);
        if (params.kind != WindowKind::Form) {
            // A control made later lies above those made before it.
            SetWindowPos(m_hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
        if (params.kind == WindowKind::Memo) {
            SendMessageA(m_hwnd, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
        }
        if (showNow) ShowWindow(m_hwnd, SW_SHOWNA);
        state.Rethrow();
    }

    // A class of our own that specialises a system class: its procedure in
    // front of the system's, the class styles the control asks for.
    const char* RegisterDerivedClass(const TCreateParams& params) {
        if (params.baseClassName.empty()) return nullptr;
        if (params.baseClassName == kAnimateClass) InitCommonControls();
        WNDCLASSEXA base{};
        base.cbSize = sizeof base;
        if (!GetClassInfoExA(nullptr, params.baseClassName.c_str(), &base) &&
            !GetClassInfoExA(g_state->instance, params.baseClassName.c_str(), &base)) {
            return nullptr;
        }
        if (params.baseClassName == kAnimateClass) g_animateProc = base.lpfnWndProc;
        m_baseProc = base.lpfnWndProc;
        WNDCLASSEXA derived = base;
        derived.cbSize = sizeof derived;
        derived.lpfnWndProc = &ControlProc;
        derived.hInstance = g_state->instance;
        derived.lpszClassName = params.winClassName.c_str();
        const UINT redraw = CS_HREDRAW | CS_VREDRAW;
        derived.style = (base.style & ~redraw) | (params.classStyle & redraw);
        if (RegisterClassExA(&derived) != 0) {
            m_className = params.winClassName;
        } else if (GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            return nullptr;
        }
        m_registeredName = params.winClassName;
        return m_registeredName.c_str();
    }

    WindowSink& m_sink;
    WindowKind m_kind;
    HWND m_hwnd = nullptr;
    WNDPROC m_baseProc = nullptr;
    bool m_subclassed = false;
    std::string m_className;       // registered by this window, unregistered with it
    std::string m_registeredName;  // the class the window is made of
};

// Size and position changes that the host makes itself reach the control;
// while the control is told of a change it may still alter its size.
bool ReportChanging(Win32Window& window, WINDOWPOS& pos) {
    if ((pos.flags & SWP_NOSIZE) != 0) return false;
    RECT rect{};
    GetWindowRect(window.Hwnd(), &rect);
    MapWindowPoints(nullptr, GetParent(window.Hwnd()), reinterpret_cast<POINT*>(&rect), 2);
    TWindowPos framework{(pos.flags & SWP_NOMOVE) != 0 ? static_cast<int>(rect.left) : pos.x,
                         (pos.flags & SWP_NOMOVE) != 0 ? static_cast<int>(rect.top) : pos.y, pos.cx,
                         pos.cy};
    TMessage message{kWmWindowPosChanging, 0, reinterpret_cast<std::intptr_t>(&framework), 0};
    window.Report(message);
    if (framework.cx == pos.cx && framework.cy == pos.cy) return false;
    pos.cx = framework.cx;
    pos.cy = framework.cy;
    return true;
}

void ReportChanged(Win32Window& window) {
    RECT rect{};
    GetWindowRect(window.Hwnd(), &rect);
    MapWindowPoints(nullptr, GetParent(window.Hwnd()), reinterpret_cast<POINT*>(&rect), 2);
    TWindowPos framework{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
    TMessage message{kWmWindowPosChanged, 0, reinterpret_cast<std::intptr_t>(&framework), 0};
    window.Report(message);
}

LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Win32Window* window = WindowOf(hwnd);
    if (window == nullptr && msg == WM_NCCREATE) {
        // Our derived classes get here before SetPropA: the window object
        // travels in the creation parameters.
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        window = static_cast<Win32Window*>(create->lpCreateParams);
    }
    WNDPROC base = window != nullptr ? window->BaseProc() : g_animateProc;
    if (base == nullptr) return DefWindowProcA(hwnd, msg, wParam, lParam);
    if (window != nullptr && window->Hwnd() == hwnd) {
        switch (msg) {
            case WM_WINDOWPOSCHANGING:
                if (ReportChanging(*window, *reinterpret_cast<WINDOWPOS*>(lParam))) return 0;
                break;
            case WM_WINDOWPOSCHANGED: {
                const LRESULT result = CallWindowProcA(base, hwnd, msg, wParam, lParam);
                const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
                if ((pos->flags & (SWP_NOSIZE | SWP_NOMOVE)) != (SWP_NOSIZE | SWP_NOMOVE)) {
                    ReportChanged(*window);
                }
                return result;
            }
            case WM_NCDESTROY:
                RemovePropA(hwnd, kWindowProp);
                window->Detach();
                break;
            default:
                break;
        }
    }
    return CallWindowProcA(base, hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Win32Window* window = WindowOf(hwnd);
    if (window == nullptr || window->Hwnd() != hwnd)
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    switch (msg) {
        case WM_CLOSE: {
            TMessage message{kWmClose, 0, 0, 0};
            window->Report(message);
            return 0;
        }
        case WM_COMMAND: {
            // A child's notification goes back to that child.
            if (Win32Window* child = WindowOf(reinterpret_cast<HWND>(lParam))) {
                TMessage message{kCnCommand, wParam, lParam, 0};
                child->Report(message);
                return message.result;
            }
            break;
        }
        case WM_SETCURSOR:
            if (g_state->cursor != nullptr) {
                ::SetCursor(g_state->cursor);
                return TRUE;
            }
            break;
        case WM_NCDESTROY:
            RemovePropA(hwnd, kWindowProp);
            window->Detach();
            break;
        default:
            break;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK AppProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_TIMER && g_state != nullptr) {
        auto it = g_state->timers.find(wParam);
        if (it != g_state->timers.end()) {
            std::function<void()> onTick = it->second;  // the handler may stop the timer
            g_state->Trap([&] { onTick(); });
        }
        return 0;
    }
    if (msg == WM_CLOSE) return 0;  // the program ends through its main form
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

class Win32Timer : public HostTimer {
public:
    explicit Win32Timer(UINT_PTR id) : m_id(id) {}
    ~Win32Timer() override {
        if (g_state == nullptr) return;
        KillTimer(g_state->appWindow, m_id);
        g_state->timers.erase(m_id);
    }

private:
    UINT_PTR m_id;
};

bool IsOurDialogMessage(MSG& message) {
    if (g_state == nullptr || g_state->dialogs.empty()) return false;
    return IsDialogMessageA(g_state->dialogs.back(), &message) != 0;
}

}  // namespace

Win32Backend::State* TheState() {
    return g_state;
}

HWND Win32Backend::State::DialogOwner() const {
    HWND active = GetActiveWindow();
    if (active != nullptr && IsWindowVisible(active)) return active;
    return appWindow;
}

Win32Backend::Win32Backend() : m_state(std::make_unique<State>()), m_previous(nullptr) {
    State& state = *m_state;
    g_state = &state;
    state.instance = GetModuleHandleA(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                  ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    HDC screen = GetDC(nullptr);
    state.pixelsPerInch = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    if (state.pixelsPerInch <= 0) state.pixelsPerInch = kDesignPixelsPerInch;
    state.font =
        CreateFontA(MulDiv(kFontHeight, state.pixelsPerInch, kDesignPixelsPerInch), 0, 0, 0,
                    FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, kFontName);

    WNDCLASSEXA app{};
    app.cbSize = sizeof app;
    app.lpfnWndProc = &AppProc;
    app.hInstance = state.instance;
    app.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    app.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    app.lpszClassName = kAppClass;
    RegisterClassExA(&app);
    WNDCLASSEXA form = app;
    form.lpfnWndProc = &FormProc;
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    form.lpszClassName = kFormClass;
    RegisterClassExA(&form);

    // The application window: no size, in the middle of the screen; shown,
    // it is the program's taskbar button.
    state.appWindow = CreateWindowExA(
        0, kAppClass, "", WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
        GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr,
        nullptr, state.instance, nullptr);
    SetBackend(this);
}

Win32Backend::~Win32Backend() {
    if (&CurrentBackend() == this) SetBackend(m_previous);
    State& state = *m_state;
    for (const auto& [id, tick] : state.timers) {
        (void)tick;
        KillTimer(state.appWindow, id);
    }
    state.timers.clear();
    if (state.appWindow != nullptr) DestroyWindow(state.appWindow);
    if (state.font != nullptr) DeleteObject(state.font);
    UnregisterClassA(kFormClass, state.instance);
    UnregisterClassA(kAppClass, state.instance);
    g_state = nullptr;
}

void Win32Backend::SetDialogObserver(std::function<void(std::intptr_t)> observer) {
    m_state->dialogObserver = std::move(observer);
}

std::intptr_t Win32Backend::ApplicationWindow() const {
    return reinterpret_cast<std::intptr_t>(m_state->appWindow);
}

void Win32Backend::ProcessMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Someone else's quit request: the framework's own.
            Application().Terminate();
            break;
        }
        if (!IsOurDialogMessage(message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        m_state->Rethrow();
    }
}

bool Win32Backend::WaitMessage() {
    MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return true;
}

void Win32Backend::Terminate() {
    // Wakes a main loop that waits, so that it takes the request.
    PostMessageA(m_state->appWindow, WM_NULL, 0, 0);
}

void Win32Backend::TitleChanged(const std::string& title) {
    SetWindowTextA(m_state->appWindow, title.c_str());
}

std::unique_ptr<NativeWindow> Win32Backend::CreateNativeWindow(const TCreateParams& params,
                                                               WindowSink& sink) {
    return std::make_unique<Win32Window>(params, sink);
}

std::unique_ptr<HostTimer> Win32Backend::StartTimer(const std::string& /*name*/,
                                                    unsigned intervalMs,
                                                    std::function<void()> onTick) {
    const UINT_PTR id = m_state->nextTimer++;
    m_state->timers[id] = std::move(onTick);
    SetTimer(m_state->appWindow, id, intervalMs, nullptr);
    return std::make_unique<Win32Timer>(id);
}

int Win32Backend::ScreenPixelsPerInch() {
    return m_state->pixelsPerInch;
}

int Win32Backend::ScreenWidth() {
    return GetSystemMetrics(SM_CXSCREEN);
}

int Win32Backend::ScreenHeight() {
    return GetSystemMetrics(SM_CYSCREEN);
}

void Win32Backend::ShowApplicationWindow(int showCommand) {
    ShowWindow(m_state->appWindow, showCommand == kSwHide ? SW_HIDE : SW_SHOW);
    m_state->Rethrow();
}

void Win32Backend::SetCursor(TCursor cursor) {
    m_state->cursor = cursor == TCursor::crHourGlass
                          ? LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT))
                          : nullptr;
    ::SetCursor(m_state->cursor != nullptr
                    ? m_state->cursor
                    : LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
}

std::uint32_t Win32Backend::ModuleInstance() {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(m_state->instance));
}

}  // namespace pagorix::win32
