#include "support/GlyphText.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace testdata {

namespace {

const char* FontFile(Font f) {
    switch (f) {
    case Font::LatinSans: return "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    case Font::LatinSerif: return "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";
    case Font::Cjk: return "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";
    }
    return "";
}

std::vector<char32_t> Decode(const std::string& s) {
    std::vector<char32_t> out;
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        char32_t cp;
        int n;
        if (c < 0x80) { cp = c; n = 1; }
        else if ((c >> 5) == 6) { cp = c & 0x1F; n = 2; }
        else if ((c >> 4) == 14) { cp = c & 0x0F; n = 3; }
        else { cp = c & 0x07; n = 4; }
        for (int k = 1; k < n && i + k < s.size(); ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out.push_back(cp);
        i += n;
    }
    return out;
}

struct Face {
    FT_Library lib = nullptr;
    FT_Face face = nullptr;
    explicit Face(Font f, int pixelHeight) {
        if (FT_Init_FreeType(&lib)) return;
        if (FT_New_Face(lib, FontFile(f), 0, &face)) { face = nullptr; return; }
        FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelHeight));
    }
    ~Face() {
        if (face) FT_Done_Face(face);
        if (lib) FT_Done_FreeType(lib);
    }
};

const char* kLatin =
    "The archive keeps every page of the county records, from the oldest parish books to the survey "
    "maps of the river valley. Each volume was scanned at three hundred dots per inch, and the "
    "cleaning program removes stains, borders and binding holes before the pages are stored. "
    "Quick brown foxes jump over lazy dogs while wizards mix seven potions by the frozen quay. ";
const char* kCjk =
    "档案馆保存着县里的全部记录从最古老的教区登记簿到河谷的测量地图每一册都以每英寸三百点扫描"
    "清理程序在页面存档之前去除污点黑边和装订孔处理完成后才能使用此功能";

}  // namespace

int DrawText(TestPage& page, Font font, int pixelHeight, int x, int baseline, const std::string& text,
             std::uint8_t ink) {
    Face f(font, pixelHeight);
    if (!f.face) {
        ADD_FAILURE() << "font file missing: " << FontFile(font) << " (run scripts/setup)";
        return x;
    }
    for (char32_t cp : Decode(text)) {
        if (FT_Load_Char(f.face, cp, FT_LOAD_RENDER)) continue;
        const FT_GlyphSlot g = f.face->glyph;
        const FT_Bitmap& bm = g->bitmap;
        for (unsigned int row = 0; row < bm.rows; ++row)
            for (unsigned int col = 0; col < bm.width; ++col) {
                const unsigned char cov = bm.buffer[row * static_cast<unsigned>(bm.pitch) + col];
                if (cov < 128) continue;
                const int px = x + g->bitmap_left + static_cast<int>(col);
                const int py = baseline + g->bitmap_top - static_cast<int>(row);
                page.setGrey(px, py, ink);
            }
        x += static_cast<int>(g->advance.x >> 6);
    }
    return x;
}

void FillText(TestPage& page, Font font, int pixelHeight, int l, int t, int r, int b, std::uint8_t ink) {
    const std::vector<char32_t> passage = Decode(font == Font::Cjk ? kCjk : kLatin);
    Face f(font, pixelHeight);
    if (!f.face) {
        ADD_FAILURE() << "font file missing: " << FontFile(font) << " (run scripts/setup)";
        return;
    }
    const int pitch = pixelHeight * 16 / 10;
    size_t next = 0;
    // first line at the top of the picture: the highest buffer rows
    for (int baseline = b - pixelHeight; baseline - pixelHeight / 3 >= t; baseline -= pitch) {
        int x = l;
        for (;;) {
            const char32_t cp = passage[next % passage.size()];
            if (FT_Load_Char(f.face, cp, FT_LOAD_RENDER)) { ++next; continue; }
            const FT_GlyphSlot g = f.face->glyph;
            const int adv = static_cast<int>(g->advance.x >> 6);
            if (x + adv > r) break;
            const FT_Bitmap& bm = g->bitmap;
            for (unsigned int row = 0; row < bm.rows; ++row)
                for (unsigned int col = 0; col < bm.width; ++col) {
                    if (bm.buffer[row * static_cast<unsigned>(bm.pitch) + col] < 128) continue;
                    page.setGrey(x + g->bitmap_left + static_cast<int>(col), baseline + g->bitmap_top - static_cast<int>(row), ink);
                }
            x += adv;
            ++next;
        }
    }
}

TestPage Turn(const TestPage& page, int quarters) {
    quarters = ((quarters % 4) + 4) % 4;
    const int W = page.width, H = page.height;
    const bool odd = quarters % 2 == 1;
    TestPage out(odd ? H : W, odd ? W : H, page.colour, 255);
    out.dpi = page.dpi;
    // displayed coordinates: X right, Y down, Y = height - 1 - buffer row
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int X = x, Y = H - 1 - y;
            int nX, nY;
            switch (quarters) {
            case 1: nX = H - 1 - Y; nY = X; break;          // clockwise 90
            case 2: nX = W - 1 - X; nY = H - 1 - Y; break;
            case 3: nX = Y; nY = W - 1 - X; break;          // clockwise 270
            default: nX = X; nY = Y; break;
            }
            const int ny = out.height - 1 - nY;
            out.g(nX, ny) = page.g(x, y);
            if (page.colour) std::copy_n(page.c(x, y), 3, out.c(nX, ny));
        }
    return out;
}

}  // namespace testdata
