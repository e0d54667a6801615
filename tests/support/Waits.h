// Waiting in tests. Every wait has a deadline, and a wait that reaches it
// fails with a message instead of holding the test until the test runner
// kills it.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace testwait {

inline constexpr std::chrono::milliseconds kLimit{10000};

// Looks at `done` every millisecond (handling no messages) until it holds;
// false when it still does not hold after `timeout`.
template <typename F>
bool Until(F&& done, std::chrono::milliseconds timeout = kLimit) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A thread of a test whose end is awaited with a deadline. `unblock`, when
// given, makes a body that waits too long give up (a cancel, an opened
// gate), so that the thread can still be joined.
class Thread {
public:
    template <typename F>
    explicit Thread(std::string what, F body, std::function<void()> unblock = {})
        : what_(std::move(what)), unblock_(std::move(unblock)) {
        thread_ = std::thread([this, body = std::move(body)]() mutable {
            body();
            std::lock_guard lock(m_);
            ended_ = true;
            cv_.notify_all();
        });
    }
    ~Thread() { Join(); }
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // True when the body has ended within `timeout`; the thread is then
    // joined.
    bool EndsWithin(std::chrono::milliseconds timeout = kLimit) {
        {
            std::unique_lock lock(m_);
            if (!cv_.wait_for(lock, timeout, [&] { return ended_; })) return false;
        }
        if (thread_.joinable()) thread_.join();
        return true;
    }

    // Joins the thread. A body still running after `timeout` is a failure:
    // it is unblocked and given as long again. One that runs even then holds
    // the test's objects and can be neither joined nor left behind, so the
    // test program ends with a message naming it.
    void Join(std::chrono::milliseconds timeout = kLimit) {
        if (!thread_.joinable()) return;
        if (EndsWithin(timeout)) return;
        ADD_FAILURE() << what_ << " did not end within " << timeout.count() << " ms";
        if (unblock_) unblock_();
        if (EndsWithin(timeout)) return;
        std::fprintf(stderr, "FAILED: %s did not end within %lld ms, even when unblocked; the test program ends\n",
                     what_.c_str(), static_cast<long long>(2 * timeout.count()));
        std::fflush(stderr);
        std::_Exit(1);
    }

private:
    std::string what_;
    std::function<void()> unblock_;
    std::mutex m_;
    std::condition_variable cv_;
    bool ended_ = false;
    std::thread thread_;
};

// A limit on work a test cannot bound itself (code under test that waits
// for something that never comes, as closing the batch engine waits for its
// workers): when the object still lives after `timeout`, the test program
// ends with a message naming `what`.
class Watchdog {
public:
    Watchdog(std::string what, std::chrono::milliseconds timeout) : what_(std::move(what)) {
        thread_ = std::thread([this, timeout] {
            std::unique_lock lock(m_);
            if (cv_.wait_for(lock, timeout, [&] { return done_; })) return;
            std::fprintf(stderr, "FAILED: %s did not end within %lld ms; the test program ends\n", what_.c_str(),
                         static_cast<long long>(timeout.count()));
            std::fflush(stderr);
            std::_Exit(1);
        });
    }
    ~Watchdog() {
        {
            std::lock_guard lock(m_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::string what_;
    std::mutex m_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;
};

}  // namespace testwait
