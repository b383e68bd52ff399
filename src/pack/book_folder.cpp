#include "pack/book_folder.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>

#include "book/book_format.h"
#include "framework/sysutils.h"
#include "pack/manifest_writer.h"

namespace pagorix {

namespace fs = std::filesystem;

namespace {

// Characters that a Windows file name cannot hold (besides controls).
constexpr std::string_view kForbiddenInNames = "\\:*?\"<>|";

// Files that desktops leave in folders; never part of a site.
constexpr std::string_view kDesktopFiles[] = {"thumbs.db", "desktop.ini"};

void CheckWindowsName(const std::string& relative) {
    for (const char c : relative) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20) {
            throw EPackError("the file name \"" + relative +
                             "\" holds a control character, which a Windows file name cannot hold");
        }
        if (kForbiddenInNames.find(c) != std::string_view::npos) {
            throw EPackError("the file name \"" + relative + "\" holds \"" + std::string(1, c) +
                             "\", which a Windows file name cannot hold");
        }
    }
}

std::string Relative(const fs::path& path, const fs::path& root) {
    const std::u8string text = path.lexically_relative(root).generic_u8string();
    return std::string(text.begin(), text.end());
}

std::vector<std::string_view> Parts(std::string_view path) {
    std::vector<std::string_view> parts;
    for (size_t start = 0; start <= path.size();) {
        const size_t end = std::min(path.find('/', start), path.size());
        parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool IsLeftOutByDefault(std::string_view name) {
    const std::string folded = FoldCase(name);
    return name.starts_with('.') || std::find(std::begin(kDesktopFiles), std::end(kDesktopFiles),
                                              folded) != std::end(kDesktopFiles);
}

// Glob matching over one "/"-separated text; "**" crosses folders.
bool Glob(std::string_view pattern, std::string_view text) {
    if (pattern.empty()) return text.empty();
    if (pattern.starts_with("**")) {
        std::string_view rest = pattern.substr(2);
        if (rest.starts_with('/')) {
            // "**/" also matches no folder at all.
            if (Glob(rest.substr(1), text)) return true;
        }
        for (size_t skip = 0; skip <= text.size(); ++skip) {
            if (Glob(rest, text.substr(skip))) return true;
        }
        return false;
    }
    switch (pattern[0]) {
        case '*':
            for (size_t skip = 0; skip <= text.size(); ++skip) {
                if (Glob(pattern.substr(1), text.substr(skip))) return true;
                if (skip < text.size() && text[skip] == '/') break;
            }
            return false;
        case '?':
            return !text.empty() && text[0] != '/' && Glob(pattern.substr(1), text.substr(1));
        case '[': {
            const size_t close = pattern.find(']', 2);
            if (close == std::string_view::npos) break;  // a plain "["
            if (text.empty() || text[0] == '/') return false;
            std::string_view set = pattern.substr(1, close - 1);
            const bool negate = set.starts_with('!') || set.starts_with('^');
            if (negate) set.remove_prefix(1);
            bool in = false;
            for (size_t i = 0; i < set.size(); ++i) {
                if (i + 2 < set.size() && set[i + 1] == '-') {
                    in = in || (set[i] <= text[0] && text[0] <= set[i + 2]);
                    i += 2;
                } else {
                    in = in || set[i] == text[0];
                }
            }
            return in != negate && Glob(pattern.substr(close + 1), text.substr(1));
        }
        default:
            break;
    }
    return !text.empty() && pattern[0] == text[0] && Glob(pattern.substr(1), text.substr(1));
}

// The name under which the file lands in the unpacked book, folded to the
// case a Windows file system ignores.
std::string FoldedKey(const BookFile& file, bool flat) {
    return FoldCase(flat ? FlatName(file.storedName) : std::string_view(file.storedName));
}

// Every name the book cannot carry, one line each; all of them at once, so
// that an author renames in one go.
std::vector<std::string> NameProblems(const std::vector<BookFile>& files, bool flat) {
    std::vector<std::string> problems;
    std::map<std::string, std::vector<const BookFile*>> byName;
    std::map<std::string, const BookFile*> folders;  // folded folder path, first file in it
    for (const BookFile& file : files) {
        const std::string key = FoldedKey(file, flat);
        // The runtime does not write a book file named like one of its own,
        // in whatever folder.
        if (IsReservedName(FlatName(key))) {
            problems.push_back("the file \"" + file.relative +
                               "\" has a name that the book runtime keeps for its own files; "
                               "rename it");
        }
        const std::vector<std::string_view> parts = Parts(file.storedName);
        for (size_t i = flat ? parts.size() - 1 : 0; i < parts.size(); ++i) {
            if (const std::string problem = WindowsNameProblem(parts[i]); !problem.empty()) {
                const bool isFolder = i + 1 < parts.size();
                problems.push_back(
                    std::string(isFolder ? "the folder \"" : "the file \"") +
                    Cp1252ToUtf8(file.storedName.substr(
                        0, static_cast<size_t>(parts[i].data() - file.storedName.data()) +
                               parts[i].size())) +
                    "\" " + problem + ", which Windows cannot create; rename it");
                break;
            }
        }
        byName[key].push_back(&file);
        if (!flat) {
            for (size_t slash = key.find('/'); slash != std::string::npos;
                 slash = key.find('/', slash + 1)) {
                folders.emplace(key.substr(0, slash), &file);
            }
        }
    }
    for (const auto& [key, same] : byName) {
        if (same.size() < 2) continue;
        std::string line;
        for (size_t i = 0; i < same.size(); ++i) {
            line += (i == 0                 ? "\""
                     : i + 1 == same.size() ? " and \""
                                            : ", \"") +
                    same[i]->relative + "\"";
        }
        if (flat) {
            line += std::string(same.size() == 2 ? " would both" : " would all") +
                    " be unpacked as \"" + std::string(FlatName(same[0]->relative)) +
                    "\" (a flat book unpacks all its files into one folder); rename all but one";
        } else {
            line +=
                " are one file on Windows, where letter case does not tell names apart; "
                "rename all but one";
        }
        problems.push_back(line);
    }
    for (const auto& [key, named] : byName) {
        const auto folder = folders.find(key);
        if (folder == folders.end()) continue;
        problems.push_back("the file \"" + named[0]->relative + "\" and the folder of \"" +
                           folder->second->relative + "\" are one name on Windows; rename one");
    }
    return problems;
}

// Whether the folder a link leads to holds the link itself.
bool LeadsToItsOwnFolder(const fs::path& link) {
    std::error_code error;
    const fs::path target = fs::canonical(link, error);
    const fs::path holder = fs::canonical(link.parent_path(), error);
    if (error) return false;
    const auto [targetEnd, holderEnd] =
        std::mismatch(target.begin(), target.end(), holder.begin(), holder.end());
    return targetEnd == target.end();
}

}  // namespace

std::string_view FlatName(std::string_view name) {
    const size_t slash = name.rfind('/');
    return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

bool MatchesExclude(std::string_view pattern, std::string_view relative) {
    while (pattern.starts_with("./"))
        pattern.remove_prefix(2);
    while (pattern.size() > 1 && pattern.ends_with('/'))
        pattern.remove_suffix(1);
    const bool anywhere = pattern.find('/') == std::string_view::npos;
    std::string_view prefix = relative;
    for (;;) {
        // The path itself, then each folder holding it.
        if (anywhere ? Glob(pattern, FlatName(prefix)) : Glob(pattern, prefix)) return true;
        const size_t slash = prefix.rfind('/');
        if (slash == std::string_view::npos) return false;
        prefix = prefix.substr(0, slash);
    }
}

BookFolder ScanBookFolder(const std::string& folder, const ScanOptions& options) {
    const fs::path root(folder);
    BookFolder book;
    std::error_code error;
    fs::recursive_directory_iterator it(root, fs::directory_options::follow_directory_symlink,
                                        error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const fs::directory_entry& entry = *it;
        std::error_code statError;
        const std::string relative = Relative(entry.path(), root);
        const bool isFolder = entry.is_directory(statError);
        const bool leftOut = (!options.includeHidden && IsLeftOutByDefault(FlatName(relative))) ||
                             std::any_of(options.excludes.begin(), options.excludes.end(),
                                         [&](const std::string& pattern) {
                                             return MatchesExclude(pattern, relative);
                                         });
        if (leftOut) {
            if (!isFolder) {
                ++book.leftOut;
            } else {
                // Count what the folder holds, without going in.
                std::error_code countError;
                for (fs::recursive_directory_iterator inner(entry.path(), countError), end;
                     !countError && inner != end; inner.increment(countError)) {
                    std::error_code innerError;
                    if (!inner->is_directory(innerError)) ++book.leftOut;
                }
                it.disable_recursion_pending();
            }
            continue;
        }
        // Links are followed, as a browser follows them: sites installed by
        // packages link their fonts and scripts in from shared folders. A
        // link to a folder that holds the link would never end.
        if (isFolder) {
            if (entry.is_symlink(statError) && LeadsToItsOwnFolder(entry.path())) {
                throw EPackError("\"" + relative +
                                 "\" is a link to a folder that holds it, which would go on "
                                 "for ever; leave it out with --exclude");
            }
            continue;
        }
        if (!entry.is_regular_file(statError)) {
            throw EPackError("\"" + relative + "\" in the source folder is not a regular file");
        }
        BookFile file;
        file.path = entry.path().string();
        file.relative = relative;
        file.size = entry.file_size(statError);
        if (statError) {
            throw EPackError("cannot read \"" + file.path + "\": " + statError.message());
        }
        file.storedName = ToBookText(relative, "file name \"" + relative + "\"");
        CheckWindowsName(file.storedName);
        book.files.push_back(std::move(file));
    }
    if (error) {
        throw EPackError("cannot read the folder \"" + folder + "\": " + error.message());
    }
    std::sort(book.files.begin(), book.files.end(),
              [](const BookFile& a, const BookFile& b) { return a.storedName < b.storedName; });

    const std::vector<std::string> problems = NameProblems(book.files, options.flat);
    if (!problems.empty()) {
        std::string message = problems.front();
        if (problems.size() > 1) {
            message =
                std::to_string(problems.size()) + " problems with the file names, one per line:";
            for (const std::string& line : problems)
                message += "\n  " + line;
        }
        throw EPackError(message);
    }
    return book;
}

const BookFile& FindStartPage(const std::vector<BookFile>& files, std::string_view page,
                              bool flat) {
    std::string wanted = ToBookText(page, "start page");
    std::replace(wanted.begin(), wanted.end(), '\\', '/');
    while (wanted.starts_with("./"))
        wanted.erase(0, 2);
    const bool byPath = !flat || wanted.find('/') != std::string::npos;
    wanted = FoldCase(wanted);
    for (const BookFile& file : files) {
        const std::string_view name =
            byPath ? std::string_view(file.storedName) : FlatName(file.storedName);
        if (FoldCase(name) == wanted) return file;
    }
    throw EPackError("the start page \"" + std::string(page) + "\" is not in the source folder");
}

const BookFile* DefaultStartPage(const std::vector<BookFile>& files) {
    for (const char* name : {"index.html", "index.htm"}) {
        for (const BookFile& file : files) {
            if (SameFileName(file.storedName, name)) return &file;
        }
    }
    return nullptr;
}

}  // namespace pagorix
