// What a book is made of, as the authoring tool and the runtime both see it.
//
// A book is the runtime image (exactly PayloadOffset bytes) followed by one
// self-contained ZIP archive whose entries are all protected with the
// traditional ZIP encryption under kArchivePassword. One entry is the
// manifest kManifestName, one setting per line; the others are the book's
// files. A run copies the archive into its work directory as
// kArchiveCopyName and holds the owner file kOwnerFileName there, so no book
// file may carry one of these three names. Names compare as a Windows file
// system compares them: Windows-1252 text, case folded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pagorix {

inline constexpr std::int64_t PayloadOffset = 325120;
// The one password of every book's payload (15 characters).
inline constexpr const char* kArchivePassword = "RKTM4V?PQ918XN2";

inline constexpr const char* kManifestName = "PAGORIX.KBM";
inline constexpr const char* kArchiveCopyName = "PAGORIX.ZIP";
inline constexpr const char* kOwnerFileName = "PAGORIX.LCK";

// The longest reader password: the runtime's password box takes no more.
inline constexpr std::size_t kMaxPasswordLength = 255;

// The manifest's mark for a setting that is absent (one byte, "§").
inline constexpr const char* kManifestSentinel = "\xA7";

// Line numbers of the manifest's settings.
enum ManifestLine : int {
    kLineTitle = 1,
    kLineIntroduction = 2,
    kLineStartPage = 3,
    kLineStatus = 4,
    kLinePassword = 5,
    kLineClosing = 6,
    kLineBookKind = 7,  // left to the authoring tool: kFoldersMark for a folder book
    kLineWindowStyle = 8,
};

// The first word of manifest line 7 in a book whose files keep the folders of
// the author's site: such a book is unpacked with its folders recreated under
// the work directory. A book without it unpacks every file into the work
// directory itself. The rest of the line (the date the book was made) is free.
inline constexpr std::string_view kFoldersMark = "folders";

// Whether manifest line 7 marks a folder book: the line is the mark, or the
// mark followed by a blank and anything.
bool IsFolderBook(std::string_view line7);

// The started program's window, manifest line 8.
enum class ManifestWindow { Normal, Minimized, Maximized };

// Folds Windows-1252 text to lower case as a case-insensitive Windows file
// system does: ASCII, the Latin-1 letters, and Š Œ Ž Ÿ.
std::string FoldCase(std::string_view cp1252);

// Whether two Windows-1252 names are the same file name on such a system.
bool SameFileName(std::string_view a, std::string_view b);

// Whether a bare file name is one of the runtime's own names, in any case.
bool IsReservedName(std::string_view name);

// Whether a relative path ("/" or "\\" between its parts) stays inside the
// folder it is taken from: not empty, not absolute, no drive, no "..".
bool StaysInside(std::string_view relative);

// The folders that a book's "/"-separated entry names put under the work
// directory, each once, every folder after the folders inside it (deepest
// first), so that removing them in this order empties each before its turn.
// Names that climb ("..") or start at a root give no folders here.
std::vector<std::string> FoldersOfNames(const std::vector<std::string>& names);

// Why Windows cannot create a file of this bare name (a device name such as
// "con.html", or a last character that is a dot or a blank); empty when it
// can. Characters that no Windows name holds are not looked at here.
std::string WindowsNameProblem(std::string_view name);

}  // namespace pagorix
