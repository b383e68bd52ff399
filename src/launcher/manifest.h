// The book manifest "PAGORIX.KBM": one setting per line, read by index from
// the memo that holds it. Lines 2, 5 and 6 are optional and hold the sentinel
// "\xA7" (one byte) when absent; line 8 picks the started program's window.
#pragma once

#include <string>

#include "framework/memo_text.h"

namespace pagorix {

inline constexpr const char* kManifestName = "PAGORIX.KBM";
inline constexpr const char* kManifestSentinel = "\xA7";

// Line numbers of the manifest's settings.
enum ManifestLine : int {
    kLineTitle = 1,
    kLineIntroduction = 2,
    kLineStartPage = 3,
    kLineStatus = 4,
    kLinePassword = 5,
    kLineClosing = 6,
    kLineWindowStyle = 8,
};

enum class ManifestWindow { Normal, Minimized, Maximized };

// True only for a line whose whole text is the one sentinel byte.
bool IsManifestSentinel(const std::string& line);

// "1" gives Normal, "2" Minimized, any other text Maximized.
ManifestWindow ManifestWindowStyle(const std::string& line);

}  // namespace pagorix
