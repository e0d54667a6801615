// Settings changed in the batch settings dialog reach a whole run started
// from the main window: red removed, output turned grey, the resolution
// changed, each visible in the written file.
#include <filesystem>
#include <functional>

#include "app/MainWindowFixture.h"
#include "settings_ui/SettingsResource.h"
#include "support/ImageFiles.h"

namespace {

class SettingsDialogE2E : public MainWindowTest {
protected:
    testdata::TempDir tmp;
};

// A white page with black text lines and a solid red mark in its middle.
testimg::Picture MarkedPage(int w, int h) {
    testimg::Picture p(w, h, 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t r = 250, g = 250, b = 250;
            if (y > 40 && y < h - 40 && (y / 10) % 4 == 0 && x > 40 && x < w - 40 && x % 14 < 9) r = g = b = 20;
            const int dx = x - w / 2, dy = y - h / 2;
            if (dx * dx + dy * dy < 60 * 60) r = 220, g = 30, b = 40;
            p.at(x, y, 0) = r;
            p.at(x, y, 1) = g;
            p.at(x, y, 2) = b;
        }
    return p;
}

double MeanGrey(const testimg::Picture& p, int x0, int y0, int x1, int y1) {
    double sum = 0;
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x, ++n) sum += p.channels == 1 ? p.at(x, y) : (p.at(x, y, 0) + p.at(x, y, 1) + p.at(x, y, 2)) / 3.0;
    return n ? sum / n : 0;
}

}  // namespace

// Two runs: red removal with a fixed resolution (colour kept), then the
// output turned grey. (Red removal works on the colour page; with grey
// output the pipeline makes the page grey before that step.)
TEST_F(SettingsDialogE2E, DialogChangesShowInTheRunsOutput) {
    const int w = 600, h = 800;
    for (const char* folder : {"first", "second"}) {
        std::filesystem::create_directories(tmp.file(folder));
        ASSERT_TRUE(testimg::WriteJpeg(tmp.file(std::string(folder) + "/page.jpg"), MarkedPage(w, h), 95, 300));
    }
    auto inSettings = [&](DialogDriver& d, const std::function<void(CSettingDlg&, DialogDriver&, DialogDriver&,
                                                                    DialogDriver&)>& body) {
        bool ran = false;
        OnNextModal(IDD_SETTING_DIALOG, [&](CDialog& c) {
            ran = true;
            auto& s = dynamic_cast<CSettingDlg&>(c);
            DialogDriver p1(c), p2(s.Page2()), p3(s.Page3());
            body(s, p1, p2, p3);
            ASSERT_TRUE(p1.Click(IDC_SAVE_SETTINGS_BUTTON));
            p1.Close();
        });
        ASSERT_TRUE(d.ClickLink(IDC_SETTINGS_LINK));
        ASSERT_TRUE(ran);
    };
    Open([&](DialogDriver& d) {
        ChooseFolders(d, tmp.wfile(L"first"));
        inSettings(d, [&](CSettingDlg&, DialogDriver& p1, DialogDriver& p2, DialogDriver& p3) {
            // Keep the page's geometry: no deskew, no background step.
            ASSERT_TRUE(p1.Click(IDC_CORRECT_ON));
            ASSERT_TRUE(p1.Click(IDC_RMBK_ON));
            ASSERT_TRUE(p1.Click(IDC_NEXT_PAGE));
            ASSERT_TRUE(p2.Click(IDC_P2_RMSEAL_ON));
            ASSERT_TRUE(p2.Choose(IDC_P2_RMSEAL_TYPE, 1));  // all red
            ASSERT_TRUE(p1.Click(IDC_NEXT_PAGE));
            ASSERT_TRUE(p3.Click(IDC_P3_DPI_ON));
            ASSERT_TRUE(p3.Choose(IDC_P3_DPI_LIST, 1));  // 200 DPI
        });
        EXPECT_FALSE(d.IsChecked(IDC_DESKEW));
        EXPECT_FALSE(d.IsChecked(IDC_BACKGROUND));
        ASSERT_TRUE(d.Click(IDC_START));
        ASSERT_TRUE(WaitForIdle(d));

        ChooseFolders(d, tmp.wfile(L"second"));
        inSettings(d, [&](CSettingDlg&, DialogDriver& p1, DialogDriver& p2, DialogDriver& p3) {
            ASSERT_TRUE(p1.Click(IDC_PREV_PAGE));
            ASSERT_TRUE(p3.IsChecked(IDC_P3_DPI_ON)) << "the first save is shown again";
            ASSERT_TRUE(p3.Click(IDC_P3_TO_GREY));
            ASSERT_TRUE(p1.Click(IDC_PREV_PAGE));
            ASSERT_TRUE(p2.Click(IDC_P2_RMSEAL_ON));  // off
        });
        ASSERT_TRUE(d.Click(IDC_START));
        ASSERT_TRUE(WaitForIdle(d));
    });

    const testimg::JpegInfo first = testimg::ReadJpeg(tmp.file("first/first/page.jpg"));
    ASSERT_TRUE(first.ok) << "no output of the first run";
    EXPECT_EQ(first.components, 3);
    EXPECT_EQ(first.densityUnit, 1);
    EXPECT_EQ(first.xDensity, 200);
    EXPECT_EQ(first.yDensity, 200);
    ASSERT_EQ(first.width, w);
    ASSERT_EQ(first.height, h);
    // The red mark is gone: its centre is as light as the paper.
    EXPECT_GT(MeanGrey(first.pixels, w / 2 - 30, h / 2 - 30, w / 2 + 30, h / 2 + 30), 230);
    // The text stays: a text line is dark.
    EXPECT_LT(MeanGrey(first.pixels, 60, 80, 200, 90), 128);

    const testimg::JpegInfo second = testimg::ReadJpeg(tmp.file("second/second/page.jpg"));
    ASSERT_TRUE(second.ok) << "no output of the second run";
    EXPECT_EQ(second.components, 1) << "turned into 8-bit grey";
    EXPECT_EQ(second.xDensity, 200);
    // Without red removal the mark stays, now as a mid grey.
    EXPECT_LT(MeanGrey(second.pixels, w / 2 - 30, h / 2 - 30, w / 2 + 30, h / 2 + 30), 128);
}
