// The framework's foundation: text helpers, streams, string lists and the
// ownership of components.
#include <gtest/gtest.h>

#include "framework/component.h"
#include "framework/exceptions.h"
#include "framework/stream.h"
#include "framework/string_list.h"
#include "framework/sysutils.h"
#include "support/test_support.h"

namespace pagorix {
namespace {

TEST(Text, CaseMappingTouchesAsciiOnly) {
    EXPECT_EQ(UpperCase("page1.htm \xE9"), "PAGE1.HTM \xE9");
    EXPECT_EQ(LowerCase("DOCS\\INTRO.HTM"), "docs\\intro.htm");
    EXPECT_TRUE(SameText("Index.HTM", "index.htm"));
    EXPECT_LT(CompareText("a", "B"), 0);
    EXPECT_GT(CompareText("ab", "A"), 0);
    EXPECT_EQ(Format("%s (%d)", "x", 3), "x (3)");
}

TEST(Text, Cp1252RoundTripsThroughUtf8) {
    const struct {
        std::string cp1252;
        std::string utf8;
    } cases[] = {
        {"abc", "abc"},           {"\xE9t\xE9", "\xC3\xA9t\xC3\xA9"},
        {"\x80", "\xE2\x82\xAC"},  // euro sign
        {"\xA7", "\xC2\xA7"},     {"\x9F", "\xC5\xB8"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Cp1252ToUtf8(c.cp1252), c.utf8);
        const Cp1252Result back = Utf8ToCp1252(c.utf8);
        EXPECT_TRUE(back.ok);
        EXPECT_EQ(back.text, c.cp1252);
    }
}

TEST(Text, CharactersOutsideCp1252AreRefusedAndNamed) {
    const struct {
        std::string utf8;
        std::string offending;
    } cases[] = {
        {"ok \xE2\x86\x92 no", "\xE2\x86\x92"},    // an arrow
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},  // an emoji
        {"bad \xC3", "\xC3"},                      // cut short
        {"\x80", "\x80"},                          // a stray continuation byte
    };
    for (const auto& c : cases) {
        const Cp1252Result r = Utf8ToCp1252(c.utf8);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.offending, c.offending);
    }
}

// Runs `action`, which must raise E with `message`.
template <class E, class F>
void ExpectError(F action, const std::string& message) {
    try {
        action();
        ADD_FAILURE() << "no error; expected " << message;
    } catch (const E& e) {
        EXPECT_EQ(e.Message(), message);
    }
}

// Exact reads and writes that come up short raise, rather than leave a
// partly filled buffer or a partly written file unnoticed.
TEST(Streams, ShortExactReadsAndWritesRaise) {
    TMemoryStream memory(test::Bytes{1, 2, 3});
    std::uint8_t buffer[4];
    ExpectError<EReadError>([&] { memory.ReadBuffer(buffer, 4); }, "Erreur de lecture du flux");
    test::CountingStream full;
    full.writeLimit = 2;
    ExpectError<EWriteError>([&] { full.WriteBuffer("abc", 3); },
                             "Erreur d'\351criture dans le flux");  // \351: e acute
}

TEST(Streams, CopyFromWithCountZeroCopiesTheWholeSource) {
    const test::Bytes data = test::RandomBytes(150000, 3);
    TMemoryStream source(data);
    source.SetPosition(1000);
    test::CountingStream target;
    EXPECT_EQ(target.CopyFrom(source, 0), 150000);
    EXPECT_EQ(target.Bytes(), data);
    for (auto n : target.writes)
        EXPECT_LE(n, kMaxCopyChunk);

    source.SetPosition(10);
    TMemoryStream part;
    EXPECT_EQ(part.CopyFrom(source, 5), 5);
    EXPECT_EQ(part.Bytes(), test::Bytes(data.begin() + 10, data.begin() + 15));
}

TEST(Streams, FileStreamNamesTheFileItCannotOpenOrCreate) {
    test::TempDir dir;
    const std::string missing = dir / "missing" + platform::kPathDelim + "x";
    ExpectError<EFOpenError>([&] { TFileStream f(dir / "none", platform::fmOpenRead); },
                             "Ne peut ouvrir le fichier " + (dir / "none"));
    ExpectError<EFCreateError>([&] { TFileStream f(missing, platform::fmCreate); },
                               "Ne peut cr\351er le fichier " + missing);
}

TEST(StringList, TextSplitsOnEveryBreakAndJoinsWithCrLf) {
    TStringList list;
    list.SetText("a\r\nb\nc\rd\r\n");
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list[3], "d");
    EXPECT_EQ(list.Text(), "a\r\nb\r\nc\r\nd\r\n");
    ExpectError<EListError>([&] { (void)list.Strings(4); }, "Index de liste hors limites (4)");
}

TEST(StringList, SortedListsIgnoreCase) {
    TStringList list;
    list.SetSorted(true);
    for (const char* s : {"beta", "Alpha", "gamma", "ALPHA"})
        list.Add(s);
    EXPECT_EQ(list[0].size(), 5u);
    EXPECT_TRUE(SameText(list[0], "alpha"));
    EXPECT_EQ(list[2], "beta");
    int index = -1;
    EXPECT_TRUE(list.Find("GAMMA", index));
    EXPECT_EQ(index, 3);
    EXPECT_FALSE(list.Find("delta", index));
    EXPECT_EQ(index, 3);
    EXPECT_EQ(list.IndexOf("BETA"), 2);
}

class Recorder : public TComponent {
public:
    Recorder(TComponent* owner, std::vector<std::string>* log, std::string name)
        : TComponent(owner), m_log(log) {
        SetName(std::move(name));
    }
    ~Recorder() override { m_log->push_back(Name()); }

private:
    std::vector<std::string>* m_log;
};

TEST(Component, OwnerDestroysItsComponentsLastMadeFirst) {
    std::vector<std::string> destroyed;
    {
        TComponent form;
        form.CreateOwned<Recorder>(&destroyed, "texte");
        auto& second = form.CreateOwned<Recorder>(&destroyed, "jauge");
        EXPECT_EQ(second.Owner(), &form);
        EXPECT_EQ(form.ComponentCount(), 2);
        EXPECT_EQ(form.FindComponent("JAUGE"), &second);
    }
    EXPECT_EQ(destroyed, (std::vector<std::string>{"jauge", "texte"}));
}

}  // namespace
}  // namespace pagorix
