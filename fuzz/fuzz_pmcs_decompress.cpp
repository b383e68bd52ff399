// Any input either unpacks or ends with one of the reader's documented
// errors, never with a crash or an overrun. Inputs that are not containers
// are also packed and unpacked again and must come back unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "framework/exceptions.h"
#include "streams/pmcs.h"

using namespace pagorix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> input(data, data + size);
    TCompressStream pmcs;
    {
        TMemoryStream source(input);
        TMemoryStream out;
        try {
            pmcs.DecompressStream(source, out);
        } catch (const EPmcsCompressor&) {
        } catch (const EReadError&) {
        } catch (const Exception& e) {
            if (e.Message() != SPmcsWrongFileType) std::abort();
        }
    }
    if (size >= 6 && std::memcmp(data, "PMCS10", 6) == 0) return 0;

    TMemoryStream plain(input);
    TMemoryStream container;
    pmcs.CompressStream(plain, container, static_cast<std::int64_t>(size));
    container.SetPosition(0);
    TMemoryStream back;
    pmcs.DecompressStream(container, back);
    if (back.Bytes() != input) std::abort();
    return 0;
}
