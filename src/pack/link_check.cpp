#include "pack/link_check.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "book/book_format.h"
#include "pack/pack_error.h"
#include "pack/page_links.h"

namespace pagorix {

namespace {

bool EndsWithNoCase(const std::string& text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           FoldCase(std::string_view(text).substr(text.size() - suffix.size())) == suffix;
}

std::string ReadWhole(const BookFile& file) {
    std::ifstream in(file.path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in && !in.eof()) throw EPackError("cannot read \"" + file.path + "\"");
    return text.str();
}

// Whether the link names a scheme ("https:", "mailto:") or a host ("//x").
bool IsExternal(std::string_view link) {
    if (link.starts_with("//")) return true;
    const size_t colon = link.find(':');
    if (colon == std::string_view::npos || colon < 2) return false;  // "c:" is a drive
    if (!std::isalpha(static_cast<unsigned char>(link[0]))) return false;
    for (size_t i = 1; i < colon; ++i) {
        const char c = link[i];
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string PercentDecoded(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

std::string FolderOf(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

// Resolves `path` against `folder` ("" is the top); false when it climbs
// above the top. `isFolder` tells whether the result names a folder.
bool Resolve(const std::string& folder, std::string_view path, std::string& out, bool& isFolder) {
    std::vector<std::string> parts;
    std::string joined = folder.empty() ? std::string(path) : folder + "/" + std::string(path);
    std::replace(joined.begin(), joined.end(), '\\', '/');
    isFolder = joined.empty() || joined.ends_with('/') || joined.ends_with("/.") ||
               joined.ends_with("/..") || joined == "." || joined == "..";
    std::stringstream stream(joined);
    for (std::string part; std::getline(stream, part, '/');) {
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (parts.empty()) return false;
            parts.pop_back();
        } else {
            parts.push_back(part);
        }
    }
    out.clear();
    for (const std::string& part : parts)
        out += (out.empty() ? "" : "/") + part;
    return true;
}

// What the unpacked book holds: its files and folders by path.
class BookPaths {
public:
    BookPaths(const std::vector<BookFile>& files, bool flat) {
        for (const BookFile& file : files) {
            Add(flat ? std::string(FlatName(file.relative)) : file.relative);
            if (flat) m_sourcePaths.insert(file.relative);
        }
    }

    // Why the link from the file at `from` leads nowhere; empty when it
    // leads to the book.
    // `source` is the file's path in the source folder.
    std::string Problem(const std::string& from, const std::string& source,
                        std::string_view written, bool flat) const {
        std::string_view link = Trimmed(written);
        link = link.substr(0, std::min(link.find('#'), link.size()));
        link = link.substr(0, std::min(link.find('?'), link.size()));
        if (link.empty()) return {};  // the page itself
        const std::string path = PercentDecoded(link);
        if (path.starts_with('/') || path.starts_with('\\') ||
            (path.size() >= 2 && path[1] == ':')) {
            return "leads out of the book (a path from the top of a disk)";
        }
        std::string target;
        bool isFolder = false;
        if (!Resolve(FolderOf(from), path, target, isFolder)) {
            return "leads out of the book";
        }
        if (target.empty() || m_folders.count(target) != 0) return {};
        if (!isFolder && m_files.count(target) != 0) return {};
        if (const auto found = m_folded.find(FoldCase(target)); found != m_folded.end()) {
            return "leads to \"" + found->second +
                   "\" only where letter case does not count (Windows): the names differ in "
                   "case";
        }
        if (flat) {
            // Where the link would lead in the source folder's own layout.
            std::string inSource;
            bool sourceIsFolder = false;
            if (Resolve(FolderOf(source), path, inSource, sourceIsFolder) &&
                inSource.find('/') != std::string::npos && m_sourcePaths.count(inSource) != 0) {
                return "leads into the folder \"" + FolderOf(inSource) +
                       "\", and a flat book has no folders";
            }
        }
        return "leads to nothing in the book";
    }

private:
    void Add(const std::string& path) {
        m_files.insert(path);
        m_folded.emplace(FoldCase(path), path);
        for (std::string folder = FolderOf(path); !folder.empty(); folder = FolderOf(folder)) {
            m_folders.insert(folder);
            m_folded.emplace(FoldCase(folder), folder);
        }
    }

    std::set<std::string> m_files;
    std::set<std::string> m_folders;
    std::map<std::string, std::string> m_folded;  // folded path, the path
    std::set<std::string> m_sourcePaths;          // a flat book's files by their source path
};

}  // namespace

bool IsHtmlPage(const std::string& relative) {
    return EndsWithNoCase(relative, ".html") || EndsWithNoCase(relative, ".htm");
}

std::vector<BrokenLink> CheckLinks(const std::vector<BookFile>& files, bool flat) {
    BookPaths paths(files, flat);
    std::vector<BrokenLink> broken;
    for (const BookFile& file : files) {
        const bool isPage = IsHtmlPage(file.relative);
        if (!isPage && !EndsWithNoCase(file.relative, ".css")) continue;
        const std::string text = ReadWhole(file);
        const std::vector<std::string> links = isPage ? HtmlLinks(text) : CssLinks(text);
        const std::string location = flat ? std::string(FlatName(file.relative)) : file.relative;
        std::set<std::string> reported;  // each link once per file
        for (const std::string& link : links) {
            if (IsExternal(Trimmed(link)) || !reported.insert(link).second) continue;
            if (std::string reason = paths.Problem(location, file.relative, link, flat);
                !reason.empty()) {
                broken.push_back({file.relative, link, std::move(reason)});
            }
        }
    }
    return broken;
}

}  // namespace pagorix
