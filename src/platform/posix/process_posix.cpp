// POSIX processes: posix_spawn, waitpid, and the desktop's associations
// through GIO.
//
// A program is started with posix_spawn on an explicit path, never through
// a shell: a document that happens to carry the execute bit but is no
// executable fails with ENOEXEC instead of being run as a script. Names
// without a slash are looked up in PATH the way execvp does. The child gets
// the caller's environment and current directory, the default disposition of
// the usual signals, an empty signal mask and no descriptor above stderr.
//
// The associated program is the desktop's default application for the
// document's content type. Its Exec line is split with the shell's quoting
// rules, the field codes are replaced, and we spawn the result ourselves so
// that the caller can wait for that very process. xdg-open is used only when
// the desktop has no handler at all.
//
// Every child is reaped: by the wait, or, when the Process is released or
// destroyed while the child still runs, by a detached thread blocked in
// waitpid for that one pid.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/process.h"

extern char** environ;

namespace pagorix::platform {

namespace {

// ---- GLib ownership ----

struct GFreeDeleter {
    void operator()(void* p) const { g_free(p); }
};
struct GUnrefDeleter {
    void operator()(void* p) const { g_object_unref(p); }
};
struct GStrvDeleter {
    void operator()(char** p) const { g_strfreev(p); }
};
struct GErrorDeleter {
    void operator()(GError* p) const { g_error_free(p); }
};
using GText = std::unique_ptr<char, GFreeDeleter>;
template <class T>
using GRef = std::unique_ptr<T, GUnrefDeleter>;

std::string TextOf(const char* s) {
    return s != nullptr ? std::string(s) : std::string();
}

// ---- Spawning ----

class SpawnActions {
public:
    SpawnActions() {
        posix_spawn_file_actions_init(&m_actions);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
        // The child inherits none of our files beyond the standard three.
        posix_spawn_file_actions_addclosefrom_np(&m_actions, 3);
#endif
    }
    ~SpawnActions() {
        posix_spawn_file_actions_destroy(&m_actions);
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    const posix_spawn_file_actions_t* Get() const {
        return &m_actions;
    }

private:
    posix_spawn_file_actions_t m_actions;
};

class SpawnAttributes {
public:
    SpawnAttributes() {
        posix_spawnattr_init(&m_attr);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&m_attr, &none);
        // Signals the caller may ignore or catch start with their defaults.
        sigset_t reset;
        sigemptyset(&reset);
        for (const int sig : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGTERM, SIGCHLD, SIGALRM, SIGUSR1,
                              SIGUSR2, SIGTSTP, SIGTTIN, SIGTTOU}) {
            sigaddset(&reset, sig);
        }
        posix_spawnattr_setsigdefault(&m_attr, &reset);
        posix_spawnattr_setflags(&m_attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&m_attr); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    const posix_spawnattr_t* Get() const { return &m_attr; }

private:
    posix_spawnattr_t m_attr;
};

// Returns 0 and the pid, or the errno of the failed start.
int SpawnPath(const std::string& path, const std::vector<std::string>& args, pid_t& pid) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    SpawnActions actions;
    SpawnAttributes attributes;
    return posix_spawn(&pid, path.c_str(), actions.Get(), attributes.Get(), argv.data(), environ);
}

// Starts args[0], looked up in PATH when it has no slash; the rules and the
// error reported are those of execvp, without its shell fall-back.
int SpawnProgram(const std::vector<std::string>& args, pid_t& pid) {
    if (args.empty() || args[0].empty()) {
        return ENOENT;
    }
    const std::string& name = args[0];
    if (name.find('/') != std::string::npos) {
        return SpawnPath(name, args, pid);
    }
    const char* env = std::getenv("PATH");
    const std::string searchPath = env != nullptr ? env : "/usr/local/bin:/bin:/usr/bin";
    bool denied = false;
    size_t start = 0;
    for (;;) {
        const size_t end = searchPath.find(':', start);
        std::string dir = searchPath.substr(start, end == std::string::npos ? end : end - start);
        if (dir.empty()) {
            dir = ".";
        }
        const int error = SpawnPath(dir + "/" + name, args, pid);
        if (error == 0) {
            return 0;
        }
        if (error == EACCES) {
            denied = true;
        } else if (error != ENOENT && error != ENOTDIR && error != ELOOP && error != ENAMETOOLONG) {
            return error;
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return denied ? EACCES : ENOENT;
}

// Windows priority classes as nice values; raising the priority needs
// privileges that ordinary users lack, and a refusal leaves it normal.
void ApplyPriority(pid_t pid, std::uint32_t priorityFlag) {
    constexpr std::uint32_t IDLE_PRIORITY_CLASS = 0x40;
    constexpr std::uint32_t HIGH_PRIORITY_CLASS = 0x80;
    constexpr std::uint32_t REALTIME_PRIORITY_CLASS = 0x100;
    const int nice = priorityFlag == IDLE_PRIORITY_CLASS       ? 19
                     : priorityFlag == HIGH_PRIORITY_CLASS     ? -10
                     : priorityFlag == REALTIME_PRIORITY_CLASS ? -20
                                                               : 0;
    if (nice != 0) {
        setpriority(PRIO_PROCESS, static_cast<id_t>(pid), nice);
    }
}

std::vector<std::string> SplitAtBlanks(const std::string& text) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
            ++i;
        }
        const size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t') {
            ++i;
        }
        if (i > start) {
            words.push_back(text.substr(start, i - start));
        }
    }
    return words;
}

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// The program and its arguments from an unquoted line. A program path may
// hold blanks: the shortest text up to a blank (or the whole line) that names
// an executable file is the program, as unquoted lines are read on Windows.
// Otherwise the program is the first word, looked up as it stands.
std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::string whole = line;
    while (!whole.empty() && (whole.back() == ' ' || whole.back() == '\t')) {
        whole.pop_back();
    }
    if (whole.find('/') != std::string::npos) {
        for (size_t end = whole.find_first_of(" \t");; end = whole.find_first_of(" \t", end + 1)) {
            const std::string program = whole.substr(0, end);
            if (program.find('/') != std::string::npos && IsExecutableFile(program)) {
                std::vector<std::string> args{program};
                if (end != std::string::npos) {
                    for (std::string& word : SplitAtBlanks(whole.substr(end))) {
                        args.push_back(std::move(word));
                    }
                }
                return args;
            }
            if (end == std::string::npos) {
                break;
            }
        }
    }
    return SplitAtBlanks(whole);
}

