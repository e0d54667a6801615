// A whole scan through the manager, as a plain caller of DSM_Entry does it:
// open the manager, find the virtual scanner among broken libraries in
// nested folders, open it, negotiate, enable, wait for MSG_XFERREADY from the
// scanner's own thread, transfer three pages by file, memory or native
// transfer, check every pixel, end the transfers and close everything with
// no memory handle left.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "DsmTestSupport.h"
#include "support/ImageFiles.h"
#include "twain/TwainMemory.h"
#include "twain/TwainNames.h"
#include "twain/dsm/Dsm.h"
#include "vds/VdsPage.h"

namespace {

using namespace dsmtest;
using namespace std::chrono_literals;

// The pixel the scanner produced, as R, G, B (grey and black-and-white
// pages have three equal values).
struct Rgb {
    int r, g, b;
};
Rgb Expected(int page, TW_UINT16 pixelType, int x, int y, int width, int height) {
    if (pixelType == TWPT_BW) {
        const int v = vds::PageBit(page, x, y) ? 255 : 0;
        return {v, v, v};
    }
    if (pixelType == TWPT_GRAY) {
        const int v = vds::PageGrey(page, x, y, width, height);
        return {v, v, v};
    }
    return {vds::PageRed(page, x, y, width, height), vds::PageGreen(page, x, y, width, height),
            vds::PageBlue(page, x, y, width, height)};
}

// Compares a page against the scanner's ground truth; returns the largest
// difference of a sample.
template <class Pixel>
int MaxDifference(int page, TW_UINT16 pixelType, int width, int height, Pixel pixel) {
    int worst = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgb want = Expected(page, pixelType, x, y, width, height);
            const Rgb got = pixel(x, y);
            worst = std::max({worst, std::abs(got.r - want.r), std::abs(got.g - want.g), std::abs(got.b - want.b)});
        }
    return worst;
}

enum class Road { kFile, kMemory, kNative };

struct ScanCase {
    const char* label;
    Road road;
    TW_UINT16 pixelType;
    TW_UINT16 fileFormat;   // file transfers
    TW_UINT16 compression;  // file transfers
    // The largest difference of a sample allowed: JPEG at quality 90 gives 1
    // in grey and 5 in colour (chroma subsampling) on these gradients.
    int tolerance;
};

void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.label; }

class DsmScan : public DsmTest, public ::testing::WithParamInterface<ScanCase> {
protected:
    NotificationLog notifications;
};

// Reads the page the file transfer wrote and checks it.
int CheckFile(const std::string& path, const ScanCase& c, int page, int width, int height, int pageInFile) {
    if (c.fileFormat == TWFF_JFIF) {
        const testimg::JpegInfo jpeg = testimg::ReadJpeg(path);
        EXPECT_TRUE(jpeg.ok) << path;
        EXPECT_EQ(jpeg.width, width);
        EXPECT_EQ(jpeg.height, height);
        EXPECT_EQ(jpeg.densityUnit, 1);
        EXPECT_EQ(jpeg.xDensity, 200);
        if (!jpeg.ok) return 999;
        return MaxDifference(page, c.pixelType, width, height, [&](int x, int y) {
            if (jpeg.components == 1) {
                const int v = jpeg.pixels.at(x, y);
                return Rgb{v, v, v};
            }
            return Rgb{jpeg.pixels.at(x, y, 0), jpeg.pixels.at(x, y, 1), jpeg.pixels.at(x, y, 2)};
        });
    }
    const auto pages = testimg::ReadTiff(path);
    EXPECT_GT(static_cast<int>(pages.size()), pageInFile) << path;
    if (static_cast<int>(pages.size()) <= pageInFile) return 999;
    const testimg::TiffPageInfo& tiff = pages[static_cast<std::size_t>(pageInFile)];
    EXPECT_EQ(tiff.width, width);
    EXPECT_EQ(tiff.height, height);
    EXPECT_FLOAT_EQ(tiff.xResolution, 200.0f);
    return MaxDifference(page, c.pixelType, width, height, [&](int x, int y) {
        return Rgb{tiff.rgb.at(x, y, 0), tiff.rgb.at(x, y, 1), tiff.rgb.at(x, y, 2)};
    });
}

