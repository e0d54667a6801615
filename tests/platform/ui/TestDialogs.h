// Small dialogs built from tables for the dialog-layer tests: a dialog with
// two radio groups, a check box, a drop-down list, a slider, edits, a link,
// statics, a list view and a tree view, and a page that reuses one of the
// dialog's ids. The dialog records every notification it receives.
#pragma once

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/Dialog.h"

namespace testui {

enum : int {
    IDC_SOURCE = 1000,
    IDC_SAVE_TO_SOURCE = 7042,
    IDC_SAVE_TO_NEW = 1145,
    IDC_STRATEGY_1 = 5219,
    IDC_STRATEGY_2 = 5221,
    IDC_STRATEGY_3 = 6222,
    IDC_SUBFOLDERS = 1162,
    IDC_SHARED_ID = 1115,  // a static here, a check box on the page
    IDC_THREADS = 1091,
    IDC_SLIDER = 1054,
    IDC_DELTA = 1171,
    IDC_LINK = 5130,
    IDC_STATUS = 1096,
    IDC_SWATCH = 5177,
    IDC_HISTORY = 1126,
    IDC_TREE = 1120,
    IDC_START = 1002,
    IDC_PAGE_EDIT = 1113,
};

inline const DialogTemplate kPageTemplate = {
    163,
    L"",
    160,
    40,
    {
        {IDC_SHARED_ID, Ctl::CheckBox, L"页面上的 1115", 5, 5, 100, 10},
        {IDC_PAGE_EDIT, Ctl::Edit, L"", 5, 20, 60, 12},
    },
};

inline const DialogTemplate kTestTemplate = {
    131,
    L"测试对话框",
    320,
    220,
    {
        {1179, Ctl::GroupBox, L"文件目录选择", 2, 2, 300, 60},
        {IDC_SOURCE, Ctl::Edit, L"", 10, 12, 150, 12, ES_READONLY},
        {IDC_SAVE_TO_SOURCE, Ctl::Radio, L"保存到原目录", 10, 28, 70, 10, WS_GROUP},
        {IDC_SAVE_TO_NEW, Ctl::Radio, L"保存到新目录", 90, 28, 70, 10},
        {IDC_STRATEGY_1, Ctl::Radio, L"策略一", 10, 40, 50, 10, WS_GROUP},
        {IDC_STRATEGY_2, Ctl::Radio, L"策略二", 60, 40, 50, 10},
        {IDC_STRATEGY_3, Ctl::Radio, L"策略三", 110, 40, 50, 10},
        {IDC_SUBFOLDERS, Ctl::CheckBox, L"包含子目录", 170, 28, 70, 10, WS_GROUP},
        {IDC_SHARED_ID, Ctl::Static, L"对话框上的 1115", 170, 40, 80, 10},
        {IDC_THREADS, Ctl::ComboBox, L"", 10, 70, 50, 80, WS_GROUP},
        {IDC_SLIDER, Ctl::Slider, L"", 70, 70, 100, 15},
        {IDC_DELTA, Ctl::Edit, L"", 180, 70, 40, 12},
        {IDC_LINK, Ctl::Link, L"<a>批量处理设置</a> 与 <a>第二个链接</a>", 10, 90, 180, 10},
        {IDC_STATUS, Ctl::Static, L"", 10, 104, 80, 10, SS_RIGHT | SS_PATHELLIPSIS},
        {IDC_SWATCH, Ctl::Static, L"", 100, 104, 20, 10, SS_NOTIFY},
        {IDC_HISTORY, Ctl::List, L"", 200, 90, 100, 50},
        {IDC_TREE, Ctl::Tree, L"", 200, 145, 100, 50},
        {IDC_START, Ctl::DefButton, L" 开始处理", 10, 200, 60, 14},
        {IDOK, Ctl::Button, L"确定", 80, 200, 50, 14},
        {IDCANCEL, Ctl::Button, L"取消", 140, 200, 50, 14},
    },
};

// One notification as the dialog received it.
struct Note {
    UINT message = 0;
    UINT id = 0;
    UINT code = 0;
    long extra = 0;  // link index, list item, tree action, slider position
    bool operator==(const Note&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Note& n) {
    return os << "{msg " << n.message << ", id " << n.id << ", code " << static_cast<int>(n.code) << ", extra "
              << n.extra << "}";
}

class TestPage : public CDialog {
public:
    TestPage() : CDialog(kPageTemplate) {}
    std::function<bool(MSG*)> onPreTranslate;
    std::function<bool(CWnd*, UINT, UINT)> onSetCursor;
    bool PreTranslateMessage(MSG* msg) override { return onPreTranslate ? onPreTranslate(msg) : false; }

protected:
    bool OnSetCursor(CWnd* window, UINT hitTest, UINT message) override {
        return onSetCursor ? onSetCursor(window, hitTest, message) : false;
    }
};

class TestDialog : public CDialog {
public:
    explicit TestDialog(const DialogTemplate& t = kTestTemplate, CWnd* parent = nullptr) : CDialog(t, parent) {}

    std::vector<Note> notes;
    std::function<LRESULT(UINT, WPARAM, LPARAM)> onUserMessage;  // WM_USER and above
    std::function<void(UINT_PTR)> onTimer;
    std::function<bool(MSG*)> onPreTranslate;
    std::function<void()> onInit;
    int initCount = 0;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_COMMAND) {
            notes.push_back({message, LOWORD(wParam), HIWORD(wParam), 0});
        } else if (message == WM_NOTIFY) {
            auto* h = reinterpret_cast<NMHDR*>(lParam);
            long extra = 0;
            if (h->code == NM_CLICK && h->idFrom == IDC_LINK) extra = reinterpret_cast<NMLINK*>(h)->iLink;
            if (h->code == NM_CLICK && h->idFrom == IDC_HISTORY) extra = reinterpret_cast<NMITEMACTIVATE*>(h)->iItem;
            if (h->code == TVN_SELCHANGED) extra = static_cast<long>(reinterpret_cast<NMTREEVIEW*>(h)->action);
            notes.push_back({message, static_cast<UINT>(h->idFrom), h->code, extra});
        } else if (message == WM_HSCROLL) {
            CWnd* control = CWnd::FromHandle(HWND(static_cast<std::uint32_t>(lParam)));
            notes.push_back({message, control ? static_cast<UINT>(control->GetDlgCtrlID()) : 0u, LOWORD(wParam),
                             static_cast<long>(HIWORD(wParam))});
        } else if (message >= WM_USER && onUserMessage) {
            return onUserMessage(message, wParam, lParam);
        }
        return CDialog::WindowProc(message, wParam, lParam);
    }
    bool OnInitDialog() override {
        CDialog::OnInitDialog();
        ++initCount;
        if (onInit) onInit();
        return true;
    }
    bool PreTranslateMessage(MSG* msg) override { return onPreTranslate ? onPreTranslate(msg) : false; }

protected:
    void OnTimer(UINT_PTR id) override {
        if (onTimer) onTimer(id);
    }
};

}  // namespace testui
