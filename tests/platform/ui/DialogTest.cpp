#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QTreeWidgetItem>
#include <QWheelEvent>
#include <QKeyEvent>
#include <QMenuBar>

#include <atomic>
#include <cmath>
#include <chrono>
#include <optional>
#include <set>
#include <thread>

#include "UiFixture.h"
#include "TestDialogs.h"
#include "platform/core/Numbers.h"
#include "platform/ui/Keys.h"
#include "support/CommaLocale.h"
#include "support/Waits.h"

using namespace std::chrono_literals;
using namespace testui;

namespace {

// The base units of dialog units as Windows defines them for a dialog font:
// the average width of the 52 Latin letters (their width halved over 26 and
// rounded) and the character height, in pixels.
QPoint BaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return QPoint((letters / 26 + 1) / 2, metrics.height());
}

// `dlu` units in pixels for base unit `base` (4 units across, 8 down make one
// base unit), rounded to the nearest pixel.
int Pixels(int dlu, int base, int unitsPerBase) {
    return static_cast<int>(std::lround(static_cast<double>(dlu) * base / unitsPerBase));
}

std::set<int> CheckedRadios(const DialogDriver& driver) {
    std::set<int> out;
    for (int id : {IDC_SAVE_TO_SOURCE, IDC_SAVE_TO_NEW, IDC_STRATEGY_1, IDC_STRATEGY_2, IDC_STRATEGY_3})
        if (driver.IsChecked(id)) out.insert(id);
    return out;
}

}  // namespace

TEST_F(UiTest, RadioGroupsComeFromTheTableAndCanAllBeUnchecked) {
    TestDialog dlg;
    RunInside(dlg, [&](CDialog& d, DialogDriver& drive) {
        EXPECT_TRUE(CheckedRadios(drive).empty()) << "nothing is checked before anyone checks it";
        struct Step { int click; std::set<int> checked; };
        const Step steps[] = {
            {IDC_SAVE_TO_SOURCE, {IDC_SAVE_TO_SOURCE}},
            {IDC_STRATEGY_2, {IDC_SAVE_TO_SOURCE, IDC_STRATEGY_2}},
            {IDC_SAVE_TO_NEW, {IDC_SAVE_TO_NEW, IDC_STRATEGY_2}},
            {IDC_SAVE_TO_NEW, {IDC_SAVE_TO_NEW, IDC_STRATEGY_2}},  // a checked radio stays checked
            {IDC_STRATEGY_3, {IDC_SAVE_TO_NEW, IDC_STRATEGY_3}},
        };
        for (const auto& s : steps) {
            dlg.notes.clear();
            ASSERT_TRUE(drive.Click(s.click));
            EXPECT_EQ(CheckedRadios(drive), s.checked) << "after clicking " << s.click;
            EXPECT_EQ(dlg.notes, (std::vector<Note>{{WM_COMMAND, static_cast<UINT>(s.click), BN_CLICKED, 0}}));
        }
        // Unchecking from code: every radio may be off at once, and nothing
        // is reported.
        dlg.notes.clear();
        d.CheckDlgButton(IDC_SAVE_TO_NEW, BST_UNCHECKED);
        d.CheckDlgButton(IDC_STRATEGY_3, BST_UNCHECKED);
        EXPECT_TRUE(CheckedRadios(drive).empty());
        // Checking from code touches only the button named ...
        d.CheckDlgButton(IDC_STRATEGY_1, BST_CHECKED);
        d.CheckDlgButton(IDC_STRATEGY_2, BST_CHECKED);
        EXPECT_EQ(CheckedRadios(drive), (std::set<int>{IDC_STRATEGY_1, IDC_STRATEGY_2}));
        // ... and CheckRadioButton sets one of a range of ids (numeric, so
        // 1145..7042 would take in the strategy ids as well).
        d.CheckDlgButton(IDC_SAVE_TO_SOURCE, BST_CHECKED);
        d.CheckRadioButton(IDC_STRATEGY_1, IDC_STRATEGY_3, IDC_STRATEGY_3);
        EXPECT_EQ(CheckedRadios(drive), (std::set<int>{IDC_SAVE_TO_SOURCE, IDC_STRATEGY_3}));
        d.CheckRadioButton(IDC_SAVE_TO_NEW, IDC_SAVE_TO_SOURCE, IDC_SAVE_TO_NEW);
        EXPECT_EQ(CheckedRadios(drive), (std::set<int>{IDC_SAVE_TO_NEW}));
        EXPECT_TRUE(dlg.notes.empty());
        // A check box toggles on each click.
        ASSERT_TRUE(drive.Click(IDC_SUBFOLDERS));
        EXPECT_TRUE(drive.IsChecked(IDC_SUBFOLDERS));
        ASSERT_TRUE(drive.Click(IDC_SUBFOLDERS));
        EXPECT_FALSE(drive.IsChecked(IDC_SUBFOLDERS));
    });
}

