// The unreduce decoder through the engine's real frame: the fuzzer's bytes are
// the data of a one-entry archive, extracted in test mode.
#include <cstddef>
#include <cstdint>

#include "single_entry_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    // Byte 2 picks the factor (methods 2 to 5).
    pagorix::fuzz::ExtractSingleEntry(static_cast<std::uint16_t>(2 + (data[2] & 3)), 0,
                                      pagorix::fuzz::ClaimedSize(data, size), data + 3, size - 3);
    return 0;
}
