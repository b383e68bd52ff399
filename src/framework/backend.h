// What differs between GUI hosts. The portable framework (application,
// dialogs, forms and controls) calls the installed backend; a program or test
// installs exactly one (headless, terminal, gtk or win32). Without one, the
// framework behaves as a backend that shows nothing and answers every dialog
// with its Cancel result.
#pragma once

#include <string>
#include <vector>

namespace pagorix {

enum class DialogIcon { None, Stop, Warning, Information, Question };

struct MessageBoxRequest {
    std::string caption;
    std::string text;
    DialogIcon icon = DialogIcon::None;
    std::vector<std::string> buttons;  // texts, e.g. "&Oui", "&Non"
    std::vector<int> results;          // the result of each button
    int defaultIndex = 0;              // the button that Enter presses
    int escapeResult = 2;              // the result of Escape and the close box
};

class Backend {
public:
    virtual ~Backend() = default;
    virtual void ProcessMessages() {}
    virtual void Terminate() {}
    virtual void TitleChanged(const std::string& /*title*/) {}
    virtual int ShowMessageBox(const MessageBoxRequest& request) { return request.escapeResult; }
    // Returns false when the box is cancelled.
    virtual bool InputQuery(const std::string& /*caption*/, const std::string& /*prompt*/,
                            std::string& /*value*/) {
        return false;
    }
    virtual bool OpenFileDialog(const std::string& /*title*/, const std::string& /*filter*/,
                                const std::string& /*initialDir*/, std::string& /*fileName*/) {
        return false;
    }
    virtual bool SelectDirectoryDialog(std::string& /*directory*/, bool /*allowCreate*/) {
        return false;
    }
};

// Installs the backend for the process (not owned; nullptr for none).
void SetBackend(Backend* backend);
Backend& CurrentBackend();

}  // namespace pagorix
