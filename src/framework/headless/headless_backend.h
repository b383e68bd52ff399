// The headless GUI backend: runs the framework deterministically without a
// display, for tests.
//
// Time is a virtual clock in milliseconds. It stands still while code runs
// and moves only when the main loop waits with nothing pending: it then jumps
// to the next timer or animation event. A 300 ms timer therefore fires at
// once in real time, after everything pending at its arming has been handled.
//
// A script given by the test answers the dialogs and acts at named moments:
//   - each dialog is matched against the unused answers by its kind and its
//     text (the prompt for input boxes; "*" matches any text); the first
//     match answers it and is used up. A dialog without an answer, and any
//     file or folder dialog, is a script failure;
//   - actions (press a button, close a form, call a function) are queued when
//     their moment comes (a timer is armed, a progress bar first reaches a
//     value, the n-th message pump) and run at the next message pump, as a
//     user's click waits in the host's queue.
// Everything a user would see is appended, in order, to the transcript, one
// line each:
//   title "T"                      the application title
//   window NAME shown "C" WxH      a form appears (caption, size)
//   window NAME hidden
//   label NAME "T"                 a label's text (at its window's creation too)
//   progress NAME P                a progress bar's new position
//   taskbar shown | taskbar hidden the application window, each request
//   anim NAME ACM_OPEN 0 "F" -> R  requests to the animation control, with
//   anim NAME ACM_PLAY W 0xLLLLLLLL  wParam (signed) and lParam; ACM_OPEN
//   anim NAME ACM_STOP 0 0x00000000  shows the file name and the answer
//   anim NAME ACN_START | ACN_STOP notifications sent back to the control
//   box KIND "CAPTION" ICON "TEXT" [B1|B2] -> ANSWER
//   input "CAPTION" "PROMPT" "DEFAULT" -> "TEXT" | Annuler
//   quit requested
//   press NAME | close NAME        script actions, when they run
//   idle                           the main loop had nothing left to wait for
// Boxes and input boxes that the framework closes at once after the quit
// request take no answer from the script; they are written with the answer
// "(closed at once)".
//
// A script failure (an unexpected dialog, an answer naming no button) is
// given to the failure handler; the default
// handler prints it and throws HeadlessScriptError, which the framework's
// event handling does not catch, so the test stops there.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/backend.h"

namespace pagorix::headless {

// Responses to a message box besides a button's text.
inline constexpr const char* kEnter = "<Enter>";
inline constexpr const char* kEscape = "<Escape>";
inline constexpr const char* kCloseBox = "<Close>";

struct HeadlessScriptError {
    std::string message;
};

struct ScriptAction {
    enum class Kind { Press, Close, Call };
    Kind kind = Kind::Call;
    std::string target;  // the button or form name
    std::function<void()> call;

    static ScriptAction Press(std::string buttonName) {
        return {Kind::Press, std::move(buttonName), {}};
    }
    static ScriptAction Close(std::string formName) {
        return {Kind::Close, std::move(formName), {}};
    }
    static ScriptAction Call(std::function<void()> fn) { return {Kind::Call, {}, std::move(fn)}; }
};

class HeadlessBackend : public Backend {
public:
    // Installs itself as the process's backend; the destructor puts back the
    // one that was installed before.
    HeadlessBackend();
    ~HeadlessBackend() override;
    HeadlessBackend(const HeadlessBackend&) = delete;
    HeadlessBackend& operator=(const HeadlessBackend&) = delete;

    // ---- The script ----
    // A message box of that kind ("error", "plain", "system", "exception",
    // "warning", "information", "confirmation") and text, answered with a
    // button's text, kEnter, kEscape or kCloseBox; `meanwhile` runs while the
    // box is open (what the reader does before answering).
    void Answer(const std::string& kind, const std::string& text, const std::string& response,
                std::function<void()> meanwhile = {});
    // The input box with that prompt: the text typed, then "OK".
    void AnswerInput(const std::string& prompt, const std::string& typed);
    // The input box left with "Annuler", kEscape or kCloseBox.
    void CancelInput(const std::string& prompt, const std::string& how = "Annuler");

    void WhenTimerArmed(const std::string& timerName, ScriptAction action);
    void WhenProgressReaches(const std::string& barName, int position, ScriptAction action);
    void AtPump(int pumpNumber, ScriptAction action);

    // ---- What happened ----
    const std::vector<std::string>& Transcript() const;
    // The transcript lines that start with prefix.
    std::vector<std::string> TranscriptOf(const std::string& prefix) const;
    void ClearTranscript();
    // The answers the script still holds, described.
    std::vector<std::string> UnusedAnswers() const;
    void SetFailureHandler(std::function<void(const std::string&)> handler);

    std::uint64_t Now() const;  // virtual milliseconds
    int Pumps() const;
    void SetScreen(int pixelsPerInch, int width, int height);

    // ---- Backend ----
    void ProcessMessages() override;
    bool WaitMessage() override;
    void Terminate() override;
    void TitleChanged(const std::string& title) override;
    int ShowMessageBox(const MessageBoxRequest& request) override;
    void MessageBoxClosedAtOnce(const MessageBoxRequest& request) override;
    void InputClosedAtOnce(const std::string& caption, const std::string& prompt,
                           const std::string& value) override;
    bool InputQuery(const std::string& caption, const std::string& prompt,
                    std::string& value) override;
    bool OpenFileDialog(const std::string& title, const std::string& filter,
                        const std::string& initialDir, std::string& fileName) override;
    bool SelectDirectoryDialog(std::string& directory, bool allowCreate) override;
    std::unique_ptr<NativeWindow> CreateNativeWindow(const TCreateParams& params,
                                                     WindowSink& sink) override;
    std::unique_ptr<HostTimer> StartTimer(const std::string& name, unsigned intervalMs,
                                          std::function<void()> onTick) override;
    int ScreenPixelsPerInch() override;
    int ScreenWidth() override;
    int ScreenHeight() override;
    void ShowApplicationWindow(int showCommand) override;

    struct State;  // shared with the windows and timers it made

private:
    std::shared_ptr<State> m_state;
    Backend* m_previous;
};

}  // namespace pagorix::headless
