// The splash window as the book runtime shows it, photographed twice under
// Xvfb while its clip plays. The pictures stay in the build tree
// (tests/gtk_artefacts) for people to look at; the test checks that they
// show a window and that the clip moved between them.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "framework/application.h"
#include "framework/controls.h"
#include "framework/form.h"
#include "gtk_session.h"
#include "splash/animation.h"

namespace pagorix {
namespace {

// The output of a shell command, or "" when it fails.
std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe) != nullptr)
            out += buffer;
        pclose(pipe);
    }
    return out;
}

TEST(SplashScreenshot, TheClipPlaysInTheSplashWindow) {
    PAGORIX_NEED_DISPLAY();
    if (!test::HaveProgram("import") || !test::HaveProgram("compare"))
        GTEST_SKIP() << "no ImageMagick";
    Application().ResetState();
    TForm form(nullptr);
    form.SetName("fhtml");
    form.SetCaption("A Book About Books");
    form.SetBorderStyle(TFormBorderStyle::bsSingle);
    form.SetBorderIcons(biSystemMenu);
    form.SetPosition(TPosition::poScreenCenter);
    form.SetBounds(0, 0, 300, 162);
    auto& texte = form.CreateOwned<TLabel>();
    texte.SetParent(&form);
    texte.SetAutoSize(false);
    texte.SetWordWrap(true);
    texte.SetBounds(8, 96, 209, 33);
    texte.SetCaption("Loading, please wait...");
    auto& fich = form.CreateOwned<TMemo>();
    fich.SetParent(&form);
    fich.SetWordWrap(false);
    fich.SetBounds(48, 8, 169, 41);
    fich.Lines().Add("index.html");
    auto& jauge = form.CreateOwned<TProgressBar>();
    jauge.SetParent(&form);
    jauge.SetBounds(8, 72, 273, 17);
    jauge.SetPosition(40);
    auto& anim = form.CreateOwned<TAnimation>();
    anim.SetParent(&form);
    anim.SetBounds(8, 0, 273, 65);
    auto& bcancel = form.CreateOwned<TButton>();
    bcancel.SetParent(&form);
    bcancel.SetCaption("&Cancel");
    bcancel.SetBounds(224, 96, 57, 25);
    form.Show();
    anim.SetAVIFile(PAGORIX_SPLASH_AVI);
    anim.Play();

    const std::filesystem::path dir = PAGORIX_ARTEFACT_DIR;
    std::filesystem::create_directories(dir);
    const std::string first = (dir / "splash-1.png").string();
    const std::string second = (dir / "splash-2.png").string();
    test::PumpFor(700);
    ASSERT_TRUE(anim.Playing());
    Shell("import -window root '" + first + "'");
    test::PumpFor(450);
    Shell("import -window root '" + second + "'");
    ASSERT_TRUE(std::filesystem::exists(first));
    ASSERT_TRUE(std::filesystem::exists(second));
    // A window with text, a bar and a picture has many colours; a blank screen one.
    const int colours = std::atoi(Shell("identify -format %k '" + first + "'").c_str());
    EXPECT_GT(colours, 10);
    // The pages turn: pixels inside the clip's area differ between the two.
    const std::string differing =
        Shell("compare -metric AE '" + first + "' '" + second + "' null: 2>&1");
    EXPECT_GT(std::atoi(differing.c_str()), 100) << differing;
    Application().ResetState();
}

}  // namespace
}  // namespace pagorix
