// Page-size statistics without a window: classing a page size as A4, A3 or
// A2, the names, header and rows of the exports and the CSV file's bytes.
// Reading a page's header and writing the exports are the statistics
// dialog's (CImgStatisticBySizeDlg::ClassifyFile, ExportCsv, ExportXls).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/CodePages.h"
#include "platform/core/System.h"

// One matching page.
struct PageSizeRecord {
    std::int32_t paperCode = 0;  // 4 A4, 3 A3, 2 A2
    std::wstring name;           // file name without its folder
    std::wstring type;           // "TIFF" or "JPG"
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t xDpi = 0;
    std::int32_t yDpi = 0;
};

constexpr std::int32_t kPaperA4 = 4;
constexpr std::int32_t kPaperA3 = 3;
constexpr std::int32_t kPaperA2 = 2;

// The papers chosen (check boxes A2, A3, A4).
struct PaperChoice {
    bool a2 = false;
    bool a3 = true;
    bool a4 = true;
};

// Side limits in pixels: A4 short side, A4 long side (= A3 short side), A3
// long side, at 300 dpi whatever the page's resolution.
struct PageSizeLimits {
    std::int32_t l1 = 2480;
    std::int32_t l2 = 3508;
    std::int32_t l3 = 4961;
};

// The limits, each multiplied by (1 + percent / 100) with the fraction
// dropped when white margins are allowed (2480 becomes 2554 at 3 %).
PageSizeLimits PageSizeLimitsFor(bool allowMargin, float percent);
// True when a margin percentage typed by the user is acceptable: a finite
// number from 0 to 50.
bool IsValidMarginPercent(double percent);

// The paper code of a page of w x h pixels (sides compared sorted): 4 A4, 3
// A3, 2 A2, each only when chosen; 0 when no chosen paper matches.
std::int32_t ClassifyPageSize(std::int32_t width, std::int32_t height, const PaperChoice& papers,
                              const PageSizeLimits& limits);

// "幅面统计结果" + local time as "%04d%02d%02d-%02d%02d%02d" + extension
// (".csv" or ".xlsx").
std::wstring StatisticsFileName(const SYSTEMTIME& time, const std::wstring& extension);

// The header row: 名称,类型,分辨率,垂直分辨率,水平分辨率,A4,A3,A2.
const std::vector<std::wstring>& StatisticsHeader();
// The values of a record's row: name, type, "WxH", y dpi, x dpi, then 1 or 0
// for A4, A3 and A2.
std::vector<std::wstring> StatisticsRow(const PageSizeRecord& record);

// The bytes of the CSV file: the header line and one line per record, the
// fields joined by "," and each line ending in "\n", in the code page given
// (the system's "ANSI" code page by default; characters it cannot hold
// become '?'). A field holding a comma, a quote or a line break is quoted,
// its quotes doubled, so it stays one column. Text in UTF-8 starts with a
// byte-order mark, so spreadsheet programs read the Chinese header right.
std::string StatisticsCsvBytes(const std::vector<PageSizeRecord>& records, UINT codePage = CP_ACP);
