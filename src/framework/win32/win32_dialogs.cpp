// The framework's dialogs on Win32: message boxes and the input box as
// dialogs of our own, made from an in-memory template that holds only the
// frame; the controls are laid out in pixels when the dialog starts, with
// the framework's font. The open-file and folder dialogs are the system's.
#include <windows.h>
// after windows.h, which they need
#include <commdlg.h>
#include <ole2.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "framework/win32/win32_backend.h"
#include "framework/win32/win32_internal.h"

namespace pagorix::win32 {

namespace {

constexpr int kFirstButtonId = 100;
constexpr int kEditId = 90;
constexpr int kInputMaxLength = 255;
constexpr UINT kShownMessage = WM_APP + 1;

// Pixels at the screen's density for a length designed at 96 pixels per inch.
int Scaled(int pixels) {
    return MulDiv(pixels, TheState()->pixelsPerInch, kDesignPixelsPerInch);
}

// A dialog template with no controls: caption and frame only.
std::vector<WORD> FrameTemplate(const std::string& caption) {
    std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
    auto* dlg = reinterpret_cast<DLGTEMPLATE*>(words.data());
    dlg->style = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    dlg->cdit = 0;
    words.push_back(0);  // no menu
    words.push_back(0);  // the standard dialog class
    // The caption, widened from the system's code page.
    const int length = MultiByteToWideChar(CP_ACP, 0, caption.c_str(), -1, nullptr, 0);
    std::vector<wchar_t> wide(static_cast<size_t>(std::max(length, 1)), L'\0');
    if (length > 0) MultiByteToWideChar(CP_ACP, 0, caption.c_str(), -1, wide.data(), length);
    for (wchar_t c : wide)
        words.push_back(static_cast<WORD>(c));
    words.push_back(8);  // font size in points, then its name
    for (const wchar_t* c = L"MS Sans Serif"; *c != 0; ++c)
        words.push_back(static_cast<WORD>(*c));
    words.push_back(0);
    return words;
}

HWND AddControl(HWND dialog, const char* className, const std::string& text, DWORD style, int id,
                int x, int y, int width, int height, DWORD exStyle = 0) {
    HWND control = CreateWindowExA(
        exStyle, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, width, height,
        dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), TheState()->instance, nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(TheState()->font), FALSE);
    return control;
}

// The size a text takes with the framework's font, wrapped at maxWidth.
SIZE TextSize(HWND window, const std::string& text, int maxWidth) {
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, TheState()->font);
    RECT rect{0, 0, maxWidth, 0};
    DrawTextA(dc, text.empty() ? " " : text.c_str(), -1, &rect,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

// Gives the dialog that client size and centres it on the screen.
void PlaceDialog(HWND dialog, int clientWidth, int clientHeight) {
    RECT rect{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&rect, static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_EXSTYLE)));
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    SetWindowPos(dialog, HWND_TOP, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, 0);
}

LPCSTR SystemIcon(DialogIcon icon) {
    switch (icon) {
        case DialogIcon::Stop:
            return reinterpret_cast<LPCSTR>(IDI_HAND);
        case DialogIcon::Warning:
            return reinterpret_cast<LPCSTR>(IDI_EXCLAMATION);
        case DialogIcon::Information:
            return reinterpret_cast<LPCSTR>(IDI_ASTERISK);
        case DialogIcon::Question:
            return reinterpret_cast<LPCSTR>(IDI_QUESTION);
        case DialogIcon::None:
            break;
    }
    return nullptr;
}

struct DialogRun {
    const MessageBoxRequest* box = nullptr;  // a message box, or
    const std::string* prompt = nullptr;     // the input box's prompt
    std::string* value = nullptr;            // and its text
};

