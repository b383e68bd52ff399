#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>

#include "archive/decompressors.h"
#include "framework/backend.h"
#include "platform/platform.h"
#include "unzip_cli.h"

namespace pagorix::unzip_cli {

namespace {

// Answers the engine's message boxes on the command line: the "Unknown
// Compression Method" box only marks the entry, whose failure is reported
// with the others.
class CliBackend : public Backend {
public:
    CliBackend() { SetBackend(this); }
    ~CliBackend() override { SetBackend(nullptr); }
    int ShowMessageBox(const MessageBoxRequest& request) override {
        lastBox = request.text;
        return request.results.empty() ? request.escapeResult : request.results.front();
    }
    std::string lastBox;
};

enum class Answer { Ask, All, None };

const char* SkipReasonText(TSkipReason reason) {
    switch (reason) {
        case srUnsafePath:
            return "unsafe path: it would be written outside the destination; skipped";
        case srNameTooLong:
            return "name too long for this system; skipped";
        case srCreateFailed:
            return "cannot create the file or its folder";
        case srWriteFailed:
            return "write error (disk full?); the partial file was removed";
        case srReadFailed:
            return "the archive ends inside this entry's data (truncated or damaged)";
        case srBadData:
            return "damaged data: the entry does not have its declared size";
        case srUnknownMethod:
            return "unsupported compression method";
        case srTooLarge:
            return "entries of 4 GiB or more are not supported";
        default:
            return "skipped";
    }
}

}  // namespace

int RunExtraction(TUnZipper& zip, const Options& options) {
    CliBackend backend;
    const bool terminal = platform::StandardStreamIsTerminal(1);
    const bool showProgress = terminal && !options.quiet;

    zip.DoAll = options.patterns.empty();
    zip.FilesList.Clear();
    for (std::string pattern : options.patterns) {
        for (char& c : pattern) {
            if (c == '/') c = '\\';
        }
        zip.FilesList.Add(pattern);
    }
    zip.RecreateDirs = !options.junkDirs;
    zip.Password = options.password;
    zip.TestMode = options.test;
    std::string dest = options.destDir;
    if (dest.empty()) {
        dest = platform::CurrentDirectory();
    } else {
        std::error_code error;
        const auto absolute = std::filesystem::absolute(dest, error);
        if (!error) dest = absolute.string();
    }
    zip.SetDestDir(dest);

    switch (options.overwrite) {
        case OverwriteChoice::Always:
            zip.OverwriteMode = TUZOverwriteMode::Always;
            break;
        case OverwriteChoice::Never:
            zip.OverwriteMode = TUZOverwriteMode::Never;
            break;
        case OverwriteChoice::Ask:
            zip.OverwriteMode = platform::StandardStreamIsTerminal(0) ? TUZOverwriteMode::Prompt
                                                                      : TUZOverwriteMode::Never;
            break;
    }

    std::string current;        // the entry being handled, as shown
    std::string currentReason;  // why it failed, once known
    std::map<std::string, std::string> failures;
    int passed = 0;
    int skippedExisting = 0;
    bool progressShown = false;
    const char* verb = options.test ? "testing" : "extracting";

    auto endProgress = [&] {
        if (progressShown) {
            std::fputs("\r\033[K", stdout);
            progressShown = false;
        }
    };
    auto fail = [&](const std::string& reason) {
        endProgress();
        std::string text = reason;
        if (!backend.lastBox.empty()) {
            text = "unsupported compression method " +
                   std::to_string(zip.CurrentEntry().CompressionMethod);
        }
        if (failures.emplace(current, text).second) {
            std::fprintf(stderr, "pagorix-unzip: %s: %s\n", ToTerminal(current).c_str(),
                         text.c_str());
        }
    };

    zip.OnStartUnZip = [&](TUnZipper& sender, std::int32_t index, const std::string&, bool&) {
        const TZipHeaderInfo& e = *sender.SortedView()->Entry(index);
        current = ArchiveName(sender, e);
        backend.lastBox.clear();
        if (!options.quiet && !terminal) {
            std::printf("%12s: %s\n", e.EntryName.empty() ? "creating" : verb,
                        ToTerminal(current).c_str());
        }
    };
    zip.OnFilePercentDone = [&](TUnZipper&, std::int32_t percent) {
        if (!showProgress) return;
        std::printf("\r\033[K%12s: %s %3d%%", verb, ToTerminal(current).c_str(), percent);
        std::fflush(stdout);
        progressShown = true;
    };
    zip.OnEndUnZip = [&](TUnZipper&, std::int32_t, const std::string&) {
        ++passed;
        endProgress();
        if (showProgress) std::printf("%12s: %s  OK\n", verb, ToTerminal(current).c_str());
    };
    zip.OnBadPassword = [&](TUnZipper& sender, std::int32_t index) {
        current = ArchiveName(sender, *sender.SortedView()->Entry(index));
        fail(options.password.empty() ? "encrypted; give the password with -P"
                                      : "wrong password (or damaged data)");
    };
    zip.OnBadCRC = [&](TUnZipper& sender, std::uint32_t calc, std::uint32_t stored,
                       std::int32_t index) {
        current = ArchiveName(sender, *sender.SortedView()->Entry(index));
        char text[64];
        std::snprintf(text, sizeof text, "bad CRC-32 %08x (should be %08x)", calc, stored);
        fail(text);
    };
    Answer answer = Answer::Ask;
    zip.OnPromptForOverwrite = [&](TUnZipper& sender, bool& overWriteIt, std::int32_t index,
                                   std::string& fName) {
        if (answer != Answer::Ask) {
            overWriteIt = answer == Answer::All;
            return;
        }
        endProgress();
        std::printf("replace %s? [y]es, [n]o, [A]ll, [N]one: ",
                    ToTerminal(ArchiveName(sender, *sender.SortedView()->Entry(index))).c_str());
        std::fflush(stdout);
        std::string line;
        if (!std::getline(std::cin, line)) line = "N";
        if (line == "A") answer = Answer::All;
        if (line == "N") answer = Answer::None;
        overWriteIt = line == "y" || line == "Y" || line == "A";
        (void)fName;
    };
    zip.OnSkippingFile = [&](TUnZipper& sender, TSkipReason reason, std::int32_t index) {
        current = ArchiveName(sender, *sender.SortedView()->Entry(index));
        if (reason == srNoOverwrite) {
            ++skippedExisting;
            if (!options.quiet) {
                endProgress();
                std::printf("%12s: %s (exists; -o overwrites)\n", "skipping",
                            ToTerminal(current).c_str());
            }
        } else if (reason != srBadPassword) {
            fail(SkipReasonText(reason));
        }
    };

    zip.UnZip();
    endProgress();
    const int failed = static_cast<int>(failures.size());
    if (passed == 0 && failed == 0 && skippedExisting == 0) {
        std::fprintf(stderr, "pagorix-unzip: no entry of %s matches\n",
                     ToTerminal(options.archive).c_str());
        return options.patterns.empty() ? kExitOk : kExitFailures;
    }
    if (!options.quiet) {
        std::printf("%d %s OK", passed, options.test ? "tested" : "extracted");
        if (skippedExisting > 0) std::printf(", %d skipped", skippedExisting);
        if (failed > 0) std::printf(", %d failed", failed);
        std::printf("\n");
    }
    return failed > 0 ? kExitFailures : kExitOk;
}

}  // namespace pagorix::unzip_cli
