#include "EngineHarness.h"

#include "app/core/ImageProcessorRun.h"
#include "support/ImageFiles.h"

#include <chrono>
#include <thread>

using namespace enginetest;
using namespace std::chrono_literals;

namespace {

class AutoRun : public EngineFixture {
protected:
    AutoRun() { window.choices.autoDetect = true; }
    // Timer ticks with messages handled between them until `done` (a new
    // file is taken once it has stayed the same over one tick).
    bool TickUntil(const std::function<bool()>& done, int ms = 10000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            engine->OnAutoDetectTick();
            if (PumpUntil(done, 50)) return true;
        }
        return false;
    }
};

}  // namespace

TEST_F(AutoRun, StartsOnAnEmptyFolderAndTakesFilesDroppedIn) {
    ASSERT_EQ(CreateFolderPath(src()), 1);
    engine->OnStartStop();
    EXPECT_TRUE(dialogs.MessageTexts().empty());
    EXPECT_EQ(engine->RunState(), RUN_STATE_STOPPABLE);
    EXPECT_EQ(engine->AutoMode(), AUTO_MODE_DETECT_NEW);
    EXPECT_EQ(window.buttonText, L"处理中,点击停止");
    EXPECT_TRUE(window.buttonEnabled);
    EXPECT_TRUE(window.timerOn);
    EXPECT_EQ(window.LastProgress(), L"**********自动检测中,处理进度 0 / 0 张, 0张失败************");
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(engine->Pool().LiveThreads(), 4);  // idle, waiting for files

    Write(Src(L"new.jpg"), "ok new");
    Write(Src(L"sub/two.png"), "bad");
    ASSERT_TRUE(TickUntil([&] { return engine->Pool().ItemCount() == 2 && engine->Pool().AllDone(); }));
    pump.Pump();
    EXPECT_EQ(Read(Src(L"src/new.jpg")), "ok new");
    EXPECT_EQ(window.LastProgress(), L"**********自动检测中,处理进度 2 / 2 张, 1张失败************");
    for (int index : log.indices) EXPECT_EQ(index, -1);  // auto-mode processors carry no item index
    // Waiting for new files, no file is in progress: the status line names none.
    EXPECT_NE(std::find(window.statuses.begin(), window.statuses.end(), L"正在处理: " + Src(L"new.jpg")),
              window.statuses.end());
    EXPECT_EQ(window.status, L"");
    EXPECT_EQ(engine->RunState(), RUN_STATE_STOPPABLE);

    // A tick that finds nothing new appends nothing.
    engine->OnAutoDetectTick();
    EXPECT_EQ(engine->Pool().ItemCount(), 2u);

    engine->OnStartStop();
    EXPECT_EQ(window.buttonText, L"正结束，请等待");
    EXPECT_FALSE(window.timerOn);
    EXPECT_EQ(engine->RunState(), RUN_STATE_IDLE);
    EXPECT_EQ(engine->AutoMode(), AUTO_MODE_OFF);
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(window.buttonText, L"开始处理");
    EXPECT_TRUE(window.buttonEnabled);
    // Stopped and ended: the line no longer says it detects new files.
    EXPECT_EQ(window.LastProgress().rfind(L"**********处理完成,总共处理了 2 张, 其中失败1张.用了 ", 0), 0u)
        << ToUtf8(window.LastProgress());
    EXPECT_EQ(window.CountProgressStartingWith(kFinishedPrefix), 1);
    const auto lists = FailedLists(src());
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(Read(lists[0]), ToUtf8(Src(L"sub/two.png")) + "\r\n");
}

