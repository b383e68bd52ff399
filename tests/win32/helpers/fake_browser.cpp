// A stand-in for the web browser in the Windows end-to-end test: writes the
// command line it was started with, and whether the page it names exists,
// into a log ($PGX_BROWSER_LOG, or browser-log.txt beside itself), then ends.
// A GUI program like a real browser: a console program would get a console
// host of its own, which Wine starts in the work directory and keeps running
// after the program.
//
// $PGX_BROWSER_DELAY_MS makes it stay that long before it ends. With
// $PGX_BROWSER_HANDOFF set it behaves like a browser that hands the page to
// an instance already running: it starts a copy of itself ("--late PAGE")
// and ends at once; the copy reads the page 2 seconds later and adds
// "late reader: page found" (or "missing") to the log.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

std::string Found(const std::string& page) {
    std::ifstream file(page, std::ios::binary);
    return file.get() != std::char_traits<char>::eof() ? "page found" : "page missing";
}

}  // namespace

int main(int argc, char** argv) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string log = self;
    log = log.substr(0, log.find_last_of('\\') + 1) + "browser-log.txt";
    if (const char* named = std::getenv("PGX_BROWSER_LOG")) log = named;
    if (argc == 3 && std::string(argv[1]) == "--late") {
        Sleep(2000);
        std::ofstream(log, std::ios::binary | std::ios::app)
            << "late reader: " << Found(argv[2]) << "\n";
        return 0;
    }
    const std::string page = argc > 1 ? argv[1] : "";
    std::ofstream(log, std::ios::binary | std::ios::trunc) << GetCommandLineA() << "\n"
                                                           << Found(page) << "\n";
    if (std::getenv("PGX_BROWSER_HANDOFF") != nullptr) {
        std::string command = "\"" + std::string(self) + "\" --late \"" + page + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &process)) {
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        return 0;
    }
    if (const char* delay = std::getenv("PGX_BROWSER_DELAY_MS")) Sleep(std::atoi(delay));
    return 0;
}
