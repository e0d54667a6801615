// Notifications from a source to its application: the registered callback,
// messages parked for DAT_EVENT, the nesting guard and exceptions.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "DsmTestSupport.h"
#include "platform/core/MessagePump.h"
#include "support/RecordingWindow.h"
#include "twain/dsm/Dsm.h"
#include "twain/dsm/DsmApps.h"

namespace {

using namespace dsmtest;
using namespace std::chrono_literals;

// What the application's callback received.
struct Received {
    std::string origin;
    TW_UINT32 originId = 0;
    std::string dest;
    TW_UINT32 dg = 0;
    TW_UINT16 dat = 0;
    TW_UINT16 msg = 0;
    TW_MEMREF data = nullptr;
    std::thread::id thread;
};

struct Recorder {
    std::mutex lock;
    std::condition_variable arrived;
    std::vector<Received> calls;
    TW_UINT16 answer = TWRC_SUCCESS;
    bool throwIt = false;
    // Runs inside the callback (on its thread).
    std::function<void()> reaction;

    bool WaitFor(std::size_t count) {
        std::unique_lock guard(lock);
        return arrived.wait_for(guard, 5s, [&] { return calls.size() >= count; });
    }
};

Recorder* g_recorder = nullptr;

TW_UINT16 RecordingCallback(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                            TW_MEMREF data) {
    Recorder& r = *g_recorder;
    if (r.reaction) r.reaction();
    {
        std::lock_guard guard(r.lock);
        r.calls.push_back(Received{origin ? origin->ProductName : "", origin ? origin->Id : 0,
                                   dest ? dest->ProductName : "", dg, dat, msg, data, std::this_thread::get_id()});
    }
    r.arrived.notify_all();
    if (r.throwIt) throw std::runtime_error("the application failed");
    return r.answer;
}

class DsmNotify : public DsmTest {
protected:
    void SetUp() override {
        DsmTest::SetUp();
        g_recorder = &recorder;
    }
    void TearDown() override {
        g_recorder = nullptr;
        DsmTest::TearDown();
    }
    // The source sending a notification through the manager.
    TW_UINT16 Notify(TW_IDENTITY& source, TestApp& app, TW_UINT16 msg) {
        return DSM_Entry(&source, &app.identity, DG_CONTROL, DAT_NULL, msg, nullptr);
    }
    Recorder recorder;
};

TEST_F(DsmNotify, CallbackGetsTheSourcesNotifications) {
    env.AddVirtualSource("", "one", {"product=One"});
    TestApp app("Listener");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY source = app.Sources().at(0);
    ASSERT_EQ(app.RegisterCallback(source, RecordingCallback, 0x12345678), TWRC_SUCCESS);

    recorder.answer = TWRC_CHECKSTATUS;
    for (TW_UINT16 msg : {MSG_XFERREADY, MSG_CLOSEDSREQ, MSG_CLOSEDSOK, MSG_DEVICEEVENT})
        EXPECT_EQ(Notify(source, app, msg), TWRC_CHECKSTATUS) << "the callback's answer is passed back";
    ASSERT_EQ(recorder.calls.size(), 4u);
    const Received& first = recorder.calls[0];
    EXPECT_EQ(first.origin, "One");
    EXPECT_EQ(first.originId, +source.Id);
    EXPECT_EQ(first.dest, "Listener");
    EXPECT_EQ(first.dg, DG_CONTROL);
    EXPECT_EQ(first.dat, DAT_NULL);
    EXPECT_EQ(first.msg, MSG_XFERREADY);
    EXPECT_EQ(first.data, reinterpret_cast<TW_MEMREF>(0x12345678));
    EXPECT_EQ(recorder.calls[3].msg, MSG_DEVICEEVENT);

    // Other messages are not notifications.
    EXPECT_EQ(Notify(source, app, MSG_GET), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_BADPROTOCOL);
    // A source id the application does not have.
    TW_IDENTITY stranger = source;
    stranger.Id = 9;
    EXPECT_EQ(Notify(stranger, app, MSG_XFERREADY), TWRC_FAILURE);
    EXPECT_EQ(recorder.calls.size(), 4u);

    // The old way through DAT_CALLBACK / MSG_INVOKE_CALLBACK.
    TW_CALLBACK invoke{};
    invoke.Message = MSG_CLOSEDSREQ;
    EXPECT_EQ(DSM_Entry(&source, &app.identity, DG_CONTROL, DAT_CALLBACK, MSG_INVOKE_CALLBACK, &invoke),
              TWRC_CHECKSTATUS);
    ASSERT_EQ(recorder.calls.size(), 5u);
    EXPECT_EQ(recorder.calls[4].msg, MSG_CLOSEDSREQ);
    EXPECT_EQ(DSM_Entry(&source, &app.identity, DG_CONTROL, DAT_CALLBACK, MSG_INVOKE_CALLBACK, nullptr),
              TWRC_FAILURE);
    EXPECT_EQ(app.Call(&source, DG_CONTROL, DAT_CALLBACK, MSG_GET, &invoke), TWRC_FAILURE);
    EXPECT_EQ(app.Call(&source, DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, nullptr), TWRC_FAILURE);
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);
}

