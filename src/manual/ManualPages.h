// The tool pages of the manual window. Each option page shows the stored
// values of its operation (process-wide, see settings/ManualSetting.h),
// checks and stores what the user typed when the user applies, and hands the
// operation to the manual window, which runs and records it. The erase, crop
// and output-size pages build no operation themselves: the image view does
// for the first two, the window's save reads the third.
#pragma once

#include <memory>

#include "platform/gdi/Gdi.h"
#include "platform/ui/Dialog.h"
#include "processing/ManualOperation.h"

class CManualDlg;

// What every page shares: the link to the manual window and the key filter.
class CManualPage : public CDialog {
public:
    CManualPage(const DialogTemplate& dialogTemplate, bool filtersKeys);

    bool OnInitDialog() override;
    // Shows the stored values in the controls.
    virtual void Refresh() {}
    // The window's keys A and D on this page (`ctrl`: Ctrl held).
    virtual void ApplyKey(bool /*ctrl*/) {}
    virtual void DefaultsKey(bool /*ctrl*/) {}

    bool PreTranslateMessage(MSG* msg) override;

protected:
    // The manual window this page lies in, or null.
    CManualDlg* Manual() const;
    // Hands `operation` to the manual window (nothing without one).
    void Add(std::unique_ptr<ManualOperation> operation);
    // Enter and Esc do not close a page.
    void OnOK() override {}
    void OnCancel() override;

private:
    bool filtersKeys_;
};

// A page with one operation: its buttons "应用" and "默认", like the window's
// keys A and D, apply the operation and restore the page's defaults.
class CManualOptionPage : public CManualPage {
public:
    explicit CManualOptionPage(const DialogTemplate& dialogTemplate);
    void ApplyKey(bool) override { OnApply(); }
    void DefaultsKey(bool) override { OnDefaults(); }
    virtual void OnApply() = 0;
    virtual void OnDefaults() = 0;
};

// A key-up outside an edit box goes to the manual window's keys (and is
// swallowed). True when the message was taken.
bool FilterManualKey(CWnd& window, MSG* msg, CManualDlg* manual);

class CManualRmbkcolorPage : public CManualOptionPage {
public:
    CManualRmbkcolorPage();
    bool OnInitDialog() override;
    void Refresh() override;
    void OnApply() override;
    void OnDefaults() override;
    // The colour controls take part only for colour sources.
    void EnableColourControls(bool enable);
    void SetRebuildMask() { rebuildMask_ = true; }
    bool PreviewPending() const { return previewPending_; }
    bool RebuildMask() const { return rebuildMask_; }

protected:
    void OnHScroll(UINT code, UINT position, CWnd* control) override;
    void OnTimer(UINT_PTR id) override;

private:
    std::int32_t CheckedKeepMode() const;  // -1 when none is checked
    void OnKeepModeClicked();
    bool previewPending_ = false;
    bool rebuildMask_ = true;
};

class CManualCenterPage : public CManualOptionPage {
public:
    CManualCenterPage();
    void Refresh() override;
    void OnApply() override;
    void OnDefaults() override;
};

class CManualCorrectPage : public CManualOptionPage {
public:
    CManualCorrectPage();
    bool OnInitDialog() override;
    void Refresh() override;
    void OnApply() override;
    void OnDefaults() override;
    void OnRotate(bool clockwise);
};

class CManualCutedgePage : public CManualPage {
public:
    CManualCutedgePage();
    bool OnInitDialog() override;
    void Refresh() override;
    // Ctrl: the cut by background colour, else the white-margin cut.
    void ApplyKey(bool ctrl) override { ctrl ? OnColourApply() : OnWhiteApply(); }
    void DefaultsKey(bool ctrl) override { ctrl ? OnColourDefaults() : OnWhiteDefaults(); }
    void OnColourApply();
    void OnColourDefaults();
    void OnWhiteApply();
    void OnWhiteDefaults();

private:
    void ShowWhiteMargins();
    void OnWhiteUnitChanged();
};

class CManualRmblackboardPage : public CManualOptionPage {
public:
    CManualRmblackboardPage();
    void Refresh() override;
    void OnApply() override;
    void OnDefaults() override;
};

class CManualRmstainsPage : public CManualOptionPage {
public:
    CManualRmstainsPage();
    void Refresh() override;
    void OnApply() override;
    void OnDefaults() override;
};

class CManualBindHolePage : public CManualOptionPage {
public:
    CManualBindHolePage();
    void Refresh() override;
    void OnApply() override;
    void OnDefaults() override;
};

class CManualAutocontrastPage : public CManualOptionPage {
public:
    CManualAutocontrastPage();
    void Refresh() override;
    void OnApply() override;
    void OnDefaults() override;
    // A clip text the page takes: digits, and "." anywhere but first.
    static bool IsClipText(const std::wstring& text);
};

class CManualEraseStainsPage : public CManualPage {
public:
    CManualEraseStainsPage();
    bool OnInitDialog() override;
    void RefreshMode();
    void OnDefaults();
    void OnSwatchClicked();
    // The erase colour changed elsewhere (a pick on the image): repaint.
    void ShowColour();

protected:
    HBRUSH OnCtlColor(CDC* dc, CWnd* window, UINT ctlColor) override;
    bool OnSetCursor(CWnd* window, UINT hitTest, UINT message) override;

private:
    void SetMode(std::int32_t mode);
    CBrush swatchBrush_;
    CBrush highlightBrush_{RGB(200, 127, 0)};
};

class CManualTailPage : public CManualPage {
public:
    CManualTailPage();

protected:
    bool OnSetCursor(CWnd* window, UINT hitTest, UINT message) override;
};

class CManualOutputSizePage : public CManualPage {
public:
    CManualOutputSizePage();
    void Refresh() override;
    void OnSave();
    void OnDefaults();

protected:
    void OnHScroll(UINT code, UINT position, CWnd* control) override;
};
