#include <gtest/gtest.h>

#include "XlsxReader.h"
#include "platform/core/Files.h"
#include "support/RunOutput.h"
#include "support/TempDir.h"
#include "tools/SheetFile.h"

namespace {

using Values = std::vector<std::wstring>;

std::string ReadText(const std::wstring& path) { return testdata::ReadFileText(path); }

TEST(SheetFileRows, RowTextsJoinAndSplitByTheSeparator) {
    struct Case {
        const wchar_t* text;
        const wchar_t* separator;
        Values values;
    };
    const Case cases[] = {
        {L"\"a\",\"b\",\"c\"", L",", {L"a", L"b", L"c"}},
        {L"\"a\",;.?\"b\"", L",;.?", {L"a", L"b"}},
        {L"\"\",\"\"", L",", {L"", L""}},
        // Without quoted separators the bare separator splits, quotes stay.
        {L"a,b", L",", {L"a", L"b"}},
        // One value: surrounding quotes go.
        {L"\"only\"", L",", {L"only"}},
        {L"bare", L",", {L"bare"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CSheetFile::SplitRow(c.text, c.separator), c.values) << c.text;
    }
    EXPECT_EQ(CSheetFile::JoinRow({L"a", L"b"}, L",;.?"), L"\"a\",;.?\"b\"");
    EXPECT_EQ(CSheetFile::JoinRow({}, L","), L"");
}

TEST(SheetFileRows, TheNameChoosesTheMode) {
    testdata::TempDir dir;
    for (const wchar_t* name : {L"t.xlsx", L"T.XLSX", L"t.xls", L"T.Xls"}) {
        CSheetFile sheet(dir.wfile(name), L"Sheet1", false);
        EXPECT_EQ(sheet.isExcel, 1) << name;
        EXPECT_EQ(sheet.separator, L",;.?") << name;
        EXPECT_EQ(sheet.sheetName, L"Sheet1") << name;
    }
    for (const wchar_t* name : {L"t.csv", L"t.txt", L"xlsx"}) {
        CSheetFile sheet(dir.wfile(name), L";", false);
        EXPECT_EQ(sheet.isExcel, 0) << name;
        EXPECT_EQ(sheet.separator, L";") << name;
    }
}

TEST(SheetFileRows, WorkbookRowRulesAndTheirErrors) {
    testdata::TempDir dir;
    struct Case {
        const char* what;
        std::vector<std::pair<Values, int>> before;  // rows added first (saved each time)
        Values values;
        int row;
        const wchar_t* error;
    };
    const Case cases[] = {
        {"duplicate header field", {}, {L"a", L"b", L"a"}, 1, L"Duplicate header row field:a\n"},
        {"narrower header", {{{L"a", L"b", L"c"}, 1}}, {L"a", L"b"}, 1,
         L"Number of columns in new header row cannot be less than the number of columns in previous header row"},
        {"data before a header", {}, {L"x"}, 2, L"No header row. Add header row first\n"},
        {"data wider than the header", {{{L"a"}, 1}}, {L"x", L"y"}, 2,
         L"Number of columns to be added cannot be greater than the number of fields\n"},
    };
    for (const auto& c : cases) {
        const std::wstring path = dir.wfile(std::wstring(L"rules-") + FromUtf8(c.what) + L".xlsx");
        CSheetFile sheet(path, L"Sheet1", false);
        for (const auto& [values, row] : c.before) ASSERT_TRUE(sheet.AddRow(values, row)) << c.what;
        const int rowsBefore = sheet.totalRows;
        EXPECT_FALSE(sheet.AddRow(c.values, c.row)) << c.what;
        EXPECT_EQ(sheet.lastError, c.error) << c.what;
        EXPECT_EQ(sheet.totalRows, rowsBefore) << c.what << ": a refused row is not added";
    }
    // A refused first header leaves no file at all.
    EXPECT_FALSE(files::Exists(dir.wfile(L"rules-duplicate header field.xlsx")));
}

TEST(SheetFileRows, RowsBeyondTheEndArePaddedWithEmptyRows) {
    testdata::TempDir dir;
    {
        CSheetFile sheet(dir.wfile(L"pad.xlsx"), L"Sheet1", false);
        sheet.inTransaction = 1;
        ASSERT_TRUE(sheet.AddRow({L"a", L"b"}, 1));
        ASSERT_TRUE(sheet.AddRow({L"1", L"2"}, 2));
        ASSERT_TRUE(sheet.AddRow({L"5", L"5"}, 5));
        ASSERT_EQ(sheet.totalRows, 5);
        // Workbook rows are padded with quoted blanks, one per column.
        EXPECT_EQ(sheet.rows[2], L"\" \",;.?\" \"");
        EXPECT_EQ(sheet.rows[3], L"\" \",;.?\" \"");
        EXPECT_EQ(sheet.rows[4], L"\"5\",;.?\"5\"");
        // Row 0 appends; a row inside the table replaces it.
        ASSERT_TRUE(sheet.AddRow({L"6", L"6"}, 0));
        ASSERT_TRUE(sheet.AddRow({L"3", L"3"}, 3));
        EXPECT_EQ(sheet.totalRows, 6);
        EXPECT_EQ(sheet.rows[2], L"\"3\",;.?\"3\"");
        EXPECT_EQ(sheet.rows[5], L"\"6\",;.?\"6\"");
        EXPECT_EQ(sheet.inTransaction, 1) << "nothing saved while in a transaction";
        EXPECT_FALSE(files::Exists(dir.wfile(L"pad.xlsx")));
    }
    {
        // Text rows are padded with empty pairs of quotes.
        CSheetFile sheet(dir.wfile(L"pad.csv"), L",", false);
        ASSERT_TRUE(sheet.AddRow({L"a", L"b", L"c"}, 1));
        ASSERT_TRUE(sheet.AddRow({L"x"}, 3));
        EXPECT_EQ(sheet.rows[1], L"\"\",\"\",\"\"");
        EXPECT_EQ(ReadText(dir.wfile(L"pad.csv")), "\"a\",\"b\",\"c\"\r\n\"\",\"\",\"\"\r\n\"x\"\r\n");
    }
}

TEST(SheetFileRows, ReadRowWalksTheRowsAndStopsAtTheEnd) {
    testdata::TempDir dir;
    CSheetFile sheet(dir.wfile(L"read.csv"), L",", false);
    ASSERT_TRUE(sheet.AddRow({L"h1", L"h2"}, 1));
    ASSERT_TRUE(sheet.AddRow({L"v1", L"v2"}, 2));
    Values values;
    ASSERT_TRUE(sheet.ReadRow(values, 2));
    EXPECT_EQ(values, (Values{L"v1", L"v2"}));
    EXPECT_EQ(sheet.currentRow, 3);
    EXPECT_FALSE(sheet.ReadRow(values, 0)) << "row 0 past the end";
    EXPECT_FALSE(sheet.ReadRow(values, 3));
    EXPECT_EQ(sheet.lastError, L"Desired row is greater than total number of rows in spreadsheet\n");
    ASSERT_TRUE(sheet.ReadRow(values, 1));
    ASSERT_TRUE(sheet.ReadRow(values, 0));
    EXPECT_EQ(values, (Values{L"v1", L"v2"}));
}

TEST(SheetFileText, SavedLinesLoadBackWithTheirHeaderAndABackup) {
    testdata::TempDir dir;
    const std::wstring path = dir.wfile(L"table.txt");
    {
        CSheetFile sheet(path, L";", false);
        EXPECT_EQ(sheet.sheetExists, 0);
        EXPECT_EQ(sheet.lastError, L"Error in opening file\n");
        ASSERT_TRUE(sheet.AddRow({L"名称", L"值"}, 1));
        ASSERT_TRUE(sheet.AddRow({L"一", L"1", L"extra"}, 2));
    }
    EXPECT_EQ(ReadText(path), ToUtf8(L"\"名称\";\"值\"\r\n\"一\";\"1\";\"extra\"\r\n"));
    CSheetFile again(path, L";", true);
    EXPECT_EQ(again.sheetExists, 1);
    EXPECT_EQ(again.totalRows, 2);
    EXPECT_EQ(again.totalColumns, 3) << "the widest row";
    EXPECT_EQ(again.headerFields, (Values{L"名称", L"值"}));
    EXPECT_EQ(again.backup, 1);
    EXPECT_EQ(ReadText(path + L".bak"), ReadText(path));
}

TEST(SheetFileWorkbook, ANewWorkbookIsCreatedByItsFirstSaveAndReadsBackCellByCell) {
    testdata::TempDir dir;
    const std::wstring path = dir.wfile(L"book.xlsx");
    CSheetFile sheet(path, L"Sheet1", false);
    EXPECT_EQ(sheet.sheetExists, 0) << "a workbook is never read back";
    EXPECT_TRUE(sheet.lastError.empty());
    sheet.totalColumns = 3;
    ASSERT_TRUE(sheet.AddRow({L"名称", L"类型", L"x'y"}, 1));
    EXPECT_EQ(sheet.sheetExists, 1);
    sheet.inTransaction = 1;
    ASSERT_TRUE(sheet.AddRow({L"a,b.jpg", L"JPG", L"it's"}, 2));
    ASSERT_TRUE(sheet.AddRow({L"页", L"TIFF"}, 3));
    ASSERT_TRUE(sheet.Save());
    EXPECT_EQ(sheet.inTransaction, 0);

    const auto book = testdata::ReadWorkbook(ToUtf8(path));
    ASSERT_TRUE(book.ok);
    EXPECT_EQ(book.sheets, std::vector<std::string>{"Sheet1"});
    const std::vector<Values> expected = {
        {L"名称", L"类型", L"x'y"}, {L"a,b.jpg", L"JPG", L"it's"}, {L"页", L"TIFF", L""}};
    EXPECT_EQ(book.rows, expected);
}

TEST(SheetFileWorkbook, FailuresAreReportedNotPassedOverAsSuccess) {
    testdata::TempDir dir;
    {
        // A folder that does not exist: the save (and so the row) fails.
        CSheetFile sheet(dir.wfile(L"missing/book.xlsx"), L"Sheet1", false);
        EXPECT_FALSE(sheet.AddRow({L"a"}, 1));
        EXPECT_FALSE(sheet.lastError.empty());
    }
    {
        CSheetFile sheet(dir.wfile(L"missing/t.csv"), L",", false);
        EXPECT_FALSE(sheet.AddRow({L"a"}, 1));
        EXPECT_EQ(sheet.lastError, L"Error writing file\n");
    }
    {
        // An ".xls" name would hold Office Open XML content: refused.
        CSheetFile sheet(dir.wfile(L"old.xls"), L"Sheet1", false);
        EXPECT_FALSE(sheet.AddRow({L"a"}, 1));
        EXPECT_NE(sheet.lastError.find(L".xlsx"), std::wstring::npos);
        EXPECT_FALSE(files::Exists(dir.wfile(L"old.xls")));
    }
    {
        // A sheet name no workbook can hold.
        CSheetFile sheet(dir.wfile(L"bad.xlsx"), L"a/b", false);
        EXPECT_FALSE(sheet.AddRow({L"a"}, 1));
        EXPECT_NE(sheet.lastError.find(L"a/b"), std::wstring::npos);
        EXPECT_FALSE(files::Exists(dir.wfile(L"bad.xlsx"))) << "no half-written workbook is left";
    }
}

}  // namespace
