#include <termios.h>
#include <unistd.h>

#include <cstdio>

#include "platform/platform.h"

namespace pagorix::platform {

bool StandardStreamIsTerminal(int stream) {
    return stream >= 0 && stream <= 2 && ::isatty(stream) == 1;
}

namespace {

// Turns the terminal's echo off for its lifetime, when there is a terminal.
class EchoOff {
public:
    EchoOff() {
        if (::tcgetattr(STDIN_FILENO, &m_saved) != 0) return;
        termios quiet = m_saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;  // the Enter key still moves to the next line
        m_active = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff() {
        if (m_active) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &m_saved);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    termios m_saved{};
    bool m_active = false;
};

}  // namespace

std::optional<std::string> ReadLineUnechoed() {
    const EchoOff echoOff;
    std::string line;
    for (int c = std::getchar(); c != '\n'; c = std::getchar()) {
        if (c == EOF) {
            if (line.empty()) return std::nullopt;
            break;
        }
        line += static_cast<char>(c);
    }
    if (line.ends_with('\r')) line.pop_back();
    return line;
}

}  // namespace pagorix::platform
