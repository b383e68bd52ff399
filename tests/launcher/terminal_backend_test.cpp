// The terminal backend with nobody at the terminal (standard input is not
// one): boxes are printed with the default button taken, the input box is
// confirmed empty, and a form left waiting is closed as its close box would.
#include "framework/terminal/terminal_backend.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <fcntl.h>
#include <cstdio>

#include "framework/application.h"
#include "framework/dialogs.h"
#include "framework/form.h"
#include "support/box_contract.h"
#include "support/test_support.h"

namespace pagorix {
namespace {

// Standard input taken from `input` for the test, and the backend drawing
// into a file.
class TerminalTest : public ::testing::Test {
protected:
    explicit TerminalTest(int input) {
        Application().ResetState();
        m_savedInput = ::dup(STDIN_FILENO);
        ::dup2(input, STDIN_FILENO);
        m_out = std::fopen((m_dir / "out").c_str(), "w+");
        m_backend = std::make_unique<terminal::TerminalBackend>(m_out);
    }
    ~TerminalTest() override {
        m_backend.reset();
        Application().ResetState();
        std::fclose(m_out);
        ::dup2(m_savedInput, STDIN_FILENO);
        ::close(m_savedInput);
    }
    std::string Output() {
        std::fflush(m_out);
        return test::ReadText(m_dir / "out");
    }

