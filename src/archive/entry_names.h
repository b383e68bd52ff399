// Entry names as the host sees them. The archive stores names as bytes: UTF-8
// when general purpose flag bit 11 is set, otherwise in the code page of the
// machine that made the archive (code page 437 for MS-DOS and Windows tools,
// Windows-1252 for books). Hosts whose file names are UTF-8 get the name
// converted; the engine's records (EntryName, EntryDir, the listing) keep the
// stored bytes, so callers that match or list names see what they always saw.
//
// Code pages are named by their usual numbers; kCodePageAsStored converts
// nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pagorix {

inline constexpr std::uint16_t kCodePageAsStored = 0;
inline constexpr std::uint16_t kCodePage437 = 437;
inline constexpr std::uint16_t kCodePage850 = 850;
inline constexpr std::uint16_t kCodePage1252 = 1252;
inline constexpr std::uint16_t kCodePageLatin1 = 28591;
inline constexpr std::uint16_t kCodePageUtf8 = 65001;

inline constexpr std::uint16_t kFlagUtf8Name = 0x0800;

// The code page number for a name such as "cp437", "CP1252", "windows-1252",
// "latin1", "iso-8859-1" or "utf-8"; false when it is none the engine knows.
bool CodePageByName(std::string_view name, std::uint16_t& codePage);

// True for the "version made by" hosts whose tools write names in an OEM code
// page: MS-DOS (FAT), OS/2 (HPFS), Windows NTFS and VFAT.
bool MadeOnDosHost(std::uint16_t versionMadeBy);

// The bytes of a name in codePage as UTF-8. UTF-8 and kCodePageAsStored give
// the bytes back unchanged.
std::string NameToUtf8(std::string_view name, std::uint16_t codePage);

// UTF-8 text with control characters (C0, DEL and C1) written as \xNN, so a
// name shown on a terminal cannot move the cursor or change its state. With
// keepTabs, tabs stay (for tab-separated lines).
std::string EscapeControls(std::string_view text, bool keepTabs = false);

}  // namespace pagorix
