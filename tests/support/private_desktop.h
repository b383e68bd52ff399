// A desktop of its own for the tests that open documents by their type: HOME
// and the XDG folders under one folder, with a program of the test's (a
// desktop entry's command line) as the default for web pages. The user's own
// desktop, and the session's desktop name, are never read.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace pagorix::test {

class PrivateDesktop {
public:
    // `exec` empty: no program for web pages. Without `systemData` the
    // system's data folders (the MIME database among them) are hidden too.
    PrivateDesktop(std::string root, const std::string& exec, bool systemData = true);

    // Sets HOME and the XDG variables in this process, and unsets the
    // session's desktop names, before anything reads the desktop database
    // (GLib reads it once per process).
    void Enter() const;
    // This process's environment as Enter would leave it, for a child.
    std::map<std::string, std::string> Environment() const;
    std::string Home() const { return m_root + "/home"; }

private:
    std::string m_root;
    std::vector<std::pair<std::string, std::string>> m_vars;
};

}  // namespace pagorix::test