TEST_F(AutoRun, StopWaitsForTheFilesInProgressAndListsTheirFailures) {
    Write(Src(L"a.jpg"), "gate ok");
    Write(Src(L"b.jpg"), "gate bad");
    window.choices.requestedThreads = 2;
    engine->OnStartStop();
    ASSERT_TRUE(PumpUntil([&] { return gate.Waiting() == 2; }));
    engine->OnStartStop();  // stop
    EXPECT_TRUE(FailedLists(src()).empty());  // nothing failed yet
    // From the stop on the line counts the files still in progress.
    EXPECT_EQ(window.LastProgress(), L"**********处理中请等待,处理进度 0 / 2 张, 失败0张************");
    PumpUntil([] { return false; }, 200);
    // The workers are still busy: the button stays disabled and a start is refused.
    EXPECT_TRUE(engine->Stopping());
    EXPECT_EQ(window.buttonText, L"正结束，请等待");
    EXPECT_FALSE(window.buttonEnabled);
    engine->OnStartStop();
    EXPECT_EQ(engine->Pool().ItemCount(), 2u);
    EXPECT_EQ(engine->Pool().LiveThreads(), 2);

    gate.Open();
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(window.buttonText, L"开始处理");
    EXPECT_TRUE(window.buttonEnabled);
    EXPECT_EQ(Read(Src(L"src/a.jpg")), "gate ok");  // still saved after the stop
    // The files finishing after the stop are counted; the run ends once,
    // when the last of them is finished.
    EXPECT_EQ(window.CountProgressStartingWith(L"**********处理中请等待,处理进度 1 / 2 张, 失败"), 1);
    EXPECT_EQ(window.LastProgress().rfind(L"**********处理完成,总共处理了 2 张, 其中失败1张.用了 ", 0), 0u)
        << ToUtf8(window.LastProgress());
    EXPECT_EQ(window.CountProgressStartingWith(L"**********自动检测中"), 1);  // before the stop only
    const auto lists = FailedLists(src());
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(Read(lists[0]), ToUtf8(Src(L"b.jpg")) + "\r\n");
    EXPECT_EQ(window.CountProgressStartingWith(kFinishedPrefix), 1);
}

TEST_F(AutoRun, AFileWhoseOutputVanishesIsProcessedAgainAndTheRunStillStops) {
    window.choices.reprocessAll = false;
    window.choices.requestedThreads = 1;
    Write(Src(L"a.jpg"), "ok");
    engine->OnStartStop();
    ASSERT_TRUE(PumpUntil([&] { return files::Exists(Src(L"src/a.jpg")) && engine->Pool().AllDone(); }));
    // Processed: its output keeps it out of the next ticks' candidates.
    engine->OnAutoDetectTick();
    EXPECT_EQ(engine->QueueLength(), 1);
    Write(Src(L"b.jpg"), "ok");
    ASSERT_TRUE(TickUntil([&] { return files::Exists(Src(L"src/b.jpg")) && engine->Pool().AllDone(); }));
    EXPECT_EQ(engine->QueueLength(), 1);  // the queue is the tick's candidates: b only

    ASSERT_TRUE(files::Remove(Src(L"src/a.jpg")));
    ASSERT_TRUE(TickUntil([&] { return files::Exists(Src(L"src/a.jpg")) && engine->Pool().AllDone(); }));
    const auto items = engine->Pool().Items();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].path, items[2].path);
    for (const auto& item : items) EXPECT_EQ(item.state, WorkItem::kDone);

    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle(5000));
    EXPECT_EQ(window.buttonText, L"开始处理");
}

// Without making results again, a tick's candidates are the files still
// without a result: the progress counts every file the run has taken up.
TEST_F(AutoRun, TheProgressCountsEveryFileTakenAlsoThoseWithResults) {
    window.choices.reprocessAll = false;
    window.choices.requestedThreads = 1;
    Write(Src(L"a.jpg"), "ok");
    Write(Src(L"b.jpg"), "ok");
    engine->OnStartStop();
    ASSERT_TRUE(PumpUntil([&] { return engine->Pool().CountDone() == 2; }));
    pump.Pump();
    EXPECT_EQ(window.LastProgress(), L"**********自动检测中,处理进度 2 / 2 张, 0张失败************");
    Write(Src(L"c.jpg"), "bad");
    ASSERT_TRUE(TickUntil([&] { return engine->Pool().CountDone() == 3; }));
    pump.Pump();
    EXPECT_EQ(engine->QueueLength(), 1);  // only c has no result
    EXPECT_EQ(window.LastProgress(), L"**********自动检测中,处理进度 3 / 3 张, 1张失败************");
    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Read(Src(L"c.jpg")), "bad");  // a source is never touched
}

