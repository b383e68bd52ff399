// A splash form built like the launcher's, run through the main loop on the
// headless backend: the whole visible sequence in order.
#include <gtest/gtest.h>

#include "framework/form.h"
#include "framework/headless_fixture.h"
#include "splash/animation.h"
#include "splash/hide_app_btn.h"
#include "splash/resolution_fix.h"
#include "splash/splash_components.h"
#include "support/test_support.h"

namespace pagorix {
namespace {

using headless::ScriptAction;
using Lines = std::vector<std::string>;
using V = TStoredValue;

struct SplashForm : TForm {
    SplashForm(TComponent* owner, std::string clip) : TForm(owner), m_clip(std::move(clip)) {
        RegisterSplashComponents();
        DefineMethod("FormShow", TNotifyEvent([this](TComponent*) { FormShow(); }));
        DefineMethod("ticTimer", TNotifyEvent([this](TComponent*) { ticTimer(); }));
        DefineMethod("bcancelClick", TNotifyEvent([this](TComponent*) { bcancelClick(); }));
        ReadDescription({"Tfhtml",
                         "fhtml",
                         {{"Caption", V::Str("Pagorix 1.0")},
                          {"ClientWidth", V::Int(300)},
                          {"ClientHeight", V::Int(162)},
                          {"Position", V::Ident("poScreenCenter")},
                          {"PixelsPerInch", V::Int(96)},
                          {"OnShow", V::Ident("FormShow")}},
                         {{"TLabel",
                           "texte",
                           {{"Left", V::Int(8)},
                            {"Top", V::Int(96)},
                            {"Width", V::Int(209)},
                            {"Height", V::Int(33)},
                            {"Caption", V::Str("Initializing the data... Please wait...")}},
                           {}},
                          {"TProgressBar", "jauge", {{"Min", V::Int(0)}, {"Max", V::Int(100)}}, {}},
                          {"TAnimation",
                           "anim",
                           {{"Left", V::Int(8)},
                            {"Width", V::Int(273)},
                            {"Height", V::Int(65)},
                            {"Center", V::Bool(true)},
                            {"Transparent", V::Bool(true)}},
                           {}},
                          {"TButton",
                           "bcancel",
                           {{"Caption", V::Str("&Cancel")}, {"OnClick", V::Ident("bcancelClick")}},
                           {}},
                          {"TResolutionFix", "res", {{"DesignRes", V::Int(96)}}, {}},
                          {"TTimer",
                           "tic",
                           {{"Enabled", V::Bool(false)},
                            {"Interval", V::Int(300)},
                            {"OnTimer", V::Ident("ticTimer")}},
                           {}},
                          {"THideAppBtn", "app", {}, {}}}});
    }

    void FormShow() {
        auto& anim = FindAs<TAnimation>("anim");
        anim.SetAVIFile(m_clip);
        const int d = Screen().PixelsPerInch();
        SetBounds(Left(), Top(), d * 300 / 96, d * 162 / 96);
        SetPixelsPerInch(d);
        auto& res = FindAs<TResolutionFix>("res");
        res.SetDesignRes(PixelsPerInch());
        res.Apply();
        SetCaption("My book");
        FindAs<TLabel>("texte").SetCaption("Opening...");
        anim.Play();
        FindAs<TTimer>("tic").SetEnabled(true);
    }
    void ticTimer() {
        FindAs<TTimer>("tic").SetEnabled(false);
        for (int p = 25; p <= 100; p += 25) {
            FindAs<TProgressBar>("jauge").SetPosition(p);
            Application().ProcessMessages();
            if (cancelled) throw Exception("User Aborted Operation");
        }
        FindAs<TAnimation>("anim").Stop();
        Hide();
        FindAs<THideAppBtn>("app").SetAppVisible(false);
        Application().Terminate();
    }
    void bcancelClick() {
        cancelled = true;
        Application().Terminate();
    }

    bool cancelled = false;
    std::string m_clip;
};

class SplashFormRun : public test::HeadlessTest {
protected:
    std::string Clip() const { return test::TestDataDir() + "/../../assets/splash.avi"; }
};

TEST_F(SplashFormRun, NormalRunAt120Dpi) {
    if (!test::Exists(Clip())) GTEST_SKIP() << "the project's splash clip is not there yet";
    hb.SetScreen(120, 1024, 768);
    Application().SetTitle("Pagorix 1.0");
    Application().CreateForm<SplashForm>(Clip());
    Application().Run();
    const std::string open = "anim anim ACM_OPEN 0 \"" + Clip() + "\" -> 1";
    EXPECT_EQ(hb.Transcript(),
              (Lines{"title \"Pagorix 1.0\"",
                     // loading: the animation opens its empty clip name,
                     // which makes the form's windows (still hidden)
                     "label texte \"Initializing the data... Please wait...\"",
                     "anim anim ACM_OPEN 0 null -> 0", "taskbar shown",
                     // the show event, then the window
                     open, "anim anim ACM_PLAY 1 0x00000000", "anim anim ACN_START",
                     "label texte \"Opening...\"", "anim anim ACM_PLAY -1 0xFFFF0000",
                     "anim anim ACN_START", "window fhtml shown \"My book\" 375x202",
                     "progress jauge 25", "progress jauge 50", "progress jauge 75",
                     "progress jauge 100", "anim anim ACM_STOP 0 0x00000000", "anim anim ACN_STOP",
                     "anim anim ACM_PLAY 1 0x00000000", "anim anim ACN_START",
                     "window fhtml hidden", "taskbar hidden", "quit requested"}));
    EXPECT_EQ(hb.Now(), 300u);
}

TEST_F(SplashFormRun, CancelDuringTheWork) {
    if (!test::Exists(Clip())) GTEST_SKIP() << "the project's splash clip is not there yet";
    Application().SetTitle("Pagorix 1.0");
    Application().CreateForm<SplashForm>(Clip());
    hb.WhenProgressReaches("jauge", 50, ScriptAction::Press("bcancel"));
    hb.Answer("exception", "User Aborted Operation.", "OK");
    Application().Run();
    EXPECT_EQ(hb.TranscriptOf("progress"), (Lines{"progress jauge 25", "progress jauge 50"}));
    const Lines& t = hb.Transcript();
    const Lines tail(t.end() - 3, t.end());
    EXPECT_EQ(tail, (Lines{"press bcancel", "quit requested",
                           "box exception \"Pagorix 1.0\" stop \"User Aborted Operation.\" [OK] "
                           "-> OK"}));
}

TEST_F(SplashFormRun, CancelInThePauseMeansTheTimerNeverFires) {
    if (!test::Exists(Clip())) GTEST_SKIP() << "the project's splash clip is not there yet";
    Application().CreateForm<SplashForm>(Clip());
    hb.WhenTimerArmed("tic", ScriptAction::Press("bcancel"));
    Application().Run();
    EXPECT_TRUE(hb.TranscriptOf("progress").empty());
    EXPECT_EQ(hb.Now(), 0u);
    EXPECT_EQ(hb.Transcript().back(), "quit requested");
}

}  // namespace
}  // namespace pagorix