// Buttons of a row, centred under the content.
void AddButtons(HWND dialog, const std::vector<std::string>& texts, int defaultIndex,
                const std::vector<int>& ids, int clientWidth, int top) {
    const int width = Scaled(75);
    const int height = Scaled(25);
    const int gap = Scaled(6);
    const int count = static_cast<int>(texts.size());
    int x = (clientWidth - (count * width + (count - 1) * gap)) / 2;
    for (int i = 0; i < count; ++i) {
        const DWORD style = WS_TABSTOP | (i == defaultIndex ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        HWND button = AddControl(dialog, "BUTTON", texts[static_cast<size_t>(i)], style,
                                 ids[static_cast<size_t>(i)], x, top, width, height);
        if (i == defaultIndex) {
            SendMessageA(dialog, DM_SETDEFID, static_cast<WPARAM>(ids[static_cast<size_t>(i)]), 0);
            SetFocus(button);
        }
        x += width + gap;
    }
}

void LayOutMessageBox(HWND dialog, const MessageBoxRequest& box) {
    const int margin = Scaled(12);
    const int iconSize = GetSystemMetrics(SM_CXICON);
    int textLeft = margin;
    if (LPCSTR iconName = SystemIcon(box.icon)) {
        HWND icon =
            AddControl(dialog, "STATIC", "", SS_ICON, -1, margin, margin, iconSize, iconSize);
        SendMessageA(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconA(nullptr, iconName)), 0);
        textLeft += iconSize + margin;
    }
    const SIZE text = TextSize(dialog, box.text, Scaled(400));
    const int textTop =
        margin +
        (box.icon != DialogIcon::None && text.cy < iconSize ? (iconSize - text.cy) / 2 : 0);
    AddControl(dialog, "STATIC", box.text, SS_LEFT | SS_NOPREFIX, -1, textLeft, textTop, text.cx,
               text.cy);
    const int count = static_cast<int>(box.buttons.size());
    const int rowWidth = count * Scaled(75) + (count - 1) * Scaled(6);
    const int clientWidth = std::max(textLeft + static_cast<int>(text.cx), rowWidth) + margin;
    const int contentBottom = std::max(textTop + static_cast<int>(text.cy),
                                       margin + (box.icon != DialogIcon::None ? iconSize : 0));
    const int buttonsTop = contentBottom + margin;
    std::vector<int> ids;
    for (int i = 0; i < count; ++i)
        ids.push_back(kFirstButtonId + i);
    AddButtons(dialog, box.buttons, box.defaultIndex, ids, clientWidth, buttonsTop);
    PlaceDialog(dialog, clientWidth, buttonsTop + Scaled(25) + margin);
}

void LayOutInputBox(HWND dialog, const std::string& prompt, const std::string& value) {
    const int margin = Scaled(8);
    const int width = Scaled(280);
    const SIZE text = TextSize(dialog, prompt, width - 2 * margin);
    AddControl(dialog, "STATIC", prompt, SS_LEFT, -1, margin, margin, width - 2 * margin, text.cy);
    const int editTop = margin + text.cy + Scaled(4);
    HWND edit = AddControl(dialog, "EDIT", value, ES_AUTOHSCROLL | WS_TABSTOP, kEditId, margin,
                           editTop, width - 2 * margin, Scaled(21), WS_EX_CLIENTEDGE);
    SendMessageA(edit, EM_LIMITTEXT, kInputMaxLength, 0);
    const int buttonsTop = editTop + Scaled(21) + Scaled(12);
    AddButtons(dialog, {"OK", "Annuler"}, 0, {IDOK, IDCANCEL}, width, buttonsTop);
    SetFocus(edit);
    SendMessageA(edit, EM_SETSEL, 0, -1);
    PlaceDialog(dialog, width, buttonsTop + Scaled(25) + margin);
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* run = reinterpret_cast<DialogRun*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (msg) {
        case WM_INITDIALOG: {
            run = reinterpret_cast<DialogRun*>(lParam);
            SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            TheState()->dialogs.push_back(dialog);
            if (run->box != nullptr) {
                LayOutMessageBox(dialog, *run->box);
            } else {
                LayOutInputBox(dialog, *run->prompt, *run->value);
            }
            PostMessageA(dialog, kShownMessage, 0, 0);
            return FALSE;  // the focus is set
        }
        case kShownMessage:
            if (TheState()->dialogObserver) {
                auto observer = TheState()->dialogObserver;
                TheState()->Trap([&] { observer(reinterpret_cast<std::intptr_t>(dialog)); });
            }
            return TRUE;
        case WM_COMMAND: {
            if (run == nullptr) return FALSE;
            const int id = LOWORD(wParam);
            if (HIWORD(wParam) != BN_CLICKED && id != IDOK && id != IDCANCEL) return FALSE;
            if (run->box != nullptr) {
                const MessageBoxRequest& box = *run->box;
                const int count = static_cast<int>(box.results.size());
                if (id >= kFirstButtonId && id < kFirstButtonId + count) {
                    EndDialog(dialog, box.results[static_cast<size_t>(id - kFirstButtonId)]);
                } else if (id == IDCANCEL) {  // Escape
                    EndDialog(dialog, box.escapeResult);
                } else if (id == IDOK && box.defaultIndex < count) {  // Enter
                    EndDialog(dialog, box.results[static_cast<size_t>(box.defaultIndex)]);
                }
                return TRUE;
            }
            if (id == IDOK) {
                char buffer[kInputMaxLength + 1] = {};
                GetDlgItemTextA(dialog, kEditId, buffer, sizeof buffer);
                *run->value = buffer;
                EndDialog(dialog, IDOK);
            } else if (id == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
            }
            return TRUE;
        }
        case WM_CLOSE:  // the title bar's close box
            if (run != nullptr)
                EndDialog(dialog, run->box != nullptr ? run->box->closeResult : IDCANCEL);
            return TRUE;
        case WM_DESTROY: {
            auto& dialogs = TheState()->dialogs;
            dialogs.erase(std::remove(dialogs.begin(), dialogs.end(), dialog), dialogs.end());
            return FALSE;
        }
        default:
            return FALSE;
    }
}

