// Text helpers of the run-time framework. Strings are byte strings in the
// system's single-byte code page; case mapping touches ASCII letters only.
#pragma once

#include <string>
#include <string_view>

namespace pagorix {

// printf-style formatting into a string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
bool SameText(std::string_view a, std::string_view b);
// <0, 0, >0 like strcmp, ignoring the case of ASCII letters.
int CompareText(std::string_view a, std::string_view b);

// Windows-1252 to UTF-8 and back, for the places where text leaves the system
// (terminal, GTK) or enters it (the authoring tool). ToCp1252 fails on the
// first character that Windows-1252 cannot hold and reports it.
// Appends one Unicode code point as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);
std::string Cp1252ToUtf8(std::string_view text);
struct Cp1252Result {
    bool ok;
    std::string text;       // the converted text when ok
    std::string offending;  // the UTF-8 of the first character that failed
};
Cp1252Result Utf8ToCp1252(std::string_view text);
// What a reader typed, in Windows-1252: a character that Windows-1252 cannot
// hold becomes "?", a byte that is not part of UTF-8 is kept as it is (a
// terminal in a Latin-1 locale).
std::string TypedToCp1252(std::string_view utf8);

}  // namespace pagorix
