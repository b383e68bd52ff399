#include "archive/explode.h"

#include "archive/decompressors.h"
#include "archive/extraction_run.h"
#include "archive/unzipper.h"

namespace pagorix {

void Explode(ExtractionRun& run) {
    Exploder<ExtractionRun>(run, run.Owner().CurrentEntry().GPFlags).Explode();
}

}  // namespace pagorix
