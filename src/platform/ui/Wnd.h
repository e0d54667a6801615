// Windows of the dialog layer: the window object (CWnd) and the numbered
// messages and notifications it handles.
//
// A CWnd is a C++ object that may or may not have a window at a given time:
// dialogs are held by value and get a new window at each opening, controls
// get theirs when the dialog that holds them is created. While a window
// exists it has a handle (Messages.h) and a Qt widget; when it is destroyed
// the handle goes, the object and its member values stay.
//
// Notifications from controls reach the dialog's WindowProc as WM_COMMAND,
// WM_NOTIFY and WM_HSCROLL, and only for what the user did: setting a check, a
// selection or a slider position from code sends nothing (an edit's EN_CHANGE
// follows every change of its text, as it does on Windows). Handlers are
// attached with MapCommand / MapNotify, or by overriding OnCommand,
// OnNotify, OnHScroll, OnTimer, ... All of this runs on the user-interface
// thread; the few calls marked "any thread" may also be made from a worker, in
// which case they run on the user-interface thread while the worker waits.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Messages.h"
#include "platform/core/UserDialogs.h"
#include "platform/core/WinTypes.h"
#include "platform/gdi/Gdi.h"

class QIcon;
class QWidget;
class QTimer;
class CMenu;

using UINT_PTR = std::uintptr_t;
using INT_PTR = std::intptr_t;
using SHORT = std::int16_t;

constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_NOTIFY = 0x004E;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_MOUSEWHEEL = 0x020A;

// Notification codes.
constexpr UINT BN_CLICKED = 0;
constexpr UINT STN_CLICKED = 0;
constexpr UINT CBN_SELCHANGE = 1;
constexpr UINT EN_CHANGE = 0x0300;
constexpr UINT NM_CLICK = static_cast<UINT>(-2);
constexpr UINT TVN_SELCHANGED = static_cast<UINT>(-451);

// Check states.
constexpr UINT BST_UNCHECKED = 0;
constexpr UINT BST_CHECKED = 1;

// Slider (WM_HSCROLL) codes.
constexpr UINT TB_LINEUP = 0;
constexpr UINT TB_LINEDOWN = 1;
constexpr UINT TB_PAGEUP = 2;
constexpr UINT TB_PAGEDOWN = 3;
constexpr UINT TB_THUMBPOSITION = 4;
constexpr UINT TB_THUMBTRACK = 5;
constexpr UINT TB_TOP = 6;
constexpr UINT TB_BOTTOM = 7;
constexpr UINT TB_ENDTRACK = 8;

// Control colour kinds (OnCtlColor).
constexpr UINT CTLCOLOR_EDIT = 1;
constexpr UINT CTLCOLOR_BTN = 3;
constexpr UINT CTLCOLOR_DLG = 4;
constexpr UINT CTLCOLOR_STATIC = 6;

// GetWindow.
constexpr UINT GW_HWNDNEXT = 2;
constexpr UINT GW_HWNDPREV = 3;
constexpr UINT GW_CHILD = 5;

// SetWindowPos.
constexpr UINT SWP_NOSIZE = 0x1;
constexpr UINT SWP_NOMOVE = 0x2;
constexpr UINT SWP_NOZORDER = 0x4;
constexpr UINT SWP_SHOWWINDOW = 0x40;
constexpr UINT SWP_HIDEWINDOW = 0x80;

constexpr UINT SIZE_RESTORED = 0;

// Mouse key flags.
constexpr UINT MK_LBUTTON = 0x1;
constexpr UINT MK_SHIFT = 0x4;
constexpr UINT MK_CONTROL = 0x8;

constexpr LPARAM MAKELPARAM(WORD low, WORD high) {
    return static_cast<LPARAM>(static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16));
}

// Modifier keys of a keyboard message (MSG::keyModifiers).
constexpr UINT MOD_ALT = 0x1;
constexpr UINT MOD_CONTROL = 0x2;
constexpr UINT MOD_SHIFT = 0x4;

struct MSG {
    HWND hwnd;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    // Keyboard messages: the modifier keys (MOD_*) held when the key went
    // down. A WM_KEYUP carries those of its own key-down, so a combination
    // is what was pressed whichever key is let go first (Ctrl let go a
    // moment before S is still Ctrl+S, S pressed before Ctrl is S); a
    // release whose press the program did not see carries the keys held
    // at the release.
    UINT keyModifiers = 0;
};

// Whether Ctrl was held when the key of a keyboard message went down: what
// decides Ctrl+key, not GetKeyState at the release.
inline bool CtrlAtKeyDown(const MSG& msg) { return (msg.keyModifiers & MOD_CONTROL) != 0; }

struct NMHDR {
    HWND hwndFrom;
    UINT_PTR idFrom = 0;
    UINT code = 0;
};

