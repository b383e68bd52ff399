// The framework's modal dialogs. Button texts, captions and results are the
// framework's own: "&Oui", "&Non", "OK", "Annuler"; error boxes are captioned
// "Erreur", plain boxes take the application title.
#pragma once

#include <string>

namespace pagorix {

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// Button set of MessageDlg, as bits.
inline constexpr unsigned mbYes = 0x01;
inline constexpr unsigned mbNo = 0x02;
inline constexpr unsigned mbOK = 0x04;
inline constexpr unsigned mbCancel = 0x08;

// Modal results.
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;

// A message box of a kind (mtError: "Erreur" with the stop icon; mtCustom:
// the application title, no icon) with a set of buttons; returns the result.
int MessageDlg(const std::string& text, TMsgDlgType type, unsigned buttons);

// The host's plain message box with its own caption. Flags and results use the
// system's values: MB_OK 0, MB_YESNO 4; IDOK 1, IDYES 6, IDNO 7.
inline constexpr unsigned kMbOk = 0x0;
inline constexpr unsigned kMbYesNo = 0x4;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;
int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags);

// One line of at most 255 characters; "Annuler" gives the empty text.
std::string InputBox(const std::string& caption, const std::string& prompt,
                     const std::string& defaultText);

// The open-file dialog; true with the chosen file in fileName on confirmation.
bool OpenFileDialog(const std::string& title, const std::string& filter,
                    const std::string& initialDir, std::string& fileName);

// The directory-selection dialog; allowCreate lets the user make a new one
// (after a prompt). True with the chosen directory on confirmation.
bool SelectDirectoryDialog(std::string& directory, bool allowCreate);

}  // namespace pagorix
