#include "archive/match_pattern.h"

#include "framework/sysutils.h"

namespace pagorix {

namespace {

// The character at a 1-based position, or 0 past either end.
unsigned char At(const std::string& s, size_t i) {
    return i >= 1 && i <= s.size() ? static_cast<unsigned char>(s[i - 1]) : 0;
}

}  // namespace

int MatchPattern(std::string p, std::string t) {
    p = LowerCase(p);
    t = LowerCase(t);
    size_t i = 1;
    size_t j = 1;
    int r = 0;
    while (r == 0 && i <= p.size()) {
        if (j > t.size()) {
            r = At(p, i) == '*' && i == p.size() ? kMatchValid : kMatchAbort;
            break;
        }
        const unsigned char c = At(p, i);
        if (c == '*') {
            r = MatchStar(p.substr(i - 1), t.substr(j - 1));
        } else if (c == '[') {
            ++i;
            bool negated = false;
            if (At(p, i) == '!' || At(p, i) == '^') {
                negated = true;
                ++i;
            }
            if (At(p, i) == ']') {
                r = kMatchPatternErr;
            } else {
                bool found = false;
                while (!found && At(p, i) != ']') {
                    size_t lo = i;
                    size_t hi = i;
                    ++i;
                    if (i > p.size()) {
                        r = kMatchPatternErr;
                        break;
                    }
                    if (At(p, i) == '-') {
                        ++i;
                        hi = i;
                        if (i > p.size() || At(p, i) == ']') {
                            r = kMatchPatternErr;
                            break;
                        }
                        ++i;
                    }
                    if (i > p.size()) {
                        r = kMatchPatternErr;
                        break;
                    }
                    const unsigned char ch = At(t, j);
                    if (hi > lo) {
                        found = At(p, lo) <= ch && ch <= At(p, hi);
                    } else {
                        found = ch == At(p, lo);
                    }
                }
                if (r == 0) {
                    if (found == negated) r = kMatchRange;
                    if (found) {
                        while (i <= p.size() && At(p, i) != ']')
                            ++i;
                        if (i > p.size()) r = kMatchPatternErr;
                    }
                }
            }
        } else if (c != '?' && c != At(t, j)) {
            r = kMatchLiteral;
        }
        ++i;
        ++j;
    }
    if (r == 0) r = j > t.size() ? kMatchValid : kMatchEnd;
    return r;
}

int MatchStar(std::string p, std::string t) {
    int r = 0;
    size_t i = 1;
    size_t j = 1;
    while ((j <= t.size() && i < p.size() && At(p, i) == '?') || At(p, i) == '*') {
        if (At(p, i) == '?') ++j;
        ++i;
    }
    if (j > t.size()) {
        r = kMatchAbort;
    } else if (i > p.size()) {
        r = kMatchValid;
    } else {
        do {
            if (At(p, i) == At(t, j) || At(p, i) == '[') {
                // Cutting both strings makes the next attempt start one text
                // character further on with the same pattern rest.
                p = p.substr(i - 1);
                t = t.substr(j - 1);
                i = 1;
                j = 1;
                r = MatchPattern(p, t);
            }
            ++j;
        } while (r != kMatchValid && j <= t.size());
    }
    return r;
}

bool Matches(const std::string& pattern, const std::string& text) {
    return MatchPattern(pattern, text) == kMatchValid;
}

}  // namespace pagorix
