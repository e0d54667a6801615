#include "platform/core/Messages.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace {

// A caller waiting for its item to be handled.
struct Completion {
    LRESULT result = 0;
    bool done = false;
    std::exception_ptr error;
};

struct QueuedItem {
    HWND hwnd;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    const std::function<void()>* call = nullptr;  // a queued call instead of a message
    Completion* completion = nullptr;             // null for posts
};

struct Entry {
    IMessageReceiver* receiver = nullptr;
    std::thread::id owner;
    int busy = 0;       // handlings in progress
    bool dead = false;  // unregistered; erased when no handling is in progress
};

// Everything below is guarded by g_mutex.
std::mutex g_mutex;
std::condition_variable g_completed;   // a completion was set, or a handling ended
std::condition_variable g_queued;      // an item was queued
std::unordered_map<std::uint32_t, Entry> g_windows;
std::deque<QueuedItem> g_queue;
std::uint32_t g_nextHandle = 0x100;
IMessageLoop* g_loop = nullptr;
std::thread::id g_uiThread;
std::atomic<std::uint32_t> g_mainWindow{0};

// Handlings in progress on this thread, by handle: a window destroyed from
// inside its own handling (or a nested loop within it) must not wait for it.
thread_local std::unordered_map<std::uint32_t, int> t_handling;

Entry* LiveEntry(HWND hwnd) {
    auto it = g_windows.find(hwnd.value);
    if (it == g_windows.end() || it->second.dead) return nullptr;
    return &it->second;
}

void Complete(Completion* c, LRESULT result) {
    c->result = result;
    c->done = true;
    g_completed.notify_all();
}

// Ends one handling of `hwnd` (lock held); erases an entry that was
// unregistered meanwhile once its last handling has returned.
void EndHandling(HWND hwnd) {
    auto it = g_windows.find(hwnd.value);
    if (it == g_windows.end()) return;
    if (--it->second.busy == 0 && it->second.dead) g_windows.erase(it);
    g_completed.notify_all();
}

// Calls the window's procedure with the lock released. `lock` is held on
// entry and on return.
LRESULT Handle(std::unique_lock<std::mutex>& lock, HWND hwnd, Entry& entry, UINT message, WPARAM wParam,
               LPARAM lParam) {
    ++entry.busy;
    IMessageReceiver* receiver = entry.receiver;
    ++t_handling[hwnd.value];
    lock.unlock();
    struct Relock {
        std::unique_lock<std::mutex>& lock;
        HWND hwnd;
        ~Relock() {
            if (--t_handling[hwnd.value] == 0) t_handling.erase(hwnd.value);
            lock.lock();
            EndHandling(hwnd);
        }
    } relock{lock, hwnd};
    return receiver->WindowProc(message, wParam, lParam);
}

// Queues an item and wakes the loop (lock held).
void Enqueue(const QueuedItem& item) {
    g_queue.push_back(item);
    g_queued.notify_all();
    if (g_loop) g_loop->Wake();
}

// Blocks until `c` is complete (lock held).
void WaitFor(std::unique_lock<std::mutex>& lock, Completion& c) {
    g_completed.wait(lock, [&] { return c.done; });
}

// Drops the queued items for `hwnd` (all items when hwnd is null), releasing
// their senders with 0 (lock held).
void CancelQueued(HWND hwnd, bool calls) {
    for (auto it = g_queue.begin(); it != g_queue.end();) {
        const bool match = it->call ? calls : (!hwnd || it->hwnd == hwnd);
        if (!match) {
            ++it;
            continue;
        }
        if (it->completion) Complete(it->completion, 0);
        it = g_queue.erase(it);
    }
}

}  // namespace

HWND RegisterWindow(IMessageReceiver* receiver) {
    std::lock_guard<std::mutex> lock(g_mutex);
    do {
        ++g_nextHandle;
    } while (g_nextHandle == 0 || g_windows.count(g_nextHandle) != 0);
    g_windows[g_nextHandle] = Entry{receiver, std::this_thread::get_id(), 0, false};
    return HWND(g_nextHandle);
}

void UnregisterWindow(HWND hwnd) {
    std::unique_lock<std::mutex> lock(g_mutex);
    auto it = g_windows.find(hwnd.value);
    if (it == g_windows.end() || it->second.dead) return;
    it->second.dead = true;
    CancelQueued(hwnd, false);
    if (g_mainWindow.load() == hwnd.value) g_mainWindow.store(0);
    if (it->second.busy == 0) {
        g_windows.erase(it);
        return;
    }
    // A handling in progress on this thread belongs to a frame further up
    // this very stack; the last one to return erases the entry. Handlings on
    // other threads are waited for, so the receiver may be destroyed once
    // this returns.
    if (t_handling.count(hwnd.value) != 0) return;
    g_completed.wait(lock, [&] { return g_windows.count(hwnd.value) == 0; });
}

