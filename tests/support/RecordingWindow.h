// A window for tests below the user interface: registered under a handle on
// construction, it records every message it handles (with the handling
// thread) and answers through an optional function.
#pragma once

#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/core/Messages.h"

namespace testdata {

class RecordingWindow : public IMessageReceiver {
public:
    struct Received {
        UINT message = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
        std::thread::id thread;
    };

    RecordingWindow() : hwnd_(RegisterWindow(this)) {}
    ~RecordingWindow() override { Destroy(); }
    RecordingWindow(const RecordingWindow&) = delete;
    RecordingWindow& operator=(const RecordingWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    void Destroy() { UnregisterWindow(hwnd_); }

    // Set before messages arrive; called on the handling thread.
    std::function<LRESULT(UINT, WPARAM, LPARAM)> onMessage;

    std::vector<Received> received() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }
    std::size_t count() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_.size();
    }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            received_.push_back(Received{message, wParam, lParam, std::this_thread::get_id()});
        }
        return onMessage ? onMessage(message, wParam, lParam) : 0;
    }

private:
    HWND hwnd_;
    mutable std::mutex mutex_;
    std::vector<Received> received_;
};

}  // namespace testdata
