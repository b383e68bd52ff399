#include <gtest/gtest.h>

#include "archive/match_pattern.h"

namespace pagorix {
namespace {

TEST(MatchPattern, ResultCodes) {
    const struct {
        const char* pattern;
        const char* text;
        int result;
    } cases[] = {
        {"*.htm", "INDEX.HTM", kMatchValid},
        {"*.ht?", "index.htm", kMatchValid},
        {"*", "", kMatchValid},
        {"*", "anything", kMatchValid},
        {"a?c", "abc", kMatchValid},
        {"a?c", "ac", kMatchAbort},
        {"abc", "abcd", kMatchEnd},
        {"abd", "abc", kMatchLiteral},
        {"[a-c]x", "bx", kMatchValid},
        {"[!a-c]x", "bx", kMatchRange},
        {"[^a-c]x", "dx", kMatchValid},
        {"[abc]x", "cx", kMatchValid},
        {"[abc]x", "dx", kMatchRange},
        {"[", "a", kMatchPatternErr},
        {"[]", "a", kMatchPatternErr},
        {"[a-", "a", kMatchPatternErr},
        {"[a-]", "a", kMatchPatternErr},
        {"[ab", "a", kMatchPatternErr},
        {"*.txt", "notes.htm", kMatchLiteral},
        {"docs\\*.htm", "docs\\intro.htm", kMatchValid},
        {"*\\intro.htm", "docs\\intro.htm", kMatchValid},
        {"a*b*c", "aXXbYYc", kMatchValid},
        {"a*b*c", "aXXbYY", kMatchLiteral},
        {"*[0-9].dat", "file7.dat", kMatchValid},
        {"*[0-9].dat", "file.dat", kMatchRange},
        {"", "", kMatchValid},
        {"", "x", kMatchEnd},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MatchPattern(c.pattern, c.text), c.result) << c.pattern << " vs " << c.text;
        EXPECT_EQ(Matches(c.pattern, c.text), c.result == kMatchValid) << c.pattern;
    }
}

}  // namespace
}  // namespace pagorix
