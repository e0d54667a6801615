#include "EngineHarness.h"

#include <chrono>
#include <thread>
#include <unistd.h>

#include "support/Leftovers.h"

using namespace enginetest;
using namespace std::chrono_literals;

namespace {

class BatchRun : public EngineFixture {
protected:
    // Closes (Shutdown) with the gate shut, opening it a moment later from
    // another thread: the close waits for the files held at the gate.
    void CloseOpeningTheGateSoon() {
        std::thread opener([&] {
            std::this_thread::sleep_for(100ms);
            gate.Open();
        });
        engine->Shutdown();
        opener.join();
    }
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t p; (p = text.find("\r\n", start)) != std::string::npos; start = p + 2)
        out.push_back(text.substr(start, p - start));
    EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
    return out;
}

}  // namespace

TEST_F(BatchRun, APlainRunProcessesEveryFileAndListsTheOneThatFailed) {
    Write(Src(L"a.jpg"), "ok a");
    Write(Src(L"b.png"), "bad b");
    Write(Src(L"sub/c.tif"), "ok c");

    engine->OnStartStop();
    EXPECT_EQ(engine->RunState(), RUN_STATE_PLAIN);
    EXPECT_EQ(window.buttonText, L"处理中...");
    EXPECT_FALSE(window.buttonEnabled);
    ASSERT_FALSE(window.progress.empty());
    EXPECT_EQ(window.progress.front(), L"**********处理中请等待,处理进度 0 / 3 张, 失败0张************");

    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(window.LastProgress().rfind(L"**********处理完成,总共处理了 3 张, 其中失败1张.用了 ", 0), 0u)
        << ToUtf8(window.LastProgress());
    EXPECT_EQ(window.CountProgressStartingWith(kFinishedPrefix), 1);
    EXPECT_EQ(window.buttonText, L"开始处理");
    EXPECT_TRUE(window.buttonEnabled);
    EXPECT_EQ(window.status, L"");
    EXPECT_EQ(engine->FailedCount(), 1);

    // Results in a sub-folder named like each folder.
    EXPECT_EQ(Read(Src(L"src/a.jpg")), "ok a");
    EXPECT_EQ(Read(Src(L"sub/sub/c.tif")), "ok c");
    EXPECT_FALSE(files::Exists(Src(L"src/b.png")));

    const auto lists = FailedLists(src());
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(Read(lists[0]), ToUtf8(Src(L"b.png")) + "\r\n");
    EXPECT_EQ(engine->LastFailedListPath(), lists[0]);

    // Files were read on the user-interface thread and the results written
    // by the workers; nothing is left over.
    EXPECT_EQ(log.readsOnUiThread.load(), 3);
    EXPECT_EQ(log.readsElsewhere.load(), 0);
    EXPECT_EQ(log.savesOnUiThread.load(), 0);
    EXPECT_EQ(log.savesElsewhere.load(), 2);
    EXPECT_EQ(log.alive.load(), 0);
    EXPECT_EQ(engine->ProcessorsInFlight(), 0u);
    EXPECT_EQ(dialogs.Count(ShownDialog::MessageBox), 0u);
    // The status line named every file while it was processed.
    for (const auto& rel : {L"a.jpg", L"b.png", L"sub/c.tif"})
        EXPECT_NE(std::find(window.statuses.begin(), window.statuses.end(), L"正在处理: " + Src(rel)),
                  window.statuses.end());
}

TEST_F(BatchRun, NewFolderLayoutAndFailedListInTheDestination) {
    Write(Src(L"a.jpg"), "ok");
    Write(Src(L"x/y/b.jpg"), "ok");
    Write(Src(L"x/c.jpg"), "bad");
    window.choices.newFolder = true;
    window.choices.destinationText = dst();
    engine->SetSaveToNewFolder(true);
    engine->SetDestinationFolder(dst());

    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Read(PathJoin(dst(), L"src/a.jpg")), "ok");
    EXPECT_EQ(Read(PathJoin(dst(), L"src/x/y/b.jpg")), "ok");
    EXPECT_FALSE(files::Exists(Src(L"src")));
    const auto lists = FailedLists(dst());
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(Read(lists[0]), ToUtf8(Src(L"x/c.jpg")) + "\r\n");
    EXPECT_TRUE(FailedLists(src()).empty());
}

TEST_F(BatchRun, ARunWithoutFailuresWritesNoList) {
    Write(Src(L"a.jpg"), "ok");
    Write(Src(L"b.jpg"), "ok");
    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(window.LastProgress().rfind(L"**********处理完成,总共处理了 2 张, 其中失败0张", 0), 0u);
    EXPECT_TRUE(FailedLists(src()).empty());
}

