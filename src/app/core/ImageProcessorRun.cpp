#include "app/core/ImageProcessorRun.h"

#include "platform/core/Files.h"
#include "processing/processor/PageMemory.h"
#include "settings/ProcessSetting.h"
#include "settings/SettingsTable.h"

std::uint64_t CImageProcessorRun::EstimatePeakBytes(const std::wstring& path) {
    FileShape shape;
    if (ProbeFileShape(path, shape)) {
        std::uint64_t need = ::EstimatePeakBytes(shape);
        // A fixed output size larger than the page makes a canvas of its own.
        if (processor_.StepGate(CImageProcessor::PipelineStep::kOutputSize)) {
            const std::int32_t w = settings::Clamped(ProcessSetting::output.widpixel);
            const std::int32_t h = settings::Clamped(ProcessSetting::output.heipixel);
            if (w > 0 && h > 0) need += EstimateOutputCanvasBytes(shape, static_cast<std::uint64_t>(w), static_cast<std::uint64_t>(h));
        }
        return need;
    }
    // No header that processing could decode: only the file is read.
    const std::int64_t size = files::Size(path);
    return size > 0 ? static_cast<std::uint64_t>(size) : 0;
}

void CImageProcessorRun::SetRun(std::int32_t runType, float lowClip, float highClip) {
    processor_.runType = runType;
    processor_.lowClip = lowClip;
    processor_.highClip = highClip;
}

bool CImageProcessorRun::ProcessFile(const std::wstring& path, std::int32_t quickSteps,
                                     const std::wstring& outputFolder, const std::wstring& outputName,
                                     std::int32_t itemIndex) {
    return processor_.ProcessFile(path, quickSteps, &outputFolder, &outputName, itemIndex, 1);
}

RunProcessorPtr MakeImageProcessorRun() { return std::make_unique<CImageProcessorRun>(); }
