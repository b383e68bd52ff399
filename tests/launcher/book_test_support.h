// Books for the launcher tests: made by the authoring library from a source
// folder, or written entry by entry with libzip when a test needs a manifest
// or an archive that the authoring tool would refuse. Also the fake
// browser's record.
#pragma once

#include <string>
#include <vector>

#include "pack/book_writer.h"
#include "support/test_support.h"

namespace pagorix::test {

// A stand-in for the runtime image: PayloadOffset bytes.
std::string WriteStub(const std::string& dir);

// Books are written into `dir` (which must exist), as "book", beside the
// files they are made from.

// A book from the source files (relative names, written into dir/source
// beside what is there already) and the manifest settings, on the runtime
// `stub` (a stand-in when empty) at deflate level `level`.
std::string MakePackedBook(const std::string& dir,
                           const std::vector<std::pair<std::string, std::string>>& files,
                           BookManifest manifest, const std::string& stub = {}, int level = 6);

struct RawEntry {
    std::string name;
    std::string data;
    std::string password = kArchivePassword;  // empty: not encrypted
};
// A book of exactly these entries, each deflated and encrypted as given.
std::string MakeRawBook(const std::string& dir, const std::vector<RawEntry>& entries);

// The manifest text of these lines, each ended with CR LF.
std::string ManifestOf(const std::vector<std::string>& lines);

// Flips a byte near the end of the stored data of the book's last entry.
void CorruptLastEntry(const std::string& book);

// What the fake browser was given; empty cwd when it did not run.
struct BrowserRecord {
    std::string cwd;
    std::vector<std::string> args;
    std::string page;
};
BrowserRecord ReadBrowserRecord(const std::string& path);

// Everything under a folder, by relative path.
std::vector<std::string> ListTree(const std::string& dir);

}  // namespace pagorix::test