TEST_F(BatchRun, AResultThatCannotBeWrittenIsAFailedFile) {
    Write(Src(L"a.jpg"), "ok");
    Write(Src(L"b.jpg"), "nosave");
    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(engine->FailedCount(), 1);
    EXPECT_EQ(window.LastProgress().rfind(L"**********处理完成,总共处理了 2 张, 其中失败1张", 0), 0u);
    const auto lists = FailedLists(src());
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(Read(lists[0]), ToUtf8(Src(L"b.jpg")) + "\r\n");
}

TEST_F(BatchRun, RunningOutOfMemoryFailsOneFileAndTheRunGoesOn) {
    // Allocation failure while processing or while writing the result:
    // the file is failed and listed with the reason, the others are saved.
    Write(Src(L"a.jpg"), "ok a");
    Write(Src(L"b.jpg"), "oom");
    Write(Src(L"c.jpg"), "saveoom");
    Write(Src(L"d.jpg"), "ok d");
    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(window.LastProgress().rfind(L"**********处理完成,总共处理了 4 张, 其中失败2张", 0), 0u)
        << ToUtf8(window.LastProgress());
    EXPECT_EQ(Read(Src(L"src/a.jpg")), "ok a");
    EXPECT_EQ(Read(Src(L"src/d.jpg")), "ok d");
    const auto lists = FailedLists(src());
    ASSERT_EQ(lists.size(), 1u);
    const std::string reason = "\t" + ToUtf8(kOutOfMemoryReason) + "\r\n";
    const std::string text = Read(lists[0]);
    EXPECT_NE(text.find(ToUtf8(Src(L"b.jpg")) + reason), std::string::npos) << text;
    EXPECT_NE(text.find(ToUtf8(Src(L"c.jpg")) + reason), std::string::npos) << text;
    EXPECT_EQ(Lines(text).size(), 2u);
    EXPECT_EQ(log.alive.load(), 0);
}

TEST_F(BatchRun, AWorkerStartsItsNextFileWithTheMemoryOfTheLastOneFree) {
    // One worker, files that finish every way: saved, dropped as blank,
    // failed on the worker, failed to write. While the user-interface thread
    // books a finished file (here: while it shows the progress), the worker
    // already asks for its next file's estimate; the finished file's
    // processor and budget share must be gone by then.
    ProcessSetting::rmblankpage.on = 1;
    const char* contents[] = {"ok mem=3", "blank mem=3", "bad mem=3", "nosave mem=3", "ok mem=3"};
    const int files = 5;
    for (int i = 0; i < files; ++i) Write(Src(L"f" + std::to_wstring(i) + L".jpg"), contents[i]);
    window.choices.requestedThreads = 1;
    log.budget = &engine->MemoryBudget();
    int progressCalls = 0;
    window.onProgressText = [&] {
        // Call 1 is the start; call k + 1 follows the k-th finished file.
        const int next = progressCalls++;
        if (next < 1 || next >= files) return;
        const auto until = std::chrono::steady_clock::now() + 2s;
        while (log.estimates.load() <= next && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(1ms);
    };
    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(engine->FailedCount(), 2);
    EXPECT_EQ(log.aliveAtEstimate, std::vector<int>(files, 1));
    EXPECT_EQ(log.budgetInUseAtEstimate, std::vector<std::uint64_t>(files, 0));
    EXPECT_EQ(log.alive.load(), 0);
    EXPECT_EQ(engine->MemoryBudget().InUse(), 0u);
}

TEST_F(BatchRun, BlankPagesAreDroppedOnlyWithBlankPageRemovalOn) {
    struct Case {
        int removal;
        const char* expected;  // the output afterwards
    };
    const Case cases[] = {{1, "<missing>"}, {0, "blank page"}};
    for (const auto& c : cases) {
        ProcessSetting::rmblankpage.on = c.removal;
        Write(Src(L"p.jpg"), "blank page");
        Write(Src(L"src/p.jpg"), "result of an earlier run");
        ASSERT_TRUE(MarkResultsFolder(Src(L"src"), src()));
        engine->OnStartStop();
        ASSERT_TRUE(RunToIdle());
        EXPECT_EQ(Read(Src(L"src/p.jpg")), c.expected) << c.removal;
        EXPECT_EQ(engine->FailedCount(), 0);
    }
}

TEST_F(BatchRun, RefusalsNameWhatIsMissingAndStartNothing) {
    struct Case {
        std::function<void(RunChoices&)> set;
        std::wstring message;
    };
    const Case cases[] = {
        {[](RunChoices& c) { c.sourceText.clear(); }, L"请选择要处理的图片所在文件夹."},
        {[](RunChoices& c) { c.newFolder = true; c.destinationText.clear(); }, L"请选择要保存到的文件夹."},
        {[](RunChoices& c) { c.deskew = false; c.background = false; }, L"至少要选择一种操作."},
    };
    Write(Src(L"a.jpg"), "ok");
    for (const auto& c : cases) {
        dialogs.Clear();
        RunChoices choices;
        choices.sourceText = src();
        c.set(choices);
        window.choices = choices;
        engine->OnStartStop();
        ASSERT_EQ(dialogs.MessageTexts(), std::vector<std::wstring>{c.message});
        EXPECT_EQ(dialogs.Shown()[0].caption, L"提示");
        EXPECT_EQ(engine->RunState(), RUN_STATE_IDLE);
        EXPECT_EQ(engine->AutoMode(), AUTO_MODE_OFF);
        EXPECT_EQ(engine->Pool().LiveThreads(), 0);
        EXPECT_EQ(window.timerStarts, 0);
        EXPECT_TRUE(window.progress.empty());
    }
    // With the quick steps off, any step of the settings will do.
    dialogs.Clear();
    ProcessSetting::dpi.on = 1;
    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle());
    EXPECT_TRUE(dialogs.MessageTexts().empty());
    EXPECT_EQ(Read(Src(L"src/a.jpg")), "ok");
}

