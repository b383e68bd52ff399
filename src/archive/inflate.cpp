#include "archive/inflate.h"

#include "archive/decompressors.h"
#include "archive/extraction_run.h"

namespace pagorix {

void Inflate(ExtractionRun& run) {
    Inflater<ExtractionRun>(run).Inflate();
}

}  // namespace pagorix
