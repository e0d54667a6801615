// Tool dialogs in tests: the main window (offscreen, scripted dialogs) is
// opened and a tool is opened from its menu the way a user does; the test's
// body runs inside the tool's modal loop and drives it by control id.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/Resource.h"
#include "app/TessavanDlg.h"
#include "platform/core/ScriptedUserDialogs.h"
#include "platform/core/System.h"
#include "platform/ui/TestDriver.h"
#include "platform/ui/UiApp.h"
#include "settings/DetectSetting.h"
#include "settings/ProcessSetting.h"
#include "support/TempDir.h"
#include "tools/ToolsResource.h"

class ToolWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureUiApplication(); }
    void SetUp() override {
        ClearModalHooks();
        ProcessSetting::ResetToStart();
        DetectSetting::ResetToStart();
        SetProcessorCountOverride(4);
        dialogs = std::make_unique<ScriptedUserDialogs>();
        main = std::make_unique<CTessavanDlg>();
        SetMainWnd(main.get());
    }
    void TearDown() override {
        EXPECT_EQ(PendingModalHooks(), 0u) << "a dialog the test waited for never opened";
        ClearModalHooks();
        SetMainWnd(nullptr);
        main.reset();
        dialogs.reset();
        SetProcessorCountOverride(0);
        ProcessSetting::ResetToStart();
        DetectSetting::ResetToStart();
    }

    // Opens the main window; `body` runs inside it.
    void OpenMain(const std::function<void(DialogDriver&)>& body) {
        bool ran = false;
        OnNextModal(IDD_TESSAVAN_DIALOG, [&](CDialog& d) {
            DialogDriver driver(d);
            ran = true;
            body(driver);
            if (d.IsModalRunning()) driver.Close();
        });
        main->DoModal();
        ASSERT_TRUE(ran) << "the main window did not open";
    }

    // From inside the main window: opens the tool of menu item `menu`
    // (template `dialogId`) and runs `body` inside it. Unless the body closed
    // it, the tool is closed as by Esc afterwards.
    void OpenTool(DialogDriver& mainDriver, UINT menu, UINT dialogId,
                  const std::function<void(CDialog&, DialogDriver&)>& body) {
        bool ran = false;
        OnNextModal(dialogId, [&](CDialog& d) {
            DialogDriver driver(d);
            ran = true;
            body(d, driver);
            if (d.IsModalRunning()) driver.Close();
            if (d.IsModalRunning()) {
                // It refuses to close while a run of its own is busy (a test
                // that failed, or did not wait): the run gets a minute, then
                // the tool is ended anyway, so the test never hangs on it.
                ADD_FAILURE() << "the tool refused to close";
                PumpUntil([&] { return main->Engine().Pool().AllDone(); }, std::chrono::minutes(1));
                d.EndDialog(IDCANCEL);
            }
        });
        ASSERT_TRUE(mainDriver.ChooseMenu(menu));
        ASSERT_TRUE(ran) << "the tool did not open";
    }

    std::unique_ptr<ScriptedUserDialogs> dialogs;
    std::unique_ptr<CTessavanDlg> main;
    testdata::TempDir dir;
};
