#include "framework/headless/headless_backend.h"

#include <algorithm>
#include <cstdio>
#include <deque>

#include "framework/avi_clip.h"
#include "framework/sysutils.h"

namespace pagorix::headless {

namespace {

std::string Quote(const std::string& text) {
    return "\"" + text + "\"";
}

// Names in the order of DialogKind and DialogIcon.
const char* const kKindNames[] = {"error", "warning", "information", "confirmation",
                                  "plain", "system",  "exception"};
const char* const kIconNames[] = {"none", "stop", "warning", "information", "question"};

struct DialogAnswer {
    std::string kind;  // a box kind or "input"
    std::string text;  // "*" for any
    std::string response;
    bool cancel = false;  // input boxes: left without confirming
    bool used = false;
    std::function<void()> meanwhile;  // runs while the box is open
};

struct Trigger {
    enum class Kind { TimerArmed, ProgressReaches, Pump } kind;
    std::string name;
    int value = 0;
    ScriptAction action;
    bool fired = false;
};

// The animation control's playing state.
struct Animation {
    TAviClip clip;
    bool open = false;
    bool playing = false;
    std::uint64_t stopAt = 0;  // 0: no end planned (plays without end)
};

struct WindowRecord {
    const NativeWindow* self = nullptr;
    TCreateParams params;
    WindowSink* sink = nullptr;
    bool visible = false;
    bool enabled = true;
    std::string text;
    int x = 0, y = 0, width = 0, height = 0;
    int position = 0;
    std::unique_ptr<Animation> animation;
};

struct TimerRecord {
    std::string name;
    unsigned interval = 0;
    std::uint64_t due = 0;
    std::function<void()> onTick;
};

}  // namespace

struct HeadlessBackend::State {
    std::vector<std::string> transcript;
    std::function<void(const std::string&)> failureHandler;
    std::vector<DialogAnswer> answers;
    std::vector<Trigger> triggers;
    std::deque<ScriptAction> queue;
    std::map<int, WindowRecord> windows;
    std::map<int, TimerRecord> timers;
    int nextId = 1;
    int focused = 0;  // the window with the keyboard focus, 0 for none
    std::uint64_t now = 0;
    int pumps = 0;
    int pixelsPerInch = 96;
    int screenWidth = 1024;
    int screenHeight = 768;

    void Record(std::string line) { transcript.push_back(std::move(line)); }

    void Fail(const std::string& message) {
        if (failureHandler) {
            failureHandler(message);
            return;
        }
        std::fprintf(stderr, "headless script failure: %s\n", message.c_str());
        throw HeadlessScriptError{message};
    }

    DialogAnswer* FindAnswer(const std::string& kind, const std::string& text) {
        for (DialogAnswer& answer : answers) {
            if (!answer.used && answer.kind == kind &&
                (answer.text == "*" || answer.text == text)) {
                answer.used = true;
                return &answer;
            }
        }
        return nullptr;
    }

    WindowRecord* FindWindow(const std::string& name, WindowKind kind) {
        for (auto& [id, window] : windows) {
            if (window.params.kind == kind && SameText(window.params.name, name)) return &window;
        }
        return nullptr;
    }

    bool OnScreen(const WindowRecord& window);

    void FireTriggers(Trigger::Kind kind, const std::string& name, int value) {
        for (Trigger& trigger : triggers) {
            if (trigger.fired || trigger.kind != kind) continue;
            if (kind != Trigger::Kind::Pump && !SameText(trigger.name, name)) continue;
            if (kind == Trigger::Kind::ProgressReaches && value < trigger.value) continue;
            if (kind == Trigger::Kind::Pump && value != trigger.value) continue;
            trigger.fired = true;
            queue.push_back(trigger.action);
        }
    }

    void RunAction(const ScriptAction& action) {
        switch (action.kind) {
            case ScriptAction::Kind::Call:
                if (action.call) action.call();
                break;
            case ScriptAction::Kind::Press:
            case ScriptAction::Kind::Close: {
                // A click on an enabled button on screen, or the close box of a shown form.
                const bool press = action.kind == ScriptAction::Kind::Press;
                WindowRecord* w =
                    FindWindow(action.target, press ? WindowKind::Button : WindowKind::Form);
                const bool onScreen =
                    w != nullptr && (press ? OnScreen(*w) && w->enabled : w->visible);
                Record((press ? "press " : "close ") + action.target +
                       (onScreen ? "" : " (not on screen)"));
                if (!onScreen) break;
                TMessage message = press ? TMessage{kCnCommand, MakeWParam(0, kBnClicked), 0, 0}
                                         : TMessage{kWmClose, 0, 0, 0};
                w->sink->HostMessage(message);
                break;
            }
        }
    }

