// The GTK backend on a private Xvfb: the form's window, the close box, the
// message boxes' answers, the input box, timers, the taskbar hint, the halt
// from a callback, and the animation control.
#include "framework/gtk/gtk_backend.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "framework/application.h"
#include "framework/dialogs.h"
#include "framework/form.h"
#include "framework/gtk/gtk_host.h"
#include "gtk_session.h"
#include "splash/animation.h"
#include "support/box_contract.h"

namespace pagorix {
namespace {

using test::After;
using test::PumpFor;

class GtkBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        PAGORIX_NEED_DISPLAY();
        Application().ResetState();
        gdk_screen_set_resolution(gdk_screen_get_default(), 96.0);
    }
    void TearDown() override { Application().ResetState(); }

    // A form as the splash window has it: single frame, close box only, centred.
    std::unique_ptr<TForm> MakeForm(int width, int height) {
        auto form = std::make_unique<TForm>(nullptr);
        form->SetName("fhtml");
        form->SetCaption("Pagorix 1.0");
        form->SetBorderStyle(TFormBorderStyle::bsSingle);
        form->SetBorderIcons(biSystemMenu);
        form->SetPosition(TPosition::poScreenCenter);
        form->SetBounds(0, 0, width, height);
        return form;
    }
    static GtkWidget* Widget(TWinControl& control) {
        return static_cast<gtk::HostWindow&>(control.Handle()).Outer();
    }
    static void WaitMapped(GtkWidget* widget) {
        PumpFor(3000, [&] { return gtk_widget_get_mapped(widget) != FALSE; });
    }
};

TEST_F(GtkBackendTest, TheFormIsAFixedCentredWindowOfTheSizeForTheScreenDensity) {
    for (int dpi : {96, 120}) {
        gdk_screen_set_resolution(gdk_screen_get_default(), dpi);
        const int d = Screen().PixelsPerInch();
        EXPECT_EQ(d, dpi);
        auto form = MakeForm(d * 300 / 96, d * 162 / 96);
        form->Show();
        GtkWidget* window = Widget(*form);
        WaitMapped(window);
        PumpFor(200);
        int x = 0, y = 0;
        gdk_window_get_origin(gtk_widget_get_window(window), &x, &y);
        const int w = gtk_widget_get_allocated_width(window);
        const int h = gtk_widget_get_allocated_height(window);
        EXPECT_EQ(w, dpi == 96 ? 300 : 375);
        EXPECT_EQ(h, dpi == 96 ? 162 : 202);
        EXPECT_EQ(x, (1024 - w) / 2);
        EXPECT_EQ(y, (768 - h) / 2);
        EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(window)));
        EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window)), "Pagorix 1.0");
    }
}

TEST_F(GtkBackendTest, TheCloseBoxOfTheMainFormRequestsTheQuit) {
    TForm& form = Application().CreateForm<TForm>();
    form.Show();
    WaitMapped(Widget(form));
    test::CloseBox(Widget(form));
    EXPECT_TRUE(Application().Terminated());
    EXPECT_TRUE(gtk_widget_get_visible(Widget(form)));  // the form decides, not the host
}

// The boxes every backend answers alike: keys pressed in the dialog, its
// close box, a button's letter as a click on that button. The error box
// shows the error icon.
TEST_F(GtkBackendTest, MessageBoxesKeepTheContractOfEveryBackend) {
    Application().SetTitle("T");
    for (const test::BoxContractRow& row : test::BoxContract()) {
        std::string caption;
        std::string icon;
        After(50, [&] {
            GtkWidget* dialog = test::OpenDialog();
            if (dialog == nullptr) return false;
            caption = gtk_window_get_title(GTK_WINDOW(dialog));
            GtkWidget* image =
                test::FindWidget(dialog, [](GtkWidget* w) { return GTK_IS_IMAGE(w); });
            const gchar* name = nullptr;
            if (image != nullptr) gtk_image_get_icon_name(GTK_IMAGE(image), &name, nullptr);
            icon = name != nullptr ? name : "";
            switch (row.act) {
                case test::BoxAct::Enter:
                    test::PressKey(dialog, GDK_KEY_Return);
                    break;
                case test::BoxAct::Escape:
                    test::PressKey(dialog, GDK_KEY_Escape);
                    break;
                case test::BoxAct::CloseBox:
                    test::CloseBox(dialog);
                    break;
                case test::BoxAct::LetterO:
                case test::BoxAct::LetterN: {
                    const char* label = row.act == test::BoxAct::LetterO ? "_Oui" : "_Non";
                    GtkWidget* button = test::FindWidget(dialog, [&](GtkWidget* w) {
                        const gchar* text =
                            GTK_IS_BUTTON(w) ? gtk_button_get_label(GTK_BUTTON(w)) : nullptr;
                        return text != nullptr && std::string(label) == text;
                    });
                    if (button != nullptr) {
                        gtk_button_clicked(GTK_BUTTON(button));
                    } else {
                        ADD_FAILURE() << row.name << ": no button " << label;
                        test::CloseBox(dialog);
                    }
                    break;
                }
            }
            return true;
        });
        EXPECT_EQ(MessageDlg("Q", row.type, row.buttons), row.result) << row.name;
        EXPECT_EQ(caption, *row.caption != 0 ? row.caption : "T") << row.name;
        EXPECT_EQ(icon == "dialog-error", row.type == TMsgDlgType::mtError) << row.name;
    }
    // The engine's system boxes answer with Windows' results.
    After(50, [] {
        GtkWidget* dialog = test::OpenDialog();
        if (dialog == nullptr) return false;
        test::PressKey(dialog, GDK_KEY_Escape);
        return true;
    });
    EXPECT_EQ(ShowMessageBox("Sure?", "Title", kMbYesNo), kIdNo);
}