TEST_F(UiTest, ProgrammaticChangesSendNothingUserActionsDo) {
    TestDialog dlg;
    RunInside(dlg, [&](CDialog& d, DialogDriver& drive) {
        auto* combo = dynamic_cast<CComboBox*>(d.GetDlgItem(IDC_THREADS));
        auto* slider = dynamic_cast<CSliderCtrl*>(d.GetDlgItem(IDC_SLIDER));
        auto* list = dynamic_cast<CListCtrl*>(d.GetDlgItem(IDC_HISTORY));
        auto* tree = dynamic_cast<CTreeCtrl*>(d.GetDlgItem(IDC_TREE));
        auto* check = dynamic_cast<CButton*>(d.GetDlgItem(IDC_SUBFOLDERS));
        ASSERT_TRUE(combo && slider && list && tree && check);
        HTREEITEM first = nullptr;
        HTREEITEM second = nullptr;

        struct Case {
            const char* what;
            std::function<void()> byCode;  // must send nothing (unless `codeNotes`)
            std::vector<Note> codeNotes;
            std::function<bool()> byUser;
            std::vector<Note> userNotes;
        };
        const Case cases[] = {
            {"check box", [&] { check->SetCheck(BST_CHECKED); }, {},
             [&] { return drive.Click(IDC_SUBFOLDERS); }, {{WM_COMMAND, IDC_SUBFOLDERS, BN_CLICKED, 0}}},
            {"drop-down list",
             [&] {
                 for (const wchar_t* t : {L"1", L"2", L"4"}) combo->AddString(t);
                 combo->SetCurSel(1);
             },
             {}, [&] { return drive.Choose(IDC_THREADS, 2); }, {{WM_COMMAND, IDC_THREADS, CBN_SELCHANGE, 0}}},
            {"slider",
             [&] {
                 slider->SetRange(0, 100);
                 slider->SetPos(30);
             },
             {}, [&] { return drive.Slide(IDC_SLIDER, 40); },
             {{WM_HSCROLL, IDC_SLIDER, TB_THUMBPOSITION, 40}, {WM_HSCROLL, IDC_SLIDER, TB_ENDTRACK, 40}}},
            // The edit is the exception: its text change is reported either way.
            {"edit", [&] { d.SetDlgItemText(IDC_DELTA, L"20"); }, {{WM_COMMAND, IDC_DELTA, EN_CHANGE, 0}},
             [&] { return drive.Type(IDC_DELTA, L"35"); }, {{WM_COMMAND, IDC_DELTA, EN_CHANGE, 0}}},
            {"list view",
             [&] {
                 list->InsertItem(0, L"1. 原图");
                 list->InsertItem(1, L"2. 居中(当前项)");
                 list->SetSelectionMark(0);
             },
             {}, [&] { return drive.ClickListItem(IDC_HISTORY, 1); }, {{WM_NOTIFY, IDC_HISTORY, NM_CLICK, 1}}},
            // The tree reports a selection made from code too; inserting and
            // deleting report nothing.
            {"tree view",
             [&] {
                 HTREEITEM root = tree->InsertItem(L"扫描");
                 first = tree->InsertItem(L"a.jpg", root);
                 second = tree->InsertItem(L"b.jpg", root);
                 tree->Expand(root, TVE_EXPAND);
                 tree->SelectItem(first);
             },
             {{WM_NOTIFY, IDC_TREE, TVN_SELCHANGED, TVC_UNKNOWN}}, [&] { return drive.ClickTreeItem(IDC_TREE, second); },
             {{WM_NOTIFY, IDC_TREE, TVN_SELCHANGED, TVC_BYMOUSE}}},
            {"link", [] {}, {}, [&] { return drive.ClickLink(IDC_LINK, 1); }, {{WM_NOTIFY, IDC_LINK, NM_CLICK, 1}}},
            {"notifying static", [&] { d.SetDlgItemText(IDC_SWATCH, L" "); }, {},
             [&] { return drive.Click(IDC_SWATCH); }, {{WM_COMMAND, IDC_SWATCH, STN_CLICKED, 0}}},
        };
        for (const auto& c : cases) {
            dlg.notes.clear();
            c.byCode();
            EXPECT_EQ(dlg.notes, c.codeNotes) << c.what << ", changed from code";
            dlg.notes.clear();
            ASSERT_TRUE(c.byUser()) << c.what;
            EXPECT_EQ(dlg.notes, c.userNotes) << c.what << ", changed by the user";
        }
        EXPECT_EQ(combo->GetCurSel(), 2);
        EXPECT_EQ(slider->GetPos(), 40);
        EXPECT_EQ(d.GetDlgItemText(IDC_DELTA), L"35");
        EXPECT_EQ(list->GetSelectionMark(), 1);
        EXPECT_EQ(tree->GetSelectedItem(), second);

        // A click that hits no list item reports -1 and keeps the mark.
        dlg.notes.clear();
        ASSERT_TRUE(drive.ClickListItem(IDC_HISTORY, -1));
        EXPECT_EQ(dlg.notes, (std::vector<Note>{{WM_NOTIFY, IDC_HISTORY, NM_CLICK, -1}}));
        EXPECT_EQ(list->GetSelectionMark(), 1);
        // Emptying the tree reports nothing.
        dlg.notes.clear();
        tree->DeleteAllItems();
        EXPECT_TRUE(dlg.notes.empty());
        EXPECT_EQ(tree->GetSelectedItem(), nullptr);
    });
}

TEST_F(UiTest, DropDownListsKeepItemDataAndMayHaveNoSelection) {
    TestDialog dlg;
    RunInside(dlg, [&](CDialog& d, DialogDriver& drive) {
        auto* combo = dynamic_cast<CComboBox*>(d.GetDlgItem(IDC_THREADS));
        ASSERT_NE(combo, nullptr);
        for (int n : {1, 2, 4, 6, 8}) combo->SetItemData(combo->AddString(std::to_wstring(n)), static_cast<DWORD_PTR>(n));
        EXPECT_EQ(combo->GetCurSel(), -1) << "adding items selects none";
        EXPECT_EQ(drive.Items(IDC_THREADS), (std::vector<std::wstring>{L"1", L"2", L"4", L"6", L"8"}));
        EXPECT_EQ(combo->SetCurSel(3), 3);
        EXPECT_EQ(combo->GetItemData(combo->GetCurSel()), 6u);
        EXPECT_EQ(d.GetDlgItemText(IDC_THREADS), L"6");
        EXPECT_EQ(combo->SetCurSel(9), -1);
        EXPECT_EQ(combo->GetCurSel(), -1);
        EXPECT_EQ(combo->FindStringExact(-1, L"4"), 2);
        combo->ResetContent();
        EXPECT_EQ(combo->GetCount(), 0);
        EXPECT_EQ(combo->GetCurSel(), -1);
    });
}

