// The framework's own rules, run on the headless backend: the quit request,
// the default exception display, timers on the virtual clock, loading from a
// stored description, the show event, the dialogs and the script itself.
#include <gtest/gtest.h>

#include <new>

#include "framework/dialogs.h"
#include "framework/form.h"
#include "framework/headless_fixture.h"
#include "framework/stored_form.h"
#include "support/box_contract.h"

namespace pagorix {
namespace {

using headless::kCloseBox;
using headless::kEnter;
using headless::kEscape;
using headless::ScriptAction;
using V = TStoredValue;
using Lines = std::vector<std::string>;

class Framework : public test::HeadlessTest {};

// A form with a label, a button "b", a progress bar "bar" and a timer "tic"
// whose handlers the test sets.
struct TestForm : TForm {
    explicit TestForm(TComponent* owner) : TForm(owner) {
        DefineMethod("bClick", TNotifyEvent([this](TComponent*) { onClick(); }));
        DefineMethod("ticTimer", TNotifyEvent([this](TComponent*) { onTimer(); }));
        DefineMethod("FormShow", TNotifyEvent([this](TComponent*) { onShow(); }));
        ReadDescription({"TTestForm",
                         "main",
                         {{"Caption", V::Str("Pagorix 1.0")},
                          {"Width", V::Int(300)},
                          {"Height", V::Int(162)},
                          {"Position", V::Ident("poScreenCenter")},
                          {"OnShow", V::Ident("FormShow")}},
                         {{"TLabel", "texte", {{"Caption", V::Str("Initializing")}}, {}},
                          {"TButton", "b", {{"OnClick", V::Ident("bClick")}}, {}},
                          {"TProgressBar", "bar", {{"Max", V::Int(100)}}, {}},
                          {"TTimer",
                           "tic",
                           {{"Enabled", V::Bool(false)},
                            {"Interval", V::Int(300)},
                            {"OnTimer", V::Ident("ticTimer")}},
                           {}}}});
    }
    TLabel& texte() { return FindAs<TLabel>("texte"); }
    TProgressBar& bar() { return FindAs<TProgressBar>("bar"); }
    TTimer& tic() { return FindAs<TTimer>("tic"); }

