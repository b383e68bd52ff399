// The archive file of the fuzz targets that read from disk: one private
// temporary directory per process, and the fuzzer's bytes written as a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "platform/platform.h"

namespace pagorix::fuzz {

inline const std::string& InputPath() {
    static const std::string path = [] {
        std::string dir;
        platform::MakeUniqueDirectory(platform::TempDirectory(), "pgxfuzz", dir);
        return dir + platform::kPathDelim + "input.zip";
    }();
    return path;
}

inline void WriteInput(const std::uint8_t* data, std::size_t size) {
    std::ofstream out(InputPath(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace pagorix::fuzz