TEST_F(UiTest, TheSameIdInADialogAndItsPageNamesTwoControls) {
    TestDialog dlg;
    TestPage page;
    dlg.onInit = [&] { ASSERT_TRUE(page.Create(&dlg)); };
    RunInside(dlg, [&](CDialog& d, DialogDriver& drive) {
        CWnd* inDialog = d.GetDlgItem(IDC_SHARED_ID);
        CWnd* inPage = page.GetDlgItem(IDC_SHARED_ID);
        ASSERT_TRUE(inDialog && inPage);
        EXPECT_NE(inDialog, inPage);
        EXPECT_EQ(inDialog->GetClassName(), L"Static");
        EXPECT_EQ(inPage->GetClassName(), L"Button");
        EXPECT_EQ(page.GetParent(), &d);
        page.CheckDlgButton(IDC_SHARED_ID, BST_CHECKED);
        EXPECT_EQ(page.IsDlgButtonChecked(IDC_SHARED_ID), BST_CHECKED);
        EXPECT_EQ(d.IsDlgButtonChecked(IDC_SHARED_ID), BST_UNCHECKED);
        d.SetDlgItemText(IDC_SHARED_ID, L"标签");
        EXPECT_EQ(page.GetDlgItemText(IDC_SHARED_ID), L"页面上的 1115");
        EXPECT_EQ(d.GetDlgItem(IDC_PAGE_EDIT), nullptr) << "a page's controls are not the dialog's";

        // The page is a child window of the dialog: enumerating the children
        // finds it, after the controls, and showing every child shows it.
        std::vector<CWnd*> children;
        for (CWnd* c = d.GetWindow(GW_CHILD); c; c = c->GetWindow(GW_HWNDNEXT)) children.push_back(c);
        ASSERT_EQ(children.size(), kTestTemplate.controls.size() + 1);
        EXPECT_EQ(children.back(), &page);
        EXPECT_FALSE(page.IsWindowVisible()) << "a page is created hidden";
        for (CWnd* c : children) c->ShowWindow(SW_SHOW);
        EXPECT_TRUE(page.IsWindowVisible());
        EXPECT_TRUE(DialogDriver(page).IsVisible(IDC_PAGE_EDIT));
        page.ShowWindow(SW_HIDE);
        EXPECT_FALSE(DialogDriver(page).IsVisible(IDC_PAGE_EDIT));
        EXPECT_TRUE(drive.IsVisible(IDC_SOURCE));
    });
    EXPECT_EQ(page.GetSafeHwnd(), HWND()) << "closing the dialog destroys its pages' windows";
}

namespace {

// A dialog that keeps values in members, as the program's dialogs do.
class ValueDialog : public TestDialog {
public:
    std::wstring delta = L"10";
    int threads = 1;
    bool subfolders = true;
    CComboBox threadList;
    int startClicks = 0;

    ValueDialog() { MapCommand(IDC_START, BN_CLICKED, [this] { ++startClicks; }); }
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, IDC_THREADS, threadList); }
    bool OnInitDialog() override {
        TestDialog::OnInitDialog();
        for (const wchar_t* t : {L"1", L"2", L"4"}) threadList.AddString(t);
        threadList.SetCurSel(threads);
        SetDlgItemText(IDC_DELTA, delta);
        CheckDlgButton(IDC_SUBFOLDERS, subfolders ? BST_CHECKED : BST_UNCHECKED);
        return true;
    }
    void OnOK() override {
        delta = GetDlgItemText(IDC_DELTA);
        threads = threadList.GetCurSel();
        subfolders = IsDlgButtonChecked(IDC_SUBFOLDERS) == BST_CHECKED;
        EndDialog(IDOK);
    }
};

}  // namespace