class CWnd : public IMessageReceiver {
public:
    CWnd();
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // --- The window ---------------------------------------------------------
    // Null while the object has no window. Any thread.
    HWND GetSafeHwnd() const { return HWND(hwnd_.load()); }
    QWidget* Widget() const { return widget_; }
    int GetDlgCtrlID() const { return id_; }
    // The dialog a control or page lies in; for a top-level dialog, its owner.
    CWnd* GetParent() const { return parent_; }
    bool IsTopLevel() const { return topLevel_; }
    // A control or page of this window by id (direct children only). Any thread.
    CWnd* GetDlgItem(int id) const;
    // GW_CHILD: the first child; GW_HWNDNEXT / GW_HWNDPREV: the next or
    // previous sibling, in creation order. Pages count as children.
    CWnd* GetWindow(UINT command) const;
    std::vector<CWnd*> GetChildren() const;
    // Destroys the window (children first); the object stays.
    virtual bool DestroyWindow();

    // --- Text and state (any thread) ---------------------------------------
    void SetWindowText(const std::wstring& text);
    std::wstring GetWindowText() const;
    int GetWindowTextLength() const;
    // SW_SHOW / SW_HIDE; returns whether it was visible before.
    bool ShowWindow(int command);
    // Visible itself and every window it lies in.
    bool IsWindowVisible() const;
    // Returns whether it was disabled before.
    bool EnableWindow(bool enable = true);
    bool IsWindowEnabled() const;
    void Invalidate(bool erase = true);
    // Repaints at once.
    void UpdateWindow();
    void RedrawWindow() { UpdateWindow(); }
    void SetRedraw(bool redraw);
    void LockWindowUpdate() { SetRedraw(false); }
    void UnlockWindowUpdate() { SetRedraw(true); }

    // --- Items by id (any thread) ------------------------------------------
    void SetDlgItemText(int id, const std::wstring& text);
    std::wstring GetDlgItemText(int id) const;
    void CheckDlgButton(int id, UINT check);
    UINT IsDlgButtonChecked(int id) const;
    // Checks `check` and unchecks the other radio buttons with ids first..last.
    void CheckRadioButton(int first, int last, int check);
    // Numbers in items, always in the C locale: the C library's conversions
    // (leading blanks, a sign, digits up to the first other character; 0 when
    // none), and printf formats.
    int GetDlgItemInt(int id) const;
    double GetDlgItemFloat(int id) const;
    void SetDlgItemInt(int id, int value);
    void SetDlgItemFloat(int id, double value, const wchar_t* format);

    // --- Geometry -----------------------------------------------------------
    void GetClientRect(RECT* rect) const;
    // In screen coordinates.
    void GetWindowRect(RECT* rect) const;
    void ScreenToClient(POINT* point) const;
    void ScreenToClient(RECT* rect) const;
    void ClientToScreen(POINT* point) const;
    void ClientToScreen(RECT* rect) const;
    // In the parent's client coordinates (screen coordinates for a top-level
    // window).
    void MoveWindow(int x, int y, int width, int height, bool repaint = true);
    void MoveWindow(const RECT& rect, bool repaint = true);
    bool SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags);
    // Dialog units to pixels. The units follow the dialog font (the
    // application's font): a horizontal unit is a quarter of the font's
    // average character width (that of the Latin letters), a vertical one an
    // eighth of its character height; pixels are rounded to the nearest.
    static void MapDialogRect(RECT* rect);
    static int DluToPixelsX(int dlu);
    static int DluToPixelsY(int dlu);
    // The average character width and the character height the units come
    // from, in pixels (x, y).
    static POINT DialogBaseUnits();

    // --- Focus, fonts, menu ---------------------------------------------------
    CWnd* SetFocus();
    // The window object with the keyboard focus, or null.
    static CWnd* GetFocus();
    // "Edit", "Button", "Static", "ComboBox", "msctls_trackbar32", "SysLink",
    // "SysTreeView32", "SysListView32", "#32770" (dialogs).
    std::wstring GetClassName() const;
    void SetFont(const CFont* font, bool redraw = true);
    // The window's icon (the big and the small one are the same here).
    void SetIcon(const QIcon& icon, bool big);
    bool SetMenu(CMenu* menu);
    CMenu* GetMenu() const { return menu_; }

    // --- Timers -------------------------------------------------------------
    // Starts timer `id` (WM_TIMER every `elapse` ms). Setting an id that is
    // running restarts it with the new period. Returns id, 0 without a window.
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, void* unused = nullptr);
    bool KillTimer(UINT_PTR id);

    // --- Messages -----------------------------------------------------------
    // To this window. (Inside a window class these hide the functions of
    // Messages.h: write ::SendMessage / ::PostMessage for another window.)
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    bool PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    int MessageBox(const std::wstring& text, const std::wstring& caption = kDefaultCaption, UINT type = MB_OK);
    // Dispatches to the handlers below; override to see every message.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Keyboard messages (WM_KEYDOWN, WM_KEYUP) pass here first, from the
    // focused window up through the windows it lies in; returning true
    // swallows the message.
    virtual bool PreTranslateMessage(MSG* msg);

    // Handlers for WM_COMMAND (control id and notification code; menu
    // commands have code 0) and WM_NOTIFY, kept across openings.
    void MapCommand(UINT id, UINT code, std::function<void()> handler);
    void MapNotify(UINT id, UINT code, std::function<void(NMHDR*, LRESULT*)> handler);

