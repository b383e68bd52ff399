// The web browser of the launcher tests, registered as the desktop's program
// for text/html. It writes to $PGX_BROWSER_RECORD its current directory and
// its arguments, one per line, then "--" and the bytes of the page its first
// argument names (read while the book is still unpacked). The record is
// written under a temporary name and renamed, so a reader never sees half.
// $PGX_BROWSER_DELAY_MS makes it wait that long before it ends.
// $PGX_BROWSER_HANDOFF_MS makes it behave like a browser that passes the page
// to an instance already running: it ends at once, and a child of its own
// reads the page that long afterwards and writes it to the record's name +
// ".late". $PGX_BROWSER_STATUS is its exit status (0 if unset).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

void WriteAtomically(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".part";
    std::ofstream(temporary, std::ios::binary | std::ios::trunc) << text;
    std::rename(temporary.c_str(), path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const char* record = std::getenv("PGX_BROWSER_RECORD");
    if (record == nullptr) return 0;
    char cwd[4096] = {};
    std::ostringstream text;
    text << (getcwd(cwd, sizeof cwd) != nullptr ? cwd : "?") << '\n';
    for (int i = 1; i < argc; ++i)
        text << argv[i] << '\n';
    text << "--\n";
    if (argc > 1) text << std::ifstream(argv[1], std::ios::binary).rdbuf();
    WriteAtomically(record, text.str());
    if (const char* handOff = std::getenv("PGX_BROWSER_HANDOFF_MS"); handOff && argc > 1) {
        if (fork() != 0) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(handOff)));
        std::ostringstream late;  // empty when the page has gone
        late << std::ifstream(argv[1], std::ios::binary).rdbuf();
        WriteAtomically(std::string(record) + ".late", late.str());
        return 0;
    }
    if (const char* delay = std::getenv("PGX_BROWSER_DELAY_MS")) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(delay)));
    }
    const char* status = std::getenv("PGX_BROWSER_STATUS");
    return status != nullptr ? std::atoi(status) : 0;
}
