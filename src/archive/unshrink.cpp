#include "archive/unshrink.h"

#include "archive/decompressors.h"
#include "archive/extraction_run.h"

namespace pagorix {

void Unshrink(ExtractionRun& run) {
    Unshrinker<ExtractionRun>(run).Unshrink();
}

}  // namespace pagorix
