// link: pagorix_archive
// Feeds arbitrary bytes to a whole extraction in test mode (nothing is
// written): directory reading, selection, the password check, the frame and
// every decoder the engine has, with and without a password.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "archive/unzipper.h"
#include "framework/exceptions.h"
#include "platform/platform.h"

namespace {

const std::string& InputPath() {
    static const std::string path = [] {
        std::string dir;
        pagorix::platform::MakeUniqueDirectory(pagorix::platform::TempDirectory(), "pgxfuzz", dir);
        return dir + pagorix::platform::kPathDelim + "input.zip";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pagorix;
    {
        std::ofstream out(InputPath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    TUnZipper zip;
    zip.DoProcessMessages = false;
    zip.IncompleteZipMode = izAssumeBad;
    zip.TestMode = true;
    zip.DoAll = true;
    zip.RecreateDirs = (size & 1) != 0;
    zip.Password = (size & 2) != 0 ? "pw" : "";
    int volumes = 0;
    zip.OnGetNextDisk = [&volumes](TUnZipper&, std::int32_t, std::string& fName) {
        fName = ++volumes > 4 ? std::string() : InputPath();
    };
    try {
        zip.SetZipName(InputPath());
        zip.UnZip();
    } catch (const Exception&) {
    }
    return 0;
}