    test::TempDir m_dir;
    int m_savedInput = -1;
    std::FILE* m_out = nullptr;
    std::unique_ptr<terminal::TerminalBackend> m_backend;
};

// Standard input from /dev/null.
class NobodyAtTheTerminal : public TerminalTest {
protected:
    NobodyAtTheTerminal() : TerminalTest(OpenNull()) {}
    ~NobodyAtTheTerminal() override { ::close(s_null); }
    static int OpenNull() { return s_null = ::open("/dev/null", O_RDONLY); }
    static inline int s_null = -1;
};

TEST_F(NobodyAtTheTerminal, BoxesTakeTheirDefaultButton) {
    Application().SetTitle("Caf\xE9");  // Windows-1252, printed as UTF-8
    const struct {
        std::function<int()> show;
        int result;
        std::string printed;
    } cases[] = {
        {[] { return MessageDlg("Read it?", TMsgDlgType::mtCustom, mbYes | mbNo); }, mrYes,
         "\n[Caf\xC3\xA9]\nRead it?\n[O] Oui  [N] Non\n-> Oui\n"},
        {[] { return MessageDlg("Disk full", TMsgDlgType::mtError, mbOK); }, mrOk,
         "\n[Erreur]\nDisk full\n[O] OK\n-> OK\n"},
        {[] { return InputBox("Password", "Enter it:", "").empty() ? 1 : 0; }, 1,
         "\n[Password]\nEnter it: -> OK\n"},
        // A book's text cannot steer the terminal: controls print as carets.
        {[] {
             return MessageDlg("\x1b]0;owned\x07\x1b[2J\x7f\x81 two\nlines", TMsgDlgType::mtCustom,
                               mbOK);
         },
         mrOk, "\n[Caf\xC3\xA9]\n^[]0;owned^G^[[2J^?? two\nlines\n[O] OK\n-> OK\n"},
        {[] { return InputBox("A\rB", "C\x1b[1AD", "").empty() ? 1 : 0; }, 1,
         "\n[A^MB]\nC^[[1AD -> OK\n"},
    };
    size_t seen = 0;
    for (const auto& c : cases) {
        EXPECT_EQ(c.show(), c.result);
        const std::string out = Output();
        EXPECT_EQ(out.substr(seen), c.printed);
        seen = out.size();
    }
}

// A form with a status label and a progress bar.
struct StatusForm : TForm {
    explicit StatusForm(TComponent* owner) : TForm(owner) {
        ReadDescription({"TStatusForm",
                         "status",
                         {{"Caption", TStoredValue::Str("Title")}},
                         {{"TLabel", "texte", {{"Caption", TStoredValue::Str("Loading")}}, {}},
                          {"TProgressBar", "jauge", {}, {}}}});
        SetOnShow([this](TComponent*) { FindAs<TProgressBar>("jauge").SetPosition(55); });
    }
};

TEST_F(NobodyAtTheTerminal, FormShowsItsStatusAndIsClosedWhenNobodyCanAnswer) {
    Application().CreateForm<StatusForm>();
    Application().Run();  // returns: the form was closed, which ends the program
    EXPECT_EQ(Output(), "== Title ==\nLoading [################..............]  55%\n");
}

// Standard input is a pseudo-terminal that the test types into.
class ReaderAtTheTerminal : public TerminalTest {
protected:
    ReaderAtTheTerminal() : TerminalTest(OpenPty()) {}
    ~ReaderAtTheTerminal() override {
        for (int fd : {s_master, s_slave})
            ::close(fd);
    }
    static int OpenPty() {
        EXPECT_EQ(::openpty(&s_master, &s_slave, nullptr, nullptr, nullptr), 0);
        return s_slave;
    }
    void Type(const std::string& keys) {
        EXPECT_EQ(::write(s_master, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    }
    static inline int s_master = -1, s_slave = -1;
};

// The boxes every backend answers alike (the terminal has no close box);
// Enter takes the default and an unknown letter asks again.
TEST_F(ReaderAtTheTerminal, BoxesTakeTheLetterTyped) {
    const char* const typed[] = {"\n", "\x1b\n", nullptr, "O\n", "x\nn\n"};
    Application().SetTitle("T");
    for (const test::BoxContractRow& row : test::BoxContract()) {
        const char* keys = typed[static_cast<int>(row.act)];
        if (keys == nullptr) continue;
        Type(keys);
        EXPECT_EQ(MessageDlg("Q", row.type, row.buttons), row.result) << row.name;
        const std::string out = Output();
        const std::string caption = *row.caption != 0 ? row.caption : "T";
        EXPECT_NE(out.rfind("[" + caption + "]\nQ\n"), std::string::npos) << row.name;
    }
    // Typed in UTF-8, taken in Windows-1252; "?" for what it cannot hold.
    const struct {
        std::string typed, value;
    } inputs[] = {
        {"Open sesame\n", "Open sesame"},
        {"p\xC3\xA4sswort \xE2\x82\xAC\n", "p\xE4sswort \x80"},
        {"\xCE\xA9mega\n", "?mega"},
        {"caf\xE9\n", "caf\xE9"},  // a Latin-1 terminal's byte is kept
    };
    for (const auto& c : inputs) {
        Type(c.typed);
        EXPECT_EQ(InputBox("Password", "Enter it:", ""), c.value) << c.typed;
    }
    Type("\x1b\n");
    EXPECT_EQ(InputBox("Password", "Enter it:", "x"), "");  // Escape is "Annuler"
}

// A form with a Cancel button that ends the program, and a guard that ends
// it after two seconds should the key go unheard.
struct CancelForm : TForm {
    CancelForm(TComponent* owner, bool& clicked) : TForm(owner) {
        DefineMethod("click", TNotifyEvent([&clicked](TComponent*) {
                         clicked = true;
                         Application().Terminate();
                     }));
        DefineMethod("guard", TNotifyEvent([](TComponent*) { Application().Terminate(); }));
        ReadDescription(
            {"TCancelForm",
             "cancel",
             {{"Caption", TStoredValue::Str("Title")}},
             {{"TButton",
               "bcancel",
               {{"Caption", TStoredValue::Str("&Cancel")},
                {"OnClick", TStoredValue::Ident("click")}},
               {}},
              {"TTimer",
               "guard",
               {{"Interval", TStoredValue::Int(2000)}, {"OnTimer", TStoredValue::Ident("guard")}},
               {}}}});
    }
};

TEST_F(ReaderAtTheTerminal, ButtonLetterPressesTheButton) {
    bool clicked = false;
    Application().CreateForm<CancelForm>(clicked);
    Type("zc");  // a letter of no button, then Cancel's
    Application().Run();
    EXPECT_TRUE(clicked);
}

}  // namespace
}  // namespace pagorix