// ---- Associations ----

std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') {
        return path;
    }
    return CurrentDirectory() + "/" + path;
}

std::string ContentTypeOf(const std::string& path) {
    GRef<GFile> file(g_file_new_for_path(path.c_str()));
    GError* rawError = nullptr;
    GRef<GFileInfo> info(g_file_query_info(file.get(), G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                                           G_FILE_QUERY_INFO_NONE, nullptr, &rawError));
    std::unique_ptr<GError, GErrorDeleter> error(rawError);
    if (info != nullptr && g_file_info_get_content_type(info.get()) != nullptr) {
        return g_file_info_get_content_type(info.get());
    }
    GText guessed(g_content_type_guess(path.c_str(), nullptr, 0, nullptr));
    return guessed != nullptr ? guessed.get() : "application/octet-stream";
}

// The desktop entry's Exec line as an argument vector, its field codes
// replaced: every file or URL code by the document's path, %c by the name,
// %i by "--icon" and the icon, %k by the entry's file, %% by %; deprecated
// and unknown codes vanish. A line without a file code gets the document
// appended, as the desktop does.
std::vector<std::string> ExpandExecLine(char** words, GAppInfo* app, const std::string& document) {
    std::vector<std::string> args;
    bool documentGiven = false;
    for (char** word = words; *word != nullptr; ++word) {
        const std::string text = *word;
        if (text == "%i") {
            GIcon* icon = g_app_info_get_icon(app);
            GText iconName(icon != nullptr ? g_icon_to_string(icon) : nullptr);
            if (iconName != nullptr) {
                args.emplace_back("--icon");
                args.emplace_back(iconName.get());
            }
            continue;
        }
        std::string expanded;
        bool hadCode = false;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '%' || i + 1 == text.size()) {
                expanded += text[i];
                continue;
            }
            hadCode = true;
            switch (text[++i]) {
                case '%':
                    expanded += '%';
                    break;
                case 'f':
                case 'F':
                case 'u':
                case 'U':
                    if (!documentGiven) {
                        expanded += document;
                        documentGiven = true;
                    }
                    break;
                case 'c':
                    expanded += TextOf(g_app_info_get_name(app));
                    break;
                case 'k':
                    if (G_IS_DESKTOP_APP_INFO(app)) {
                        expanded +=
                            TextOf(g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(app)));
                    }
                    break;
                default:
                    break;
            }
        }
        // A word made only of codes that expanded to nothing is dropped.
        if (!expanded.empty() || !hadCode) {
            args.push_back(expanded);
        }
    }
    if (!documentGiven && !args.empty()) {
        args.push_back(document);
    }
    return args;
}