bool IsWindow(HWND hwnd) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return LiveEntry(hwnd) != nullptr;
}

bool PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!LiveEntry(hwnd)) return false;
    Enqueue(QueuedItem{hwnd, message, wParam, lParam, nullptr, nullptr});
    return true;
}

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    std::unique_lock<std::mutex> lock(g_mutex);
    Entry* entry = LiveEntry(hwnd);
    if (!entry) return 0;
    if (entry->owner == std::this_thread::get_id()) return Handle(lock, hwnd, *entry, message, wParam, lParam);
    Completion c;
    Enqueue(QueuedItem{hwnd, message, wParam, lParam, nullptr, &c});
    WaitFor(lock, c);
    return c.result;
}

void SetMainWindowHandle(HWND hwnd) { g_mainWindow.store(hwnd.value); }

HWND GetMainWindowHandle() {
    const HWND hwnd(g_mainWindow.load());
    return IsWindow(hwnd) ? hwnd : HWND();
}

void InstallMessageLoop(IMessageLoop* loop) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_loop = loop;
    if (loop) {
        g_uiThread = std::this_thread::get_id();
        // Items queued before the loop existed get their wakes now.
        for (std::size_t i = 0; i < g_queue.size(); ++i) loop->Wake();
    } else {
        g_uiThread = std::thread::id();
        CancelQueued(HWND(), true);
    }
}

bool IsUiThread() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_loop && std::this_thread::get_id() == g_uiThread;
}

namespace {

// Delivers an item already taken off the queue (lock held on entry and on
// return).
void DeliverItem(std::unique_lock<std::mutex>& lock, const QueuedItem& item) {
    if (item.call) {
        lock.unlock();
        std::exception_ptr error;
        try {
            (*item.call)();
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        item.completion->error = error;
        Complete(item.completion, 1);  // ran
        return;
    }

    Entry* entry = LiveEntry(item.hwnd);
    if (!entry) {
        if (item.completion) Complete(item.completion, 0);
        return;
    }
    if (!item.completion) {
        Handle(lock, item.hwnd, *entry, item.message, item.wParam, item.lParam);
        return;
    }
    // The sender must be released even when the handler throws.
    struct Release {
        Completion* c;
        LRESULT result = 0;
        ~Release() { Complete(c, result); }
    } release{item.completion};
    release.result = Handle(lock, item.hwnd, *entry, item.message, item.wParam, item.lParam);
}

}  // namespace

bool DeliverQueuedMessage() {
    std::unique_lock<std::mutex> lock(g_mutex);
    if (g_queue.empty()) return false;
    const QueuedItem item = g_queue.front();
    g_queue.pop_front();
    DeliverItem(lock, item);
    return true;
}

bool DeliverQueuedMessageFor(HWND hwnd, std::span<const UINT> messages) {
    std::unique_lock<std::mutex> lock(g_mutex);
    if (!g_loop || std::this_thread::get_id() != g_uiThread || !hwnd) return false;
    for (auto it = g_queue.begin(); it != g_queue.end(); ++it) {
        if (it->call || it->hwnd != hwnd) continue;
        if (std::find(messages.begin(), messages.end(), it->message) == messages.end()) continue;
        const QueuedItem item = *it;
        g_queue.erase(it);
        DeliverItem(lock, item);
        return true;
    }
    return false;
}

bool WaitForQueuedMessage(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(g_mutex);
    return g_queued.wait_for(lock, timeout, [] { return !g_queue.empty(); });
}

bool InvokeOnUiThread(const std::function<void()>& call) {
    std::unique_lock<std::mutex> lock(g_mutex);
    if (!g_loop || std::this_thread::get_id() == g_uiThread) {
        lock.unlock();
        call();
        return true;
    }
    Completion c;
    Enqueue(QueuedItem{HWND(), 0, 0, 0, &call, &c});
    WaitFor(lock, c);
    if (c.error) std::rethrow_exception(c.error);
    return c.result != 0;
}

bool PumpMessagesUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    IMessageLoop* loop = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_loop && std::this_thread::get_id() == g_uiThread) loop = g_loop;
    }
    if (loop) return loop->RunUntil(done, timeout);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
