// Whole runs driven through the main window by control id, with the
// program's image processor, offscreen.
#include <QImage>
#include <QWidget>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/MainWindowFixture.h"
#include "app/core/RunResults.h"
#include "support/BatchTree.h"
#include "support/FakeRunProcessor.h"
#include "support/ImageFiles.h"

namespace {

using testdata::BatchTreeOutputProblems;

class BatchE2E : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        ASSERT_TRUE(testdata::WriteBatchTree(tmp.file("src")));
        // A step whose effect every output shows: the resolution.
        ProcessSetting::dpi.on = 1;
        ProcessSetting::dpi.dst = 200;
    }
    // Unticks the quick steps, so the outputs keep their input's size.
    void QuickStepsOff(DialogDriver& d) {
        ASSERT_TRUE(d.Click(IDC_DESKEW));
        ASSERT_TRUE(d.Click(IDC_BACKGROUND));
    }
    // Starts a run and waits for its end.
    void RunOnce(DialogDriver& d) {
        ASSERT_TRUE(d.Click(IDC_START));
        EXPECT_EQ(d.Text(IDC_START), L"处理中...");
        EXPECT_FALSE(d.IsEnabled(IDC_START));
        ASSERT_TRUE(WaitForIdle(d));
    }
    void ExpectFinished(DialogDriver& d, int done, int failed) {
        const std::wstring prefix = L"**********处理完成,总共处理了 " + std::to_wstring(done) + L" 张, 其中失败" +
                                    std::to_wstring(failed) + L"张.用了 ";
        const std::wstring text = d.Text(IDC_PROGRESS);
        EXPECT_EQ(text.rfind(prefix, 0), 0u) << ToUtf8(text);
        EXPECT_EQ(text.substr(text.size() - 14), L" 秒************") << ToUtf8(text);
    }
    // The one failed-file list in `folder`: its name carries a minute of the
    // run, its content the bad file's path.
    void ExpectFailedList(const std::wstring& folder, const SYSTEMTIME& before, const SYSTEMTIME& after) {
        const auto lists = FailedLists(folder);
        ASSERT_EQ(lists.size(), 1u);
        const std::wstring name = PathFileName(lists[0]);
        EXPECT_TRUE(name == FailedListFileName(before) || name == FailedListFileName(after)) << ToUtf8(name);
        EXPECT_EQ(Read(lists[0]), tmp.file("src/bad.jpg") + "\r\n");
    }
    static std::string InSourceLayout(const std::string& root, const std::string& rel) {
        const auto slash = rel.rfind('/');
        const std::string folder = slash == std::string::npos ? root : root + "/" + rel.substr(0, slash);
        return folder + "/" + folder.substr(folder.rfind('/') + 1) + "/" + rel.substr(slash + 1);
    }

    testdata::TempDir tmp;
};

void ExpectNoProblems(const std::vector<std::string>& problems, const std::string& where) {
    for (const auto& p : problems) ADD_FAILURE() << where << ": " << p;
}

}  // namespace

