// The fixed output size in whole runs with the program's image processor: a
// size the pipeline cannot make fails the file with its reason instead of
// saving the page at its own size, in plain runs and in scan-and-process
// runs alike; a size it can make is what every output gets.
#include "EngineHarness.h"

#include <algorithm>
#include <chrono>
#include <set>

#include "app/core/ImageProcessorRun.h"
#include "support/ImageFiles.h"

using namespace enginetest;

namespace {

enum class RunKind { kPlain, kScanAndProcess };

void PrintTo(RunKind kind, std::ostream* os) {
    *os << (kind == RunKind::kPlain ? "plain run" : "scan-and-process run");
}

class FixedOutputSizeRun : public EngineFixture, public ::testing::WithParamInterface<RunKind> {
protected:
    FixedOutputSizeRun() {
        engine->SetProcessorFactory(MakeImageProcessorRun);
        window.choices.deskew = false;
        window.choices.background = false;
        ProcessSetting::filesave.retaincolor = 1;
        ProcessSetting::output.maintainhw = 0;
        ScanSetting::scanFolder = tmp.wfile(L"Scan");
        ScanSetting::processedFolder = tmp.wfile(L"Process");
    }

    // The folder the run reads and the folder its outputs go to.
    std::wstring InputFolder(RunKind kind) const { return kind == RunKind::kPlain ? src() : tmp.wfile(L"Scan"); }
    std::wstring OutputFolder(RunKind kind) const {
        return kind == RunKind::kPlain ? PathJoin(src(), L"src") : PathJoin(tmp.wfile(L"Process"), L"Scan");
    }
    // Where the run's failed-file list goes.
    std::wstring ListFolder(RunKind kind) const { return kind == RunKind::kPlain ? src() : tmp.wfile(L"Process"); }

    // A colour JPEG and a three-page colour TIFF in the run's input folder.
    void WritePages(RunKind kind) {
        const std::string folder = ToUtf8(InputFolder(kind));
        ASSERT_EQ(CreateFolderPath(InputFolder(kind)), 1);
        ASSERT_TRUE(testimg::WriteJpeg(folder + "/colour.jpg", testimg::Pattern(64, 48, 3, 31), 90, 150));
        std::vector<testimg::TiffPage> pages;
        for (unsigned seed : {32u, 33u, 34u}) pages.emplace_back(testimg::Pattern(40, 30, 3, seed), 8, 2, 1);
        ASSERT_TRUE(testimg::WriteTiff(folder + "/pages.tif", pages));
    }

    // Runs over the input folder until both files are done and the run has
    // ended (a scan-and-process run is stopped once they are).
    void Run(RunKind kind) {
        if (kind == RunKind::kPlain) {
            ProcessSetting::output.on = 1;
            engine->OnStartStop();
            ASSERT_TRUE(RunToIdle(60000)) << "the run did not end";
            return;
        }
        ScanStepFlags::output = 1;
        engine->StartProcessing(RUN_SCAN_AND_PROCESS);
        ASSERT_EQ(engine->AutoMode(), AUTO_MODE_SCAN);
        // A file is taken once it has stayed the same over a tick.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        bool done = false;
        while (!done && std::chrono::steady_clock::now() < end) {
            engine->OnAutoDetectTick();
            done = PumpUntil([&] { return engine->Pool().ItemCount() == 2 && engine->Pool().AllDone(); }, 50);
        }
        ASSERT_TRUE(done) << "the scan-and-process run did not take and finish both files";
        engine->StopScanProcessing();
        ASSERT_TRUE(RunToIdle(60000)) << "the run did not end";
    }

    // The files below `folder` (their paths relative to it), folders
    // included with a trailing slash; the run's hidden marker left out.
    static std::set<std::wstring> Tree(const std::wstring& folder, const std::wstring& prefix = L"") {
        std::set<std::wstring> out;
        std::vector<files::DirEntry> entries;
        files::ListDirectory(folder, entries);
        for (const auto& e : entries) {
            if (e.isHidden) continue;
            if (e.isDirectory) {
                out.insert(prefix + e.name + L"/");
                for (const auto& inner : Tree(PathJoin(folder, e.name), prefix + e.name + L"/")) out.insert(inner);
            } else {
                out.insert(prefix + e.name);
            }
        }
        return out;
    }
};

}  // namespace

// Each kind of run on a fresh engine: runs from the scan window add their
// failures to the list of the runs before them.
INSTANTIATE_TEST_SUITE_P(Runs, FixedOutputSizeRun, ::testing::Values(RunKind::kPlain, RunKind::kScanAndProcess),
                         [](const ::testing::TestParamInfo<RunKind>& info) {
                             return info.param == RunKind::kPlain ? "Plain" : "ScanAndProcess";
                         });

