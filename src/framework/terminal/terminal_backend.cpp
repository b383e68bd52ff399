#include "framework/terminal/terminal_backend.h"

#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <deque>
#include <map>
#include <vector>

#include "framework/sysutils.h"

namespace pagorix::terminal {

namespace {

constexpr int kBarWidth = 30;
constexpr char kEscape = 0x1B;
constexpr char kSpinner[] = "|/-\\";

volatile sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) {
    g_interrupted = 1;
}

std::uint64_t NowMs() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// The letter that answers a button: the one after "&", else the first.
char ButtonLetter(const std::string& caption) {
    const size_t amp = caption.find('&');
    const char c = amp != std::string::npos && amp + 1 < caption.size()
                       ? caption[amp + 1]
                       : (caption.empty() ? '\0' : caption[0]);
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// A text of the book's, safe to print: control characters are shown in
// caret notation ("^[" for Escape), so no text can move the cursor, clear
// the screen or retitle the terminal; the bytes that Windows-1252 leaves
// unused would print as C1 controls and become "?". A box's text may keep
// its line breaks.
std::string Printable(const std::string& cp1252, bool keepLineBreaks = false) {
    std::string out;
    for (const char c : cp1252) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n' && keepLineBreaks) {
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            out += '^';
            out += static_cast<char>(byte ^ 0x40);
        } else if (byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D) {
            out += '?';
        } else {
            out += c;
        }
    }
    return out;
}

std::string WithoutAmpersand(const std::string& caption) {
    std::string out;
    for (char c : caption)
        if (c != '&') out += c;
    return Printable(out);
}

struct Window {
    TCreateParams params;
    WindowSink* sink = nullptr;
    bool visible = false;
    std::string text;
    int position = 0, min = 0, max = 100;
    bool playing = false;  // animation controls
};

struct Timer {
    unsigned interval = 0;
    std::uint64_t due = 0;
    std::function<void()> onTick;
};

}  // namespace

struct TerminalBackend::State {
    std::FILE* out = stdout;
    bool inputIsTerminal = false;
    bool outputIsTerminal = false;
    bool rawMode = false;
    termios saved{};
    std::map<int, Window> windows;
    std::map<int, Timer> timers;
    int nextId = 1;
    std::deque<char> keys;
    bool statusShown = false;  // a status line is on screen (terminal only)
    std::string lastStatus;
    int lastTenth = -1;
    unsigned spin = 0;
    bool closedForNobody = false;

    void Print(const std::string& cp1252) {
        const std::string text = Cp1252ToUtf8(cp1252);
        std::fwrite(text.data(), 1, text.size(), out);
        std::fflush(out);
    }

    // Ends a status line drawn in place, before anything else is printed.
    void BreakStatus() {
        if (statusShown) Print("\n");
        statusShown = false;
    }

    void SetRaw(bool raw) {
        if (!inputIsTerminal || raw == rawMode) return;
        if (raw) {
            termios t = saved;
            t.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
            t.c_cc[VMIN] = 0;
            t.c_cc[VTIME] = 0;
            tcsetattr(STDIN_FILENO, TCSANOW, &t);
        } else {
            tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        }
        rawMode = raw;
    }

    Window* VisibleForm() {
        for (auto& [id, w] : windows)
            if (w.params.kind == WindowKind::Form && w.visible) return &w;
        return nullptr;
    }

    // Whether the window and the form it sits on are visible.
    bool Shown(const Window& w) {
        if (!w.visible) return false;
        for (auto& [id, other] : windows) {
            if (other.params.kind == WindowKind::Form && other.visible) return true;
        }
        return false;
    }

