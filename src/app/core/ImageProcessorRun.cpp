#include "app/core/ImageProcessorRun.h"

#include "platform/core/Files.h"
#include "processing/processor/PageMemory.h"

std::uint64_t CImageProcessorRun::EstimatePeakBytes(const std::wstring& path) {
    FileShape shape;
    if (ProbeFileShape(path, shape)) return ::EstimatePeakBytes(shape);
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
