// Writes the book manifest "PAGORIX.KBM" from the author's settings.
//
// The texts come in UTF-8 and leave in Windows-1252, one per line, lines
// ended with CR LF, in the order the runtime reads them by index. Every text
// is checked before anything is written: one that Windows-1252 cannot hold,
// one that holds a line break or a NUL, one that is exactly the sentinel, or
// one longer than the runtime reads would change what the book does, so it is
// refused with EPackError naming the setting and the character.
#pragma once

#include <string>
#include <string_view>

#include "book/book_format.h"
#include "pack/pack_error.h"

namespace pagorix {

// The status line the splash window shows while a book is unpacked, unless
// the author gives another.
inline constexpr const char* kDefaultStatusText = "Loading, please wait...";

struct BookManifest {
    std::string producer;      // line 0: the tool's name and version
    std::string title;         // line 1
    std::string introduction;  // line 2; empty for none
    std::string startPage;     // line 3: the page's path in the unpacked book, "/" between folders
    std::string status = kDefaultStatusText;         // line 4
    std::string password;                            // line 5; empty for none
    std::string closing;                             // line 6; empty for none
    bool folders = false;                            // line 7: kFoldersMark first
    std::string built;                               // line 7: when the book was made
    ManifestWindow window = ManifestWindow::Normal;  // line 8
};

// The manifest's bytes. Raises EPackError for a text the book cannot carry.
std::string WriteManifest(const BookManifest& manifest);

// Converts one UTF-8 text into Windows-1252 for the book. `what` names the
// text in the message of the EPackError raised for a character that
// Windows-1252 cannot hold or for bytes that are not UTF-8.
std::string ToBookText(std::string_view utf8, std::string_view what);

}  // namespace pagorix
