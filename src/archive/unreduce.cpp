#include "archive/unreduce.h"

#include "archive/decompressors.h"
#include "archive/extraction_run.h"
#include "archive/unzipper.h"

namespace pagorix {

void Unreduce(ExtractionRun& run) {
    Unreducer<ExtractionRun>(run, run.Owner().CurrentEntry().CompressionMethod).Unreduce();
}

}  // namespace pagorix
