// The decoders of every method, run on the entries of archives made by other
// tools: each entry's data is decoded through a test frame and its size and
// CRC-32 compared with the archive's directory.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <map>
#include <set>

#include "archive/explode.h"
#include "archive/inflate.h"
#include "archive/test_run.h"
#include "archive/unreduce.h"
#include "archive/unshrink.h"
#include "archive/unzipper.h"
#include "support/test_support.h"

namespace pagorix {
namespace {

using test::Bytes;
using test::TestRun;

Bytes Decode(const TZipHeaderInfo& e, const Bytes& data, std::int32_t refill) {
    TestRun run(data, refill);
    run.UncompressedSize = static_cast<std::int32_t>(e.UncompressedSize);
    const std::uint16_t method = e.CompressionMethod;
    if (method == 1) Unshrink(run);
    if (method >= 2 && method <= 5) Unreduce(run, method);
    if (method == 6) Explode(run, e.GPFlags);
    if (method == 8) Inflate(run);
    return run.output;
}

// Every compressed entry of the single-volume, unencrypted archives of the
// corpus (the directory read by the engine, the data taken from the file),
// and again with one-byte refills for the archives named here.
TEST(DecodersOnOtherToolsArchives, EveryCompressedEntryMatchesItsCrc) {
    namespace fs = std::filesystem;
    const std::set<std::string> oneByteRefills = {"hw_shrink.zip", "hw_reduce3.zip",
                                                  "hw_implode_8k3t.zip", "hw_implode_4k2t.zip",
                                                  "iz_deflate.zip"};
    for (const std::string& name : oneByteRefills)
        test::RequireInput(test::CorpusDir() + "/generated/" + name);
    std::map<unsigned, int> decodedByMethod;
    for (const char* folder : {"generated", "external"}) {
        const fs::path dir = fs::path(test::RequireInput(test::CorpusDir() + "/" + folder));
        for (const auto& file : fs::directory_iterator(dir)) {
            const std::string name = file.path().filename().string();
            // Encrypted and multi-volume archives need the engine around the decoders.
            const bool isZip =
                file.path().extension() == ".zip" || file.path().extension() == ".ZIP";
            if (!isZip || name.find("enc") != std::string::npos ||
                name.find("split") != std::string::npos) {
                continue;
            }
            const Bytes bytes = test::ReadFile(file.path().string());
            TUnZipper zip;
            zip.SetZipName(file.path().string());
            zip.OpenZip();
            for (std::int32_t i = 0; i < zip.Count(); ++i) {
                const TZipHeaderInfo& e = *zip.Directory()->Entry(i);
                if (e.CompressionMethod == 0 || e.Encrypted()) continue;
                const size_t local = static_cast<size_t>(e.LocalOffset);
                const size_t start = local + 30 + (bytes[local + 26] | bytes[local + 27] << 8) +
                                     (bytes[local + 28] | bytes[local + 29] << 8);
                const Bytes data(
                    bytes.begin() + static_cast<std::ptrdiff_t>(start),
                    bytes.begin() + static_cast<std::ptrdiff_t>(start + e.CompressedSize));
                for (const std::int32_t refill : {16000, 1}) {
                    if (refill == 1 && oneByteRefills.count(name) == 0) continue;
                    const Bytes out = Decode(e, data, refill);
                    const std::string what = name + ": " + e.EntryDir + e.EntryName + " refill " +
                                             std::to_string(refill);
                    EXPECT_EQ(out.size(), e.UncompressedSize) << what;
                    EXPECT_EQ(crc32(0L, out.data(), static_cast<uInt>(out.size())), e.CRC32)
                        << what << " method " << e.CompressionMethod;
                }
                ++decodedByMethod[e.CompressionMethod];
            }
        }
    }
    // Every method family was met.
    for (unsigned method : {1u, 2u, 3u, 4u, 5u, 6u, 8u}) {
        EXPECT_GT(decodedByMethod[method], 0) << "no entry of method " << method;
    }
}

}  // namespace
}  // namespace pagorix
