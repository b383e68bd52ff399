#include "archive/entry_names.h"

#include <cstdio>

#include "framework/sysutils.h"

namespace pagorix {

namespace {

// Code page 437, bytes 0x80 to 0xFF, as Unicode code points.
constexpr std::uint16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

// Code page 850, bytes 0x80 to 0xFF.
constexpr std::uint16_t kCp850High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557,
    0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB,
    0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE, 0x00DE, 0x00DA, 0x00DB, 0x00D9,
    0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
};

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string FromTable(std::string_view name, const std::uint16_t (&high)[128]) {
    std::string out;
    out.reserve(name.size() * 2);
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        AppendUtf8(out, b < 0x80 ? b : high[b - 0x80]);
    }
    return out;
}

}  // namespace

bool CodePageByName(std::string_view name, std::uint16_t& codePage) {
    static const struct {
        const char* name;
        std::uint16_t codePage;
    } kNames[] = {{"cp437", kCodePage437},         {"437", kCodePage437},
                  {"ibm437", kCodePage437},        {"cp850", kCodePage850},
                  {"850", kCodePage850},           {"ibm850", kCodePage850},
                  {"cp1252", kCodePage1252},       {"1252", kCodePage1252},
                  {"windows-1252", kCodePage1252}, {"latin1", kCodePageLatin1},
                  {"iso-8859-1", kCodePageLatin1}, {"iso8859-1", kCodePageLatin1},
                  {"utf-8", kCodePageUtf8},        {"utf8", kCodePageUtf8}};
    for (const auto& entry : kNames) {
        if (SameText(name, entry.name)) {
            codePage = entry.codePage;
            return true;
        }
    }
    return false;
}

bool MadeOnDosHost(std::uint16_t versionMadeBy) {
    const unsigned host = versionMadeBy >> 8;
    return host == 0 || host == 6 || host == 11 || host == 14;
}

std::string NameToUtf8(std::string_view name, std::uint16_t codePage) {
    switch (codePage) {
        case kCodePage437:
            return FromTable(name, kCp437High);
        case kCodePage850:
            return FromTable(name, kCp850High);
        case kCodePage1252:
            return Cp1252ToUtf8(name);
        case kCodePageLatin1: {
            std::string out;
            for (const char c : name)
                AppendUtf8(out, static_cast<unsigned char>(c));
            return out;
        }
        default:
            return std::string(name);
    }
}

std::string EscapeControls(std::string_view text, bool keepTabs) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        // C1 controls arrive as the UTF-8 pairs C2 80 to C2 9F.
        const bool c1 = b == 0xC2 && i + 1 < text.size() &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if ((b < 0x20 && !(keepTabs && b == '\t')) || b == 0x7F || c1) {
            const unsigned value = c1 ? static_cast<unsigned char>(text[++i]) : b;
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", value);
            out += hex;
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}

}  // namespace pagorix