TEST_F(AutoRun, ScanAndProcessRunsOnTheScanFoldersAndStopsFromTheScanWindow) {
    const std::wstring scan = tmp.wfile(L"Scan");
    const std::wstring processed = tmp.wfile(L"Process");
    ScanSetting::scanFolder = scan;
    ScanSetting::processedFolder = processed;
    ASSERT_EQ(CreateFolderPath(scan), 1);

    // No processing step in the scan window: no run and no message.
    engine->StartProcessing(RUN_SCAN_AND_PROCESS);
    EXPECT_EQ(engine->RunState(), RUN_STATE_IDLE);
    EXPECT_EQ(engine->AutoMode(), AUTO_MODE_OFF);
    EXPECT_TRUE(dialogs.MessageTexts().empty());

    ScanStepFlags::Set(0, true);
    engine->StartProcessing(RUN_SCAN_AND_PROCESS);
    EXPECT_EQ(engine->RunState(), RUN_STATE_STOPPABLE);
    EXPECT_EQ(engine->AutoMode(), AUTO_MODE_SCAN);
    EXPECT_TRUE(window.timerOn);
    EXPECT_EQ(engine->QuickSteps(), 1);  // the bits of no validation yet
    // The start button does not stop it.
    engine->OnStartStop();
    EXPECT_EQ(engine->RunState(), RUN_STATE_STOPPABLE);

    Write(PathJoin(scan, L"day1/p1.jpg"), "ok p1");
    const int refreshes = window.scanRefreshes;
    ASSERT_TRUE(TickUntil([&] { return files::Exists(PathJoin(processed, L"Scan/day1/p1.jpg")); }));
    pump.Pump();
    EXPECT_GT(window.scanRefreshes, refreshes);
    EXPECT_TRUE(window.progress.empty());  // the main window shows no text for it

    // A page that cannot be read is listed in the processed folder, the
    // run's own destination, whatever the main window's folders are.
    Write(PathJoin(scan, L"day1/p2.jpg"), "bad");
    ASSERT_TRUE(TickUntil([&] { return engine->FailedCount() == 1; }));

    engine->StopScanProcessing();
    EXPECT_EQ(window.scanStopping, 1);
    EXPECT_EQ(engine->RunState(), RUN_STATE_IDLE);
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(window.buttonText, L"开始处理");
    const auto lists = FailedLists(processed);
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(Read(lists[0]), ToUtf8(PathJoin(scan, L"day1/p2.jpg")) + "\r\n");
    EXPECT_TRUE(FailedLists(src()).empty());
}

TEST_F(AutoRun, ClosingDuringAutoDetectionEndsTheIdleWorkers) {
    ASSERT_EQ(CreateFolderPath(src()), 1);
    engine->OnStartStop();
    ASSERT_EQ(engine->Pool().LiveThreads(), 4);
    engine->Shutdown();
    EXPECT_EQ(engine->Pool().LiveThreads(), 0);
    EXPECT_FALSE(window.timerOn);
    EXPECT_EQ(engine->AutoMode(), AUTO_MODE_OFF);
}

TEST_F(AutoRun, AStopSettlesTheFilesNeverTaken) {
    Write(Src(L"a.jpg"), "gate a");
    Write(Src(L"b.jpg"), "ok b");
    Write(Src(L"c.jpg"), "ok c");
    window.choices.requestedThreads = 1;
    engine->OnStartStop();
    ASSERT_TRUE(PumpUntil([&] { return gate.Waiting() == 1; }));
    engine->OnStartStop();  // stop while b and c wait
    gate.Open();
    ASSERT_TRUE(RunToIdle());
    // The dialogs that refuse to close while the pool is busy can close.
    EXPECT_TRUE(engine->Pool().AllDone());
    EXPECT_EQ(log.processed, std::vector<std::wstring>{Src(L"a.jpg")});
    EXPECT_EQ(Read(Src(L"src/a.jpg")), "gate a");
    EXPECT_FALSE(files::Exists(Src(L"src/b.jpg")));
}

