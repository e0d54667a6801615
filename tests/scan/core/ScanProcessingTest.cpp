// Processing while scanning: the scan road holds the user-interface thread
// for the whole scan, yet the batch engine's scan-and-process run takes,
// cleans and saves pages while the scanner is still feeding the next ones;
// the scan window's own messages wait until the scan is over.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "ScanFixture.h"
#include "app/core/BatchEngine.h"
#include "platform/core/ScriptedUserDialogs.h"
#include "settings/ProcessSetting.h"
#include "support/ImageFiles.h"

namespace {

using namespace scantest;
namespace fs = std::filesystem;

// The main window as far as the engine needs it.
class QuietWindow final : public IBatchWindow {
public:
    RunChoices ReadRunChoices() const override { return {}; }
    void SetProgressText(const std::wstring&) override {}
    void SetStatusText(const std::wstring&) override {}
    void SetStartButton(const std::wstring&, bool) override {}
    void SetAutoDetectTimer(bool) override {}
};

class ScanAndProcess : public ScanFixture {
protected:
    void SetUp() override {
        ScanFixture::SetUp();
        ProcessSetting::ResetToStart();
        ScanStepFlags::correct = 1;
        SetProcessorCountOverride(2);
        engine = std::make_unique<CBatchEngine>(batchWindow);
        mainWindow = RegisterWindow(&receiver);
        SetMainWindowHandle(mainWindow);
        engine->SetWindowHandle(mainWindow);
    }
    void TearDown() override {
        engine->StopScanProcessing();
        pump.PumpUntil([&] { return engine->RunState() == RUN_STATE_IDLE && engine->Pool().LiveThreads() == 0; },
                       std::chrono::seconds(60));
        engine.reset();
        SetMainWindowHandle(HWND());
        UnregisterWindow(mainWindow);
        SetProcessorCountOverride(0);
        ScanStepFlags::ResetToStart();
        ProcessSetting::ResetToStart();
        ScanFixture::TearDown();
    }
    // The results' names; each lies in the processed folder's copy of the
    // scan folder.
    std::vector<std::string> Processed() {
        std::vector<std::string> names;
        if (!fs::is_directory(processedDir.path())) return names;
        for (const auto& e : fs::recursive_directory_iterator(processedDir.path()))
            if (e.is_regular_file() && e.path().filename().string()[0] != '.') {
                EXPECT_EQ(e.path().parent_path(), ResultFolder());
                names.push_back(e.path().filename().string());
            }
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path ResultFolder() const { return fs::path(processedDir.path()) / fs::path(scanDir.path()).filename(); }

    struct Receiver final : IMessageReceiver {
        explicit Receiver(ScanAndProcess& f) : f_(f) {}
        LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
            LRESULT result = 0;
            if (f_.engine) f_.engine->HandleMessage(message, wParam, lParam, result);
            return result;
        }
        ScanAndProcess& f_;
    };

    ScriptedUserDialogs dialogs;
    QuietWindow batchWindow;
    std::unique_ptr<CBatchEngine> engine;
    Receiver receiver{*this};
    HWND mainWindow;
};

// A scanner that takes 0.6 s a page: by the time the last page is on disk
// the first ones are cleaned and saved, although the scan held the thread.
TEST_F(ScanAndProcess, PagesAreSavedBeforeTheScanEnds) {
    OpenScanner({"pages=8", "page_delay_ms=600", "strict=1"});
    BatchScanProcessing batch(*engine);
    g_scanMode = SCAN_APPEND;
    RunScan(app.get(), &batch, nullptr);

    // Read before any message is handled after the scan.
    const std::vector<std::string> savedDuringScan = Processed();
    const int doneDuringScan = engine->Pool().CountDone();
    EXPECT_EQ(window.count(), 0u) << "a scan window message was handled during the scan";
    const std::vector<std::string> scanned = {"000001.jpg", "000002.jpg", "000003.jpg", "000004.jpg",
                                              "000005.jpg", "000006.jpg", "000007.jpg", "000008.jpg"};
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(scanDir.path()))
        if (e.is_regular_file()) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, scanned);
    EXPECT_GE(savedDuringScan.size(), 2u) << "pages were only saved once the scan had ended";
    // A page is counted done when the engine hears it was saved: every page
    // counted is on disk, and a page asked for during the scan may land just
    // after it, before anyone has heard.
    EXPECT_LE(doneDuringScan, static_cast<int>(savedDuringScan.size()));
    for (const std::string& name : savedDuringScan)
        EXPECT_TRUE(std::find(scanned.begin(), scanned.end(), name) != scanned.end()) << name;

    // The scan window's messages come after the scan, then the rest of the
    // pages are processed as the scan window asks for them at once.
    EXPECT_EQ(Received(WM_SCANNED_FILE), 8);
    EXPECT_EQ(Received(WM_SCAN_ENDED), 1);
    engine->OnAutoDetectTick();
    EXPECT_TRUE(pump.PumpUntil(
        [&] {
            if (engine->Pool().CountDone() < 8) engine->OnAutoDetectTick();
            return engine->Pool().CountDone() >= 8;
        },
        std::chrono::seconds(60)));
    EXPECT_EQ(engine->FailedCount(), 0);
    EXPECT_EQ(Processed(), scanned);
    for (const std::string& name : Processed())
        EXPECT_TRUE(testimg::ReadJpeg((ResultFolder() / name).string()).ok) << name;
}

