// Shared set-up of the dialog-layer tests: the Qt application (offscreen) with
// the layer plugged in, and a scripted stand-in for every dialog so that no
// test can hang on a real message box.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "platform/core/ScriptedUserDialogs.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/TestDriver.h"
#include "platform/ui/UiApp.h"

// Opens `dialog` modally, runs `body` inside its modal loop, then closes it.
inline INT_PTR RunInside(CDialog& dialog, const std::function<void(CDialog&, DialogDriver&)>& body) {
    OnNextModal(dialog.GetTemplateId(), [&](CDialog& d) {
        DialogDriver driver(d);
        body(d, driver);
        if (d.IsModalRunning()) d.EndDialog(IDCANCEL);
    });
    return dialog.DoModal();
}

class UiTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureUiApplication(); }
    void SetUp() override {
        ClearModalHooks();
        dialogs = std::make_unique<ScriptedUserDialogs>();
    }
    void TearDown() override {
        EXPECT_EQ(PendingModalHooks(), 0u) << "a dialog the test waited for never opened";
        ClearModalHooks();
        dialogs.reset();
    }
    std::unique_ptr<ScriptedUserDialogs> dialogs;
};