TEST_P(DsmScan, ThreePagesThroughTheManager) {
    const ScanCase& c = GetParam();
    env.EnableDsmLog();
    env.AddVirtualSource("scanners", "alpha",
                         {"product=Alpha Scanner", "notify=thread", "notify_delay_ms=10", "width=37", "height=23"});
    const std::string broken = env.AddBrokenSource("scanners/old", "broken");
    env.AddVirtualSource("other", "audio", {"product=Audio", "groups=0x40000005"});
    env.AddFile("", "notes.txt", "not a source");
    const std::string out = env.root() + "/pages";
    std::filesystem::create_directories(out);

    TestApp app("Integration App");
    int window = 0;
    ASSERT_EQ(app.Open(&window), TWRC_SUCCESS);
    TW_ENTRYPOINT entry{};
    entry.Size = sizeof entry;
    ASSERT_EQ(app.Call(nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &entry), TWRC_SUCCESS);

    // Only the working scanner is listed; the others were refused and logged.
    const auto sources = app.Sources();
    ASSERT_EQ(sources.size(), 1u);
    TW_IDENTITY scanner = sources[0];
    EXPECT_STREQ(scanner.ProductName, "Alpha Scanner");
    EXPECT_FALSE(Matching(env.DsmLogLines(), {"Could not find DS_Entry in DS: " + broken}).empty());
    EXPECT_FALSE(Matching(env.DsmLogLines(), {"The SupportedGroups do not match."}).empty());

    ASSERT_EQ(app.OpenSource(scanner), TWRC_SUCCESS);
    ASSERT_EQ(app.RegisterCallback(scanner, NotificationLog::Callback), TWRC_SUCCESS);

    // Negotiation, each value read back.
    const TW_UINT16 mechanism = c.road == Road::kFile ? TWSX_FILE : c.road == Road::kMemory ? TWSX_MEMORY : TWSX_NATIVE;
    const TW_UINT16 depth = c.pixelType == TWPT_BW ? 1 : c.pixelType == TWPT_GRAY ? 8 : 24;
    struct Set {
        TW_UINT16 cap, type;
        TW_UINT32 value;
    };
    std::vector<Set> sets = {{ICAP_XRESOLUTION, TWTY_FIX32, TwainFix32Bits(TW_FIX32{200, 0})},
                             {ICAP_YRESOLUTION, TWTY_FIX32, TwainFix32Bits(TW_FIX32{200, 0})},
                             {ICAP_PIXELTYPE, TWTY_UINT16, c.pixelType},
                             {ICAP_BITDEPTH, TWTY_UINT16, depth},
                             {ICAP_XFERMECH, TWTY_UINT16, mechanism},
                             {CAP_DUPLEXENABLED, TWTY_BOOL, 0},
                             {ICAP_JPEGQUALITY, TWTY_INT16, 90}};
    if (c.road == Road::kFile) {
        sets.push_back({ICAP_IMAGEFILEFORMAT, TWTY_UINT16, c.fileFormat});
        sets.push_back({ICAP_COMPRESSION, TWTY_UINT16, c.compression});
    }
    for (const Set& s : sets) {
        ASSERT_EQ(app.SetCap(scanner, s.cap, s.type, s.value), TWRC_SUCCESS) << capabilityName(s.cap);
        for (TW_UINT16 msg : {MSG_GET, MSG_GETCURRENT}) {
            TW_UINT32 value = 0;
            TW_UINT16 conType = 0;
            ASSERT_EQ(app.GetCap(scanner, s.cap, msg, value, conType), TWRC_SUCCESS) << capabilityName(s.cap);
            if (s.type == TWTY_BOOL || s.type == TWTY_UINT16 || s.type == TWTY_INT16) value &= 0xFFFF;
            EXPECT_EQ(value, s.value) << capabilityName(s.cap) << " read with " << msg;
        }
    }

    // Enable; the scanner says it is ready from a thread of its own.
    ASSERT_EQ(app.Enable(scanner), TWRC_SUCCESS);
    ASSERT_TRUE(notifications.WaitFor(MSG_XFERREADY));
    EXPECT_NE(notifications.Thread(), std::this_thread::get_id());

    const int width = vds::PageSide(37, 200), height = vds::PageSide(23, 200);
    const std::string multiFile = out + "/all.tif";
    for (int page = 0; page < 3; ++page) {
        TW_IMAGEINFO info{};
        ASSERT_EQ(app.Call(&scanner, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
        EXPECT_EQ(+info.ImageWidth, width);
        EXPECT_EQ(+info.ImageLength, height);
        EXPECT_EQ(info.BitsPerPixel, depth);
        EXPECT_EQ(info.PixelType, c.pixelType);
        EXPECT_EQ(info.XResolution.Whole, 200);

        int worst = 0;
        if (c.road == Road::kFile) {
            TW_SETUPFILEXFER setup{};
            const std::string name = c.fileFormat == TWFF_TIFFMULTI
                                         ? multiFile
                                         : out + "/page" + std::to_string(page) +
                                               (c.fileFormat == TWFF_JFIF ? ".jpg" : ".tif");
            std::strncpy(setup.FileName, name.c_str(), sizeof setup.FileName - 1);
            setup.Format = c.fileFormat;
            ASSERT_EQ(app.Call(&scanner, DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
            ASSERT_EQ(app.Call(&scanner, DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);
            TW_SETUPFILEXFER used{};
            ASSERT_EQ(app.Call(&scanner, DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, &used), TWRC_SUCCESS);
            EXPECT_EQ(std::string(used.FileName), name);
            worst = CheckFile(name, c, page, width, height, c.fileFormat == TWFF_TIFFMULTI ? page : 0);
        } else if (c.road == Road::kMemory) {
            TW_SETUPMEMXFER setup{};
            ASSERT_EQ(app.Call(&scanner, DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_SUCCESS);
            ASSERT_GE(+setup.Preferred, +setup.MinBufSize);
            TW_HANDLE buffer = entry.DSM_MemAllocate(setup.Preferred);
            auto* memory = static_cast<std::uint8_t*>(entry.DSM_MemLock(buffer));
            const int rowBytes = (depth * width + 7) / 8;
            std::vector<std::uint8_t> image(static_cast<std::size_t>(rowBytes) * height);
            std::vector<int> rowsSeen(static_cast<std::size_t>(height), 0);
            std::set<TW_UINT32> stripHeights;
            TW_UINT16 rc = TWRC_SUCCESS;
            while (rc == TWRC_SUCCESS) {
                TW_IMAGEMEMXFER xfer{};
                xfer.Compression = TWON_DONTCARE16;
                xfer.BytesPerRow = xfer.Columns = xfer.Rows = xfer.XOffset = xfer.YOffset = xfer.BytesWritten =
                    TWON_DONTCARE32;
                xfer.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
                xfer.Memory.Length = setup.Preferred;
                xfer.Memory.TheMem = memory;
                rc = app.Call(&scanner, DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
                ASSERT_TRUE(rc == TWRC_SUCCESS || rc == TWRC_XFERDONE) << rc;
                ASSERT_EQ(xfer.Compression, TWCP_NONE);
                ASSERT_LE(static_cast<std::uint64_t>(+xfer.Rows) * +xfer.BytesPerRow, +xfer.BytesWritten);
                ASSERT_LE(+xfer.BytesWritten, +setup.Preferred);
                ASSERT_GE(+xfer.BytesPerRow, static_cast<TW_UINT32>(rowBytes));
                ASSERT_LE(+xfer.YOffset + +xfer.Rows, static_cast<TW_UINT32>(height));
                stripHeights.insert(+xfer.Rows);
                for (TW_UINT32 r = 0; r < xfer.Rows; ++r) {
                    ++rowsSeen[xfer.YOffset + r];
                    std::memcpy(image.data() + static_cast<std::size_t>(xfer.YOffset + r) * rowBytes,
                                memory + static_cast<std::size_t>(r) * xfer.BytesPerRow, rowBytes);
                }
            }
            entry.DSM_MemUnlock(buffer);
            entry.DSM_MemFree(buffer);
            for (int seen : rowsSeen) ASSERT_EQ(seen, 1) << "every row exactly once";
            EXPECT_GT(stripHeights.size(), 1u) << "strips of uneven heights";
            worst = MaxDifference(page, c.pixelType, width, height, [&](int x, int y) {
                const std::uint8_t* row = image.data() + static_cast<std::size_t>(y) * rowBytes;
                if (depth == 1) {
                    const int v = (row[x / 8] >> (7 - x % 8)) & 1 ? 255 : 0;
                    return Rgb{v, v, v};
                }
                if (depth == 8) return Rgb{row[x], row[x], row[x]};
                return Rgb{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
            });
        } else {
            TW_HANDLE dib = nullptr;
            ASSERT_EQ(app.Call(&scanner, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
            ASSERT_NE(dib, nullptr);
            const auto* bytes = static_cast<const std::uint8_t*>(entry.DSM_MemLock(dib));
            const std::size_t size = TwainMemSize(dib);
            std::int32_t w = 0, h = 0;
            std::uint16_t bits = 0;
            std::uint32_t colours = 0;
            std::memcpy(&w, bytes + 4, 4);
            std::memcpy(&h, bytes + 8, 4);
            std::memcpy(&bits, bytes + 14, 2);
            std::memcpy(&colours, bytes + 32, 4);
            EXPECT_EQ(w, width);
            EXPECT_EQ(h, height);
            EXPECT_EQ(bits, depth);
            const std::size_t stride = ((static_cast<std::size_t>(bits) * w + 31) / 32) * 4;
            const std::uint8_t* palette = bytes + 40;
            const std::uint8_t* pixels = palette + 4 * colours;
            ASSERT_EQ(size, 40 + 4 * colours + stride * h);
            worst = MaxDifference(page, c.pixelType, width, height, [&](int x, int y) {
                const std::uint8_t* row = pixels + static_cast<std::size_t>(height - 1 - y) * stride;
                int index = 0;
                if (bits == 24) return Rgb{row[3 * x + 2], row[3 * x + 1], row[3 * x]};
                index = bits == 8 ? row[x] : (row[x / 8] >> (7 - x % 8)) & 1;
                return Rgb{palette[4 * index + 2], palette[4 * index + 1], palette[4 * index]};
            });
            entry.DSM_MemUnlock(dib);
            entry.DSM_MemFree(dib);
        }
        EXPECT_LE(worst, c.tolerance) << c.label << " page " << page;

        if (c.road != Road::kFile) {
            // Extended image information of the page just transferred.
            std::vector<std::uint8_t> block(TwainExtImageInfoSize(3));
            auto* ext = reinterpret_cast<TW_EXTIMAGEINFO*>(block.data());
            ext->NumInfos = 3;
            const TW_UINT16 ids[3] = {TWEI_PAGENUMBER, TWEI_BOOKNAME, TWEI_DESKEWSTATUS};
            for (int i = 0; i < 3; ++i) ext->Info[i].InfoID = ids[i];
            ASSERT_EQ(app.Call(&scanner, DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, ext), TWRC_SUCCESS);
            EXPECT_EQ(infoItemText(ext->Info[0]), std::to_string(page + 1) + " ");
            EXPECT_EQ(infoItemText(ext->Info[1]), "Virtual Book");
            EXPECT_EQ(infoItemText(ext->Info[2]), "Unsupporetd");
            entry.DSM_MemFree(reinterpret_cast<TW_HANDLE>(ext->Info[1].Item));
        }

        TW_PENDINGXFERS pending{};
        ASSERT_EQ(app.Call(&scanner, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
        EXPECT_EQ(pending.Count, 2 - page);
    }

    ASSERT_EQ(app.Disable(scanner), TWRC_SUCCESS);
    ASSERT_EQ(app.CloseSource(scanner), TWRC_SUCCESS);
    ASSERT_EQ(app.Close(), TWRC_SUCCESS);
    // The fixture checks that no manager and no handle is left.
}

INSTANTIATE_TEST_SUITE_P(
    Roads, DsmScan,
    ::testing::Values(ScanCase{"file TIFF colour LZW", Road::kFile, TWPT_RGB, TWFF_TIFF, TWCP_LZW, 0},
                      ScanCase{"file TIFF black and white", Road::kFile, TWPT_BW, TWFF_TIFF, TWCP_GROUP4, 0},
                      ScanCase{"file multi-page TIFF grey", Road::kFile, TWPT_GRAY, TWFF_TIFFMULTI, TWCP_ZIP, 0},
                      ScanCase{"file JPEG grey", Road::kFile, TWPT_GRAY, TWFF_JFIF, TWCP_JPEG, 3},
                      ScanCase{"file JPEG colour", Road::kFile, TWPT_RGB, TWFF_JFIF, TWCP_JPEG, 8},
                      ScanCase{"memory colour", Road::kMemory, TWPT_RGB, 0, 0, 0},
                      ScanCase{"memory black and white", Road::kMemory, TWPT_BW, 0, 0, 0},
                      ScanCase{"native colour", Road::kNative, TWPT_RGB, 0, 0, 0},
                      ScanCase{"native grey", Road::kNative, TWPT_GRAY, 0, 0, 0},
                      ScanCase{"native black and white", Road::kNative, TWPT_BW, 0, 0, 0}),
    [](const ::testing::TestParamInfo<ScanCase>& info) {
        std::string name = info.param.label;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

}  // namespace
