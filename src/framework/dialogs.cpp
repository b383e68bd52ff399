#include "framework/dialogs.h"

#include "framework/application.h"
#include "framework/backend.h"

namespace pagorix {

namespace {

constexpr size_t kInputMaxLength = 255;

// Once the quit request has been made, a dialog's own message loop would take
// it at once: the dialog closes with its Cancel result without being shown.
bool QuitPending() {
    return Application().Terminated();
}

}  // namespace

int MessageDlg(const std::string& text, TMsgDlgType type, unsigned buttons) {
    MessageBoxRequest request;
    request.text = text;
    switch (type) {
        case TMsgDlgType::mtError:
            request.kind = DialogKind::Error;
            request.caption = "Erreur";
            request.icon = DialogIcon::Stop;
            break;
        case TMsgDlgType::mtWarning:
            request.kind = DialogKind::Warning;
            request.caption = "Avertissement";
            request.icon = DialogIcon::Warning;
            break;
        case TMsgDlgType::mtInformation:
            request.kind = DialogKind::Information;
            request.caption = "Information";
            request.icon = DialogIcon::Information;
            break;
        case TMsgDlgType::mtConfirmation:
            request.kind = DialogKind::Confirmation;
            request.caption = "Confirmation";
            request.icon = DialogIcon::Question;
            break;
        case TMsgDlgType::mtCustom:
            request.kind = DialogKind::Plain;
            request.caption = Application().Title();
            break;
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
    if (request.buttons.empty()) {  // a box always has a way out
        request.buttons.emplace_back("OK");
        request.results.push_back(mrOk);
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
    // OK is the default where there is one, else the first button.
    request.defaultIndex = 0;
    for (size_t i = 0; i < request.results.size(); ++i) {
        if (request.results[i] == mrOk) request.defaultIndex = static_cast<int>(i);
    }
    request.closeResult = mrCancel;
    if (QuitPending()) {
        CurrentBackend().MessageBoxClosedAtOnce(request);
        return mrCancel;
    }
    return CurrentBackend().ShowMessageBox(request);
}

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    MessageBoxRequest request;
    request.kind = DialogKind::System;
    request.caption = caption;
    request.text = text;
    if ((flags & 0xF) == kMbYesNo) {
        request.buttons = {"&Oui", "&Non"};
        request.results = {kIdYes, kIdNo};
        request.escapeResult = kIdNo;
        request.closeResult = kIdNo;
    } else {
        request.buttons = {"OK"};
        request.results = {kIdOk};
        request.escapeResult = kIdOk;
        request.closeResult = kIdOk;
    }
    if (QuitPending()) {
        CurrentBackend().MessageBoxClosedAtOnce(request);
        return kIdCancel;
    }
    return CurrentBackend().ShowMessageBox(request);
}

std::string InputBox(const std::string& caption, const std::string& prompt,
                     const std::string& defaultText) {
    std::string value = defaultText.substr(0, kInputMaxLength);
    if (QuitPending()) {
        CurrentBackend().InputClosedAtOnce(caption, prompt, value);
        return std::string();
    }
    if (!CurrentBackend().InputQuery(caption, prompt, value)) return std::string();
    // The entry field takes no more than this; a host that lets more through
    // is cut here.
    return value.substr(0, kInputMaxLength);
}

bool OpenFileDialog(const std::string& title, const std::string& filter,
                    const std::string& initialDir, std::string& fileName) {
    if (QuitPending()) return false;
    return CurrentBackend().OpenFileDialog(title, filter, initialDir, fileName);
}

bool SelectDirectoryDialog(std::string& directory, bool allowCreate) {
    if (QuitPending()) return false;
    return CurrentBackend().SelectDirectoryDialog(directory, allowCreate);
}

}  // namespace pagorix
