// What every GUI backend must give the framework's message boxes: the same
// answer for the same key, captions and buttons. Each backend's tests run
// this table their own way; the terminal (no close box) skips those rows.
#pragma once

#include <vector>

#include "framework/dialogs.h"

namespace pagorix::test {

// What the reader does to the box: a key, its close box, or a button's
// letter (the one its caption marks with "&").
enum class BoxAct { Enter, Escape, CloseBox, LetterO, LetterN };

struct BoxContractRow {
    const char* name;
    TMsgDlgType type;
    unsigned buttons;
    BoxAct act;
    int result;
    const char* caption;  // "" for the application's title
    const char* buttonTexts;
};

inline const std::vector<BoxContractRow>& BoxContract() {
    using enum BoxAct;
    constexpr auto plain = TMsgDlgType::mtCustom;
    constexpr unsigned yesNo = mbYes | mbNo;
    static const std::vector<BoxContractRow> rows = {
        {"yes/no, Enter is Oui", plain, yesNo, Enter, mrYes, "", "&Oui|&Non"},
        {"yes/no, Escape is Non", plain, yesNo, Escape, mrNo, "", "&Oui|&Non"},
        {"yes/no, the close box is Cancel", plain, yesNo, CloseBox, mrCancel, "", "&Oui|&Non"},
        {"yes/no, N", plain, yesNo, LetterN, mrNo, "", "&Oui|&Non"},
        {"yes/no, O", plain, yesNo, LetterO, mrYes, "", "&Oui|&Non"},
        {"error, Enter", TMsgDlgType::mtError, mbOK, Enter, mrOk, "Erreur", "OK"},
        {"error, Escape is OK", TMsgDlgType::mtError, mbOK, Escape, mrOk, "Erreur", "OK"},
        {"OK/Annuler, Enter", TMsgDlgType::mtWarning, mbOK | mbCancel, Enter, mrOk, "Avertissement",
         "OK|Annuler"},
        {"OK/Annuler, Escape", TMsgDlgType::mtWarning, mbOK | mbCancel, Escape, mrCancel,
         "Avertissement", "OK|Annuler"},
    };
    return rows;
}

}  // namespace pagorix::test
