// Processors for tests of the batch engine and the main window, whose
// behaviour words in each input file's content choose (any other content:
// decoded and saved, the output holding the input's bytes):
//   "gate"    processing waits until the test opens the gate (first)
//   "bad"     cannot be decoded
//   "blank"   decoded, found blank
//   "nosave"  decoded, the save fails
//   "oom"     processing runs out of memory (std::bad_alloc)
//   "saveoom" decoded; writing the result runs out of memory
//   "mem=N"   its estimated peak memory is N MB (otherwise nothing is known)
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "app/core/BatchMessages.h"
#include "app/core/MemoryBudget.h"
#include "app/core/RunProcessor.h"
#include "platform/core/Files.h"
#include "platform/core/Paths.h"
#include "settings/PathHelpers.h"

namespace testdata {

// Holds "gate" files until opened; counts the files waiting at it. A gate
// that a test never opens lets its files go after a minute, as a failure.
class Gate {
public:
    void Wait() {
        std::unique_lock lock(m_);
        ++waiting_;
        cv_.notify_all();
        if (!cv_.wait_for(lock, std::chrono::minutes(1), [&] { return open_; }))
            ADD_FAILURE() << "a gate was not opened within a minute";
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
    std::atomic<int> savesOnUiThread{0};
    std::atomic<int> savesElsewhere{0};
    std::atomic<int> alive{0};
    std::thread::id uiThread;
    // When a file's estimate is asked for (on its worker, before the file is
    // admitted): processors alive and the budget in use at that moment.
    const CMemoryBudget* budget = nullptr;
    std::vector<int> aliveAtEstimate;
    std::vector<std::uint64_t> budgetInUseAtEstimate;
    std::atomic<int> estimates{0};
};

class FakeProcessor final : public IRunProcessor {
public:
    FakeProcessor(ProcessorLog& log, Gate& gate) : log_(log), gate_(gate) { ++log_.alive; }
    ~FakeProcessor() override { --log_.alive; }

    WPARAM Key() const override { return reinterpret_cast<WPARAM>(this); }
    void SetRun(std::int32_t runType, float, float) override { runType_ = runType; }
    void SetInputPath(const std::wstring& path) override { input_ = path; }
    void SetOutputGuard(std::shared_ptr<const IOutputGuard> guard) override { guard_ = std::move(guard); }
    std::wstring InputPath() const override { return input_; }
    std::uint64_t EstimatePeakBytes(const std::wstring& path) override {
        {
            std::lock_guard lock(log_.m);
            log_.aliveAtEstimate.push_back(log_.alive.load());
            log_.budgetInUseAtEstimate.push_back(log_.budget ? log_.budget->InUse() : 0);
        }
        ++log_.estimates;
        std::vector<std::uint8_t> bytes;
        if (!files::ReadAll(path, bytes)) return 0;
        const std::string text(bytes.begin(), bytes.end());
        const auto at = text.find("mem=");
        return at == std::string::npos ? 0 : std::stoull(text.substr(at + 4)) << 20;
    }
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
        if (Is("oom")) throw std::bad_alloc();
        PostMessage(GetMainWindowHandle(), WM_IMAGE_PROCESSED, Key(), index);
        return true;
    }
    bool IsBlankResult() const override { return Is("blank"); }
    bool SaveResult() override {
        (std::this_thread::get_id() == log_.uiThread ? log_.savesOnUiThread : log_.savesElsewhere)++;
        if (Is("nosave")) return false;
        if (Is("saveoom")) throw std::bad_alloc();
        // As the image processor: folders through the run's guard, and no
        // file the guard protects replaced.
        if (guard_ ? !guard_->MakeOutputFolder(folder_) : !CreateFolderPath(folder_)) return false;
        const std::wstring out = PathJoin(folder_, name_);
        if (guard_ && !guard_->MayReplace(out)) return false;
        return files::WriteAllAtomic(out, content_.data(), content_.size());
    }
    std::wstring OutputFolder() const override { return folder_; }
    std::wstring OutputName() const override { return name_; }

private:
    bool Is(const char* word) const { return content_.find(word) != std::string::npos; }

    ProcessorLog& log_;
    Gate& gate_;
    std::int32_t runType_ = 0;
    std::wstring input_, folder_, name_;
    std::shared_ptr<const IOutputGuard> guard_;
    std::string content_;
};

}  // namespace testdata
