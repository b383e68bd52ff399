// Helpers for the authoring tests: a fake runtime image, source folders,
// archives read back with libzip, and running commands.
#pragma once

#include <map>
#include <string>

#include "pack/book_writer.h"
#include "support/test_support.h"

namespace pagorix::test {

inline Bytes B(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// A request for dir/src into dir/book, with a title, index.html as the start
// page and a stand-in for the runtime (dir/stub.bin, PayloadOffset bytes).
PackRequest Request(const TempDir& dir);

// Writes files (relative "/"-separated names) under root, making folders.
void WriteTree(const std::string& root, const std::map<std::string, Bytes>& files);
// Every file under root by relative "/"-separated name (the bytes on disk).
std::map<std::string, Bytes> ReadTree(const std::string& root);
// The sorted names in a folder.
std::vector<std::string> Names(const std::string& dir);

// Cuts the payload out of a book as the runtime copies it, returns its path.
std::string CutPayload(const std::string& book, const TempDir& dir);

struct EntryInfo {
    Bytes data;
    std::uint16_t method = 0;
    bool encrypted = false;
    std::size_t index = 0;  // the place in the archive
};
// Every entry of an archive by stored name, read with libzip and the password.
std::map<std::string, EntryInfo> ReadWithLibzip(const std::string& archive);
// The manifest of a book, as text.
std::string ManifestOf(const std::string& book, const TempDir& dir);

struct CommandResult {
    int status = -1;
    std::string output;  // standard output and error together
};
CommandResult RunCommand(const std::string& command);
std::string Quote(const std::string& text);

}  // namespace pagorix::test
