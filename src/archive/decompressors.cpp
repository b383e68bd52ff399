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
    {0, &Store},    {1, &Unshrink}, {2, &Unreduce}, {3, &Unreduce},
    {4, &Unreduce}, {5, &Unreduce}, {6, &Explode},  {8, &Inflate},
};

}  // namespace

Decompressor FindDecompressor(std::uint16_t method) {
    for (const MethodEntry& entry : kMethods) {
        if (entry.method == method) return entry.decode;
    }
    return nullptr;
}

}  // namespace pagorix