TEST_F(BatchE2E, ResultsIntoTheSourceFolders) {
    Open([&](DialogDriver& d) {
        ChooseFolders(d, tmp.wfile(L"src"));
        QuickStepsOff(d);
        SYSTEMTIME before, after;
        GetLocalTime(&before);
        RunOnce(d);
        GetLocalTime(&after);
        ExpectFinished(d, 5, 1);
        EXPECT_EQ(d.Text(IDC_STATUS), L"");
        ExpectNoProblems(BatchTreeOutputProblems(
                             testdata::BatchTreeQueueSourceLayout(),
                             [&](const std::string& rel) { return InSourceLayout(tmp.file("src"), rel); }, 200),
                         "source folders");
        ExpectFailedList(tmp.wfile(L"src"), before, after);
        EXPECT_EQ(dlg->Engine().ProcessorsInFlight(), 0u);
        EXPECT_TRUE(dialogs->MessageTexts().empty());

        // The main window with a finished run, for the documentation.
        QWidget* window = dlg->Widget()->window();
        const char* dir = std::getenv("TESSAVAN_SCREENSHOT_DIR");
        const std::string file = (dir ? std::string(dir) : tmp.path()) + "/main-window.png";
        ASSERT_TRUE(window->grab().save(QString::fromStdString(file), "PNG"));
        const QImage shot(QString::fromStdString(file));
        ASSERT_FALSE(shot.isNull());
        EXPECT_EQ(shot.size(), window->size());
        // The progress line is drawn in orange.
        QWidget* progress = dlg->GetDlgItem(IDC_PROGRESS)->Widget();
        const QRect line(progress->mapTo(window, QPoint(0, 0)), progress->size());
        int orange = 0;
        for (int y = line.top(); y <= line.bottom(); ++y)
            for (int x = line.left(); x <= line.right(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                orange += std::abs(c.red() - 200) < 40 && std::abs(c.green() - 127) < 40 && c.blue() < 60;
            }
        EXPECT_GT(orange, 50);
    });
}

TEST_F(BatchE2E, ResultsIntoANewFolderWithSubfoldersOnAndOffAndReprocessAll) {
    const std::wstring out = tmp.wfile(L"out");
    const std::wstring flat = tmp.wfile(L"flat");
    Open([&](DialogDriver& d) {
        QuickStepsOff(d);
        ChooseFolders(d, tmp.wfile(L"src"), out);
        SYSTEMTIME before, after;
        GetLocalTime(&before);
        RunOnce(d);
        GetLocalTime(&after);
        ExpectFinished(d, 6, 1);
        ExpectNoProblems(BatchTreeOutputProblems(testdata::BatchTreeQueueNewFolder(),
                                                 [&](const std::string& rel) { return ToUtf8(out) + "/src/" + rel; },
                                                 200),
                         "new folder");
        ExpectFailedList(out, before, after);
        EXPECT_TRUE(FailedLists(tmp.wfile(L"src")).empty());

        // Reprocess-all off: only the file without an output is taken again.
        ASSERT_TRUE(d.Click(IDC_REPROCESS_ALL));
        RunOnce(d);
        ExpectFinished(d, 1, 1);

        // A missing output is made again.
        ASSERT_TRUE(files::Remove(PathJoin(out, L"src/sub/c.tif")));
        RunOnce(d);
        ExpectFinished(d, 2, 1);
        EXPECT_EQ(testimg::ReadTiff(ToUtf8(out) + "/src/sub/c.tif").size(), 3u);

        // Sub-folders off, into another folder.
        ASSERT_TRUE(d.Click(IDC_REPROCESS_ALL));
        ASSERT_TRUE(d.Click(IDC_INCLUDE_SUBFOLDERS));
        dialogs->AnswerFolder(flat);
        ASSERT_TRUE(d.Click(IDC_BROWSE_DESTINATION));
        RunOnce(d);
        ExpectFinished(d, 3, 1);
        ExpectNoProblems(BatchTreeOutputProblems({"a.jpg", "B.PNG", "bad.jpg"},
                                                 [&](const std::string& rel) { return ToUtf8(flat) + "/src/" + rel; },
                                                 200),
                         "no sub-folders");
    });
}

TEST_F(BatchE2E, AutoDetectionTakesFilesDroppedIntoTheTree) {
    const std::wstring src = tmp.wfile(L"watched");
    ASSERT_EQ(CreateFolderPath(src), 1);
    Open([&](DialogDriver& d) {
        ChooseFolders(d, src);
        ASSERT_TRUE(d.Click(IDC_AUTO_DETECT));
        ASSERT_TRUE(d.Click(IDC_START));
        EXPECT_TRUE(dialogs->MessageTexts().empty());
        EXPECT_EQ(d.Text(IDC_PROGRESS), L"**********自动检测中,处理进度 0 / 0 张, 0张失败************");
        EXPECT_EQ(d.Text(IDC_START), L"处理中,点击停止");
        EXPECT_TRUE(d.IsEnabled(IDC_START));

        // Pages appear while the run goes on (the timer looks every second).
        ASSERT_TRUE(testimg::WriteJpeg(tmp.file("watched/p1.jpg"), testimg::Pattern(64, 48, 3, 11), 90, 150));
        ASSERT_TRUE(PumpUntil([&] { return files::Exists(PathJoin(src, L"watched/p1.jpg")); },
                              std::chrono::seconds(20)));
        std::filesystem::create_directories(tmp.file("watched/day2"));
        ASSERT_TRUE(testimg::WritePng(tmp.file("watched/day2/p2.png"), testimg::Pattern(40, 30, 1, 12), 0, 8));
        ASSERT_TRUE(PumpUntil([&] { return files::Exists(PathJoin(src, L"day2/day2/p2.png")); },
                              std::chrono::seconds(20)));
        ASSERT_TRUE(PumpUntil([&] { return d.Text(IDC_PROGRESS).find(L"处理进度 2 / 2 张") != std::wstring::npos; }));

        ASSERT_TRUE(d.Click(IDC_START));  // stop
        EXPECT_EQ(d.Text(IDC_START), L"正结束，请等待");
        EXPECT_FALSE(d.IsEnabled(IDC_START));
        ASSERT_TRUE(WaitForIdle(d));
        EXPECT_EQ(dlg->AutoMode(), AUTO_MODE_OFF);
    });
}

TEST_F(BatchE2E, StoppingAutoDetectionReturnsToIdleOnlyAfterTheWorkersEnd) {
    const std::wstring src = tmp.wfile(L"watched");
    ASSERT_EQ(CreateFolderPath(src), 1);
    testdata::ProcessorLog log;
    testdata::Gate gate;
    dlg->Engine().SetProcessorFactory([&] { return std::make_unique<testdata::FakeProcessor>(log, gate); });
    Open([&](DialogDriver& d) {
        ChooseFolders(d, src);
        ASSERT_TRUE(d.Click(IDC_AUTO_DETECT));
        ASSERT_TRUE(d.Click(IDC_START));
        ASSERT_TRUE(files::WriteAllAtomic(PathJoin(src, L"slow.jpg"), "gate ok", 7));
        ASSERT_TRUE(PumpUntil([&] { return gate.Waiting() == 1; }, std::chrono::seconds(20)));
        ASSERT_TRUE(d.Click(IDC_START));  // stop while the file is in progress
        PumpUntil([] { return false; }, std::chrono::milliseconds(300));
        EXPECT_EQ(d.Text(IDC_START), L"正结束，请等待");
        EXPECT_FALSE(d.IsEnabled(IDC_START));
        EXPECT_FALSE(d.Click(IDC_START));  // a disabled button cannot be clicked
        EXPECT_GT(dlg->Pool().LiveThreads(), 0);
        gate.Open();
        ASSERT_TRUE(WaitForIdle(d));
        EXPECT_EQ(Read(PathJoin(src, L"watched/slow.jpg")), "gate ok");  // still saved
    });
}

TEST_F(BatchE2E, ClosingDuringARunEndsTheWorkersAndKeepsEveryFinishedOutput) {
    const std::string many = tmp.file("many");
    std::filesystem::create_directories(many);
    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(testimg::WriteJpeg(many + "/p" + std::to_string(100 + i) + ".jpg",
                                       testimg::Pattern(600, 800, 3, static_cast<unsigned>(i)), 90, 150));
    SetProcessorCountOverride(2);
    std::size_t outputsAtClose = 0;
    Open([&](DialogDriver& d) {
        ChooseFolders(d, FromUtf8(many));
        QuickStepsOff(d);
        ASSERT_TRUE(d.Click(IDC_START));
        ASSERT_TRUE(PumpUntil([&] { return dlg->Pool().CountDone() >= 2; }));
        outputsAtClose = static_cast<std::size_t>(dlg->Pool().CountDone());
        d.Close();  // Esc during the run
    });
    EXPECT_EQ(dlg->Pool().LiveThreads(), 0);
    EXPECT_EQ(dlg->Engine().ProcessorsInFlight(), 0u);
    // Every file in progress was finished and saved whole; a file taken but
    // not yet read when the close began was not begun (no output, no
    // failure); nothing else was touched.
    std::size_t saved = 0;
    for (const auto& item : dlg->Pool().Items()) {
        EXPECT_NE(item.state, WorkItem::kTaken) << ToUtf8(item.path);
        const std::string out = many + "/many/" + ToUtf8(PathFileName(item.path));
        if (item.state == WorkItem::kDone && std::filesystem::exists(out)) {
            ++saved;
            const auto j = testimg::ReadJpeg(out);
            EXPECT_TRUE(j.ok && j.width == 600 && j.height == 800) << out;
        } else {
            EXPECT_FALSE(std::filesystem::exists(out)) << out;
        }
    }
    EXPECT_GE(saved, outputsAtClose);
    EXPECT_LT(saved, 40u) << "the run was cut short";
    EXPECT_EQ(dlg->FailedCount(), 0);
    EXPECT_TRUE(FailedLists(FromUtf8(many)).empty());
}
