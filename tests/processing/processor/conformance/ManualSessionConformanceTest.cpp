// A manual-window session on real files of the Debian conformance sets, as
// the window drives the processor: load, fetch the picture, then every
// operation in turn on the current picture (SetImage, the operation,
// GetResultBits), and finally a save to a new file that is read back. Sizes
// are checked where the operation decides them, the crop against the
// picture it was cut from, and the saved file against the shown picture.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/core/Strings.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/ManualOperation.h"
#include "processing/PixelMath.h"
#include "settings/ProcessSetting.h"
#include "support/Conformance.h"
#include "support/ImageFiles.h"
#include "support/TempDir.h"

namespace {

struct Picture {
    std::unique_ptr<BYTE[]> bits;
    std::int32_t width = 0, height = 0;
    const BYTE* FromTop(int x, int row) const {
        return bits.get() + px::Stride24(static_cast<std::size_t>(width)) * static_cast<std::size_t>(height - 1 - row) +
               3 * static_cast<std::size_t>(x);
    }
};

Picture Fetch(CImageProcessor& p) {
    Picture out;
    out.bits.reset(p.GetResultBits(&out.width, &out.height));
    return out;
}

// What the size of the picture after an operation must be: the same, the
// sides exchanged, a given size, or no larger.
enum class SizeRule { kSame, kExchanged, kGiven, kNoLarger };

struct Step {
    const char* what;
    ManualOperation op;
    SizeRule rule;
    int width = 0, height = 0;  // kGiven
};

class ManualSession : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override { ProcessSetting::ResetToStart(); }
    void TearDown() override { ProcessSetting::ResetToStart(); }
};

TEST_P(ManualSession, EveryOperationInTurnThenSaveAndReadBack) {
    const std::string path = testdata::ConformanceFile(GetParam());
    ASSERT_FALSE(path.empty());
    CImageProcessor p;
    const std::wstring wpath = FromUtf8(path);
    ASSERT_TRUE(p.ReadFileBytes(wpath.c_str()) && p.LoadImageFile(wpath.c_str(), 1)) << path;
    Picture current = Fetch(p);
    ASSERT_TRUE(current.bits);
    const int w = current.width, h = current.height;
    // A band over the middle of the picture once it has been turned (h x w),
    // starting at odd positions.
    const RECT band{h / 5 + 1, w / 4 + 1, h / 5 + 1 + h / 2, w / 4 + 1 + w / 3};
    BindHoleOptions holes;
    holes.on = 1;
    cutting::CutByBkColorParams byColour;
    byColour.white = 1;
    byColour.contentRatio = 50.0f;
    Step steps[] = {
        {"quarter turn", ManualOperation(OpRotate90, L"", Rotate90OpParams{90, 0}), SizeRule::kExchanged},
        {"deskew, keep size", ManualOperation(OpCorrect, L"", CorrectOpParams{5, 0, 1, 1, 0}), SizeRule::kSame},
        {"deskew method 2", ManualOperation(OpCorrect, L"", CorrectOpParams{5, 2, 1, 1, 0}), SizeRule::kSame},
        {"erase inside", ManualOperation(OpEraseInside, L"", EraseOpParams{RGB(255, 0, 0), 5, band}), SizeRule::kSame},
        {"background removal", ManualOperation(OpRmBkColor, L"", RmBkColorOpParams{}), SizeRule::kSame},
        {"auto contrast", ManualOperation(OpAutoContrast, L"", AutoContrastOpParams{}), SizeRule::kSame},
        {"black board", ManualOperation(OpRmBlackBoard, L"", RmBlackBoardOpParams{}), SizeRule::kSame},
        {"stains and borders", ManualOperation(OpRmStains, L"", RmStainsOpParams{4.0f, 160, 1, 1}), SizeRule::kSame},
        {"binding holes", ManualOperation(OpBindHole, L"", holes), SizeRule::kSame},
        {"centre", ManualOperation(OpCenter, L"", CenterOpParams{3, 2.0f, 2.0f, 0}), SizeRule::kSame},
        {"crop", ManualOperation(OpCrop, L"", CropOpParams{band}), SizeRule::kGiven, band.right - band.left,
         band.bottom - band.top},
        {"erase outside", ManualOperation(OpEraseOutside, L"", EraseOpParams{RGB(255, 255, 255), 5, RECT{3, 3, 40, 30}}),
         SizeRule::kSame},
        {"quarter turn back", ManualOperation(OpRotate90, L"", Rotate90OpParams{-90, 1}), SizeRule::kExchanged},
        {"cut by background colour", ManualOperation(OpCutByBkColor, L"", byColour), SizeRule::kNoLarger},
        {"cut white margins", ManualOperation(OpCutWhite, L"", CutWhiteOpParams{0.0f, 1, 1.0f, 1.0f, 1.0f, 1.0f}),
         SizeRule::kNoLarger},
        {"deskew, canvas", ManualOperation(OpCorrect, L"", CorrectOpParams{5, 1, 1, 0, 0}), SizeRule::kNoLarger},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        ASSERT_TRUE(p.SetImage(current.bits.get(), current.width, current.height));
        p.RunManualOperation(s.op);
        Picture next = Fetch(p);
        ASSERT_TRUE(next.bits);
        switch (s.rule) {
        case SizeRule::kSame:
            EXPECT_EQ(next.width, current.width);
            EXPECT_EQ(next.height, current.height);
            break;
        case SizeRule::kExchanged:
            EXPECT_EQ(next.width, current.height);
            EXPECT_EQ(next.height, current.width);
            break;
        case SizeRule::kGiven:
            ASSERT_EQ(next.width, s.width);
            ASSERT_EQ(next.height, s.height);
            for (int row = 0; row < next.height; ++row)
                ASSERT_EQ(std::memcmp(next.FromTop(0, row), current.FromTop(band.left, band.top + row),
                                      3 * static_cast<std::size_t>(next.width)),
                          0)
                    << "row " << row;
            break;
        case SizeRule::kNoLarger:
            // The canvas of a deskew without keep size is larger; a cut is not.
            if (s.op.type == OpCorrect) {
                EXPECT_GE(next.width, current.width);
            } else {
                EXPECT_LE(next.width, current.width);
                EXPECT_LE(next.height, current.height);
            }
            break;
        }
        current = std::move(next);
    }

    // Save as a PNG beside and read it back: the shown picture, in the
    // source's colour or grey form.
    testdata::TempDir dir;
    const std::string out = dir.file("saved.png");
    p.SetOutputPath(FromUtf8(out));
    ASSERT_TRUE(p.SetImage(current.bits.get(), current.width, current.height));
    ASSERT_TRUE(p.SaveResult());
    const testimg::PngInfo back = testimg::ReadPng(out);
    ASSERT_TRUE(back.ok) << out;
    ASSERT_EQ(back.width, current.width);
    ASSERT_EQ(back.height, current.height);
    for (int row = 0; row < back.height; ++row)
        for (int x = 0; x < back.width; ++x)
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(back.rgb.at(x, row, k), current.FromTop(x, row)[2 - k]) << x << "," << row;
}

INSTANTIATE_TEST_SUITE_P(RealFiles, ManualSession,
                         ::testing::Values("skimage/chelsea.png", "skimage/page.png", "skimage/text.png",
                                           "skimage/coffee.png"));

}  // namespace
