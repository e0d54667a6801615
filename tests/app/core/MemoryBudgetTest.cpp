// The memory budget of a run: files are admitted by their estimated peak,
// in the order they were asked for, and a file that can never fit fails.
#include "EngineHarness.h"

#include <cstdio>
#include <fstream>
#include <png.h>
#include <tiffio.h>

#include "app/core/ImageProcessorRun.h"
#include "app/core/MemoryBudget.h"
#include "support/ImageFiles.h"
#include "support/ProcessFigures.h"
#include "support/Waits.h"

using namespace enginetest;
using namespace std::chrono_literals;

namespace {

constexpr std::uint64_t MB = 1ull << 20;

}  // namespace

TEST(MemoryBudget, AdmitsInOrderWhatFitsAndRefusesWhatNeverCan) {
    CMemoryBudget budget(100 * MB);
    // A request left waiting by a broken budget is given up, so its thread
    // can be joined.
    const auto cancel = [&] { budget.Cancel(); };
    const auto waitingAtLeast = [&](std::uint64_t n) {
        return testwait::Until([&] { return budget.Waiting() >= n; });
    };
    EXPECT_EQ(budget.Acquire(101 * MB), CMemoryBudget::Admission::kTooBig);
    ASSERT_EQ(budget.Acquire(60 * MB), CMemoryBudget::Admission::kAdmitted);
    ASSERT_EQ(budget.Acquire(35 * MB), CMemoryBudget::Admission::kAdmitted);
    {
        // 50 MB waits; 5 MB would fit but waits its turn behind it.
        testwait::Thread first("the request of 50 MB", [&] {
            EXPECT_EQ(budget.Acquire(50 * MB), CMemoryBudget::Admission::kAdmitted);
        }, cancel);
        ASSERT_TRUE(waitingAtLeast(1)) << "the request of 50 MB does not wait";
        testwait::Thread second("the request of 5 MB", [&] {
            EXPECT_EQ(budget.Acquire(5 * MB), CMemoryBudget::Admission::kAdmitted);
        }, cancel);
        ASSERT_TRUE(waitingAtLeast(2)) << "the request of 5 MB does not wait";
        budget.Release(35 * MB);  // 5 MB fits now, 50 MB not yet
        std::this_thread::sleep_for(30ms);
        EXPECT_EQ(budget.InUse(), 60 * MB) << "a small request never overtakes one in line before it";
        EXPECT_EQ(budget.Waiting(), 2u);
        budget.Release(60 * MB);
        EXPECT_TRUE(first.EndsWithin(10s)) << "the request of 50 MB is not admitted when memory is given back";
        EXPECT_TRUE(second.EndsWithin(10s)) << "the request of 5 MB is not admitted after the one before it";
    }
    EXPECT_EQ(budget.InUse(), 55 * MB);
    EXPECT_EQ(budget.Waiting(), 0u);

    // A cancel wakes a waiting request; Reset allows requests again.
    {
        testwait::Thread waiting("the request of 90 MB", [&] {
            EXPECT_EQ(budget.Acquire(90 * MB), CMemoryBudget::Admission::kCancelled);
        });
        ASSERT_TRUE(waitingAtLeast(1)) << "the request of 90 MB does not wait";
        budget.Cancel();
        EXPECT_TRUE(waiting.EndsWithin(10s)) << "a cancel does not wake a waiting request";
    }
    EXPECT_EQ(budget.Acquire(1 * MB), CMemoryBudget::Admission::kCancelled);
    budget.Reset();
    budget.Release(55 * MB);
    EXPECT_EQ(budget.Acquire(90 * MB), CMemoryBudget::Admission::kAdmitted);
    EXPECT_GT(CMemoryBudget::DefaultBytes(), 0u);
}

TEST(MemoryBudget, ARequestOfTheWholeBudgetRunsAlone) {
    // Not too big for the budget: it waits for everything else to be given
    // back, is then admitted, and nothing else is let in beside it.
    CMemoryBudget budget(100 * MB);
    const auto cancel = [&] { budget.Cancel(); };
    ASSERT_EQ(budget.Acquire(1 * MB), CMemoryBudget::Admission::kAdmitted);
    {
        testwait::Thread whole("the request of the whole budget", [&] {
            EXPECT_EQ(budget.Acquire(100 * MB), CMemoryBudget::Admission::kAdmitted);
        }, cancel);
        ASSERT_TRUE(testwait::Until([&] { return budget.Waiting() >= 1; }))
            << "the request of the whole budget does not wait for the 1 MB in use";
        EXPECT_EQ(budget.InUse(), 1 * MB);
        budget.Release(1 * MB);
        EXPECT_TRUE(whole.EndsWithin(10s)) << "the request of the whole budget is never admitted";
    }
    EXPECT_EQ(budget.InUse(), 100 * MB);
    {
        testwait::Thread small("a request of 1 MB beside the whole budget", [&] {
            EXPECT_EQ(budget.Acquire(1 * MB), CMemoryBudget::Admission::kAdmitted);
        }, cancel);
        ASSERT_TRUE(testwait::Until([&] { return budget.Waiting() >= 1; }))
            << "a request of 1 MB is let in beside the whole budget";
        budget.Release(100 * MB);
        EXPECT_TRUE(small.EndsWithin(10s)) << "a request of 1 MB is not admitted after the whole budget";
    }
    EXPECT_EQ(budget.InUse(), 1 * MB);
}

namespace {

class BudgetRun : public EngineFixture {};

}  // namespace

