#include "support/private_desktop.h"

#include <cstdlib>
#include <filesystem>

#include "support/test_support.h"

extern char** environ;

namespace pagorix::test {

// Set by a desktop session; each would make the desktop database look for
// that desktop's own defaults.
constexpr const char* kSessionVariables[] = {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION"};

PrivateDesktop::PrivateDesktop(std::string root, const std::string& exec, bool systemData)
    : m_root(std::move(root)) {
    namespace fs = std::filesystem;
    const std::string home = Home();
    for (const char* sub : {"/.config", "/.local/share/applications", "/.cache"})
        fs::create_directories(home + sub);
    fs::create_directories(m_root + "/none");
    m_vars = {{"HOME", home},
              {"XDG_CONFIG_HOME", home + "/.config"},
              {"XDG_DATA_HOME", home + "/.local/share"},
              {"XDG_CACHE_HOME", home + "/.cache"},
              {"XDG_CONFIG_DIRS", m_root + "/none"},
              {"XDG_DATA_DIRS", systemData ? "/usr/share" : m_root + "/none"},
              {"GIO_USE_VFS", "local"},
              {"GSETTINGS_BACKEND", "memory"}};
    if (!exec.empty()) {
        WriteFile(home + "/.local/share/applications/pagorix-test-browser.desktop",
                  "[Desktop Entry]\nType=Application\nName=Test browser\nExec=" + exec +
                      "\nMimeType=text/html;\n");
        WriteFile(home + "/.config/mimeapps.list",
                  "[Default Applications]\ntext/html=pagorix-test-browser.desktop\n");
    }
}

void PrivateDesktop::Enter() const {
    for (const char* name : kSessionVariables)
        unsetenv(name);
    for (const auto& [name, value] : m_vars)
        setenv(name.c_str(), value.c_str(), 1);
}

std::map<std::string, std::string> PrivateDesktop::Environment() const {
    std::map<std::string, std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        env[entry.substr(0, entry.find('='))] = entry.substr(entry.find('=') + 1);
    }
    for (const char* name : kSessionVariables)
        env.erase(name);
    for (const auto& [name, value] : m_vars)
        env[name] = value;
    return env;
}

}  // namespace pagorix::test
