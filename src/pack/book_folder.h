// The files of a book's source folder, as the archive will store them.
//
// Every regular file under the folder becomes one entry named by its path
// relative to the folder, with "/" between folders, in Windows-1252. Hidden
// files and folders (a name starting with a dot), the desktop's own files
// (Thumbs.db, desktop.ini) and whatever an --exclude pattern matches are
// left out before anything else is looked at.
//
// A folder book (the default) is unpacked with its folders, so its names are
// checked as paths: no two may be one path on a case-insensitive Windows
// file system (nor a file and a folder), and no file may take a name the
// runtime keeps for itself. A flat book is unpacked into one folder,
// so the checks are made on the flat name (the part after the last "/"). In
// both, every part of a name must be a name that Windows can create. All the
// clashes are reported in one error, one line each.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pagorix {

struct BookFile {
    std::string path;        // the file on this host
    std::string relative;    // relative to the folder, "/"-separated, UTF-8
    std::string storedName;  // the entry's name in the archive, Windows-1252
    std::uint64_t size = 0;
};

struct ScanOptions {
    bool flat = false;                  // every file unpacked into one folder
    bool includeHidden = false;         // keep dot files and folders, Thumbs.db, desktop.ini
    std::vector<std::string> excludes;  // glob patterns over relative paths (UTF-8)
};

struct BookFolder {
    std::vector<BookFile> files;  // ordered by stored name
    std::size_t leftOut = 0;      // files left out as hidden or excluded
};

// Lists the files under `folder` (recursively) that go into the book.
// Raises EPackError naming the files for names the book cannot carry.
BookFolder ScanBookFolder(const std::string& folder, const ScanOptions& options = {});

// Whether the glob `pattern` matches the "/"-separated relative path: "*"
// and "?" stand for characters within one name, "**" for any run across
// folders, "[...]" for a set. A pattern without "/" is tried on every name
// in the path, so "*.bak" matches in any folder; a pattern that matches a
// folder matches everything in it.
bool MatchesExclude(std::string_view pattern, std::string_view relative);

// The file that `page` (relative to the folder, "/" or "\" between folders)
// names, found without regard to case. In a flat book a page without a
// folder part is found by its flat name in any folder. Raises EPackError
// when there is none.
const BookFile& FindStartPage(const std::vector<BookFile>& files, std::string_view page, bool flat);

// The page a book opens when the author names none: "index.html" or
// "index.htm" at the top, in any case; nullptr when there is neither.
const BookFile* DefaultStartPage(const std::vector<BookFile>& files);

// The part of a "/"-separated name after its last "/".
std::string_view FlatName(std::string_view name);

}  // namespace pagorix
