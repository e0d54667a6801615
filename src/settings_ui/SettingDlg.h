// The batch settings dialog ("批量操作设置"): every step and parameter of the
// batch pipeline on three pages, filled from the processing settings when it
// opens and stored back only by "保存设置" (with range checks), and a preview
// view that shows what the background-removal values of 【１】 do to a sample
// image. The scan window opens the same dialog in its scan variant
// ("扫描处理设置"), where the steps' on/off boxes are hidden.
#pragma once

#include <array>
#include <functional>
#include <initializer_list>
#include <string>

#include "platform/gdi/Gdi.h"
#include "platform/ui/Dialog.h"
#include "processing/BkColorRemover.h"
#include "processing/ToneCurve.h"
#include "settings_ui/ColorGroupBox.h"
#include "settings_ui/SettingPages.h"
#include "settings_ui/SettingPreview.h"
#include "view/ImagePannel.h"

class CSettingDlg : public CDialog {
public:
    static constexpr int kPageCount = 3;
    static constexpr UINT_PTR kPreviewTimer = 1;
    static constexpr UINT kPreviewPeriodMs = 300;

    CSettingDlg();
    ~CSettingDlg() override;

    // Set by the opener before each opening: 0 batch, 1 scan; page 0 to 2.
    void SetScanVariant(int variant) { scanVariant_ = variant; }
    void SetCurrentPage(int page) { currentPage_ = page; }
    int ScanVariant() const { return scanVariant_; }
    int CurrentPage() const { return currentPage_; }
    int View() const { return view_; }

    // Called after a save has stored correct/on and rmbkcolor/on, so that the
    // owner's quick check boxes show them.
    std::function<void()> quickStepsChanged;

    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;

    void LoadControls(bool keepView);
    void OnSaveSettings();
    void OnRestoreDefaults();
    void ShowPage(int view);
    void UpdateCaptionAndSteps();
    void RefreshStepHighlights();
    void SetImageTypeChoice(bool onlyGrey);
    void SetColourHandlingChoice(bool keepColours);
    void OnMarginUnitChange();

    // The pages reach page 1 and the preview through these.
    void UntickPageOne(std::initializer_list<int> ids);
    void MarkPreviewChanged() { preview_.changed = 1; }

    // The preview.
    void OnOpenPreview();
    bool LoadPreviewImage(const std::wstring& path);
    // One preview run when something changed (what timer 1 does).
    void RunPreviewIfChanged();
    void RunPreviewBkColorRemoval();

    CSettingPage2Dlg& Page2() { return page2_; }
    CSettingPage3Dlg& Page3() { return page3_; }
    const CColorGroupBox& GroupBox(int index) const { return boxes_[index]; }
    const PreviewImage& Preview() const { return preview_; }
    CImagePannel& PreviewPannel() { return pannel_; }
    // The 24-bit picture last given to the view (bottom-up rows).
    const std::vector<std::uint8_t>& ShownPreview() const { return shown_; }

protected:
    void OnTimer(UINT_PTR id) override;
    void OnHScroll(UINT code, UINT position, CWnd* control) override;
    HBRUSH OnCtlColor(CDC* dc, CWnd* window, UINT ctlColor) override;
    void OnDestroy() override;

private:
    void SetButtonImages();
    void NextPage(int step);
    void OnCentreCheck();
    void OnCentreDirection();
    void OnCutWhiteCheck();
    void OnBlackBoardCheck();
    void OnBlackBorderCheck();
    void OnPictureListChange();
    void OnThresholdTypeChange();
    void StepTone(int sliderId, int labelId, int step, int lo, int hi);
    void OnOriginalTones();
    void OnRefreshPreview();
    void ShowPreviewBuffer(const std::vector<std::uint8_t>& bits24);
    void ShowMargins();

    int scanVariant_ = 0;
    int currentPage_ = 0;
    int view_ = 1;
    CSettingPage2Dlg page2_;
    CSettingPage3Dlg page3_;
    std::array<CColorGroupBox, 7> boxes_;
    PreviewImage preview_;
    CImagePannel pannel_;
    CBkColorRemover remover_;
    CToneCurve curve_;
    CFont labelFont_;
    std::vector<std::uint8_t> shown_;
};