    // The earliest moment something is planned for, if any.
    bool NextEvent(std::uint64_t& at) const {
        bool any = false;
        for (const auto& [id, timer] : timers) {
            if (!any || timer.due < at) at = timer.due;
            any = true;
        }
        for (const auto& [id, window] : windows) {
            if (window.animation && window.animation->playing && window.animation->stopAt != 0) {
                if (!any || window.animation->stopAt < at) at = window.animation->stopAt;
                any = true;
            }
        }
        return any;
    }

    void Notify(int id, unsigned code) {
        auto it = windows.find(id);
        if (it == windows.end()) return;
        Record("anim " + it->second.params.name + (code == kAcnStart ? " ACN_START" : " ACN_STOP"));
        TMessage message{kCnCommand, MakeWParam(0, static_cast<std::uint16_t>(code)), 0, 0};
        it->second.sink->HostMessage(message);
    }

    void RunDueEvents() {
        // Animations that ran out, then timers, each in the order of their moment.
        std::vector<int> stopping;
        for (auto& [id, window] : windows) {
            Animation* anim = window.animation.get();
            if (anim != nullptr && anim->playing && anim->stopAt != 0 && anim->stopAt <= now) {
                stopping.push_back(id);
            }
        }
        for (int id : stopping) {
            auto it = windows.find(id);
            if (it == windows.end() || !it->second.animation) continue;
            it->second.animation->playing = false;
            it->second.animation->stopAt = 0;
            Notify(id, kAcnStop);
        }
        std::vector<std::pair<std::uint64_t, int>> due;
        for (const auto& [id, timer] : timers) {
            if (timer.due <= now) due.emplace_back(timer.due, id);
        }
        std::sort(due.begin(), due.end());
        for (const auto& entry : due) {
            auto it = timers.find(entry.second);
            if (it == timers.end()) continue;  // stopped by an earlier handler
            it->second.due = now + std::max(1u, it->second.interval);
            std::function<void()> tick = it->second.onTick;  // the handler may stop the timer
            tick();
        }
    }
};

// Shown, and so is every parent up to a form.
bool HeadlessBackend::State::OnScreen(const WindowRecord& window) {
    const WindowRecord* w = &window;
    while (w != nullptr && w->visible) {
        if (w->params.parent == nullptr) return w->params.kind == WindowKind::Form;
        const WindowRecord* parent = nullptr;
        for (const auto& [id, other] : windows)
            if (other.self == w->params.parent) parent = &other;
        w = parent;
    }
    return false;
}

namespace {

std::string Hex32(std::uint32_t v) {
    return Format("0x%08X", v);
}

class HeadlessWindow : public NativeWindow {
public:
    HeadlessWindow(std::weak_ptr<HeadlessBackend::State> state, int id)
        : m_state(std::move(state)), m_id(id) {}
    ~HeadlessWindow() override {
        if (auto state = m_state.lock()) {
            state->windows.erase(m_id);
            if (state->focused == m_id) state->focused = 0;
        }
    }

    void SetBounds(int x, int y, int width, int height) override {
        WindowRecord* w = Record();
        if (w == nullptr) return;
        w->x = x;
        w->y = y;
        w->width = width;
        w->height = height;
    }

    void SetVisible(bool visible) override {
        WindowRecord* w = Record();
        if (w == nullptr || w->visible == visible) return;
        w->visible = visible;
        if (w->params.kind != WindowKind::Form) return;
        if (visible) {
            Log(Format("window %s shown %s %dx%d", w->params.name.c_str(), Quote(w->text).c_str(),
                       w->width, w->height));
        } else {
            Log("window " + w->params.name + " hidden");
        }
    }

    void SetText(const std::string& text) override {
        WindowRecord* w = Record();
        if (w == nullptr || w->text == text) return;
        w->text = text;
        if (w->params.kind == WindowKind::Label) Log("label " + w->params.name + " " + Quote(text));
    }

    void SetEnabled(bool enabled) override {
        if (WindowRecord* w = Record()) w->enabled = enabled;
    }

    void SetFocus() override {
        if (auto state = m_state.lock()) state->focused = m_id;
    }

    bool Focused() const override {
        auto state = m_state.lock();
        return state && state->focused == m_id;
    }

