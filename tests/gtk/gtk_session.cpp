#include "gtk_session.h"

#include "support/private_desktop.h"
#include "support/test_support.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

// GTK, fontconfig and friends keep caches for the life of the process, which
// the leak checker would report at exit.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libgtk-3.so\nleak:libgdk-3.so\nleak:libglib-2.0.so\n"
           "leak:libgobject-2.0.so\nleak:libpango\nleak:libcairo.so\nleak:libharfbuzz.so\n"
           "leak:libX11.so\nleak:libgio-2.0.so\nleak:libatk\nleak:libdbus\n";
}

namespace pagorix::test {

namespace {

class Xvfb {
public:
    Xvfb() {
        gchar* path = g_find_program_in_path("Xvfb");
        if (path == nullptr) return;
        std::string program = path;
        g_free(path);
        int fds[2];
        if (pipe(fds) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            // The server ends with the test program, however that ends.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            execl(program.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24",
                  "-nolisten", "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        char c = 0;
        while (m_pid > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (number.empty()) return;
        m_display = ":" + number;
    }
    ~Xvfb() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    const std::string& Display() const { return m_display; }

private:
    pid_t m_pid = -1;
    std::string m_display;
};

struct Session {
    Xvfb server;
    TempDir desktop;  // HOME and the XDG folders: the user's own are never read
    std::unique_ptr<Backend> backend;
    Session() {
        if (server.Display().empty()) return;
        // GLib reads these once per process, so they are set before GTK starts.
        PrivateDesktop(desktop.Path(), "").Enter();
        setenv("DISPLAY", server.Display().c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        setenv("GDK_BACKEND", "x11", 1);
        setenv("GTK_THEME", "Adwaita", 1);
        setenv("NO_AT_BRIDGE", "1", 1);  // no accessibility bus to wait for
        backend = gtk::OpenGtkBackend();
    }
};

Session& TheSession() {
    static Session session;
    return session;
}

}  // namespace

gtk::GtkBackend* GtkSession() {
    return static_cast<gtk::GtkBackend*>(TheSession().backend.get());
}

void PumpFor(unsigned ms, const std::function<bool()>& done) {
    Backend& backend = *GtkSession();
    bool timeUp = false;
    const guint source = g_timeout_add(
        ms,
        [](gpointer flag) -> gboolean {
            *static_cast<bool*>(flag) = true;
            return G_SOURCE_REMOVE;
        },
        &timeUp);
    while (!timeUp && !(done && done())) {
        backend.WaitMessage();
        backend.ProcessMessages();
    }
    if (!timeUp) g_source_remove(source);
}

void After(unsigned ms, std::function<bool()> action) {
    using Action = std::function<bool()>;
    g_timeout_add_full(
        G_PRIORITY_DEFAULT, ms,
        [](gpointer data) -> gboolean {
            return (*static_cast<Action*>(data))() ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
        },
        std::make_unique<Action>(std::move(action)).release(),
        [](gpointer data) { std::unique_ptr<Action>(static_cast<Action*>(data)); });
}

GtkWidget* OpenDialog() {
    GList* windows = gtk_window_list_toplevels();
    GtkWidget* found = nullptr;
    for (GList* w = windows; w != nullptr; w = w->next) {
        auto* widget = static_cast<GtkWidget*>(w->data);
        if (GTK_IS_DIALOG(widget) && gtk_widget_get_mapped(widget) &&
            gtk_window_get_modal(GTK_WINDOW(widget))) {
            found = widget;
        }
    }
    g_list_free(windows);
    return found;
}

void PressKey(GtkWidget* window, guint keyval) {
    GdkWindow* gdkWindow = gtk_widget_get_window(window);
    GdkDisplay* display = gdk_window_get_display(gdkWindow);
    GdkKeymapKey* keys = nullptr;
    gint count = 0;
    gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), keyval, &keys, &count);
    for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
        GdkEvent* event = gdk_event_new(type);
        event->key.window = GDK_WINDOW(g_object_ref(gdkWindow));
        event->key.send_event = TRUE;
        event->key.time = GDK_CURRENT_TIME;
        event->key.keyval = keyval;
        event->key.hardware_keycode = count > 0 ? static_cast<guint16>(keys[0].keycode) : 0;
        gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(display)));
        gtk_main_do_event(event);
        gdk_event_free(event);
    }
    g_free(keys);
}

void CloseBox(GtkWidget* window) {
    GdkEvent* event = gdk_event_new(GDK_DELETE);
    event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
    event->any.send_event = TRUE;
    gtk_main_do_event(event);
    gdk_event_free(event);
}

GtkWidget* FindWidget(GtkWidget* root, const std::function<bool(GtkWidget*)>& match) {
    if (match(root)) return root;
    GtkWidget* found = nullptr;
    if (GTK_IS_CONTAINER(root)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(root));
        for (GList* c = children; c != nullptr && found == nullptr; c = c->next)
            found = FindWidget(static_cast<GtkWidget*>(c->data), match);
        g_list_free(children);
    }
    return found;
}

}  // namespace pagorix::test
