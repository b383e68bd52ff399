#include "pack/manifest_writer.h"

#include <gtest/gtest.h>

#include <functional>

#include "framework/memo_text.h"

namespace pagorix {
namespace {

BookManifest NoOption() {
    BookManifest m;
    m.producer = "pagorix-pack 1.0.0";
    m.title = "Book";
    m.startPage = "index.html";
    m.built = "2026-12-06";
    return m;
}

// Every option, with texts that only look special or are as long as they
// may be. (A book without options is the pack tool's first command line.)
TEST(ManifestWriter, KnownBytes) {
    BookManifest m = NoOption();
    m.title = "Caf\u00E9 guide";
    m.introduction = "\u00A7 Read on? \u20AC";  // not the "none" sign: more follows
    m.status = "Opening\u2026";
    m.password = std::string(kMaxPasswordLength - 1, 'x') + "\u00E9";  // what the box takes
    m.closing = "\u00E9" + std::string(kMemoLineLimit - 1, 'x');       // counted in Windows-1252
    m.window = ManifestWindow::Maximized;
    EXPECT_EQ(WriteManifest(m),
              "pagorix-pack 1.0.0\r\n"  // 0: the tool
              "Caf\xE9 guide\r\n"       // 1: title, e acute in Windows-1252
              "\xA7 Read on? \x80\r\n"  // 2: introduction, the euro sign is 0x80
              "index.html\r\n"          // 3: start page
              "Opening\x85\r\n" +       // 4: status, the ellipsis is 0x85
                  std::string(254, 'x') +
                  "\xE9\r\n" +                                // 5: password
                  "\xE9" + std::string(4095, 'x') + "\r\n" +  // 6: closing
                  "2026-12-06\r\n"                            // 7: build date
                  "3\r\n");                                   // 8: maximised
}

TEST(ManifestWriter, RefusesTextsThatWouldChangeTheManifest) {
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
        {[](BookManifest& m) { m.closing = "Bye \U0001F600"; },
         "the closing message holds \"\U0001F600\" (U+1F600)"},
        {[](BookManifest& m) { m.password = "ab\xFF"; },
         "the password is not valid UTF-8 (byte 0xFF)"},
        {[](BookManifest& m) { m.password = std::string(kMemoLineLimit + 1, 'x'); },
         "the password is 4097 characters long; a book reads at most 4096"},
        {[](BookManifest& m) { m.password = std::string(kMaxPasswordLength + 1, 'x'); },
         "the password is 256 characters long; the book's password box takes at most 255"},
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

}  // namespace
}  // namespace pagorix
