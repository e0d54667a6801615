// Rules of the main window that need no window: the thread-count choices and
// their preselection, and the summary of the chosen steps.
#pragma once

#include <array>
#include <string>

// The product title and version shown in the caption ("%s %s"), and the
// application's name (caption of its own messages).
inline const std::wstring kProductTitle = L"Tessavan 扫描图像批量处理";
inline const std::wstring kVersionText = L"1.0.0";
inline const std::wstring kApplicationName = L"Tessavan";

// Items of the thread-count list "并发处理张数": text and item data.
struct ThreadCountItem {
    const wchar_t* text;
    int data;
};
inline constexpr std::array<ThreadCountItem, 5> kThreadCountItems{{
    {L"1", 1}, {L"2", 2}, {L"4", 4}, {L"6", 6}, {L"8", 8}}};

// The index of the item preselected on a machine with `processors`
// processors: below 4 "2", above 8 "8", otherwise the largest item whose data
// is at most processors - 2 (4 gives "2", 5 "2", 6 "4", 7 "4", 8 "6").
int PreselectedThreadItem(int processors);

// The names of the steps that are on, in pipeline order, joined by "  -->  ";
// "无" when none is on. The two quick steps (deskew, background colour) are
// not part of it; of the placement steps only the first that is on is named
// (centre, then cut by background colour, then cut white margins), and of the
// two seal steps only removal when both are on.
std::wstring OperationSummaryText();
