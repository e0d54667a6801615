// The main window in tests: the Qt application offscreen, scripted dialogs,
// settings at their start values, and a main window object that is the
// application's main window. A test opens the window with Open(): its body
// runs inside the window's modal loop and drives it by control id.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Resource.h"
#include "app/TessavanDlg.h"
#include "platform/core/Files.h"
#include "platform/core/Numbers.h"
#include "platform/core/Paths.h"
#include "platform/core/ScriptedUserDialogs.h"
#include "platform/core/Strings.h"
#include "platform/core/System.h"
#include "platform/ui/TestDriver.h"
#include "platform/ui/UiApp.h"
#include "settings/ProcessSetting.h"
#include "settings/ScanSetting.h"
#include "support/RunOutput.h"
#include "support/TempDir.h"

class MainWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureUiApplication(); }
    void SetUp() override {
        ClearModalHooks();
        ProcessSetting::ResetToStart();
        ScanSetting::ResetToStart();
        ScanStepFlags::ResetToStart();
        SetProcessorCountOverride(8);
        dialogs = std::make_unique<ScriptedUserDialogs>();
        dlg = std::make_unique<CTessavanDlg>();
        SetMainWnd(dlg.get());
    }
    void TearDown() override {
        EXPECT_EQ(PendingModalHooks(), 0u) << "a dialog the test waited for never opened";
        ClearModalHooks();
        SetMainWnd(nullptr);
        dlg.reset();
        dialogs.reset();
        SetProcessorCountOverride(0);
        ProcessSetting::ResetToStart();
        ScanStepFlags::ResetToStart();
        ScanSetting::ResetToStart();
    }

    // Opens the main window and runs `body` inside it; the window is closed
    // (as by Esc) afterwards unless the body closed it.
    void Open(const std::function<void(DialogDriver&)>& body) {
        bool ran = false;
        OnNextModal(IDD_TESSAVAN_DIALOG, [&](CDialog& d) {
            DialogDriver driver(d);
            ran = true;
            body(driver);
            if (d.IsModalRunning()) driver.Close();
        });
        dlg->DoModal();
        ASSERT_TRUE(ran) << "the main window did not open";
    }

    // Chooses the source (and, when given, the destination) folder the way a
    // user does: through the folder browser.
    void ChooseFolders(DialogDriver& d, const std::wstring& source, const std::wstring& destination = L"") {
        dialogs->AnswerFolder(source);
        ASSERT_TRUE(d.Click(IDC_BROWSE_SOURCE));
        if (!destination.empty()) {
            ASSERT_TRUE(d.Click(IDC_SAVE_TO_NEW_FOLDER));
            dialogs->AnswerFolder(destination);
            ASSERT_TRUE(d.Click(IDC_BROWSE_DESTINATION));
        }
    }

    // Waits until the run is over: the start button is back and every
    // worker has ended.
    bool WaitForIdle(DialogDriver& d, int ms = 60000) {
        return PumpUntil(
            [&] {
                return d.Text(IDC_START) == L"开始处理" && d.IsEnabled(IDC_START) &&
                       dlg->Engine().Pool().LiveThreads() == 0;
            },
            std::chrono::milliseconds(ms));
    }

    static std::vector<std::wstring> FailedLists(const std::wstring& folder) { return testdata::FailedLists(folder); }
    static std::string Read(const std::wstring& path) { return testdata::ReadFileText(path); }

    std::unique_ptr<ScriptedUserDialogs> dialogs;
    std::unique_ptr<CTessavanDlg> dlg;
};
