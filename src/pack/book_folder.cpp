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

}  // namespace

std::string_view FlatName(std::string_view name) {
    const size_t slash = name.rfind('/');
    return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

std::vector<BookFile> ScanBookFolder(const std::string& folder) {
    const fs::path root(folder);
    std::vector<BookFile> files;
    std::error_code error;
    fs::recursive_directory_iterator it(root, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const fs::directory_entry& entry = *it;
        std::error_code statError;
        // Links to files are followed; a link to a folder is not, to keep
        // clear of loops, and is refused with the other kinds of file.
        if (entry.is_directory(statError) && !entry.is_symlink(statError)) continue;
        const std::string relative = Relative(entry.path(), root);
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
        files.push_back(std::move(file));
    }
    if (error) {
        throw EPackError("cannot read the folder \"" + folder + "\": " + error.message());
    }
    std::sort(files.begin(), files.end(),
              [](const BookFile& a, const BookFile& b) { return a.storedName < b.storedName; });

    std::map<std::string, const BookFile*> byFlatName;
    for (const BookFile& file : files) {
        const std::string flat = FoldCase(FlatName(file.storedName));
        if (IsReservedName(flat)) {
            throw EPackError("the file \"" + file.relative +
                             "\" has a name that the book runtime keeps for its own files; "
                             "rename it");
        }
        if (const std::string problem = WindowsNameProblem(FlatName(file.storedName));
            !problem.empty()) {
            throw EPackError("the file \"" + file.relative + "\" " + problem +
                             ", which Windows cannot create; rename it");
        }
        const auto [other, added] = byFlatName.emplace(flat, &file);
        if (!added) {
            throw EPackError("\"" + other->second->relative + "\" and \"" + file.relative +
                             "\" would both be unpacked as \"" +
                             std::string(FlatName(file.relative)) +
                             "\" (a book unpacks all its files into one folder); rename one");
        }
    }
    return files;
}

const BookFile& FindStartPage(const std::vector<BookFile>& files, std::string_view page) {
    std::string wanted = ToBookText(page, "start page");
    std::replace(wanted.begin(), wanted.end(), '\\', '/');
    while (wanted.starts_with("./"))
        wanted.erase(0, 2);
    const bool byPath = wanted.find('/') != std::string::npos;
    wanted = FoldCase(wanted);
    for (const BookFile& file : files) {
        const std::string_view name =
            byPath ? std::string_view(file.storedName) : FlatName(file.storedName);
        if (FoldCase(name) == wanted) return file;
    }
    throw EPackError("the start page \"" + std::string(page) + "\" is not in the source folder");
}

}  // namespace pagorix
