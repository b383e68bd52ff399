// How a memo takes a text file: the text up to its first NUL byte, every line
// break (CR LF, CR alone, LF alone) one break, and lines read back by index,
// at most kMemoLineLimit characters each, the empty text past the last line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pagorix {

inline constexpr size_t kMemoLineLimit = 4096;
// What a memo holds at most; a larger text fails to load with SMemoTooLarge.
inline constexpr size_t kMemoCapacity = 64u * 1024u * 1024u;

class TMemoLines {
public:
    // Raises Exception(SMemoTooLarge) for a text above kMemoCapacity bytes
    // (counted up to the first NUL).
    void SetText(std::string_view text);
    // Raises the framework's file-open error when the file cannot be opened.
    void LoadFromFile(const std::string& fileName);

    int Count() const { return static_cast<int>(m_lines.size()); }
    // Line n (from 0), cut to kMemoLineLimit characters; empty when missing.
    std::string Line(int n) const;
    void Clear() { m_lines.clear(); }
    void Add(std::string line) { m_lines.push_back(std::move(line)); }
    const std::vector<std::string>& Lines() const { return m_lines; }

private:
    std::vector<std::string> m_lines;
};

}  // namespace pagorix
