// Finds the local links of a book's pages and stylesheets that lead nowhere.
//
// Every .html and .htm file is parsed for its links (see page_links.h), and
// every .css file for its url()s and @imports. A link is local when it names
// no scheme ("https:", "mailto:", "data:") and no host ("//host/"); its
// query and fragment are cut off, its %-escapes decoded, and it is resolved
// against the folder the file will have once the book is unpacked: its own
// folder in a folder book, the one top folder in a flat book (where a link
// into a subfolder therefore leads nowhere). The target must be a file of
// the book, or a folder holding some, with the same letter case (file
// systems outside Windows tell case apart).
#pragma once

#include <string>
#include <vector>

#include "pack/book_folder.h"

namespace pagorix {

struct BrokenLink {
    std::string file;    // the page or stylesheet, relative to the source folder
    std::string link;    // as written
    std::string reason;  // why it leads nowhere
};

// The broken local links of the book's files, in file order, then in the
// order they are written.
std::vector<BrokenLink> CheckLinks(const std::vector<BookFile>& files, bool flat);

// Whether the file is a page whose links are checked (and whose title can be
// read): .html or .htm, in any case.
bool IsHtmlPage(const std::string& relative);

}  // namespace pagorix
