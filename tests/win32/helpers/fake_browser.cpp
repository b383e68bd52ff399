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
#include <string>

namespace {

std::string Environment(const char* name) {
    char value[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableA(name, value, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(value, n) : std::string();
}

bool PageReadable(const std::string& page) {
    HANDLE file = CreateFileA(page.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char buffer[64];
    DWORD read = 0;
    const bool ok = ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0;
    CloseHandle(file);
    return ok;
}

void AppendToLog(const std::string& log, const std::string& text, bool fresh) {
    HANDLE file =
        CreateFileA(log.c_str(), fresh ? GENERIC_WRITE : FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                    fresh ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

int main() {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string log = Environment("PGX_BROWSER_LOG");
    if (log.empty()) {
        log = self;
        log = log.substr(0, log.find_last_of('\\') + 1) + "browser-log.txt";
    }
    const std::string line = GetCommandLineA();
    // The page: the text after the program's path and its blank, up to the
    // final blank.
    std::string page;
    size_t exe = line.find(".exe");
    if (exe != std::string::npos) {
        exe += 4;
        if (exe < line.size() && line[exe] == '"') ++exe;
        if (exe < line.size() && line[exe] == ' ') page = line.substr(exe + 1);
    }
    while (!page.empty() && page.back() == ' ')
        page.pop_back();
    if (page.size() > 1 && page.front() == '"') page = page.substr(1, page.find('"', 1) - 1);

    if (page.rfind("--late ", 0) == 0) {
        page = page.substr(7);
        Sleep(2000);
        AppendToLog(
            log,
            std::string("late reader: page ") + (PageReadable(page) ? "found" : "missing") + "\n",
            false);
        return 0;
    }

    const bool exists =
        !page.empty() && GetFileAttributesA(page.c_str()) != INVALID_FILE_ATTRIBUTES;
    AppendToLog(log, line + "\n" + (exists ? "page found" : "page missing") + "\n", true);

    if (!Environment("PGX_BROWSER_HANDOFF").empty()) {
        std::string command = "\"" + std::string(self) + "\" --late " + page;
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
    const std::string delay = Environment("PGX_BROWSER_DELAY_MS");
    if (!delay.empty()) Sleep(static_cast<DWORD>(std::atoi(delay.c_str())));
    return 0;
}
