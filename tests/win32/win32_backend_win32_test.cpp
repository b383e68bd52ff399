// The Win32 backend on real windows (run under Wine on Linux): the boxes'
// French buttons and answers, the input box's limit, the form's window and
// font, notifications routed back to controls, timers, a halt from a timer,
// the animation control, and the program's string table.
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/dialogs.h"
#include "framework/form.h"
#include "framework/win32/win32_backend.h"
#include "splash/animation.h"
#include "streams/string_resource.h"
#include "support/box_contract.h"

namespace pagorix {
namespace {

class Win32Test : public ::testing::Test {
protected:
    void SetUp() override { Application().ResetState(); }
    void TearDown() override { Application().ResetState(); }

    win32::Win32Backend m_backend;
};

std::string TextOf(HWND window) {
    char buffer[512] = {};
    GetWindowTextA(window, buffer, sizeof buffer);
    return buffer;
}

struct SeenDialog {
    std::string caption;
    std::string buttons;  // their texts, joined by "|"
    bool icon = false;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM data) {
    auto* seen = reinterpret_cast<SeenDialog*>(data);
    char cls[64] = {};
    GetClassNameA(child, cls, sizeof cls);
    if (_stricmp(cls, "Button") == 0)
        seen->buttons += (seen->buttons.empty() ? "" : "|") + TextOf(child);
    if (_stricmp(cls, "Static") == 0 &&
        (GetWindowLongPtrA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        seen->icon = true;
    }
    return TRUE;
}

// What a user does to a box: a key to the focused control, the close box,
// or a button's letter with Alt held (bit 29 of lParam).
void Perform(HWND dialog, test::BoxAct act) {
    using enum test::BoxAct;
    HWND focus = GetFocus() != nullptr ? GetFocus() : dialog;
    if (act == Enter || act == Escape) {
        PostMessageA(focus, WM_KEYDOWN, act == Enter ? VK_RETURN : VK_ESCAPE, 1);
    } else if (act == CloseBox) {
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else {
        PostMessageA(focus, WM_SYSCHAR, act == LetterO ? 'o' : 'n', 1 | (1 << 29));
    }
}

// Notes the dialog's caption, buttons and icon, then lets `act` answer it.
void WatchDialogs(win32::Win32Backend& backend, SeenDialog& seen, std::function<void(HWND)> act) {
    backend.SetDialogObserver([&seen, act](std::intptr_t handle) {
        HWND dialog = reinterpret_cast<HWND>(handle);
        seen.caption = TextOf(dialog);
        EnumChildWindows(dialog, &CollectChild, reinterpret_cast<LPARAM>(&seen));
        act(dialog);
    });
}

// The boxes every backend answers alike, with the system's own dialogs:
// keys to the focused control, the close box, a button's letter with Alt.
TEST_F(Win32Test, MessageBoxesKeepTheContractOfEveryBackend) {
    Application().SetTitle("T");
    for (const test::BoxContractRow& row : test::BoxContract()) {
        SCOPED_TRACE(row.name);
        SeenDialog seen;
        WatchDialogs(m_backend, seen, [&](HWND dialog) { Perform(dialog, row.act); });
        EXPECT_EQ(MessageDlg("Q", row.type, row.buttons), row.result);
        EXPECT_EQ(seen.buttons, row.buttonTexts);
        EXPECT_EQ(seen.icon, row.type != TMsgDlgType::mtCustom);
        EXPECT_EQ(seen.caption, *row.caption != 0 ? row.caption : "T");
    }
}

TEST_F(Win32Test, InputBoxTakesAtMost255CharactersAndAnnulerGivesNothing) {
    const struct {
        const char* what;
        std::string typed;
        test::BoxAct act;
        std::string result;
    } cases[] = {
        {"typed and Enter", "Secret", test::BoxAct::Enter, "Secret"},
        {"300 typed, 255 kept", std::string(300, 'x'), test::BoxAct::Enter, std::string(255, 'x')},
        {"typed and the close box", "Secret", test::BoxAct::CloseBox, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SeenDialog seen;
        WatchDialogs(m_backend, seen, [&](HWND dialog) {
            for (char ch : c.typed)
                PostMessageA(GetFocus(), WM_CHAR, static_cast<unsigned char>(ch), 1);
            Perform(dialog, c.act);
        });
        EXPECT_EQ(InputBox("Password protection", "Please enter the password :", ""), c.result);
        EXPECT_EQ(seen.caption, "Password protection");
        EXPECT_EQ(seen.buttons, "OK|Annuler");
    }
}

// Runs the message loop until `done` or two seconds have passed.
template <class F>
bool PumpUntil(F done) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > 2000) return false;
        Application().ProcessMessages();
        Sleep(5);
    }
    return true;
}

// The main form is a real window with the framework's font and its controls.
// Timers fire from the message loop, and a halt there unwinds from the window
// procedure back to Run, which ends.
TEST_F(Win32Test, FormIsARealWindowAndAHaltFromItsTimerEndsTheMainLoop) {
    TForm& form = Application().CreateForm<TForm>();
    form.SetCaption("Pagorix 1.0");
    form.SetBorderStyle(TFormBorderStyle::bsSingle);
    form.SetBorderIcons(biSystemMenu);
    form.SetBounds(0, 0, 300, 162);
    form.SetPosition(TPosition::poScreenCenter);
    auto& button = form.CreateOwned<TButton>();
    button.SetParent(&form);
    button.SetCaption("&Cancel");
    button.SetBounds(224, 96, 57, 25);
    int clicks = 0;
    button.SetOnClick([&](TComponent*) { ++clicks; });
    auto& bar = form.CreateOwned<TProgressBar>();
    bar.SetParent(&form);
    bar.SetBounds(8, 72, 273, 17);
    form.Show();
    bar.SetPosition(40);

    HWND window = FindWindowA("PagorixForm", "Pagorix 1.0");
    ASSERT_NE(window, nullptr);
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 300);
    EXPECT_EQ(client.bottom, 162);
    const LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
    EXPECT_TRUE((style & WS_SYSMENU) != 0 && (style & WS_CAPTION) == WS_CAPTION);
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
    EXPECT_TRUE(IsWindowVisible(window));
    // Owned by the application window, so the taskbar button is that one's.
    EXPECT_EQ(reinterpret_cast<std::intptr_t>(GetWindow(window, GW_OWNER)),
              m_backend.ApplicationWindow());

