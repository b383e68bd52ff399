// The parts of pagorix-unzip: options, listings and the extraction run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/unzipper.h"

namespace pagorix::unzip_cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailures = 1;
inline constexpr int kExitArchive = 2;
inline constexpr int kExitUsage = 10;

struct UsageError {};

enum class OverwriteChoice { Ask, Always, Never };

struct Options {
    std::string archive;
    std::vector<std::string> patterns;
    std::string destDir;
    std::string password;
    TZipSortMode sortMode = TZipSortMode::ByNone;
    OverwriteChoice overwrite = OverwriteChoice::Ask;
    bool list = false;
    bool verbose = false;
    bool test = false;
    bool junkDirs = false;
    bool quiet = false;
    // Code page of names from MS-DOS and Windows hosts without the UTF-8 flag.
    std::uint16_t codePage = kCodePage437;
};

// Text as shown on the terminal: control characters escaped.
std::string ToTerminal(const std::string& text);
// The entry's name with "/" separators, in UTF-8 as the engine writes it.
std::string ArchiveName(const TUnZipper& zip, const TZipHeaderInfo& entry);
// The file of 1-based volume n of a split archive whose last volume is archive.
std::string VolumeName(const std::string& archive, std::int32_t volume, std::int32_t lastVolume);

void PrintListing(TUnZipper& zip);
void PrintVerbose(TUnZipper& zip);
int RunExtraction(TUnZipper& zip, const Options& options);

}  // namespace pagorix::unzip_cli
