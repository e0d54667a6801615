#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/core/MessagePump.h"
#include "platform/core/Messages.h"
#include "support/RecordingWindow.h"
#include "support/Waits.h"

using namespace std::chrono_literals;
using testdata::RecordingWindow;

namespace {

constexpr UINT WM_TEST = WM_USER + 101;

}  // namespace

TEST(Messages, PostsFromAWorkerArriveOnTheUiThreadInOrder) {
    MessagePump pump;
    RecordingWindow window;
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) EXPECT_TRUE(PostMessage(window.hwnd(), WM_TEST, i, -i));
    });
    worker.join();
    EXPECT_EQ(window.count(), 0u) << "a post is handled only when the loop runs";
    EXPECT_EQ(pump.Pump(), 50);
    const auto got = window.received();
    ASSERT_EQ(got.size(), 50u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(got[i].message, WM_TEST);
        EXPECT_EQ(got[i].wParam, static_cast<WPARAM>(i));
        EXPECT_EQ(got[i].lParam, -i);
        EXPECT_EQ(got[i].thread, std::this_thread::get_id());
    }
}

// A busy user-interface thread lets one window's chosen messages through:
// those are handled in their order (a worker's send answered too), every
// other item stays queued in its order for the loop.
TEST(Messages, DeliveringOneWindowsMessagesLeavesEverythingElseQueued) {
    MessagePump pump;
    RecordingWindow busy, other;
    constexpr UINT WM_CHOSEN = WM_TEST + 1;
    constexpr UINT chosen[] = {WM_CHOSEN};
    busy.onMessage = [](UINT, WPARAM w, LPARAM) { return static_cast<LRESULT>(w + 100); };
    ASSERT_TRUE(PostMessage(busy.hwnd(), WM_TEST, 1, 0));     // not chosen
    ASSERT_TRUE(PostMessage(other.hwnd(), WM_CHOSEN, 2, 0));  // chosen, but another window
    ASSERT_TRUE(PostMessage(busy.hwnd(), WM_CHOSEN, 3, 0));
    std::atomic<bool> sent{false};
    LRESULT sendResult = 0;
    testwait::Thread worker("the sending worker", [&] {
        sendResult = SendMessage(busy.hwnd(), WM_CHOSEN, 5, 0);
        sent = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    int delivered = 0;
    while (!sent && std::chrono::steady_clock::now() < deadline) {
        if (DeliverQueuedMessageFor(busy.hwnd(), chosen)) ++delivered;
        else std::this_thread::sleep_for(1ms);
    }
    worker.Join();
    EXPECT_EQ(delivered, 2);
    EXPECT_EQ(sendResult, 105);
    std::vector<WPARAM> order;
    for (const auto& r : busy.received()) order.push_back(r.wParam);
    EXPECT_EQ(order, (std::vector<WPARAM>{3, 5}));
    EXPECT_EQ(other.count(), 0u);
    EXPECT_FALSE(DeliverQueuedMessageFor(busy.hwnd(), chosen)) << "nothing chosen is left";

    // Off the user-interface thread nothing is delivered.
    ASSERT_TRUE(PostMessage(busy.hwnd(), WM_CHOSEN, 6, 0));
    bool offThread = true;
    std::thread([&] { offThread = DeliverQueuedMessageFor(busy.hwnd(), chosen); }).join();
    EXPECT_FALSE(offThread);

    // The loop handles the rest in the order it was queued.
    EXPECT_EQ(pump.Pump(), 3);
    order.clear();
    for (const auto& r : busy.received()) order.push_back(r.wParam);
    EXPECT_EQ(order, (std::vector<WPARAM>{3, 5, 1, 6}));
    ASSERT_EQ(other.count(), 1u);
    EXPECT_EQ(other.received()[0].wParam, 2u);
}

TEST(Messages, PostToAGoneWindowFailsAndQueuedPostsAreDropped) {
    MessagePump pump;
    auto window = std::make_unique<RecordingWindow>();
    const HWND hwnd = window->hwnd();
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_TRUE(PostMessage(hwnd, WM_TEST, 1, 0));
    window.reset();  // destroyed with one post still queued
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(PostMessage(hwnd, WM_TEST, 2, 0));
    EXPECT_EQ(SendMessage(hwnd, WM_TEST, 3, 0), 0);
    EXPECT_FALSE(PostMessage(HWND(), WM_TEST, 4, 0));
    // The queued item is gone; pumping touches no freed receiver.
    EXPECT_EQ(pump.Pump(), 0);

    // A new window never gets the old handle back.
    RecordingWindow next;
    EXPECT_NE(next.hwnd(), hwnd);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST(Messages, SendOnTheOwnThreadIsADirectCall) {
    RecordingWindow window;  // no loop installed at all
    window.onMessage = [](UINT, WPARAM w, LPARAM l) { return static_cast<LRESULT>(w) + l; };
    EXPECT_EQ(SendMessage(window.hwnd(), WM_TEST, 40, 2), 42);
    ASSERT_EQ(window.count(), 1u);
    EXPECT_EQ(window.received()[0].thread, std::this_thread::get_id());
}

TEST(Messages, SendFromAWorkerBlocksUntilTheUiThreadAnswered) {
    MessagePump pump;
    RecordingWindow window;
    std::atomic<bool> handled{false};
    window.onMessage = [&](UINT, WPARAM w, LPARAM) {
        handled = true;
        return static_cast<LRESULT>(w * 2);
    };
    std::atomic<bool> returned{false};
    LRESULT result = 0;
    bool handledBeforeReturn = false;
    testwait::Thread worker("the sending worker", [&] {
        result = SendMessage(window.hwnd(), WM_TEST, 21, 0);
        handledBeforeReturn = handled;
        returned = true;
    });
    ASSERT_TRUE(pump.PumpUntil([&] { return returned.load(); }, 5s));
    worker.Join();
    EXPECT_EQ(result, 42);
    EXPECT_TRUE(handledBeforeReturn);
    ASSERT_EQ(window.count(), 1u);
    EXPECT_EQ(window.received()[0].thread, std::this_thread::get_id());
}

TEST(Messages, SenderIsReleasedWithZeroWhenTheWindowGoesFirst) {
    MessagePump pump;
    auto window = std::make_unique<RecordingWindow>();
    std::atomic<bool> returned{false};
    LRESULT result = -1;
    testwait::Thread worker("the sending worker", [&, hwnd = window->hwnd()] {
        result = SendMessage(hwnd, WM_TEST, 1, 0);
        returned = true;
    });
    ASSERT_TRUE(WaitForQueuedMessage(5s));  // the send is queued, the worker waits
    EXPECT_FALSE(returned.load());
    window.reset();
    worker.Join();
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(result, 0);
    EXPECT_EQ(pump.Pump(), 0);
}

TEST(Messages, SenderIsReleasedWhenTheLoopIsRemoved) {
    RecordingWindow window;
    std::atomic<int> phase{0};
    LRESULT result = -1;
    bool invoked = true;
    std::optional<testwait::Thread> worker;
    {
        MessagePump pump;
        worker.emplace("the sending worker", [&] {
            result = SendMessage(window.hwnd(), WM_TEST, 1, 0);
            invoked = InvokeOnUiThread([] {});
            phase = 1;
        });
        ASSERT_TRUE(WaitForQueuedMessage(5s));
    }  // the pump goes away without handling the send
    // Without a loop a send waits for one, but the one already queued was
    // released; the invoke that follows runs directly (no loop).
    worker->Join();
    EXPECT_EQ(phase.load(), 1);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(invoked);
    EXPECT_EQ(window.count(), 0u);
}

TEST(Messages, AWindowMayDestroyItselfWhileHandlingAMessage) {
    MessagePump pump;
    RecordingWindow window;
    window.onMessage = [&](UINT, WPARAM w, LPARAM) {
        if (w == 1) window.Destroy();
        return LRESULT(7);
    };
    for (int i = 1; i <= 3; ++i) ASSERT_TRUE(PostMessage(window.hwnd(), WM_TEST, i, 0));
    pump.Pump();
    ASSERT_EQ(window.count(), 1u) << "posts after the destruction are dropped";
    EXPECT_FALSE(IsWindow(window.hwnd()));
    // A direct send that destroys the window returns its result too.
    RecordingWindow other;
    other.onMessage = [&](UINT, WPARAM, LPARAM) {
        other.Destroy();
        return LRESULT(9);
    };
    EXPECT_EQ(SendMessage(other.hwnd(), WM_TEST, 0, 0), 9);
    EXPECT_FALSE(IsWindow(other.hwnd()));
}

TEST(Messages, DestroyingFromAnotherThreadWaitsForTheHandlingInProgress) {
    MessagePump pump;
    auto window = std::make_unique<RecordingWindow>();
    std::atomic<bool> inHandler{false};
    std::atomic<bool> release{false};
    std::atomic<bool> handlerDone{false};
    window->onMessage = [&](UINT, WPARAM, LPARAM) {
        inHandler = true;
        EXPECT_TRUE(testwait::Until([&] { return release.load(); })) << "the handler was never released";
        handlerDone = true;
        return LRESULT(0);
    };
    ASSERT_TRUE(PostMessage(window->hwnd(), WM_TEST, 0, 0));
    bool doneWhenUnregistered = false;
    testwait::Thread destroyer("the destroying thread", [&] {
        if (!testwait::Until([&] { return inHandler.load(); }, 5s)) {
            ADD_FAILURE() << "the message was never handled";
            release = true;
            return;
        }
        testwait::Thread releaser("the releasing thread", [&] {
            std::this_thread::sleep_for(20ms);
            release = true;
        });
        UnregisterWindow(window->hwnd());
        doneWhenUnregistered = handlerDone;
        releaser.Join();
    });
    pump.Pump();
    destroyer.Join();
    EXPECT_TRUE(doneWhenUnregistered);
    EXPECT_FALSE(IsWindow(window->hwnd()));
}

TEST(Messages, NestedLoopsInsideAHandlerKeepAnsweringWorkers) {
    // A handler that opens a "modal loop" (pumps until a condition holds)
    // while a worker sends: the send is answered inside the nested loop.
    MessagePump pump;
    RecordingWindow window;
    std::atomic<bool> workerDone{false};
    std::optional<testwait::Thread> worker;
    window.onMessage = [&](UINT msg, WPARAM w, LPARAM) -> LRESULT {
        if (w == 1) {
            worker.emplace("the sending worker", [&] {
                EXPECT_EQ(SendMessage(window.hwnd(), WM_TEST, 2, 0), 5);
                workerDone = true;
            });
            EXPECT_TRUE(PumpMessagesUntil([&] { return workerDone.load(); }, 5s));
            return 0;
        }
        return 5;
    };
    ASSERT_TRUE(PostMessage(window.hwnd(), WM_TEST, 1, 0));
    pump.Pump();
    ASSERT_TRUE(worker.has_value());
    worker->Join();
    const auto got = window.received();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].wParam, 2u);
}

TEST(Messages, InvokeRunsOnTheUiThreadAndCarriesExceptionsBack) {
    MessagePump pump;
    std::thread::id ranOn;
    std::atomic<bool> done{false};
    bool threw = false;
    testwait::Thread worker("the invoking worker", [&] {
        EXPECT_TRUE(InvokeOnUiThread([&] { ranOn = std::this_thread::get_id(); }));
        try {
            InvokeOnUiThread([] { throw std::runtime_error("boom"); });
        } catch (const std::runtime_error&) {
            threw = true;
        }
        done = true;
    });
    ASSERT_TRUE(pump.PumpUntil([&] { return done.load(); }, 5s));
    worker.Join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_TRUE(threw);
    EXPECT_TRUE(IsUiThread());
    // On the UI thread itself it is a direct call.
    bool direct = false;
    EXPECT_TRUE(InvokeOnUiThread([&] { direct = true; }));
    EXPECT_TRUE(direct);
}

TEST(Messages, MainWindowHandleFollowsTheWindow) {
    auto window = std::make_unique<RecordingWindow>();
    SetMainWindowHandle(window->hwnd());
    EXPECT_EQ(GetMainWindowHandle(), window->hwnd());
    window.reset();
    EXPECT_EQ(GetMainWindowHandle(), HWND());
}

TEST(Messages, PumpUntilGivesUpAtTheTimeout) {
    MessagePump pump;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(pump.PumpUntil([] { return false; }, 30ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
    // Off the UI thread (or without a loop) it only waits for the condition.
    std::atomic<bool> flag{false};
    std::thread setter([&] {
        std::this_thread::sleep_for(5ms);
        flag = true;
    });
    bool result = false;
    std::thread waiter([&] { result = PumpMessagesUntil([&] { return flag.load(); }, 5s); });
    setter.join();
    waiter.join();
    EXPECT_TRUE(result);
}

// Many workers post and send while the window is finally destroyed: every
// send returns (none is lost or left waiting), every send that returned its
// answer was handled exactly once, and posts after the end fail.
TEST(Messages, StressManyWorkersUntilTheWindowIsDestroyed) {
    MessagePump pump;
    auto window = std::make_unique<RecordingWindow>();
    const HWND hwnd = window->hwnd();
    std::atomic<int> handledSends{0};
    window->onMessage = [&](UINT msg, WPARAM w, LPARAM) -> LRESULT {
        if (msg == WM_TEST + 1) {
            ++handledSends;
            return static_cast<LRESULT>(w) + 1;
        }
        return 0;
    };
    constexpr int kWorkers = 8;
    constexpr int kRounds = 300;
    std::atomic<int> answered{0};
    std::atomic<int> zeroAfterEnd{0};
    std::atomic<int> postsAccepted{0};
    std::atomic<int> finished{0};
    std::vector<std::unique_ptr<testwait::Thread>> workers;
    for (int t = 0; t < kWorkers; ++t) {
        workers.push_back(std::make_unique<testwait::Thread>("a sending worker", [&, t] {
            for (int i = 0; i < kRounds; ++i) {
                if (PostMessage(hwnd, WM_TEST, t, i)) ++postsAccepted;
                const WPARAM token = static_cast<WPARAM>(t * kRounds + i);
                const LRESULT r = SendMessage(hwnd, WM_TEST + 1, token, 0);
                if (r == static_cast<LRESULT>(token) + 1)
                    ++answered;
                else if (r == 0 && !IsWindow(hwnd))
                    ++zeroAfterEnd;
                else
                    ADD_FAILURE() << "unexpected answer " << r;
            }
            ++finished;
        }));
    }
    // Handle for a while, then destroy the window with workers still going.
    pump.PumpUntil([&] { return handledSends.load() >= kWorkers * kRounds / 3; }, 10s);
    window.reset();
    ASSERT_TRUE(pump.PumpUntil([&] { return finished.load() == kWorkers; }, 10s));
    for (auto& w : workers) w->Join();
    EXPECT_EQ(answered.load() + zeroAfterEnd.load(), kWorkers * kRounds);
    EXPECT_EQ(answered.load(), handledSends.load());
    EXPECT_GT(zeroAfterEnd.load(), 0);
    EXPECT_FALSE(PostMessage(hwnd, WM_TEST, 0, 0));
}