TEST_F(UiTest, TheDialogObjectKeepsItsValuesAfterItsWindowIsGone) {
    ValueDialog dlg;
    EXPECT_EQ(dlg.GetSafeHwnd(), HWND());
    HWND firstHandle;
    OnNextModal([&](CDialog& d) {
        DialogDriver drive(d);
        firstHandle = d.GetSafeHwnd();
        EXPECT_TRUE(IsWindow(firstHandle));
        EXPECT_EQ(d.GetDlgItem(IDC_THREADS), &dlg.threadList) << "the member control serves the id";
        ASSERT_TRUE(drive.Type(IDC_DELTA, L"12.5"));
        ASSERT_TRUE(drive.Choose(IDC_THREADS, 2));
        ASSERT_TRUE(drive.Click(IDC_SUBFOLDERS));
        ASSERT_TRUE(drive.Click(IDC_START));
        ASSERT_TRUE(drive.Click(IDOK));
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.GetSafeHwnd(), HWND());
    EXPECT_FALSE(IsWindow(firstHandle));
    EXPECT_EQ(dlg.threadList.GetSafeHwnd(), HWND());
    EXPECT_EQ(dlg.threadList.GetCurSel(), -1) << "no window, no selection";
    EXPECT_EQ(dlg.delta, L"12.5");
    EXPECT_EQ(dlg.threads, 2);
    EXPECT_FALSE(dlg.subfolders);
    EXPECT_EQ(dlg.startClicks, 1);

    // Reopened: a new window, built again and filled from the members; the
    // handlers still work.
    OnNextModal([&](CDialog& d) {
        DialogDriver drive(d);
        EXPECT_NE(d.GetSafeHwnd(), firstHandle);
        EXPECT_EQ(drive.Text(IDC_DELTA), L"12.5");
        EXPECT_EQ(drive.CurSel(IDC_THREADS), 2);
        EXPECT_FALSE(drive.IsChecked(IDC_SUBFOLDERS));
        ASSERT_TRUE(drive.Click(IDC_START));
        drive.Close();
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.initCount, 2);
    EXPECT_EQ(dlg.startClicks, 2);
    EXPECT_EQ(dlg.delta, L"12.5") << "cancel keeps what was stored";
}

TEST_F(UiTest, PostingToAClosedDialogFailsAndEarlierPostsAreDropped) {
    TestDialog dlg;
    std::vector<UINT> handled;
    dlg.onUserMessage = [&](UINT msg, WPARAM, LPARAM) {
        handled.push_back(msg);
        return LRESULT(1);
    };
    HWND hwnd;
    RunInside(dlg, [&](CDialog& d, DialogDriver&) {
        hwnd = d.GetSafeHwnd();
        ASSERT_TRUE(::PostMessage(hwnd, WM_USER + 1, 0, 0));
        ASSERT_TRUE(PumpUntil([&] { return !handled.empty(); }));
        ASSERT_TRUE(::PostMessage(hwnd, WM_USER + 2, 0, 0));
        d.EndDialog(IDOK);  // closes before the second post is handled
    });
    EXPECT_FALSE(::PostMessage(hwnd, WM_USER + 3, 0, 0));
    EXPECT_EQ(::SendMessage(hwnd, WM_USER + 4, 0, 0), 0);
    PumpUntil([] { return false; }, 50ms);
    EXPECT_EQ(handled, std::vector<UINT>{WM_USER + 1});
}

TEST_F(UiTest, AWorkersSendIsAnsweredWhileAnotherModalDialogIsOpen) {
    constexpr UINT WM_LOAD_FILE = WM_USER + 102;
    TestDialog mainDlg;
    TestDialog settings(kPageTemplate, &mainDlg);
    std::thread::id handledOn;
    bool settingsOpenWhileHandled = false;
    mainDlg.onUserMessage = [&](UINT msg, WPARAM w, LPARAM) -> LRESULT {
        if (msg != WM_LOAD_FILE) return 0;
        handledOn = std::this_thread::get_id();
        settingsOpenWhileHandled = settings.IsModalRunning();
        return static_cast<LRESULT>(w * 2);
    };
    std::atomic<bool> workerDone{false};
    LRESULT answer = 0;
    std::optional<testwait::Thread> worker;
    RunInside(mainDlg, [&](CDialog& main, DialogDriver&) {
        OnNextModal(settings.GetTemplateId(), [&](CDialog& s) {
            worker.emplace("the sending worker", [&, hwnd = main.GetSafeHwnd()] {
                answer = ::SendMessage(hwnd, WM_LOAD_FILE, 21, 0);
                workerDone = true;
            });
            EXPECT_TRUE(PumpUntil([&] { return workerDone.load(); }, 10s));
            s.EndDialog(IDOK);
        });
        EXPECT_EQ(settings.DoModal(), IDOK);
    });
    ASSERT_TRUE(worker.has_value()) << "the settings dialog did not open";
    worker->Join();
    EXPECT_EQ(answer, 42);
    EXPECT_EQ(handledOn, std::this_thread::get_id());
    EXPECT_TRUE(settingsOpenWhileHandled);
}

TEST_F(UiTest, SetTimerWithARunningIdRestartsItAndTimersRunInNestedLoops) {
    using Clock = std::chrono::steady_clock;
    TestDialog dlg;
    std::vector<Clock::time_point> ticks10;
    int ticks11 = 0;
    dlg.onTimer = [&](UINT_PTR id) {
        if (id == 10) ticks10.push_back(Clock::now());
        if (id == 11) ++ticks11;
    };
    RunInside(dlg, [&](CDialog& d, DialogDriver&) {
        const auto t0 = Clock::now();
        ASSERT_EQ(d.SetTimer(10, 300), 10u);
        PumpUntil([&] { return Clock::now() - t0 >= 200ms; }, 5s);
        ASSERT_TRUE(ticks10.empty());
        const auto t1 = Clock::now();
        d.SetTimer(10, 300);  // restart: the first tick is now 300 ms after t1
        ASSERT_TRUE(PumpUntil([&] { return !ticks10.empty(); }, 5s));
        EXPECT_GE(ticks10.front() - t1, 295ms);
        EXPECT_TRUE(d.KillTimer(10));
        EXPECT_FALSE(d.KillTimer(10));
        const std::size_t after = ticks10.size();
        PumpUntil([] { return false; }, 350ms);
        EXPECT_EQ(ticks10.size(), after) << "a killed timer stays silent";

        // A timer of this dialog keeps ticking while another dialog is modal.
        d.SetTimer(11, 20);
        TestDialog other(kPageTemplate, &d);
        OnNextModal(other.GetTemplateId(), [&](CDialog& o) {
            const int before = ticks11;
            EXPECT_TRUE(PumpUntil([&] { return ticks11 >= before + 3; }, 5s));
            o.EndDialog(IDOK);
        });
        other.DoModal();
    });
    EXPECT_EQ(dlg.SetTimer(12, 10), 0u) << "no window, no timer";
}

TEST_F(UiTest, KeysReachPreTranslateMessageFromTheFocusOutward) {
    TestDialog dlg;
    TestPage page;
    struct Seen { UINT message; UINT vk; std::wstring where; std::wstring focusClass; bool ctrl; };
    std::vector<Seen> seen;
    auto record = [&](const wchar_t* where, MSG* msg) {
        CWnd* focus = CWnd::GetFocus();
        seen.push_back({msg->message, static_cast<UINT>(msg->wParam), where,
                        focus ? focus->GetClassName() : L"", GetKeyState(VK_CONTROL) < 0});
    };
    // The page swallows key releases unless the focus is in an edit, as the
    // program's key filters do.
    page.onPreTranslate = [&](MSG* msg) {
        record(L"page", msg);
        if (msg->message != WM_KEYUP) return false;
        CWnd* focus = CWnd::GetFocus();
        return !(focus && focus->GetClassName() == L"Edit");
    };
    dlg.onPreTranslate = [&](MSG* msg) {
        record(L"dialog", msg);
        return false;
    };
    dlg.onInit = [&] {
        page.Create(&dlg);
        page.ShowWindow(SW_SHOW);
    };
    RunInside(dlg, [&](CDialog&, DialogDriver&) {
        DialogDriver onPage(page);
        // Focus on the page's check box: the page sees the release first and
        // keeps it.
        ASSERT_TRUE(onPage.KeyUp('A', false, IDC_SHARED_ID));
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].message, WM_KEYUP);
        EXPECT_EQ(seen[0].vk, static_cast<UINT>('A'));
        EXPECT_EQ(seen[0].where, L"page");
        EXPECT_EQ(seen[0].focusClass, L"Button");

        // Focus in the page's edit: the letter is typed and the release goes
        // on to the dialog.
        seen.clear();
        ASSERT_TRUE(onPage.PressKey('A', false, IDC_PAGE_EDIT));
        EXPECT_EQ(page.GetDlgItemText(IDC_PAGE_EDIT), L"a");
        ASSERT_EQ(seen.size(), 4u);  // down: page, dialog; up: page, dialog
        EXPECT_EQ(seen[2].message, WM_KEYUP);
        EXPECT_EQ(seen[2].focusClass, L"Edit");
        EXPECT_EQ(seen[3].where, L"dialog");

        // Ctrl is seen through GetKeyState; keypad keys have codes of their own.
        struct KeyCase { UINT vk; bool ctrl; };
        const KeyCase keys[] = {{'S', true},          {VK_DECIMAL, false}, {VK_SUBTRACT, false},
                                {VK_OEM_MINUS, false}, {VK_ADD, false},     {VK_OEM_PLUS, false},
                                {VK_NUMPAD1, false},   {'1', false},        {VK_F4, true}};
        for (const auto& k : keys) {
            seen.clear();
            ASSERT_TRUE(onPage.KeyUp(k.vk, k.ctrl, IDC_SHARED_ID));
            ASSERT_EQ(seen.size(), 1u) << k.vk;
            EXPECT_EQ(seen[0].vk, k.vk);
            EXPECT_EQ(seen[0].ctrl, k.ctrl) << k.vk;
        }
        // A release repeated by auto-repeat is not a release.
        seen.clear();
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"), true);
        QApplication::sendEvent(QApplication::focusWidget(), &repeat);
        EXPECT_TRUE(seen.empty());
    });
}

