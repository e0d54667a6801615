// Shared set-up of the manual window's tests: the window opened modally with
// a test body running inside it, a folder of image files written with the
// image libraries, and the same operations run on a processing object
// directly for comparison.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "manual/ManualDlg.h"
#include "manual/ManualResource.h"
#include "platform/ui/UiFixture.h"
#include "processing/processor/ImageProcessor.h"
#include "settings/ManualSetting.h"
#include "settings/ProcessSetting.h"
#include "support/ImageFiles.h"
#include "support/SyntheticPages.h"
#include "support/TempDir.h"

namespace manualtest {

// A 24-bit synthetic page (bottom-up B, G, R) as a picture in reading order.
inline testimg::Picture ToPicture(const synth::Page& page) {
    testimg::Picture picture(page.width, page.height, page.bpp == 24 ? 3 : 1);
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x) {
            const synth::Colour c = page.At(x, page.height - 1 - y);
            if (page.bpp == 24) {
                picture.at(x, y, 0) = c.r;
                picture.at(x, y, 1) = c.g;
                picture.at(x, y, 2) = c.b;
            } else {
                picture.at(x, y) = c.b;
            }
        }
    return picture;
}

// The picture the processing object gives for a file right after loading it.
inline OwnedImage24 LoadDirect(const std::wstring& path) {
    OwnedImage24 image;
    CImageProcessor p;
    if (!p.ReadFileBytes(path.c_str()) || !p.LoadImageFile(path.c_str(), 1)) return image;
    image.bits.reset(p.GetResultBits(&image.width, &image.height));
    return image;
}

// `operation` run by a processing object of its own on `start`, the file
// `path` loaded first (its depth decides the road).
inline OwnedImage24 RunDirect(const std::wstring& path, const ManualOperation& operation, const OwnedImage24& start) {
    OwnedImage24 image;
    CImageProcessor p;
    if (!p.ReadFileBytes(path.c_str()) || !p.LoadImageFile(path.c_str(), 1)) return image;
    if (!p.SetImage(start.bits.get(), start.width, start.height)) return image;
    p.RunManualOperation(operation);
    image.bits.reset(p.GetResultBits(&image.width, &image.height));
    return image;
}

inline bool SameImage(const OwnedImage24& a, const OwnedImage24& b) {
    if (a.width != b.width || a.height != b.height || a.Empty() != b.Empty()) return false;
    if (a.Empty()) return true;
    // Only the pixels count, not the padding bytes of the rows.
    const std::size_t stride = OwnedImage24::Stride(a.width);
    for (int y = 0; y < a.height; ++y)
        if (std::memcmp(a.bits.get() + y * stride, b.bits.get() + y * stride, 3 * static_cast<std::size_t>(a.width)) != 0)
            return false;
    return true;
}

// Pixel (x, y) of a picture, y counted from the top, as (r, g, b).
inline testimg::Rgb PixelAt(const OwnedImage24& image, int x, int y) {
    const BYTE* p = image.bits.get() + static_cast<std::size_t>(image.height - 1 - y) * OwnedImage24::Stride(image.width) +
                    3 * static_cast<std::size_t>(x);
    return testimg::Rgb{p[2], p[1], p[0]};
}

}  // namespace manualtest

class ManualTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        ManualSetting::ResetToStart();
        ProcessSetting::ResetToStart();
    }
    void TearDown() override {
        ManualSetting::ResetToStart();
        ProcessSetting::ResetToStart();
        UiTest::TearDown();
    }

    // Opens the window and runs `body` inside it; closes it afterwards.
    void Open(CManualDlg& dlg, const std::function<void(CManualDlg&, DialogDriver&)>& body) {
        bool ran = false;
        OnNextModal(IDD_MANUAL_DIALOG, [&](CDialog& d) {
            ran = true;
            DialogDriver driver(d);
            body(dlg, driver);
            d.EndDialog(IDCANCEL);
        });
        dlg.DoModal();
        ASSERT_TRUE(ran);
    }

    // Chooses `folder` as the processed folder with the browse button, as a
    // user does (the first file is selected and loaded).
    void BrowseProcessed(CManualDlg& dlg, const std::wstring& folder) {
        dialogs->AnswerFolder(folder);
        DialogDriver(dlg.DirPage()).Click(manual_ids::dir::IDC_BROWSE_PROCESSED);
    }
    void BrowseOriginal(CManualDlg& dlg, const std::wstring& folder) {
        dialogs->AnswerFolder(folder);
        DialogDriver(dlg.DirPage()).Click(manual_ids::dir::IDC_BROWSE_ORIGINAL);
    }
};
