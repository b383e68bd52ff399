// A stand-in for the web browser in the Windows end-to-end test: writes the
// command line it was started with, and whether the page it names exists,
// into browser-log.txt beside itself, then ends. A GUI program like a real
// browser: a console program would get a console host of its own, which
// Wine starts in the work directory and keeps running after the program.
#include <windows.h>

#include <string>

int main() {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string log = self;
    log = log.substr(0, log.find_last_of('\\') + 1) + "browser-log.txt";
    const std::string line = GetCommandLineA();
    // The page: the text after the program's path and its blank, up to the
    // final blank.
    std::string page;
    const size_t exe = line.find(".exe ");
    if (exe != std::string::npos) page = line.substr(exe + 5);
    while (!page.empty() && page.back() == ' ')
        page.pop_back();
    const bool exists =
        !page.empty() && GetFileAttributesA(page.c_str()) != INVALID_FILE_ATTRIBUTES;
    const std::string text = line + "\n" + (exists ? "page found" : "page missing") + "\n";
    HANDLE file = CreateFileA(log.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return 0;
}
