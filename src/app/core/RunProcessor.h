// What the batch engine's per-file road needs of a processing object. The
// program's processor is the image processor (ImageProcessorAdapter.h);
// tests put processors of their own behind this interface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/core/Messages.h"
#include "processing/processor/OutputGuard.h"

class IRunProcessor {
public:
    virtual ~IRunProcessor() = default;

    // The value the processor posts as wParam of WM_IMAGE_PROCESSED when it
    // has finished its file; unique while the processor lives.
    virtual WPARAM Key() const = 0;

    // The run's kind and the auto-contrast clip percentages.
    virtual void SetRun(std::int32_t runType, float lowClip, float highClip) = 0;
    virtual void SetInputPath(const std::wstring& path) = 0;
    // The run's rule for this file's results: every output folder is made
    // through it and no file it protects is replaced or removed.
    virtual void SetOutputGuard(std::shared_ptr<const IOutputGuard> guard) = 0;
    virtual std::wstring InputPath() const = 0;

    // The estimated peak memory of processing the file at `path`, from its
    // headers alone (before it is read); 0 when nothing is known.
    virtual std::uint64_t EstimatePeakBytes(const std::wstring& path) = 0;

    // Reads the whole file (on the user-interface thread). False when it
    // cannot be read.
    virtual bool ReadFileBytes(const std::wstring& path) = 0;
    // Decodes and processes the file (on a worker). False when it cannot be
    // decoded; then nothing was posted. True: WM_IMAGE_PROCESSED is posted to
    // the main window exactly once, after the file's last page.
    virtual bool ProcessFile(const std::wstring& path, std::int32_t quickSteps, const std::wstring& outputFolder,
                             const std::wstring& outputName, std::int32_t itemIndex) = 0;

    // Why ProcessFile returned false, when the processor knows (read on the
    // worker right after it); empty otherwise.
    virtual std::wstring FailReason() const { return std::wstring(); }

    // After WM_IMAGE_PROCESSED: read on the user-interface thread.
    virtual bool IsBlankResult() const = 0;
    // Writes the result (on the file's worker, when the user-interface thread
    // asks for it); false when it could not be written.
    virtual bool SaveResult() = 0;
    // Why the result (or, after a failed ProcessFile, a page of it) could not
    // be written, for the failed-file list; empty when no reason is known.
    virtual std::wstring SaveFailReason() const { return {}; }
    virtual std::wstring OutputFolder() const = 0;
    virtual std::wstring OutputName() const = 0;
};

using RunProcessorPtr = std::unique_ptr<IRunProcessor>;
