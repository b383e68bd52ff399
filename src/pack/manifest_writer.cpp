#include "pack/manifest_writer.h"

#include <cstdio>

#include "framework/memo_text.h"
#include "framework/sysutils.h"

namespace pagorix {

namespace {

constexpr const char* kLineBreak = "\r\n";

// "U+20AC" for the code point of one UTF-8 character.
std::string CodePointOf(std::string_view utf8) {
    const auto lead = static_cast<unsigned char>(utf8[0]);
    char32_t cp = utf8.size() == 2 ? lead & 0x1F : utf8.size() == 3 ? lead & 0x0F : lead & 0x07;
    for (size_t i = 1; i < utf8.size(); ++i) {
        cp = (cp << 6) | (static_cast<unsigned char>(utf8[i]) & 0x3F);
    }
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(cp));
    return buffer;
}

// Checks and converts one manifest line.
std::string ManifestText(std::string_view utf8, std::string_view what) {
    const std::string name(what);
    if (utf8.find_first_of("\r\n") != std::string_view::npos) {
        throw EPackError("the " + name +
                         " holds a line break, which would split its line in the manifest");
    }
    if (utf8.find('\0') != std::string_view::npos) {
        throw EPackError("the " + name + " holds a NUL character, which would end the manifest");
    }
    std::string text = ToBookText(utf8, what);
    if (text == kManifestSentinel) {
        throw EPackError("the " + name +
                         " is exactly \"\xC2\xA7\", which a book reads as \"none\"");
    }
    if (text.size() > kMemoLineLimit) {
        throw EPackError("the " + name + " is " + std::to_string(text.size()) +
                         " characters long; a book reads at most " +
                         std::to_string(kMemoLineLimit));
    }
    return text;
}

// An optional line: the sentinel when the text is empty.
std::string OptionalText(std::string_view utf8, std::string_view what) {
    return utf8.empty() ? std::string(kManifestSentinel) : ManifestText(utf8, what);
}

// The password must fit the runtime's password box, or nobody could type it.
std::string Password(std::string_view utf8) {
    std::string text = OptionalText(utf8, "password");
    if (!utf8.empty() && text.size() > kMaxPasswordLength) {
        throw EPackError("the password is " + std::to_string(text.size()) +
                         " characters long; the book's password box takes at most " +
                         std::to_string(kMaxPasswordLength));
    }
    return text;
}

// Line 7: the date the book was made, after the folder book's mark.
std::string BookKindLine(const BookManifest& manifest) {
    if (!manifest.folders) return manifest.built;
    return manifest.built.empty() ? std::string(kFoldersMark)
                                  : std::string(kFoldersMark) + " " + manifest.built;
}

const char* WindowCode(ManifestWindow window) {
    switch (window) {
        case ManifestWindow::Normal:
            return "1";
        case ManifestWindow::Minimized:
            return "2";
        case ManifestWindow::Maximized:
            break;
    }
    return "3";  // the runtime maximises for every text other than "1" and "2"
}

}  // namespace

std::string ToBookText(std::string_view utf8, std::string_view what) {
    Cp1252Result converted = Utf8ToCp1252(utf8);
    if (converted.ok) return std::move(converted.text);
    const std::string& bad = converted.offending;
    if (bad.size() == 1) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(bad[0]));
        throw EPackError("the " + std::string(what) + " is not valid UTF-8 (byte " + hex + ")");
    }
    throw EPackError("the " + std::string(what) + " holds \"" + bad + "\" (" + CodePointOf(bad) +
                     "), which Windows-1252 cannot hold");
}

std::string WriteManifest(const BookManifest& manifest) {
    // Every line is checked before any is kept, so a refusal names the first
    // bad setting in line order.
    const std::string lines[] = {
        ManifestText(manifest.producer, "tool name"),
        ManifestText(manifest.title, "title"),
        OptionalText(manifest.introduction, "introduction"),
        ManifestText(manifest.startPage, "start page"),
        ManifestText(manifest.status, "status text"),
        Password(manifest.password),
        OptionalText(manifest.closing, "closing message"),
        ManifestText(BookKindLine(manifest), "build date"),
        WindowCode(manifest.window),
    };
    static_assert(kLineTitle == 1 && kLineIntroduction == 2 && kLineStartPage == 3 &&
                  kLineStatus == 4 && kLinePassword == 5 && kLineClosing == 6 &&
                  kLineBookKind == 7 && kLineWindowStyle == 8);
    std::string out;
    for (const std::string& line : lines) {
        out += line;
        out += kLineBreak;
    }
    return out;
}

}  // namespace pagorix
