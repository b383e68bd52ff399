// An ordered list of byte strings, optionally kept sorted without regard to
// case. Line-oriented text uses CR LF between lines, as the system writes it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pagorix {

class TStringList {
public:
    int Count() const { return static_cast<int>(m_items.size()); }
    // Raises EListError "Index de liste hors limites (%d)" for a bad index.
    const std::string& Strings(int index) const;
    const std::string& operator[](int index) const { return Strings(index); }

    // Adds at the end, or at the sorted place when Sorted; returns the index.
    int Add(std::string value);
    void Insert(int index, std::string value);
    void Delete(int index);
    void Clear() { m_items.clear(); }
    // The first index whose text equals value (ignoring case), or -1.
    int IndexOf(std::string_view value) const;

    bool Sorted() const { return m_sorted; }
    void SetSorted(bool sorted);
    // Binary search in a sorted list; index is where value is or would go.
    bool Find(std::string_view value, int& index) const;

    // Every line followed by CR LF.
    std::string Text() const;
    // Splits at CR LF, CR alone or LF alone; a final break adds no empty line.
    void SetText(std::string_view text);
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;

    std::vector<std::string>::const_iterator begin() const { return m_items.begin(); }
    std::vector<std::string>::const_iterator end() const { return m_items.end(); }

private:
    std::vector<std::string> m_items;
    bool m_sorted = false;
};

}  // namespace pagorix
