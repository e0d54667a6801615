// A batch engine on a message loop without windows: a recording stand-in for
// the main window's controls, scripted message boxes, and the processors of
// support/FakeRunProcessor.h.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/core/BatchEngine.h"
#include "platform/core/Files.h"
#include "platform/core/MessagePump.h"
#include "platform/core/Paths.h"
#include "platform/core/ScriptedUserDialogs.h"
#include "platform/core/Strings.h"
#include "platform/core/System.h"
#include "settings/PathHelpers.h"
#include "settings/ProcessSetting.h"
#include "settings/ScanSetting.h"
#include "support/FakeRunProcessor.h"
#include "support/RunOutput.h"
#include "support/TempDir.h"
#include "support/Waits.h"

namespace enginetest {

using testdata::FakeProcessor;
using testdata::Gate;
using testdata::ProcessorLog;

// The main window's controls as the engine sees them.
class RecordingWindow final : public IBatchWindow {
public:
    RunChoices choices;
    std::vector<std::wstring> progress;
    std::wstring status;
    std::vector<std::wstring> statuses;
    std::wstring buttonText = L" 开始处理";
    bool buttonEnabled = true;
    bool timerOn = false;
    int timerStarts = 0;
    int scanRefreshes = 0;
    int scanStopping = 0;
    int detectionStarts = 0;
    std::vector<int> detectionProgress;
    // Called with each progress text, after it is recorded.
    std::function<void()> onProgressText;

    RunChoices ReadRunChoices() const override { return choices; }
    void SetProgressText(const std::wstring& text) override {
        progress.push_back(text);
        if (onProgressText) onProgressText();
    }
    void SetStatusText(const std::wstring& text) override {
        status = text;
        statuses.push_back(text);
    }
    void SetStartButton(const std::wstring& text, bool enabled) override {
        buttonText = text;
        buttonEnabled = enabled;
    }
    void SetAutoDetectTimer(bool on) override {
        if (on) ++timerStarts;
        timerOn = on;
    }
    void RefreshScanWindow() override { ++scanRefreshes; }
    void ScanProcessingStopping() override { ++scanStopping; }
    void DetectionStarted() override { ++detectionStarts; }
    void DetectionProgress(int done) override { detectionProgress.push_back(done); }

    std::wstring LastProgress() const { return progress.empty() ? std::wstring() : progress.back(); }
    int CountProgressStartingWith(const std::wstring& prefix) const {
        return static_cast<int>(std::count_if(progress.begin(), progress.end(),
                                              [&](const std::wstring& t) { return t.rfind(prefix, 0) == 0; }));
    }
};

inline const std::wstring kFinishedPrefix = L"**********处理完成";

// The engine registered as the application's main window on a pump.
class EngineFixture : public ::testing::Test {
protected:
    EngineFixture() : receiver_(*this) {
        log.uiThread = std::this_thread::get_id();
        ProcessSetting::ResetToStart();
        ScanSetting::ResetToStart();
        ScanStepFlags::ResetToStart();
        SetProcessorCountOverride(4);
        hwnd_ = RegisterWindow(&receiver_);
        SetMainWindowHandle(hwnd_);
        engine = std::make_unique<CBatchEngine>(window);
        engine->SetWindowHandle(hwnd_);
        engine->SetProcessorFactory([this] { return std::make_unique<FakeProcessor>(log, gate); });
        window.choices.sourceText = src();
        window.choices.requestedThreads = 4;
    }
    ~EngineFixture() override {
        gate.Open();
        {
            // Closed while it still handles its window's messages: a file a
            // failed test left in progress is finished, not waited for in
            // vain. A worker that can never end (a broken memory budget) ends
            // the test program instead of holding it.
            testwait::Watchdog watchdog("closing the batch engine", std::chrono::minutes(2));
            if (engine) engine->Shutdown();
            engine.reset();
        }
        SetMainWindowHandle(HWND());
        UnregisterWindow(hwnd_);
        SetProcessorCountOverride(0);
        ProcessSetting::ResetToStart();
        ScanStepFlags::ResetToStart();
        ScanSetting::ResetToStart();
    }

    std::wstring src() const { return tmp.wfile(L"src"); }
    std::wstring dst() const { return tmp.wfile(L"dst"); }
    std::wstring Src(const std::wstring& rel) const { return PathJoin(src(), rel); }

    // Writes a file (and its folders) below the temp folder.
    void Write(const std::wstring& path, const std::string& content) {
        ASSERT_EQ(CreateFolderPath(PathFolder(path)), 1);
        ASSERT_TRUE(files::WriteAllAtomic(path, content.data(), content.size()));
    }
    static std::string Read(const std::wstring& path) { return testdata::ReadFileText(path); }

    bool PumpUntil(const std::function<bool()>& done, int ms = 10000) {
        return pump.PumpUntil(done, std::chrono::milliseconds(ms));
    }
    // Pumps until the run is idle and every worker has ended.
    bool RunToIdle(int ms = 10000) {
        return PumpUntil([&] {
            return engine->RunState() == RUN_STATE_IDLE && !engine->Stopping() && engine->Pool().LiveThreads() == 0;
        }, ms);
    }
    static std::vector<std::wstring> FailedLists(const std::wstring& folder) { return testdata::FailedLists(folder); }

    testdata::TempDir tmp;
    MessagePump pump;
    ScriptedUserDialogs dialogs;
    RecordingWindow window;
    ProcessorLog log;
    Gate gate;
    std::unique_ptr<CBatchEngine> engine;

private:
    struct Receiver final : IMessageReceiver {
        explicit Receiver(EngineFixture& f) : f_(f) {}
        LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
            LRESULT result = 0;
            if (f_.engine) f_.engine->HandleMessage(message, wParam, lParam, result);
            return result;
        }
        EngineFixture& f_;
    };
    Receiver receiver_;
    HWND hwnd_;
};

}  // namespace enginetest
