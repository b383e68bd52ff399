// The web browser of the launcher tests, registered as the desktop's program
// for text/html. It writes to $PGX_BROWSER_RECORD its current directory and
// its arguments, one per line, then "--" and the bytes of the page its first
// argument names (read while the book is still unpacked). The record is
// written under a temporary name and renamed, so a reader never sees half.
// $PGX_BROWSER_DELAY_MS makes it wait that long before it ends.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    const char* record = std::getenv("PGX_BROWSER_RECORD");
    if (record == nullptr) return 0;
    const std::string temporary = std::string(record) + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        char cwd[4096] = {};
        out << (getcwd(cwd, sizeof cwd) != nullptr ? cwd : "?") << '\n';
        for (int i = 1; i < argc; ++i)
            out << argv[i] << '\n';
        out << "--\n";
        if (argc > 1) {
            std::ifstream page(argv[1], std::ios::binary);
            out << std::string(std::istreambuf_iterator<char>(page),
                               std::istreambuf_iterator<char>());
        }
    }
    std::rename(temporary.c_str(), record);
    if (const char* delay = std::getenv("PGX_BROWSER_DELAY_MS")) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(delay)));
    }
    return 0;
}
