// What the tool makes of a real site: which files go in, which links it
// finds and which of them lead nowhere.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "pack/book_folder.h"
#include "pack/book_writer.h"
#include "pack/link_check.h"
#include "pack/page_links.h"
#include "pack_test_support.h"

namespace pagorix {
namespace {

using Strings = std::vector<std::string>;

using test::B;

Strings Stored(const std::vector<BookFile>& files) {
    Strings names;
    for (const BookFile& file : files)
        names.push_back(file.storedName);
    return names;
}

// A repository beside the pages, the Finder's and Explorer's files and a
// site host's marker are left out, and whatever an exclude pattern matches.
// Sites installed by packages link shared folders in (fonts, scripts): the
// links are followed, unless one leads to a folder that holds it.
TEST(Site, WhatGoesInAndWhatIsLeftOut) {
    test::TempDir dir;
    for (const char* name : {".git/HEAD", ".DS_Store", ".nojekyll", "img/Desktop.ini",
                             "img/Thumbs.db", "img/a.png", "index.html", "notes/a.md", "old/x.bak"})
        test::WriteTree(dir / "site", {{name, {}}});
    test::WriteTree(dir / "shared", {{"fonts/a.woff", {}}});
    std::filesystem::create_directory_symlink("../shared/fonts", dir / "site/fonts");
    const struct {
        ScanOptions options;
        Strings names;
        std::size_t leftOut;
    } cases[] = {
        {{}, {"fonts/a.woff", "img/a.png", "index.html", "notes/a.md", "old/x.bak"}, 5},
        {{false, true, {}},
         {".DS_Store", ".git/HEAD", ".nojekyll", "fonts/a.woff", "img/Desktop.ini", "img/Thumbs.db",
          "img/a.png", "index.html", "notes/a.md", "old/x.bak"},
         0},
        {{false, false, {"*.bak", "notes/", "**/a.*"}}, {"index.html"}, 5 + 4},
    };
    for (const auto& c : cases) {
        const BookFolder folder = ScanBookFolder(dir / "site", c.options);
        EXPECT_EQ(Stored(folder.files), c.names);
        EXPECT_EQ(folder.leftOut, c.leftOut);
    }
    std::filesystem::create_directory_symlink("..", dir / "site/up");
    EXPECT_THROW(ScanBookFolder(dir / "site"), EPackError);
}

TEST(Site, ExcludePatterns) {
    const struct {
        const char* pattern;
        const char* path;
        bool matches;
    } cases[] = {
        {"*.md", "c.md.gz", false},
        {"c?.txt", "c12.txt", false},
        {"[ab]*.css", "b.css", true},
        {"[!ab]*.css", "b.css", false},
        {"docs/*.html", "docs/a.html", true},
        {"docs/*.html", "docs/x/a.html", false},
        {"docs/**.html", "docs/x/a.html", true},
        {"./build/", "build/out/a", true},
        {"build", "src/build", true},
        {"src/build", "build", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchesExclude(c.pattern, c.path), c.matches) << c.pattern << " " << c.path;
}

TEST(Site, LinksOfPagesAndStylesheets) {
    const Strings pageLinks = HtmlLinks(R"html(<!DOCTYPE html><html><head>
        <base href="https://example.org/">
        <link rel=stylesheet href="css/a.css?v=2">
        <style>/* url(comment.png) */ body { background: URL( 'bg.png' ) }</style>
        </head><body>
        <a href="p&amp;q.html#top">x</a> <!-- <a href="commented.html"> -->
        <img src=a.png srcset="a-1x.png 1x, a,2x.png 2x,b.png">
        <video poster="v.jpg"><source src="v.webm"></video>
        <object data="o.svg"></object>
        <p style="background-image:url(&quot;p.png&quot;)">
        <script>var s = '<a href="script.html">';</script>
        </body></html>)html");
    EXPECT_EQ(pageLinks, (Strings{"css/a.css?v=2", "bg.png", "p&q.html#top", "a.png", "a-1x.png",
                                  "a,2x.png", "b.png", "v.jpg", "v.webm", "o.svg", "p.png"}));
    const Strings cssLinks = CssLinks(R"css(@import "base.css"; @IMPORT url(print.css) print;
        .a { background: url(img/a\ b.png) } .b::after { content: "url(not.png)" }
        @font-face { src: url("f.woff2") format("woff2"), url('f.woff') }
        /* @import "gone.css"; */ .c { background: no-url(x.png) })css");
    EXPECT_EQ(cssLinks, (Strings{"base.css", "print.css", "img/a\\ b.png", "f.woff2", "f.woff"}));
    EXPECT_EQ(HtmlTitle("<title>\n  The   Book &amp; Co\t</title><svg><title>no</title></svg>"),
              "The Book & Co");
    EXPECT_EQ(HtmlTitle("<p>no title"), "");
}

TEST(Site, BrokenLinksInFolderAndFlatBooks) {
    test::TempDir dir;
    test::WriteTree(
        dir / "site",
        {{"index.html",
          B("<link href='css/site.css' rel=stylesheet><a href='doc/ch%201.html#s'>1</a>"
            "<a href='missing.html'>m</a><a href='https://example.org/x'>e</a>"
            "<a href='mailto:a@b'>a</a><a href='#top'>t</a><a href='/etc/passwd'>r</a>"
            "<a href='../outside.html'>o</a><a href='Doc/CH 1.html'>c</a><a href='doc/'>d</a>")},
         {"css/site.css", B("body { background: url(../img/bg.png) } @import 'gone.css';")},
         {"img/bg.png", {}},
         {"doc/ch 1.html", B("<a href='../index.html'>up</a><img src=pic.png>")},
         {"doc/pic.png", {}}});
    const std::vector<BookFile> files = ScanBookFolder(dir / "site").files;
    const auto Lines = [](const std::vector<BrokenLink>& links) {
        Strings lines;
        for (const BrokenLink& link : links)
            lines.push_back(DescribeBrokenLink(link));
        return lines;
    };
    EXPECT_EQ(
        Lines(CheckLinks(files, false)),
        (Strings{
            R"(css/site.css: "gone.css" leads to nothing in the book)",
            R"(index.html: "missing.html" leads to nothing in the book)",
            R"(index.html: "/etc/passwd" leads out of the book (a path from the top of a disk))",
            R"(index.html: "../outside.html" leads out of the book)",
            R"(index.html: "Doc/CH 1.html" leads to "doc/ch 1.html" only where letter case does not count (Windows): the names differ in case)",
        }));
    // Unpacked flat, every link into a folder breaks, and so do the ones
    // that climb out of one.
    EXPECT_EQ(
        Lines(CheckLinks(files, true)),
        (Strings{
            R"(css/site.css: "../img/bg.png" leads out of the book)",
            R"(css/site.css: "gone.css" leads to nothing in the book)",
            R"(doc/ch 1.html: "../index.html" leads out of the book)",
            R"(index.html: "css/site.css" leads into the folder "css", and a flat book has no folders)",
            R"(index.html: "doc/ch%201.html#s" leads into the folder "doc", and a flat book has no folders)",
            R"(index.html: "missing.html" leads to nothing in the book)",
            R"(index.html: "/etc/passwd" leads out of the book (a path from the top of a disk))",
            R"(index.html: "../outside.html" leads out of the book)",
            R"(index.html: "Doc/CH 1.html" leads to nothing in the book)",
            R"(index.html: "doc/" leads to nothing in the book)",
        }));
}

}  // namespace
}  // namespace pagorix
