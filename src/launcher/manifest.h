// The book manifest "PAGORIX.KBM": one setting per line, read by index from
// the memo that holds it. Lines 2, 5 and 6 are optional and hold the sentinel
// "\xA7" (one byte) when absent; line 8 picks the started program's window.
#pragma once

#include <string>

#include "book/book_format.h"
#include "framework/memo_text.h"

namespace pagorix {

// True only for a line whose whole text is the one sentinel byte.
bool IsManifestSentinel(const std::string& line);

// "1" gives Normal, "2" Minimized, any other text Maximized.
ManifestWindow ManifestWindowStyle(const std::string& line);

}  // namespace pagorix
