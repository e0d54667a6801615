#include "platform/core/MessagePump.h"

#include <algorithm>

MessagePump::MessagePump() { InstallMessageLoop(this); }

MessagePump::~MessagePump() { InstallMessageLoop(nullptr); }

int MessagePump::Pump() {
    int handled = 0;
    while (DeliverQueuedMessage()) ++handled;
    return handled;
}

bool MessagePump::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        Pump();
        if (done()) return true;
        const auto now = Clock::now();
        if (now >= deadline) return false;
        // `done` may depend on more than messages (a worker's state), so it is
        // looked at again after a short wait even when nothing arrives.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        WaitForQueuedMessage(std::min(left, std::chrono::milliseconds(2)));
    }
}