    std::function<void()> onClick = [] {};
    std::function<void()> onTimer = [] {};
    std::function<void()> onShow = [] {};
};

TEST_F(Framework, QuitRequestLetsTheCallerGoOnAndClosesLaterDialogs) {
    Application().SetTitle("Livre");
    hb.Answer("plain", "before", "OK");
    EXPECT_EQ(MessageDlg("before", TMsgDlgType::mtCustom, mbOK), mrOk);
    Application().Terminate();
    EXPECT_TRUE(Application().Terminated());
    // Every dialog now closes at once with Cancel, without being shown.
    EXPECT_EQ(MessageDlg("after", TMsgDlgType::mtError, mbOK), mrCancel);
    EXPECT_EQ(MessageDlg("after", TMsgDlgType::mtCustom, mbYes | mbNo), mrCancel);
    EXPECT_EQ(ShowMessageBox("after", "Zip Error", kMbYesNo), kIdCancel);
    EXPECT_EQ(InputBox("Password protection", "p", "default"), "");
    std::string name = "x";
    EXPECT_FALSE(OpenFileDialog("Open a Zip File", "", "", name));
    EXPECT_FALSE(SelectDirectoryDialog(name, true));
    EXPECT_EQ(
        hb.Transcript(),
        (Lines{"title \"Livre\"", "box plain \"Livre\" none \"before\" [OK] -> OK",
               "quit requested", "box error \"Erreur\" stop \"after\" [OK] -> (closed at once)",
               "box plain \"Livre\" none \"after\" [&Oui|&Non] -> (closed at once)",
               "box system \"Zip Error\" none \"after\" [&Oui|&Non] -> (closed at once)",
               "input \"Password protection\" \"p\" \"default\" -> (closed at once)"}));
}

TEST_F(Framework, MainLoopEndsWhenItTakesTheQuitAndDestroysTheForms) {
    auto& form = Application().CreateForm<TestForm>();
    bool destroyed = false;
    struct Witness : TComponent {
        Witness(TComponent* owner, bool* flag) : TComponent(owner), m_flag(flag) {}
        ~Witness() override { *m_flag = true; }
        bool* m_flag;
    };
    form.CreateOwned<Witness>(&destroyed);
    bool after = false;
    form.onShow = [&] {
        Application().Terminate();
        after = true;  // the code that asks goes on
    };
    Application().Run();
    EXPECT_TRUE(after);
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(hb.TranscriptOf("window"), (Lines{"window main shown \"Pagorix 1.0\" 300x162"}));
}

// A timer disabled in its handler must not tick again (not even from a pump
// inside the handler), and the loop then ends with nothing left to wait for;
// one left enabled ticks every interval.
TEST_F(Framework, TimersTickEveryIntervalUntilDisabled) {
    for (const bool disable : {true, false}) {
        Application().ResetState();
        hb.ClearTranscript();
        auto& form = Application().CreateForm<TestForm>();
        std::vector<std::uint64_t> fired;
        const std::uint64_t start = hb.Now();
        form.onShow = [&] { form.tic().SetEnabled(true); };
        form.onTimer = [&] {
            fired.push_back(hb.Now() - start);
            if (disable) form.tic().SetEnabled(false);
            Application().ProcessMessages();
            if (fired.size() == 3) Application().Terminate();
        };
        Application().Run();
        using Ticks = std::vector<std::uint64_t>;
        EXPECT_EQ(fired, (disable ? Ticks{300} : Ticks{300, 600, 900}));
        EXPECT_EQ(hb.Transcript().back(), disable ? "idle" : "quit requested");
    }
}

TEST_F(Framework, ExceptionFromAHandlerIsShownAndTheLoopGoesOn) {
    struct Case {
        std::function<void()> raise;
        const char* shown;
    };
    const std::vector<Case> cases = {
        {[] { throw EReadError("User Aborted Operation"); }, "User Aborted Operation."},
        {[] { throw Exception("Already a sentence."); }, "Already a sentence."},
        {[] { throw std::bad_alloc(); }, "M\xE9moire insuffisante."},
        {[] { throw Exception(""); }, ""},
    };
    for (const Case& c : cases) {
        Application().ResetState();
        hb.ClearTranscript();
        Application().SetTitle("Mon livre");
        auto& form = Application().CreateForm<TestForm>();
        form.onClick = c.raise;
        bool later = false;
        form.onTimer = [&] {
            later = true;
            Application().Terminate();
        };
        form.onShow = [&] { form.tic().SetEnabled(true); };
        hb.WhenTimerArmed("tic", ScriptAction::Press("b"));
        hb.Answer("exception", c.shown, "OK");
        Application().Run();
        EXPECT_TRUE(later) << c.shown;
        EXPECT_EQ(hb.TranscriptOf("box"),
                  (Lines{std::string("box exception \"Mon livre\" stop \"") + c.shown +
                         "\" [OK] -> OK"}));
    }
}

TEST_F(Framework, ShowEventRunsBeforeTheWindowAppears) {
    auto& form = Application().CreateForm<TestForm>();
    form.onShow = [&] {
        form.SetCaption("Book");
        form.SetBounds(form.Left(), form.Top(), 375, 202);
        form.texte().SetCaption("Reading");
        Application().Terminate();
        throw Exception("late");  // reported; the window still appears
    };
    hb.Answer("exception", "late.", "OK");
    Application().Run();
    // The label's window is made with the form's, after the show event.
    EXPECT_EQ(hb.Transcript(),
              (Lines{"quit requested", "box exception \"\" stop \"late.\" [OK] -> OK",
                     "label texte \"Reading\"", "window main shown \"Book\" 375x202"}));
}

TEST_F(Framework, FormIsCentredWithTheSizeTheShowEventLeft) {
    hb.SetScreen(120, 1280, 1024);
    auto& form = Application().CreateForm<TestForm>();
    form.onShow = [&] { form.SetBounds(0, 0, 375, 202); };
    form.Show();
    EXPECT_EQ(form.Left(), (1280 - 375) / 2);
    EXPECT_EQ(form.Top(), (1024 - 202) / 2);
}

TEST_F(Framework, FormFrameAndTitleBarFromTheDescription) {
    struct Exposed : TForm {
        using TForm::CreateParams;
        using TForm::TForm;
    };
    struct Case {
        std::vector<TStoredProperty> properties;
        std::uint32_t style;
    };
    const std::vector<Case> cases = {
        {{}, kWsCaption | kWsThickFrame | kWsSysMenu | kWsMinimizeBox | kWsMaximizeBox},
        {{{"BorderIcons", V::Strings({"biSystemMenu"})}}, kWsCaption | kWsThickFrame | kWsSysMenu},
        {{{"BorderStyle", V::Ident("bsSingle")}, {"BorderIcons", V::Strings({"biSystemMenu"})}},
         kWsCaption | kWsSysMenu},
        {{{"BorderStyle", V::Ident("bsDialog")}}, kWsPopup | kWsCaption | kWsSysMenu},
        {{{"BorderStyle", V::Ident("bsNone")}}, kWsPopup},
    };
    for (const Case& c : cases) {
        Exposed form(nullptr);
        form.ReadDescription({"TForm", "f", c.properties, {}});
        TCreateParams params;
        form.CreateParams(params);
        EXPECT_EQ(params.kind, WindowKind::Form);
        EXPECT_EQ(params.style, c.style);
    }
}

// A component that reports what it sees while it is loaded.
struct Probe : TComponent {
    explicit Probe(TComponent* owner) : TComponent(owner) {}
    void ReadProperty(const std::string& name, const TStoredValue& value) override {
        if (name != "Value") return TComponent::ReadProperty(name, value);
        loadingWhenSet = Loading();
        timerArmedWhenSet = Owner()->FindAs<TTimer>("tic").Armed();
    }
    void Loaded() override {
        TComponent::Loaded();
        componentsAtLoaded = Owner()->ComponentCount();
        order().push_back(Name());
    }
    static std::vector<std::string>& order() {
        static std::vector<std::string> names;
        return names;
    }
    bool loadingWhenSet = false;
    bool timerArmedWhenSet = true;
    int componentsAtLoaded = 0;
};

TEST_F(Framework, SettersOnlyStoreWhileLoadingAndLoadedRunsAfterAllExist) {
    RegisterComponentClass<Probe>("TProbe");
    Probe::order().clear();
    TForm form(nullptr);
    form.DefineMethod("tick", TNotifyEvent([](TComponent*) {}));
    form.ReadDescription({"TForm",
                          "f",
                          {},
                          {{"TTimer", "tic", {{"OnTimer", V::Ident("tick")}}, {}},
                           {"TProbe", "first", {{"Value", V::Int(1)}}, {}},
                           {"TLabel", "l", {{"Caption", V::Str("x")}}, {}},
                           {"TProbe", "last", {{"Value", V::Int(2)}}, {}}}});
    auto& first = form.FindAs<Probe>("first");
    EXPECT_TRUE(first.loadingWhenSet);
    EXPECT_FALSE(first.timerArmedWhenSet);  // enabled and assigned, but still loading
    EXPECT_EQ(first.componentsAtLoaded, 4);
    EXPECT_EQ(Probe::order(), (Lines{"first", "last"}));
    EXPECT_FALSE(first.Loading());
    EXPECT_FALSE(form.Loading());
    EXPECT_TRUE(form.FindAs<TTimer>("tic").Armed());
    EXPECT_EQ(form.FindAs<TLabel>("l").Parent(), &form);
}

// The messages are in code page 1252 (\351 is an e with an acute accent).
TEST_F(Framework, BadDescriptionsFailWithTheReadersMessages) {
    struct Case {
        TStoredComponent child;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{"TFoo", "x", {}, {}}, "Classe TFoo non trouv\351e"},
        {{"TLabel", "x", {{"Bogus", V::Int(1)}}, {}}, "La propri\xE9t\xE9 Bogus n'existe pas"},
        {{"TButton", "x", {{"OnClick", V::Ident("nope")}}, {}}, "M\351thode nope non trouv\351e"},
        {{"TLabel", "x", {{"Caption", V::Int(3)}}, {}}, "Valeur de propri\xE9t\xE9 incorrecte"},
        {{"TTimer", "x", {{"Interval", V::Int(-1)}}, {}}, "Valeur de propri\xE9t\xE9 incorrecte"},
    };
    for (const Case& c : cases) {
        TForm form(nullptr);
        try {
            form.ReadDescription({"TForm", "f", {}, {c.child}});
            ADD_FAILURE() << "no error for " << c.message;
        } catch (const EReadError& error) {
            EXPECT_EQ(error.Message(), c.message);
        }
    }
}

// The boxes every backend answers alike, and the engine's system boxes with
// their own captions and Windows' results; the transcript shows what the
// reader saw.
TEST_F(Framework, MessageBoxesKeepTheContractOfEveryBackend) {
    Application().SetTitle("T");
    const char* const responses[] = {kEnter, kEscape, kCloseBox, "&Oui", "&Non"};
    for (const test::BoxContractRow& row : test::BoxContract()) {
        const char* kind = row.type == TMsgDlgType::mtError     ? "error"
                           : row.type == TMsgDlgType::mtWarning ? "warning"
                                                                : "plain";
        const char* response = responses[static_cast<int>(row.act)];
        hb.ClearTranscript();
        hb.Answer(kind, "Q", response);
        EXPECT_EQ(MessageDlg("Q", row.type, row.buttons), row.result) << row.name;
        const Lines box = hb.TranscriptOf("box");
        ASSERT_EQ(box.size(), 1u) << row.name;
        const std::string caption = *row.caption != 0 ? row.caption : "T";
        EXPECT_EQ(box[0].rfind(std::string("box ") + kind + " \"" + caption + "\"", 0), 0u)
            << box[0];
        EXPECT_NE(box[0].find(std::string("\"Q\" [") + row.buttonTexts + "] -> " + response),
                  std::string::npos)
            << box[0];
    }
    hb.ClearTranscript();
    hb.Answer("system", "Q", "&Oui");
    EXPECT_EQ(ShowMessageBox("Q", "File Exists Alert", kMbYesNo), kIdYes);
    hb.Answer("system", "Q", kEnter);
    EXPECT_EQ(ShowMessageBox("Q", "Zip Error", kMbOk), kIdOk);
    EXPECT_EQ(hb.TranscriptOf("box"),
              (Lines{"box system \"File Exists Alert\" none \"Q\" [&Oui|&Non] -> &Oui",
                     "box system \"Zip Error\" none \"Q\" [OK] -> <Enter>"}));
    EXPECT_TRUE(hb.UnusedAnswers().empty());
}

TEST_F(Framework, InputBoxKeeps255CharactersAndCancelGivesTheEmptyText) {
    hb.AnswerInput("p", std::string(300, 'a'));
    EXPECT_EQ(InputBox("c", "p", ""), std::string(255, 'a'));
    hb.CancelInput("p");
    EXPECT_EQ(InputBox("c", "p", "default"), "");
}

TEST_F(Framework, ProgressBarStaysWithinMinAndMax) {
    auto& form = Application().CreateForm<TestForm>();
    form.bar().SetPosition(150);
    EXPECT_EQ(form.bar().Position(), 100);
    form.bar().SetPosition(-5);
    EXPECT_EQ(form.bar().Position(), 0);
}

TEST_F(Framework, CloseBoxAsksTheFormAndClosingTheMainFormRequestsTheQuit) {
    auto& form = Application().CreateForm<TestForm>();
    int asked = 0;
    form.SetOnCloseQuery([&](TComponent*, bool& canClose) { canClose = ++asked > 1; });
    hb.AtPump(1, ScriptAction::Close("main"));
    hb.AtPump(2, ScriptAction::Close("main"));
    Application().Run();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(hb.TranscriptOf("close"), (Lines{"close main", "close main"}));
    EXPECT_EQ(hb.TranscriptOf("quit"), (Lines{"quit requested"}));
}

TEST_F(Framework, HaltEndsTheProgramFromInsideNestedPumps) {
    auto& form = Application().CreateForm<TestForm>();
    bool rest = false;
    form.onClick = [&] { Application().Halt(); };
    form.onShow = [&] { form.tic().SetEnabled(true); };
    form.onTimer = [&] {
        Application().ProcessMessages();  // the click runs in here and halts
        rest = true;
    };
    hb.WhenTimerArmed(
        "tic", ScriptAction::Call([&] { hb.AtPump(hb.Pumps() + 2, ScriptAction::Press("b")); }));
    Application().Run();
    EXPECT_FALSE(rest);
    EXPECT_TRUE(Application().Halted());
    EXPECT_EQ(Application().MainForm(), nullptr);
}

}  // namespace
}  // namespace pagorix