TEST_F(GtkBackendTest, TheInputBoxShowsWhatIsTypedKeeps255CharactersAndSpeaksWindows1252) {
    struct Case {
        const char* name;
        std::string defaultText;
        std::string typed;  // UTF-8, as GTK has it; empty with escape
        bool escape;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"long", "", std::string(300, 'x'), false, std::string(255, 'x')},
        {"accents both ways", "\xE9t\xE9", "", false, "\xE9t\xE9"},
        {"beyond Windows-1252", "", "a\xE4\xB8\xAD\xE2\x82\xAC", false, "a?\x80"},
        {"escape", "kept?", "", true, ""},
    };
    for (const Case& c : cases) {
        After(50, [&] {
            GtkWidget* dialog = test::OpenDialog();
            if (dialog == nullptr) return false;
            GtkWidget* entry = gtk_window_get_focus(GTK_WINDOW(dialog));
            EXPECT_TRUE(GTK_IS_ENTRY(entry)) << c.name;
            if (!GTK_IS_ENTRY(entry)) return true;
            EXPECT_TRUE(gtk_entry_get_visibility(GTK_ENTRY(entry)));
            if (!c.typed.empty()) gtk_entry_set_text(GTK_ENTRY(entry), c.typed.c_str());
            test::PressKey(dialog, c.escape ? GDK_KEY_Escape : GDK_KEY_Return);
            return true;
        });
        EXPECT_EQ(InputBox("Password protection", "Please enter the password :", c.defaultText),
                  c.expected)
            << c.name;
    }
}

TEST_F(GtkBackendTest, TimersTickFromTheLoopUntilDestroyedAndAPumpDoesNotWait) {
    int ticks = 0;
    auto timer = CurrentBackend().StartTimer("tic", 30, [&] { ++ticks; });
    PumpFor(200);
    EXPECT_GE(ticks, 3);
    EXPECT_LE(ticks, 7);
    timer.reset();
    const int after = ticks;
    PumpFor(100);
    EXPECT_EQ(ticks, after);
    const auto start = std::chrono::steady_clock::now();
    Application().ProcessMessages();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

TEST_F(GtkBackendTest, HidingTheApplicationWindowTakesEveryFormOffTheTaskbar) {
    auto before = MakeForm(100, 50);
    before->HandleNeeded();
    CurrentBackend().ShowApplicationWindow(kSwHide);
    auto after = MakeForm(100, 50);
    after->HandleNeeded();
    EXPECT_TRUE(gtk_window_get_skip_taskbar_hint(GTK_WINDOW(Widget(*before))));
    EXPECT_TRUE(gtk_window_get_skip_taskbar_hint(GTK_WINDOW(Widget(*after))));
    CurrentBackend().ShowApplicationWindow(kSwShow);
    EXPECT_FALSE(gtk_window_get_skip_taskbar_hint(GTK_WINDOW(Widget(*before))));
}

TEST_F(GtkBackendTest, AHaltInAClickEndsTheMainLoopWithoutCrossingGtk) {
    TForm& form = Application().CreateForm<TForm>();
    auto& button = form.CreateOwned<TButton>();
    button.SetParent(&form);
    button.SetCaption("&Cancel");
    button.SetBounds(224, 96, 57, 25);
    button.SetOnClick([](TComponent*) { Application().Halt(); });
    After(100, [&] {
        GtkWidget* widget = Widget(button);
        if (!gtk_widget_get_mapped(widget)) return false;
        EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(widget)), "_Cancel");
        gtk_button_clicked(GTK_BUTTON(widget));
        return true;
    });
    Application().Run();
    EXPECT_TRUE(Application().Halted());
}

