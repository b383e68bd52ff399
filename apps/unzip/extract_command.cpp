#include <cstdio>

#include "unzip_cli.h"

namespace pagorix::unzip_cli {

int RunExtraction(TUnZipper& /*zip*/, const Options& /*options*/) {
    std::fprintf(stderr, "pagorix-unzip: extraction is not available yet; use -l or -v\n");
    return kExitUsage;
}

}  // namespace pagorix::unzip_cli
