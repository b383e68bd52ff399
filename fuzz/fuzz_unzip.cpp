// Feeds arbitrary bytes to a whole extraction in test mode (nothing is
// written): directory reading, selection, the password check, the frame and
// every decoder the engine has, with and without a password.
#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/unzipper.h"
#include "framework/exceptions.h"
#include "fuzz_input_file.h"
#include "platform/platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pagorix;
    fuzz::WriteInput(data, size);
    TUnZipper zip;
    zip.DoProcessMessages = false;
    zip.IncompleteZipMode = izAssumeBad;
    zip.TestMode = true;
    zip.DoAll = true;
    zip.RecreateDirs = (size & 1) != 0;
    zip.Password = (size & 2) != 0 ? "pw" : "";
    int volumes = 0;
    zip.OnGetNextDisk = [&volumes](TUnZipper&, std::int32_t, std::string& fName) {
        fName = ++volumes > 4 ? std::string() : fuzz::InputPath();
    };
    try {
        zip.SetZipName(fuzz::InputPath());
        zip.UnZip();
    } catch (const Exception&) {
    }
    return 0;
}
