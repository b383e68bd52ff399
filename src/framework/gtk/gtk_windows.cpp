// The host windows behind the framework's forms and standard controls.
//
// A form is a top-level GtkWindow holding a GtkFixed of the form's size, in
// which every child control sits at its own place and size. GtkFixed paints
// its children in the order they were put, so a control made later covers
// the ones made before it. Children never make the form grow: labels sit in a
// scrolled window without scroll bars that clips them, and the style sheet
// lets buttons and progress bars take the small sizes of the form's design.
#include <algorithm>

#include "framework/gtk/gtk_host.h"
#include "framework/sysutils.h"

namespace pagorix::gtk {

// ---- Text ----

std::string ToUtf8(const std::string& cp1252) {
    return Cp1252ToUtf8(cp1252);
}

std::string Mnemonic(const std::string& cp1252) {
    std::string marked;
    for (size_t i = 0; i < cp1252.size(); ++i) {
        const char c = cp1252[i];
        if (c == '&') {
            if (i + 1 < cp1252.size() && cp1252[i + 1] == '&') {
                marked += '&';
                ++i;
            } else {
                marked += '_';
            }
        } else if (c == '_') {
            marked += "__";
        } else {
            marked += c;
        }
    }
    return Cp1252ToUtf8(marked);
}

std::string FromUtf8(const char* utf8) {
    std::string out;
    if (utf8 == nullptr) return out;
    const char* end = utf8 + std::char_traits<char>::length(utf8);
    for (const char* p = utf8; p < end;) {
        const char* next = g_utf8_find_next_char(p, end);
        if (next == nullptr) next = end;
        const Cp1252Result one = Utf8ToCp1252(std::string_view(p, static_cast<size_t>(next - p)));
        out += one.ok ? one.text : std::string("?");
        p = next;
    }
    return out;
}

// ---- State ----

GtkWindow* GtkState::DialogParent() const {
    for (auto it = forms.rbegin(); it != forms.rend(); ++it) {
        if (gtk_widget_get_visible((*it)->Outer())) return (*it)->Window();
    }
    return nullptr;
}

void GtkState::ApplyTaskbar() const {
    for (FormWindow* form : forms) {
        gtk_window_set_skip_taskbar_hint(form->Window(), !taskbarVisible);
        gtk_window_set_skip_pager_hint(form->Window(), !taskbarVisible);
    }
}

void GtkState::ApplyCursor() const {
    for (FormWindow* form : forms) {
        GdkWindow* window = gtk_widget_get_window(form->Outer());
        if (window == nullptr) continue;
        GdkCursor* shape = nullptr;
        if (cursor == TCursor::crHourGlass) {
            shape = gdk_cursor_new_from_name(gdk_window_get_display(window), "wait");
        }
        gdk_window_set_cursor(window, shape);
        if (shape != nullptr) g_object_unref(shape);
    }
}

// ---- HostWindow ----

HostWindow::HostWindow(std::shared_ptr<GtkState> state, const TCreateParams& params,
                       WindowSink& sink)
    : m_state(std::move(state)),
      m_params(params),
      m_sink(sink),
      m_x(params.x),
      m_y(params.y),
      m_width(params.width),
      m_height(params.height) {}

HostWindow::~HostWindow() {
    if (GtkWidget* outer = m_outer.get()) {
        g_signal_handlers_disconnect_by_data(outer, this);
        if (m_focus != nullptr && m_focus != outer) {
            g_signal_handlers_disconnect_by_data(m_focus, this);
        }
        gtk_widget_destroy(outer);
    }
}

void HostWindow::Place(GtkWidget* outer, GtkWidget* focusWidget) {
    m_outer = Sink(outer);
    m_focus = focusWidget;
    auto* parent = dynamic_cast<HostWindow*>(m_params.parent);
    if (parent != nullptr && parent->Container() != nullptr) {
        gtk_fixed_put(parent->Container(), outer, m_x, m_y);
    }
    gtk_widget_set_size_request(outer, std::max(0, m_width), std::max(0, m_height));
    gtk_widget_set_sensitive(outer, m_params.enabled);
    gtk_widget_set_visible(outer, m_params.visible);
}

void HostWindow::SetBounds(int x, int y, int width, int height) {
    m_x = x;
    m_y = y;
    m_width = width;
    m_height = height;
    if (GtkWidget* parent = gtk_widget_get_parent(Outer());
        parent != nullptr && GTK_IS_FIXED(parent)) {
        gtk_fixed_move(GTK_FIXED(parent), Outer(), x, y);
    }
    gtk_widget_set_size_request(Outer(), std::max(0, width), std::max(0, height));
}

void HostWindow::SetVisible(bool visible) {
    gtk_widget_set_visible(Outer(), visible);
}

void HostWindow::SetEnabled(bool enabled) {
    gtk_widget_set_sensitive(Outer(), enabled);
}

void HostWindow::SetFocus() {
    if (m_focus != nullptr) gtk_widget_grab_focus(m_focus);
}

bool HostWindow::Focused() const {
    return m_focus != nullptr && gtk_widget_is_focus(m_focus);
}

void HostWindow::Notify(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    TMessage m{message, wParam, lParam, 0};
    m_sink.HostMessage(m);
}

// ---- FormWindow ----

namespace {

// Sizes the framework's design takes for granted: text of about 8 points,
// buttons and progress bars no taller than their places.
constexpr const char* kFormCss =
    ".pagorix-form { font-size: 8pt; }"
    ".pagorix-form button { padding: 0 4px; min-height: 0; min-width: 0; }"
    ".pagorix-form progressbar trough, .pagorix-form progressbar progress {"
    "  min-height: 13px; min-width: 0; }"
    ".pagorix-form progressbar { min-height: 0; }";

void EnsureCss(GtkState& state) {
    if (state.css.get() != nullptr) return;
    state.css = GRef<GtkCssProvider>(gtk_css_provider_new());
    gtk_css_provider_load_from_data(state.css.get(), kFormCss, -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(),
                                              GTK_STYLE_PROVIDER(state.css.get()),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

// The primary monitor's top-left corner: the framework's screen origin.
void ScreenOrigin(int& x, int& y) {
    x = y = 0;
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr) return;
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
    if (monitor == nullptr) return;
    GdkRectangle area;
    gdk_monitor_get_geometry(monitor, &area);
    x = area.x;
    y = area.y;
}

}  // namespace

FormWindow::FormWindow(std::shared_ptr<GtkState> state, const TCreateParams& params,
                       WindowSink& sink)
    : HostWindow(std::move(state), params, sink) {
    EnsureCss(*m_state);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_style_context_add_class(gtk_widget_get_style_context(window), "pagorix-form");
    gtk_window_set_title(GTK_WINDOW(window), ToUtf8(params.caption).c_str());
    gtk_window_set_resizable(GTK_WINDOW(window), (params.style & kWsThickFrame) != 0);
    if ((params.style & kWsCaption) != kWsCaption) {
        gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
    }
    m_fixed = gtk_fixed_new();
    gtk_widget_set_size_request(m_fixed, std::max(0, params.width), std::max(0, params.height));
    gtk_container_add(GTK_CONTAINER(window), m_fixed);
    gtk_widget_show(m_fixed);
    m_outer = Sink(window);
    m_focus = window;
    gtk_widget_set_sensitive(window, params.enabled);
    SetBounds(params.x, params.y, params.width, params.height);
    g_signal_connect(window, "delete-event", G_CALLBACK(OnDelete), this);
    g_signal_connect(window, "realize", G_CALLBACK(OnRealize), this);
    m_state->forms.push_back(this);
    m_state->ApplyTaskbar();
    if (params.visible) gtk_widget_show(window);
}

FormWindow::~FormWindow() {
    auto& forms = m_state->forms;
    forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
}

void FormWindow::SetBounds(int x, int y, int width, int height) {
    m_x = x;
    m_y = y;
    m_width = width;
    m_height = height;
    int originX = 0, originY = 0;
    ScreenOrigin(originX, originY);
    gtk_window_move(Window(), originX + x, originY + y);
    gtk_widget_set_size_request(m_fixed, std::max(0, width), std::max(0, height));
    gtk_window_resize(Window(), std::max(1, width), std::max(1, height));
}

void FormWindow::SetVisible(bool visible) {
    if (visible) {
        // Placed again: a window manager may forget a place given while hidden.
        SetBounds(m_x, m_y, m_width, m_height);
        gtk_widget_show(Outer());
    } else {
        gtk_widget_hide(Outer());
        // The program may block next (waiting for the browser) without
        // serving the display: the server must have taken the unmap by then,
        // or the window stays on screen, frozen.
        gdk_display_sync(gtk_widget_get_display(Outer()));
    }
}

void FormWindow::SetText(const std::string& text) {
    gtk_window_set_title(Window(), ToUtf8(text).c_str());
}

gboolean FormWindow::OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
    auto* form = static_cast<FormWindow*>(self);
    // The close box only asks: the form decides, and destroys the window itself.
    std::shared_ptr<GtkState> state = form->m_state;
    state->Guard([&] { form->Notify(kWmClose, 0, 0); });
    return TRUE;
}

void FormWindow::OnRealize(GtkWidget* widget, gpointer self) {
    auto* form = static_cast<FormWindow*>(self);
    GdkWindow* window = gtk_widget_get_window(widget);
    const std::uint32_t style = form->m_params.style;
    // The title bar's buttons, for window managers that read the Motif hints.
    int functions = GDK_FUNC_MOVE;
    int decorations = GDK_DECOR_BORDER | GDK_DECOR_TITLE;
    if ((style & kWsSysMenu) != 0) {
        functions |= GDK_FUNC_CLOSE;
        decorations |= GDK_DECOR_MENU;
    }
    if ((style & kWsThickFrame) != 0) {
        functions |= GDK_FUNC_RESIZE;
        decorations |= GDK_DECOR_RESIZEH;
    }
    if ((style & kWsMinimizeBox) != 0) {
        functions |= GDK_FUNC_MINIMIZE;
        decorations |= GDK_DECOR_MINIMIZE;
    }
    if ((style & kWsMaximizeBox) != 0) {
        functions |= GDK_FUNC_MAXIMIZE;
        decorations |= GDK_DECOR_MAXIMIZE;
    }
    gdk_window_set_functions(window, static_cast<GdkWMFunction>(functions));
    if ((style & kWsCaption) == kWsCaption) {
        gdk_window_set_decorations(window, static_cast<GdkWMDecoration>(decorations));
    }
    form->m_state->ApplyCursor();
}

// ---- Standard controls ----

namespace {

class LabelWindow : public HostWindow {
public:
    LabelWindow(std::shared_ptr<GtkState> state, const TCreateParams& params, WindowSink& sink)
        : HostWindow(std::move(state), params, sink) {
        m_label = gtk_label_new(nullptr);
        gtk_label_set_xalign(GTK_LABEL(m_label), 0.0f);
        gtk_label_set_yalign(GTK_LABEL(m_label), 0.0f);
        if ((params.style & kSsLeftNoWordWrap) != kSsLeftNoWordWrap) {
            gtk_label_set_line_wrap(GTK_LABEL(m_label), TRUE);
            gtk_label_set_line_wrap_mode(GTK_LABEL(m_label), PANGO_WRAP_WORD_CHAR);
        }
        gtk_widget_show(m_label);
        // A label never pushes its form wider or taller: what does not fit is cut.
        GtkWidget* clip = gtk_scrolled_window_new(nullptr, nullptr);
        gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(clip), GTK_POLICY_EXTERNAL,
                                       GTK_POLICY_EXTERNAL);
        gtk_container_add(GTK_CONTAINER(clip), m_label);
        if (GtkWidget* viewport = gtk_bin_get_child(GTK_BIN(clip)); GTK_IS_VIEWPORT(viewport)) {
            gtk_viewport_set_shadow_type(GTK_VIEWPORT(viewport), GTK_SHADOW_NONE);
        }
        SetText(params.caption);
        Place(clip, nullptr);
    }
    void SetText(const std::string& text) override {
        gtk_label_set_text_with_mnemonic(GTK_LABEL(m_label), Mnemonic(text).c_str());
    }

private:
    GtkWidget* m_label;  // owned by the scrolled window
};

class MemoWindow : public HostWindow {
public:
    MemoWindow(std::shared_ptr<GtkState> state, const TCreateParams& params, WindowSink& sink)
        : HostWindow(std::move(state), params, sink) {
        // The lines are the framework's: what is shown is not edited here.
        m_view = gtk_text_view_new();
        gtk_text_view_set_editable(GTK_TEXT_VIEW(m_view), FALSE);
        gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(m_view), (params.style & kEsAutoHScroll) != 0
                                                               ? GTK_WRAP_NONE
                                                               : GTK_WRAP_WORD_CHAR);
        gtk_widget_show(m_view);
        GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
        gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroller), GTK_SHADOW_IN);
        gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_AUTOMATIC,
                                       GTK_POLICY_AUTOMATIC);
        gtk_container_add(GTK_CONTAINER(scroller), m_view);
        Place(scroller, m_view);
    }
    void SetLines(const std::vector<std::string>& lines) override {
        std::string text;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (i != 0) text += '\n';
            text += ToUtf8(lines[i]);
        }
        gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(m_view)), text.c_str(), -1);
    }