// A source slow to get ready: pages already in the scan folder are
// processed while the road waits for it.
TEST_F(ScanAndProcess, ProcessingGoesOnWhileWaitingForTheSource) {
    OpenScanner({"pages=2", "notify_delay_ms=3500", "strict=1"});
    // Two pages scanned without processing.
    g_scanMode = SCAN_APPEND;
    RunScan(app.get(), &processing, nullptr);
    ASSERT_EQ(Received(WM_SCAN_ENDED), 1);
    const std::size_t before = window.count();
    ASSERT_EQ(engine->RunState(), RUN_STATE_IDLE);

    BatchScanProcessing batch(*engine);
    g_scanMode = SCAN_APPEND;
    RunScan(app.get(), &batch, nullptr);
    EXPECT_EQ(window.count(), before) << "a scan window message was handled during the scan";
    EXPECT_EQ(Processed(), (std::vector<std::string>{"000001.jpg", "000002.jpg"}));
    EXPECT_EQ(engine->Pool().CountDone(), 2);
    EXPECT_TRUE(fs::exists(ScanPath("000004.jpg")));
}

// Scanning with processing on, then an insert-scan of four pages before
// doc_000003 and a replace-scan: every scanned page gets its result, and
// every result is the result of the scanned file of its name, and the run
// counts each page in the folder once, processed. Once with the
// first pages' results on disk before the insert, once inserting while they
// are still being processed.
class ScanAndProcessInsert : public ScanAndProcess, public ::testing::WithParamInterface<bool> {
protected:
    // What differs from every page having the result of its own name.
    std::string Mismatch() {
        std::string why;
        const std::vector<std::string> scanned = Listing();
        const std::vector<std::string> processed = Processed();
        if (processed != scanned) why += "results of other pages than scanned; ";
        for (const std::string& name : scanned) {
            const int page = PageOfJpeg(ScanPath(name));
            const fs::path result = ResultFolder() / name;
            const int got = fs::exists(result) ? PageOfJpeg(result.string()) : -2;
            if (page < 0 || got != page)
                why += name + ": page " + std::to_string(page) + ", result " + std::to_string(got) + "; ";
        }
        return why;
    }
    // Handles the engine's messages and rescans, as the main window would,
    // until every page has its own result.
    bool ResultsFollowPages() {
        return pump.PumpUntil(
            [&] {
                engine->OnAutoDetectTick();
                return Mismatch().empty();
            },
            std::chrono::seconds(60));
    }
    // The run's count of pages and of pages processed, what the scan
    // window's status line reads ("已扫描 n 张，已处理 d 张"), once they
    // have settled (or after ten seconds).
    std::string Counts(std::size_t pages) {
        std::size_t entries = 0;
        int done = 0;
        pump.PumpUntil(
            [&] {
                entries = engine->Pool().ItemCount();
                done = engine->Pool().CountDone();
                return entries == pages && done == static_cast<int>(pages);
            },
            std::chrono::seconds(10));
        return Counted(entries, done);
    }
    static std::string Counted(std::size_t entries, int done) {
        return std::to_string(entries) + " pages, " + std::to_string(done) + " processed";
    }
    std::vector<int> Pages() {
        std::vector<int> pages;
        for (const std::string& name : Listing()) pages.push_back(PageOfJpeg(ScanPath(name)));
        return pages;
    }
};

TEST_P(ScanAndProcessInsert, ResultsFollowTheirPages) {
    OpenScanner({"pages=4", "strict=1"});
    ScanSetting::prefix = L"doc_";
    BatchScanProcessing batch(*engine);
    g_scanMode = SCAN_APPEND;
    RunScan(app.get(), &batch, nullptr);
    ASSERT_EQ(engine->RunState(), RUN_STATE_STOPPABLE);
    if (GetParam()) {
        ASSERT_TRUE(ResultsFollowPages()) << Mismatch();
    }

    selected = L"doc_000003.jpg";
    g_scanMode = SCAN_INSERT;
    RunScan(app.get(), &batch, nullptr);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"doc_000001.jpg", "doc_000002.jpg", "doc_000003.jpg",
                                                   "doc_000004.jpg", "doc_000005.jpg", "doc_000006.jpg",
                                                   "doc_000007.jpg", "doc_000008.jpg"}));
    // Pages 4 to 7 of the session went in at 3 to 6, in order.
    EXPECT_EQ(Pages(), (std::vector<int>{0, 1, 4, 5, 6, 7, 2, 3}));
    EXPECT_TRUE(ResultsFollowPages()) << Mismatch();
    // Eight pages, each counted once: the two renamed with their results
    // are not new pages, the two now under their old names not extra ones.
    EXPECT_EQ(Counts(8), Counted(8, 8));

    // Replacing from doc_000007: four pages over 7 and 8, then 9 and 10.
    selected = L"doc_000007.jpg";
    g_scanMode = SCAN_REPLACE;
    g_replaceNumber = GetReplaceNumber();
    RunScan(app.get(), &batch, nullptr);
    EXPECT_EQ(Pages(), (std::vector<int>{0, 1, 4, 5, 6, 7, 0, 1, 2, 3}));  // pages 8 to 11
    EXPECT_TRUE(ResultsFollowPages()) << Mismatch();
    EXPECT_EQ(Counts(10), Counted(10, 10));
    EXPECT_EQ(engine->FailedCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Timing, ScanAndProcessInsert, ::testing::Values(true, false), [](const auto& info) {
    return info.param ? std::string("ResultsOnDiskFirst") : std::string("WhileProcessing");
});

}  // namespace
