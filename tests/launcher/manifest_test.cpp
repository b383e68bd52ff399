#include "launcher/manifest.h"

#include <gtest/gtest.h>

#include "framework/exceptions.h"

namespace pagorix {
namespace {

TMemoLines Load(const std::string& text) {
    TMemoLines lines;
    lines.SetText(text);
    return lines;
}

// Breaks, NUL bytes and long lines as the memo reads them: CR LF, LF and CR
// each end a line, LF then CR are two breaks (an empty line between), a NUL
// ends the text, a line is cut at 4,096; lines past the end read as empty
// text (not the sentinel).
TEST(ManifestLines, TextIsSplitAsTheMemoDoes) {
    const struct {
        std::string text;
        std::vector<std::string> lines;
    } cases[] = {
        {"a\r\nb\nc\rd\r\n\xA7", {"a", "b", "c", "d", "\xA7", ""}},
        {"a\n\rb\r\n\r\nc", {"a", "", "b", "", "c", ""}},
        {std::string("tool\nIn\0tro\nindex.htm\n", 22), {"tool", "In", ""}},
        {"tool\n" + std::string(10000, 'x') + "\nnext", {"tool", std::string(4096, 'x'), "next"}},
    };
    for (const auto& c : cases) {
        const TMemoLines lines = Load(c.text);
        for (size_t i = 0; i < c.lines.size(); ++i)
            EXPECT_EQ(lines.Line(static_cast<int>(i)), c.lines[i]) << i;
        EXPECT_EQ(lines.Line(100), "");
        EXPECT_EQ(lines.Line(-1), "");
    }
    EXPECT_THROW(Load(std::string(kMemoCapacity + 1, 'x')), Exception);
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
