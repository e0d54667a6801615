#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "XlsxReader.h"
#include "platform/core/Files.h"
#include "platform/core/Strings.h"
#include "support/ImageFiles.h"
#include "support/RunOutput.h"
#include "support/TempDir.h"
#include "tools/ImgStatisticBySizeDlg.h"
#include "tools/PageSizeStatistics.h"

namespace {

const PaperChoice kAll{true, true, true};

TEST(PageSizeClassing, LimitsWithAndWithoutTheMarginPercentage) {
    struct Case {
        bool allow;
        float percent;
        PageSizeLimits expected;
    };
    const Case cases[] = {
        {false, 3.0f, {2480, 3508, 4961}},
        {true, 0.0f, {2480, 3508, 4961}},
        {true, 3.0f, {2554, 3613, 5109}},  // 2480 x 1.03 = 2554.4
        {true, 50.0f, {3720, 5262, 7441}},
        {true, 10.0f, {2728, 3858, 5457}},
    };
    for (const auto& c : cases) {
        const PageSizeLimits l = PageSizeLimitsFor(c.allow, c.percent);
        EXPECT_EQ(l.l1, c.expected.l1) << c.percent;
        EXPECT_EQ(l.l2, c.expected.l2) << c.percent;
        EXPECT_EQ(l.l3, c.expected.l3) << c.percent;
    }
}

TEST(PageSizeClassing, PapersBySortedSidesAndChoice) {
    const PageSizeLimits plain = PageSizeLimitsFor(false, 0);
    const PageSizeLimits margin3 = PageSizeLimitsFor(true, 3.0f);
    const PaperChoice noA3{true, false, true};
    const PaperChoice noA4{true, true, false};
    const PaperChoice onlyA4{false, false, true};
    struct Case {
        int w, h;
        PaperChoice papers;
        PageSizeLimits limits;
        int code;
    };
    const Case cases[] = {
        {2480, 3508, kAll, plain, kPaperA4},
        {3508, 2480, kAll, plain, kPaperA4},  // landscape
        {100, 100, kAll, plain, kPaperA4},
        {2481, 3508, kAll, plain, kPaperA3},  // short side over A4
        {2480, 3509, kAll, plain, kPaperA3},  // long side over A4
        {3508, 4961, kAll, plain, kPaperA3},
        {3509, 4962, kAll, plain, kPaperA2},
        {3508, 4962, kAll, plain, kPaperA2},  // long side over A3
        {3509, 4961, kAll, plain, kPaperA2},  // short side over A3
        {2481, 3508, noA3, plain, 0},         // A3-sized page with A3 not chosen: nothing
        {2480, 3508, noA4, plain, 0},         // A4-sized page with A4 not chosen: nothing
        {5000, 7000, onlyA4, plain, 0},
        {2554, 3613, kAll, margin3, kPaperA4},
        {2555, 3613, kAll, margin3, kPaperA3},
        {2554, 3613, kAll, plain, kPaperA3},
        {3613, 5109, kAll, margin3, kPaperA3},
        {3613, 5110, kAll, margin3, kPaperA2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClassifyPageSize(c.w, c.h, c.papers, c.limits), c.code) << c.w << " x " << c.h;
}

TEST(PageSizeClassing, TheMarginPercentageMustBeAFiniteNumberFromZeroToFifty) {
    for (double ok : {0.0, 3.0, 50.0}) EXPECT_TRUE(IsValidMarginPercent(ok)) << ok;
    for (double bad : {-0.01, 50.01, std::nan(""), std::numeric_limits<double>::infinity()})
        EXPECT_FALSE(IsValidMarginPercent(bad)) << bad;
}

TEST(PageSizeClassing, FilesAreReadByTheirNameEndingAndUnreadableOnesSkipped) {
    testdata::TempDir dir;
    const testimg::Picture grey(60, 40, 1);
    ASSERT_TRUE(testimg::WriteJpeg(dir.file("scan.jpeg"), grey, 90, 200));
    ASSERT_TRUE(testimg::WriteJpeg(dir.file("named.png"), grey, 90, 200));  // a JPEG under another name
    testimg::TiffPage page(testimg::Picture(30, 50, 1), 8, 1, 1);
    page.dpi = 300;
    ASSERT_TRUE(testimg::WriteTiff(dir.file("scan.TIF"), {page}));
    ASSERT_TRUE(testimg::WriteTiff(dir.file("b.tiff"), {page}));
    const std::string junk = "not an image";
    ASSERT_TRUE(files::WriteAllAtomic(dir.wfile(L"bad.jpg"), junk.data(), junk.size()));

    struct Case {
        const wchar_t* name;
        bool found;
        const wchar_t* type;
        int w, h, dpi;
    };
    const Case cases[] = {
        {L"scan.jpeg", true, L"JPG", 60, 40, 200},  {L"named.png", true, L"JPG", 60, 40, 200},
        {L"scan.TIF", true, L"TIFF", 30, 50, 300},  {L"b.tiff", true, L"TIFF", 30, 50, 300},
        {L"bad.jpg", false, L"JPG", 0, 0, 0},       {L"gone.jpg", false, L"", 0, 0, 0},
    };
    for (const auto& c : cases) {
        PageSizeRecord r;
        EXPECT_EQ(CImgStatisticBySizeDlg::ClassifyFile(dir.wfile(c.name), kAll, PageSizeLimitsFor(false, 0), r), c.found) << c.name;
        if (!c.found) continue;
        EXPECT_EQ(r.type, c.type) << c.name;
        EXPECT_EQ(r.width, c.w) << c.name;
        EXPECT_EQ(r.height, c.h) << c.name;
        EXPECT_EQ(r.xDpi, c.dpi) << c.name;
        EXPECT_EQ(r.yDpi, c.dpi) << c.name;
        EXPECT_EQ(r.paperCode, kPaperA4) << c.name;
    }
}

std::vector<PageSizeRecord> SampleRecords() {
    return {{kPaperA4, L"p1.jpg", L"JPG", 2480, 3508, 300, 300},
            {kPaperA3, L"卷,2.tif", L"TIFF", 3508, 4961, 300, 200},
            {kPaperA2, L"say \"x\".jpg", L"JPG", 5000, 7000, 72, 96}};
}

TEST(PageSizeExport, CsvLinesInTheSystemCodePageWithQuotedFields) {
    const std::string utf8 = StatisticsCsvBytes(SampleRecords(), CP_UTF8);
    const std::string expected = "\xEF\xBB\xBF" + ToUtf8(L"名称,类型,分辨率,垂直分辨率,水平分辨率,A4,A3,A2\n"
                                                      L"p1.jpg,JPG,2480X3508,300,300,1,0,0\n"
                                                      L"\"卷,2.tif\",TIFF,3508X4961,200,300,0,1,0\n"
                                                      L"\"say \"\"x\"\".jpg\",JPG,5000X7000,96,72,0,0,1\n");
    EXPECT_EQ(utf8, expected);

    // A Chinese Windows code page: no byte-order mark, GBK bytes.
    const std::string gbk = StatisticsCsvBytes({}, 936);
    EXPECT_EQ(gbk.substr(0, 4), std::string("\xC3\xFB\xB3\xC6", 4)) << "名称 in GBK";
    EXPECT_EQ(gbk.back(), '\n');
    EXPECT_EQ(gbk.find('\r'), std::string::npos);
}

TEST(PageSizeExport, FileNamesMessagesAndWhatIsWritten) {
    testdata::TempDir dir;
    SYSTEMTIME t;
    t.wYear = 2024;
    t.wMonth = 3;
    t.wDay = 7;
    t.wHour = 9;
    t.wMinute = 5;
    t.wSecond = 2;
    EXPECT_EQ(StatisticsFileName(t, L".csv"), L"幅面统计结果20240307-090502.csv");

    std::wstring written;
    EXPECT_EQ(CImgStatisticBySizeDlg::ExportCsv(dir.wpath(), {}, t, &written), L"没有符合条件的数据.");
    EXPECT_EQ(CImgStatisticBySizeDlg::ExportXls(dir.wpath(), {}, t, &written), L"没有符合条件的文件.");
    EXPECT_TRUE(written.empty());
    EXPECT_EQ(CImgStatisticBySizeDlg::ExportCsv(dir.wfile(L"missing"), SampleRecords(), t, &written), L"文件打开失败.");

    const std::wstring csv = dir.wfile(L"幅面统计结果20240307-090502.csv");
    EXPECT_EQ(CImgStatisticBySizeDlg::ExportCsv(dir.wpath(), SampleRecords(), t, &written), L"导出CSV文件 " + csv + L" 成功.");
    EXPECT_EQ(written, csv);
    EXPECT_EQ(testdata::ReadFileText(csv), StatisticsCsvBytes(SampleRecords()));

    const std::wstring xlsx = dir.wfile(L"幅面统计结果20240307-090502.xlsx");
    EXPECT_EQ(CImgStatisticBySizeDlg::ExportXls(dir.wpath(), SampleRecords(), t, &written),
              L"导出Excel文件 " + xlsx + L" 成功.");
    const auto book = testdata::ReadWorkbook(ToUtf8(xlsx));
    ASSERT_TRUE(book.ok);
    EXPECT_EQ(book.sheets, std::vector<std::string>{"Sheet1"});
    ASSERT_EQ(book.rows.size(), 4u);
    EXPECT_EQ(book.rows[0], StatisticsHeader());
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(book.rows[i + 1], StatisticsRow(SampleRecords()[i])) << i;

    // A workbook that cannot be written says so, and leaves nothing.
    const std::wstring message = CImgStatisticBySizeDlg::ExportXls(dir.wfile(L"missing"), SampleRecords(), t, &written);
    EXPECT_EQ(message.rfind(L"导出Excel文件 ", 0), 0u);
    EXPECT_NE(message.find(L"失败"), std::wstring::npos) << ToUtf8(message);
    EXPECT_TRUE(written.empty());
}

}  // namespace
