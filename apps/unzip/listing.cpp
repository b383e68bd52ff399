#include <cstdio>

#include "framework/string_list.h"
#include "unzip_cli.h"

namespace pagorix::unzip_cli {

void PrintListing(TUnZipper& zip) {
    TStringList lines;
    zip.FillList(lines);
    // One line per entry of the sorted view, in its order.
    std::int32_t i = 0;
    for (const std::string& line : lines) {
        const TZipHeaderInfo& e = *zip.SortedView()->Entry(i++);
        std::printf("%s\n", EscapeControls(NameToUtf8(line, zip.NameCodePageOf(e)), true).c_str());
    }
}

void PrintVerbose(TUnZipper& zip) {
    std::printf("%10s  %-4s  %10s  %8s  %-5s  %3s  %10s  %s\n", "Length", "Meth", "Size", "CRC-32",
                "Flags", "Vol", "Offset", "Name");
    const TSortedZip* view = zip.SortedView();
    const std::int32_t count = view == nullptr ? 0 : view->Count();
    for (std::int32_t i = 0; i < count; ++i) {
        const TZipHeaderInfo& e = *view->Entry(i);
        std::string method = MethodShortName(e.CompressionMethod);
        if (method.empty()) method = std::to_string(e.CompressionMethod);
        std::printf("%10u  %-4s  %10u  %08x  %04x   %3u  %10llu  %s\n", e.UncompressedSize,
                    method.c_str(), e.CompressedSize, e.CRC32, e.GPFlags,
                    static_cast<unsigned>(e.DiskNumberStart) + 1,
                    static_cast<unsigned long long>(e.LocalOffset),
                    ToTerminal(ArchiveName(zip, e)).c_str());
    }
    std::printf("%d entries\n", count);
}

}  // namespace pagorix::unzip_cli