    void DrawStatus() {
        Window* form = VisibleForm();
        if (form == nullptr) return;
        std::string label;
        const Window* bar = nullptr;
        bool playing = false;
        for (auto& [id, w] : windows) {
            if (!w.visible) continue;
            if (w.params.kind == WindowKind::Label && label.empty()) label = w.text;
            if (w.params.kind == WindowKind::ProgressBar && bar == nullptr) bar = &w;
            if (w.playing) playing = true;
        }
        int percent = 0;
        if (bar != nullptr && bar->max > bar->min) {
            percent = (bar->position - bar->min) * 100 / (bar->max - bar->min);
        }
        percent = std::clamp(percent, 0, 100);
        const int filled = percent * kBarWidth / 100;
        std::string gauge = "[";
        gauge.append(static_cast<size_t>(filled), '#');
        gauge.append(static_cast<size_t>(kBarWidth - filled), '.');
        gauge += Format("] %3d%%", percent);
        if (outputIsTerminal) {
            std::string line = "\r\x1b[K";
            line += playing ? kSpinner[spin++ % 4] : ' ';
            line += ' ';
            line += Printable(label);
            line += ' ';
            line += gauge;
            Print(line);
            statusShown = true;
            return;
        }
        const int tenth = percent / 10;
        if (label == lastStatus && tenth == lastTenth) return;
        lastStatus = label;
        lastTenth = tenth;
        std::string line = Printable(label);
        line += ' ';
        line += gauge;
        line += '\n';
        Print(line);
    }

    void FormShown(const Window& form) {
        BreakStatus();
        Print("== " + Printable(form.text) + " ==\n");
        lastStatus.clear();
        lastTenth = -1;
        DrawStatus();
        SetRaw(true);
    }

    void FormHidden() {
        BreakStatus();
        SetRaw(false);
    }

    void Send(Window& w, TMessage message) {
        WindowSink* sink = w.sink;
        sink->HostMessage(message);
    }

    // Keys typed while a form is on screen: a button's letter presses it,
    // Escape closes the form.
    void ReadKeys() {
        if (!rawMode) return;
        char c;
        while (::read(STDIN_FILENO, &c, 1) == 1)
            keys.push_back(c);
    }

    void HandleKeys() {
        while (!keys.empty()) {
            const char c = keys.front();
            keys.pop_front();
            if (c == kEscape) {
                Close();
                continue;
            }
            const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            for (auto& [id, w] : windows) {
                if (w.params.kind == WindowKind::Button && Shown(w) && w.params.enabled &&
                    ButtonLetter(w.text) == letter) {
                    const int target = id;
                    TMessage click{kCnCommand, MakeWParam(0, kBnClicked), 0, 0};
                    auto it = windows.find(target);
                    if (it != windows.end()) Send(it->second, click);
                    break;
                }
            }
        }
    }

    void Close() {
        for (auto& [id, w] : windows) {
            if (w.params.kind == WindowKind::Form && w.visible) {
                Send(w, TMessage{kWmClose, 0, 0, 0});
                return;
            }
        }
    }

    void RunDueTimers() {
        const std::uint64_t now = NowMs();
        std::vector<std::pair<std::uint64_t, int>> due;
        for (const auto& [id, t] : timers)
            if (t.due <= now) due.emplace_back(t.due, id);
        std::sort(due.begin(), due.end());
        for (const auto& [at, id] : due) {
            auto it = timers.find(id);
            if (it == timers.end()) continue;  // stopped by an earlier handler
            it->second.due = now + std::max(1u, it->second.interval);
            std::function<void()> tick = it->second.onTick;  // the handler may stop the timer
            tick();
        }
    }
};

namespace {

class TerminalWindow : public NativeWindow {
public:
    TerminalWindow(std::weak_ptr<TerminalBackend::State> state, int id)
        : m_state(std::move(state)), m_id(id) {}
    ~TerminalWindow() override {
        auto state = m_state.lock();
        if (!state) return;
        auto it = state->windows.find(m_id);
        if (it == state->windows.end()) return;
        const bool form = it->second.params.kind == WindowKind::Form && it->second.visible;
        state->windows.erase(it);
        if (form) state->FormHidden();
    }

    void SetVisible(bool visible) override {
        With([&](TerminalBackend::State& s, Window& w) {
            if (w.visible == visible) return;
            w.visible = visible;
            if (w.params.kind != WindowKind::Form) {
                s.DrawStatus();
            } else if (visible) {
                s.FormShown(w);
            } else {
                s.FormHidden();
            }
        });
    }

    void SetText(const std::string& text) override {
        With([&](TerminalBackend::State& s, Window& w) {
            if (w.text == text) return;
            w.text = text;
            if (w.params.kind == WindowKind::Form && w.visible) {
                s.BreakStatus();
                s.Print("== " + Printable(text) + " ==\n");
            } else if (w.params.kind == WindowKind::Label) {
                s.DrawStatus();
            }
        });
    }

