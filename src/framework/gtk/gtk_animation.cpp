// The animation control on GTK: a drawing area that answers the requests of
// the host animation control (kAcmOpen, kAcmPlay, kAcmStop) and reports
// kAcnStart and kAcnStop back to its control, as the native control does.
//
// - kAcmOpen loads the named clip with the portable clip reader (a null name
//   or a clip the reader refuses answers 0) and shows its first frame.
//   Without kAcsCenter the control takes the clip's size, which its control
//   hears of as of any move; with it the picture is centred in the control.
// - kAcmPlay plays frames LOWORD..HIWORD(lParam) (0xFFFF: the last frame)
//   wParam times (-1: without end) at the clip's rate, from a GLib timeout;
//   kAcnStart is sent at once, kAcnStop when the repeats run out.
// - kAcmStop ends a playing clip (with kAcnStop) and keeps the frame shown.
// - With kAcsTransparent the first frame's top-left colour is not drawn: the
//   form's own background shows there, as under every pixel outside the
//   picture (siblings that the control covers stay hidden).
//
// Notifications run framework code that may destroy this window: nothing of
// the window is touched after one is sent.
#include <algorithm>

#include "framework/gtk/clip_player.h"
#include "framework/gtk/gtk_host.h"

namespace pagorix::gtk {

namespace {

class AnimationWindow : public HostWindow {
public:
    AnimationWindow(std::shared_ptr<GtkState> state, const TCreateParams& params, WindowSink& sink)
        : HostWindow(std::move(state), params, sink) {
        GtkWidget* area = gtk_drawing_area_new();
        g_signal_connect(area, "draw", G_CALLBACK(OnDraw), this);
        Place(area, nullptr);
    }
    ~AnimationWindow() override { StopTimer(); }

    std::intptr_t Send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override {
        switch (message) {
            case kAcmOpen:
                return Open(lParam);
            case kAcmPlay:
                return Play(wParam, lParam);
            case kAcmStop:
                return StopPlaying();
            default:
                return 0;
        }
    }

private:
    std::intptr_t Open(std::intptr_t lParam) {
        StopTimer();
        m_player.Close();
        bool open = false;
        if (lParam != 0) open = m_player.Open(reinterpret_cast<const char*>(lParam));
        gtk_widget_queue_draw(Outer());
        if (open && (m_params.style & kAcsCenter) == 0) {
            ResizeToClip(m_player.Width(), m_player.Height());
        }
        return open ? 1 : 0;
    }

    std::intptr_t Play(std::uintptr_t wParam, std::intptr_t lParam) {
        const auto range = static_cast<std::uintptr_t>(lParam);
        const auto repeat = static_cast<std::int32_t>(wParam);
        if (!m_player.Play(LoWord(range), HiWord(range), repeat)) return 0;
        StopTimer();
        m_timer = g_timeout_add(m_player.FrameMilliseconds(), OnTick, this);
        gtk_widget_queue_draw(Outer());
        Notify(kCnCommand, MakeWParam(0, static_cast<std::uint16_t>(kAcnStart)), 0);
        return 1;
    }

    std::intptr_t StopPlaying() {
        StopTimer();
        if (!m_player.Playing()) return 1;
        m_player.Stop();
        Notify(kCnCommand, MakeWParam(0, static_cast<std::uint16_t>(kAcnStop)), 0);
        return 1;
    }

    void StopTimer() {
        if (m_timer != 0) g_source_remove(m_timer);
        m_timer = 0;
    }

    // The control hears of the clip's size as of any move, and may hold its own.
    void ResizeToClip(int width, int height) {
        TWindowPos pos{m_x, m_y, width, height};
        TMessage changing{kWmWindowPosChanging, 0, reinterpret_cast<std::intptr_t>(&pos), 0};
        m_sink.HostMessage(changing);
        HostWindow::SetBounds(pos.x, pos.y, pos.cx, pos.cy);
        TMessage changed{kWmWindowPosChanged, 0, reinterpret_cast<std::intptr_t>(&pos), 0};
        m_sink.HostMessage(changed);
    }

    static gboolean OnTick(gpointer self) {
        auto* anim = static_cast<AnimationWindow*>(self);
        const bool ranOut = anim->m_player.Tick();
        gtk_widget_queue_draw(anim->Outer());
        if (!ranOut) return G_SOURCE_CONTINUE;
        anim->m_timer = 0;
        std::shared_ptr<GtkState> state = anim->m_state;
        state->Guard([&] {
            anim->Notify(kCnCommand, MakeWParam(0, static_cast<std::uint16_t>(kAcnStop)), 0);
        });
        return G_SOURCE_REMOVE;
    }

    static gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer self) {
        static_cast<AnimationWindow*>(self)->Draw(widget, cr);
        return TRUE;
    }

    void Draw(GtkWidget* widget, cairo_t* cr) {
        const int width = gtk_widget_get_allocated_width(widget);
        const int height = gtk_widget_get_allocated_height(widget);
        // The form's background, as it lies under the control.
        GtkWidget* top = gtk_widget_get_toplevel(widget);
        int dx = 0, dy = 0;
        if (top != widget && gtk_widget_translate_coordinates(widget, top, 0, 0, &dx, &dy)) {
            gtk_render_background(gtk_widget_get_style_context(top), cr, -dx, -dy,
                                  gtk_widget_get_allocated_width(top),
                                  gtk_widget_get_allocated_height(top));
        }
        if (!m_player.IsOpen()) return;
        const int clipWidth = m_player.Width();
        const int clipHeight = m_player.Height();
        std::vector<std::uint32_t> picture =
            m_player.Picture((m_params.style & kAcsTransparent) != 0);
        const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, clipWidth);
        if (stride != clipWidth * 4 ||
            picture.size() != static_cast<size_t>(clipWidth) * static_cast<size_t>(clipHeight)) {
            return;
        }
        cairo_surface_t* surface =
            cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(picture.data()),
                                                CAIRO_FORMAT_ARGB32, clipWidth, clipHeight, stride);
        int x = 0, y = 0;
        if ((m_params.style & kAcsCenter) != 0) {
            x = (width - clipWidth) / 2;
            y = (height - clipHeight) / 2;
        }
        cairo_save(cr);
        cairo_rectangle(cr, 0, 0, width, height);
        cairo_clip(cr);
        cairo_set_source_surface(cr, surface, x, y);
        cairo_paint(cr);
        cairo_restore(cr);
        cairo_surface_destroy(surface);
    }

    ClipPlayer m_player;
    guint m_timer = 0;
};

}  // namespace

std::unique_ptr<NativeWindow> MakeAnimationWindow(std::shared_ptr<GtkState> state,
                                                  const TCreateParams& params, WindowSink& sink) {
    return std::make_unique<AnimationWindow>(std::move(state), params, sink);
}

}  // namespace pagorix::gtk
