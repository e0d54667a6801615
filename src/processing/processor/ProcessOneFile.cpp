#include "processing/processor/ProcessOneFile.h"

#include "settings/ProcessSetting.h"

OneFileOutcome ProcessOneFile(CImageProcessor& p, const std::wstring& source, const std::wstring& outputFolder,
                              const std::wstring& outputName, RunType runType, std::int32_t quickSteps,
                              std::int32_t itemIndex) {
    OneFileOutcome outcome;
    p.runType = runType;
    p.sourcePath = source;
    outcome.read = p.ReadFileBytes(source.c_str());
    if (!outcome.read) return outcome;
    outcome.processed = p.ProcessFile(source, quickSteps, &outputFolder, &outputName, itemIndex, 1);
    if (!outcome.processed) return outcome;
    if (ProcessSetting::rmblankpage.on != 0 && p.IsBlankResult()) {
        outcome.blank = true;
        return outcome;
    }
    outcome.saved = p.SaveResult();
    return outcome;
}
