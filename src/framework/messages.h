// Window messages and styles that pass between controls and host windows.
// The numbers are those of the Windows API; the names avoid its macros.
#pragma once

#include <cstdint>

namespace pagorix {

struct TMessage {
    unsigned msg = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
    std::intptr_t result = 0;
};

// The record that kWmWindowPosChanging and kWmWindowPosChanged point to
// (lParam): position and size in the parent's coordinates.
struct TWindowPos {
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
};

inline constexpr unsigned kWmClose = 0x0010;
inline constexpr unsigned kWmWindowPosChanging = 0x0046;
inline constexpr unsigned kWmWindowPosChanged = 0x0047;
inline constexpr unsigned kWmCommand = 0x0111;
// A parent's kWmCommand handed back to the control that sent it.
inline constexpr unsigned kCnCommand = 0xBC00 + kWmCommand;
// The framework's notification that a control's colour changed.
inline constexpr unsigned kCmColorChanged = 0xB000 + 13;

// Notification code of a button click (in the high word of wParam).
inline constexpr unsigned kBnClicked = 0;

// The animation control's requests and notifications.
inline constexpr unsigned kAcmOpen = 0x0464;
inline constexpr unsigned kAcmPlay = 0x0465;
inline constexpr unsigned kAcmStop = 0x0466;
inline constexpr unsigned kAcnStart = 1;
inline constexpr unsigned kAcnStop = 2;
inline constexpr std::uint32_t kAcsCenter = 0x0001;
inline constexpr std::uint32_t kAcsTransparent = 0x0002;

// Window styles of forms.
inline constexpr std::uint32_t kWsPopup = 0x80000000;
inline constexpr std::uint32_t kWsCaption = 0x00C00000;
inline constexpr std::uint32_t kWsSysMenu = 0x00080000;
inline constexpr std::uint32_t kWsThickFrame = 0x00040000;
inline constexpr std::uint32_t kWsMinimizeBox = 0x00020000;
inline constexpr std::uint32_t kWsMaximizeBox = 0x00010000;
inline constexpr std::uint32_t kWsExDlgModalFrame = 0x00000001;

// Styles of labels and memos: a label that does not wrap its words, a memo
// that scrolls sideways instead of wrapping.
inline constexpr std::uint32_t kSsLeftNoWordWrap = 0x0000000C;
inline constexpr std::uint32_t kEsAutoHScroll = 0x00000080;

// Window class styles.
inline constexpr std::uint32_t kCsVRedraw = 0x0001;
inline constexpr std::uint32_t kCsHRedraw = 0x0002;

// ShowWindow commands.
inline constexpr int kSwHide = 0;
inline constexpr int kSwShow = 5;

constexpr std::uint16_t LoWord(std::uintptr_t v) {
    return static_cast<std::uint16_t>(v & 0xFFFF);
}
constexpr std::uint16_t HiWord(std::uintptr_t v) {
    return static_cast<std::uint16_t>((v >> 16) & 0xFFFF);
}
constexpr std::uintptr_t MakeWParam(std::uint16_t lo, std::uint16_t hi) {
    return static_cast<std::uintptr_t>(lo) | (static_cast<std::uintptr_t>(hi) << 16);
}

}  // namespace pagorix
