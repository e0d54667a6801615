// The manual window's pages and keys, driven by control id: the caption,
// the page each tool button and key shows, the keys with and without the
// focus in an edit box, the limits and messages of each option page, the
// erase and output-size pages, and the background page's preview.
#include "manual/ManualFixture.h"
#include "platform/ui/Keys.h"

using namespace manual_ids;

namespace {

struct LoadedFolder {
    testdata::TempDir tmp;
    LoadedFolder() {
        testimg::WritePng(tmp.file("p.png"), manualtest::ToPicture(synth::TextPage(160, 200, 24, 100, 4, synth::kYellowedPaper, 8)), 2, 8);
    }
};

}  // namespace

class ManualPagesTest : public ManualTest {};

TEST_F(ManualPagesTest, CaptionFollowsTheFromScanFlag) {
    for (bool fromScan : {false, true}) {
        CManualDlg dlg;
        dlg.fromScan = fromScan;
        Open(dlg, [&](CManualDlg& d, DialogDriver& w) {
            EXPECT_EQ(d.GetWindowText(), fromScan ? L"手动处理 (从扫描进入的)" : L"手动处理");
            EXPECT_EQ(d.CurrentPage(), 3);
            EXPECT_EQ(w.Text(IDC_PAGE_TITLE), L"去底色");
            EXPECT_FALSE(w.IsVisible(IDC_STATUS));
            EXPECT_TRUE(d.History().Texts().empty());  // nothing loaded
        });
    }
}

// Each tool button and each key of the table, on the main row and the
// numeric pad; a key with the focus in an edit box does nothing.
TEST_F(ManualPagesTest, ToolButtonsAndDigitKeysShowTheirPages) {
    struct Case {
        int button;
        UINT key;  // 0: no key
        int page;
        const wchar_t* title;
    };
    const Case cases[] = {
        {IDC_TOOL_CENTER, '7', 0, L"居中"},          {IDC_TOOL_CORRECT, '5', 1, L"校正"},
        {IDC_TOOL_CUTEDGE, '6', 2, L"切边"},         {IDC_TOOL_RMBKCOLOR, '1', 3, L"去底色"},
        {IDC_TOOL_RMBLACKBOARD, '2', 4, L"去黑底"},  {IDC_TOOL_RMSTAINS, '3', 5, L"去黑边、污点"},
        {IDC_TOOL_BINDHOLE, '4', 6, L"装订孔"},      {IDC_TOOL_AUTOCONTRAST, '8', 7, L"自动对比度"},
        {IDC_TOOL_ERASE, '9', 8, L"框选去污"},       {IDC_TOOL_OUTPUTSIZE, 0, 9, L"固定输出"},
        {IDC_TOOL_TAIL, 0, 10, L"裁剪"},
    };
    CManualDlg dlg;
    Open(dlg, [&](CManualDlg& d, DialogDriver& w) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.page);
            ASSERT_TRUE(w.Click(c.button));
            EXPECT_EQ(d.CurrentPage(), c.page);
            EXPECT_EQ(w.Text(IDC_PAGE_TITLE), c.title);
            for (int i = 0; i < CManualDlg::kPageCount; ++i) EXPECT_EQ(d.Page(i)->IsWindowVisible(), i == c.page);
            EXPECT_TRUE(d.DirPage().IsWindowVisible());
            if (!c.key) continue;
            ASSERT_TRUE(w.Click(IDC_TOOL_TAIL));
            ASSERT_TRUE(w.PressKey(c.key, false, IDC_FIT));
            EXPECT_EQ(d.CurrentPage(), c.page);
            ASSERT_TRUE(w.Click(IDC_TOOL_TAIL));
            ASSERT_TRUE(w.PressKey(VK_NUMPAD0 + (c.key - '0'), false, IDC_FIT));
            EXPECT_EQ(d.CurrentPage(), c.page);
            // With Ctrl the digit still shows the page.
            ASSERT_TRUE(w.Click(IDC_TOOL_TAIL));
            ASSERT_TRUE(w.PressKey(c.key, true, IDC_FIT));
            EXPECT_EQ(d.CurrentPage(), c.page);
        }
        // In an edit box of a page the digit is typed, no page changes.
        ASSERT_TRUE(w.Click(IDC_TOOL_AUTOCONTRAST));
        DialogDriver page(*d.Page(7));
        ASSERT_TRUE(page.PressKey('1', false, contrast::IDC_SHADOW));
        EXPECT_EQ(d.CurrentPage(), 7);
        // On a page's button the key reaches the window.
        ASSERT_TRUE(page.PressKey('1', false, IDC_APPLY));
        EXPECT_EQ(d.CurrentPage(), 3);
    });
}

