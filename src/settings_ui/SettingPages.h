// Pages 2 and 3 of the batch settings dialog: steps 【８】 to 【１４】 and
// 【１５】 to 【１７】. Each is a child dialog of the settings dialog, filled
// from the processing settings when it is created and stored back when the
// settings dialog saves.
#pragma once

#include <array>

#include "platform/gdi/Gdi.h"
#include "platform/ui/Dialog.h"
#include "settings_ui/ColorGroupBox.h"

class CSettingDlg;

class CSettingPage2Dlg : public CDialog {
public:
    explicit CSettingPage2Dlg(CSettingDlg* owner);

    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;

    void LoadControls();
    void SaveControls();
    void RefreshStepHighlights();
    // Shows `colour` in the swatch and its field (green, red, blue).
    void ShowColour(COLORREF colour);
    void OnChooseColour();

    COLORREF ChosenColour() const { return colour_; }
    const CColorGroupBox& GroupBox(int index) const { return boxes_[index]; }

protected:
    HBRUSH OnCtlColor(CDC* dc, CWnd* window, UINT ctlColor) override;
    void OnHScroll(UINT code, UINT position, CWnd* control) override;

private:
    void OnRemoveSeal();
    void OnStrengthenSeal();
    void OnCutByColour();
    void OnStains();
    void OnBlankType(bool byThreshold);

    CSettingDlg* owner_;
    std::array<CColorGroupBox, 8> boxes_;
    CColorDialog colourDialog_;
    COLORREF colour_ = RGB(254, 249, 197);
    CBrush swatch_;
};

class CSettingPage3Dlg : public CDialog {
public:
    explicit CSettingPage3Dlg(CSettingDlg* owner);

    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;

    void LoadControls();
    void SaveControls();
    void RefreshStepHighlights();

    const CColorGroupBox& GroupBox(int index) const { return boxes_[index]; }

protected:
    void OnHScroll(UINT code, UINT position, CWnd* control) override;

private:
    CSettingDlg* owner_;
    std::array<CColorGroupBox, 2> boxes_;
    std::int32_t jpegQuality_ = 0;
};
