// The inflate decoder through the engine's real frame: the fuzzer's bytes are
// the data of a one-entry archive, extracted in test mode.
#include <cstddef>
#include <cstdint>

#include "single_entry_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Raw deflate data; the claimed size only feeds the progress figures.
    pagorix::fuzz::ExtractSingleEntry(8, 0, 1u << 20, data, size);
    return 0;
}