TEST(GtkOpen, WithoutADisplayThereIsNoBackend) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process, GTK not yet opened
    EXPECT_EXIT(
        {
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            std::_Exit(gtk::OpenGtkBackend() == nullptr ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

class GtkAnimationTest : public GtkBackendTest {
protected:
    void SetUp() override {
        GtkBackendTest::SetUp();
        if (IsSkipped()) return;
        form = MakeForm(300, 162);
        anim = &form->CreateOwned<TAnimation>();
        anim->SetName("anim");
        anim->SetParent(form.get());
        anim->SetBounds(8, 0, 273, 65);
        anim->SetOnStart([this](TComponent*) { ++starts; });
        anim->SetOnStop([this](TComponent*) { ++stops; });
        form->Show();
        WaitMapped(Widget(*form));
    }
    // The colour drawn at a point of the control.
    std::uint32_t PixelAt(int x, int y) {
        GtkWidget* widget = Widget(*anim);
        const int w = gtk_widget_get_allocated_width(widget);
        const int h = gtk_widget_get_allocated_height(widget);
        if (x >= w || y >= h) return 0xFFFFFFFF;  // not there
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
        cairo_t* cr = cairo_create(surface);
        gtk_widget_draw(widget, cr);
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        const auto* data = reinterpret_cast<const std::uint32_t*>(
            cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface));
        const std::uint32_t pixel = data[x] & 0xFFFFFF;
        cairo_surface_destroy(surface);
        return pixel;
    }

    std::unique_ptr<TForm> form;
    TAnimation* anim = nullptr;
    int starts = 0;
    int stops = 0;
};

// A clip the reader refuses is not opened and a play is only recorded; the
// clip it takes starts that play, which Stop ends and reports. A finite
// range plays at the clip's rate and reports its end.
TEST_F(GtkAnimationTest, OpensOnlyClipsTheReaderTakesAndPlaysTheirFrames) {
    anim->SetAVIFile("/nonexistent/clip.avi");
    EXPECT_FALSE(anim->ClipOpen());
    anim->Play();  // only recorded
    EXPECT_EQ(starts, 0);
    anim->SetAVIFile(PAGORIX_SPLASH_AVI);
    EXPECT_TRUE(anim->ClipOpen());
    EXPECT_TRUE(anim->Playing());
    EXPECT_GE(starts, 1);
    PumpFor(250);
    stops = 0;
    anim->Stop();
    EXPECT_EQ(stops, 1);
    EXPECT_FALSE(anim->Playing());

    anim->SetEndFrame(5);
    anim->SetRepeatCount(1);
    PumpFor(300);  // the start frame's showing ends
    starts = stops = 0;
    const auto begin = std::chrono::steady_clock::now();
    anim->Play();
    EXPECT_EQ(starts, 1);
    PumpFor(3000, [&] { return stops > 0; });
    const auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_EQ(stops, 1);
    EXPECT_FALSE(anim->Playing());
    // Five frames at ten frames per second.
    EXPECT_GE(took, std::chrono::milliseconds(450));
    EXPECT_LT(took, std::chrono::milliseconds(1500));
}

TEST_F(GtkAnimationTest, CentringAndTransparency) {
    anim->SetAVIFile(PAGORIX_SPLASH_AVI);
    PumpFor(150);
    // Centred 272 x 77 in 273 x 65: the picture starts at (0, -6). Its
    // top-left colour is the clip's grey, drawn as the form's background.
    const std::uint32_t background = PixelAt(0, 0);
    anim->SetTransparent(false);
    PumpFor(150);
    const std::uint32_t grey = PixelAt(0, 0);
    EXPECT_NE(background, grey);
    // Without centring the control takes the clip's size.
    anim->SetCenter(false);
    EXPECT_EQ(anim->Width(), 272);
    EXPECT_EQ(anim->Height(), 77);
    anim->SetBounds(8, 0, 100, 100);
    EXPECT_EQ(anim->Width(), 272);
    PumpFor(3000, [&] { return gtk_widget_get_allocated_width(Widget(*anim)) == 272; });
    EXPECT_EQ(PixelAt(0, 0), grey);
}

}  // namespace
}  // namespace pagorix