    HWND buttonWindow = FindWindowExA(window, nullptr, "Button", "&Cancel");
    ASSERT_NE(buttonWindow, nullptr);
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(buttonWindow, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");
    EXPECT_EQ(font.lfHeight, -11);

    HWND barWindow = FindWindowExA(window, nullptr, PROGRESS_CLASSA, nullptr);
    ASSERT_NE(barWindow, nullptr);
    EXPECT_EQ(SendMessageA(barWindow, PBM_GETPOS, 0, 0), 40);

    // The parent's WM_COMMAND reaches the button's click event.
    PostMessageA(buttonWindow, BM_CLICK, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return clicks == 1; }));

    m_backend.ShowApplicationWindow(kSwHide);
    EXPECT_FALSE(IsWindowVisible(reinterpret_cast<HWND>(m_backend.ApplicationWindow())));
    m_backend.ShowApplicationWindow(kSwShow);
    EXPECT_TRUE(IsWindowVisible(reinterpret_cast<HWND>(m_backend.ApplicationWindow())));

    auto& timer = form.CreateOwned<TTimer>();
    timer.SetInterval(30);
    int ticks = 0;
    timer.SetOnTimer([&](TComponent*) {
        if (++ticks == 3) Application().Halt();
    });
    Application().Run();
    EXPECT_EQ(ticks, 3);
    EXPECT_TRUE(Application().Halted());
}

// The splash's clip, centred and transparent in the system's animation
// control, whose notifications come back to the control. (Its size without
// centring is the component's own, shown on the headless host.)
TEST_F(Win32Test, AnimationControlPlaysTheClipCentredAndTransparent) {
    TForm form(nullptr);
    form.SetCaption("clip");
    form.SetBounds(0, 0, 300, 162);
    auto& anim = form.CreateOwned<TAnimation>();
    anim.SetParent(&form);
    anim.SetBounds(8, 0, 273, 65);
    int starts = 0;
    anim.SetOnStart([&](TComponent*) { ++starts; });
    form.Show();
    anim.SetAVIFile(PAGORIX_SPLASH_AVI);
    ASSERT_TRUE(anim.ClipOpen());

    HWND window = FindWindowA("PagorixForm", "clip");
    ASSERT_NE(window, nullptr);
    HWND control = GetWindow(window, GW_CHILD);
    ASSERT_NE(control, nullptr);
    const auto controlStyle = static_cast<std::uint32_t>(GetWindowLongPtrA(control, GWL_STYLE));
    EXPECT_EQ(controlStyle & (kAcsCenter | kAcsTransparent), kAcsCenter | kAcsTransparent);

    anim.Play();  // ACN_START comes back through the form's WM_COMMAND
    EXPECT_TRUE(PumpUntil([&] { return starts >= 1; }));
}

TEST_F(Win32Test, StreamStringTableIsAResourceOfTheProgram) {
    HRSRC found = FindResourceA(nullptr, "S_Stream", "S_StringTable");
    ASSERT_NE(found, nullptr);
    const auto* bytes =
        static_cast<const std::uint8_t*>(LockResource(LoadResource(nullptr, found)));
    const std::vector<std::uint8_t> table(bytes, bytes + SizeofResource(nullptr, found));
    const auto expected = StreamTableBytes();
    EXPECT_EQ(table, std::vector<std::uint8_t>(expected.begin(), expected.end()));
    EXPECT_EQ(GetResString("s_stream", 2), "Invalid seek origin (%d)");
}

}  // namespace
}  // namespace pagorix
