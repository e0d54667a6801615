// Windows against the screen and texts against their boxes: a window larger
// than the screen's available area is kept inside it (one the user may size
// is made smaller, another one scrolls over its controls), a group box's
// caption wider than the box is drawn on several lines, and the two checks
// the tests of every window use find what a user could not see or reach.
#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QScrollArea>

#include <algorithm>
#include <set>
#include <string>

#include "UiFixture.h"
#include "platform/ui/Widgets.h"

namespace {

enum : int {
    IDC_TOP_LEFT = 10,
    IDC_BOTTOM_RIGHT = 11,
    IDC_SHORT_STATIC = 20,
    IDC_TALL_STATIC = 21,
    IDC_NARROW_CHECK = 22,
    IDC_CHECK = 23,
    IDC_NARROW_RADIO = 24,
    IDC_LONG_CAPTION = 25,
    IDC_UNDER_CAPTION = 26,
    IDC_PATH = 27,
    IDC_BEYOND = 28,
    IDC_GROUP = 29,
};

// A template a third larger than the screen's available area each way, with
// a button at its far corner.
DialogTemplate LargerThanTheScreen(UINT id, DWORD style) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const int cx = area.width() * 4 / 3 * 4 / CWnd::DialogBaseUnits().x;
    const int cy = area.height() * 4 / 3 * 8 / CWnd::DialogBaseUnits().y;
    return DialogTemplate{id,
                          L"大窗口",
                          cx,
                          cy,
                          {
                              {IDC_TOP_LEFT, Ctl::Static, L"左上", 2, 2, 40, 10},
                              {IDC_BOTTOM_RIGHT, Ctl::Button, L"右下", cx - 42, cy - 16, 40, 14},
                          },
                          style};
}

// Ids named in the checks' lines ("control <id> ").
std::set<int> NamedControls(const std::vector<std::wstring>& problems) {
    std::set<int> ids;
    for (const std::wstring& line : problems) {
        const std::size_t at = line.find(L"control ");
        if (at != std::wstring::npos) ids.insert(std::stoi(line.substr(at + 8)));
    }
    return ids;
}

std::string Lines(const std::vector<std::wstring>& problems) {
    std::string out;
    for (const std::wstring& line : problems) out += QString::fromStdWString(line).toStdString() + "\n";
    return out;
}

}  // namespace

TEST_F(UiTest, AFixedWindowLargerThanTheScreenScrollsInsideIt) {
    const DialogTemplate large = LargerThanTheScreen(950, 0);
    CDialog dlg(large);
    RunInside(dlg, [&](CDialog& d, DialogDriver&) {
        QWidget* window = d.Widget()->window();
        const QRect area = window->screen()->availableGeometry();
        EXPECT_TRUE(area.contains(window->frameGeometry()))
            << window->frameGeometry().width() << "x" << window->frameGeometry().height();
        // The client keeps the template's size; the window scrolls over it.
        RECT client;
        d.GetClientRect(&client);
        EXPECT_EQ(client.right, CWnd::DluToPixelsX(large.cx));
        EXPECT_EQ(client.bottom, CWnd::DluToPixelsY(large.cy));
        auto* scroll = window->findChild<QScrollArea*>();
        ASSERT_NE(scroll, nullptr);
        EXPECT_TRUE(UnreachableControls(d).empty()) << Lines(UnreachableControls(d));
        // The far button can be brought into view, and then it is on screen.
        QWidget* far = d.GetDlgItem(IDC_BOTTOM_RIGHT)->Widget();
        EXPECT_FALSE(scroll->viewport()->rect().contains(QRect(far->mapTo(scroll->viewport(), QPoint(0, 0)), far->size())));
        scroll->ensureWidgetVisible(far, 0, 0);
        const QRect shown(far->mapTo(scroll->viewport(), QPoint(0, 0)), far->size());
        EXPECT_TRUE(scroll->viewport()->rect().contains(shown));
        EXPECT_TRUE(area.contains(QRect(far->mapToGlobal(QPoint(0, 0)), far->size())));
        // Positions in client coordinates still are the template's.
        RECT r;
        d.GetDlgItem(IDC_BOTTOM_RIGHT)->GetWindowRect(&r);
        d.ScreenToClient(&r);
        EXPECT_EQ(r.left, CWnd::DluToPixelsX(large.cx - 42));
        EXPECT_EQ(r.top, CWnd::DluToPixelsY(large.cy - 16));
    });
    // Opened again, it is built the same way.
    RunInside(dlg, [&](CDialog& d, DialogDriver&) {
        QWidget* window = d.Widget()->window();
        EXPECT_TRUE(window->screen()->availableGeometry().contains(window->frameGeometry()));
        EXPECT_EQ(window->findChildren<QScrollArea*>().size(), 1);
    });
}

TEST_F(UiTest, AWindowTheUserMaySizeIsMadeAsLargeAsTheScreenAllows) {
    const DialogTemplate large = LargerThanTheScreen(951, WS_THICKFRAME);
    CDialog dlg(large);
    RunInside(dlg, [&](CDialog& d, DialogDriver&) {
        QWidget* window = d.Widget()->window();
        const QRect area = window->screen()->availableGeometry();
        const QRect frame = window->frameGeometry();
        EXPECT_TRUE(area.contains(frame)) << frame.width() << "x" << frame.height();
        // It takes the whole area (less the frame): smaller by the template
        // only where the screen is.
        EXPECT_EQ(frame.size(), area.size());
        EXPECT_EQ(window->findChild<QScrollArea*>(), nullptr);
        RECT client;
        d.GetClientRect(&client);
        EXPECT_LT(client.right, CWnd::DluToPixelsX(large.cx));
        EXPECT_LT(client.bottom, CWnd::DluToPixelsY(large.cy));
        // Its far button, left where the template put it, is cut off: such
        // a window lays its controls out itself, and the check says so.
        EXPECT_EQ(NamedControls(UnreachableControls(d)), std::set<int>{IDC_BOTTOM_RIGHT}) << Lines(UnreachableControls(d));
    });
}

