#include "framework/dialogs.h"

#include "framework/application.h"
#include "framework/backend.h"

namespace pagorix {

int MessageDlg(const std::string& text, TMsgDlgType type, unsigned buttons) {
    MessageBoxRequest request;
    request.text = text;
    switch (type) {
        case TMsgDlgType::mtError:
            request.caption = "Erreur";
            request.icon = DialogIcon::Stop;
            break;
        case TMsgDlgType::mtWarning:
            request.caption = "Avertissement";
            request.icon = DialogIcon::Warning;
            break;
        case TMsgDlgType::mtInformation:
            request.caption = "Information";
            request.icon = DialogIcon::Information;
            break;
        case TMsgDlgType::mtConfirmation:
            request.caption = "Confirmation";
            request.icon = DialogIcon::Question;
            break;
        case TMsgDlgType::mtCustom: request.caption = Application().Title(); break;
    }
    const struct {
        unsigned bit;
        const char* text;
        int result;
    } kButtons[] = {{mbYes, "&Oui", mrYes},
                    {mbNo, "&Non", mrNo},
                    {mbOK, "OK", mrOk},
                    {mbCancel, "Annuler", mrCancel}};
    for (const auto& b : kButtons) {
        if ((buttons & b.bit) != 0) {
            request.buttons.emplace_back(b.text);
            request.results.push_back(b.result);
        }
    }
    // Escape answers Cancel when there is such a button, else No, else OK.
    if ((buttons & mbCancel) != 0) {
        request.escapeResult = mrCancel;
    } else if ((buttons & mbNo) != 0) {
        request.escapeResult = mrNo;
    } else if ((buttons & mbOK) != 0) {
        request.escapeResult = mrOk;
    } else {
        request.escapeResult = mrCancel;
    }
    request.defaultIndex = 0;
    if (Application().Terminated()) return mrCancel;
    return CurrentBackend().ShowMessageBox(request);
}

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    MessageBoxRequest request;
    request.caption = caption;
    request.text = text;
    if ((flags & 0xF) == kMbYesNo) {
        request.buttons = {"&Oui", "&Non"};
        request.results = {kIdYes, kIdNo};
        request.escapeResult = kIdNo;
    } else {
        request.buttons = {"OK"};
        request.results = {kIdOk};
        request.escapeResult = kIdOk;
    }
    if (Application().Terminated()) return kIdCancel;
    return CurrentBackend().ShowMessageBox(request);
}

std::string InputBox(const std::string& caption, const std::string& prompt,
                     const std::string& defaultText) {
    std::string value = defaultText;
    if (Application().Terminated()) return defaultText;
    if (!CurrentBackend().InputQuery(caption, prompt, value)) return defaultText;
    return value.substr(0, 255);
}

bool OpenFileDialog(const std::string& title, const std::string& filter,
                    const std::string& initialDir, std::string& fileName) {
    return CurrentBackend().OpenFileDialog(title, filter, initialDir, fileName);
}

bool SelectDirectoryDialog(std::string& directory, bool allowCreate) {
    return CurrentBackend().SelectDirectoryDialog(directory, allowCreate);
}

}  // namespace pagorix
