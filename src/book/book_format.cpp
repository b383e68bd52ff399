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

}  // namespace pagorix
