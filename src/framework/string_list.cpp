#include "framework/string_list.h"

#include <algorithm>

#include "framework/exceptions.h"
#include "framework/stream.h"
#include "framework/sysutils.h"

namespace pagorix {

namespace {
[[noreturn]] void RaiseIndex(int index) {
    throw EListError(Format(messages::SListIndexError, index));
}
}  // namespace

const std::string& TStringList::Strings(int index) const {
    if (index < 0 || index >= Count()) RaiseIndex(index);
    return m_items[static_cast<size_t>(index)];
}

int TStringList::Add(std::string value) {
    if (m_sorted) {
        int index = 0;
        Find(value, index);
        m_items.insert(m_items.begin() + index, std::move(value));
        return index;
    }
    m_items.push_back(std::move(value));
    return Count() - 1;
}

void TStringList::Insert(int index, std::string value) {
    if (index < 0 || index > Count()) RaiseIndex(index);
    m_items.insert(m_items.begin() + index, std::move(value));
}

void TStringList::Delete(int index) {
    if (index < 0 || index >= Count()) RaiseIndex(index);
    m_items.erase(m_items.begin() + index);
}

int TStringList::IndexOf(std::string_view value) const {
    for (int i = 0; i < Count(); ++i) {
        if (SameText(m_items[static_cast<size_t>(i)], value)) return i;
    }
    return -1;
}

void TStringList::SetSorted(bool sorted) {
    if (sorted && !m_sorted) {
        std::stable_sort(m_items.begin(), m_items.end(),
                         [](const auto& a, const auto& b) { return CompareText(a, b) < 0; });
    }
    m_sorted = sorted;
}

bool TStringList::Find(std::string_view value, int& index) const {
    int low = 0;
    int high = Count() - 1;
    bool found = false;
    while (low <= high) {
        const int mid = (low + high) / 2;
        const int c = CompareText(m_items[static_cast<size_t>(mid)], value);
        if (c < 0) {
            low = mid + 1;
        } else {
            high = mid - 1;
            if (c == 0) found = true;
        }
    }
    index = low;
    return found;
}

std::string TStringList::Text() const {
    std::string text;
    for (const auto& line : m_items) {
        text += line;
        text += "\r\n";
    }
    return text;
}

void TStringList::SetText(std::string_view text) {
    m_items.clear();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
        m_items.emplace_back(text.substr(start, end - start));
        if (end < text.size() && text[end] == '\r') {
            ++end;
            if (end < text.size() && text[end] == '\n') ++end;
        } else if (end < text.size()) {
            ++end;  // a lone LF
        }
        start = end;
    }
    if (m_sorted) {
        m_sorted = false;
        SetSorted(true);
    }
}

void TStringList::LoadFromFile(const std::string& fileName) {
    TMemoryStream memory;
    memory.LoadFromFile(fileName);
    const auto& bytes = memory.Bytes();
    SetText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void TStringList::SaveToFile(const std::string& fileName) const {
    const std::string text = Text();
    TFileStream file(fileName, platform::fmCreate);
    file.WriteBuffer(text.data(), static_cast<std::int32_t>(text.size()));
}

}  // namespace pagorix
