// Small helpers of the archive engine: percentages, substrings, separators,
// directories, files and volume labels. Strings are byte strings; paths use
// the host's separator.
#pragma once

#include <cstdint>
#include <string>

namespace pagorix {

std::int32_t IntMin(std::int32_t a, std::int32_t b);
std::int32_t IntMax(std::int32_t a, std::int32_t b);

// done x 100 / size rounded to the nearest integer (halves to even), at most
// 100; 0 when size < 1.
std::int32_t PercentOf(std::int32_t size, std::int32_t done);
// The same for 64-bit counts; 0 when total <= 0.
std::int32_t PercentOf64(std::int64_t total, std::int64_t done);

// Every "/" becomes a backslash, in place; the zero-terminated form returns text.
void SlashesToBackslashes(std::string& text);
char* SlashesToBackslashes(char* text);

// The last n characters (the whole text when it is shorter).
std::string RightChars(const std::string& text, std::int32_t n);
// The first n characters (the whole text when it is shorter).
std::string LeftChars(const std::string& text, std::int32_t n);

// True for the characters that end a directory part of a path on this host:
// the path separator, and on drive-letter hosts the colon.
bool IsDirEnd(char c);

// Creates the directory and every missing parent; failures are not reported.
void MakeDirs(const std::string& path);

bool FileExistsAt(const std::string& path);
bool DirExistsAt(const std::string& path);

std::string CurrentDirOf(std::int32_t drive);
// Raises EInOutError with the host's error code on failure.
void ChangeDir(const std::string& path);

// The label of the volume at root, read with a buffer of 14 characters; empty
// when the query fails.
std::string VolumeLabelOf(const std::string& root);

std::string AsCString(const std::string& text);

}  // namespace pagorix