TEST_F(AutoRun, AFileTakenJustBeforeAScanStopKeepsTheRunsLayout) {
    const std::wstring scan = tmp.wfile(L"Scan");
    const std::wstring processed = tmp.wfile(L"Process");
    ScanSetting::scanFolder = scan;
    ScanSetting::processedFolder = processed;
    ScanStepFlags::Set(0, true);
    Write(PathJoin(scan, L"p1.jpg"), "ok p1");
    Write(PathJoin(scan, L"p2.jpg"), "ok p2");
    // The worker's processor for its first file is made only after the stop.
    Gate made;
    std::atomic<int> calls{0};
    engine->SetProcessorFactory([&] {
        if (calls++ == 0) made.Wait();
        return std::make_unique<FakeProcessor>(log, gate);
    });
    window.choices.requestedThreads = 1;
    gate.Open();
    engine->StartProcessing(RUN_SCAN_AND_PROCESS);
    ASSERT_TRUE(PumpUntil([&] { return made.Waiting() == 1; }));
    engine->StopScanProcessing();
    made.Open();
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(Read(PathJoin(processed, L"Scan/p1.jpg")), "ok p1");
    EXPECT_FALSE(files::Exists(PathJoin(scan, L"Scan")));
    // Nothing was taken once the stop was seen.
    EXPECT_EQ(log.processed, std::vector<std::wstring>{PathJoin(scan, L"p1.jpg")});
    EXPECT_EQ(calls.load(), 1);
    EXPECT_TRUE(engine->Pool().AllDone());
}

TEST_F(AutoRun, AStoppedRunKeepsOneFailedListAcrossAMinute) {
    // The stop writes the list in one minute, the files finishing after it
    // are written in the next: into the same file.
    int minute = 10;
    engine->SetClock([&] {
        SYSTEMTIME t;
        t.wYear = 2024;
        t.wMonth = 5;
        t.wDay = 6;
        t.wHour = 7;
        t.wMinute = static_cast<WORD>(minute);
        return t;
    });
    Write(Src(L"a.jpg"), "bad a");
    Write(Src(L"b.jpg"), "gate bad b");
    window.choices.requestedThreads = 2;
    engine->OnStartStop();
    ASSERT_TRUE(PumpUntil([&] { return gate.Waiting() == 1 && engine->FailedCount() == 1; }));
    engine->OnStartStop();  // stop: the list holds a
    ASSERT_EQ(FailedLists(src()).size(), 1u);
    minute = 11;
    gate.Open();
    ASSERT_TRUE(RunToIdle());
    const auto lists = FailedLists(src());
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(PathFileName(lists[0]), L"image_failed_2024-05-06_0710.txt");
    EXPECT_EQ(Read(lists[0]), ToUtf8(Src(L"a.jpg")) + "\r\n" + ToUtf8(Src(L"b.jpg")) + "\r\n");
}

namespace {

// A real page and its JPEG bytes, for files written in pieces.
std::string JpegBytes(unsigned seed) {
    testdata::TempDir t;
    EXPECT_TRUE(testimg::WriteJpeg(t.file("p.jpg"), testimg::Pattern(64, 48, 3, seed), 90, 150));
    return testdata::ReadFileText(t.wfile(L"p.jpg"));
}

class AutoImageRun : public AutoRun {
protected:
    AutoImageRun() {
        engine->SetProcessorFactory(MakeImageProcessorRun);
        window.choices.deskew = false;
        window.choices.background = false;
        ProcessSetting::dpi.on = 1;
        ProcessSetting::dpi.dst = 200;
        EXPECT_EQ(CreateFolderPath(src()), 1);
    }
    // Appends bytes to a file as a scanner or a copy does.
    void Append(const std::wstring& path, const std::string& bytes) {
        std::FILE* f = _wfopen(path.c_str(), L"ab");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        std::fclose(f);
    }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i) {
            engine->OnAutoDetectTick();
            PumpUntil([] { return false; }, 20);
        }
    }
};

}  // namespace

