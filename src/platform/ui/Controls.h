// Controls of the dialog layer. Each is a window object over a Qt widget that
// the dialog creates from its table; member objects of a dialog are bound to
// those widgets with DDX_Control (Dialog.h). Without a window the calls do
// nothing and the reads return empty values. User-interface thread only,
// except where CWnd says otherwise.
#pragma once

#include <QIcon>
#include <QPixmap>

#include <string>
#include <vector>

#include "platform/ui/Wnd.h"

class QTreeWidgetItem;

using DWORD_PTR = std::uintptr_t;

// Static text, picture, frame. Styles: SS_LEFT, SS_CENTER, SS_RIGHT,
// SS_NOTIFY (clicks send STN_CLICKED), SS_PATHELLIPSIS (a path too long for
// the control is shortened in the middle; its text stays whole).
class CStatic : public CWnd {
public:
    void SetBitmap(const QPixmap& bitmap);
    void SetIcon(const QIcon& icon, int size = 32);
};

// Push button, check box, radio button, group box.
class CButton : public CWnd {
public:
    void SetCheck(UINT check);
    UINT GetCheck() const;
    // An image beside (or instead of) the text.
    void SetBitmap(const QPixmap& bitmap);
    void SetIcon(const QIcon& icon, int size = 20);
};

class CEdit : public CWnd {
public:
    void SetReadOnly(bool readOnly = true);
    bool IsReadOnly() const;
    void LimitText(int characters);
    void SetSel(int start, int end);
};

// A drop-down list.
class CComboBox : public CWnd {
public:
    // Adds at the end; returns the index.
    int AddString(const std::wstring& text);
    int InsertString(int index, const std::wstring& text);
    int DeleteString(int index);
    void ResetContent();
    int GetCount() const;
    // -1 selects nothing; returns the index, or -1 when out of range.
    int SetCurSel(int index);
    // -1 when nothing is selected.
    int GetCurSel() const;
    int SetItemData(int index, DWORD_PTR data);
    DWORD_PTR GetItemData(int index) const;
    std::wstring GetLBText(int index) const;
    int FindStringExact(int startAfter, const std::wstring& text) const;
};

// A horizontal track bar; user moves send WM_HSCROLL to the dialog.
class CSliderCtrl : public CWnd {
public:
    void SetRange(int minimum, int maximum, bool redraw = false);
    int GetRangeMin() const;
    int GetRangeMax() const;
    void SetPos(int position);
    int GetPos() const;
    void SetTicFreq(int frequency);
    void SetPageSize(int size);
    void SetLineSize(int size);
};

// A link text with <a>...</a> markup; a click on a link sends WM_NOTIFY
// NM_CLICK with an NMLINK.
struct NMLINK {
    NMHDR hdr;
    int iLink = 0;  // index of the link within the text
};
class CLinkCtrl : public CWnd {};

// Tooltips for controls (Qt shows them; relaying mouse messages is not needed).
class CToolTipCtrl {
public:
    bool Create(CWnd* parent) {
        parent_ = parent;
        return parent != nullptr;
    }
    bool AddTool(CWnd* control, const std::wstring& text);
    void Activate(bool active) { active_ = active; }
    void RelayEvent(MSG*) {}

private:
    CWnd* parent_ = nullptr;
    bool active_ = true;
};

// A list of small icons for the tree view.
class CImageList {
public:
    bool Create(int cx, int cy, UINT flags, int initial, int grow);
    int Add(const QIcon& icon);
    int GetImageCount() const { return static_cast<int>(icons_.size()); }
    const QIcon* Icon(int index) const;
    int Width() const { return cx_; }

private:
    int cx_ = 16;
    int cy_ = 16;
    std::vector<QIcon> icons_;
};

// Tree view. Items are handles valid until deleted.
using HTREEITEM = QTreeWidgetItem*;
inline HTREEITEM const TVI_ROOT = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x10000));
inline HTREEITEM const TVI_FIRST = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFF));
inline HTREEITEM const TVI_LAST = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFE));
constexpr UINT TVE_COLLAPSE = 0x1;
constexpr UINT TVE_EXPAND = 0x2;
constexpr UINT TVE_TOGGLE = 0x3;
constexpr int TVSIL_NORMAL = 0;
// How a selection changed (NMTREEVIEW::action).
constexpr UINT TVC_UNKNOWN = 0x0;
constexpr UINT TVC_BYMOUSE = 0x1;
constexpr UINT TVC_BYKEYBOARD = 0x2;

struct TVITEMW {
    HTREEITEM hItem = nullptr;
    LPARAM lParam = 0;
};
struct NMTREEVIEW {
    NMHDR hdr;
    UINT action = TVC_UNKNOWN;
    TVITEMW itemOld;
    TVITEMW itemNew;
};

class CTreeCtrl : public CWnd {
public:
    CImageList* SetImageList(CImageList* list, int kind);
    HTREEITEM InsertItem(const std::wstring& text, int image, int selectedImage, HTREEITEM parent = TVI_ROOT,
                         HTREEITEM insertAfter = TVI_LAST);
    HTREEITEM InsertItem(const std::wstring& text, HTREEITEM parent = TVI_ROOT, HTREEITEM insertAfter = TVI_LAST);
    // Deleting sends no selection notification.
    bool DeleteItem(HTREEITEM item);
    bool DeleteAllItems();
    bool SetItemData(HTREEITEM item, DWORD_PTR data);
    DWORD_PTR GetItemData(HTREEITEM item) const;
    std::wstring GetItemText(HTREEITEM item) const;
    // Selects (and shows) the item; TVN_SELCHANGED follows, also for this
    // call from code. Null clears the selection.
    bool SelectItem(HTREEITEM item);
    HTREEITEM GetSelectedItem() const;
    bool ItemHasChildren(HTREEITEM item) const;
    bool Expand(HTREEITEM item, UINT code);
    bool IsExpanded(HTREEITEM item) const;
    HTREEITEM GetRootItem() const;
    HTREEITEM GetChildItem(HTREEITEM item) const;
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const;
    HTREEITEM GetPrevSiblingItem(HTREEITEM item) const;
    HTREEITEM GetParentItem(HTREEITEM item) const;
    UINT GetCount() const;
    bool EnsureVisible(HTREEITEM item);
    // The image of an item (for tests of the icons chosen).
    int GetItemImage(HTREEITEM item) const;

private:
    CImageList* images_ = nullptr;
};

// List view in list mode. A click sends WM_NOTIFY NM_CLICK with the item hit
// (-1 when the click hit no item).
struct NMITEMACTIVATE {
    NMHDR hdr;
    int iItem = -1;
    int iSubItem = 0;
};
class CListCtrl : public CWnd {
public:
    int InsertItem(int index, const std::wstring& text);
    bool DeleteItem(int index);
    bool DeleteAllItems();
    int GetItemCount() const;
    std::wstring GetItemText(int index, int subItem = 0) const;
    bool SetItemText(int index, int subItem, const std::wstring& text);
    // The item last clicked or selected; -1 when none.
    int GetSelectionMark() const;
    int SetSelectionMark(int index);
    // Text colour of one item (CLR_DEFAULT restores the default).
    void SetItemTextColor(int index, COLORREF color);
    COLORREF GetItemTextColor(int index) const;
    bool EnsureVisible(int index, bool partialOk = false);
};

constexpr COLORREF CLR_DEFAULT = 0xFF000000;
