// Feeds arbitrary bytes to the directory readers: ReadZip in both incomplete
// modes (with a volume handler that hands back the same file, so the
// multi-volume paths run too), ScanLocalHeaders, the listing, and the record
// readers on a memory stream.
#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/unzipper.h"
#include "framework/exceptions.h"
#include "framework/string_list.h"
#include "fuzz_input_file.h"
#include "platform/platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pagorix;
    fuzz::WriteInput(data, size);
    for (const TIncompleteZipMode mode : {izAssumeMulti, izAssumeBad}) {
        TUnZipper zip;
        zip.DoProcessMessages = false;
        zip.IncompleteZipMode = mode;
        zip.SortMode = mode == izAssumeBad ? TZipSortMode::ByName : TZipSortMode::ByNone;
        int volumes = 0;
        zip.OnGetNextDisk = [&volumes](TUnZipper&, std::int32_t, std::string& fName) {
            if (++volumes > 4) {
                fName.clear();
            } else {
                fName = fuzz::InputPath();
            }
        };
        try {
            zip.SetZipName(fuzz::InputPath());
            zip.OpenZip();
        } catch (const Exception&) {
        }
        TStringList lines;
        zip.FillList(lines);
        for (std::int32_t i = 0; i < zip.Count(); ++i)
            (void)zip.EntryNames(i);
        try {
            if (zip.ZipStream() != nullptr) zip.ScanLocalHeaders();
        } catch (const Exception&) {
        }
    }
    TMemoryStream memory(std::vector<std::uint8_t>(data, data + size));
    TZipHeaderInfo info;
    TStream* stream = &memory;
    while (info.ReadCentralHeader(stream)) {
    }
    memory.SetPosition(0);
    while (info.ReadLocalHeader(memory)) {
    }
    TEndCentral end;
    end.FindEnd(memory);
    return 0;
}