private:
    GtkWidget* m_view;  // owned by the scrolled window
};

class ButtonWindow : public HostWindow {
public:
    ButtonWindow(std::shared_ptr<GtkState> state, const TCreateParams& params, WindowSink& sink)
        : HostWindow(std::move(state), params, sink) {
        GtkWidget* button = gtk_button_new_with_mnemonic(Mnemonic(params.caption).c_str());
        g_signal_connect(button, "clicked", G_CALLBACK(OnClicked), this);
        Place(button, button);
    }
    void SetText(const std::string& text) override {
        gtk_button_set_label(GTK_BUTTON(Outer()), Mnemonic(text).c_str());
        gtk_button_set_use_underline(GTK_BUTTON(Outer()), TRUE);
    }

private:
    static void OnClicked(GtkButton*, gpointer self) {
        auto* button = static_cast<ButtonWindow*>(self);
        std::shared_ptr<GtkState> state = button->m_state;  // the click may destroy the button
        state->Guard([&] { button->Notify(kCnCommand, MakeWParam(0, kBnClicked), 0); });
    }
};

class ProgressWindow : public HostWindow {
public:
    ProgressWindow(std::shared_ptr<GtkState> state, const TCreateParams& params, WindowSink& sink)
        : HostWindow(std::move(state), params, sink) {
        Place(gtk_progress_bar_new(), nullptr);
    }
    void SetProgress(int min, int max, int position) override {
        const double span = static_cast<double>(max) - min;
        const double fraction = span > 0 ? (static_cast<double>(position) - min) / span : 0.0;
        gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(Outer()), std::clamp(fraction, 0.0, 1.0));
    }
};