// A and D act on the shown option page (on the edge page Ctrl chooses the
// colour cut), not with the focus in an edit box, and not on the erase,
// output-size and crop pages.
TEST_F(ManualPagesTest, ApplyAndDefaultKeys) {
    LoadedFolder folder;
    CManualDlg dlg;
    Open(dlg, [&](CManualDlg& d, DialogDriver& w) {
        BrowseProcessed(d, folder.tmp.wpath());
        ASSERT_EQ(d.History().Size(), 1u);
        auto lastName = [&] { return d.History().CurrentEntry()->name; };

        struct Case {
            int page;
            bool ctrl;
            const wchar_t* added;  // null: nothing added
        };
        const Case cases[] = {
            {0, false, L"居中"},   {1, false, L"校正"},        {2, false, L"切白边"},   {2, true, L"背景色切边"},
            {3, false, L"去底色"}, {4, false, L"去黑底"},      {6, false, L"装订孔"},   {7, false, L"自动对比度"},
            {7, true, L"自动对比度"}, {8, false, nullptr},     {9, false, nullptr},     {10, false, nullptr},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << "page " << c.page << " ctrl " << c.ctrl);
            d.ShowPage(c.page);
            const std::size_t before = d.History().Size();
            const int current = d.History().Current();
            ASSERT_TRUE(w.PressKey('A', c.ctrl, IDC_FIT));
            if (c.added) {
                EXPECT_EQ(d.History().Current(), current + 1);
                EXPECT_EQ(lastName(), c.added);
            } else {
                EXPECT_EQ(d.History().Size(), before);
            }
        }
        // The stains page refuses A without a choice, with its message.
        d.ShowPage(5);
        const std::size_t before = d.History().Size();
        ASSERT_TRUE(w.PressKey('A', false, IDC_FIT));
        EXPECT_EQ(d.History().Size(), before);
        EXPECT_EQ(dialogs->MessageTexts(), std::vector<std::wstring>{L"至少选择一种操作."});

        // 'A' typed into an edit box applies nothing.
        d.ShowPage(4);
        DialogDriver board(*d.Page(4));
        ASSERT_TRUE(board.PressKey('A', false, board::IDC_RADIATION));
        EXPECT_EQ(d.History().Size(), before);

        // D restores the defaults of the page (Ctrl: the colour cut's on the
        // edge page).
        d.ShowPage(2);
        DialogDriver edge(*d.Page(2));
        ASSERT_TRUE(edge.Type(cutedge::IDC_WHITE_RATIO, L"9"));
        ASSERT_TRUE(edge.Type(cutedge::IDC_COLOUR_RATIO, L"9"));
        ASSERT_TRUE(edge.Click(cutedge::IDC_WHITE_APPLY));
        ASSERT_TRUE(edge.Click(cutedge::IDC_COLOUR_APPLY));
        EXPECT_EQ(ManualSetting::values.cutWhite.ratio, 9.0f);
        EXPECT_EQ(ManualSetting::values.cutByBkColor.contentRatio, 9.0f);
        ASSERT_TRUE(w.PressKey('D', true, IDC_FIT));
        EXPECT_EQ(ManualSetting::values.cutByBkColor.contentRatio, 50.0f);
        EXPECT_EQ(ManualSetting::values.cutWhite.ratio, 9.0f);
        EXPECT_EQ(edge.Text(cutedge::IDC_COLOUR_RATIO), L"50.0");
        ASSERT_TRUE(w.PressKey('D', false, IDC_FIT));
        EXPECT_EQ(ManualSetting::values.cutWhite.ratio, 2.0f);
        EXPECT_EQ(edge.Text(cutedge::IDC_WHITE_RATIO), L"2.0");
    });
}