// A key release carries the modifier keys held when its key went down, in
// whatever order the keys are let go; GetKeyState stays the state now.
TEST_F(UiTest, KeyReleasesCarryTheModifiersHeldAtTheirPress) {
    using Order = DialogDriver::CtrlOrder;
    TestDialog dlg;
    struct Seen { UINT message; UINT vk; UINT modifiers; bool ctrlNow; };
    std::vector<Seen> seen;
    dlg.onPreTranslate = [&](MSG* msg) {
        seen.push_back({msg->message, static_cast<UINT>(msg->wParam), msg->keyModifiers, GetKeyState(VK_CONTROL) < 0});
        return false;
    };
    auto releaseOf = [&](UINT vk) -> const Seen* {
        for (const Seen& s : seen)
            if (s.message == WM_KEYUP && s.vk == vk) return &s;
        return nullptr;
    };
    RunInside(dlg, [&](CDialog&, DialogDriver& drive) {
        struct Case { Order order; bool ctrl; bool ctrlAtRelease; const char* name; };
        const Case cases[] = {
            {Order::kNone, false, false, "alone"},
            {Order::kKeyLetGoFirst, true, true, "Ctrl let go last"},
            {Order::kCtrlLetGoFirst, true, false, "Ctrl let go first"},
            {Order::kCtrlAfterKey, false, true, "Ctrl pressed after the key"},
        };
        for (UINT vk : {UINT('S'), VK_F4, VK_F10, VK_NUMPAD1}) {
            for (const Case& c : cases) {
                SCOPED_TRACE(::testing::Message() << vk << ", " << c.name);
                seen.clear();
                ASSERT_TRUE(drive.TypeKey(vk, c.order, IDC_SHARED_ID));
                const Seen* up = releaseOf(vk);
                ASSERT_NE(up, nullptr);
                EXPECT_EQ(up->modifiers, c.ctrl ? MOD_CONTROL : 0u);
                EXPECT_EQ(up->ctrlNow, c.ctrlAtRelease) << "GetKeyState is the state at the release";
            }
        }
        // Two keys down at once keep their own: Shift+A, then B with Ctrl
        // too, A let go after Shift and Ctrl.
        seen.clear();
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        auto send = [&](QEvent::Type type, int key, Qt::KeyboardModifiers m, bool repeat = false) {
            QKeyEvent e(type, key, m, QString(), repeat);
            QApplication::sendEvent(focus, &e);
        };
        send(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
        send(QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier);
        send(QEvent::KeyPress, Qt::Key_Control, Qt::ShiftModifier | Qt::ControlModifier);
        send(QEvent::KeyPress, Qt::Key_B, Qt::ShiftModifier | Qt::ControlModifier);
        // Auto-repeat of A, now with Ctrl too: the first press decides.
        send(QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier | Qt::ControlModifier, true);
        send(QEvent::KeyRelease, Qt::Key_B, Qt::ShiftModifier | Qt::ControlModifier);
        send(QEvent::KeyRelease, Qt::Key_Control, Qt::ShiftModifier | Qt::ControlModifier);
        send(QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier);
        send(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier);
        ASSERT_NE(releaseOf('A'), nullptr);
        ASSERT_NE(releaseOf('B'), nullptr);
        EXPECT_EQ(releaseOf('A')->modifiers, MOD_SHIFT);
        EXPECT_EQ(releaseOf('B')->modifiers, MOD_SHIFT | MOD_CONTROL);
        // A release whose press the program never saw (pressed in another
        // program) carries the keys held at the release.
        for (bool ctrl : {false, true}) {
            seen.clear();
            send(QEvent::KeyRelease, Qt::Key_N, ctrl ? Qt::ControlModifier : Qt::NoModifier);
            ASSERT_NE(releaseOf('N'), nullptr);
            EXPECT_EQ(releaseOf('N')->modifiers, ctrl ? MOD_CONTROL : 0u);
        }
        // Once let go, a key's press is forgotten: the next release of the
        // same key without a press does not take Ctrl from the last one.
        seen.clear();
        ASSERT_TRUE(drive.TypeKey('S', Order::kCtrlLetGoFirst));
        send(QEvent::KeyRelease, Qt::Key_S, Qt::NoModifier);
        ASSERT_EQ(seen.back().message, static_cast<UINT>(WM_KEYUP));
        EXPECT_EQ(seen.back().modifiers, 0u);
    });
}

// Enter clicks the button that has the focus; from an edit box it clicks the
// window's default button, and in a window without one it clicks nothing
// (not the window's first button).
TEST_F(UiTest, EnterClicksOnlyTheFocusedButtonOrTheDefaultOne) {
    constexpr int kEdit = 2101, kFirst = 2102, kSecond = 2103, kDefault = 2104;
    const DialogTemplate withoutDefault = {
        181, L"没有默认按钮", 200, 80,
        {
            {kEdit, Ctl::Edit, L"", 10, 10, 60, 12},
            {kFirst, Ctl::Button, L"居中 7", 10, 40, 50, 14},
            {kSecond, Ctl::Button, L"校正 5", 70, 40, 50, 14},
        },
    };
    DialogTemplate withDefault = withoutDefault;
    withDefault.controls.push_back({kDefault, Ctl::DefButton, L"执行", 130, 40, 50, 14});
    auto clicked = [](const TestDialog& d) {
        std::vector<UINT> ids;
        for (const Note& n : d.notes)
            if (n.message == WM_COMMAND && n.code == BN_CLICKED) ids.push_back(n.id);
        return ids;
    };
    struct Case {
        const DialogTemplate* dialog;
        int focus;
        std::vector<UINT> clicked;
        const char* name;
    };
    const Case cases[] = {
        {&withoutDefault, kEdit, {}, "edit, no default button"},
        {&withoutDefault, kSecond, {kSecond}, "focused button, no default button"},
        {&withDefault, kEdit, {kDefault}, "edit, default button"},
        {&withDefault, kFirst, {kFirst}, "focused button beside a default one"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestDialog dlg(*c.dialog);
        RunInside(dlg, [&](CDialog&, DialogDriver& drive) {
            dlg.notes.clear();
            ASSERT_TRUE(drive.PressKey(VK_RETURN, false, c.focus));
            EXPECT_EQ(clicked(dlg), c.clicked);
        });
    }
}

TEST_F(UiTest, NumbersInControlsStayInTheCLocale) {
    testdata::CommaLocale comma;
    ASSERT_TRUE(comma.active());
    TestDialog dlg;
    RunInside(dlg, [&](CDialog& d, DialogDriver& drive) {
        d.SetDlgItemFloat(IDC_DELTA, 0.5, L"%.1f");
        EXPECT_EQ(drive.Text(IDC_DELTA), L"0.5");
        d.SetDlgItemFloat(IDC_DELTA, 2.0, L"%.2f");
        EXPECT_EQ(drive.Text(IDC_DELTA), L"2.00");
        ASSERT_TRUE(drive.Type(IDC_DELTA, L"0.1"));
        EXPECT_DOUBLE_EQ(d.GetDlgItemFloat(IDC_DELTA), 0.1);
        ASSERT_TRUE(drive.Type(IDC_DELTA, L" 12abc"));
        EXPECT_EQ(d.GetDlgItemInt(IDC_DELTA), 12);
        d.SetDlgItemInt(IDC_DELTA, -7);
        EXPECT_EQ(drive.Text(IDC_DELTA), L"-7");
    });
}

TEST_F(UiTest, PositionsComeFromDialogUnits) {
    TestDialog dlg;
    RunInside(dlg, [&](CDialog& d, DialogDriver&) {
        RECT client;
        d.GetClientRect(&client);
        RECT expected{0, 0, kTestTemplate.cx, kTestTemplate.cy};
        CWnd::MapDialogRect(&expected);
        EXPECT_EQ(client.right, expected.right);
        EXPECT_EQ(client.bottom, expected.bottom);
        // Edit 1000 lies at (10, 12), 150 x 12 units; each value is
        // converted on its own.
        // The units are those of the dialog font (the application's).
        const QPoint base = BaseUnitsOf(QApplication::font());
        EXPECT_EQ(CWnd::DialogBaseUnits().x, base.x());
        EXPECT_EQ(CWnd::DialogBaseUnits().y, base.y());
        if (QFontInfo(QApplication::font()).family() == QStringLiteral("WenQuanYi Micro Hei")) {
            // The program's font at 12 pixels: letters 6.6 pixels wide on
            // average (7 by the rule), lines 14 high.
            EXPECT_EQ(base, QPoint(7, 14));
        }
        const QRect g = d.GetDlgItem(IDC_SOURCE)->Widget()->geometry();
        EXPECT_EQ(g.left(), Pixels(10, base.x(), 4));
        EXPECT_EQ(g.top(), Pixels(12, base.y(), 8));
        EXPECT_EQ(g.width(), Pixels(150, base.x(), 4));
        EXPECT_EQ(g.height(), Pixels(12, base.y(), 8));
        RECT r{270, 40, 825, 410};
        CWnd::MapDialogRect(&r);
        EXPECT_EQ(r.left, Pixels(270, base.x(), 4));
        EXPECT_EQ(r.top, Pixels(40, base.y(), 8));
        EXPECT_EQ(r.right, Pixels(825, base.x(), 4));
        EXPECT_EQ(r.bottom, Pixels(410, base.y(), 8));
        if (base == QPoint(7, 14)) {
            // Halves round away from zero: 472.5 and 717.5.
            EXPECT_EQ(r.left, 473);
            EXPECT_EQ(r.bottom, 718);
        }
        // A control moved in client coordinates lands there.
        CWnd* status = d.GetDlgItem(IDC_STATUS);
        status->MoveWindow(5, 6, 70, 20);
        RECT s;
        status->GetWindowRect(&s);
        d.ScreenToClient(&s);
        EXPECT_EQ(s.left, 5);
        EXPECT_EQ(s.top, 6);
        EXPECT_EQ(s.right, 75);
        EXPECT_EQ(s.bottom, 26);
    });
}

// A dialog laid out after the application's font changed takes the new
// font's units: a line of text is 8 units high, 4 units across are one
// average letter.
TEST_F(UiTest, DialogUnitsFollowTheApplicationFont) {
    const QFont before = QApplication::font();
    for (int pixels : {12, 24, 9}) {
        QFont font = before;
        font.setPixelSize(pixels);
        QApplication::setFont(font);
        const QPoint base = BaseUnitsOf(font);
        EXPECT_EQ(CWnd::DluToPixelsY(8), base.y()) << pixels;
        EXPECT_EQ(CWnd::DluToPixelsX(4), base.x()) << pixels;
        EXPECT_EQ(CWnd::DluToPixelsX(400), 100 * base.x()) << pixels;
        TestDialog dlg;
        RunInside(dlg, [&](CDialog& d, DialogDriver&) {
            RECT client;
            d.GetClientRect(&client);
            EXPECT_EQ(client.right, Pixels(kTestTemplate.cx, base.x(), 4)) << pixels;
            EXPECT_EQ(client.bottom, Pixels(kTestTemplate.cy, base.y(), 8)) << pixels;
        });
    }
    QApplication::setFont(before);
    EXPECT_EQ(CWnd::DialogBaseUnits().y, BaseUnitsOf(before).y());
}

TEST_F(UiTest, StatesByIdAsTheUserSeesThem) {
    TestDialog dlg;
    RunInside(dlg, [&](CDialog& d, DialogDriver& drive) {
        // Hidden or disabled controls cannot be used.
        d.GetDlgItem(IDC_START)->EnableWindow(false);
        EXPECT_FALSE(drive.IsEnabled(IDC_START));
        EXPECT_FALSE(drive.Click(IDC_START));
        EXPECT_TRUE(d.GetDlgItem(IDC_START)->EnableWindow(true)) << "it was disabled";
        d.GetDlgItem(IDC_SUBFOLDERS)->ShowWindow(SW_HIDE);
        EXPECT_FALSE(drive.IsVisible(IDC_SUBFOLDERS));
        EXPECT_FALSE(drive.Click(IDC_SUBFOLDERS));
        EXPECT_FALSE(drive.Type(IDC_SOURCE, L"x")) << "read-only";
        dlg.notes.clear();
        EXPECT_TRUE(drive.Click(IDC_START));
        EXPECT_EQ(dlg.notes.size(), 1u);

        // Path ellipsis shortens what is shown, never the text.
        const std::wstring longPath = L"/home/user/扫描/很长很长的文件夹名称/另一个很长的文件夹/页面_0001.jpg";
        d.SetDlgItemText(IDC_STATUS, longPath);
        EXPECT_EQ(drive.Text(IDC_STATUS), longPath);
        const std::wstring shown = drive.ShownText(IDC_STATUS);
        EXPECT_NE(shown, longPath);
        EXPECT_NE(shown.find(L"..."), std::wstring::npos) << std::string(shown.begin(), shown.end());
        EXPECT_TRUE(shown.ends_with(L"/页面_0001.jpg"));
        d.SetDlgItemText(IDC_STATUS, L"/a.jpg");
        EXPECT_EQ(drive.ShownText(IDC_STATUS), L"/a.jpg");

        // Tooltips and the link's markup.
        CToolTipCtrl tips;
        tips.Create(&d);
        tips.AddTool(d.GetDlgItem(IDC_SUBFOLDERS), L"勾选：重新处理所有文件");
        EXPECT_EQ(drive.ToolTip(IDC_SUBFOLDERS), L"勾选：重新处理所有文件");
        EXPECT_EQ(drive.Text(IDC_LINK), L"<a>批量处理设置</a> 与 <a>第二个链接</a>");
        EXPECT_EQ(drive.ShownText(IDC_LINK).find(L"<a>"), std::wstring::npos);

        // Item colours of the list view.
        auto* list = dynamic_cast<CListCtrl*>(d.GetDlgItem(IDC_HISTORY));
        list->InsertItem(0, L"1. 原图(当前项)");
        list->SetItemTextColor(0, RGB(0, 0, 255));
        EXPECT_EQ(list->GetItemTextColor(0), RGB(0, 0, 255));
        list->SetItemTextColor(0, CLR_DEFAULT);
        EXPECT_EQ(list->GetItemTextColor(0), CLR_DEFAULT);
    });
}

namespace {

class RefusingDialog : public TestDialog {
public:
    bool busy = true;
    int refusals = 0;
    void OnCancel() override {
        if (busy) {
            ++refusals;
            MessageBox(L"正在处理图片不能关闭.");
            return;
        }
        TestDialog::OnCancel();
    }
};

class EndsEarlyDialog : public TestDialog {
public:
    bool OnInitDialog() override {
        TestDialog::OnInitDialog();
        EndDialog(7);
        return true;
    }
};

}  // namespace

TEST_F(UiTest, ClosingGoesThroughOnCancelWhichMayRefuse) {
    RefusingDialog dlg;
    OnNextModal([&](CDialog& d) {
        DialogDriver drive(d);
        drive.Close();
        EXPECT_TRUE(d.IsModalRunning());
        EXPECT_TRUE(d.IsWindowVisible());
        dlg.busy = false;
        drive.Close();
        EXPECT_FALSE(d.IsModalRunning());
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.refusals, 1);
    EXPECT_EQ(dialogs->MessageTexts(), std::vector<std::wstring>{L"正在处理图片不能关闭."});

    EndsEarlyDialog early;
    EXPECT_EQ(early.DoModal(), 7);
    EXPECT_EQ(early.initCount, 1);
    EXPECT_EQ(early.GetSafeHwnd(), HWND());
}

TEST_F(UiTest, MenuCommandsArriveAsCommandMessages) {
    TestDialog dlg;
    CMenu menu;
    menu.LoadMenu({{32798, L"扫描", {}},
                   {0, L"更多功能", {{32784, L"检测", {}}, {32796, L"求两个文件夹的差", {}}}},
                   {0, L"帮助", {{32774, L"版本信息", {}}}}});
    dlg.onInit = [&] { EXPECT_TRUE(dlg.SetMenu(&menu)); };
    RunInside(dlg, [&](CDialog& d, DialogDriver& drive) {
        auto* bar = d.Widget()->findChild<QMenuBar*>();
        ASSERT_NE(bar, nullptr);
        ASSERT_EQ(bar->actions().size(), 3);
        EXPECT_EQ(bar->actions()[1]->text(), QStringLiteral("更多功能"));
        for (UINT id : {32784u, 32774u, 32798u}) {
            dlg.notes.clear();
            ASSERT_TRUE(drive.ChooseMenu(id));
            EXPECT_EQ(dlg.notes, (std::vector<Note>{{WM_COMMAND, id, 0, 0}}));
        }
        EXPECT_FALSE(drive.ChooseMenu(4242));
    });
}

TEST_F(UiTest, WorkersReachControlsThroughTheUiThread) {
    TestDialog dlg;
    RunInside(dlg, [&](CDialog& d, DialogDriver& drive) {
        d.SetDlgItemText(IDC_SOURCE, L"/data/源");
        d.CheckDlgButton(IDC_SUBFOLDERS, BST_CHECKED);
        std::atomic<bool> done{false};
        std::wstring source;
        UINT checked = 0;
        std::thread worker([&] {
            d.SetDlgItemText(IDC_STATUS, L"/data/源/a.jpg");
            source = d.GetDlgItemText(IDC_SOURCE);
            checked = d.IsDlgButtonChecked(IDC_SUBFOLDERS);
            d.GetDlgItem(IDC_START)->SetWindowText(L"处理中...");
            d.GetDlgItem(IDC_START)->EnableWindow(false);
            done = true;
        });
        ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
        worker.join();
        EXPECT_EQ(source, L"/data/源");
        EXPECT_EQ(checked, BST_CHECKED);
        EXPECT_EQ(drive.Text(IDC_STATUS), L"/data/源/a.jpg");
        EXPECT_EQ(drive.Text(IDC_START), L"处理中...");
        EXPECT_FALSE(drive.IsEnabled(IDC_START));
    });
}

namespace {

// A static that paints and handles the mouse itself, as the image view does.
class ViewStatic : public CStatic {
public:
    std::vector<std::pair<UINT, POINT>> mouse;
    int wheelDelta = 0;
    POINT wheelAt{};
    int paints = 0;

protected:
    void OnPaint(CDC& dc) override {
        ++paints;
        RECT r;
        GetClientRect(&r);
        dc.FillSolidRect(r, RGB(0, 128, 0));
    }
    void OnLButtonDown(UINT, POINT p) override { mouse.emplace_back(WM_LBUTTONDOWN, p); }
    void OnMouseMove(UINT, POINT p) override { mouse.emplace_back(WM_MOUSEMOVE, p); }
    void OnLButtonUp(UINT, POINT p) override { mouse.emplace_back(WM_LBUTTONUP, p); }
    bool OnMouseWheel(UINT, short delta, POINT p) override {
        wheelDelta += delta;
        wheelAt = p;
        return true;
    }
};

class ViewDialog : public TestDialog {
public:
    ViewStatic view;
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, IDC_SWATCH, view); }
};

void SendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(at), QPointF(w->mapToGlobal(at)), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                  buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

}  // namespace

TEST_F(UiTest, SubclassedControlsPaintAndHearTheMouseThemselves) {
    ViewDialog dlg;
    TestPage page;
    dlg.onInit = [&] { page.Create(&dlg); };
    RunInside(dlg, [&](CDialog& d, DialogDriver&) {
        QWidget* w = dlg.view.Widget();
        ASSERT_NE(w, nullptr);
        // Painting goes to the override; what it draws is what shows.
        const QImage shown = w->grab().toImage();
        EXPECT_GT(dlg.view.paints, 0);
        EXPECT_EQ(shown.pixelColor(shown.width() / 2, shown.height() / 2), QColor(0, 128, 0));

        SendMouse(w, QEvent::MouseButtonPress, QPoint(3, 4), Qt::LeftButton);
        SendMouse(w, QEvent::MouseMove, QPoint(9, 7), Qt::LeftButton);
        SendMouse(w, QEvent::MouseButtonRelease, QPoint(10, 8), Qt::NoButton);
        ASSERT_EQ(dlg.view.mouse.size(), 3u);
        EXPECT_EQ(dlg.view.mouse[0].first, WM_LBUTTONDOWN);
        EXPECT_EQ(dlg.view.mouse[0].second.x, 3);
        EXPECT_EQ(dlg.view.mouse[0].second.y, 4);
        EXPECT_EQ(dlg.view.mouse[1].first, WM_MOUSEMOVE);
        EXPECT_EQ(dlg.view.mouse[2].second.x, 10);
        EXPECT_TRUE(dlg.notes.empty()) << "the subclass took the click: no STN_CLICKED";

        const QPoint local(5, 6);
        const QPoint global = w->mapToGlobal(local);
        QWheelEvent wheel(QPointF(local), QPointF(global), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(w, &wheel);
        EXPECT_EQ(dlg.view.wheelDelta, 120);
        EXPECT_EQ(dlg.view.wheelAt.x, global.x()) << "the wheel point is in screen coordinates";
        EXPECT_EQ(dlg.view.wheelAt.y, global.y());

        // The view tells a page to set its cursor by a posted message.
        CWnd* from = nullptr;
        UINT hit = 0, message = 0;
        page.onSetCursor = [&](CWnd* window, UINT h, UINT m) {
            from = window;
            hit = h;
            message = m;
            return true;
        };
        ASSERT_TRUE(::PostMessage(page.GetSafeHwnd(), WM_SETCURSOR, dlg.view.GetSafeHwnd().value,
                                  MAKELPARAM(1, static_cast<WORD>(WM_MOUSEMOVE))));
        ASSERT_TRUE(PumpUntil([&] { return from != nullptr; }));
        EXPECT_EQ(from, &dlg.view);
        EXPECT_EQ(hit, 1u);
        EXPECT_EQ(message, WM_MOUSEMOVE);
        (void)d;
    });
}

TEST_F(UiTest, ImagesOnButtonsPicturesAndTreeItems) {
    TestDialog dlg;
    RunInside(dlg, [&](CDialog& d, DialogDriver&) {
        QPixmap start(24, 24);
        start.fill(Qt::red);
        auto* button = dynamic_cast<CButton*>(d.GetDlgItem(IDC_START));
        button->SetBitmap(start);
        auto* qb = dynamic_cast<QAbstractButton*>(button->Widget());
        EXPECT_FALSE(qb->icon().isNull());
        EXPECT_EQ(qb->iconSize(), QSize(24, 24));
        EXPECT_EQ(button->GetWindowText(), L" 开始处理") << "the text stays beside the image";

        d.SetIcon(QIcon(start), true);
        EXPECT_FALSE(d.Widget()->windowIcon().isNull());

        auto* picture = dynamic_cast<CStatic*>(d.GetDlgItem(IDC_SWATCH));
        picture->SetBitmap(start);
        EXPECT_EQ(dynamic_cast<QLabel*>(picture->Widget())->pixmap().size(), QSize(24, 24));

        CImageList images;
        images.Create(16, 16, 0, 2, 0);
        QPixmap folder(16, 16), file(16, 16);
        folder.fill(Qt::yellow);
        file.fill(Qt::blue);
        EXPECT_EQ(images.Add(QIcon(folder)), 0);
        EXPECT_EQ(images.Add(QIcon(file)), 1);
        auto* tree = dynamic_cast<CTreeCtrl*>(d.GetDlgItem(IDC_TREE));
        tree->SetImageList(&images, TVSIL_NORMAL);
        HTREEITEM root = tree->InsertItem(L"扫描", 0, 0);
        HTREEITEM a = tree->InsertItem(L"a.jpg", 1, 1, root);
        HTREEITEM sub = tree->InsertItem(L"子目录", 0, 0, root, TVI_FIRST);
        tree->SetItemData(a, 77);
        EXPECT_EQ(tree->GetItemImage(a), 1);
        EXPECT_EQ(a->icon(0).pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::blue));
        EXPECT_EQ(tree->GetChildItem(root), sub);
        EXPECT_EQ(tree->GetNextSiblingItem(sub), a);
        EXPECT_EQ(tree->GetPrevSiblingItem(a), sub);
        EXPECT_EQ(tree->GetParentItem(a), root);
        EXPECT_EQ(tree->GetItemData(a), 77u);
        EXPECT_TRUE(tree->ItemHasChildren(root));
        EXPECT_FALSE(tree->ItemHasChildren(a));
        EXPECT_EQ(tree->GetCount(), 3u);
        tree->Expand(root, TVE_EXPAND);
        EXPECT_TRUE(tree->IsExpanded(root));
        tree->Expand(root, TVE_COLLAPSE);
        EXPECT_FALSE(tree->IsExpanded(root));

        // Fonts chosen by name reach the control.
        CFont linkFont;
        linkFont.CreateFont(15, 0, 0, 0, 500, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"宋体");
        d.GetDlgItem(IDC_LINK)->SetFont(&linkFont);
        EXPECT_EQ(QFontInfo(d.GetDlgItem(IDC_LINK)->Widget()->font()).family(), gdi::CjkFontFamily());
    });
}
