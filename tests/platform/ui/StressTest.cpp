#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "TestDialogs.h"
#include "UiFixture.h"
#include "support/Waits.h"

using namespace std::chrono_literals;
using namespace testui;

// Many workers post and send to the main dialog while other dialogs open and
// close modally over it, and at last the main dialog closes with the workers
// still going. Nothing may deadlock, every send must come back (answered
// while the window lives, 0 once it is gone), every answer must match its
// question, and posts must fail once the window is gone.
TEST_F(UiTest, StressWorkersPostAndSendWhileModalDialogsComeAndGo) {
    constexpr UINT WM_LOAD_FILE = WM_USER + 102;
    constexpr UINT WM_IMAGE_PROCESSED = WM_USER + 101;
    constexpr int kWorkers = 8;
    constexpr int kChildDialogs = 12;

    TestDialog mainDlg;
    int handledSends = 0;  // UI thread only
    int handledPosts = 0;
    mainDlg.onUserMessage = [&](UINT msg, WPARAM w, LPARAM) -> LRESULT {
        if (msg == WM_LOAD_FILE) {
            ++handledSends;
            return static_cast<LRESULT>(w) + 1;
        }
        if (msg == WM_IMAGE_PROCESSED) ++handledPosts;
        return 0;
    };

    std::atomic<bool> stop{false};
    std::atomic<int> answered{0};
    std::atomic<int> refusedAfterEnd{0};
    std::atomic<int> postsAccepted{0};
    std::atomic<int> wrongAnswers{0};
    std::atomic<int> finished{0};
    std::vector<std::unique_ptr<testwait::Thread>> workers;
    HWND mainHandle;

    OnNextModal(mainDlg.GetTemplateId(), [&](CDialog& main) {
        mainHandle = main.GetSafeHwnd();
        for (int t = 0; t < kWorkers; ++t) {
            workers.push_back(std::make_unique<testwait::Thread>("a sending worker", [&, t] {
                for (WPARAM i = 0; !stop.load(); ++i) {
                    const WPARAM token = static_cast<WPARAM>(t) << 24 | (i & 0xFFFFFF);
                    if (::PostMessage(mainHandle, WM_IMAGE_PROCESSED, token, 0)) ++postsAccepted;
                    const LRESULT r = ::SendMessage(mainHandle, WM_LOAD_FILE, token, 0);
                    if (r == static_cast<LRESULT>(token) + 1) {
                        ++answered;
                    } else if (r == 0 && !IsWindow(mainHandle)) {
                        ++refusedAfterEnd;
                    } else {
                        ++wrongAnswers;
                    }
                }
                ++finished;
            }, [&] { stop = true; }));
        }
        // Dialogs open and close over the main one while the workers run.
        for (int k = 0; k < kChildDialogs; ++k) {
            TestDialog child(kPageTemplate, &main);
            OnNextModal(child.GetTemplateId(), [&](CDialog& c) {
                const int before = handledSends;
                EXPECT_TRUE(PumpUntil([&] { return handledSends >= before + 20; }, 20s));
                c.EndDialog(IDOK);
            });
            EXPECT_EQ(child.DoModal(), IDOK);
        }
        main.EndDialog(IDOK);
    });
    EXPECT_EQ(mainDlg.DoModal(), IDOK);

    // The window is gone; the workers must find out without blocking.
    EXPECT_TRUE(PumpUntil([&] { return refusedAfterEnd.load() >= kWorkers; }, 20s));
    stop = true;
    EXPECT_TRUE(PumpUntil([&] { return finished.load() == kWorkers; }, 20s));
    for (auto& w : workers) w->Join();

    EXPECT_EQ(wrongAnswers.load(), 0);
    EXPECT_EQ(answered.load(), handledSends) << "every answered send was handled once";
    EXPECT_GE(handledSends, kChildDialogs * 20);
    EXPECT_LE(handledPosts, postsAccepted.load());
    EXPECT_GT(handledPosts, 0);
    EXPECT_FALSE(::PostMessage(mainHandle, WM_IMAGE_PROCESSED, 0, 0));
}
