// The wildcard matcher that selects entries by name: "*" any run of
// characters, "?" one character, "[set]" with ranges a-z and negation by "!"
// or "^". Case is ignored. Positions are 1-based as the algorithm is written;
// a position past the end reads as no character (0), so no read ever leaves
// the strings.
#pragma once

#include <string>

namespace pagorix {

// Result codes of MatchPattern.
inline constexpr int kMatchValid = 1;
inline constexpr int kMatchEnd = 2;         // text longer than the pattern
inline constexpr int kMatchAbort = 3;       // text shorter than the pattern
inline constexpr int kMatchRange = 4;       // character not in the set
inline constexpr int kMatchLiteral = 5;     // character mismatch
inline constexpr int kMatchPatternErr = 6;  // malformed set

int MatchPattern(std::string pattern, std::string text);
// pattern begins with "*"; 0 when no attempt ran to its end.
int MatchStar(std::string pattern, std::string text);
bool Matches(const std::string& pattern, const std::string& text);

}  // namespace pagorix