// A control of no standard kind: an area that may hold children.
class PanelWindow : public HostWindow {
public:
    PanelWindow(std::shared_ptr<GtkState> state, const TCreateParams& params, WindowSink& sink)
        : HostWindow(std::move(state), params, sink) {
        Place(gtk_fixed_new(), nullptr);
    }
    GtkFixed* Container() const override { return GTK_FIXED(Outer()); }
};

}  // namespace

std::unique_ptr<NativeWindow> MakeHostWindow(std::shared_ptr<GtkState> state,
                                             const TCreateParams& params, WindowSink& sink) {
    if (params.baseClassName == "SysAnimate32") {
        return MakeAnimationWindow(std::move(state), params, sink);
    }
    switch (params.kind) {
        case WindowKind::Form:
            return std::make_unique<FormWindow>(std::move(state), params, sink);
        case WindowKind::Label:
            return std::make_unique<LabelWindow>(std::move(state), params, sink);
        case WindowKind::Memo:
            return std::make_unique<MemoWindow>(std::move(state), params, sink);
        case WindowKind::Button:
            return std::make_unique<ButtonWindow>(std::move(state), params, sink);
        case WindowKind::ProgressBar:
            return std::make_unique<ProgressWindow>(std::move(state), params, sink);
        case WindowKind::Custom:
            break;
    }
    return std::make_unique<PanelWindow>(std::move(state), params, sink);
}

}  // namespace pagorix::gtk