    void SetProgress(int /*min*/, int /*max*/, int position) override {
        WindowRecord* w = Record();
        if (w == nullptr || w->position == position) return;
        w->position = position;
        Log(Format("progress %s %d", w->params.name.c_str(), position));
        if (auto state = m_state.lock()) {
            state->FireTriggers(Trigger::Kind::ProgressReaches, w->params.name, position);
        }
    }

    std::intptr_t Send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override {
        auto state = m_state.lock();
        WindowRecord* w = Record();
        if (!state || w == nullptr || !w->animation) return 0;
        const std::string prefix = "anim " + w->params.name + " ";
        Animation& anim = *w->animation;
        switch (message) {
            case kAcmOpen: {
                anim.open = false;
                anim.playing = false;
                anim.stopAt = 0;
                std::string file;
                if (lParam != 0) {
                    file = reinterpret_cast<const char*>(lParam);
                    anim.open = anim.clip.LoadFromFile(file) == ClipStatus::Ok;
                }
                state->Record(prefix + "ACM_OPEN 0 " + (lParam != 0 ? Quote(file) : "null") +
                              " -> " + (anim.open ? "1" : "0"));
                const bool open = anim.open;
                if (open && (w->params.style & kAcsCenter) == 0) {
                    ResizeToClip(*w, anim.clip.Width(), anim.clip.Height());
                }
                return open ? 1 : 0;
            }
            case kAcmPlay: {
                const auto repeat = static_cast<std::int32_t>(wParam);
                state->Record(prefix + Format("ACM_PLAY %d ", repeat) +
                              Hex32(static_cast<std::uint32_t>(lParam)));
                if (!anim.open) return 0;
                const int last = anim.clip.FrameCount() - 1;
                const int from = LoWord(static_cast<std::uintptr_t>(lParam));
                int to = HiWord(static_cast<std::uintptr_t>(lParam));
                if (to == 0xFFFF) to = last;
                if (from > to || to > last) return 0;
                anim.playing = true;
                anim.stopAt = 0;
                if (repeat >= 0) {
                    const std::uint64_t frames =
                        static_cast<std::uint64_t>(to - from + 1) * std::max(1, repeat);
                    const std::uint64_t ms = std::max<std::uint64_t>(
                        1, frames * anim.clip.MicroSecondsPerFrame() / 1000);
                    anim.stopAt = state->now + ms;
                }
                state->Notify(m_id, kAcnStart);
                return 1;
            }
            case kAcmStop: {
                state->Record(prefix + Format("ACM_STOP %d ", static_cast<std::int32_t>(wParam)) +
                              Hex32(static_cast<std::uint32_t>(lParam)));
                if (anim.playing) {
                    anim.playing = false;
                    anim.stopAt = 0;
                    state->Notify(m_id, kAcnStop);
                }
                return 1;
            }
            default:
                return 0;
        }
    }

private:
    WindowRecord* Record() {
        auto state = m_state.lock();
        if (!state) return nullptr;
        auto it = state->windows.find(m_id);
        return it == state->windows.end() ? nullptr : &it->second;
    }

    void Log(std::string line) {
        if (auto state = m_state.lock()) state->Record(std::move(line));
    }

    // The control takes the clip's size when it does not centre it; the
    // control hears of it as of any move.
    void ResizeToClip(WindowRecord& w, int width, int height) {
        TWindowPos pos{w.x, w.y, width, height};
        TMessage changing{kWmWindowPosChanging, 0, reinterpret_cast<std::intptr_t>(&pos), 0};
        w.sink->HostMessage(changing);
        WindowRecord* again = Record();  // the handler may have destroyed the window
        if (again == nullptr) return;
        again->x = pos.x;
        again->y = pos.y;
        again->width = pos.cx;
        again->height = pos.cy;
        TMessage changed{kWmWindowPosChanged, 0, reinterpret_cast<std::intptr_t>(&pos), 0};
        again->sink->HostMessage(changed);
    }

