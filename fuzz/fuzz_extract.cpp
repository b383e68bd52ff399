// Extracts arbitrary bytes for real into a private folder and checks what the
// engine leaves there: nothing outside the destination, and no file but those
// of entries that were reported written (a failed entry's partial file must
// be gone). Both faults abort, so the fuzzer keeps the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "archive/unzipper.h"
#include "framework/exceptions.h"
#include "fuzz_input_file.h"
#include "platform/platform.h"

namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fault(const char* what, const fs::path& path) {
    std::fprintf(stderr, "fuzz_extract: %s: %s\n", what, path.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pagorix;
    fuzz::WriteInput(data, size);
    const fs::path home = fs::path(fuzz::InputPath()).parent_path();
    const fs::path out = home / "out";
    std::error_code error;
    fs::remove_all(out, error);

    std::set<fs::path> written;
    {
        TUnZipper zip;
        zip.DoProcessMessages = false;
        zip.IncompleteZipMode = izAssumeBad;
        zip.DoAll = true;
        zip.RecreateDirs = (size & 1) != 0;
        zip.OverwriteMode = TUZOverwriteMode::Always;
        zip.RetainAttributes = false;
        zip.NameCodePage = (size & 2) != 0 ? kCodePage437 : kCodePageAsStored;
        zip.Password = (size & 4) != 0 ? "pw" : "";
        zip.OnEndUnZip = [&written](TUnZipper&, std::int32_t, const std::string& name) {
            written.insert(fs::path(name).lexically_normal());
        };
        try {
            zip.SetZipName(fuzz::InputPath());
            zip.SetDestDir(out.string());
            zip.UnZip();
        } catch (const Exception&) {
        }
    }

    for (const auto& item : fs::directory_iterator(home, error)) {
        if (item.path() != out && item.path().filename() != "input.zip") {
            Fault("written outside the destination", item.path());
        }
    }
    if (fs::exists(out, error)) {
        for (const auto& item : fs::recursive_directory_iterator(out, error)) {
            if (item.is_symlink(error)) Fault("a link was made", item.path());
            if (item.is_directory(error)) continue;
            if (written.count(item.path().lexically_normal()) == 0) {
                Fault("a file stayed that no entry wrote whole", item.path());
            }
        }
    }
    fs::remove_all(out, error);
    return 0;
}