// What each option page does with out-of-range values: limits taken
// silently, or a message that stops the apply.
TEST_F(ManualPagesTest, OptionPagesLimitOrRefuseTheirValues) {
    LoadedFolder folder;
    CManualDlg dlg;
    Open(dlg, [&](CManualDlg& d, DialogDriver&) {
        BrowseProcessed(d, folder.tmp.wpath());
        auto& v = ManualSetting::values;
        struct Case {
            int page;
            std::vector<std::pair<int, std::wstring>> typed;
            int apply;
            std::function<void()> check;
            const wchar_t* message;  // null: applied without a message
        };
        const std::vector<Case> cases = {
            {0, {{center::IDC_HORIZONTAL_RATIO, L"0"}, {center::IDC_VERTICAL_RATIO, L"99"}}, IDC_APPLY,
             [&] {
                 EXPECT_EQ(v.center.horizontalRatio, 0.1f);
                 EXPECT_EQ(v.center.verticalRatio, 50.0f);
             },
             nullptr},
            {4, {{board::IDC_RADIATION, L"0"}, {board::IDC_WIDTH, L"500"}}, IDC_APPLY,
             [&] {
                 EXPECT_EQ(v.rmblackboard.radiation, 1);
                 EXPECT_EQ(v.rmblackboard.width, 100);
             },
             nullptr},
            {4, {{board::IDC_RADIATION, L"25"}, {board::IDC_WIDTH, L"-3"}}, IDC_APPLY,
             [&] {
                 EXPECT_EQ(v.rmblackboard.radiation, 20);
                 EXPECT_EQ(v.rmblackboard.width, 1);
             },
             nullptr},
            {5, {{stains::IDC_THRESHOLD, L"300"}, {stains::IDC_AREA, L"-2"}}, IDC_APPLY,
             [&] {
                 EXPECT_EQ(v.rmstains.threshold, 254);
                 EXPECT_EQ(v.rmstains.area, 0.0f);
             },
             L"至少选择一种操作."},
            {5, {{stains::IDC_THRESHOLD, L"-5"}}, IDC_APPLY, [&] { EXPECT_EQ(v.rmstains.threshold, 0); },
             L"至少选择一种操作."},
            {3, {{bk::IDC_DELTA, L"0"}}, IDC_APPLY, [&] { EXPECT_EQ(v.rmbkcolor.colourDelta, 25); },
             L"色差范围为0到100."},
            {3, {{bk::IDC_DELTA, L"101"}}, IDC_APPLY, [&] { EXPECT_EQ(v.rmbkcolor.colourDelta, 25); },
             L"色差范围为0到100."},
            {3, {{bk::IDC_DELTA, L"30"}, {bk::IDC_SATURATION, L"1.5"}}, IDC_APPLY,
             [&] {
                 EXPECT_EQ(v.rmbkcolor.colourDelta, 30);  // stored before the failing check
                 EXPECT_EQ(v.rmbkcolor.saturation, 0.15f);
             },
             L"饱和度范围[0,1]."},
            {7, {{contrast::IDC_SHADOW, L"0.5"}, {contrast::IDC_HIGHLIGHT, L""}}, IDC_APPLY,
             [&] {
                 EXPECT_EQ(v.autocontrast.shadowClip, 0.5f);
                 EXPECT_EQ(v.autocontrast.highlightClip, 0.0f);
             },
             nullptr},
            {7, {{contrast::IDC_SHADOW, L".5"}}, IDC_APPLY, [] {}, L"请输入正确的数字."},
            {7, {{contrast::IDC_SHADOW, L"1e2"}}, IDC_APPLY, [] {}, L"请输入正确的数字."},
            {6, {{hole::IDC_LEFT, L"-4"}, {hole::IDC_GREY_HIGH, L"300"}}, IDC_APPLY,
             [&] {
                 EXPECT_EQ(v.bindhole.left, -4);  // taken as typed
                 EXPECT_EQ(v.bindhole.greyHigh, 300);
             },
             nullptr},
        };
        for (std::size_t i = 0; i < cases.size(); ++i) {
            const Case& c = cases[i];
            SCOPED_TRACE(::testing::Message() << "case " << i);
            dialogs->Clear();
            d.ShowPage(c.page);
            DialogDriver page(*d.Page(c.page));
            for (const auto& [id, text] : c.typed) ASSERT_TRUE(page.Type(id, text));
            const std::size_t before = d.History().Size();
            const int current = d.History().Current();
            ASSERT_TRUE(page.Click(c.apply));
            c.check();
            if (c.message) {
                EXPECT_EQ(dialogs->MessageTexts(), std::vector<std::wstring>{c.message});
                EXPECT_EQ(d.History().Size(), before);
                EXPECT_EQ(d.History().Current(), current);
            } else {
                EXPECT_TRUE(dialogs->MessageTexts().empty());
                EXPECT_EQ(d.History().Current(), current + 1);
            }
        }
    });
}

