#include "app/core/ImageProcessorRun.h"

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
