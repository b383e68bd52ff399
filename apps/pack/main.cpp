// pagorix-pack: makes a book (the runtime with the book's archive appended)
// from a folder of pages. Texts and names come in UTF-8 and are stored in
// Windows-1252. Exit status: 0 done, 1 the book could not be made, 2 the
// command line is wrong.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <map>
#include <string>

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

struct CommandLine {
    std::string sourceDir;
    std::string output;
    std::string title;
    std::string start;
    std::string intro;
    std::string status = kDefaultStatusText;
    std::string password;
    std::string closing;
    std::string window = "normal";
    std::string stub;
    std::string target = kHostTarget;
    int level = kDefaultPackLevel;
    bool quiet = false;
};

std::string Today() {
    const platform::LocalTime now = platform::Now();
    return Format("%04d-%02d-%02d", now.year, now.month, now.day);
}

// The runtime that goes with the tool: beside it once installed, in the
// stub's own folder of the same build tree before that; the Windows runtime
// of a Linux build tree comes from the cross build beside it (build/mingw).
std::string DefaultStub(const std::string& target) {
    namespace fs = std::filesystem;
    const std::string name = target == "windows" ? "pagorix-stub.exe" : "pagorix-stub";
    const fs::path toolDir = fs::path(platform::ExecutablePath()).parent_path();
    const fs::path buildRoot = toolDir.parent_path().parent_path();
    for (const fs::path& candidate : {toolDir / name, toolDir.parent_path() / "stub" / name,
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
    request.manifest.password = line.password;
    request.manifest.closing = line.closing;
    static const std::map<std::string, ManifestWindow> kWindows = {
        {"normal", ManifestWindow::Normal},
        {"minimized", ManifestWindow::Minimized},
        {"maximized", ManifestWindow::Maximized}};
    request.manifest.window = kWindows.at(line.window);
    request.stub = line.stub.empty() ? DefaultStub(line.target) : line.stub;

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
        std::printf("%s: %zu files, %llu bytes, in a book of %llu bytes\n", line.output.c_str(),
                    stats.files, static_cast<unsigned long long>(stats.bytes),
                    static_cast<unsigned long long>(stats.bookSize));
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
    app.add_option("SOURCE_DIR", line.sourceDir, "folder of the book's pages (all its files go in)")
        ->required();
    app.add_option("-o,--output", line.output, "the book to write")->type_name("BOOK")->required();
    app.add_option("--title", line.title, "the book's title")->required();
    app.add_option("--start", line.start, "the page the book opens, relative to SOURCE_DIR")
        ->type_name("PAGE")
        ->required();
    app.add_option("--intro", line.intro, "a Yes/No question asked before the book opens");
    app.add_option("--status", line.status, "the status line while the book unpacks")
        ->capture_default_str();
    app.add_option("--password", line.password, "the password a reader must give");
    app.add_option("--closing", line.closing, "a message shown when the reader is done");
    app.add_option("--window", line.window, "how the browser's window opens")
        ->check(CLI::IsMember({"normal", "minimized", "maximized"}))
        ->capture_default_str();
    CLI::Option* stub = app.add_option(
        "--stub", line.stub,
        "the book runtime to use (a file of " + std::to_string(PayloadOffset) + " bytes)");
    stub->type_name("PATH");
    CLI::Option* target =
        app.add_option("--target", line.target, "the system the book runs on; picks its runtime")
            ->check(CLI::IsMember({"linux", "windows"}))
            ->capture_default_str();
    stub->excludes(target);
    app.add_option("--level", line.level, "0 stores every file, 1 to 9 deflate (9 smallest)")
        ->check(CLI::Range(0, 9))
        ->capture_default_str();
    app.add_flag("-q,--quiet", line.quiet, "print nothing but errors");
    app.footer(
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
