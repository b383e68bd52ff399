#include "archive/decompressors.h"

#include "archive/extraction_run.h"

namespace pagorix {

namespace {

void Store(ExtractionRun& run) {
    run.ExtractStored();
}

struct MethodEntry {
    std::uint16_t method;
    Decompressor decode;
};

// Every method the engine decodes. Add a line when a decoder file lands.
constexpr MethodEntry kMethods[] = {
    {0, &Store},
};

}  // namespace

Decompressor FindDecompressor(std::uint16_t method) {
    for (const MethodEntry& entry : kMethods) {
        if (entry.method == method) return entry.decode;
    }
    return nullptr;
}

}  // namespace pagorix