TEST_F(AutoImageRun, AFileIsTakenOnlyOnceItHasStoppedGrowing) {
    const std::string bytes = JpegBytes(21);
    const std::wstring page = Src(L"scan.jpg");
    engine->OnStartStop();
    // Written in three pieces with a tick after each.
    const std::size_t third = bytes.size() / 3;
    Append(page, bytes.substr(0, third));
    Ticks(1);
    Append(page, bytes.substr(third, third));
    Ticks(1);
    Append(page, bytes.substr(2 * third));
    Ticks(1);
    EXPECT_EQ(engine->Pool().ItemCount(), 0u) << "taken while it was still growing";
    ASSERT_TRUE(TickUntil([&] { return engine->Pool().ItemCount() == 1 && engine->Pool().AllDone(); }, 30000));
    EXPECT_EQ(engine->FailedCount(), 0);
    EXPECT_EQ(testimg::ReadJpeg(ToUtf8(Src(L"src/scan.jpg"))).xDensity, 200);
    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle());
    EXPECT_TRUE(FailedLists(src()).empty());
}

TEST_F(AutoImageRun, AFileThatFailedIsTakenAgainOnceItChanges) {
    const std::string bytes = JpegBytes(22);
    const std::wstring page = Src(L"scan.jpg");
    engine->OnStartStop();
    // The writer stalls halfway for longer than a tick: the half file is
    // taken and fails.
    Append(page, bytes.substr(0, bytes.size() / 2));
    ASSERT_TRUE(TickUntil([&] { return engine->FailedCount() == 1 && engine->Pool().AllDone(); }, 30000));
    EXPECT_FALSE(files::Exists(Src(L"src/scan.jpg")));
    // The rest arrives: the file is taken again and its failure withdrawn.
    Append(page, bytes.substr(bytes.size() / 2));
    ASSERT_TRUE(TickUntil([&] { return files::Exists(Src(L"src/scan.jpg")) && engine->Pool().AllDone(); }, 30000));
    EXPECT_EQ(engine->FailedCount(), 0);
    EXPECT_EQ(engine->Pool().ItemCount(), 2u);
    EXPECT_EQ(testimg::ReadJpeg(ToUtf8(Src(L"src/scan.jpg"))).xDensity, 200);
    // An unchanged file is not taken again.
    Ticks(3);
    EXPECT_EQ(engine->Pool().ItemCount(), 2u);
    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle());
    EXPECT_TRUE(FailedLists(src()).empty());
}

namespace {

// A scan-and-process run on folders of its own below the test's folder.
class ScanRun : public AutoRun {
protected:
    void UseFolders(const std::wstring& name) {
        scan = tmp.wfile(name);
        processed = tmp.wfile(name + L"-results");
        ScanSetting::scanFolder = scan;
        ScanSetting::processedFolder = processed;
        ScanStepFlags::Set(0, true);
    }
    std::wstring Page(const std::wstring& name) const { return PathJoin(scan, name); }
    std::wstring Result(const std::wstring& name) const { return PathJoin(processed, PathFileName(scan), name); }
    int TimesProcessed(const std::wstring& path) {
        std::lock_guard lock(log.m);
        return static_cast<int>(std::count(log.processed.begin(), log.processed.end(), path));
    }
    std::wstring scan, processed;
};

}  // namespace

