// The files of a book's source folder, as the archive will store them.
//
// Every regular file under the folder becomes one entry named by its path
// relative to the folder, with "/" between folders, in Windows-1252. The
// runtime unpacks every entry into one flat folder and looks names up without
// regard to case, so the checks here are made on the flat name (the part
// after the last "/") folded to one case: two files that would land on the
// same name, and files that would take the name of the manifest or of the
// runtime's archive copy, are refused. Names must also be valid Windows file
// names, since the runtime makes them there.
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

// Lists every file under `folder` (recursively), ordered by stored name.
// Raises EPackError naming the file for a name the book cannot carry.
std::vector<BookFile> ScanBookFolder(const std::string& folder);

// The file that `page` (relative to the folder, "/" or "\" between folders)
// names, found without regard to case; a page without a folder part is found
// by its flat name in any folder. Raises EPackError when there is none.
const BookFile& FindStartPage(const std::vector<BookFile>& files, std::string_view page);

// The part of a "/"-separated name after its last "/".
std::string_view FlatName(std::string_view name);

}  // namespace pagorix
