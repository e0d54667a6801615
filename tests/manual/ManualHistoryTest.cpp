// The operation history on its own: the ten-entry limit that keeps "原图",
// the redo tail dropped by a new entry, the list texts with the current
// marker, and the pictures it holds.
#include <gtest/gtest.h>

#include "manual/ManualHistory.h"

namespace {

std::unique_ptr<ManualOperation> Entry(const std::wstring& name, int side = 0) {
    auto op = std::make_unique<ManualOperation>(OpAutoContrast, name, AutoContrastOpParams{});
    if (side > 0) {
        std::vector<BYTE> rows(OwnedImage24::Stride(side) * side, 7);
        op->snapshot = OwnedImage24::CopyOf(rows.data(), side, side);
    }
    return op;
}

// Adds entries the way the window does: room first, then the entry.
void Add(ManualHistory& h, const std::wstring& name, int side = 0) {
    h.MakeRoom();
    h.Append(Entry(name, side));
}

std::vector<std::wstring> Names(const ManualHistory& h) {
    std::vector<std::wstring> names;
    for (int i = 0; i < static_cast<int>(h.Size()); ++i) names.push_back(h.At(i)->name);
    return names;
}

}  // namespace

TEST(ManualHistory, TenEntriesKeepTheOriginalFirst) {
    ManualHistory h;
    Add(h, L"原图");
    for (int i = 1; i <= 9; ++i) Add(h, L"op" + std::to_wstring(i));
    ASSERT_EQ(h.Size(), 10u);
    // The eleventh entry drops the oldest after "原图".
    Add(h, L"op10");
    EXPECT_EQ(Names(h), (std::vector<std::wstring>{L"原图", L"op2", L"op3", L"op4", L"op5", L"op6", L"op7", L"op8",
                                                    L"op9", L"op10"}));
    EXPECT_EQ(h.Current(), 9);
    // And again: op2 goes.
    Add(h, L"op11");
    EXPECT_EQ(h.At(0)->name, L"原图");
    EXPECT_EQ(h.At(1)->name, L"op3");
    EXPECT_EQ(h.At(9)->name, L"op11");
}

TEST(ManualHistory, StepBackThenAddDropsTheRedoTail) {
    struct Case {
        int entries, stepTo;
        std::size_t after;
    };
    // After stepping back to entry 3 of 7 and applying, 4 entries remain;
    // stepping back to "原图" leaves it and the new entry.
    const Case cases[] = {{7, 2, 4}, {7, 0, 2}, {10, 9, 10}, {10, 4, 6}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.entries << " entries, current " << c.stepTo);
        ManualHistory h;
        Add(h, L"原图");
        for (int i = 1; i < c.entries; ++i) Add(h, L"op" + std::to_wstring(i));
        h.SetCurrent(c.stepTo);
        Add(h, L"new");
        EXPECT_EQ(h.Size(), c.after);
        EXPECT_EQ(h.At(h.Current())->name, L"new");
        EXPECT_EQ(h.Current(), static_cast<int>(c.after) - 1);
        EXPECT_EQ(h.At(0)->name, L"原图");
    }
}

TEST(ManualHistory, TextsCarryNumberNameAndCurrentMarker) {
    ManualHistory h;
    EXPECT_TRUE(h.Texts().empty());
    EXPECT_EQ(h.Current(), -1);
    Add(h, L"原图");
    Add(h, L"去底色");
    Add(h, L"裁剪");
    EXPECT_EQ(h.Texts(), (std::vector<std::wstring>{L"1. 原图", L"2. 去底色", L"3. 裁剪(当前项)"}));
    h.SetCurrent(0);
    EXPECT_EQ(h.Texts(), (std::vector<std::wstring>{L"1. 原图(当前项)", L"2. 去底色", L"3. 裁剪"}));
    EXPECT_EQ(h.Text(5), L"");
}

TEST(ManualHistory, HoldsAndFreesItsPictures) {
    ManualHistory h;
    Add(h, L"原图", 10);
    Add(h, L"a", 20);
    EXPECT_EQ(h.SnapshotBytes(), OwnedImage24::Stride(10) * 10 + OwnedImage24::Stride(20) * 20);
    h.SetCurrent(0);
    Add(h, L"b", 5);  // "a" and its picture go
    EXPECT_EQ(h.SnapshotBytes(), OwnedImage24::Stride(10) * 10 + OwnedImage24::Stride(5) * 5);
    h.Clear();
    EXPECT_EQ(h.SnapshotBytes(), 0u);
    EXPECT_EQ(h.Size(), 0u);
    EXPECT_EQ(h.Current(), -1);
}
