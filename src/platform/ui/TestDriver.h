// Drives dialogs the way a user does, by control id, for tests: clicks,
// typing, choices, slider moves, link and list clicks, menu commands and keys
// all go through the same paths as the user's (so the dialog hears the same
// notifications), and the reads return what the user would see. Runs on the
// user-interface thread.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/Dialog.h"

class DialogDriver {
public:
    // `window`: a dialog or a page (its own controls are the ones reached).
    explicit DialogDriver(CWnd& window) : window_(window) {}

    CWnd* Item(int id) const { return window_.GetDlgItem(id); }

    // Each action returns false, doing nothing, when the control is missing,
    // hidden or disabled (a user could not do it either).
    bool Click(int id);                                // button, check, radio, notifying static
    bool Type(int id, const std::wstring& text);       // replaces an edit's text
    bool Choose(int id, int index);                    // drop-down list entry
    bool Choose(int id, const std::wstring& text);
    bool Slide(int id, int position);                  // slider
    bool ClickLink(int id, int link = 0);              // link number `link` of a link text
    bool ClickListItem(int id, int index);             // -1: a click that hits no item
    bool ClickTreeItem(int id, HTREEITEM item);
    // The left mouse button on a control, at a client point: pressed,
    // moved (with the button held or not), released; Drag does all three
    // with one move. A wheel turn (120 a notch, positive away from the user)
    // with the cursor at a client point.
    bool MouseDown(int id, POINT at);
    bool MouseMove(int id, POINT at, bool buttonHeld = true);
    bool MouseUp(int id, POINT at);
    bool Drag(int id, POINT from, POINT to);
    bool Wheel(int id, POINT at, int delta);
    // A command of the window's menu.
    bool ChooseMenu(UINT commandId);
    // A key pressed and released in the control with the focus (or in
    // control `focusId` after giving it the focus), with Ctrl held or not.
    // KeyDown and KeyUp send one half each, so that keys can overlap in the
    // orders people type them (Ctrl down, S down, Ctrl up, S up); Ctrl
    // itself is VK_CONTROL.
    bool PressKey(UINT virtualKey, bool ctrl = false, int focusId = 0);
    bool KeyDown(UINT virtualKey, bool ctrl = false, int focusId = 0);
    bool KeyUp(UINT virtualKey, bool ctrl = false, int focusId = 0);
    // A key typed with or without Ctrl, in one of the orders people use.
    enum class CtrlOrder {
        kNone,            // the key alone
        kKeyLetGoFirst,   // Ctrl down, key down, key up, Ctrl up
        kCtrlLetGoFirst,  // Ctrl down, key down, Ctrl up, key up (fast typing)
        kCtrlAfterKey,    // key down, Ctrl down, key up, Ctrl up
    };
    bool TypeKey(UINT virtualKey, CtrlOrder order, int focusId = 0);
    // Closes the window as Esc or the close box would.
    void Close();

    std::wstring Text(int id) const;
    // The text as drawn (a path shortened by path ellipsis, ...).
    std::wstring ShownText(int id) const;
    bool IsChecked(int id) const;
    bool IsVisible(int id) const;
    bool IsEnabled(int id) const;
    int CurSel(int id) const;
    std::vector<std::wstring> Items(int id) const;  // drop-down list or list view entries
    std::wstring ToolTip(int id) const;

private:
    QWidget* Usable(int id) const;
    bool SendKey(UINT virtualKey, bool ctrl, int focusId, bool press, bool release);
    bool SendMouse(int id, int type, POINT at, bool buttonHeld);
    CWnd& window_;
};

// What a user could not reach in an open window, one line a problem (empty
// when there is none): the window reaching beyond its screen's available
// area, or a visible control (of the window or of a page in it) reaching
// beyond the part of the window that shows it, unless it lies in an area that
// scrolls to it.
std::vector<std::wstring> UnreachableControls(CWnd& window);

// The controls of a window and of the pages in it, shown or not, whose text
// does not fit its box as drawn in the control's font, one line a control
// (empty when all fit): a static text, wrapped at word boundaries where the
// control wraps, a link, a check box's or a radio button's text beside its
// mark, a push button's text and image, a group box's caption. A path
// shortened to fit is taken as fitting.
std::vector<std::wstring> ClippedTexts(CWnd& window);

// Handles messages and events until `done()` holds or the timeout passes.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(10));
