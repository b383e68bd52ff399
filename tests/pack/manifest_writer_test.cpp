#include "pack/manifest_writer.h"

#include <gtest/gtest.h>

#include <functional>

#include "framework/memo_text.h"

namespace pagorix {
namespace {

BookManifest EveryOption() {
    BookManifest m;
    m.producer = "pagorix-pack 1.0.0";
    m.title = "Caf\u00E9 guide";
    m.introduction = "Read on?";
    m.startPage = "index.html";
    m.status = "Opening\u2026";
    m.password = "s3cret";
    m.closing = "Au revoir \u20AC";
    m.built = "2026-12-06";
    m.window = ManifestWindow::Maximized;
    return m;
}

BookManifest NoOption() {
    BookManifest m;
    m.producer = "pagorix-pack 1.0.0";
    m.title = "Book";
    m.startPage = "index.html";
    m.built = "2026-12-06";
    return m;
}

TEST(ManifestWriter, KnownBytes) {
    const struct {
        BookManifest manifest;
        std::string bytes;
    } cases[] = {
        {EveryOption(),
         "pagorix-pack 1.0.0\r\n"  // 0: the tool
         "Caf\xE9 guide\r\n"       // 1: title, e acute in Windows-1252
         "Read on?\r\n"            // 2: introduction
         "index.html\r\n"          // 3: start page
         "Opening\x85\r\n"         // 4: status, the ellipsis is 0x85
         "s3cret\r\n"              // 5: password
         "Au revoir \x80\r\n"      // 6: closing, the euro sign is 0x80
         "2026-12-06\r\n"          // 7: build date
         "3\r\n"},                 // 8: maximised
        {NoOption(),
         "pagorix-pack 1.0.0\r\n"
         "Book\r\n"
         "\xA7\r\n"  // no introduction
         "index.html\r\n"
         "Loading, please wait...\r\n"
         "\xA7\r\n"  // no password
         "\xA7\r\n"  // no closing message
         "2026-12-06\r\n"
         "1\r\n"},  // normal window
    };
    for (const auto& c : cases)
        EXPECT_EQ(WriteManifest(c.manifest), c.bytes);
}

TEST(ManifestWriter, RefusesTextsThatWouldChangeTheManifest) {
    const std::string longest(kMemoLineLimit, 'x');
    const struct {
        std::function<void(BookManifest&)> set;
        std::string message;
    } cases[] = {
        {[](BookManifest& m) { m.title = "one\ntwo"; },
         "the title holds a line break, which would split its line in the manifest"},
        {[](BookManifest& m) { m.status = "one\rtwo"; }, "the status text holds a line break"},
        {[](BookManifest& m) { m.introduction = std::string("a\0b", 3); },
         "the introduction holds a NUL character, which would end the manifest"},
        {[](BookManifest& m) { m.closing = "\u00A7"; },
         "the closing message is exactly \"\u00A7\", which a book reads as \"none\""},
        {[](BookManifest& m) { m.title = "\u00A7"; }, "the title is exactly \"\u00A7\""},
        {[](BookManifest& m) { m.title = "Greek \u03A9"; },
         "the title holds \"\u03A9\" (U+03A9), which Windows-1252 cannot hold"},
        {[](BookManifest& m) { m.closing = "Bye \U0001F600"; },
         "the closing message holds \"\U0001F600\" (U+1F600)"},
        {[](BookManifest& m) { m.password = "ab\xFF"; },
         "the password is not valid UTF-8 (byte 0xFF)"},
        {[&](BookManifest& m) { m.password = longest + "y"; },
         "the password is 4097 characters long; a book reads at most 4096"},
        {[](BookManifest& m) { m.startPage = "caf\u00E9\n.html"; },
         "the start page holds a line break"},
    };
    for (const auto& c : cases) {
        BookManifest m = NoOption();
        c.set(m);
        try {
            WriteManifest(m);
            ADD_FAILURE() << "accepted: " << c.message;
        } catch (const EPackError& e) {
            EXPECT_EQ(std::string(e.what()).substr(0, c.message.size()), c.message);
        }
    }
}

TEST(ManifestWriter, AcceptsTextsThatOnlyLookSpecial) {
    BookManifest m = NoOption();
    m.introduction = "\u00A7 ";  // not the sentinel: a blank follows
    m.password = std::string(kMaxPasswordLength - 1, 'x') + "\u00E9";  // as long as the box takes
    m.closing =
        std::string(kMemoLineLimit, 'x').replace(0, 1, "\u00E9");  // counted in Windows-1252
    const std::string bytes = WriteManifest(m);
    TMemoLines lines;
    lines.SetText(bytes);
    EXPECT_EQ(lines.Line(kLineIntroduction), "\xA7 ");
    EXPECT_EQ(lines.Line(kLinePassword).size(), kMaxPasswordLength);
    EXPECT_EQ(lines.Line(kLineClosing).substr(0, 2), "\xE9x");
}

}  // namespace
}  // namespace pagorix
