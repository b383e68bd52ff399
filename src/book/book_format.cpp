#include "book/book_format.h"

#include <algorithm>

namespace pagorix {

namespace {

char FoldByte(char c) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7)) {
        return static_cast<char>(b + 0x20);
    }
    if (b == 0x8A || b == 0x8C || b == 0x8E) return static_cast<char>(b + 0x10);  // Š Œ Ž
    if (b == 0x9F) return static_cast<char>(0xFF);                                // Ÿ
    return c;
}

}  // namespace

std::string FoldCase(std::string_view cp1252) {
    std::string out(cp1252);
    std::transform(out.begin(), out.end(), out.begin(), FoldByte);
    return out;
}

bool SameFileName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return FoldByte(x) == FoldByte(y);
           });
}

bool IsReservedName(std::string_view name) {
    return SameFileName(name, kManifestName) || SameFileName(name, kArchiveCopyName) ||
           SameFileName(name, kOwnerFileName);
}

bool IsFolderBook(std::string_view line7) {
    return line7.starts_with(kFoldersMark) &&
           (line7.size() == kFoldersMark.size() || line7[kFoldersMark.size()] == ' ');
}

bool StaysInside(std::string_view relative) {
    if (relative.empty() || relative.find(':') != std::string_view::npos) return false;
    for (size_t start = 0; start <= relative.size();) {
        const size_t end = std::min(relative.find_first_of("/\\", start), relative.size());
        // An empty first part is a leading separator: an absolute path.
        if ((end == start && start == 0) || relative.substr(start, end - start) == "..") {
            return false;
        }
        start = end + 1;
    }
    return true;
}

std::vector<std::string> FoldersOfNames(const std::vector<std::string>& names) {
    std::vector<std::string> folders;
    for (const std::string& name : names) {
        if (!StaysInside(name)) continue;
        for (size_t slash = name.find('/'); slash != std::string::npos;
             slash = name.find('/', slash + 1)) {
            if (slash > 0) folders.push_back(name.substr(0, slash));
        }
    }
    // Deepest first: a folder's path holds more separators than the path of
    // any folder holding it. Equal paths end up together and are kept once.
    const auto depth = [](const std::string& path) {
        return std::count(path.begin(), path.end(), '/');
    };
    std::sort(folders.begin(), folders.end(), [&](const std::string& a, const std::string& b) {
        return depth(a) != depth(b) ? depth(a) > depth(b) : a < b;
    });
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    return folders;
}

std::string WindowsNameProblem(std::string_view name) {
    if (!name.empty() && (name.back() == '.' || name.back() == ' ')) {
        return name.back() == '.' ? "ends with a dot" : "ends with a blank";
    }
    // Windows takes the part before the first dot for the device, whatever
    // the extension: "con.html" is the console.
    const std::string base = FoldCase(name.substr(0, name.find('.')));
    static constexpr std::string_view kDevices[] = {"con", "prn", "aux", "nul"};
    bool device = false;
    for (const std::string_view d : kDevices)
        device = device || base == d;
    if (base.size() == 4 && (base.starts_with("com") || base.starts_with("lpt")) &&
        base[3] >= '1' && base[3] <= '9') {
        device = true;
    }
    return device ? "is the name of the Windows device \"" + base + "\"" : std::string();
}

}  // namespace pagorix