TEST_F(DsmNotify, SecondCallbackFormKeepsAPointerSizedReference) {
    env.AddVirtualSource("", "one", {"product=One"});
    TestApp app("Wide Listener");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY source = app.Sources().at(0);
    TW_CALLBACK2 callback{};
    callback.CallBackProc = reinterpret_cast<TW_MEMREF>(&RecordingCallback);
    callback.RefCon = static_cast<TW_UINTPTR>(0x1122334455667788ull);
    ASSERT_EQ(app.Call(&source, DG_CONTROL, DAT_CALLBACK2, MSG_REGISTER_CALLBACK, &callback), TWRC_SUCCESS);
    EXPECT_EQ(Notify(source, app, MSG_XFERREADY), TWRC_SUCCESS);
    ASSERT_EQ(recorder.calls.size(), 1u);
    EXPECT_EQ(recorder.calls[0].data, reinterpret_cast<TW_MEMREF>(static_cast<TW_UINTPTR>(0x1122334455667788ull)));
    TW_CALLBACK2 invoke{};
    invoke.Message = MSG_CLOSEDSOK;
    EXPECT_EQ(DSM_Entry(&source, &app.identity, DG_CONTROL, DAT_CALLBACK2, MSG_INVOKE_CALLBACK, &invoke),
              TWRC_SUCCESS);
    ASSERT_EQ(recorder.calls.size(), 2u);
    EXPECT_EQ(recorder.calls[1].msg, MSG_CLOSEDSOK);
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);
}

TEST_F(DsmNotify, ExceptionInTheCallbackIsAFailure) {
    env.EnableDsmLog();
    env.AddVirtualSource("", "one", {"product=One"});
    TestApp app("Fragile");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY source = app.Sources().at(0);
    ASSERT_EQ(app.RegisterCallback(source, RecordingCallback), TWRC_SUCCESS);
    recorder.throwIt = true;
    EXPECT_EQ(Notify(source, app, MSG_XFERREADY), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_BUMMER);
    recorder.throwIt = false;
    EXPECT_EQ(Notify(source, app, MSG_XFERREADY), TWRC_SUCCESS) << "the next notification gets through";
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);
    EXPECT_EQ(Matching(env.DsmLogLines(), {"Exception caught while App was processing message."}).size(), 1u);
}

