// Shared by the decoder fuzz targets: wraps the fuzzer's bytes as the data of
// a one-entry archive of a given method and extracts it in test mode through
// the engine's real frame (buffers, refills, bit readers, flushes, CRC-32).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/unzipper.h"
#include "framework/exceptions.h"
#include "fuzz_input_file.h"
#include "platform/platform.h"

namespace pagorix::fuzz {

inline void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// Extracts `data` as an entry of `method` with general-purpose `flags` that
// claims `size` uncompressed bytes.
inline void ExtractSingleEntry(std::uint16_t method, std::uint16_t flags, std::uint32_t size,
                               const std::uint8_t* data, std::size_t length) {
    std::vector<std::uint8_t> zip;
    Put32(zip, 0x04034b50);  // local header
    Put16(zip, 20);          // version needed
    Put16(zip, flags);
    Put16(zip, method);
    Put32(zip, 0);  // time and date
    Put32(zip, 0);  // CRC-32 (the data decides; a mismatch is an ordinary outcome)
    Put32(zip, static_cast<std::uint32_t>(length));
    Put32(zip, size);
    Put16(zip, 1);  // name length
    Put16(zip, 0);  // extra length
    zip.push_back('f');
    zip.insert(zip.end(), data, data + length);
    const auto central = static_cast<std::uint32_t>(zip.size());
    Put32(zip, 0x02014b50);  // central header
    Put16(zip, 20);          // version made by
    Put16(zip, 20);          // version needed
    Put16(zip, flags);
    Put16(zip, method);
    Put32(zip, 0);
    Put32(zip, 0);
    Put32(zip, static_cast<std::uint32_t>(length));
    Put32(zip, size);
    Put16(zip, 1);  // name length
    Put16(zip, 0);  // extra
    Put16(zip, 0);  // comment
    Put16(zip, 0);  // disk
    Put16(zip, 0);  // internal attributes
    Put32(zip, 0);  // external attributes
    Put32(zip, 0);  // local header offset
    zip.push_back('f');
    const auto centralSize = static_cast<std::uint32_t>(zip.size()) - central;
    Put32(zip, 0x06054b50);  // end record
    Put16(zip, 0);
    Put16(zip, 0);
    Put16(zip, 1);
    Put16(zip, 1);
    Put32(zip, centralSize);
    Put32(zip, central);
    Put16(zip, 0);
    WriteInput(zip.data(), zip.size());
    TUnZipper unzipper;
    unzipper.DoProcessMessages = false;
    unzipper.TestMode = true;
    unzipper.DoAll = true;
    try {
        unzipper.SetZipName(InputPath());
        unzipper.UnZip();
    } catch (const Exception&) {
    }
}

// The claimed size: the first two bytes of the input, up to 4 MiB, so that
// decoders that run on the uncompressed size stay quick.
inline std::uint32_t ClaimedSize(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    return (static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8)) * 64u;
}

}  // namespace pagorix::fuzz
