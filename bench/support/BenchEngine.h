// The main window as far as a benchmark's batch run needs it: run choices
// and nothing shown, and a registered window that hands the engine its
// messages.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "app/core/BatchEngine.h"
#include "app/core/BatchMessages.h"
#include "platform/core/Messages.h"
#include "platform/core/System.h"

namespace benchengine {

// The worker counts a batch benchmark runs with: one, two and all cores.
inline void WorkerCounts(benchmark::internal::Benchmark* b) {
    b->Arg(1);
    b->Arg(2);
    const int all = GetProcessorCount();
    if (all > 2) b->Arg(all);
}

class HeadlessWindow final : public IBatchWindow {
public:
    RunChoices choices;
    RunChoices ReadRunChoices() const override { return choices; }
    void SetProgressText(const std::wstring&) override {}
    void SetStatusText(const std::wstring&) override {}
    void SetStartButton(const std::wstring&, bool) override {}
    void SetAutoDetectTimer(bool) override {}
};

class EngineWindow final : public IMessageReceiver {
public:
    explicit EngineWindow(CBatchEngine& engine) : engine_(engine), hwnd_(RegisterWindow(this)) {}
    ~EngineWindow() override { UnregisterWindow(hwnd_); }
    HWND hwnd() const { return hwnd_; }
    // When each worker announced its exit and each result was reported
    // written (handled on this thread).
    std::vector<std::chrono::steady_clock::time_point> workerExits;
    std::vector<std::chrono::steady_clock::time_point> filesSaved;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_WORKER_EXITED) workerExits.push_back(std::chrono::steady_clock::now());
        if (message == WM_FILE_SAVED) filesSaved.push_back(std::chrono::steady_clock::now());
        LRESULT result = 0;
        engine_.HandleMessage(message, wParam, lParam, result);
        return result;
    }

private:
    CBatchEngine& engine_;
    HWND hwnd_;
};

}  // namespace benchengine
