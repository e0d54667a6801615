// Dialogs built from control tables, and menus.
//
// A dialog's table lists its controls in creation order: id, kind, text,
// position and size in dialog units, style bits. Radio buttons form groups as
// on Windows: a group starts at a control with WS_GROUP (or at the first
// control) and runs to the next control with WS_GROUP; clicking an (auto)
// radio button checks it and unchecks the other radio buttons of its group.
// Several groups may share one dialog, and setting checks from code touches
// only the button named, so "none checked" is possible.
//
// The dialog object outlives its window. DoModal builds the window from the
// table, binds member controls (DoDataExchange), runs OnInitDialog and the
// modal loop (QDialog::exec, which keeps handling messages, timers and
// workers' sends for every window); when it ends the window and its controls
// are destroyed and the object keeps its member values. Create makes the
// dialog a child page of another window instead (hidden until shown).
#pragma once

#include <string>
#include <vector>

#include "platform/ui/Controls.h"
#include "platform/ui/Wnd.h"

class QRect;

// Kinds of controls in a dialog table.
enum class Ctl {
    Static,     // text
    Picture,    // an image (SetBitmap / SetIcon)
    Frame,      // a line or sunken rectangle
    GroupBox,   // a frame with a caption
    Button,     // push button
    DefButton,  // the default push button (Enter)
    CheckBox,   // auto check box
    Radio,      // auto radio button
    Edit,       // single-line edit
    ComboBox,   // drop-down list
    Slider,     // horizontal track bar
    Link,       // text with <a>...</a> links
    Tree,       // tree view
    List,       // list view, list mode
};

// Style bits of a table entry (Windows values where Windows has the style).
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_DISABLED = 0x08000000;
// Not shown when the window is created (the inverse of being visible).
constexpr DWORD WS_HIDDEN = 0x10000000;
constexpr DWORD SS_LEFT = 0x0;
constexpr DWORD SS_CENTER = 0x1;
constexpr DWORD SS_RIGHT = 0x2;
constexpr DWORD SS_NOTIFY = 0x100;
constexpr DWORD SS_SUNKEN = 0x1000;
constexpr DWORD SS_PATHELLIPSIS = 0x8000;
constexpr DWORD ES_CENTER = 0x1;
constexpr DWORD ES_RIGHT = 0x2;
constexpr DWORD ES_READONLY = 0x800;
// Dialog style: the user may resize the window.
constexpr DWORD WS_THICKFRAME = 0x00040000;

struct ControlSpec {
    int id = 0;
    Ctl kind = Ctl::Static;
    const wchar_t* text = L"";
    int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
    DWORD style = 0;
};

struct DialogTemplate {
    UINT id = 0;
    const wchar_t* caption = L"";
    int cx = 0, cy = 0;  // client size in dialog units
    std::vector<ControlSpec> controls;
    DWORD style = 0;
};

class CDataExchange {
public:
    explicit CDataExchange(class CDialog* dialog) : dialog_(dialog) {}
    CDialog* Dialog() const { return dialog_; }

private:
    CDialog* dialog_;
};

// Binds a member control object to the control `id` of the dialog being
// created: from now on GetDlgItem(id) is `control`, and its virtual handlers
// (painting, mouse) serve the control.
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

class CDialog : public CWnd {
public:
    explicit CDialog(const DialogTemplate& dialogTemplate, CWnd* parent = nullptr);
    ~CDialog() override;

    // Runs the dialog modally; returns the value given to EndDialog (IDOK,
    // IDCANCEL, ...), -1 when the window could not be made.
    virtual INT_PTR DoModal();
    // Creates the dialog as a hidden child page of `parent`.
    bool Create(CWnd* parent);
    // Ends the modal loop (also from OnInitDialog) with `result`.
    void EndDialog(int result);
    // True from the start of the modal loop until EndDialog.
    bool IsModalRunning() const { return running_ && !endRequested_; }
    UINT GetTemplateId() const { return template_.id; }
    const DialogTemplate& Template() const { return template_; }

    // Called once the window and its controls exist, at each opening.
    virtual bool OnInitDialog();
    // Enter on the default button (IDOK) and Esc / the close box (IDCANCEL)
    // come here; an override may refuse to close by not calling EndDialog.
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange* dx);

    bool DestroyWindow() override;

protected:
    bool OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    bool Build(QWidget* parentWidget, CWnd* parentWnd, bool modal);
    // Keeps the window inside the screen's available area: a window the user
    // may size is made smaller; another one scrolls over its controls. Once
    // `shown`, with the window's own frame, and moved inside the area.
    void FitIntoScreen(bool shown);
    void KeepInside(const QRect& area, const class QMargins& frame);
    void Teardown(bool deleteNow);
    void CreateControls();

    const DialogTemplate& template_;
    CWnd* owner_;
    bool running_ = false;
    bool endRequested_ = false;
    int result_ = IDCANCEL;
    class QDialog* dialog_ = nullptr;
    class QScrollArea* scroll_ = nullptr;  // when the window scrolls
};

// The part of the screen a top-level window opening over `parent` (or over
// nothing) may take: the screen's area less its panels.
QRect AvailableScreenArea(const QWidget* parent);

// Runs `handler` once inside the modal loop of the next dialog that opens
// (with template `templateId`, or any when 0), after OnInitDialog; a test uses
// it to act in the dialog and close it. Handlers are taken in the order given.
void OnNextModal(UINT templateId, std::function<void(CDialog&)> handler);
inline void OnNextModal(std::function<void(CDialog&)> handler) { OnNextModal(0, std::move(handler)); }
std::size_t PendingModalHooks();
void ClearModalHooks();

// A menu bar with pop-ups, from a table.
struct MenuItemSpec {
    UINT id = 0;  // 0 with children: a pop-up
    const wchar_t* text = L"";
    std::vector<MenuItemSpec> children;
};

class CMenu {
public:
    bool LoadMenu(const std::vector<MenuItemSpec>& items) {
        items_ = items;
        return true;
    }
    const std::vector<MenuItemSpec>& Items() const { return items_; }
    // A small image beside a command (kept for the next SetMenu).
    bool SetMenuItemBitmaps(UINT id, const QPixmap& bitmap);
    const QPixmap* Bitmap(UINT id) const;

private:
    std::vector<MenuItemSpec> items_;
    std::vector<std::pair<UINT, QPixmap>> bitmaps_;
};