    void SetEnabled(bool enabled) override {
        With([&](TerminalBackend::State&, Window& w) { w.params.enabled = enabled; });
    }

    void SetProgress(int min, int max, int position) override {
        With([&](TerminalBackend::State& s, Window& w) {
            if (w.min == min && w.max == max && w.position == position) return;
            w.min = min;
            w.max = max;
            w.position = position;
            s.DrawStatus();
        });
    }

    std::intptr_t Send(unsigned message, std::uintptr_t, std::intptr_t lParam) override {
        std::intptr_t answer = 0;
        unsigned notify = 0;
        With([&](TerminalBackend::State&, Window& w) {
            if (w.params.baseClassName != "SysAnimate32") return;
            switch (message) {
                case kAcmOpen:
                    w.playing = false;
                    answer =
                        lParam != 0 && ::access(reinterpret_cast<const char*>(lParam), R_OK) == 0
                            ? 1
                            : 0;
                    break;
                case kAcmPlay:
                    w.playing = true;
                    notify = kAcnStart;
                    answer = 1;
                    break;
                case kAcmStop:
                    if (w.playing) notify = kAcnStop;
                    w.playing = false;
                    answer = 1;
                    break;
                default:
                    break;
            }
        });
        if (notify != 0) {
            With([&](TerminalBackend::State& s, Window& w) {
                s.Send(w, TMessage{kCnCommand, MakeWParam(0, static_cast<std::uint16_t>(notify)), 0,
                                   0});
            });
        }
        return answer;
    }

private:
    template <class F>
    void With(F&& f) {
        auto state = m_state.lock();
        if (!state) return;
        auto it = state->windows.find(m_id);
        if (it != state->windows.end()) f(*state, it->second);
    }

    std::weak_ptr<TerminalBackend::State> m_state;
    int m_id;
};

class TerminalTimer : public HostTimer {
public:
    TerminalTimer(std::weak_ptr<TerminalBackend::State> state, int id)
        : m_state(std::move(state)), m_id(id) {}
    ~TerminalTimer() override {
        if (auto state = m_state.lock()) state->timers.erase(m_id);
    }

private:
    std::weak_ptr<TerminalBackend::State> m_state;
    int m_id;
};

// Reads one line with echo; false at the end of input.
bool ReadLine(std::string& line) {
    line.clear();
    char c;
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n <= 0) return !line.empty();
        if (c == '\n') return true;
        line += c;
    }
}

}  // namespace

TerminalBackend::TerminalBackend(std::FILE* out)
    : m_state(std::make_shared<State>()), m_previous(&CurrentBackend()) {
    m_state->out = out != nullptr ? out : stdout;
    m_state->inputIsTerminal = ::isatty(STDIN_FILENO) == 1;
    m_state->outputIsTerminal = ::isatty(::fileno(m_state->out)) == 1;
    if (m_state->inputIsTerminal) tcgetattr(STDIN_FILENO, &m_state->saved);
    g_interrupted = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    // A reader who closes the pipe the book prints into must not end the
    // program before it has cleaned up: such writes just fail.
    signal(SIGPIPE, SIG_IGN);
    SetBackend(this);
}

TerminalBackend::~TerminalBackend() {
    m_state->BreakStatus();
    m_state->SetRaw(false);
    signal(SIGINT, SIG_DFL);
    signal(SIGPIPE, SIG_DFL);
    if (&CurrentBackend() == this) SetBackend(m_previous);
}

void TerminalBackend::ProcessMessages() {
    auto state = m_state;  // keeps the state alive while handlers run
    state->ReadKeys();
    if (g_interrupted) {
        g_interrupted = 0;
        state->keys.push_back(kEscape);
    }
    state->HandleKeys();
    state->RunDueTimers();
}

