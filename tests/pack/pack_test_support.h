// Helpers for the authoring tests: a fake runtime image, source folders,
// the payload cut out of a book, and reading archives back with libzip.
#pragma once

#include <map>
#include <string>

#include "support/test_support.h"

namespace pagorix::test {

// A stand-in for the runtime: PayloadOffset bytes of a fixed pattern.
Bytes FakeStubBytes();
std::string WriteFakeStub(const TempDir& dir, const std::string& name = "stub.bin");

// Writes `files` (relative "/"-separated UTF-8 names) under `root`, making
// folders as needed.
void WriteTree(const std::string& root, const std::map<std::string, Bytes>& files);

// Every file under `root` by relative "/"-separated name.
std::map<std::string, Bytes> ReadTree(const std::string& root);

// The book's bytes from PayloadOffset on, written to `payloadPath`.
void CutPayload(const std::string& book, const std::string& payloadPath);

struct EntryInfo {
    Bytes data;
    std::uint16_t method = 0;
    bool encrypted = false;
};
// Reads every entry of an archive with libzip and the archive password;
// names are the stored bytes.
std::map<std::string, EntryInfo> ReadWithLibzip(const std::string& archive);

// The names (not paths) in a folder.
std::vector<std::string> Names(const std::string& dir);

struct CommandResult {
    int status = -1;
    std::string output;  // standard output and error together
};
// Runs a shell command line and collects what it prints.
CommandResult RunCommand(const std::string& command);
std::string Quote(const std::string& text);
bool HaveInfoZipUnzip();

}  // namespace pagorix::test