// 32768 x 32768 is inside the settings' range, but a colour page of that
// size is beyond the image limits: neither file is saved (the TIFF leaves no
// page folder either), both are listed with the reason, and the sources stay
// as they were.
TEST_P(FixedOutputSizeRun, ASizeThatCannotBeMadeFailsTheFileWithItsReason) {
    const RunKind kind = GetParam();
    ProcessSetting::output.widpixel = 32768;
    ProcessSetting::output.heipixel = 32768;
    WritePages(kind);
    const std::wstring jpg = PathJoin(InputFolder(kind), L"colour.jpg");
    const std::wstring tif = PathJoin(InputFolder(kind), L"pages.tif");
    const std::string jpgBytes = Read(jpg), tifBytes = Read(tif);
    const auto before = Tree(InputFolder(kind));

    Run(kind);

    EXPECT_EQ(engine->FailedCount(), 2);
    if (kind == RunKind::kPlain) {
        EXPECT_EQ(window.LastProgress().rfind(L"**********处理完成,总共处理了 2 张, 其中失败2张", 0), 0u)
            << ToUtf8(window.LastProgress());
    }
    const auto lists = FailedLists(ListFolder(kind));
    ASSERT_EQ(lists.size(), 1u);
    const std::string list = Read(lists[0]);
    const std::string reason = "\t无法按 32768 x 32768 像素输出\r\n";
    EXPECT_NE(list.find(ToUtf8(jpg) + reason), std::string::npos) << list;
    EXPECT_NE(list.find(ToUtf8(tif) + reason), std::string::npos) << list;
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 2) << list;

    // No output at all: the output folder, if made, stays empty.
    const auto outputs = Tree(OutputFolder(kind));
    EXPECT_TRUE(outputs.empty()) << ToUtf8(*outputs.begin());
    EXPECT_EQ(Read(jpg), jpgBytes);
    EXPECT_EQ(Read(tif), tifBytes);
    auto after = Tree(InputFolder(kind));
    // The input folder gains only what the run itself makes there.
    for (const std::wstring& made : {std::wstring(L"src/"), PathFileName(lists[0])}) after.erase(made);
    EXPECT_EQ(after, before);
}

// A size that can be made is what the page is saved at, every page of the
// TIFF included, and nothing is listed.
TEST_P(FixedOutputSizeRun, ASizeThatCanBeMadeIsSaved) {
    const RunKind kind = GetParam();
    ProcessSetting::output.widpixel = 50;
    ProcessSetting::output.heipixel = 70;
    WritePages(kind);
    Run(kind);

    EXPECT_EQ(engine->FailedCount(), 0);
    EXPECT_TRUE(FailedLists(ListFolder(kind)).empty());
    const testimg::JpegInfo jpeg = testimg::ReadJpeg(ToUtf8(PathJoin(OutputFolder(kind), L"colour.jpg")));
    EXPECT_EQ(jpeg.width, 50);
    EXPECT_EQ(jpeg.height, 70);
    EXPECT_EQ(jpeg.components, 3);
    const auto pages = testimg::ReadTiff(ToUtf8(PathJoin(OutputFolder(kind), L"pages.tif")));
    ASSERT_EQ(pages.size(), 3u);
    for (const auto& page : pages) {
        EXPECT_EQ(page.width, 50);
        EXPECT_EQ(page.height, 70);
    }
    EXPECT_EQ(Tree(OutputFolder(kind)), (std::set<std::wstring>{L"colour.jpg", L"pages.tif"}));
}

// The memory a file is admitted with counts the fixed output size's canvas:
// 10000 x 10000 colour pixels from a small page need far more than a budget
// of 200 MB, so neither file is begun; each is listed with the memory it
// would need, nothing is written and the sources stay as they were.
TEST_P(FixedOutputSizeRun, TheMemoryBudgetCountsTheCanvas) {
    const RunKind kind = GetParam();
    engine->SetMemoryBudget(200ull << 20);
    ProcessSetting::output.widpixel = 10000;
    ProcessSetting::output.heipixel = 10000;
    WritePages(kind);
    const std::wstring jpg = PathJoin(InputFolder(kind), L"colour.jpg");
    const std::wstring tif = PathJoin(InputFolder(kind), L"pages.tif");
    const std::string jpgBytes = Read(jpg), tifBytes = Read(tif);

    Run(kind);

    EXPECT_EQ(engine->FailedCount(), 2);
    const auto lists = FailedLists(ListFolder(kind));
    ASSERT_EQ(lists.size(), 1u);
    const std::string list = Read(lists[0]);
    for (const std::wstring& path : {jpg, tif}) {
        const std::size_t line = list.find(ToUtf8(path) + "\t内存不足：处理此文件约需 ");
        ASSERT_NE(line, std::string::npos) << list;
        EXPECT_NE(list.find("超过内存预算 200 MB\r\n", line), std::string::npos) << list;
    }
    EXPECT_TRUE(Tree(OutputFolder(kind)).empty());
    EXPECT_EQ(Read(jpg), jpgBytes);
    EXPECT_EQ(Read(tif), tifBytes);
}