// The deskew page: no angle chosen is 5 degrees, no method chosen is -1;
// the white-cut unit switch shows the other unit's stored margins.
TEST_F(ManualPagesTest, DeskewChoicesAndEdgeUnits) {
    LoadedFolder folder;
    CManualDlg dlg;
    Open(dlg, [&](CManualDlg& d, DialogDriver&) {
        BrowseProcessed(d, folder.tmp.wpath());
        d.ShowPage(1);
        auto* angle = dynamic_cast<CComboBox*>(d.Page(1)->GetDlgItem(correct::IDC_ANGLE));
        auto* method = dynamic_cast<CComboBox*>(d.Page(1)->GetDlgItem(correct::IDC_METHOD));
        ASSERT_TRUE(angle && method);
        angle->SetCurSel(-1);
        method->SetCurSel(-1);
        DialogDriver deskew(*d.Page(1));
        ASSERT_TRUE(deskew.Click(correct::IDC_FILL_BLACK));
        ASSERT_TRUE(deskew.Click(IDC_APPLY));
        const CorrectOpParams* p = d.History().CurrentEntry()->Params<CorrectOpParams>();
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->maxAngle, 5);
        EXPECT_EQ(p->method, -1);
        EXPECT_EQ(p->fillWhite, 0);
        ASSERT_TRUE(deskew.Choose(correct::IDC_ANGLE, 2));
        ASSERT_TRUE(deskew.Choose(correct::IDC_METHOD, 1));
        ASSERT_TRUE(deskew.Click(IDC_APPLY));
        p = d.History().CurrentEntry()->Params<CorrectOpParams>();
        EXPECT_EQ(p->maxAngle, 30);
        EXPECT_EQ(p->method, 1);

        d.ShowPage(2);
        DialogDriver edge(*d.Page(2));
        EXPECT_EQ(edge.Text(cutedge::IDC_LEFT), L"25");
        ASSERT_TRUE(edge.Type(cutedge::IDC_LEFT, L"40"));
        ASSERT_TRUE(edge.Choose(cutedge::IDC_WHITE_UNIT, 1));
        for (int id : {cutedge::IDC_LEFT, cutedge::IDC_RIGHT, cutedge::IDC_TOP, cutedge::IDC_BOTTOM})
            EXPECT_EQ(edge.Text(id), L"3.0");
        ASSERT_TRUE(edge.Type(cutedge::IDC_TOP, L"1.5"));
        ASSERT_TRUE(edge.Click(cutedge::IDC_WHITE_APPLY));
        const CutWhiteOpParams* cut = d.History().CurrentEntry()->Params<CutWhiteOpParams>();
        ASSERT_NE(cut, nullptr);
        EXPECT_EQ(cut->unit, 1);
        EXPECT_EQ(cut->top, 1.5f);
        EXPECT_EQ(cut->left, 3.0f);
        // The pixel margins stay as they were stored (40 was never applied).
        ASSERT_TRUE(edge.Choose(cutedge::IDC_WHITE_UNIT, 0));
        EXPECT_EQ(edge.Text(cutedge::IDC_LEFT), L"25");
    });
}

