#include <gtest/gtest.h>

#include "archive/entry_names.h"
#include "archive/match_pattern.h"
#include "archive/unzipper.h"
#include "archive_test_support.h"
#include "platform/platform.h"

namespace pagorix {
namespace {

using test::Bytes;
using test::EntryPlan;

TEST(EntryNames, CodePagesConvertToUtf8AndControlsAreEscaped) {
    struct Case {
        std::string stored;
        std::uint16_t codePage;
        std::string utf8;
    } cases[] = {
        {"caf\x82", kCodePage437, "caf\xC3\xA9"},                // é in code page 437
        {"\x9E\xB3", kCodePage437, "\xE2\x82\xA7\xE2\x94\x82"},  // ₧ │
        {"caf\x82", kCodePage850, "caf\xC3\xA9"},
        {"\x9B", kCodePage850, "\xC3\xB8"},  // ø (cent sign in 437)
        {"caf\xE9", kCodePage1252, "caf\xC3\xA9"},
        {"\x80", kCodePage1252, "\xE2\x82\xAC"},  // euro sign
        {"caf\xE9", kCodePageLatin1, "caf\xC3\xA9"},
        {"caf\x82", kCodePageAsStored, "caf\x82"},
        {"caf\xC3\xA9", kCodePageUtf8, "caf\xC3\xA9"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NameToUtf8(c.stored, c.codePage), c.utf8) << c.stored << " " << c.codePage;
    }
    EXPECT_EQ(EscapeControls("a\x1B[2Jb\x7F\xC2\x9B"
                             "c"),
              "a\\x1b[2Jb\\x7f\\x9bc");
    EXPECT_EQ(EscapeControls("a\tb", true), "a\tb");
    EXPECT_EQ(EscapeControls("a\tb"), "a\\x09b");
    std::uint16_t codePage = 0;
    EXPECT_TRUE(CodePageByName("CP1252", codePage));
    EXPECT_EQ(codePage, kCodePage1252);
    EXPECT_FALSE(CodePageByName("ebcdic", codePage));
}

// The file each name is written as on a host whose names are UTF-8.
TEST(EntryNames, NamesAreWrittenInUtf8FromTheArchivesCodePage) {
    if (platform::kPathDelim != '/') GTEST_SKIP() << "drive-letter hosts keep the stored bytes";
    constexpr std::uint16_t kDos = 20;
    constexpr std::uint16_t kUnix = 3 << 8 | 20;
    struct Case {
        const char* what;
        std::string stored;
        std::uint16_t flags;
        std::uint16_t madeBy;
        std::uint16_t codePage;
        bool dosHostsOnly;
        std::string written;
    } cases[] = {
        {"default: the stored bytes", "caf\x82", 0, kDos, kCodePageAsStored, false, "caf\x82"},
        {"code page 437", "caf\x82", 0, kDos, kCodePage437, false, "caf\xC3\xA9"},
        {"book names", "caf\xE9", 0, kDos, kCodePage1252, false, "caf\xC3\xA9"},
        {"UTF-8 flag", "caf\xC3\xA9", kFlagUtf8Name, kDos, kCodePage437, false, "caf\xC3\xA9"},
        {"Unix host, DOS only", "caf\xC3\xA9", 0, kUnix, kCodePage437, true, "caf\xC3\xA9"},
        {"DOS host, DOS only", "d\x82/caf\x82", 0, kDos, kCodePage437, true,
         "d\xC3\xA9/caf\xC3\xA9"},
    };
    test::BackendDouble backend;
    for (const Case& c : cases) {
        test::TempDir dir;
        EntryPlan plan{c.stored, Bytes(3, 'x')};
        plan.flags = c.flags;
        plan.versionMadeBy = c.madeBy;
        test::WriteFile(dir / "a.zip", test::BuildZip({plan}).bytes);
        TUnZipper zip;
        zip.SetZipName(dir / "a.zip");
        zip.SetDestDir(dir / "out");
        zip.DoAll = true;
        zip.RecreateDirs = true;
        zip.NameCodePage = c.codePage;
        zip.NameCodePageDosHostsOnly = c.dosHostsOnly;
        std::string written;
        zip.OnEndUnZip = [&](TUnZipper&, std::int32_t, const std::string& name) { written = name; };
        EXPECT_EQ(zip.UnZip(), 1) << c.what;
        EXPECT_EQ(written, dir / "out" + "/" + c.written) << c.what;
        EXPECT_TRUE(test::Exists(dir / "out" + "/" + c.written)) << c.what;
        zip.OpenZip();
        const TZipHeaderInfo& e = *zip.SortedView()->Entry(0);
        EXPECT_EQ(zip.HostEntryDir(e) + zip.HostEntryName(e),
                  c.written.find('/') == std::string::npos ? c.written : "d\xC3\xA9\\caf\xC3\xA9")
            << c.what;
    }
}

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