    std::weak_ptr<HeadlessBackend::State> m_state;
    int m_id;
};

class HeadlessTimer : public HostTimer {
public:
    HeadlessTimer(std::weak_ptr<HeadlessBackend::State> state, int id)
        : m_state(std::move(state)), m_id(id) {}
    ~HeadlessTimer() override {
        if (auto state = m_state.lock()) state->timers.erase(m_id);
    }

private:
    std::weak_ptr<HeadlessBackend::State> m_state;
    int m_id;
};

}  // namespace

HeadlessBackend::HeadlessBackend() : m_state(std::make_shared<State>()) {
    SetBackend(this);
}

HeadlessBackend::~HeadlessBackend() {
    if (&CurrentBackend() == this) SetBackend(nullptr);
}

// ---- The script ----

void HeadlessBackend::Answer(const std::string& kind, const std::string& text,
                             const std::string& response, std::function<void()> meanwhile) {
    m_state->answers.push_back({kind, text, response, false, false, std::move(meanwhile)});
}

void HeadlessBackend::AnswerInput(const std::string& prompt, const std::string& typed) {
    m_state->answers.push_back({"input", prompt, typed, false, false, {}});
}

void HeadlessBackend::CancelInput(const std::string& prompt, const std::string& how) {
    m_state->answers.push_back({"input", prompt, how, true, false, {}});
}

void HeadlessBackend::WhenTimerArmed(const std::string& timerName, ScriptAction action) {
    m_state->triggers.push_back({Trigger::Kind::TimerArmed, timerName, 0, std::move(action)});
}

void HeadlessBackend::WhenProgressReaches(const std::string& barName, int position,
                                          ScriptAction action) {
    m_state->triggers.push_back(
        {Trigger::Kind::ProgressReaches, barName, position, std::move(action)});
}

void HeadlessBackend::AtPump(int pumpNumber, ScriptAction action) {
    m_state->triggers.push_back({Trigger::Kind::Pump, "", pumpNumber, std::move(action)});
}

// ---- What happened ----

const std::vector<std::string>& HeadlessBackend::Transcript() const {
    return m_state->transcript;
}

std::vector<std::string> HeadlessBackend::TranscriptOf(const std::string& prefix) const {
    std::vector<std::string> lines;
    for (const std::string& line : m_state->transcript) {
        if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    }
    return lines;
}

void HeadlessBackend::ClearTranscript() {
    m_state->transcript.clear();
}

std::vector<std::string> HeadlessBackend::UnusedAnswers() const {
    std::vector<std::string> unused;
    for (const DialogAnswer& answer : m_state->answers) {
        if (!answer.used) unused.push_back(answer.kind + " " + Quote(answer.text));
    }
    return unused;
}

void HeadlessBackend::SetFailureHandler(std::function<void(const std::string&)> handler) {
    m_state->failureHandler = std::move(handler);
}

std::uint64_t HeadlessBackend::Now() const {
    return m_state->now;
}
int HeadlessBackend::Pumps() const {
    return m_state->pumps;
}
void HeadlessBackend::SetScreen(int pixelsPerInch, int width, int height) {
    m_state->pixelsPerInch = pixelsPerInch;
    m_state->screenWidth = width;
    m_state->screenHeight = height;
}

// ---- Backend ----

void HeadlessBackend::ProcessMessages() {
    auto state = m_state;  // keeps the state alive while handlers run
    ++state->pumps;
    state->FireTriggers(Trigger::Kind::Pump, "", state->pumps);
    // What is pending now is handled; what handlers queue waits for the next pump.
    std::deque<ScriptAction> pending;
    pending.swap(state->queue);
    for (const ScriptAction& action : pending)
        state->RunAction(action);
    state->RunDueEvents();
}

bool HeadlessBackend::WaitMessage() {
    auto& state = *m_state;
    if (!state.queue.empty()) return true;
    std::uint64_t at = 0;
    if (state.NextEvent(at)) {
        state.now = std::max(state.now, at);
        return true;
    }
    // Nothing planned: pumps still come while the script waits for one.
    for (const Trigger& trigger : state.triggers) {
        if (!trigger.fired && trigger.kind == Trigger::Kind::Pump && trigger.value > state.pumps) {
            return true;
        }
    }
    state.Record("idle");
    return false;
}

void HeadlessBackend::Terminate() {
    m_state->Record("quit requested");
}

void HeadlessBackend::TitleChanged(const std::string& title) {
    m_state->Record("title " + Quote(title));
}

namespace {

std::string DescribeBox(const MessageBoxRequest& request) {
    std::string buttons;
    for (const std::string& b : request.buttons)
        buttons += (buttons.empty() ? "" : "|") + b;
    return std::string("box ") + kKindNames[static_cast<int>(request.kind)] + " " +
           Quote(request.caption) + " " + kIconNames[static_cast<int>(request.icon)] + " " +
           Quote(request.text) + " [" + buttons + "]";
}

std::string DescribeInput(const std::string& caption, const std::string& prompt,
                          const std::string& value) {
    return "input " + Quote(caption) + " " + Quote(prompt) + " " + Quote(value);
}

}  // namespace

void HeadlessBackend::MessageBoxClosedAtOnce(const MessageBoxRequest& request) {
    m_state->Record(DescribeBox(request) + " -> (closed at once)");
}

void HeadlessBackend::InputClosedAtOnce(const std::string& caption, const std::string& prompt,
                                        const std::string& value) {
    m_state->Record(DescribeInput(caption, prompt, value) + " -> (closed at once)");
}

int HeadlessBackend::ShowMessageBox(const MessageBoxRequest& request) {
    auto state = m_state;
    const std::string kind = kKindNames[static_cast<int>(request.kind)];
    const std::string shown = DescribeBox(request);
    DialogAnswer* answer = state->FindAnswer(kind, request.text);
    if (answer == nullptr) {
        state->Record(shown + " -> (no answer)");
        state->Fail("unexpected dialog: " + shown);
        return request.escapeResult;
    }
    // A copy: what runs meanwhile may add answers.
    const DialogAnswer chosen = *answer;
    if (chosen.meanwhile) chosen.meanwhile();
    state->Record(shown + " -> " + chosen.response);
    if (chosen.response == kEnter) {
        const auto index = static_cast<size_t>(request.defaultIndex);
        return index < request.results.size() ? request.results[index] : request.escapeResult;
    }
    if (chosen.response == kEscape) return request.escapeResult;
    if (chosen.response == kCloseBox) return request.closeResult;
    for (size_t i = 0; i < request.buttons.size() && i < request.results.size(); ++i) {
        if (request.buttons[i] == chosen.response) return request.results[i];
    }
    state->Fail("the answer " + Quote(chosen.response) + " names no button of: " + shown);
    return request.escapeResult;
}

bool HeadlessBackend::InputQuery(const std::string& caption, const std::string& prompt,
                                 std::string& value) {
    auto state = m_state;
    const std::string shown = DescribeInput(caption, prompt, value);
    DialogAnswer* answer = state->FindAnswer("input", prompt);
    if (answer == nullptr) {
        state->Record(shown + " -> (no answer)");
        state->Fail("unexpected dialog: " + shown);
        return false;
    }
    if (answer->cancel) {
        state->Record(shown + " -> " + answer->response);
        return false;
    }
    value = answer->response;
    state->Record(shown + " -> " + Quote(value));
    return true;
}

bool HeadlessBackend::OpenFileDialog(const std::string& title, const std::string& /*filter*/,
                                     const std::string& /*initialDir*/, std::string& /*fileName*/) {
    m_state->Fail("unexpected dialog: open " + Quote(title));
    return false;
}

bool HeadlessBackend::SelectDirectoryDialog(std::string& directory, bool /*allowCreate*/) {
    m_state->Fail("unexpected dialog: directory " + Quote(directory));
    return false;
}

std::unique_ptr<NativeWindow> HeadlessBackend::CreateNativeWindow(const TCreateParams& params,
                                                                  WindowSink& sink) {
    const int id = m_state->nextId++;
    auto window = std::make_unique<HeadlessWindow>(m_state, id);
    WindowRecord record;
    record.self = window.get();
    record.params = params;
    record.sink = &sink;
    record.visible = params.visible;
    record.enabled = params.enabled;
    record.text = params.caption;
    record.x = params.x;
    record.y = params.y;
    record.width = params.width;
    record.height = params.height;
    if (params.baseClassName == "SysAnimate32") record.animation = std::make_unique<Animation>();
    m_state->windows.emplace(id, std::move(record));
    if (params.kind == WindowKind::Label) {
        m_state->Record("label " + params.name + " " + Quote(params.caption));
    }
    return window;
}

std::unique_ptr<HostTimer> HeadlessBackend::StartTimer(const std::string& name, unsigned intervalMs,
                                                       std::function<void()> onTick) {
    const int id = m_state->nextId++;
    m_state->timers[id] = {name, intervalMs, m_state->now + std::max(1u, intervalMs),
                           std::move(onTick)};
    m_state->FireTriggers(Trigger::Kind::TimerArmed, name, 0);
    return std::make_unique<HeadlessTimer>(m_state, id);
}

int HeadlessBackend::ScreenPixelsPerInch() {
    return m_state->pixelsPerInch;
}
int HeadlessBackend::ScreenWidth() {
    return m_state->screenWidth;
}
int HeadlessBackend::ScreenHeight() {
    return m_state->screenHeight;
}

void HeadlessBackend::ShowApplicationWindow(int showCommand) {
    m_state->Record(showCommand != kSwHide ? "taskbar shown" : "taskbar hidden");
}

}  // namespace pagorix::headless