// Fills `args` with the default handler's command for the document, or
// leaves it empty when the desktop has none.
void DesktopHandler(const std::string& document, std::vector<std::string>& args) {
    const std::string type = ContentTypeOf(document);
    GRef<GAppInfo> app(g_app_info_get_default_for_type(type.c_str(), FALSE));
    if (app == nullptr) {
        return;
    }
    const char* line = g_app_info_get_commandline(app.get());
    if (line == nullptr) {
        line = g_app_info_get_executable(app.get());
    }
    if (line == nullptr) {
        return;
    }
    char** rawWords = nullptr;
    GError* rawError = nullptr;
    const gboolean parsed = g_shell_parse_argv(line, nullptr, &rawWords, &rawError);
    std::unique_ptr<char*, GStrvDeleter> words(rawWords);
    std::unique_ptr<GError, GErrorDeleter> error(rawError);
    if (parsed) {
        args = ExpandExecLine(words.get(), app.get(), document);
    }
}

std::string FindInPath(const std::string& name) {
    GText found(g_find_program_in_path(name.c_str()));
    return found != nullptr ? found.get() : std::string();
}

void Pause(long nanoseconds) {
    timespec delay{0, nanoseconds};
    while (nanosleep(&delay, &delay) != 0 && errno == EINTR) {
    }
}

}  // namespace

// ---- Process ----

Process Process::Start(const StartRequest& request) {
    Process process;
    pid_t pid = 0;
    process.m_error = SpawnProgram(SplitCommandLine(request.commandLine), pid);
    if (process.m_error == 0) {
        process.m_handle = pid;
        process.m_id = pid;
        ApplyPriority(pid, request.priorityFlag);
    }
    return process;
}

Process Process::StartAssociated(const std::string& document, const std::string& parameters,
                                 const StartRequest& request, std::string& program) {
    Process process;
    struct stat st {};
    if (document.empty() || ::stat(document.c_str(), &st) != 0) {
        process.m_error = document.empty() ? ENOENT : errno;
        return process;
    }
    const std::string path = AbsolutePath(document);
    std::vector<std::string> args;
    DesktopHandler(path, args);
    if (!args.empty()) {
        for (const std::string& word : SplitAtBlanks(parameters)) {
            args.push_back(word);
        }
    } else if (!FindInPath("xdg-open").empty()) {
        // xdg-open takes the document alone.
        args = {"xdg-open", path};
    } else {
        process.m_error = kErrorNoAssociation;
        return process;
    }
    // The program goes by its full path, as the host's other lookups give it.
    program = args[0].find('/') != std::string::npos ? args[0] : FindInPath(args[0]);
    if (program.empty()) {
        program = args[0];
    } else {
        args[0] = program;
    }
    pid_t pid = 0;
    process.m_error = SpawnProgram(args, pid);
    if (process.m_error == 0) {
        process.m_handle = pid;
        process.m_id = pid;
        ApplyPriority(pid, request.priorityFlag);
    }
    return process;
}

void Process::WaitUntilEnded() {
    if (m_handle < 0) {
        return;
    }
    const auto pid = static_cast<pid_t>(m_handle);
    int status = 0;
    pid_t done = -1;
    while ((done = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    if (done == pid && WIFEXITED(status)) m_exitStatus = WEXITSTATUS(status);
    m_handle = -1;
}

bool Process::WaitHandlingMessages(const std::function<bool()>& idle, int& quitCode) {
    // Without a message queue of its own, the host polls: the framework's
    // messages, then the child, then a short pause so that a long wait does
    // not keep a processor busy.
    constexpr long kPollPause = 5'000'000;  // nanoseconds
    while (m_handle >= 0) {
        if (!idle()) {
            quitCode = 0;
            return false;
        }
        int status = 0;
        const pid_t done = waitpid(static_cast<pid_t>(m_handle), &status, WNOHANG);
        if (done == static_cast<pid_t>(m_handle) || (done < 0 && errno == ECHILD)) {
            if (done > 0 && WIFEXITED(status)) m_exitStatus = WEXITSTATUS(status);
            m_handle = -1;
            break;
        }
        Pause(kPollPause);
    }
    return true;
}

void Process::Release() {
    if (m_handle < 0) {
        return;
    }
    const auto pid = static_cast<pid_t>(m_handle);
    m_handle = -1;
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) != 0) {
        return;  // already reaped now, or not our child
    }
    std::thread([pid] {
        int ended = 0;
        while (waitpid(pid, &ended, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

}  // namespace pagorix::platform
