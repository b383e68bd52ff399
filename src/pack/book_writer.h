// Makes a book: the runtime image followed by the payload archive.
//
// Everything that can be checked is checked before the first byte is
// written: the source folder, the output's place (never inside the source
// folder), every file name, the local links of the pages (broken ones are
// warnings, or errors when asked), the manifest's texts, the start page and
// the runtime image's size. The files are then deflated on every core, each
// once, into temporary files; libzip writes the archive from them in the
// book's order into a temporary file beside the output (it copies and
// encrypts the deflated data, and reads the stored files itself). The
// runtime and the archive are joined into a second temporary file, and that
// one is renamed to the output at the very end, so a failure never leaves
// half a book under the output's name.
// All the temporary files are removed on every path out.
//
// A book keeps the folders of its source folder and says so in manifest
// line 7, unless a flat book is asked for. With no start page given, the
// book opens index.html (or index.htm) at the top; with no title, it takes
// the start page's <title>, else the source folder's name.
//
// Entries: the manifest first, then the book's files by name, each deflated
// at the requested level unless deflating would not make it smaller, and
// each encrypted with the traditional ZIP encryption under kArchivePassword.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "pack/book_folder.h"
#include "pack/link_check.h"
#include "pack/manifest_writer.h"

namespace pagorix {

inline constexpr int kDefaultPackLevel = 6;

struct PackRequest {
    std::string sourceDir;
    std::string output;
    std::string stub;  // the runtime image: exactly PayloadOffset bytes
    // startPage names the page relative to sourceDir (empty: the index
    // page); the manifest gets the path it will have in the unpacked book.
    // An empty title is read from the start page. manifest.folders is set
    // from scan.flat.
    BookManifest manifest;
    int level = kDefaultPackLevel;  // 1 to 9 deflates; 0 stores every file
    ScanOptions scan;
    bool strictLinks = false;  // a broken link fails the book
};

struct PackStats {
    std::size_t files = 0;       // the book's files, the manifest not counted
    std::uint64_t bytes = 0;     // their total size
    std::uint64_t bookSize = 0;  // the size of the book written, when done
    std::size_t leftOut = 0;     // files left out as hidden or excluded
    std::vector<BrokenLink> brokenLinks;
    std::string title;      // as the book shows it (UTF-8)
    std::string startPage;  // the start page, relative to the source folder
};

// Called now and then with the share of the work done, from 0 to 1.
using PackProgress = std::function<void(const PackStats& stats, double fraction)>;

// Raises EPackError, naming the file, when the book cannot be made; the
// output is then left as it was. Broken links in strict mode are one error
// listing them all, one per line.
PackStats PackBook(const PackRequest& request, const PackProgress& progress = {});

// One broken link as the tool reports it: the file, the link, the reason.
std::string DescribeBrokenLink(const BrokenLink& link);

}  // namespace pagorix
