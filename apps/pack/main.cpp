// pagorix-pack: makes a book (the runtime with the book's archive appended)
// from a folder of pages. Texts and names come in UTF-8 and are stored in
// Windows-1252. Warnings (broken links, a book's name that does not fit its
// system) go to standard error and do not change the exit status: 0 done,
// 1 the book could not be made, 2 the command line is wrong.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "framework/sysutils.h"
#include "pack/book_writer.h"
#include "platform/platform.h"

namespace pagorix {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kToolName = "pagorix-pack";
constexpr const char* kVersion = PAGORIX_VERSION;
// The host's own kind of runtime, the default target.
constexpr const char* kHostTarget = platform::kPathDelim == '\\' ? "windows" : "linux";
// Where an installed tool finds the runtimes, relative to its own folder.
constexpr const char* kInstalledRuntimes = PAGORIX_INSTALLED_RUNTIMES;

struct CommandLine {
    std::string sourceDir;
    std::string output;
    std::string title;
    std::string start;
    std::string intro;
    std::string status = kDefaultStatusText;
    std::string password;
    std::string passwordFile;
    bool askPassword = false;
    std::string closing;
    std::string window = "normal";
    std::string stub;
    std::string target;  // empty: from the book's name, else the host's kind
    int level = kDefaultPackLevel;
    bool quiet = false;
    bool flat = false;
    bool strict = false;
    bool includeHidden = false;
    std::vector<std::string> excludes;
};

std::string Today() {
    const platform::LocalTime now = platform::Now();
    return Format("%04d-%02d-%02d", now.year, now.month, now.day);
}

bool EndsWithExe(const std::string& path) {
    return path.size() >= 4 && FoldCase(path.substr(path.size() - 4)) == ".exe";
}

// The runtime that goes with the tool: beside it, or where the install puts
// the runtimes (lib/pagorix beside bin), or in the stub's own folder of the
// same build tree; the Windows runtime of a Linux build tree comes from the
// cross build beside it (build/mingw).
std::string DefaultStub(const std::string& target) {
    namespace fs = std::filesystem;
    const std::string name = target == "windows" ? "pagorix-stub.exe" : "pagorix-stub";
    const fs::path toolDir = fs::path(platform::ExecutablePath()).parent_path();
    const fs::path buildRoot = toolDir.parent_path().parent_path();
    for (const fs::path& candidate :
         {toolDir / name, (toolDir / kInstalledRuntimes / name).lexically_normal(),
          toolDir.parent_path() / "stub" / name,
          buildRoot.parent_path() / "mingw" / "apps" / "stub" / name}) {
        std::error_code error;
        if (fs::is_regular_file(candidate, error)) return candidate.string();
    }
    if (target == "windows") {
        throw EPackError("there is no Windows runtime: " + name + " is not beside " + kToolName +
                         " in \"" + toolDir.string() +
                         "\" (it comes from a Windows build); give one with --stub PATH");
    }
    throw EPackError("there is no book runtime: " + name + " is not beside " + kToolName +
                     " in \"" + toolDir.string() + "\"; build it, or give one with --stub PATH");
}

// Progress on the terminal: one line rewritten in place.
class ProgressLine {
public:
    void Show(const PackStats& stats, double fraction) {
        const int percent = static_cast<int>(fraction * 100);
        if (percent == m_percent) return;
        m_percent = percent;
        std::fprintf(stderr, "\rPacking %zu files, %llu bytes: %3d%%", stats.files,
                     static_cast<unsigned long long>(stats.bytes), percent);
        std::fflush(stderr);
    }
    ~ProgressLine() {
        if (m_percent >= 0) std::fputc('\n', stderr);
    }

private:
    int m_percent = -1;
};

void Warn(const std::string& text) {
    std::fprintf(stderr, "%s: warning: %s\n", kToolName, text.c_str());
}

// The reader password from wherever the author gave it.
std::string ReaderPassword(const CommandLine& line) {
    if (!line.passwordFile.empty()) {
        std::ifstream in(line.passwordFile, std::ios::binary);
        if (!in) throw EPackError("cannot read the password file \"" + line.passwordFile + "\"");
        std::string password;
        std::getline(in, password);  // the first line; the file may end with a line break
        if (password.ends_with('\r')) password.pop_back();
        return password;
    }
    if (line.askPassword) {
        std::fprintf(stderr, "Reader password (empty for none): ");
        std::fflush(stderr);
        const std::optional<std::string> first = platform::ReadLineUnechoed();
        if (!first) throw EPackError("no password was typed");
        if (!first->empty() && platform::StandardStreamIsTerminal(0)) {
            std::fprintf(stderr, "Type it again: ");
            std::fflush(stderr);
            if (platform::ReadLineUnechoed() != first) {
                throw EPackError("the two passwords typed differ");
            }
        }
        return *first;
    }
    return line.password;
}

// What the runtime image is: "linux" (ELF), "windows" (MZ) or empty.
std::string RuntimeKind(const std::string& stub) {
    std::ifstream in(stub, std::ios::binary);
    char magic[4] = {};
    in.read(magic, sizeof magic);
    if (in.gcount() >= 4 && std::string(magic, 4) ==
                                "\x7f"
                                "ELF")
        return "linux";
    if (in.gcount() >= 2 && magic[0] == 'M' && magic[1] == 'Z') return "windows";
    return {};
}

int Pack(const CommandLine& line) {
    PackRequest request;
    request.sourceDir = line.sourceDir;
    request.output = line.output;
    request.level = line.level;
    request.manifest.producer = std::string(kToolName) + " " + kVersion;
    request.manifest.built = Today();
    request.manifest.title = line.title;
    request.manifest.introduction = line.intro;
    request.manifest.startPage = line.start;
    request.manifest.status = line.status;
    request.manifest.password = ReaderPassword(line);
    request.manifest.closing = line.closing;
    static const std::map<std::string, ManifestWindow> kWindows = {
        {"normal", ManifestWindow::Normal},
        {"minimized", ManifestWindow::Minimized},
        {"maximized", ManifestWindow::Maximized}};
    request.manifest.window = kWindows.at(line.window);
    // A book named ".exe" is a Windows book unless the author says otherwise.
    const std::string target = !line.target.empty()       ? line.target
                               : EndsWithExe(line.output) ? "windows"
                                                          : kHostTarget;
    request.stub = line.stub.empty() ? DefaultStub(target) : line.stub;
    request.scan.flat = line.flat;
    request.scan.includeHidden = line.includeHidden;
    request.scan.excludes = line.excludes;
    request.strictLinks = line.strict;
    const std::string kind = line.quiet ? std::string() : RuntimeKind(request.stub);
    if (kind == "linux" && EndsWithExe(line.output)) {
        Warn("\"" + line.output +
             "\" is a Linux book; its name ends in \".exe\" as if it were for Windows");
    } else if (kind == "windows" && !EndsWithExe(line.output)) {
        Warn("\"" + line.output +
             "\" is a Windows book; Windows runs it only when its name ends in \".exe\"");
    }

    const bool showProgress = !line.quiet && platform::StandardStreamIsTerminal(2);
    PackStats stats;
    {
        ProgressLine progress;
        PackProgress handler;
        if (showProgress) {
            handler = [&progress](const PackStats& s, double f) { progress.Show(s, f); };
        }
        stats = PackBook(request, handler);
    }
    if (!line.quiet) {
        if (line.flat && stats.startPage.find('/') != std::string::npos) {
            Warn("the start page \"" + stats.startPage + "\" is unpacked as \"" +
                 std::string(FlatName(stats.startPage)) + "\": a flat book has no folders");
        }
        for (const BrokenLink& link : stats.brokenLinks)
            Warn(DescribeBrokenLink(link));
        std::printf("%s: %zu files, %llu bytes, in a book of %llu bytes\n", line.output.c_str(),
                    stats.files, static_cast<unsigned long long>(stats.bytes),
                    static_cast<unsigned long long>(stats.bookSize));
        std::printf("  title \"%s\", start page %s, %s\n", stats.title.c_str(),
                    stats.startPage.c_str(),
                    line.flat ? "all files in one folder (flat)" : "folders kept");
        if (stats.leftOut > 0) {
            std::printf(
                "  %zu file%s left out (hidden, Thumbs.db, desktop.ini or --exclude; "
                "--include-hidden keeps hidden ones)\n",
                stats.leftOut, stats.leftOut == 1 ? "" : "s");
        }
        if (!stats.brokenLinks.empty()) {
            std::printf("  %zu broken link%s (see the warnings; --strict makes them errors)\n",
                        stats.brokenLinks.size(), stats.brokenLinks.size() == 1 ? "" : "s");
        }
    }
    return kExitOk;
}

int Run(int argc, char** argv) {
    CommandLine line;
    CLI::App app(
        "Makes a book: one program that shows the pages of SOURCE_DIR in the reader's "
        "web browser.",
        kToolName);
    app.set_version_flag("--version", std::string(kToolName) + " " + kVersion);
    app.add_flag_callback(
        "--print-format",
        [] {
            std::printf("payload-offset %lld\narchive-password %s\n",
                        static_cast<long long>(PayloadOffset), kArchivePassword);
            throw CLI::Success();
        },
        "print where a book's archive starts and its archive password, then exit");
    app.add_option("SOURCE_DIR", line.sourceDir,
                   "folder of the book's pages; its files go in with their folders")
        ->required();
    app.add_option("-o,--output", line.output,
                   "the book to write; a name ending in .exe makes a Windows book")
        ->type_name("BOOK")
        ->required();
    app.add_option("--title", line.title, "the book's title (default: the start page's <title>)");
    app.add_option("--start", line.start,
                   "the page the book opens, relative to SOURCE_DIR (default: index.html or "
                   "index.htm)")
        ->type_name("PAGE");
    app.add_option("--intro", line.intro, "a Yes/No question asked before the book opens");
    app.add_option("--status", line.status, "the status line while the book unpacks")
        ->capture_default_str();
    CLI::Option* password = app.add_option(
        "--password", line.password,
        "the password a reader must type to open the book (a gate, not a lock: see below)");
    CLI::Option* passwordFile =
        app.add_option("--password-file", line.passwordFile,
                       "read the reader password from the first line of FILE")
            ->type_name("FILE");
    CLI::Option* askPassword = app.add_flag("--ask-password", line.askPassword,
                                            "ask for the reader password, not shown as typed");
    password->excludes(passwordFile)->excludes(askPassword);
    passwordFile->excludes(askPassword);
    app.add_option("--closing", line.closing, "a message shown when the reader is done");
    app.add_option("--window", line.window, "how the browser's window opens")
        ->check(CLI::IsMember({"normal", "minimized", "maximized"}))
        ->capture_default_str();
    CLI::Option* stub = app.add_option(
        "--stub", line.stub,
        "the book runtime to use (a file of " + std::to_string(PayloadOffset) + " bytes)");
    stub->type_name("PATH");
    CLI::Option* target =
        app.add_option("--target", line.target,
                       std::string("the system the book runs on; picks its runtime (default: "
                                   "windows for a BOOK ending in .exe, else ") +
                           kHostTarget + ")")
            ->check(CLI::IsMember({"linux", "windows"}));
    stub->excludes(target);
    app.add_option("--level", line.level, "0 stores every file, 1 to 9 deflate (9 smallest)")
        ->check(CLI::Range(0, 9))
        ->capture_default_str();
    app.add_flag("--flat", line.flat,
                 "unpack every file into one folder, as books made before folders were kept "
                 "(links into folders then break)");
    app.add_flag("--strict", line.strict, "fail on a broken link instead of warning");
    app.add_flag("--include-hidden", line.includeHidden,
                 "keep hidden files and folders (names starting with a dot), Thumbs.db and "
                 "desktop.ini");
    app.add_option("--exclude", line.excludes,
                   "leave out the files whose path relative to SOURCE_DIR matches GLOB (* ? [] "
                   "within a name, ** across folders; a pattern without / matches a name in "
                   "any folder); may be repeated")
        ->type_name("GLOB")
        ->allow_extra_args(false);
    app.add_flag("-q,--quiet", line.quiet, "print nothing but errors");
    app.footer(
        "Every file under SOURCE_DIR goes in with its folders, so the site's links keep\n"
        "working; the local links of its .html, .htm and .css files are checked, and each\n"
        "one that leads to no file of the book is a warning. Hidden files and folders,\n"
        "Thumbs.db and desktop.ini are left out unless --include-hidden.\n"
        "\n"
        "The reader password only decides whether the book opens: it is stored in the\n"
        "book under the archive password that every book shares, so anyone with a ZIP\n"
        "tool can read it and every page. Do not use it to protect secrets.\n"
        "\n"
        "Texts are given in UTF-8 and must fit Windows-1252. An empty --intro, --password or\n"
        "--closing means none. Exit status: 0 done, 1 failed, 2 wrong command line.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) return app.exit(error);  // --help, --version
        std::fprintf(stderr, "%s: %s (see --help)\n", kToolName, error.what());
        return kExitUsage;
    }
    try {
        return Pack(line);
    } catch (const EPackError& error) {
        std::fprintf(stderr, "%s: %s\n", kToolName, error.what());
    } catch (const Exception& error) {
        std::fprintf(stderr, "%s: %s\n", kToolName, Cp1252ToUtf8(error.Message()).c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", kToolName, error.what());
    }
    return kExitFailure;
}

}  // namespace

}  // namespace pagorix

int main(int argc, char** argv) {
    return pagorix::Run(argc, argv);
}
