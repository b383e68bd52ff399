#include "launcher/manifest.h"

#include <gtest/gtest.h>

#include "framework/exceptions.h"
#include "support/test_support.h"

namespace pagorix {
namespace {

TMemoLines Load(const std::string& text) {
    TMemoLines lines;
    lines.SetText(text);
    return lines;
}

TEST(ManifestLines, EveryKindOfLineBreakGivesTheSameLines) {
    const char* texts[] = {
        "tool\r\nTitle\r\n\xA7\r\nindex.htm\r\nLoading\r\n\xA7\r\nBye\r\nbuilt\r\n1\r\n",
        "tool\nTitle\n\xA7\nindex.htm\nLoading\n\xA7\nBye\nbuilt\n1\n",
        "tool\rTitle\r\xA7\rindex.htm\rLoading\r\xA7\rBye\rbuilt\r1\r",
        "tool\r\nTitle\n\xA7\rindex.htm\r\nLoading\n\xA7\rBye\nbuilt\r1",
    };
    for (const char* text : texts) {
        const TMemoLines lines = Load(text);
        EXPECT_EQ(lines.Line(kLineTitle), "Title");
        EXPECT_TRUE(IsManifestSentinel(lines.Line(kLineIntroduction)));
        EXPECT_EQ(lines.Line(kLineStartPage), "index.htm");
        EXPECT_EQ(lines.Line(kLineStatus), "Loading");
        EXPECT_TRUE(IsManifestSentinel(lines.Line(kLinePassword)));
        EXPECT_EQ(lines.Line(kLineClosing), "Bye");
        EXPECT_EQ(lines.Line(kLineWindowStyle), "1");
        EXPECT_EQ(lines.Line(9), "");
    }
}

TEST(ManifestLines, MissingLinesReadAsEmptyTextNotAsTheSentinel) {
    const TMemoLines lines = Load("tool\nTitle\nIntro\nindex.htm\nStatus");
    for (int n : {5, 6, 8, 100, -1}) {
        EXPECT_EQ(lines.Line(n), "") << n;
        EXPECT_FALSE(IsManifestSentinel(lines.Line(n)));
    }
    EXPECT_EQ(ManifestWindowStyle(lines.Line(kLineWindowStyle)), ManifestWindow::Maximized);
}

TEST(ManifestLines, NulEndsTheText) {
    const std::string text("tool\nTitle\nIn\0tro\nindex.htm\n", 27);
    const TMemoLines lines = Load(text);
    EXPECT_EQ(lines.Line(kLineIntroduction), "In");
    EXPECT_EQ(lines.Line(kLineStartPage), "");
}

TEST(ManifestLines, LongLinesAreCutTo4096) {
    const TMemoLines lines = Load("tool\n" + std::string(10000, 'x') + "\nnext");
    EXPECT_EQ(lines.Line(1), std::string(4096, 'x'));
    EXPECT_EQ(lines.Line(2), "next");
}

// Breaks, NUL bytes and long lines as the memo reads them: LF then CR are two
// breaks (an empty line between), a NUL ends the text, a line is cut at 4,096.
TEST(ManifestLines, TextIsSplitAsTheMemoDoes) {
    const struct {
        std::string text;
        std::vector<std::string> lines;
    } cases[] = {
        {"a\n\rb\r\n\r\nc", {"a", "", "b", "", "c", ""}},
        {std::string("tool\nIn\0tro\nindex.htm\n", 22), {"tool", "In", ""}},
        {"tool\n" + std::string(10000, 'x') + "\nnext", {"tool", std::string(4096, 'x'), "next"}},
    };
    for (const auto& c : cases) {
        const TMemoLines lines = Load(c.text);
        for (size_t i = 0; i < c.lines.size(); ++i)
            EXPECT_EQ(lines.Line(static_cast<int>(i)), c.lines[i]) << i;
    }
    EXPECT_THROW(Load(std::string(kMemoCapacity + 1, 'x')), Exception);
}

TEST(ManifestLines, LoadingAMissingFileRaisesTheOpenError) {
    test::TempDir dir;
    TMemoLines lines;
    EXPECT_THROW(lines.LoadFromFile(dir / "PAGORIX.KBM"), EFOpenError);
    test::WriteFile(dir / "PAGORIX.KBM", std::string("a\r\nb"));
    lines.LoadFromFile(dir / "PAGORIX.KBM");
    EXPECT_EQ(lines.Line(1), "b");
}

TEST(ManifestSentinel, OnlyTheWholeLineCounts) {
    const struct {
        const char* line;
        bool sentinel;
    } cases[] = {
        {"\xA7", true}, {"\xA7 ", false},    {" \xA7", false},
        {"", false},    {"\xC2\xA7", false},  // the UTF-8 form is two bytes, not the sentinel
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsManifestSentinel(c.line), c.sentinel) << c.line;
}

TEST(ManifestWindowStyle, OnlyOneAndTwoAreNotMaximized) {
    const struct {
        const char* line;
        ManifestWindow style;
    } cases[] = {
        {"1", ManifestWindow::Normal},       {"2", ManifestWindow::Minimized},
        {"0", ManifestWindow::Maximized},    {"", ManifestWindow::Maximized},
        {"\xA7", ManifestWindow::Maximized}, {" 1", ManifestWindow::Maximized},
        {"1 ", ManifestWindow::Maximized},   {"01", ManifestWindow::Maximized},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ManifestWindowStyle(c.line), c.style) << c.line;
}

}  // namespace
}  // namespace pagorix
