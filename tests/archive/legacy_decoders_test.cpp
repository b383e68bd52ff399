// The decoders of every method, run on the entries of archives made by other
// tools: each entry's data is decoded through a test frame and its size and
// CRC-32 compared with the archive's directory.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <map>

#include "archive/explode.h"
#include "archive/inflate.h"
#include "archive/test_run.h"
#include "archive/unreduce.h"
#include "archive/unshrink.h"
#include "support/test_support.h"

namespace pagorix {
namespace {

using test::Bytes;
using test::TestRun;

std::uint32_t Le16(const Bytes& b, size_t at) {
    return b[at] | (b[at + 1] << 8);
}
std::uint32_t Le32(const Bytes& b, size_t at) {
    return Le16(b, at) | (Le16(b, at + 2) << 16);
}

struct RawEntry {
    std::string name;
    unsigned method;
    unsigned flags;
    std::uint32_t crc, compressed, size;
    Bytes data;
};

// The entries of a single-volume archive, found through its central
// directory (offsets counted from the end record, so data in front of the
// archive does not matter).
std::vector<RawEntry> ReadEntries(const std::string& path) {
    const Bytes file = test::ReadFile(path);
    std::vector<RawEntry> entries;
    if (file.size() < 22) return entries;
    size_t end = file.size() - 22;
    while (end > 0 && Le32(file, end) != 0x06054b50)
        --end;
    const std::uint32_t cdSize = Le32(file, end + 12);
    const size_t cdStart = end - cdSize;
    const std::int64_t shift = static_cast<std::int64_t>(cdStart) - Le32(file, end + 16);
    for (size_t at = cdStart; at + 46 <= end && Le32(file, at) == 0x02014b50;) {
        RawEntry e;
        e.flags = Le16(file, at + 8);
        e.method = Le16(file, at + 10);
        e.crc = Le32(file, at + 16);
        e.compressed = Le32(file, at + 20);
        e.size = Le32(file, at + 24);
        const unsigned nameLen = Le16(file, at + 28);
        const unsigned extraLen = Le16(file, at + 30);
        const unsigned commentLen = Le16(file, at + 32);
        e.name.assign(file.begin() + static_cast<std::ptrdiff_t>(at + 46),
                      file.begin() + static_cast<std::ptrdiff_t>(at + 46 + nameLen));
        const size_t local = static_cast<size_t>(Le32(file, at + 42) + shift);
        const size_t data = local + 30 + Le16(file, local + 26) + Le16(file, local + 28);
        e.data.assign(file.begin() + static_cast<std::ptrdiff_t>(data),
                      file.begin() + static_cast<std::ptrdiff_t>(data + e.compressed));
        entries.push_back(std::move(e));
        at += 46 + nameLen + extraLen + commentLen;
    }
    return entries;
}

Bytes Decode(const RawEntry& e, std::int32_t refill = 16000) {
    TestRun run(e.data, refill);
    run.UncompressedSize = static_cast<std::int32_t>(e.size);
    switch (e.method) {
        case 1:
            Unshrink(run);
            break;
        case 2:
        case 3:
        case 4:
        case 5:
            Unreduce(run, e.method);
            break;
        case 6:
            Explode(run, static_cast<std::uint16_t>(e.flags));
            break;
        case 8:
            Inflate(run);
            break;
        default:
            break;
    }
    return run.output;
}

std::uint32_t Crc(const Bytes& b) {
    return static_cast<std::uint32_t>(crc32(0L, b.data(), static_cast<uInt>(b.size())));
}

TEST(DecodersOnOtherToolsArchives, EveryCompressedEntryMatchesItsCrc) {
    namespace fs = std::filesystem;
    std::map<unsigned, int> decodedByMethod;
    for (const char* folder : {"generated", "external"}) {
        const fs::path dir = fs::path(test::RequireInput(test::CorpusDir() + "/" + folder));
        if (!fs::exists(dir)) return;
        for (const auto& file : fs::directory_iterator(dir)) {
            const std::string name = file.path().filename().string();
            // Encrypted and multi-volume archives need the engine around the decoders.
            const bool zip = file.path().extension() == ".zip" || file.path().extension() == ".ZIP";
            if (!zip || name.find("enc") != std::string::npos ||
                name.find("split") != std::string::npos) {
                continue;
            }
            for (const RawEntry& e : ReadEntries(file.path().string())) {
                if (e.method == 0 || (e.flags & 1) != 0) continue;
                const Bytes out = Decode(e);
                EXPECT_EQ(out.size(), e.size) << name << ": " << e.name;
                EXPECT_EQ(Crc(out), e.crc) << name << ": " << e.name << " method " << e.method;
                ++decodedByMethod[e.method];
            }
        }
    }
    // Every method family was met.
    for (unsigned method : {1u, 2u, 3u, 4u, 5u, 6u, 8u}) {
        EXPECT_GT(decodedByMethod[method], 0) << "no entry of method " << method;
    }
}

TEST(DecodersOnOtherToolsArchives, OneByteRefillsGiveTheSameBytes) {
    const std::string dir = test::CorpusDir() + "/generated/";
    for (const char* name : {"hw_shrink.zip", "hw_reduce3.zip", "hw_implode_8k3t.zip",
                             "hw_implode_4k2t.zip", "iz_deflate.zip"}) {
        if (!test::Exists(test::RequireInput(dir + name))) continue;
        for (const RawEntry& e : ReadEntries(dir + name)) {
            if (e.method == 0) continue;
            EXPECT_EQ(Crc(Decode(e, 1)), e.crc) << name << ": " << e.name;
        }
    }
}

}  // namespace
}  // namespace pagorix