INT_PTR RunDialog(const std::string& caption, DialogRun& run) {
    Win32Backend::State& state = *TheState();
    const std::vector<WORD> frame = FrameTemplate(caption);
    const INT_PTR result =
        DialogBoxIndirectParamA(state.instance, reinterpret_cast<const DLGTEMPLATE*>(frame.data()),
                                state.DialogOwner(), &DialogProc, reinterpret_cast<LPARAM>(&run));
    state.Rethrow();
    return result;
}

int CALLBACK BrowseCallback(HWND window, UINT msg, LPARAM /*lParam*/, LPARAM data) {
    if (msg == BFFM_INITIALIZED && data != 0) {
        SendMessageA(window, BFFM_SETSELECTIONA, TRUE, data);
    }
    return 0;
}

}  // namespace

int Win32Backend::ShowMessageBox(const MessageBoxRequest& request) {
    DialogRun run;
    run.box = &request;
    const INT_PTR result = RunDialog(request.caption, run);
    return result <= 0 ? request.closeResult : static_cast<int>(result);
}

bool Win32Backend::InputQuery(const std::string& caption, const std::string& prompt,
                              std::string& value) {
    std::string typed = value;
    DialogRun run;
    run.prompt = &prompt;
    run.value = &typed;
    if (RunDialog(caption, run) != IDOK) return false;
    value = typed;
    return true;
}

bool Win32Backend::OpenFileDialog(const std::string& title, const std::string& filter,
                                  const std::string& initialDir, std::string& fileName) {
    // The framework's filter separates its fields with "|"; the system's
    // with zero bytes, and ends with two.
    std::string filters = filter;
    std::replace(filters.begin(), filters.end(), '|', '\0');
    filters.append(2, '\0');
    std::vector<char> buffer(MAX_PATH + 1, '\0');
    fileName.copy(buffer.data(), std::min(fileName.size(), static_cast<size_t>(MAX_PATH)));
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = m_state->DialogOwner();
    dialog.lpstrFilter = filter.empty() ? nullptr : filters.c_str();
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
    dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    const bool chosen = GetOpenFileNameA(&dialog) != 0;
    m_state->Rethrow();
    if (!chosen) return false;
    fileName = buffer.data();
    return true;
}

bool Win32Backend::SelectDirectoryDialog(std::string& directory, bool allowCreate) {
    // The dialog that offers a new folder needs COM on this thread.
    const bool com = SUCCEEDED(OleInitialize(nullptr));
    char display[MAX_PATH] = {};
    BROWSEINFOA browse{};
    browse.hwndOwner = m_state->DialogOwner();
    browse.pszDisplayName = display;
    browse.ulFlags =
        BIF_RETURNONLYFSDIRS | (allowCreate ? BIF_NEWDIALOGSTYLE : BIF_NONEWFOLDERBUTTON);
    browse.lpfn = &BrowseCallback;
    browse.lParam = directory.empty() ? 0 : reinterpret_cast<LPARAM>(directory.c_str());
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&browse);
    bool confirmed = false;
    if (chosen != nullptr) {
        char path[MAX_PATH] = {};
        if (SHGetPathFromIDListA(chosen, path)) {
            directory = path;
            confirmed = true;
        }
        CoTaskMemFree(chosen);
    }
    if (com) OleUninitialize();
    m_state->Rethrow();
    return confirmed;
}

}  // namespace pagorix::win32
