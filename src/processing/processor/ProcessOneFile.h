// One input file through the whole road of a batch item on the calling
// thread, without any window: the file is read, every page runs through the
// pipeline (or the detection in run type 3) and the result is saved, as the
// worker and the user-interface thread do between them in a run. For the
// tools, tests and benchmarks that need a file processed and nothing else.
#pragma once

#include <cstdint>
#include <string>

#include "processing/processor/ImageProcessor.h"

struct OneFileOutcome {
    bool read = false;       // the file was read into memory
    bool processed = false;  // every page was loaded and processed
    bool blank = false;      // dropped as blank (blank-page deletion on): nothing saved
    bool saved = false;      // the result was written (or, in a detection run, nothing was due or the copy made)
};

// Processes `source` with a processor of the given run type and quick-step
// bits (bit 0 deskew, bit 1 background removal) into outputFolder/outputName.
// The processor is left for inspection.
OneFileOutcome ProcessOneFile(CImageProcessor& processor, const std::wstring& source,
                              const std::wstring& outputFolder, const std::wstring& outputName, RunType runType,
                              std::int32_t quickSteps, std::int32_t itemIndex = 0);
