// The unshrink decoder through the engine's real frame: the fuzzer's bytes are
// the data of a one-entry archive, extracted in test mode.
#include <cstddef>
#include <cstdint>

#include "single_entry_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pagorix::fuzz::ExtractSingleEntry(1, 0, 0, data, size);
    return 0;
}