// A page whose content changed under a name the run has already processed
// (an insert- or replace-scan put another page there) is processed again,
// once, by the item it had; a stop before that settles it like any item
// never taken.
TEST_F(ScanRun, AChangedPageIsProcessedAgainOrSettledByAStop) {
    window.choices.requestedThreads = 1;
    Gate gates[2];
    for (const bool stopFirst : {false, true}) {
        SCOPED_TRACE(stopFirst ? "stop first" : "processed again");
        Gate& gate = gates[stopFirst ? 1 : 0];
        engine->SetProcessorFactory([this, &gate] { return std::make_unique<FakeProcessor>(log, gate); });
        UseFolders(stopFirst ? L"ScanB" : L"ScanA");
        Write(Page(L"p1.jpg"), "ok p1");
        Write(Page(L"p2.jpg"), "gate p2");
        engine->StartProcessing(RUN_SCAN_AND_PROCESS);
        ASSERT_EQ(engine->AutoMode(), AUTO_MODE_SCAN);
        // p1 is done and p2 is held: the queue still holds both.
        ASSERT_TRUE(PumpUntil([&] { return gate.Waiting() == 1 && files::Exists(Result(L"p1.jpg")); }));
        ASSERT_TRUE(files::Remove(Result(L"p1.jpg")));
        Write(Page(L"p1.jpg"), "ok new p1");
        engine->ProcessAgain(Page(L"p1.jpg"));
        engine->OnAutoDetectTick();
        auto items = engine->Pool().Items();
        ASSERT_EQ(items.size(), 2u);
        EXPECT_EQ(items[0].state, WorkItem::kPending);
        EXPECT_EQ(engine->Pool().CountDone(), 0);
        if (stopFirst) {
            engine->StopScanProcessing();
            gate.Open();
            ASSERT_TRUE(RunToIdle());
            EXPECT_TRUE(engine->Pool().AllDone());
            EXPECT_EQ(TimesProcessed(Page(L"p1.jpg")), 1);
            EXPECT_FALSE(files::Exists(Result(L"p1.jpg")));
        } else {
            gate.Open();
            ASSERT_TRUE(TickUntil([&] { return Read(Result(L"p1.jpg")) == "ok new p1"; }));
            ASSERT_TRUE(PumpUntil([&] { return engine->Pool().AllDone(); }));
            EXPECT_EQ(TimesProcessed(Page(L"p1.jpg")), 2);
            EXPECT_EQ(engine->Pool().Items().size(), 2u);
            EXPECT_EQ(Read(Result(L"p2.jpg")), "gate p2");
            engine->StopScanProcessing();
            ASSERT_TRUE(RunToIdle());
        }
    }
}

// Before scanned files are renamed or rewritten, the files among them that
// a worker has already read are finished and saved; no other file is read
// meanwhile (it would be read before the change).
TEST_F(ScanRun, FilesAboutToChangeAreFinishedFirst) {
    UseFolders(L"Scan");
    window.choices.requestedThreads = 2;
    // The second processor is made only when the test lets it.
    Gate made;
    std::atomic<int> calls{0};
    engine->SetProcessorFactory([&] {
        if (calls++ == 1) made.Wait();
        return std::make_unique<FakeProcessor>(log, gate);
    });
    Write(Page(L"p1.jpg"), "gate p1");
    engine->StartProcessing(RUN_SCAN_AND_PROCESS);
    ASSERT_TRUE(PumpUntil([&] { return gate.Waiting() == 1; }));
    EXPECT_EQ(log.readsOnUiThread.load(), 1);
    // p2 arrives; the idle worker takes it (two ticks: it has to stay the
    // same over one) and asks for it to be read, with nothing handling
    // messages.
    Write(Page(L"p2.jpg"), "ok p2");
    engine->OnAutoDetectTick();
    engine->OnAutoDetectTick();
    const auto waitWithoutMessages = [](const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (!done() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
        return done();
    };
    ASSERT_TRUE(waitWithoutMessages([&] { return made.Waiting() == 1; }));
    made.Open();
    ASSERT_TRUE(waitWithoutMessages([&] { return engine->ProcessorsInFlight() == 2; }));
    // While p1 cannot finish, p2 is not read, and the wait for p1 ends at
    // its deadline.
    EXPECT_FALSE(engine->FinishWorkOn({Page(L"p1.jpg"), Page(L"p2.jpg")}, 300ms));
    EXPECT_EQ(log.readsOnUiThread.load(), 1);
    EXPECT_FALSE(files::Exists(Result(L"p1.jpg")));
    // Once p1 can finish, the wait ends with its result on disk, though
    // nothing else handled the engine's messages.
    gate.Open();
    EXPECT_TRUE(engine->FinishWorkOn({Page(L"p1.jpg")}, 60s));
    EXPECT_EQ(Read(Result(L"p1.jpg")), "gate p1");
    EXPECT_EQ(log.readsOnUiThread.load(), 1);
    // A file nobody has read is nothing to wait for.
    EXPECT_TRUE(engine->FinishWorkOn({Page(L"p2.jpg"), Page(L"p3.jpg")}, 60s));
    ASSERT_TRUE(PumpUntil([&] { return files::Exists(Result(L"p2.jpg")); }));
    EXPECT_EQ(log.readsOnUiThread.load(), 2);
    engine->StopScanProcessing();
    ASSERT_TRUE(RunToIdle());
}
