// A real documentation site, made by other people and installed by a Debian
// package, becomes a book whose pages look as they do in the site's own
// folder: the runtime (on the GTK desktop) unpacks it with its folders, and
// headless Chromium, the desktop's browser here, renders the start page and
// a page in a subfolder; both are compared with the same pages rendered from
// the source folder. After the run, nothing is left in the temporary folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "gtk_session.h"
#include "launcher/book_test_support.h"
#include "pack/book_writer.h"
#include "support/private_desktop.h"
#include "support/test_support.h"

namespace pagorix {
namespace {

namespace fs = std::filesystem;

const std::string kStub = PAGORIX_STUB_EXE;
// Python-Markdown's manual (Debian python-markdown-doc): pages at the top
// and in extensions/, their stylesheets in static/.
const std::string kSite = "/usr/share/doc/python-markdown-doc/docs";
const std::string kSubPage = "extensions/index.html";
// Share of pixels that may differ (text antialiasing, the odd scroll bar).
constexpr double kMaxDifferentShare = 0.005;

// The text in single quotes for the shell.
std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Pixels that differ between two pictures of the same size, by more than a
// little in colour.
long DifferentPixels(const std::string& a, const std::string& b, const std::string& log) {
    const std::string command =
        "compare -metric AE -fuzz 3% " + Quoted(a) + " " + Quoted(b) + " null: 2>" + Quoted(log);
    const int status = std::system(command.c_str());
    static_cast<void>(status);  // 1 when they differ at all
    std::istringstream in(test::ReadText(log));
    double pixels = -1;
    in >> pixels;
    return static_cast<long>(pixels);
}

TEST(SiteRender, AFolderBookLooksLikeItsSourceFolder) {
    if (kStub.empty()) GTEST_SKIP() << "this build's runtime is not padded to a book image";
    PAGORIX_NEED_DISPLAY();
    if (!test::HaveProgram("chromium")) GTEST_SKIP() << "chromium is not installed";
    if (!test::HaveProgram("compare")) GTEST_SKIP() << "no ImageMagick";
    if (!fs::exists(kSite + "/index.html")) GTEST_SKIP() << "python-markdown-doc is not installed";
    ASSERT_TRUE(fs::exists(kSite + "/" + kSubPage));

    test::TempDir dir;
    const fs::path shots = PAGORIX_ARTEFACT_DIR;
    fs::create_directories(shots);
    // The browser: the start page it is given and the page in the subfolder
    // beside it, each a picture named after the run. It lasts beyond the
    // runtime's hand-off limit, or the runtime would take it for a browser
    // that handed the page on.
    const std::string browser = dir / "browser";
    test::WriteFile(
        browser,
        "#!/bin/sh\n"
        "start=$(date +%s%N)\n"
        "shoot() {\n"
        "  chromium --headless --no-sandbox --disable-gpu --hide-scrollbars "
        "--window-size=1024,768 --user-data-dir=" +
            dir / "chromium" +
            " --no-first-run --no-default-browser-check --disable-background-networking "
            "--disable-component-update --disable-sync --disable-extensions "
            "--screenshot=\"$2\" \"$1\" >/dev/null 2>&1\n"
            "}\n"
            "shoot \"$1\" " +
            (shots / "site-$2-start.png").string() +
            "\n"
            "shoot \"$(dirname \"$1\")/" +
            kSubPage + "\" " + (shots / "site-$2-subfolder.png").string() +
            "\n"
            "while [ $(( ($(date +%s%N) - start) / 1000000 )) -lt 5500 ]; do sleep 0.2; done\n");
    fs::permissions(browser, fs::perms::owner_all);
    for (const char* run : {"book", "source"}) {
        for (const char* page : {"start", "subfolder"})
            fs::remove(shots / (std::string("site-") + run + "-" + page + ".png"));
    }

    PackRequest request;
    request.sourceDir = kSite;
    request.output = dir / "book";
    request.stub = kStub;
    request.level = 1;
    const PackStats stats = PackBook(request);
    EXPECT_EQ(stats.startPage, "index.html");

    const test::PrivateDesktop desktop(dir / "desktop", browser + " %f book");
    fs::create_directories(dir / "tmp");
    std::string environment = "env -i";
    for (auto [name, value] : desktop.Environment()) {
        if (name == "TMPDIR") continue;
        environment += " " + Quoted(name + "=" + value);
    }
    environment += " " + Quoted("TMPDIR=" + (dir / "tmp"));
    const std::string book = environment + " timeout 120 " + Quoted(request.output) +
                             " </dev/null >" + Quoted(dir / "log") + " 2>&1";
    EXPECT_EQ(std::system(book.c_str()), 0) << test::ReadText(dir / "log");
    EXPECT_EQ(test::ListTree(dir / "tmp"), std::vector<std::string>{});

    const std::string source = browser + " " + Quoted(kSite + "/index.html") + " source";
    ASSERT_EQ(std::system(source.c_str()), 0);
    for (const char* page : {"start", "subfolder"}) {
        const std::string fromBook = shots / (std::string("site-book-") + page + ".png");
        const std::string fromSource = shots / (std::string("site-source-") + page + ".png");
        ASSERT_TRUE(fs::exists(fromBook)) << page << ": no picture from the book\n"
                                          << test::ReadText(dir / "log");
        ASSERT_TRUE(fs::exists(fromSource)) << page;
        EXPECT_LE(DifferentPixels(fromBook, fromSource, dir / "compare.log"),
                  static_cast<long>(1024 * 768 * kMaxDifferentShare))
            << page << ": " << test::ReadText(dir / "compare.log");
    }
}

}  // namespace
}  // namespace pagorix
