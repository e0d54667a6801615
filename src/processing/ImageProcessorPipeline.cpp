// PIPELINE PLACEHOLDER. The batch pipeline and the detection pipeline are
// written separately; until they land, these bodies do what the pipelines do
// when no step is enabled: the page's result is its working image, unchanged.
// The pipeline's author replaces this file.
#include "processing/ImageProcessor.h"
#include "settings/ProcessSetting.h"

namespace {

// The result of a page that no step changed: the colour image when colour
// is kept and exists, else the grey image, at the working size.
void UnchangedResult(CImageProcessor& p) {
    const bool colour = ProcessSetting::filesave.retaincolor && p.colourImage;
    p.result = colour ? p.colourImage.get() : p.greyImage.get();
    p.resultWidth = p.width;
    p.resultHeight = p.height;
    p.resultDepth = colour ? 24 : (p.sourceDepth == 1 ? 1 : 8);
}

}  // namespace

void CImageProcessor::RunPage(const std::wstring& path, std::int32_t quickStepBits, const std::wstring* folder,
                              const std::wstring* name, std::int32_t itemIndex) {
    if (runType == RUN_DETECTION) {
        RunDetection(path, quickStepBits, folder, name, itemIndex);
        return;
    }
    RunPipeline(path, quickStepBits, folder, name, itemIndex);
}

void CImageProcessor::RunPipeline(const std::wstring&, std::int32_t quickStepBits, const std::wstring* folder,
                                  const std::wstring* name, std::int32_t) {
    quickSteps = quickStepBits;
    if (folder) outputFolder = *folder;
    if (name) outputName = *name;
    UnchangedResult(*this);
}

void CImageProcessor::RunDetection(const std::wstring&, std::int32_t, const std::wstring* folder,
                                   const std::wstring* name, std::int32_t) {
    if (folder) outputFolder = *folder;
    if (name) outputName = *name;
}
