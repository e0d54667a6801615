// The batch settings dialog in tests: the Qt application offscreen, scripted
// dialogs, the settings at their start values before and after each test.
// Open() runs a body inside the dialog's modal loop with a driver for each
// of its three pages.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "platform/core/ScriptedUserDialogs.h"
#include "platform/ui/TestDriver.h"
#include "platform/ui/UiApp.h"
#include "settings/ProcessSetting.h"
#include "settings_ui/SettingDlg.h"
#include "settings_ui/SettingsResource.h"

struct SettingDrivers {
    CSettingDlg& dlg;
    DialogDriver page1;
    DialogDriver page2;
    DialogDriver page3;
    // The driver of page 0, 1 or 2.
    DialogDriver& Page(int page) { return page == 0 ? page1 : page == 1 ? page2 : page3; }
    // Moves to `page` with the next-page button.
    void GoTo(int page) {
        for (int i = 0; i < 3 && dlg.CurrentPage() != page; ++i) page1.Click(IDC_NEXT_PAGE);
    }
};

class SettingDlgTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureUiApplication(); }
    void SetUp() override {
        ClearModalHooks();
        ProcessSetting::ResetToStart();
        dialogs = std::make_unique<ScriptedUserDialogs>();
        dlg = std::make_unique<CSettingDlg>();
    }
    void TearDown() override {
        EXPECT_EQ(PendingModalHooks(), 0u) << "a dialog the test waited for never opened";
        ClearModalHooks();
        dlg.reset();
        dialogs.reset();
        ProcessSetting::ResetToStart();
    }

    // Opens the dialog (variant, page) and runs `body` in it; closes it
    // (as Esc does) afterwards unless the body closed it.
    void Open(const std::function<void(SettingDrivers&)>& body, int variant = 0, int page = 0) {
        bool ran = false;
        dlg->SetScanVariant(variant);
        dlg->SetCurrentPage(page);
        OnNextModal(IDD_SETTING_DIALOG, [&](CDialog& d) {
            ran = true;
            SettingDrivers drivers{*dlg, DialogDriver(d), DialogDriver(dlg->Page2()), DialogDriver(dlg->Page3())};
            body(drivers);
            if (d.IsModalRunning()) drivers.page1.Close();
        });
        dlg->DoModal();
        ASSERT_TRUE(ran) << "the settings dialog did not open";
    }

    std::unique_ptr<ScriptedUserDialogs> dialogs;
    std::unique_ptr<CSettingDlg> dlg;
};