TEST_F(BatchRun, NothingToProcessIsSaidOnceAndTheRunDoesNotStart) {
    Write(Src(L"a.JPG"), "ok");
    Write(Src(L"b.Tif"), "ok");
    Write(Src(L"notes.txt"), "ok");
    window.choices.reprocessAll = false;
    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(window.LastProgress().rfind(L"**********处理完成,总共处理了 2 张", 0), 0u);
    // Everything has its output now: the same choices find nothing to do.
    engine->OnStartStop();
    ASSERT_EQ(dialogs.MessageTexts(), std::vector<std::wstring>{L"选中的目录 在当前的设置下 没有文件需要处理."});
    EXPECT_EQ(dialogs.Shown()[0].caption, L"Tessavan");
    EXPECT_EQ(engine->RunState(), RUN_STATE_IDLE);
    EXPECT_EQ(window.buttonText, L"开始处理");
    // A missing output is queued again.
    ASSERT_TRUE(files::Remove(Src(L"src/b.Tif")));
    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(window.LastProgress().rfind(L"**********处理完成,总共处理了 1 张", 0), 0u);
    EXPECT_EQ(log.processed.back(), Src(L"b.Tif"));
}

TEST_F(BatchRun, ConcurrentFailuresAreAllCountedAndTheRunEndsOnce) {
    // The first four files wait at the gate until all four workers hold one,
    // so failures really come from several threads at once however fast the
    // machine hands out the rest.
    for (int i = 0; i < 40; ++i)
        Write(Src(L"f" + std::to_wstring(100 + i) + L".jpg"),
              std::string(i < 4 ? "gate " : "") + (i % 2 ? "ok" : "bad"));
    engine->OnStartStop();
    ASSERT_TRUE(PumpUntil([&] { return gate.Waiting() == 4; }));
    gate.Open();
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(engine->FailedCount(), 20);
    EXPECT_EQ(window.CountProgressStartingWith(kFinishedPrefix), 1);
    EXPECT_EQ(window.LastProgress().rfind(L"**********处理完成,总共处理了 40 张, 其中失败20张", 0), 0u);
    const auto lists = FailedLists(src());
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(Lines(Read(lists[0])).size(), 20u);
    EXPECT_GT(log.processThreads.size(), 1u);
    EXPECT_LE(log.processThreads.size(), 4u);
    // A late progress report after the end changes nothing.
    const auto shown = window.progress.size();
    PostMessage(engine->WindowHandle(), WM_PROGRESS, 40, 0);
    pump.Pump();
    EXPECT_EQ(window.progress.size(), shown);
    EXPECT_EQ(engine->RunState(), RUN_STATE_IDLE);
}

TEST_F(BatchRun, ASaveOnTheUiThreadAndAFailureOnAWorkerEndTheRunOnce) {
    // Two files finish at nearly the same moment: one is saved by the
    // user-interface thread while the other fails on its worker.
    Write(Src(L"a.jpg"), "gate ok");
    Write(Src(L"b.jpg"), "gate bad");
    window.choices.requestedThreads = 2;
    engine->OnStartStop();
    ASSERT_TRUE(PumpUntil([&] { return gate.Waiting() == 2; }));
    gate.Open();
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(engine->FailedCount(), 1);
    EXPECT_EQ(window.CountProgressStartingWith(kFinishedPrefix), 1);
    EXPECT_EQ(window.LastProgress().rfind(L"**********处理完成,总共处理了 2 张, 其中失败1张", 0), 0u);
    const auto lists = FailedLists(src());
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(Read(lists[0]), ToUtf8(Src(L"b.jpg")) + "\r\n");
}

