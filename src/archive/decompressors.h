// The decompressor dispatch: one entry point per compression method, each
// working on the extraction run it is given and returning nothing (whether
// it succeeded shows only in the CRC-32 its output gets).
//
// To add a method, put its decoder in a file of its own (inflate.cpp,
// explode.cpp, unshrink.cpp, unreduce.cpp) defining the function declared
// here, and name it in the table in decompressors.cpp. A method without an
// entry there gets the "Unknown Compression Method" box.
#pragma once

#include <cstdint>

namespace pagorix {

class ExtractionRun;

using Decompressor = void (*)(ExtractionRun& run);

void Unshrink(ExtractionRun& run);  // method 1
void Unreduce(ExtractionRun& run);  // methods 2 to 5
void Explode(ExtractionRun& run);   // method 6
void Inflate(ExtractionRun& run);   // method 8

// The decoder of a method, or nullptr when the engine has none.
Decompressor FindDecompressor(std::uint16_t method);

}  // namespace pagorix
