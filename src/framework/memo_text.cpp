#include "framework/memo_text.h"

#include "framework/exceptions.h"
#include "framework/stream.h"

namespace pagorix {

void TMemoLines::SetText(std::string_view text) {
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    if (text.size() > kMemoCapacity) throw Exception(messages::SMemoTooLarge);
    m_lines.clear();
    size_t start = 0;
    for (;;) {
        size_t end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        m_lines.emplace_back(text.substr(start, end - start));
        if (end == text.size()) break;
        // One break: CR LF, or a CR or an LF alone.
        end += (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1;
        start = end;
    }
}

void TMemoLines::LoadFromFile(const std::string& fileName) {
    TMemoryStream memory;
    memory.LoadFromFile(fileName);
    const auto& bytes = memory.Bytes();
    SetText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string TMemoLines::Line(int n) const {
    if (n < 0 || n >= Count()) return {};
    const std::string& line = m_lines[static_cast<size_t>(n)];
    return line.size() > kMemoLineLimit ? line.substr(0, kMemoLineLimit) : line;
}

}  // namespace pagorix
