// The image processor on the batch engine's per-file road.
#pragma once

#include "app/core/RunProcessor.h"
#include "processing/processor/ImageProcessor.h"

class CImageProcessorRun final : public IRunProcessor {
public:
    CImageProcessorRun() = default;

    // The processor posts its own address with WM_IMAGE_PROCESSED.
    WPARAM Key() const override { return reinterpret_cast<WPARAM>(&processor_); }
    void SetRun(std::int32_t runType, float lowClip, float highClip) override;
    void SetInputPath(const std::wstring& path) override { processor_.sourcePath = path; }
    void SetOutputGuard(std::shared_ptr<const IOutputGuard> guard) override { processor_.outputGuard = std::move(guard); }
    std::wstring InputPath() const override { return processor_.sourcePath; }
    std::uint64_t EstimatePeakBytes(const std::wstring& path) override;
    bool ReadFileBytes(const std::wstring& path) override { return processor_.ReadFileBytes(path.c_str()); }
    bool ProcessFile(const std::wstring& path, std::int32_t quickSteps, const std::wstring& outputFolder,
                     const std::wstring& outputName, std::int32_t itemIndex) override;
    std::wstring FailReason() const override { return processor_.failReason; }
    bool IsBlankResult() const override { return processor_.IsBlankResult(); }
    bool SaveResult() override { return processor_.SaveResult(); }
    std::wstring SaveFailReason() const override { return processor_.SaveFailReason(); }
    std::wstring OutputFolder() const override { return processor_.outputFolder; }
    std::wstring OutputName() const override { return processor_.outputName; }

    CImageProcessor& Processor() { return processor_; }

private:
    CImageProcessor processor_;
};

// The batch engine's default processor factory.
RunProcessorPtr MakeImageProcessorRun();