TEST_F(BudgetRun, FilesWaitForMemoryAndOneThatCanNeverFitFails) {
    engine->SetMemoryBudget(100 * MB);
    Write(Src(L"a.jpg"), "gate mem=60");
    Write(Src(L"b.jpg"), "gate mem=50");
    Write(Src(L"c.jpg"), "mem=500");
    Write(Src(L"d.jpg"), "ok");  // nothing known: not held back
    engine->OnStartStop();
    // a and b together do not fit: whichever worker asks first holds its
    // share at the gate and the other waits for it (which one is first
    // depends on the workers' timing, not on the list order).
    ASSERT_TRUE(PumpUntil([&] { return gate.Waiting() == 1 && engine->FailedCount() == 1; }));
    PumpUntil([&] { return files::Exists(Src(L"src/d.jpg")); }, 2000);
    const std::size_t held = engine->MemoryBudget().InUse();
    EXPECT_TRUE(held == 60 * MB || held == 50 * MB) << held;
    EXPECT_EQ(gate.Waiting(), 1) << "the second of a and b must not be let in beside the first";
    {
        std::lock_guard lock(log.m);
        const auto processed = [&](const wchar_t* name) {
            return std::count(log.processed.begin(), log.processed.end(), Src(name));
        };
        EXPECT_EQ(processed(L"a.jpg") + processed(L"b.jpg"), 1) << "only the one at the gate has begun";
    }
    gate.Open();
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(engine->MemoryBudget().InUse(), 0u);
    EXPECT_EQ(Read(Src(L"src/a.jpg")), "gate mem=60");
    EXPECT_EQ(Read(Src(L"src/b.jpg")), "gate mem=50");
    EXPECT_EQ(Read(Src(L"src/d.jpg")), "ok");
    const auto lists = FailedLists(src());
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(Read(lists[0]), ToUtf8(Src(L"c.jpg")) + "\t内存不足：处理此文件约需 500 MB，超过内存预算 100 MB\r\n");
}

namespace {

// A white fax page of w x h in Group 4, written row by row: a few kB on
// disk, w x h bytes and more once decoded.
bool WriteFaxBomb(const std::string& path, std::uint32_t w, std::uint32_t h) {
    TIFF* t = TIFFOpen(path.c_str(), "w");
    if (!t) return false;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, h);
    std::vector<unsigned char> row((w + 7) / 8, 0);
    bool ok = true;
    for (std::uint32_t y = 0; y < h && ok; ++y) ok = TIFFWriteScanline(t, row.data(), y, 0) >= 0;
    TIFFClose(t);
    return ok;
}

// A black colour PNG of w x h, written row by row.
bool WritePngBomb(const std::string& path, std::uint32_t w, std::uint32_t h) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(static_cast<std::size_t>(w) * 3, 0);
    for (std::uint32_t y = 0; y < h; ++y) png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

}  // namespace

TEST_F(BudgetRun, MemoryBombsFailAndTheOrdinaryPagesStayWithinTheBudget) {
    // A small explicit budget, and every core at work. Two files decode to
    // pages far beyond it; the ordinary pages are dark all over (the most
    // memory a page of their size takes), so that without the budget eight
    // of them at once would overrun it.
    constexpr std::uint64_t kBudget = 300 * MB;
    engine->SetProcessorFactory(MakeImageProcessorRun);
    engine->SetMemoryBudget(kBudget);
    SetProcessorCountOverride(8);
    window.choices.requestedThreads = 8;
    ASSERT_EQ(CreateFolderPath(src()), 1);
    ASSERT_TRUE(WriteFaxBomb(ToUtf8(Src(L"fax.tif")), 20000, 20000));
    ASSERT_TRUE(WritePngBomb(ToUtf8(Src(L"black.png")), 5000, 5000));
    EXPECT_LT(files::Size(Src(L"fax.tif")), 64 * 1024);
    EXPECT_LT(files::Size(Src(L"black.png")), 1024 * 1024);
    for (int i = 0; i < 8; ++i) {
        testimg::Picture picture(1600, 2000, 3);
        std::fill(picture.pixels.begin(), picture.pixels.end(), static_cast<std::uint8_t>(20 + i));
        ASSERT_TRUE(testimg::WriteJpeg(ToUtf8(Src(L"p" + std::to_wstring(i) + L".jpg")), picture, 85, 200));
    }
    ASSERT_TRUE(procfig::ResetPeak()) << "the peak memory of the process cannot be measured here";
    const long long before = procfig::StatusKb("VmHWM");

    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle(120000));
    const long long peak = procfig::StatusKb("VmHWM");

    EXPECT_EQ(engine->FailedCount(), 2);
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(files::Exists(Src(L"src/p" + std::to_wstring(i) + L".jpg"))) << i;
    const auto lists = FailedLists(src());
    ASSERT_EQ(lists.size(), 1u);
    const std::string text = Read(lists[0]);
    for (const auto& bomb : {L"fax.tif", L"black.png"})
        EXPECT_NE(text.find(ToUtf8(Src(bomb)) + "\t内存不足：处理此文件约需 "), std::string::npos) << text;
    EXPECT_EQ(engine->MemoryBudget().InUse(), 0u);
    std::printf("peak resident size %lld MB (before the run %lld MB), budget %llu MB\n", peak / 1024, before / 1024,
                static_cast<unsigned long long>(kBudget / MB));
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // Sanitizers keep freed memory and shadow memory of their own: the
    // process's size says nothing about the budget there.
#else
    EXPECT_LT(peak * 1024, static_cast<long long>(kBudget));
#endif
}
