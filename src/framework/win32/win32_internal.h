// Shared between the Win32 backend's files; not part of its interface.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "framework/win32/win32_backend.h"

namespace pagorix::win32 {

// Framework font: "MS Sans Serif", height -11 at 96 pixels per inch.
inline constexpr const char* kFontName = "MS Sans Serif";
inline constexpr int kFontHeight = -11;
inline constexpr int kDesignPixelsPerInch = 96;

struct Win32Backend::State {
    HINSTANCE instance = nullptr;
    HWND appWindow = nullptr;
    HFONT font = nullptr;
    int pixelsPerInch = kDesignPixelsPerInch;
    HCURSOR cursor = nullptr;  // null: each window's own
    std::map<UINT_PTR, std::function<void()>> timers;
    UINT_PTR nextTimer = 1;
    // Dialogs of ours that are open, innermost last.
    std::vector<HWND> dialogs;
    std::function<void(std::intptr_t)> dialogObserver;
    // What left a handler inside a window procedure, to be thrown again.
    std::exception_ptr pending;

    // Keeps what leaves `handler` for later and ends our open dialogs, so
    // that control gets back to our code.
    template <class F>
    void Trap(F&& handler) {
        try {
            handler();
        } catch (...) {
            if (!pending) pending = std::current_exception();
            for (HWND dialog : dialogs)
                EndDialog(dialog, 0);
        }
    }
    // Throws what Trap kept, once.
    void Rethrow() {
        if (pending) {
            std::exception_ptr e = pending;
            pending = nullptr;
            std::rethrow_exception(e);
        }
    }
    // The window that owns a new dialog: the active window of ours, else the
    // application window.
    HWND DialogOwner() const;
};

// The one backend state (a program has one Win32 backend at a time).
Win32Backend::State* TheState();

}  // namespace pagorix::win32
