// The detection dialog: what a detection run looks for (pages that need
// deskewing, pages with wide white margins, coloured paper with stray edges)
// and the run's progress. "执行" stores the choices in DetectSetting and
// starts the main window's batch engine with run type 3 on the folders
// chosen in the main window; the dialog cannot be closed while its run has
// unfinished files.
#pragma once

#include <string>

#include "platform/ui/Dialog.h"
#include "settings/DetectSetting.h"

class CBatchEngine;

// The values "执行" stores, from the texts of the edits: angles clamped to
// [0.05, 30], margin percent to [0.1, 30], edge pixels to [1, 1000]. A text
// that is no number reads as 0 (and is clamped); one that reads as NaN is
// refused like a wrong angle.
struct DetectValues {
    float minAngle = 0.2f;
    float maxAngle = 5.0f;
    float marginPercent = 5.0f;
    std::int32_t edgePixels = 10;
};
enum class DetectCheck { kOk, kNothingChosen, kAngles };
DetectCheck ReadDetectValues(bool correct, std::int32_t kind, const std::wstring& minText, const std::wstring& maxText,
                             const std::wstring& marginText, const std::wstring& edgeText, DetectValues& out);
std::wstring DetectCheckMessage(DetectCheck check);

class CDetectDlg : public CDialog {
public:
    explicit CDetectDlg(CBatchEngine* engine = nullptr);
    void SetEngine(CBatchEngine* engine) { engine_ = engine; }

    bool OnInitDialog() override;
    void OnExecute();
    // Refused ("正在处理图片不能关闭.") while a detection run has unfinished files.
    void OnCancel() override;
    void OnOK() override { OnCancel(); }

    // Called by the main window: a detection run has started (the button is
    // disabled, progress 0) and after every finished or failed file.
    void DetectionStarted();
    void ShowProgress(int done);

private:
    void ApplyKind(std::int32_t kind);
    void OnCorrectBox();
    void OnWhiteMarginBox();
    void OnColourBox(int id);
    bool AnyKindBoxChecked() const;

    CBatchEngine* engine_;
};