TEST_F(BatchRun, SwitchingTheLayoutDuringARunReachesFilesTakenAfterwards) {
    struct Case {
        std::wstring destination;  // the live destination after the switch
        std::wstring expectedB;    // where b.jpg's result goes
    };
    // With no destination at all the source layout stays (never a folder at
    // the root of the file system).
    const Case cases[] = {{L"dst", L"dst/src/b.jpg"}, {L"", L"src/src/b.jpg"}};
    for (const auto& c : cases) {
        testdata::TempDir run;
        const std::wstring source = run.wfile(L"src");
        Write(PathJoin(source, L"a.jpg"), "gate a");
        Write(PathJoin(source, L"b.jpg"), "b");
        Gate local;
        engine->SetProcessorFactory([&] { return std::make_unique<FakeProcessor>(log, local); });
        window.choices.sourceText = source;
        window.choices.requestedThreads = 1;
        engine->SetSaveToNewFolder(false);
        engine->OnStartStop();
        ASSERT_TRUE(PumpUntil([&] { return local.Waiting() == 1; }));
        engine->SetDestinationFolder(c.destination.empty() ? L"" : run.wfile(c.destination));
        engine->SetSaveToNewFolder(true);
        local.Open();
        ASSERT_TRUE(RunToIdle());
        EXPECT_EQ(Read(run.wfile(L"src/src/a.jpg")), "gate a");
        EXPECT_EQ(Read(run.wfile(c.expectedB)), "b") << ToUtf8(c.expectedB);
        EXPECT_FALSE(files::Exists(L"/src/b.jpg"));
    }
}

TEST_F(BatchRun, ARunStartsRightAfterTheLastOneWithoutExtraWorkers) {
    for (int i = 0; i < 8; ++i) Write(Src(L"f" + std::to_wstring(i) + L".jpg"), "ok");
    for (int round = 0; round < 3; ++round) {
        engine->OnStartStop();
        ASSERT_TRUE(PumpUntil([&] { return engine->RunState() == RUN_STATE_IDLE; }));
        EXPECT_LE(engine->Pool().LiveThreads(), 4);
    }
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(log.processed.size(), 24u);
    EXPECT_EQ(window.CountProgressStartingWith(kFinishedPrefix), 3);
}

TEST_F(BatchRun, ADetectionRunNeverStartsAutoDetection) {
    Write(Src(L"a.jpg"), "ok");
    Write(Src(L"b.jpg"), "ok");
    window.choices.autoDetect = true;
    engine->StartProcessing(RUN_DETECTION);
    EXPECT_EQ(engine->AutoMode(), AUTO_MODE_OFF);
    EXPECT_EQ(engine->RunState(), RUN_STATE_IDLE);
    EXPECT_EQ(window.timerStarts, 0);
    EXPECT_EQ(window.detectionStarts, 1);
    ASSERT_TRUE(PumpUntil([&] { return engine->Pool().LiveThreads() == 0 && engine->Pool().AllDone(); }));
    pump.Pump();
    ASSERT_FALSE(window.detectionProgress.empty());
    EXPECT_EQ(window.detectionProgress.back(), 2);
    EXPECT_TRUE(window.progress.empty());  // the main window shows nothing for it
    // Its status line named each file while it was in progress, and names
    // none once the run is over.
    for (const auto& rel : {L"a.jpg", L"b.jpg"})
        EXPECT_NE(std::find(window.statuses.begin(), window.statuses.end(), L"正在处理: " + Src(rel)),
                  window.statuses.end());
    EXPECT_EQ(window.status, L"");
}