// The erase page's modes and colour (a pick on the picture, the colour
// dialog, the defaults), and the output-size page's save and defaults,
// which outlive the window.
TEST_F(ManualPagesTest, EraseAndOutputSizePages) {
    LoadedFolder folder;
    {
        CManualDlg dlg;
        Open(dlg, [&](CManualDlg& d, DialogDriver& w) {
            BrowseProcessed(d, folder.tmp.wpath());
            ASSERT_TRUE(w.Click(IDC_TOOL_ERASE));
            DialogDriver erase(*d.Page(8));
            EXPECT_TRUE(erase.IsChecked(erase::IDC_INSIDE));
            ASSERT_TRUE(erase.Click(erase::IDC_PICK));
            EXPECT_EQ(ManualSetting::values.erase.mode, 0);
            // A click on the picture picks the colour under it.
            const POINT scroll = d.MainView().Scroll();
            ASSERT_TRUE(w.MouseDown(IDC_MAIN_VIEW, POINT{8 - scroll.x, 9 - scroll.y}));
            ASSERT_TRUE(w.MouseUp(IDC_MAIN_VIEW, POINT{8 - scroll.x, 9 - scroll.y}));
            const testimg::Rgb picked = manualtest::PixelAt(d.CurrentImage(), 8, 9);
            EXPECT_EQ(ManualSetting::values.erase.colour, RGB(picked.r, picked.g, picked.b));
            EXPECT_EQ(d.History().Size(), 1u);
            // The swatch opens the colour dialog.
            dialogs->AnswerColor(RGB(10, 20, 30));
            ASSERT_TRUE(erase.Click(erase::IDC_SWATCH));
            EXPECT_EQ(ManualSetting::values.erase.colour, RGB(10, 20, 30));
            ASSERT_TRUE(erase.Click(IDC_DEFAULTS));
            EXPECT_EQ(ManualSetting::values.erase.colour, RGB(255, 255, 255));
            EXPECT_EQ(ManualSetting::values.erase.mode, 1);
            EXPECT_TRUE(erase.IsChecked(erase::IDC_INSIDE));
            EXPECT_FALSE(erase.IsVisible(erase::IDC_ERASER_BG));

            ASSERT_TRUE(w.Click(IDC_TOOL_OUTPUTSIZE));
            DialogDriver output(*d.Page(9));
            EXPECT_TRUE(output.IsChecked(output::IDC_AS_RESULT));
            EXPECT_FALSE(output.IsEnabled(output::IDC_WIDTH));
            ASSERT_TRUE(output.Click(output::IDC_FIXED));
            EXPECT_TRUE(output.IsEnabled(output::IDC_WIDTH));
            ASSERT_TRUE(output.Type(output::IDC_WIDTH, L""));
            ASSERT_TRUE(output.Type(output::IDC_HEIGHT, L"1000"));
            ASSERT_TRUE(output.Slide(output::IDC_QUALITY, 60));
            EXPECT_EQ(output.Text(output::IDC_QUALITY_VALUE), L"60");
            ASSERT_TRUE(output.Click(IDC_APPLY));
            EXPECT_EQ(w.Text(IDC_STATUS), L"保存设置完成");
            EXPECT_EQ(ManualSetting::values.output.mode, 2);
            EXPECT_EQ(ManualSetting::values.output.width, 2480);  // the empty edit keeps it
            EXPECT_EQ(ManualSetting::values.output.height, 1000);
            EXPECT_EQ(ManualSetting::values.output.jpegQuality, 60);
        });
    }
    // Reopened: fixed pixels checked, edits enabled.
    CManualDlg dlg;
    Open(dlg, [&](CManualDlg& d, DialogDriver& w) {
        ASSERT_TRUE(w.Click(IDC_TOOL_OUTPUTSIZE));
        DialogDriver output(*d.Page(9));
        EXPECT_TRUE(output.IsChecked(output::IDC_FIXED));
        EXPECT_TRUE(output.IsEnabled(output::IDC_HEIGHT));
        EXPECT_EQ(output.Text(output::IDC_HEIGHT), L"1000");
        ASSERT_TRUE(output.Click(IDC_DEFAULTS));
        EXPECT_TRUE(output.IsChecked(output::IDC_AS_RESULT));
        EXPECT_EQ(output.Text(output::IDC_HEIGHT), L"3508");
    });
}

// Moving a background slider shows a preview in the main view within the
// page's timer, with no history entry; Apply then adds "去底色".
TEST_F(ManualPagesTest, BackgroundSliderPreviewsWithoutHistory) {
    LoadedFolder folder;
    CManualDlg dlg;
    Open(dlg, [&](CManualDlg& d, DialogDriver&) {
        BrowseProcessed(d, folder.tmp.wpath());
        DialogDriver page(*d.Page(3));
        ASSERT_TRUE(page.Slide(bk::IDC_BRIGHTNESS, 120));
        EXPECT_EQ(page.Text(bk::IDC_BRIGHTNESS_VALUE), L"120");
        ASSERT_TRUE(PumpUntil([&] { return !d.PreviewImage().Empty(); }, std::chrono::seconds(3)));
        EXPECT_EQ(d.History().Size(), 1u);
        EXPECT_FALSE(manualtest::SameImage(d.PreviewImage(), d.CurrentImage()));
        // The view shows the preview, the current picture is unchanged.
        EXPECT_TRUE(manualtest::SameImage(d.CurrentImage(), manualtest::LoadDirect(d.CurrentPath())));
        ASSERT_TRUE(page.Click(IDC_APPLY));
        EXPECT_EQ(d.History().Size(), 2u);
        EXPECT_EQ(d.History().CurrentEntry()->name, L"去底色");
        EXPECT_EQ(d.History().CurrentEntry()->Params<RmBkColorOpParams>()->brightness, 120);
        EXPECT_TRUE(manualtest::SameImage(d.CurrentImage(), d.PreviewImage()) || d.PreviewImage().Empty());
    });
}
