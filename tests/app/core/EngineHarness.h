// A batch engine on a message loop without windows: a recording stand-in for
// the main window's controls, scripted message boxes, and processors whose
// behaviour words in each input file's content choose (any other content:
// decoded and saved, the output holding the input's bytes):
//   "gate"    processing waits until the test opens the gate (first)
//   "bad"     cannot be decoded
//   "blank"   decoded, found blank
//   "nosave"  decoded, the save fails
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
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
#include "support/TempDir.h"

namespace enginetest {

// Holds "gate" files until opened; counts the files waiting at it.
class Gate {
public:
    void Wait() {
        std::unique_lock lock(m_);
        ++waiting_;
        cv_.notify_all();
        cv_.wait(lock, [&] { return open_; });
        --waiting_;
    }
    void Open() {
        std::lock_guard lock(m_);
        open_ = true;
        cv_.notify_all();
    }
    int Waiting() const {
        std::lock_guard lock(m_);
        return waiting_;
    }

private:
    mutable std::mutex m_;
    std::condition_variable cv_;
    bool open_ = false;
    int waiting_ = 0;
};

// Records what the engine does with each processor.
struct ProcessorLog {
    std::mutex m;
    std::vector<std::thread::id> processThreads;  // distinct threads that processed files
    std::vector<std::wstring> processed;          // input paths in the order ProcessFile began
    std::vector<int> indices;                     // item index passed to ProcessFile
    std::atomic<int> readsOnUiThread{0};
    std::atomic<int> readsElsewhere{0};
    std::atomic<int> alive{0};
    std::thread::id uiThread;
};

class FakeProcessor final : public IRunProcessor {
public:
    FakeProcessor(ProcessorLog& log, Gate& gate) : log_(log), gate_(gate) { ++log_.alive; }
    ~FakeProcessor() override { --log_.alive; }

    WPARAM Key() const override { return reinterpret_cast<WPARAM>(this); }
    void SetRun(std::int32_t runType, float, float) override { runType_ = runType; }
    void SetInputPath(const std::wstring& path) override { input_ = path; }
    std::wstring InputPath() const override { return input_; }
    bool ReadFileBytes(const std::wstring& path) override {
        (std::this_thread::get_id() == log_.uiThread ? log_.readsOnUiThread : log_.readsElsewhere)++;
        std::vector<std::uint8_t> bytes;
        if (!files::ReadAll(path, bytes)) return false;
        content_.assign(bytes.begin(), bytes.end());
        return true;
    }
    bool ProcessFile(const std::wstring& path, std::int32_t, const std::wstring& folder, const std::wstring& name,
                     std::int32_t index) override {
        {
            std::lock_guard lock(log_.m);
            log_.processed.push_back(path);
            log_.indices.push_back(index);
            const auto id = std::this_thread::get_id();
            if (std::find(log_.processThreads.begin(), log_.processThreads.end(), id) == log_.processThreads.end())
                log_.processThreads.push_back(id);
        }
        folder_ = folder;
        name_ = name;
        if (Is("gate")) gate_.Wait();
        if (Is("bad")) return false;
        PostMessage(GetMainWindowHandle(), WM_IMAGE_PROCESSED, Key(), index);
        return true;
    }
    bool IsBlankResult() const override { return Is("blank"); }
    bool SaveResult() override {
        if (Is("nosave")) return false;
        if (!CreateFolderPath(folder_)) return false;
        return files::WriteAllAtomic(PathJoin(folder_, name_), content_.data(), content_.size());
    }
    std::wstring OutputFolder() const override { return folder_; }
    std::wstring OutputName() const override { return name_; }

private:
    bool Is(const char* word) const { return content_.find(word) != std::string::npos; }

    ProcessorLog& log_;
    Gate& gate_;
    std::int32_t runType_ = 0;
    std::wstring input_, folder_, name_;
    std::string content_;
};

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

    RunChoices ReadRunChoices() const override { return choices; }
    void SetProgressText(const std::wstring& text) override { progress.push_back(text); }
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
        engine.reset();
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
    std::string Read(const std::wstring& path) {
        std::vector<std::uint8_t> bytes;
        if (!files::ReadAll(path, bytes)) return "<missing>";
        return std::string(bytes.begin(), bytes.end());
    }

    bool PumpUntil(const std::function<bool()>& done, int ms = 10000) {
        return pump.PumpUntil(done, std::chrono::milliseconds(ms));
    }
    // Pumps until the run is idle and every worker has ended.
    bool RunToIdle(int ms = 10000) {
        return PumpUntil([&] {
            return engine->RunState() == RUN_STATE_IDLE && !engine->Stopping() && engine->Pool().LiveThreads() == 0;
        }, ms);
    }
    // Files named image_failed_*.txt in a folder.
    std::vector<std::wstring> FailedLists(const std::wstring& folder) {
        std::vector<files::DirEntry> entries;
        files::ListDirectory(folder, entries);
        std::vector<std::wstring> out;
        for (const auto& e : entries)
            if (e.name.rfind(L"image_failed_", 0) == 0) out.push_back(PathJoin(folder, e.name));
        return out;
    }

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
