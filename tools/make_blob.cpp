// Build-time tool: writes the C++ source that holds the splash form's fs
// FileData blob. The blob comes from TFileSource::WriteData with the values
// the form persists, so the program carries exactly what ReadData expects.
//
// Usage: make_blob CLIP.avi OUTPUT.cpp
#include <cstdio>
#include <fstream>
#include <iostream>

#include "framework/exceptions.h"
#include "launcher/splash_clip.h"
#include "streams/file_source.h"

using namespace pagorix;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: make_blob CLIP.avi OUTPUT.cpp\n";
        return 2;
    }
    TMemoryStream blob;
    try {
        TFileSource fs;
        fs.SetName("fs");
        fs.SetFileName(argv[1]);
        fs.SetCompress(kSplashClipCompress);
        fs.SetStore(kSplashClipStore);
        if (fs.Extension() != kSplashClipExtension) {
            std::cerr << "make_blob: " << argv[1] << " does not end in " << kSplashClipExtension
                      << "\n";
            return 1;
        }
        fs.WriteData(blob);
    } catch (const Exception& e) {
        std::cerr << "make_blob: " << e.Message() << "\n";
        return 1;
    }

    std::ofstream out(argv[2], std::ios::trunc);
    out << "// Made at build time by make_blob from " << argv[1] << "; do not edit.\n"
        << "#include \"launcher/splash_clip.h\"\n\n"
        << "namespace pagorix {\n\nnamespace {\nconst std::uint8_t kBlob[] = {";
    const auto& bytes = blob.Bytes();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X,", bytes[i]);
        out << (i % 16 == 0 ? "\n    " : " ") << hex;
    }
    out << "\n};\n}  // namespace\n\n"
        << "std::span<const std::uint8_t> SplashClipBlob() { return kBlob; }\n\n"
        << "}  // namespace pagorix\n";
    out.close();
    if (!out) {
        std::cerr << "make_blob: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
