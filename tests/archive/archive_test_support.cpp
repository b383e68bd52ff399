#include "archive_test_support.h"

#include <fstream>
#include <sstream>

#include "archive/zip_cipher.h"
#include "framework/sysutils.h"
#include "platform/platform.h"

namespace pagorix::test {

namespace {
std::uint32_t UncompressedSize(const EntryPlan& e) {
    return static_cast<std::uint32_t>(
        e.uncompressedSize >= 0 ? e.uncompressedSize : static_cast<std::int64_t>(e.data.size()));
}
}  // namespace

BuiltZip BuildZip(const std::vector<EntryPlan>& entries, const Bytes& prefix,
                  const std::string& comment) {
    BuiltZip built;
    ByteWriter w;
    w.Raw(prefix);
    std::vector<std::uint32_t> crcs;
    for (const EntryPlan& e : entries) {
        const std::uint32_t crc = e.computeCrc ? Crc32Of(e.data.data(), e.data.size()) : e.crc;
        crcs.push_back(crc);
        built.localOffsets.push_back(static_cast<std::uint32_t>(w.Size() - prefix.size()));
        w.U32(0x04034B50)                                    // local signature
            .U16(10)                                         // version needed
            .U16(e.flags)                                    // flags
            .U16(e.method)                                   // method
            .U32(e.dosDateTime)                              // time, date
            .U32(crc)                                        // CRC-32
            .U32(static_cast<std::uint32_t>(e.data.size()))  // compressed size
            .U32(UncompressedSize(e))                        // uncompressed size
            .U16(static_cast<std::uint16_t>(e.name.size()))  // name length
            .U16(0)                                          // extra length
            .Text(e.name)                                    // name
            .Raw(e.data);                                    // data
    }
    built.centralOffset = static_cast<std::uint32_t>(w.Size() - prefix.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const EntryPlan& e = entries[i];
        built.centralPositions.push_back(w.Size());
        w.U32(0x02014B50)                                    // central signature
            .U16(e.versionMadeBy)                            // version made by
            .U16(10)                                         // version needed
            .U16(e.flags)                                    // flags
            .U16(e.method)                                   // method
            .U32(e.dosDateTime)                              // time, date
            .U32(crcs[i])                                    // CRC-32
            .U32(static_cast<std::uint32_t>(e.data.size()))  // compressed size
            .U32(UncompressedSize(e))                        // uncompressed size
            .U16(static_cast<std::uint16_t>(e.name.size()))  // name length
            .U16(0)                                          // extra length
            .U16(0)                                          // comment length
            .U16(0)                                          // disk number
            .U16(0)                                          // internal attributes
            .U32(e.externalAttrs)                            // external attributes
            .U32(built.localOffsets[i])                      // local header offset
            .Text(e.name);                                   // name
    }
    const auto centralSize =
        static_cast<std::uint32_t>(w.Size() - prefix.size() - built.centralOffset);
    built.endPosition = w.Size();
    w.U32(0x06054B50)                                     // end signature
        .U16(0)                                           // this disk
        .U16(0)                                           // central start disk
        .U16(static_cast<std::uint16_t>(entries.size()))  // entries here
        .U16(static_cast<std::uint16_t>(entries.size()))  // entries in total
        .U32(centralSize)                                 // central size
        .U32(built.centralOffset)                         // central offset
        .U16(static_cast<std::uint16_t>(comment.size()))  // comment length
        .Text(comment);                                   // comment
    built.bytes = w.Data();
    return built;
}

std::vector<std::pair<std::string, std::vector<ExpectedEntry>>> LoadExpected(
    const std::string& tsvPath) {
    std::vector<std::pair<std::string, std::vector<ExpectedEntry>>> result;
    std::ifstream in(RequireInput(tsvPath));
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        std::vector<std::string> f;
        std::stringstream ss(line);
        std::string field;
        while (std::getline(ss, field, '\t'))
            f.push_back(field);
        while (f.size() < 6)
            f.emplace_back();
        if (result.empty() || result.back().first != f[0]) result.push_back({f[0], {}});
        result.back().second.push_back({f[1], static_cast<std::uint32_t>(std::stoul(f[2])),
                                        static_cast<std::uint32_t>(std::stoul(f[3], nullptr, 16)),
                                        f[4], f[5]});
    }
    return result;
}

std::string CorpusPath(const std::string& archive) {
    const std::string sub = archive.rfind("ext_", 0) == 0 ? "external" : "generated";
    return RequireInput(CorpusDir() + platform::kPathDelim + sub + platform::kPathDelim + archive);
}

void UseSplitNaming(TUnZipper& zip, const std::string& lastVolume) {
    zip.OnGetNextDisk = [lastVolume](TUnZipper& sender, std::int32_t disk, std::string& fName) {
        const std::int32_t last = sender.EndCentral().ThisDisk + 1;
        fName = disk == last ? lastVolume
                             : lastVolume.substr(0, lastVolume.size() - 4) + Format(".z%02d", disk);
    };
}

}  // namespace pagorix::test
