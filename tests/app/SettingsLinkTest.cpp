// The batch settings dialog from the main window: the link opens it in its
// batch form on page 1, and the main window's quick steps and the dialog's
// two mirrored checks agree both ways.
#include "MainWindowFixture.h"
#include "settings_ui/SettingsResource.h"

namespace {

class SettingsLinkTest : public MainWindowTest {
protected:
    // Clicks the settings link and runs `body` inside the dialog.
    void InSettings(DialogDriver& main, const std::function<void(CSettingDlg&, DialogDriver&)>& body) {
        bool ran = false;
        OnNextModal(IDD_SETTING_DIALOG, [&](CDialog& c) {
            ran = true;
            DialogDriver sd(c);
            body(dynamic_cast<CSettingDlg&>(c), sd);
            if (c.IsModalRunning()) sd.Close();
        });
        ASSERT_TRUE(main.ClickLink(IDC_SETTINGS_LINK));
        ASSERT_TRUE(ran) << "the settings dialog did not open";
    }
};

}  // namespace

TEST_F(SettingsLinkTest, OpensTheBatchFormOnPageOneEvenAfterTheScanForm) {
    dlg->settingDlg.SetScanVariant(1);
    dlg->settingDlg.SetCurrentPage(2);
    Open([&](DialogDriver& d) {
        InSettings(d, [&](CSettingDlg& s, DialogDriver& sd) {
            EXPECT_EQ(s.GetWindowText(), L"批量操作设置");
            EXPECT_EQ(s.CurrentPage(), 0);
            EXPECT_EQ(sd.Text(IDC_PAGE_LABEL), L"1/3");
            EXPECT_TRUE(sd.IsVisible(IDC_CENTER_ON));
        });
    });
}

TEST_F(SettingsLinkTest, QuickStepsAndTheDialogAgreeBothWays) {
    Open([&](DialogDriver& d) {
        // Main window -> dialog.
        ASSERT_TRUE(d.Click(IDC_DESKEW));  // off
        InSettings(d, [&](CSettingDlg&, DialogDriver& sd) {
            EXPECT_FALSE(sd.IsChecked(IDC_CORRECT_ON));
            EXPECT_TRUE(sd.IsChecked(IDC_RMBK_ON));
            // Dialog -> main window, at the save.
            ASSERT_TRUE(sd.Click(IDC_CORRECT_ON));
            ASSERT_TRUE(sd.Click(IDC_RMBK_ON));
            EXPECT_FALSE(d.IsChecked(IDC_DESKEW)) << "nothing changes before the save";
            ASSERT_TRUE(sd.Click(IDC_SAVE_SETTINGS_BUTTON));
            EXPECT_TRUE(d.IsChecked(IDC_DESKEW));
            EXPECT_FALSE(d.IsChecked(IDC_BACKGROUND));
        });
        EXPECT_EQ(ProcessSetting::correct.on, 1);
        EXPECT_EQ(ProcessSetting::rmbkcolor.on, 0);
        // A refused save has stored the two checks already: the main window
        // shows them.
        InSettings(d, [&](CSettingDlg&, DialogDriver& sd) {
            ASSERT_TRUE(sd.Click(IDC_RMBK_ON));
            ASSERT_TRUE(sd.Click(IDC_COLOUR_STRATEGY));
            ASSERT_TRUE(sd.Type(IDC_COLOUR_DELTA, L"0"));
            ASSERT_TRUE(sd.Click(IDC_SAVE_SETTINGS_BUTTON));
            EXPECT_TRUE(d.IsChecked(IDC_BACKGROUND));
        });
        EXPECT_EQ(dialogs->MessageTexts().back(), L"色差范围为0到100.");
    });
}

// The scan window's "设置" buttons open its own settings dialog in the scan
// form on the page they ask for; the main window's dialog keeps its form.
TEST_F(SettingsLinkTest, TheScanWindowOpensItsOwnDialogInTheScanForm) {
    ASSERT_TRUE(dlg->scanDlg.host.openScanSettings);
    for (int page : {0, 1}) {
        bool ran = false;
        OnNextModal(IDD_SETTING_DIALOG, [&](CDialog& c) {
            ran = true;
            auto& s = dynamic_cast<CSettingDlg&>(c);
            EXPECT_EQ(&s, &dlg->scanSettingDlg);
            DialogDriver sd(c);
            EXPECT_EQ(s.GetWindowText(), L"扫描处理设置");
            EXPECT_EQ(s.CurrentPage(), page);
            EXPECT_EQ(sd.Text(IDC_PAGE_LABEL), page == 0 ? L"1/3" : L"2/3");
            EXPECT_FALSE(DialogDriver(s.Page2()).IsVisible(IDC_P2_RMSEAL_ON));
            sd.Close();
        });
        dlg->scanSettingDlg.SetScanVariant(0);
        dlg->scanDlg.host.openScanSettings(page);
        EXPECT_TRUE(ran);
    }
    EXPECT_EQ(dlg->settingDlg.ScanVariant(), 0);
}
