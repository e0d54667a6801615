// Shared set-up of the dialog-layer tests: the Qt application (offscreen) with
// the layer plugged in, and a scripted stand-in for every dialog so that no
// test can hang on a real message box.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/core/ScriptedUserDialogs.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/TestDriver.h"
#include "platform/ui/UiApp.h"

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