TEST_F(DsmNotify, WithoutCallbackTheMessageWaitsForDatEvent) {
    env.EnableDsmLog();
    env.AddVirtualSource("", "one", {"product=One", "notify=none"});
    MessagePump pump;
    testdata::RecordingWindow window;
    TW_HANDLE windowValue = reinterpret_cast<TW_HANDLE>(static_cast<std::uintptr_t>(window.hwnd().value));
    TestApp app("Polling App");
    ASSERT_EQ(app.Open(windowValue), TWRC_SUCCESS);
    TW_IDENTITY source = app.Sources().at(0);
    ASSERT_EQ(app.OpenSource(source), TWRC_SUCCESS);

    // Two notifications before the application asks: the first is lost (and
    // logged), the application is woken for each.
    EXPECT_EQ(Notify(source, app, MSG_XFERREADY), TWRC_SUCCESS);
    EXPECT_EQ(Notify(source, app, MSG_CLOSEDSREQ), TWRC_SUCCESS);
    EXPECT_EQ(pump.Pump(), 2);
    ASSERT_EQ(window.received().size(), 2u);
    EXPECT_EQ(window.received()[0].message, 0u) << "WM_NULL";

    TW_EVENT event{};
    event.TWMessage = 0xABCD;
    EXPECT_EQ(app.Call(&source, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_DSEVENT);
    EXPECT_EQ(event.TWMessage, MSG_CLOSEDSREQ);
    // Nothing is waiting any more: the event goes to the source itself.
    event.TWMessage = 0xABCD;
    EXPECT_EQ(app.Call(&source, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT);
    EXPECT_EQ(event.TWMessage, MSG_NULL);
    EXPECT_EQ(Matching(env.SourceLog("one"), {"dat=" + Hex4(DAT_EVENT)}).size(), 1u);
    EXPECT_EQ(app.Call(&source, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, nullptr), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_BADVALUE);

    // A window that is gone: the message is still parked.
    window.Destroy();
    EXPECT_EQ(Notify(source, app, MSG_XFERREADY), TWRC_SUCCESS);
    EXPECT_EQ(app.Call(&source, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_DSEVENT);
    EXPECT_EQ(event.TWMessage, MSG_XFERREADY);

    EXPECT_EQ(app.CloseSource(source), TWRC_SUCCESS);
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);
    const auto lines = env.DsmLogLines();
    EXPECT_EQ(Matching(lines, {"Polling App NEVER retrieved DAT_EVENT / MSG_XFERREADY"}).size(), 1u);
    EXPECT_EQ(Matching(lines, {"Polling App retrieving DAT_EVENT / MSG_CLOSEDSREQ"}).size(), 1u);
    EXPECT_EQ(Matching(lines, {"PostMessage failed..."}).size(), 1u);
}

// The application's callback calls the source again while the manager is
// still inside a call to that source, or inside the callback, on the same
// thread. Whether it gets through depends on the application's protocol.
TEST_F(DsmNotify, NestedCallsToTheSourceByProtocol) {
    struct Case {
        const char* notify;  // sync: from inside MSG_ENABLEDS; thread: the source's own thread
        TW_UINT16 major, minor;
        bool passes;
    };
    const Case cases[] = {
        // Inside MSG_ENABLEDS the source is processing a message: refused
        // above protocol 2.1.
        {"sync", 2, 1, true},
        {"sync", 2, 2, false},
        {"sync", 2, 4, false},
        // From the source's own thread only the callback is running: refused
        // above protocol 2.2.
        {"thread", 2, 2, true},
        {"thread", 2, 3, false},
        {"thread", 2, 4, false},
    };
    int run = 0;
    for (const Case& c : cases) {
        const std::string name = "nest" + std::to_string(run++);
        env.AddVirtualSource("", name, {"product=" + name, std::string("notify=") + c.notify});
        TestApp app("Nesting", c.major, c.minor);
        ASSERT_EQ(app.Open(), TWRC_SUCCESS);
        TW_IDENTITY source = *app.SourceNamed(name);
        ASSERT_EQ(app.OpenSource(source), TWRC_SUCCESS);
        ASSERT_EQ(app.RegisterCallback(source, RecordingCallback), TWRC_SUCCESS);

        TW_UINT16 nestedRc = 0xFFFF, eventRc = 0xFFFF;
        TW_PENDINGXFERS pending{};
        TW_EVENT event{};
        event.TWMessage = 0xABCD;
        recorder.calls.clear();
        recorder.reaction = [&] {
            nestedRc = app.Call(&source, DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending);
            eventRc = app.Call(&source, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
        };
        ASSERT_EQ(app.Enable(source), TWRC_SUCCESS);
        ASSERT_TRUE(recorder.WaitFor(1)) << c.notify;
        recorder.reaction = nullptr;
        const std::string label = std::string(c.notify) + " " + std::to_string(c.major) + "." +
                                  std::to_string(c.minor);
        if (c.passes) {
            EXPECT_EQ(nestedRc, TWRC_SUCCESS) << label;
            EXPECT_EQ(pending.Count, 3) << label;
            EXPECT_EQ(eventRc, TWRC_NOTDSEVENT) << label << " (answered by the source)";
        } else {
            EXPECT_EQ(nestedRc, TWRC_FAILURE) << label;
            EXPECT_EQ(app.Status(), TWCC_SEQERROR) << label;
            EXPECT_EQ(eventRc, TWRC_NOTDSEVENT) << label << " (ignored by the manager)";
            EXPECT_EQ(event.TWMessage, MSG_NULL) << label;
        }
        // The guard is gone once the calls returned: the same call now works,
        // also while the source's thread may still be returning from the
        // callback (its marks are its own).
        EXPECT_EQ(app.Call(&source, DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS) << label;
        EXPECT_EQ(app.Disable(source), TWRC_SUCCESS);
        EXPECT_EQ(app.CloseSource(source), TWRC_SUCCESS);
        EXPECT_EQ(app.Close(), TWRC_SUCCESS);
    }
}

// The mark of a call under way belongs to the thread that makes the call.
// The order that broke a single shared mark: the application's thread is
// inside a call when the source's own thread starts one, the application's
// call ends first, the source's thread's call last. The application's
// thread must then be free to call again, and neither thread ever sees the
// other's call as its own.
TEST(DsmCallOnThread, EachThreadKeepsItsOwnMarks) {
    const CDsmApps apps;  // the manager's table the marks belong to
    constexpr TW_UINT32 kApp = 1, kSource = 2;
    const auto underWay = [&](bool callback) { return DsmCallOnThread::UnderWay(&apps, kApp, kSource, callback); };
    std::mutex lock;
    std::condition_variable changed;
    int step = 0;
    const auto waitFor = [&](int wanted) {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, 10s, [&] { return step >= wanted; });
    };
    const auto go = [&](int next) {
        {
            std::lock_guard guard(lock);
            step = next;
        }
        changed.notify_all();
    };
    bool sourceSawItsOwn = false, sourceSawTheOther = true, sourceStillInside = false;
    std::thread sourceThread([&] {
        if (!waitFor(1)) return;
        sourceSawTheOther = underWay(false);
        {
            const DsmCallOnThread call(&apps, kApp, kSource, false);
            sourceSawItsOwn = underWay(false);
            go(2);
            if (!waitFor(3)) return;
            sourceStillInside = underWay(false);
        }
        go(4);
    });
    {
        const DsmCallOnThread call(&apps, kApp, kSource, false);
        EXPECT_TRUE(underWay(false));
        EXPECT_FALSE(underWay(true)) << "a call is not a callback";
        EXPECT_FALSE(DsmCallOnThread::UnderWay(&apps, kApp, kSource + 1, false)) << "another source";
        go(1);
        ASSERT_TRUE(waitFor(2));
    }
    EXPECT_FALSE(underWay(false)) << "the application's thread is free once its call ended";
    go(3);
    EXPECT_TRUE(waitFor(4));
    sourceThread.join();
    EXPECT_FALSE(underWay(false)) << "the source's call that ended last leaves no mark here";
    EXPECT_FALSE(sourceSawTheOther);
    EXPECT_TRUE(sourceSawItsOwn);
    EXPECT_TRUE(sourceStillInside) << "the other thread's call ending does not end this one";
    // Nested calls on one thread: the inner one ending leaves the outer.
    {
        const DsmCallOnThread outer(&apps, kApp, kSource, true);
        {
            const DsmCallOnThread inner(&apps, kApp, kSource, true);
        }
        EXPECT_TRUE(underWay(true));
    }
    EXPECT_FALSE(underWay(true));
}

TEST_F(DsmNotify, CallbackRunsOnTheSourcesThread) {
    env.AddVirtualSource("", "one", {"product=One", "notify=thread", "notify_delay_ms=20"});
    TestApp app("Threaded");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY source = app.Sources().at(0);
    ASSERT_EQ(app.OpenSource(source), TWRC_SUCCESS);
    ASSERT_EQ(app.RegisterCallback(source, RecordingCallback), TWRC_SUCCESS);
    ASSERT_EQ(app.Enable(source), TWRC_SUCCESS);
    // While the source's thread waits, the application keeps calling.
    TW_UINT32 value = 0;
    TW_UINT16 conType = 0;
    EXPECT_EQ(app.GetCap(source, ICAP_XFERMECH, MSG_GETCURRENT, value, conType), TWRC_SUCCESS);
    ASSERT_TRUE(recorder.WaitFor(1));
    {
        std::lock_guard guard(recorder.lock);
        EXPECT_EQ(recorder.calls[0].msg, MSG_XFERREADY);
        EXPECT_NE(recorder.calls[0].thread, std::this_thread::get_id());
    }
    EXPECT_EQ(app.Disable(source), TWRC_SUCCESS);
    EXPECT_EQ(app.CloseSource(source), TWRC_SUCCESS);
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);
}

// The source's thread notifies while the application keeps calling the
// manager and the source; some applications poll with DAT_EVENT instead of
// a callback. (Under ThreadSanitizer this shows the manager's table, its log
// and the parked messages are shared safely.)
TEST_F(DsmNotify, NotificationsWhileTheApplicationKeepsCalling) {
    env.EnableDsmLog();
    env.AddVirtualSource("", "busy", {"product=Busy", "notify=thread", "pages=1"});
    for (bool withCallback : {true, false}) {
        TestApp app(withCallback ? "Called Back" : "Polling");
        ASSERT_EQ(app.Open(), TWRC_SUCCESS);
        TW_IDENTITY source = app.Sources().at(0);
        ASSERT_EQ(app.OpenSource(source), TWRC_SUCCESS);
        if (withCallback) {
            ASSERT_EQ(app.RegisterCallback(source, RecordingCallback), TWRC_SUCCESS);
        }
        for (int round = 0; round < 20; ++round) {
            recorder.calls.clear();
            ASSERT_EQ(app.Enable(source), TWRC_SUCCESS);
            bool ready = false;
            for (int spin = 0; spin < 100000 && !ready; ++spin) {
                TW_UINT32 value = 0;
                TW_UINT16 conType = 0;
                EXPECT_EQ(app.GetCap(source, ICAP_XFERMECH, MSG_GETCURRENT, value, conType), TWRC_SUCCESS);
                if (withCallback) {
                    std::lock_guard guard(recorder.lock);
                    ready = !recorder.calls.empty();
                } else {
                    TW_EVENT event{};
                    const TW_UINT16 rc = app.Call(&source, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
                    ready = rc == TWRC_DSEVENT && event.TWMessage == MSG_XFERREADY;
                }
            }
            ASSERT_TRUE(ready) << (withCallback ? "callback" : "polling") << " round " << round;
            ASSERT_EQ(app.Disable(source), TWRC_SUCCESS);
        }
        EXPECT_EQ(app.CloseSource(source), TWRC_SUCCESS);
        EXPECT_EQ(app.Close(), TWRC_SUCCESS);
    }
}

TEST_F(DsmNotify, ExceptionInsideTheSourceIsAFailure) {
    env.EnableDsmLog();
    env.AddVirtualSource("", "one", {"product=One", "throw_on=0009"});
    TestApp app("Careful");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY source = app.Sources().at(0);
    ASSERT_EQ(app.OpenSource(source), TWRC_SUCCESS);
    EXPECT_EQ(app.Enable(source), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_BUMMER);
    // The source is still usable afterwards.
    TW_PENDINGXFERS pending{};
    EXPECT_EQ(app.Call(&source, DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS);
    EXPECT_EQ(app.CloseSource(source), TWRC_SUCCESS);
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);
    EXPECT_EQ(Matching(env.DsmLogLines(), {"Exception caught while DS was processing message.  Returning Failure."})
                  .size(),
              1u);
}

}  // namespace
