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

// Standard input from /dev/null (nobody at the terminal) or from a
// pseudo-terminal that the test types into, and the backend drawing into a
// file.
class TerminalTest : public ::testing::Test {
protected:
    void Attach(bool reader) {
        Application().ResetState();
        if (reader) {
            ASSERT_EQ(::openpty(&m_master, &m_input, nullptr, nullptr, nullptr), 0);
        } else {
            m_input = ::open("/dev/null", O_RDONLY);
        }
        m_savedInput = ::dup(STDIN_FILENO);
        ::dup2(m_input, STDIN_FILENO);
        m_out = std::fopen((m_dir / "out").c_str(), "w+");
        m_backend = std::make_unique<terminal::TerminalBackend>(m_out);
    }
    void Detach() {
        if (m_out == nullptr) return;
        m_backend.reset();
        Application().ResetState();
        std::fclose(m_out);
        m_out = nullptr;
        ::dup2(m_savedInput, STDIN_FILENO);
        for (int fd : {m_savedInput, m_input, m_master})
            ::close(fd);
        m_master = -1;
    }
    ~TerminalTest() override { Detach(); }
    std::string Output() {
        std::fflush(m_out);
        return test::ReadText(m_dir / "out");
    }
    void Type(const std::string& keys) {
        EXPECT_EQ(::write(m_master, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    }

    test::TempDir m_dir;
    int m_savedInput = -1, m_input = -1, m_master = -1;
    std::FILE* m_out = nullptr;
    std::unique_ptr<terminal::TerminalBackend> m_backend;
};

TEST_F(TerminalTest, WithNobodyThereBoxesTakeTheirDefaultButton) {
    Attach(false);
    Application().SetTitle("Caf\xE9");  // Windows-1252, printed as UTF-8
    const struct {
        std::string title, text;  // title "": a message box, else the input box
        unsigned buttons;
        int result;
        std::string printed;
    } cases[] = {
        {"", "Read it?", mbYes | mbNo, mrYes,
         "\n[Caf\xC3\xA9]\nRead it?\n[O] Oui  [N] Non\n-> Oui\n"},
        {"Password", "Enter it:", 0, 0, "\n[Password]\nEnter it: -> OK\n"},
        // A book's text cannot steer the terminal: controls print as carets.
        {"", "\x1b]0;owned\x07\x1b[2J\x7f\x81 two\nlines", mbOK, mrOk,
         "\n[Caf\xC3\xA9]\n^[]0;owned^G^[[2J^?? two\nlines\n[O] OK\n-> OK\n"},
        {"A\rB", "C\x1b[1AD", 0, 0, "\n[A^MB]\nC^[[1AD -> OK\n"},
    };
    size_t seen = 0;
    for (const auto& c : cases) {
        if (c.title.empty()) {
            EXPECT_EQ(MessageDlg(c.text, TMsgDlgType::mtCustom, c.buttons), c.result);
        } else {
            EXPECT_EQ(InputBox(c.title, c.text, ""), "");
        }
        const std::string out = Output();
        EXPECT_EQ(out.substr(seen), c.printed);
        seen = out.size();
    }
}

// The splash window as the terminal draws it: a status label, a progress
// bar, and a Cancel button that ends the program; a guard ends it after two
// seconds should the button's letter go unheard.
void MakeStatusForm(bool& clicked) {
    TForm& form = Application().CreateForm<TForm>();
    form.SetCaption("Title");
    auto& label = form.CreateOwned<TLabel>();
    label.SetParent(&form);
    label.SetCaption("Loading");
    auto& bar = form.CreateOwned<TProgressBar>();
    bar.SetParent(&form);
    bar.SetPosition(55);
    auto& button = form.CreateOwned<TButton>();
    button.SetParent(&form);
    button.SetCaption("&Cancel");
    button.SetOnClick([&clicked](TComponent*) {
        clicked = true;
        Application().Terminate();
    });
    auto& guard = form.CreateOwned<TTimer>();
    guard.SetInterval(2000);
    guard.SetOnTimer([](TComponent*) { Application().Terminate(); });
}

// The boxes every backend answers alike (the terminal has no close box);
// Enter takes the default and an unknown letter asks again.
TEST_F(TerminalTest, BoxesTakeTheLetterTyped) {
    Attach(true);
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

// A form shows its status; a button's letter typed presses the button, and
// a form left waiting with nobody to answer is closed, which ends the
// program.
TEST_F(TerminalTest, FormShowsItsStatusAndTakesTheButtonsLetter) {
    for (const bool reader : {false, true}) {
        Attach(reader);
        bool clicked = false;
        MakeStatusForm(clicked);
        if (reader) Type("zc");  // a letter of no button, then Cancel's
        Application().Run();
        EXPECT_EQ(clicked, reader);
        EXPECT_EQ(Output(), "== Title ==\nLoading [################..............]  55%\n");
        Detach();
    }
}

}  // namespace
}  // namespace pagorix
