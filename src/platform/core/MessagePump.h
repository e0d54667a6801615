// A message loop without any user-interface library: the calling thread
// becomes the user-interface thread and handles queued messages when asked.
// Tests of code below the user interface use it to observe what is posted
// and sent to a window, and to answer workers that send.
#pragma once

#include <chrono>
#include <functional>

#include "platform/core/Messages.h"

class MessagePump final : public IMessageLoop {
public:
    // Installs itself as the loop of this thread.
    MessagePump();
    // Uninstalls itself: messages still queued are dropped, waiting senders
    // released with 0.
    ~MessagePump() override;
    MessagePump(const MessagePump&) = delete;
    MessagePump& operator=(const MessagePump&) = delete;

    // Handles every queued item, including those queued while it runs;
    // returns how many were handled.
    int Pump();
    // Handles queued items as they arrive until `done()` holds or the timeout
    // passes; returns the last value of `done()`.
    bool PumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10));

    void Wake() override {}
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) override {
        return PumpUntil(done, timeout);
    }
};
