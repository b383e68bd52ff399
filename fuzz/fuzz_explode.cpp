// The explode decoder through the engine's real frame: the fuzzer's bytes are
// the data of a one-entry archive, extracted in test mode.
#include <cstddef>
#include <cstdint>

#include "single_entry_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    // Byte 2 picks the dictionary size and the number of trees (flag bits 1, 2).
    pagorix::fuzz::ExtractSingleEntry(6, static_cast<std::uint16_t>(data[2] & 6),
                                      pagorix::fuzz::ClaimedSize(data, size), data + 3, size - 3);
    return 0;
}