bool TerminalBackend::WaitMessage() {
    auto& s = *m_state;
    if (!s.keys.empty() || g_interrupted) return true;
    const bool listening = s.rawMode;
    if (s.timers.empty() && !listening) {
        // Nobody can answer a form that waits for a reader: it is closed
        // once, as its close box would close it.
        if (s.VisibleForm() != nullptr && !s.closedForNobody) {
            s.closedForNobody = true;
            s.keys.push_back(kEscape);
            return true;
        }
        return false;
    }
    int timeout = -1;
    if (!s.timers.empty()) {
        std::uint64_t next = UINT64_MAX;
        for (const auto& [id, t] : s.timers)
            next = std::min(next, t.due);
        const std::uint64_t now = NowMs();
        timeout = next <= now ? 0 : static_cast<int>(std::min<std::uint64_t>(next - now, 1000));
    }
    pollfd fd{STDIN_FILENO, POLLIN, 0};
    ::poll(&fd, listening ? 1 : 0, timeout);
    return true;
}

void TerminalBackend::TitleChanged(const std::string&) {}

int TerminalBackend::ShowMessageBox(const MessageBoxRequest& request) {
    auto& s = *m_state;
    s.BreakStatus();
    const bool wasRaw = s.rawMode;
    s.SetRaw(false);
    std::string buttons;
    for (size_t i = 0; i < request.buttons.size(); ++i) {
        buttons += (i == 0 ? "" : "  ") + std::string("[") +
                   static_cast<char>(
                       std::toupper(static_cast<unsigned char>(ButtonLetter(request.buttons[i])))) +
                   "] " + WithoutAmpersand(request.buttons[i]);
    }
    const auto index = static_cast<size_t>(request.defaultIndex);
    const int defaultResult =
        index < request.results.size() ? request.results[index] : request.escapeResult;
    const std::string defaultText =
        index < request.buttons.size() ? WithoutAmpersand(request.buttons[index]) : "";
    s.Print("\n[" + Printable(request.caption) + "]\n" + Printable(request.text, true) + "\n" +
            buttons + "\n");
    int result = defaultResult;
    if (!s.inputIsTerminal) {
        s.Print("-> " + defaultText + "\n");
    } else {
        for (;;) {
            s.Print("Choice (Enter: " + defaultText + ")? ");
            std::string line;
            if (!ReadLine(line)) {
                result = request.closeResult;
                s.Print("\n");
                break;
            }
            if (line.empty()) break;
            if (line[0] == kEscape) {
                result = request.escapeResult;
                break;
            }
            const char letter =
                static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
            bool found = false;
            for (size_t i = 0; i < request.buttons.size() && i < request.results.size(); ++i) {
                if (ButtonLetter(request.buttons[i]) == letter) {
                    result = request.results[i];
                    found = true;
                    break;
                }
            }
            if (found) break;
        }
    }
    s.SetRaw(wasRaw);
    if (wasRaw) s.DrawStatus();
    return result;
}

bool TerminalBackend::InputQuery(const std::string& caption, const std::string& prompt,
                                 std::string& value) {
    auto& s = *m_state;
    s.BreakStatus();
    const bool wasRaw = s.rawMode;
    s.SetRaw(false);
    s.Print("\n[" + Printable(caption) + "]\n" + Printable(prompt) + " ");
    bool ok = true;
    if (!s.inputIsTerminal) {
        s.Print("-> OK\n");
    } else {
        std::string line;
        ok = ReadLine(line);
        if (!ok) {
            s.Print("\n");
        } else if (!line.empty() && line[0] == kEscape) {
            ok = false;  // Escape is the box's "Annuler"
        } else {
            value = TypedToCp1252(line);  // the terminal's UTF-8
        }
    }
    s.SetRaw(wasRaw);
    return ok;
}

std::unique_ptr<NativeWindow> TerminalBackend::CreateNativeWindow(const TCreateParams& params,
                                                                  WindowSink& sink) {
    const int id = m_state->nextId++;
    Window w;
    w.params = params;
    w.sink = &sink;
    w.visible = false;
    w.text = params.caption;
    m_state->windows.emplace(id, std::move(w));
    auto window = std::make_unique<TerminalWindow>(m_state, id);
    if (params.visible) window->SetVisible(true);
    return window;
}

std::unique_ptr<HostTimer> TerminalBackend::StartTimer(const std::string&, unsigned intervalMs,
                                                       std::function<void()> onTick) {
    const int id = m_state->nextId++;
    m_state->timers[id] = {intervalMs, NowMs() + std::max(1u, intervalMs), std::move(onTick)};
    return std::make_unique<TerminalTimer>(m_state, id);
}

}  // namespace pagorix::terminal
