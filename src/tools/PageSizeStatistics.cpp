#include "tools/PageSizeStatistics.h"

#include <algorithm>
#include <cmath>

#include "platform/core/Numbers.h"
#include "platform/core/Strings.h"

namespace {

std::int32_t Scaled(std::int32_t limit, float factor) {
    return static_cast<std::int32_t>(static_cast<float>(limit) * factor);
}

// A CSV field as RFC 4180 has it: quoted when it holds a separator, a quote
// or a line break.
std::wstring CsvField(const std::wstring& value) {
    if (value.find_first_of(L",\"\r\n") == std::wstring::npos) return value;
    std::wstring quoted = L"\"";
    for (wchar_t c : value) {
        if (c == L'"') quoted += L'"';
        quoted += c;
    }
    quoted += L'"';
    return quoted;
}

}  // namespace

PageSizeLimits PageSizeLimitsFor(bool allowMargin, float percent) {
    PageSizeLimits limits;
    if (!allowMargin) return limits;
    const float factor = 1.0f + percent / 100.0f;
    limits.l1 = Scaled(limits.l1, factor);
    limits.l2 = Scaled(limits.l2, factor);
    limits.l3 = Scaled(limits.l3, factor);
    return limits;
}

bool IsValidMarginPercent(double percent) { return std::isfinite(percent) && percent >= 0.0 && percent <= 50.0; }

std::int32_t ClassifyPageSize(std::int32_t width, std::int32_t height, const PaperChoice& papers,
                              const PageSizeLimits& limits) {
    const std::int32_t S = std::max(width, height);
    const std::int32_t s = std::min(width, height);
    const auto [L1, L2, L3] = limits;
    if (papers.a4 && S <= L2 && s <= L1) return kPaperA4;
    if (papers.a3 && ((L2 < S && S <= L3 && s <= L2) || (L1 < s && s <= L2 && S <= L3))) return kPaperA3;
    if (papers.a2 && (S > L3 || s > L2)) return kPaperA2;
    return 0;
}

std::wstring StatisticsFileName(const SYSTEMTIME& t, const std::wstring& extension) {
    return FormatW(L"幅面统计结果%04d%02d%02d-%02d%02d%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                   t.wSecond) +
           extension;
}

const std::vector<std::wstring>& StatisticsHeader() {
    static const std::vector<std::wstring> header = {L"名称", L"类型", L"分辨率", L"垂直分辨率",
                                                     L"水平分辨率", L"A4", L"A3", L"A2"};
    return header;
}

std::vector<std::wstring> StatisticsRow(const PageSizeRecord& r) {
    return {r.name,
            r.type,
            FormatW(L"%dX%d", r.width, r.height),
            FormatW(L"%d", r.yDpi),
            FormatW(L"%d", r.xDpi),
            r.paperCode == kPaperA4 ? L"1" : L"0",
            r.paperCode == kPaperA3 ? L"1" : L"0",
            r.paperCode == kPaperA2 ? L"1" : L"0"};
}

std::string StatisticsCsvBytes(const std::vector<PageSizeRecord>& records, UINT codePage) {
    const UINT page = codePage == CP_ACP ? GetACP() : codePage;
    std::string bytes;
    if (page == CP_UTF8) bytes = "\xEF\xBB\xBF";
    auto line = [&](const std::vector<std::wstring>& fields) {
        std::wstring text;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i) text += L',';
            text += CsvField(fields[i]);
        }
        std::string encoded;
        WideToCodePage(page, text, encoded);  // characters the code page lacks become '?'
        bytes += encoded;
        bytes += '\n';
    };
    line(StatisticsHeader());
    for (const auto& r : records) line(StatisticsRow(r));
    return bytes;
}
