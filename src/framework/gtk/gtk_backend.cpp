#include "framework/gtk/gtk_backend.h"

#include <cmath>
#include <vector>

#include "framework/gtk/gtk_host.h"

namespace pagorix::gtk {

namespace {

// A pump handles at most this many dispatch rounds, so that a source that is
// always ready cannot keep it from returning.
constexpr int kMaxRoundsPerPump = 1000;
constexpr int kDefaultPixelsPerInch = 96;

class GtkTimer : public HostTimer {
public:
    GtkTimer(std::shared_ptr<GtkState> state, unsigned intervalMs, std::function<void()> onTick)
        : m_state(std::move(state)), m_onTick(std::move(onTick)) {
        m_source = g_timeout_add(intervalMs == 0 ? 1 : intervalMs, OnTick, this);
    }
    ~GtkTimer() override { g_source_remove(m_source); }
    GtkTimer(const GtkTimer&) = delete;
    GtkTimer& operator=(const GtkTimer&) = delete;

private:
    static gboolean OnTick(gpointer self) {
        auto* timer = static_cast<GtkTimer*>(self);
        // The handler may destroy this timer (a one-shot disables itself).
        std::shared_ptr<GtkState> state = timer->m_state;
        std::function<void()> tick = timer->m_onTick;
        state->Guard([&] { tick(); });
        return G_SOURCE_CONTINUE;
    }

    std::shared_ptr<GtkState> m_state;
    std::function<void()> m_onTick;
    guint m_source = 0;
};

GdkMonitor* PrimaryMonitor() {
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr) return nullptr;
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    return monitor != nullptr ? monitor : gdk_display_get_monitor(display, 0);
}

}  // namespace

GtkBackend::GtkBackend() : m_state(std::make_shared<GtkState>()), m_previous(&CurrentBackend()) {
    SetBackend(this);
}

GtkBackend::~GtkBackend() {
    if (&CurrentBackend() == this) SetBackend(nullptr);
}

void GtkBackend::ProcessMessages() {
    std::shared_ptr<GtkState> state = m_state;
    for (int round = 0; round < kMaxRoundsPerPump && !state->pending && !state->quitRequested;
         ++round) {
        if (!g_main_context_iteration(nullptr, FALSE)) break;
    }
    // A quit request cuts one pump short: the main loop takes the request
    // next. An application that goes on after all (tests reset it) pumps as
    // before.
    state->quitRequested = false;
    state->RethrowPending();
}

bool GtkBackend::WaitMessage() {
    // One turn of the main context without its dispatch: prepare, poll until
    // a source is ready, check. The next pump dispatches what is ready.
    GMainContext* context = g_main_context_default();
    if (!g_main_context_acquire(context)) return true;
    gint maxPriority = 0;
    g_main_context_prepare(context, &maxPriority);
    std::vector<GPollFD> fds(16);
    gint timeout = -1;
    gint count = 0;
    while ((count = g_main_context_query(context, maxPriority, &timeout, fds.data(),
                                         static_cast<gint>(fds.size()))) >
           static_cast<gint>(fds.size())) {
        fds.resize(static_cast<size_t>(count));
    }
    GPollFunc poll = g_main_context_get_poll_func(context);
    poll(fds.data(), static_cast<guint>(count), timeout);
    g_main_context_check(context, maxPriority, fds.data(), count);
    g_main_context_release(context);
    return true;
}

void GtkBackend::Terminate() {
    m_state->quitRequested = true;
    // The main loop may be waiting: let it see the request.
    g_main_context_wakeup(g_main_context_default());
}

int GtkBackend::ShowMessageBox(const MessageBoxRequest& request) {
    std::shared_ptr<GtkState> state = m_state;
    const int answer = RunMessageBox(*state, request);
    state->RethrowPending();
    return answer;
}