TEST_F(UiTest, AWindowThatFitsKeepsItsSizeWithoutScrolling) {
    const DialogTemplate small{952, L"小窗口", 200, 100, {{IDC_TOP_LEFT, Ctl::Static, L"左上", 2, 2, 40, 10}}};
    CDialog dlg(small);
    RunInside(dlg, [&](CDialog& d, DialogDriver&) {
        QWidget* window = d.Widget()->window();
        EXPECT_EQ(window->findChild<QScrollArea*>(), nullptr);
        EXPECT_EQ(window->size(), QSize(CWnd::DluToPixelsX(200), CWnd::DluToPixelsY(100)));
        EXPECT_TRUE(UnreachableControls(d).empty()) << Lines(UnreachableControls(d));
    });
}

// Each kind of text against a box too small for it and one large enough.
TEST_F(UiTest, TextsThatDoNotFitTheirBoxesAreFound) {
    const DialogTemplate cramped{
        953,
        L"文字",
        240,
        120,
        {
            {IDC_SHORT_STATIC, Ctl::Static, L"两行的文字需要两行的高度才能放下", 4, 4, 60, 10},
            {IDC_TALL_STATIC, Ctl::Static, L"两行的文字需要两行的高度才能放下", 4, 18, 60, 40},
            {IDC_NARROW_CHECK, Ctl::CheckBox, L"很长的复选框文字", 4, 64, 30, 10},
            {IDC_CHECK, Ctl::CheckBox, L"复选框", 4, 78, 60, 10},
            {IDC_NARROW_RADIO, Ctl::Radio, L"很长的单选按钮文字", 70, 64, 30, 10},
            {IDC_LONG_CAPTION, Ctl::GroupBox, L"这是一个非常非常非常长的分组标题文字", 110, 4, 60, 60},
            {IDC_UNDER_CAPTION, Ctl::Static, L"标题下", 114, 10, 40, 10},
            {IDC_GROUP, Ctl::GroupBox, L"分组", 110, 70, 60, 40},
            {0, Ctl::Static, L"框里", 114, 84, 40, 10},
            {IDC_PATH, Ctl::Static, L"/很/长/的/路径/名字/在这里/第一页.jpg", 4, 92, 40, 10, SS_PATHELLIPSIS},
            {IDC_BEYOND, Ctl::Button, L"按钮", 220, 100, 30, 14},
        },
    };
    CDialog dlg(cramped);
    RunInside(dlg, [&](CDialog& d, DialogDriver&) {
        const auto clipped = ClippedTexts(d);
        EXPECT_EQ(NamedControls(clipped),
                  (std::set<int>{IDC_SHORT_STATIC, IDC_NARROW_CHECK, IDC_NARROW_RADIO, IDC_LONG_CAPTION}))
            << Lines(clipped);
        EXPECT_EQ(clipped.size(), 4u) << Lines(clipped);
        const auto unreachable = UnreachableControls(d);
        EXPECT_EQ(NamedControls(unreachable), std::set<int>{IDC_BEYOND}) << Lines(unreachable);
        EXPECT_EQ(unreachable.size(), 1u) << Lines(unreachable);
        // Hidden, a control cannot be reached or missed.
        d.GetDlgItem(IDC_BEYOND)->ShowWindow(SW_HIDE);
        EXPECT_TRUE(UnreachableControls(d).empty()) << Lines(UnreachableControls(d));
    });
}

// A caption wider than its box is drawn whole, on lines below each other,
// over the top of the frame.
TEST_F(UiTest, AGroupCaptionWiderThanItsBoxIsWrapped) {
    const DialogTemplate groups{
        954,
        L"分组",
        200,
        100,
        {
            {IDC_LONG_CAPTION, Ctl::GroupBox, L"这是一个非常非常非常长的分组标题文字", 4, 4, 60, 80},
            {IDC_GROUP, Ctl::GroupBox, L"分组", 100, 4, 60, 80},
        },
    };
    CDialog dlg(groups);
    RunInside(dlg, [&](CDialog& d, DialogDriver&) {
        auto* wrapped = dynamic_cast<uiw::WrappingGroupBox*>(d.GetDlgItem(IDC_LONG_CAPTION)->Widget());
        auto* plain = dynamic_cast<uiw::WrappingGroupBox*>(d.GetDlgItem(IDC_GROUP)->Widget());
        ASSERT_NE(wrapped, nullptr);
        ASSERT_NE(plain, nullptr);
        const int line = wrapped->fontMetrics().height();
        const QRect caption = wrapped->CaptionRect();
        EXPECT_GE(caption.height(), 2 * line);
        EXPECT_LE(caption.right(), wrapped->rect().right());
        EXPECT_LT(plain->CaptionRect().height(), 2 * line);
        // Ink on each line of the caption.
        const QImage image = wrapped->grab().toImage();
        const QColor background = wrapped->palette().color(QPalette::Window);
        for (int top = caption.top(); top + line <= caption.bottom() + 1; top += line) {
            int ink = 0;
            for (int y = top; y < top + line; ++y)
                for (int x = caption.left(); x <= caption.right(); ++x) {
                    const QColor c = image.pixelColor(x, y);
                    if (std::abs(c.lightness() - background.lightness()) > 80) ++ink;
                }
            EXPECT_GT(ink, 20) << "the caption's line at " << top;
        }
    });
}