protected:
    virtual bool OnCommand(WPARAM wParam, LPARAM lParam);
    virtual bool OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual void OnTimer(UINT_PTR id);
    virtual void OnHScroll(UINT code, UINT position, CWnd* control);
    virtual void OnSize(UINT type, int cx, int cy);
    virtual bool OnSetCursor(CWnd* window, UINT hitTest, UINT message);
    virtual void OnDestroy();
    // Painting: the default lets the control paint itself; an override draws
    // through `dc` (on the widget) and may call Default() to add the control's
    // own painting first.
    virtual void OnPaint(CDC& dc);
    // Colours of a control about to paint (or of this dialog, CTLCOLOR_DLG):
    // set the text colour on `dc` and return a brush for the background, or
    // null for the defaults.
    virtual HBRUSH OnCtlColor(CDC* dc, CWnd* window, UINT ctlColor);
    // Mouse: points in client coordinates (the wheel's in screen
    // coordinates). The defaults hand the event to the control; so does
    // calling Default() from an override. OnMouseWheel returns whether it used
    // the wheel.
    virtual void OnLButtonDown(UINT flags, POINT point);
    virtual void OnLButtonUp(UINT flags, POINT point);
    virtual void OnMouseMove(UINT flags, POINT point);
    virtual bool OnMouseWheel(UINT flags, short delta, POINT point);
    void Default() { defaultRequested_ = true; }

    // --- For the layer ---------------------------------------------------------
public:
    // Called when a member object takes over its control's window
    // (DDX_Control), before the dialog's OnInitDialog.
    virtual void PreSubclassWindow() {}
    // Takes `widget` as this object's window (registers a handle); `client` is
    // where children lie (the widget itself for controls).
    void AttachWidget(QWidget* widget, QWidget* client, CWnd* parent, int id, bool topLevel);
    // Gives up the widget without deleting it (unregisters the handle).
    QWidget* DetachWidget();
    QWidget* ClientWidget() const { return client_; }
    // Adds a child (control or page) in creation order; `owned` when the layer
    // created the object.
    void AddChild(CWnd* child, std::unique_ptr<CWnd> owned = nullptr);
    void ReplaceChild(CWnd* from, CWnd* to);
    void RemoveChild(CWnd* child);
    // The window object of a live handle (user-interface thread).
    static CWnd* FromHandle(HWND hwnd);
    // Sends a notification to the parent: WM_COMMAND with (id, code).
    void NotifyCommand(UINT code);
    LRESULT NotifyParent(NMHDR* header);
    void RaiseHScroll(UINT code);
    // Event hooks called by the widgets; they return false when the widget
    // should do its own handling.
    bool HandlePaint(QWidget* device);
    bool HandleMouse(UINT message, UINT flags, POINT point);
    bool HandleWheel(UINT flags, short delta, POINT screenPoint);
    void HandleResize(int width, int height);
    // Asks the parent for this control's colours; false when it keeps the
    // defaults. `ctlColor` is the kind the control reports.
    bool QueryColors(UINT ctlColor, COLORREF* text, COLORREF* background, bool* hasBackground);

protected:
    // Destroys children, gives up the handle and disposes of the widget: at
    // once when `deleteNow`, else when the event loop next runs (the widget
    // may be in the middle of handling an event).
    bool DestroyWindowImpl(bool deleteNow);

private:
    struct Child {
        CWnd* window;
        std::unique_ptr<CWnd> owned;
    };
    void DestroyChildren();

    std::atomic<std::uint32_t> hwnd_{0};
    QWidget* widget_ = nullptr;
    QWidget* client_ = nullptr;
    CWnd* parent_ = nullptr;
    int id_ = 0;
    bool topLevel_ = false;
    std::vector<Child> children_;
    std::map<UINT_PTR, QTimer*> timers_;
    std::map<std::pair<UINT, UINT>, std::function<void()>> commands_;
    std::map<std::pair<UINT, UINT>, std::function<void(NMHDR*, LRESULT*)>> notifies_;
    CMenu* menu_ = nullptr;
    const CFont* font_ = nullptr;
    bool defaultRequested_ = false;
};

// The application's main window; AfxGetMainWnd may be called from any thread.
// The window object must be unset (SetMainWnd(nullptr)) before it is
// destroyed.
void SetMainWnd(CWnd* window);
CWnd* AfxGetMainWnd();

// Key state: the high bit is set while the key is down (VK_CONTROL, VK_SHIFT,
// VK_MENU, as last seen in an input event). It is the state now; whether a
// key message was a combination is MSG::keyModifiers.
SHORT GetKeyState(int virtualKey);

// Cursors.
using HCURSOR = const class QCursor*;
constexpr int IDC_ARROW = 32512;
constexpr int IDC_CROSS = 32515;
HCURSOR LoadCursor(int id);
// Sets the cursor of the window under the mouse.
HCURSOR SetCursor(HCURSOR cursor);
