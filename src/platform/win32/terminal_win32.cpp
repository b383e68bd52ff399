#include <io.h>
#include <windows.h>

#include <cstdio>

#include "platform/platform.h"

namespace pagorix::platform {

bool StandardStreamIsTerminal(int stream) {
    return stream >= 0 && stream <= 2 && ::_isatty(stream) != 0;
}

std::optional<std::string> ReadLineUnechoed() {
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD saved = 0;
    const bool console = ::GetConsoleMode(input, &saved) != 0;
    if (console) ::SetConsoleMode(input, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::string line;
    bool ended = false;
    for (int c = std::getchar(); c != '\n'; c = std::getchar()) {
        if (c == EOF) {
            ended = line.empty();
            break;
        }
        line += static_cast<char>(c);
    }
    if (console) {
        ::SetConsoleMode(input, saved);
        std::fputc('\n', stderr);  // the Enter key that was not shown
    }
    if (ended) return std::nullopt;
    if (line.ends_with('\r')) line.pop_back();
    return line;
}

}  // namespace pagorix::platform