// Closing waits for the files in progress only: files whose workers still
// wait for memory are not begun (not processed, not listed as failed).
TEST_F(BatchRun, ClosingBeginsNoFileThatWasWaitingForMemory) {
    for (int i = 0; i < 3; ++i) Write(Src(L"f" + std::to_wstring(i) + L".jpg"), "gate ok mem=60");
    engine->SetMemoryBudget(100ull << 20);  // one file at a time
    window.choices.requestedThreads = 3;
    engine->OnStartStop();
    ASSERT_TRUE(PumpUntil([&] { return gate.Waiting() == 1 && log.estimates.load() == 3; }));
    CloseOpeningTheGateSoon();
    EXPECT_EQ(engine->Pool().LiveThreads(), 0);
    ASSERT_EQ(log.processed.size(), 1u);  // the file in progress
    EXPECT_EQ(Read(PathJoin(src(), L"src", PathFileName(log.processed[0]))), "gate ok mem=60");
    int results = 0;
    for (int i = 0; i < 3; ++i) results += files::Exists(Src(L"src/f" + std::to_wstring(i) + L".jpg")) ? 1 : 0;
    EXPECT_EQ(results, 1);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Read(Src(L"f" + std::to_wstring(i) + L".jpg")), "gate ok mem=60");
    EXPECT_EQ(engine->FailedCount(), 0);
    EXPECT_TRUE(FailedLists(src()).empty());
    EXPECT_EQ(engine->MemoryBudget().InUse(), 0u);
    EXPECT_EQ(log.alive.load(), 0);
    engine.reset();
}

TEST_F(BatchRun, ClosingDuringARunSavesTheFilesInProgressAndEndsEveryWorker) {
    for (int i = 0; i < 6; ++i) Write(Src(L"f" + std::to_wstring(i) + L".jpg"), "gate ok");
    window.choices.requestedThreads = 3;
    engine->OnStartStop();
    ASSERT_TRUE(PumpUntil([&] { return gate.Waiting() == 3; }));
    CloseOpeningTheGateSoon();
    EXPECT_EQ(engine->Pool().LiveThreads(), 0);
    EXPECT_EQ(log.processed.size(), 3u);
    for (const auto& p : log.processed) EXPECT_EQ(Read(PathJoin(src(), L"src", PathFileName(p))), "gate ok");
    EXPECT_EQ(log.alive.load(), 0);
    EXPECT_EQ(engine->ProcessorsInFlight(), 0u);
    engine.reset();  // nothing left to wait for
}

TEST_F(BatchRun, ClosingWhileAWorkerWaitsToReadItsFile) {
    Write(Src(L"a.jpg"), "ok");
    Write(Src(L"b.jpg"), "ok");
    engine->OnStartStop();
    // No message has been handled yet: the workers wait in the read.
    engine->Shutdown();
    EXPECT_EQ(engine->Pool().LiveThreads(), 0);
    EXPECT_EQ(log.alive.load(), 0);
    for (const auto& p : log.processed) EXPECT_EQ(Read(PathJoin(src(), L"src", PathFileName(p))), "ok");
}

TEST_F(BatchRun, ARunRemovesWhatKilledProcessesLeftInTheFoldersItWritesOnce) {
    // src/src holds the results of an earlier run, killed while it saved:
    // its temporary file is still there, beside one of a process that still
    // runs (this one) and a user's file of a like name. The failed-file list
    // goes into src, where a killed run's list file was left too.
    const std::wstring results = Src(L"src");
    Write(Src(L"a.jpg"), "ok a");
    Write(Src(L"b.jpg"), "gate ok b");
    Write(Src(L"c.jpg"), "bad c");
    ASSERT_TRUE(MarkResultsFolder(results, src()));
    const int ended = testdata::EndedProcessId();
    ASSERT_GT(ended, 0);
    const std::wstring killed = PathJoin(results, testdata::TemporaryNameOf(ended, 1));
    const std::wstring running = PathJoin(results, testdata::TemporaryNameOf(static_cast<int>(::getpid()), 2));
    const std::wstring users = PathJoin(results, L".tsv-notes.tmp");
    const std::wstring killedList = Src(testdata::TemporaryNameOf(ended, 3));
    for (const auto& path : {killed, running, users, killedList}) Write(path, "left");

    // One worker: a is saved (its folder swept) before b is taken.
    window.choices.requestedThreads = 1;
    engine->OnStartStop();
    ASSERT_TRUE(PumpUntil([&] { return gate.Waiting() == 1; }));
    EXPECT_FALSE(files::Exists(killed));
    // Left while the run goes on: that folder is not looked at again.
    const std::wstring later = PathJoin(results, testdata::TemporaryNameOf(ended, 4));
    Write(later, "left");
    gate.Open();
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(engine->FailedCount(), 1);
    EXPECT_EQ(Read(PathJoin(results, L"b.jpg")), "gate ok b");
    EXPECT_FALSE(files::Exists(killedList));
    for (const auto& path : {running, users, later}) EXPECT_EQ(Read(path), "left") << ToUtf8(path);

    // The next run sweeps it again.
    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle());
    EXPECT_FALSE(files::Exists(later));
    EXPECT_EQ(Read(running), "left");
    EXPECT_EQ(Read(users), "left");
}
