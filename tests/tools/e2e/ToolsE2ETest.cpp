// The tools as a user runs them: opened from the main window's menu, folders
// chosen through the folder browser, started with their buttons, on real
// image files.
#include <QImage>

#include <filesystem>
#include <map>

#include "../ToolWindowFixture.h"
#include "../XlsxReader.h"
#include "platform/core/Files.h"
#include "platform/core/Strings.h"
#include "processing/ArchiveSeal.h"
#include "support/ImageFiles.h"
#include "support/RunOutput.h"
#include "tools/GenerateSealDlg.h"
#include "tools/ImgStatisticBySizeDlg.h"

namespace {

namespace fs = std::filesystem;

using ToolsE2E = ToolWindowTest;

testimg::Picture Paper(int w, int h, int channels, std::uint8_t level) {
    testimg::Picture p(w, h, channels);
    std::fill(p.pixels.begin(), p.pixels.end(), level);
    return p;
}

void WriteBilevelTiff(const std::string& path, int w, int h, float dpi) {
    testimg::TiffPage page(Paper(w, h, 1, 0), 1, 0, 4);  // white, fax-coded
    page.dpi = dpi;
    ASSERT_TRUE(testimg::WriteTiff(path, {page}));
}

TEST_F(ToolsE2E, PageSizeStatisticsOfAMixedTreeExportedToCsvAndWorkbook) {
    fs::create_directories(dir.file("pages/sub"));
    fs::create_directories(dir.file("result"));
    ASSERT_TRUE(testimg::WriteJpeg(dir.file("pages/a4.jpg"), Paper(2480, 3508, 1, 250), 80, 300));
    ASSERT_TRUE(testimg::WriteJpeg(dir.file("pages/a4-landscape.JPEG"), Paper(3508, 2480, 1, 250), 80, 300));
    WriteBilevelTiff(dir.file("pages/sub/a3.tif"), 3508, 4961, 300);
    WriteBilevelTiff(dir.file("pages/sub/a2.TIFF"), 4961, 7016, 300);
    ASSERT_TRUE(testimg::WriteJpeg(dir.file("pages/sub/small,150.jpg"), Paper(1240, 1754, 3, 240), 80, 150));
    const std::string junk = "no image";
    ASSERT_TRUE(files::WriteAllAtomic(FromUtf8(dir.file("pages/bad.jpg")), junk.data(), junk.size()));
    ASSERT_TRUE(testimg::WritePng(dir.file("pages/ignored.png"), Paper(10, 10, 1, 0), 0, 8));

    OpenMain([&](DialogDriver& m) {
        OpenTool(m, ID_MENU_PAGE_STATISTICS, IDD_STATISTIC_BY_SIZE_DIALOG, [&](CDialog& w, DialogDriver& d) {
            auto& stats = static_cast<CImgStatisticBySizeDlg&>(w);
            // Start-up state.
            for (int id : {int{IDC_TOOL_INCLUDE_SUBFOLDERS}, int{IDC_STAT_TIFF}, int{IDC_STAT_JPEG}, int{IDC_STAT_A3},
                           int{IDC_STAT_A4}, int{IDC_STAT_CSV}})
                EXPECT_TRUE(d.IsChecked(id)) << id;
            EXPECT_FALSE(d.IsChecked(IDC_STAT_A2));
            EXPECT_FALSE(d.IsEnabled(IDC_STAT_MARGIN));
            EXPECT_EQ(d.Text(IDC_STAT_MARGIN), L"3");

            // What users get wrong, in the order the dialog checks it.
            ASSERT_TRUE(d.Click(IDC_TOOL_START));
            dialogs->AnswerFolder(dir.wfile(L"pages"));
            ASSERT_TRUE(d.Click(IDC_TOOL_BROWSE_SOURCE));
            ASSERT_TRUE(d.Click(IDC_TOOL_START));
            dialogs->AnswerFolder(dir.wfile(L"result"));
            ASSERT_TRUE(d.Click(IDC_STAT_BROWSE_RESULT));
            dialogs->AnswerFolder(std::nullopt);  // a cancelled choice keeps the folder
            ASSERT_TRUE(d.Click(IDC_STAT_BROWSE_RESULT));
            EXPECT_EQ(d.Text(IDC_TOOL_OUTPUT_FOLDER), dir.wfile(L"result"));
            ASSERT_TRUE(d.Click(IDC_STAT_TIFF));
            ASSERT_TRUE(d.Click(IDC_STAT_JPEG));
            ASSERT_TRUE(d.Click(IDC_TOOL_START));
            ASSERT_TRUE(d.Click(IDC_STAT_TIFF));
            ASSERT_TRUE(d.Click(IDC_STAT_JPEG));
            for (int id : {int{IDC_STAT_A3}, int{IDC_STAT_A4}}) ASSERT_TRUE(d.Click(id));
            ASSERT_TRUE(d.Click(IDC_TOOL_START));
            for (int id : {int{IDC_STAT_A2}, int{IDC_STAT_A3}, int{IDC_STAT_A4}}) ASSERT_TRUE(d.Click(id));
            ASSERT_TRUE(d.Click(IDC_STAT_ALLOW_MARGIN));
            EXPECT_TRUE(d.IsEnabled(IDC_STAT_MARGIN));
            ASSERT_TRUE(d.Type(IDC_STAT_MARGIN, L"nan"));
            ASSERT_TRUE(d.Click(IDC_TOOL_START));
            ASSERT_TRUE(d.Type(IDC_STAT_MARGIN, L"60"));
            ASSERT_TRUE(d.Click(IDC_TOOL_START));
            EXPECT_EQ(dialogs->MessageTexts(),
                      (std::vector<std::wstring>{L"请选择要处理的图片所在文件夹.", L"请选择结果要保存到的文件夹.",
                                                 L"请选择要处理的图片格式.", L"请选择要处理的纸张类型.",
                                                 L"请填入合法的百分比,[0,50].", L"请填入合法的百分比,[0,50]."}));
            ASSERT_TRUE(d.Click(IDC_STAT_ALLOW_MARGIN));

            // The CSV export.
            dialogs->Clear();
            ASSERT_TRUE(d.Click(IDC_TOOL_START));
            EXPECT_EQ(stats.Total(), 6) << "jpg, jpeg, tif and tiff files; png files are not taken";
            ASSERT_TRUE(PumpUntil([&] { return !stats.Busy(); }, std::chrono::seconds(60)));
            EXPECT_TRUE(d.IsEnabled(IDC_TOOL_START));
            EXPECT_EQ(d.Text(IDC_TOOL_PROGRESS).rfind(L"**********处理完成,总共处理了6张.用了", 0), 0u);
            const std::wstring csv = stats.LastExport();
            ASSERT_FALSE(csv.empty());
            EXPECT_EQ(dialogs->MessageTexts(), std::vector<std::wstring>{L"导出CSV文件 " + csv + L" 成功."});
            const std::string expected = "\xEF\xBB\xBF" + ToUtf8(L"名称,类型,分辨率,垂直分辨率,水平分辨率,A4,A3,A2\n"
                                                              L"a4-landscape.JPEG,JPG,3508X2480,300,300,1,0,0\n"
                                                              L"a4.jpg,JPG,2480X3508,300,300,1,0,0\n"
                                                              L"a2.TIFF,TIFF,4961X7016,300,300,0,0,1\n"
                                                              L"a3.tif,TIFF,3508X4961,300,300,0,1,0\n"
                                                              L"\"small,150.jpg\",JPG,1240X1754,150,150,1,0,0\n");
            EXPECT_EQ(testdata::ReadFileText(csv), expected);

            // The workbook export, read back by another reader.
            dialogs->Clear();
            ASSERT_TRUE(d.Click(IDC_STAT_XLS));
            ASSERT_TRUE(d.Click(IDC_TOOL_START));
            ASSERT_TRUE(PumpUntil([&] { return !stats.Busy(); }, std::chrono::seconds(60)));
            const std::wstring xlsx = stats.LastExport();
            ASSERT_EQ(PathExtension(xlsx), L"xlsx");
            EXPECT_EQ(dialogs->MessageTexts(), std::vector<std::wstring>{L"导出Excel文件 " + xlsx + L" 成功."});
            const auto book = testdata::ReadWorkbook(ToUtf8(xlsx));
            ASSERT_TRUE(book.ok);
            EXPECT_EQ(book.sheets, std::vector<std::string>{"Sheet1"});
            const std::vector<std::vector<std::wstring>> rows = {
                {L"名称", L"类型", L"分辨率", L"垂直分辨率", L"水平分辨率", L"A4", L"A3", L"A2"},
                {L"a4-landscape.JPEG", L"JPG", L"3508X2480", L"300", L"300", L"1", L"0", L"0"},
                {L"a4.jpg", L"JPG", L"2480X3508", L"300", L"300", L"1", L"0", L"0"},
                {L"a2.TIFF", L"TIFF", L"4961X7016", L"300", L"300", L"0", L"0", L"1"},
                {L"a3.tif", L"TIFF", L"3508X4961", L"300", L"300", L"0", L"1", L"0"},
                {L"small,150.jpg", L"JPG", L"1240X1754", L"150", L"150", L"1", L"0", L"0"}};
            EXPECT_EQ(book.rows, rows);

            // An empty folder: nothing starts, nothing is shown.
            fs::create_directories(dir.file("empty"));
            dialogs->Clear();
            dialogs->AnswerFolder(dir.wfile(L"empty"));
            ASSERT_TRUE(d.Click(IDC_TOOL_BROWSE_SOURCE));
            ASSERT_TRUE(d.Click(IDC_TOOL_START));
            EXPECT_FALSE(stats.Busy());
            EXPECT_TRUE(dialogs->MessageTexts().empty());
        });
    });
}

// A colour A4 page at 300 dpi, light grey paper with a dark band, in a
// lossless format, so every pixel outside the seal can be compared.
testimg::Picture A4Page() {
    testimg::Picture p = Paper(2480, 3508, 3, 235);
    for (int y = 1000; y < 1100; ++y)
        for (int x = 0; x < 2480; ++x) p.at(x, y, 0) = p.at(x, y, 1) = p.at(x, y, 2) = 20;
    return p;
}

bool IsLineColour(const testimg::Picture& p, int x, int y) {
    return p.at(x, y, 0) > 150 && p.at(x, y, 1) < 80 && p.at(x, y, 2) < 80;  // red
}

TEST_F(ToolsE2E, ArchiveSealJobStampsTheFirstPageOfEachFolderAndCopiesTheRest) {
    const std::string folder = "archive/X-1-01-2";
    fs::create_directories(dir.file(folder));
    fs::create_directories(dir.file("out"));
    testimg::TiffPage page(A4Page(), 8, 2, 5);
    page.dpi = 300;
    ASSERT_TRUE(testimg::WriteTiff(dir.file(folder + "/X-1-01-2-1.tif"), {page}));
    ASSERT_TRUE(testimg::WriteJpeg(dir.file(folder + "/X-1-01-2-2.jpg"), Paper(800, 600, 3, 200), 85, 300));

    OpenMain([&](DialogDriver& m) {
        OpenTool(m, ID_MENU_SEAL, IDD_GENERATE_SEAL_DIALOG, [&](CDialog& w, DialogDriver& d) {
            auto& seal = static_cast<CGenerateSealDlg&>(w);
            EXPECT_EQ(d.Text(IDC_SEAL_LINE_WIDTH), L"8");
            EXPECT_EQ(d.Text(IDC_SEAL_RATIO_WIDTH), L"23.0");
            EXPECT_EQ(d.Text(IDC_SEAL_RATIO_HEIGHT), L"7.0");
            EXPECT_EQ(d.Text(IDC_SEAL_TITLE_FONT), L"微软雅黑");
            EXPECT_TRUE(d.IsChecked(IDC_SEAL_BY_RATIO));
            EXPECT_FALSE(d.IsEnabled(IDC_SEAL_FIXED_WIDTH));
            EXPECT_TRUE(d.IsChecked(IDC_SEAL_FROM_RIGHT));
            EXPECT_FALSE(d.IsEnabled(IDC_SEAL_LEFT));
            ASSERT_TRUE(d.Click(IDC_SEAL_BY_FIXED_SIZE));
            EXPECT_TRUE(d.IsEnabled(IDC_SEAL_FIXED_WIDTH));
            EXPECT_FALSE(d.IsEnabled(IDC_SEAL_RATIO_WIDTH));
            ASSERT_TRUE(d.Click(IDC_SEAL_BY_RATIO));
            ASSERT_TRUE(d.Click(IDC_SEAL_FROM_LEFT));
            EXPECT_TRUE(d.IsEnabled(IDC_SEAL_LEFT));
            EXPECT_FALSE(d.IsEnabled(IDC_SEAL_RIGHT));
            ASSERT_TRUE(d.Click(IDC_SEAL_FROM_RIGHT));
            dialogs->AnswerColor(RGB(200, 0, 0));
            ASSERT_TRUE(d.Click(IDC_SEAL_LINE_COLOR));
            EXPECT_EQ(seal.settings.lineColor, RGB(200, 0, 0));

            // What users get wrong: no folders, the output being the source's
            // parent (the stamped page would replace its original).
            ASSERT_TRUE(d.Click(IDC_TOOL_START));
            dialogs->AnswerFolder(dir.wfile(L"archive"));
            ASSERT_TRUE(d.Click(IDC_TOOL_BROWSE_SOURCE));
            ASSERT_TRUE(d.Click(IDC_TOOL_START));
            dialogs->AnswerFolder(dir.wpath());
            ASSERT_TRUE(d.Click(IDC_SEAL_BROWSE_OUTPUT));
            ASSERT_TRUE(d.Click(IDC_TOOL_START));
            const auto messages = dialogs->MessageTexts();
            ASSERT_EQ(messages.size(), 3u);
            EXPECT_EQ(messages[0], L"请选择要处理的图片所在文件夹.");
            EXPECT_EQ(messages[1], L"请选择要保存到的文件夹.");
            EXPECT_NE(messages[2].find(L"不能"), std::wstring::npos);
            EXPECT_FALSE(seal.Running());

            dialogs->Clear();
            dialogs->AnswerFolder(dir.wfile(L"out"));
            ASSERT_TRUE(d.Click(IDC_SEAL_BROWSE_OUTPUT));
            ASSERT_TRUE(d.Click(IDC_TOOL_START));
            EXPECT_FALSE(d.IsEnabled(IDC_TOOL_START)) << "one job at a time";
            ASSERT_TRUE(PumpUntil([&] { return !seal.Running(); }, std::chrono::seconds(60)));
            EXPECT_TRUE(d.IsEnabled(IDC_TOOL_START));
            EXPECT_EQ(seal.Total(), 2);
            EXPECT_EQ(d.Text(IDC_TOOL_PROGRESS).rfind(L"**********处理完成,总共处理了2张.用了", 0), 0u);
            EXPECT_TRUE(dialogs->MessageTexts().empty()) << "nothing failed";
        });
    });

    // The copy is the original, byte for byte.
    EXPECT_EQ(testdata::ReadFileText(FromUtf8(dir.file("out/archive/X-1-01-2/X-1-01-2-2.jpg"))),
              testdata::ReadFileText(FromUtf8(dir.file(folder + "/X-1-01-2-2.jpg"))));
    // The stamped page: frame and dividers where the geometry puts them,
    // every pixel outside the seal unchanged.
    const auto pages = testimg::ReadTiff(dir.file("out/archive/X-1-01-2/X-1-01-2-1.tif"));
    ASSERT_EQ(pages.size(), 1u);
    const testimg::Picture& out = pages[0].rgb;
    const testimg::Picture in = A4Page();
    const SealLayout l = ComputeSealLayout(SealSettings{}, 2480, 3508, 300);
    ASSERT_EQ(l.x, 1784);
    ASSERT_EQ(l.y, 59);
    const int midX = l.x + (l.dividerX + l.width) / 2;
    EXPECT_TRUE(IsLineColour(out, midX, l.y + l.half)) << "top edge of the frame";
    EXPECT_TRUE(IsLineColour(out, midX, l.y + l.height - l.half - 1)) << "bottom edge";
    EXPECT_TRUE(IsLineColour(out, l.x + l.half, l.y + l.height / 2 + 20)) << "left edge";
    EXPECT_TRUE(IsLineColour(out, l.x + l.width - l.half - 1, l.y + l.height / 2 + 20)) << "right edge";
    EXPECT_TRUE(IsLineColour(out, l.x + l.dividerX, l.y + l.height / 4)) << "vertical divider";
    EXPECT_TRUE(IsLineColour(out, l.x + l.width / 6, l.y + l.height / 2)) << "horizontal divider";
    EXPECT_FALSE(IsLineColour(out, l.x + l.dividerX - 20, l.y + l.height / 2 - 20)) << "inside a cell, off the lines";
    // Text in every cell: dark value glyphs in the lower cells.
    auto darkIn = [&](const RECT& r) {
        int n = 0;
        for (int y = l.y + r.top; y < l.y + r.bottom; ++y)
            for (int x = l.x + r.left; x < l.x + r.right; ++x)
                if (out.at(x, y, 0) < 100 && out.at(x, y, 1) < 100 && out.at(x, y, 2) < 100) ++n;
        return n;
    };
    EXPECT_GT(darkIn(l.valueCells[0]), 200);
    EXPECT_GT(darkIn(l.valueCells[1]), 50);
    int changed = 0;
    for (int y = 0; y < 3508; ++y)
        for (int x = 0; x < 2480; ++x) {
            const bool inSeal = x >= l.x && x < l.x + l.width && y >= l.y && y < l.y + l.height;
            if (!inSeal && (out.at(x, y, 0) != in.at(x, y, 0) || out.at(x, y, 1) != in.at(x, y, 1) ||
                            out.at(x, y, 2) != in.at(x, y, 2)))
                ++changed;
        }
    EXPECT_EQ(changed, 0);
    // The picture in the README: the stamped corner of the page.
    if (const char* shots = std::getenv("TESSAVAN_SCREENSHOT_DIR")) {
        QImage corner(l.width + 80, l.height + 80, QImage::Format_RGB888);
        for (int y = 0; y < corner.height(); ++y)
            for (int x = 0; x < corner.width(); ++x) {
                const int px = l.x - 40 + x, py = l.y - 40 + y;
                corner.setPixel(x, y, qRgb(out.at(px, py, 0), out.at(px, py, 1), out.at(px, py, 2)));
            }
        EXPECT_TRUE(corner.save(QString::fromStdString(std::string(shots) + "/seal.png")));
    }
}

TEST_F(ToolsE2E, FolderDifferenceCopiesTheMissingImages) {
    for (const char* f : {"A/box1/1.jpg", "A/box1/2.jpg", "A/box1/s/3.tif", "B/box1/1.jpg"}) {
        fs::create_directories(fs::path(dir.file(f)).parent_path());
        const std::string content = f;
        ASSERT_TRUE(files::WriteAllAtomic(FromUtf8(dir.file(f)), content.data(), content.size()));
    }
    fs::create_directories(dir.file("C"));
    OpenMain([&](DialogDriver& m) {
        OpenTool(m, ID_MENU_FOLDER_DIFF, IDD_MORE_FEATURES_DIALOG, [&](CDialog& w, DialogDriver& d) {
            auto& more = static_cast<CMoreFeaturesDlg&>(w);
            DialogDriver page(more.page);
            ASSERT_TRUE(page.IsVisible(IDC_DIFF_FOLDER_A));
            ASSERT_TRUE(d.Click(IDC_DIFF_EXECUTE));
            dialogs->AnswerFolder(dir.wfile(L"A/box1"));
            ASSERT_TRUE(page.Click(IDC_DIFF_BROWSE_A));
            dialogs->AnswerFolder(dir.wfile(L"A/box1"));
            ASSERT_TRUE(page.Click(IDC_DIFF_BROWSE_B));
            dialogs->AnswerFolder(dir.wfile(L"C"));
            ASSERT_TRUE(page.Click(IDC_DIFF_BROWSE_C));
            ASSERT_TRUE(d.Click(IDC_DIFF_EXECUTE));
            dialogs->AnswerFolder(dir.wfile(L"B/box1"));
            ASSERT_TRUE(page.Click(IDC_DIFF_BROWSE_B));
            ASSERT_TRUE(d.Click(IDC_DIFF_EXECUTE));
            ASSERT_TRUE(d.Click(IDC_DIFF_EXECUTE));  // the same again: C/box1 now exists
            EXPECT_EQ(dialogs->MessageTexts(),
                      (std::vector<std::wstring>{L"目录不能为空.", L"A 和 B不能为同一目录.",
                                                 L"执行完成，共发现 2个 文件只存在A中,并复制了它们到目标位置",
                                                 L"选择的C 下面已存在同名的文件夹."}));
        });
    });
    EXPECT_EQ(testdata::ReadFileText(FromUtf8(dir.file("C/box1/2.jpg"))), "A/box1/2.jpg");
    EXPECT_EQ(testdata::ReadFileText(FromUtf8(dir.file("C/box1/s/3.tif"))), "A/box1/s/3.tif");
    EXPECT_FALSE(fs::exists(dir.file("C/box1/1.jpg")));
}

// The pages of the detection runs below: src/margins.png, a small dark
// block in the middle of white paper (wide margins), and src/full.png,
// content from edge to edge (no white margin); and an empty dst.
void WriteDetectionPages(const testdata::TempDir& dir) {
    fs::create_directories(dir.file("src"));
    fs::create_directories(dir.file("dst"));
    testimg::Picture margins = Paper(600, 800, 1, 255);
    for (int y = 350; y < 450; ++y)
        for (int x = 250; x < 350; ++x) margins.at(x, y) = 0;
    ASSERT_TRUE(testimg::WritePng(dir.file("src/margins.png"), margins, 0, 8, {}, 100));
    ASSERT_TRUE(testimg::WritePng(dir.file("src/full.png"), testimg::Pattern(600, 800, 1, 4), 0, 8, {}, 100));
}

// In the main window: src as the folder to process, results into dst.
void ChooseSrcIntoDst(DialogDriver& m, ScriptedUserDialogs& dialogs, const testdata::TempDir& dir) {
    dialogs.AnswerFolder(dir.wfile(L"src"));
    ASSERT_TRUE(m.Click(IDC_BROWSE_SOURCE));
    ASSERT_TRUE(m.Click(IDC_SAVE_TO_NEW_FOLDER));
    dialogs.AnswerFolder(dir.wfile(L"dst"));
    ASSERT_TRUE(m.Click(IDC_BROWSE_DESTINATION));
}

TEST_F(ToolsE2E, ADetectionRunFromItsDialogCopiesThePagesWithWideWhiteMargins) {
    ASSERT_NO_FATAL_FAILURE(WriteDetectionPages(dir));
    OpenMain([&](DialogDriver& m) {
        ASSERT_NO_FATAL_FAILURE(ChooseSrcIntoDst(m, *dialogs, dir));
        OpenTool(m, ID_MENU_DETECT, IDD_DETECT_DIALOG, [&](CDialog&, DialogDriver& d) {
            ASSERT_TRUE(d.Click(IDC_DETECT_WHITE_MARGIN));
            ASSERT_TRUE(d.Click(IDC_DETECT_EXECUTE));
            ASSERT_TRUE(PumpUntil([&] { return d.Text(IDC_DETECT_PROGRESS).find(L"处理完成") != std::wstring::npos; },
                                  std::chrono::seconds(60)));
            EXPECT_EQ(d.Text(IDC_DETECT_PROGRESS).rfind(L"**********处理完成,总共处理了2张.用了", 0), 0u)
                << ToUtf8(d.Text(IDC_DETECT_PROGRESS));
        });
        ASSERT_TRUE(PumpUntil([&] { return main->Engine().Pool().LiveThreads() == 0; }));
    });
    EXPECT_TRUE(fs::exists(dir.file("dst/src/margins.png")));
    EXPECT_FALSE(fs::exists(dir.file("dst/src/full.png")));
    EXPECT_TRUE(dialogs->MessageTexts().empty());
}

TEST_F(ToolsE2E, ADetectionRunIntoTheResultsOfABatchRunIsRefusedAndReplacesNothing) {
    ASSERT_NO_FATAL_FAILURE(WriteDetectionPages(dir));
    // Every file below dst with its bytes.
    const auto results = [&] {
        std::map<std::string, std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(dir.file("dst")))
            if (e.is_regular_file()) out[e.path().string()] = testdata::ReadFileText(FromUtf8(e.path().string()));
        return out;
    };
    std::map<std::string, std::string> batch;
    OpenMain([&](DialogDriver& m) {
        ASSERT_NO_FATAL_FAILURE(ChooseSrcIntoDst(m, *dialogs, dir));
        ASSERT_TRUE(m.Click(IDC_START));
        ASSERT_TRUE(PumpUntil([&] { return main->RunState() == RUN_STATE_IDLE; }, std::chrono::seconds(60)));
        ASSERT_TRUE(PumpUntil([&] { return main->Engine().Pool().LiveThreads() == 0; }));
        batch = results();
        ASSERT_EQ(batch.count(dir.file("dst/src/margins.png")), 1u);
        ASSERT_NE(batch[dir.file("dst/src/margins.png")], testdata::ReadFileText(dir.wfile(L"src/margins.png")));
        OpenTool(m, ID_MENU_DETECT, IDD_DETECT_DIALOG, [&](CDialog&, DialogDriver& d) {
            ASSERT_TRUE(d.Click(IDC_DETECT_WHITE_MARGIN));
            ASSERT_TRUE(d.Click(IDC_DETECT_EXECUTE));
            EXPECT_EQ(dialogs->MessageTexts(),
                      std::vector<std::wstring>{L"检测出的图片要复制到目录 " + dir.wfile(L"dst/src") +
                                                L"，但其中已有同名文件 full.png，复制会覆盖它。请选择其他保存目录，或先移走该目录中的文件。"});
            EXPECT_TRUE(d.IsEnabled(IDC_DETECT_EXECUTE)) << "nothing started";
            EXPECT_EQ(d.Text(IDC_DETECT_PROGRESS), L"");
            // Had it started, it ends before the dialog may close.
            ASSERT_TRUE(PumpUntil([&] { return main->Engine().Pool().AllDone(); }, std::chrono::seconds(60)));
        });
        ASSERT_TRUE(PumpUntil([&] { return main->Engine().Pool().LiveThreads() == 0; }));
    });
    EXPECT_EQ(results(), batch);
}

}  // namespace
