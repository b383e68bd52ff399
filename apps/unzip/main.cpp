// pagorix-unzip: lists, tests and extracts ZIP archives with the archive
// engine. Split archives are found by the names Info-ZIP zip gives their
// volumes (NAME.z01, NAME.z02, ..., the last one NAME.zip). Entry names
// without the UTF-8 flag are code page 437 when the archive was made on
// MS-DOS or Windows (-O names another code page) and pass as they are from
// other hosts; every name is printed with its control characters escaped.
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_errors.h"
#include "archive/unzipper.h"
#include "framework/sysutils.h"
#include "platform/platform.h"
#include "unzip_cli.h"

namespace pagorix::unzip_cli {

namespace {

constexpr const char* kVersion = "pagorix-unzip 1.0";

void PrintUsage(std::FILE* out) {
    std::fputs(
        "Usage: pagorix-unzip [OPTIONS] ARCHIVE [PATTERN...]\n"
        "\n"
        "Lists, tests or extracts the entries of a ZIP archive. Options may stand\n"
        "before or after the archive's name.\n"
        "\n"
        "  -l              list the entries (name, date, time, sizes, ratio, method, directory)\n"
        "  -v              list the entries with method, sizes, CRC-32, flags, volume and offset\n"
        "  --sort MODE     order of the listing: name, filename, dirname, date, compressed,\n"
        "                  uncompressed, rate, none (physical order, the default)\n"
        "  -t              test: decode every selected entry and check its CRC-32, write nothing\n"
        "  -d DIR          extract into DIR (default: the current directory)\n"
        "  -P PASSWORD     password for encrypted entries\n"
        "  -o              overwrite existing files without asking\n"
        "  -n              never overwrite existing files\n"
        "  -j              junk stored directories: extract every file into DIR itself\n"
        "  -q              quiet: print only failures\n"
        "  -O CHARSET      code page of names from MS-DOS and Windows archives without the\n"
        "                  UTF-8 flag: cp437 (the default), cp850, cp1252, latin1, utf-8\n"
        "  --help          show this help\n"
        "  --version       show the version\n"
        "\n"
        "PATTERNs select entries (* ? [set]; case is ignored); without one every entry is\n"
        "selected. A pattern without \"/\" matches the name in any directory.\n"
        "Split archives: give the last volume (NAME.zip); NAME.z01, NAME.z02, ... must\n"
        "lie beside it.\n"
        "\n"
        "Exit status: 0 when every selected entry passed, 1 when some entry failed,\n"
        "2 when the archive cannot be read, 10 for a usage error.\n",
        out);
}

bool ParseSortMode(const std::string& text, TZipSortMode& mode) {
    static const struct {
        const char* name;
        TZipSortMode mode;
    } kModes[] = {{"name", TZipSortMode::ByName},
                  {"filename", TZipSortMode::ByFileName},
                  {"dirname", TZipSortMode::ByDirectoryName},
                  {"date", TZipSortMode::ByDate},
                  {"compressed", TZipSortMode::ByCompressedSize},
                  {"uncompressed", TZipSortMode::ByUnCompressedSize},
                  {"rate", TZipSortMode::ByRate},
                  {"none", TZipSortMode::ByNone}};
    for (const auto& m : kModes) {
        if (SameText(text, m.name)) {
            mode = m.mode;
            return true;
        }
    }
    return false;
}

// The command line's own sentence for a failure that ends the whole run; the
// engine's texts are the runtime's.
std::string FailureText(const Exception& e) {
    namespace m = archive_messages;
    static const struct {
        const char* engine;
        const char* shown;
    } kTexts[] = {
        {m::kDamagedDirectory,
         "the central directory is damaged: entries are missing or cannot be read"},
        {m::kOverlappingEntries,
         "entries overlap one another (a zip bomb?); nothing was extracted"},
        {m::kDuplicateIndex,
         "two entries share the same data (a zip bomb?); nothing was extracted"},
        {m::kPrematureEnd, "the archive ends too early: it is truncated or damaged"},
        {m::kNoNewDisk, "a volume of the split archive is missing"},
        {m::kUserAborted, "cancelled"},
    };
    for (const auto& text : kTexts) {
        if (e.Message() == text.engine) return text.shown;
    }
    if (dynamic_cast<const EFOpenError*>(&e) != nullptr) return "cannot open the archive";
    if (dynamic_cast<const EStreamError*>(&e) != nullptr) return "cannot read the archive";
    if (dynamic_cast<const EListError*>(&e) != nullptr) return "the archive's directory is damaged";
    return "the archive cannot be read";
}

}  // namespace

std::string ToTerminal(const std::string& text) {
    return EscapeControls(text);
}

std::string ArchiveName(const TUnZipper& zip, const TZipHeaderInfo& entry) {
    std::string name = NameToUtf8(entry.EntryDir + entry.EntryName, zip.NameCodePageOf(entry));
    for (char& c : name) {
        if (c == '\\') c = '/';
    }
    return name;
}

std::string VolumeName(const std::string& archive, std::int32_t volume, std::int32_t lastVolume) {
    if (volume == lastVolume) return archive;
    std::string base = archive;
    bool upper = false;
    const size_t dot = base.find_last_of('.');
    const size_t sep = base.find_last_of(std::string("\\/") + platform::kPathDelim);
    if (dot != std::string::npos && (sep == std::string::npos || dot > sep)) {
        upper = base.substr(dot) == ".ZIP";
        base.resize(dot);
    }
    return base + Format(upper ? ".Z%02d" : ".z%02d", volume);
}

void InstallVolumeHandler(TUnZipper& zip, const std::string& archive) {
    zip.OnGetNextDisk = [archive](TUnZipper& sender, std::int32_t nextDisk, std::string& fName) {
        const std::int32_t last = sender.EndCentral().ThisDisk + 1;
        const std::string name = VolumeName(archive, nextDisk, last);
        if (!platform::FileExists(name)) {
            std::fprintf(stderr, "pagorix-unzip: volume %d of %d is missing: %s\n", nextDisk, last,
                         ToTerminal(name).c_str());
            fName.clear();
            return;
        }
        fName = name;
    };
}

int Main(int argc, char** argv) {
    Options options;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto needValue = [&](const char* what) -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "pagorix-unzip: %s needs %s\n", arg.c_str(), what);
                throw UsageError();
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("%s\n", kVersion);
            return 0;
        }
        if (arg == "--sort") {
            const std::string mode = needValue("a mode");
            if (!ParseSortMode(mode, options.sortMode)) {
                std::fprintf(stderr, "pagorix-unzip: unknown sort mode \"%s\"\n", mode.c_str());
                return kExitUsage;
            }
        } else if (arg == "-d") {
            options.destDir = needValue("a directory");
        } else if (arg == "-O") {
            const std::string charset = needValue("a code page");
            if (!CodePageByName(charset, options.codePage)) {
                std::fprintf(stderr, "pagorix-unzip: unknown code page \"%s\"\n",
                             ToTerminal(charset).c_str());
                return kExitUsage;
            }
        } else if (arg == "-P") {
            options.password = needValue("a password");
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            for (size_t k = 1; k < arg.size(); ++k) {
                switch (arg[k]) {
                    case 'l':
                        options.list = true;
                        break;
                    case 'v':
                        options.verbose = true;
                        break;
                    case 't':
                        options.test = true;
                        break;
                    case 'o':
                        options.overwrite = OverwriteChoice::Always;
                        break;
                    case 'n':
                        options.overwrite = OverwriteChoice::Never;
                        break;
                    case 'j':
                        options.junkDirs = true;
                        break;
                    case 'q':
                        options.quiet = true;
                        break;
                    default:
                        std::fprintf(stderr, "pagorix-unzip: unknown option -%c (see --help)\n",
                                     arg[k]);
                        return kExitUsage;
                }
            }
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.empty()) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    options.archive = positional.front();
    options.patterns.assign(positional.begin() + 1, positional.end());
    std::error_code error;
    const auto absolute = std::filesystem::absolute(options.archive, error);
    if (!error) options.archive = absolute.string();
    if (!platform::FileExists(options.archive)) {
        std::fprintf(stderr, "pagorix-unzip: cannot find %s\n",
                     ToTerminal(options.archive).c_str());
        return kExitArchive;
    }

    TUnZipper zip;
    zip.DoProcessMessages = false;
    zip.SortMode = options.sortMode;
    zip.NameCodePage = options.codePage;
    zip.NameCodePageDosHostsOnly = true;
    InstallVolumeHandler(zip, options.archive);
    try {
        zip.SetZipName(options.archive);
        if (options.list || options.verbose) {
            zip.OpenZip();
            if (options.verbose) {
                PrintVerbose(zip);
            } else {
                PrintListing(zip);
            }
            return kExitOk;
        }
        return RunExtraction(zip, options);
    } catch (const EIncompleteZip&) {
        std::fprintf(stderr,
                     "pagorix-unzip: %s: no end of central directory record found; this is not "
                     "a ZIP archive, or a part of a split archive other than the last one\n",
                     ToTerminal(options.archive).c_str());
        return kExitArchive;
    } catch (const Exception& e) {
        std::fprintf(stderr, "pagorix-unzip: %s: %s\n", ToTerminal(options.archive).c_str(),
                     FailureText(e).c_str());
        return kExitArchive;
    }
}

}  // namespace pagorix::unzip_cli

int main(int argc, char** argv) {
    try {
        return pagorix::unzip_cli::Main(argc, argv);
    } catch (const pagorix::unzip_cli::UsageError&) {
        return pagorix::unzip_cli::kExitUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pagorix-unzip: %s\n", e.what());
        return pagorix::unzip_cli::kExitArchive;
    }
}