bool GtkBackend::InputQuery(const std::string& caption, const std::string& prompt,
                            std::string& value) {
    std::shared_ptr<GtkState> state = m_state;
    const bool ok = RunInputBox(*state, caption, prompt, value);
    state->RethrowPending();
    return ok;
}

bool GtkBackend::OpenFileDialog(const std::string& title, const std::string& filter,
                                const std::string& initialDir, std::string& fileName) {
    std::shared_ptr<GtkState> state = m_state;
    const bool ok = RunOpenFile(*state, title, filter, initialDir, fileName);
    state->RethrowPending();
    return ok;
}

bool GtkBackend::SelectDirectoryDialog(std::string& directory, bool allowCreate) {
    std::shared_ptr<GtkState> state = m_state;
    const bool ok = RunSelectDirectory(*state, directory, allowCreate);
    state->RethrowPending();
    return ok;
}

std::unique_ptr<NativeWindow> GtkBackend::CreateNativeWindow(const TCreateParams& params,
                                                             WindowSink& sink) {
    return MakeHostWindow(m_state, params, sink);
}

std::unique_ptr<HostTimer> GtkBackend::StartTimer(const std::string& /*name*/, unsigned intervalMs,
                                                  std::function<void()> onTick) {
    return std::make_unique<GtkTimer>(m_state, intervalMs, std::move(onTick));
}

int GtkBackend::ScreenPixelsPerInch() {
    // The resolution GTK gives text (Xft.dpi or the desktop's setting), in
    // the same logical pixels as every size the framework hands to GTK.
    GdkScreen* screen = gdk_screen_get_default();
    const double resolution = screen != nullptr ? gdk_screen_get_resolution(screen) : -1.0;
    if (!(resolution >= 24.0 && resolution <= 960.0)) return kDefaultPixelsPerInch;
    return static_cast<int>(std::lround(resolution));
}

int GtkBackend::ScreenWidth() {
    GdkMonitor* monitor = PrimaryMonitor();
    if (monitor == nullptr) return Backend::ScreenWidth();
    GdkRectangle area;
    gdk_monitor_get_geometry(monitor, &area);
    return area.width;
}

int GtkBackend::ScreenHeight() {
    GdkMonitor* monitor = PrimaryMonitor();
    if (monitor == nullptr) return Backend::ScreenHeight();
    GdkRectangle area;
    gdk_monitor_get_geometry(monitor, &area);
    return area.height;
}

void GtkBackend::ShowApplicationWindow(int showCommand) {
    m_state->taskbarVisible = showCommand != kSwHide;
    m_state->ApplyTaskbar();
    // Sent now: the program may block next without serving the display.
    if (GdkDisplay* display = gdk_display_get_default()) gdk_display_flush(display);
}

bool GtkBackend::TaskbarVisible() const {
    return m_state->taskbarVisible;
}

void GtkBackend::SetCursor(TCursor cursor) {
    m_state->cursor = cursor;
    m_state->ApplyCursor();
}

std::unique_ptr<Backend> OpenGtkBackend() {
    // Without a display there is nothing to open, and GTK is not loaded.
    if (g_getenv("DISPLAY") == nullptr && g_getenv("WAYLAND_DISPLAY") == nullptr) return nullptr;
    if (!LoadGtkLibrary()) return nullptr;
    // The runtime draws nothing with OpenGL, but GDK loads the display's
    // OpenGL driver while it opens an X display, to choose its visuals: tens
    // of megabytes resident (over 50 with a software renderer). GDK reads
    // this setting only then; it is taken back at once so that the browser
    // the run starts gets the reader's environment. A reader's own setting
    // is left as it is.
    const bool readerSetting = g_getenv("GDK_GL") != nullptr;
    if (!readerSetting) g_setenv("GDK_GL", "disable", TRUE);
    const bool opened = gtk_init_check(nullptr, nullptr);
    if (!readerSetting) g_unsetenv("GDK_GL");
    if (!opened) return nullptr;
    return std::make_unique<GtkBackend>();
}

}  // namespace pagorix::gtk
