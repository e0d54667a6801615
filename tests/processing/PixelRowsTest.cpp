// Row forms of the pixel formulas against the per-pixel double expressions.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "processing/PixelMath.h"
#include "processing/PixelRows.h"

#include <random>
#include <tuple>

namespace {

constexpr px::RowKernel kKernels[] = {px::RowKernel::kBaseline, px::RowKernel::kAvx2, px::RowKernel::kFastest};

// Widths around the vector loops' blocks (4, 8, 16, 32, 64 pixels or
// bytes, 96 bytes) and their tails.
std::vector<std::size_t> Widths() {
    std::vector<std::size_t> w;
    for (std::size_t n = 0; n <= 70; ++n) w.push_back(n);
    for (std::size_t n : {95u, 96u, 97u, 127u, 128u, 129u, 191u, 192u, 193u, 255u, 256u, 257u, 1001u, 2480u})
        w.push_back(n);
    return w;
}

// The first n bytes of v in a buffer of their own that ends right after
// them, so that the address sanitizer reports any byte read or written past
// the row.
std::vector<std::uint8_t> Exact(const std::vector<std::uint8_t>& v, std::size_t n) {
    return std::vector<std::uint8_t>(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(n));
}

// Tables: identity, a constant, reversal, random bytes, and the background
// remover's kind (whitening above a pivot, darkening below).
std::vector<std::vector<std::uint8_t>> Tables() {
    std::vector<std::vector<std::uint8_t>> tables(5, std::vector<std::uint8_t>(256));
    std::mt19937 rng(11);
    for (int v = 0; v < 256; ++v) {
        tables[0][v] = static_cast<std::uint8_t>(v);
        tables[1][v] = 200;
        tables[2][v] = static_cast<std::uint8_t>(255 - v);
        tables[3][v] = static_cast<std::uint8_t>(rng());
        tables[4][v] = static_cast<std::uint8_t>(v >= 150 ? 255 : v / 3);
    }
    return tables;
}

}  // namespace

TEST(PixelRows, GreyRowsEqualTheirFormulaForEveryColourOnEveryLoop) {
    // Both orders of the terms. Every colour once, a row of 65536 pixels per
    // red level, then rows of every width up to 40 (the vector loops' ends),
    // through every loop. The rows hold the colours whose sums are whole
    // thousands (pure greys among them), where the double expression decides.
    struct Order {
        const char* name;
        void (*row)(const std::uint8_t*, std::uint8_t*, std::size_t, px::RowKernel);
        std::uint8_t (*formula)(std::uint8_t, std::uint8_t, std::uint8_t);
        int (*written)(int b, int g, int r);
    } orders[] = {
        {"green first", px::GreyRow, px::Grey,
         [](int b, int g, int r) { return static_cast<int>(0.587 * g + 0.299 * r + 0.114 * b); }},
        {"red first", px::GreyRgbOrderRow, px::GreyRgbOrder,
         [](int b, int g, int r) { return static_cast<int>(0.299 * r + 0.587 * g + 0.114 * b); }},
    };
    std::vector<std::uint8_t> bgr(3 * 65536 + 16), grey(65536);
    for (const Order& order : orders) {
        for (px::RowKernel kernel : kKernels) {
            for (int r = 0; r < 256; ++r) {
                for (int i = 0; i < 65536; ++i) {
                    bgr[3 * i] = static_cast<std::uint8_t>(i & 255);
                    bgr[3 * i + 1] = static_cast<std::uint8_t>(i >> 8);
                    bgr[3 * i + 2] = static_cast<std::uint8_t>(r);
                }
                order.row(bgr.data(), grey.data(), 65536, kernel);
                for (int i = 0; i < 65536; ++i) {
                    if (grey[i] != order.written(i & 255, i >> 8, r))
                        FAIL() << order.name << ": grey of " << r << "," << (i >> 8) << "," << (i & 255) << " loop "
                               << static_cast<int>(kernel);
                }
            }
            for (std::size_t w = 0; w <= 40; ++w) {
                // The bytes just past the row are never written.
                std::vector<std::uint8_t> row(3 * w), out(w + 4, 77);
                for (std::size_t k = 0; k < row.size(); ++k) row[k] = static_cast<std::uint8_t>(k * 97 + w);
                order.row(row.data(), out.data(), w, kernel);
                for (std::size_t x = 0; x < w; ++x)
                    ASSERT_EQ(out[x], order.formula(row[3 * x], row[3 * x + 1], row[3 * x + 2])) << order.name;
                for (std::size_t x = w; x < w + 4; ++x) ASSERT_EQ(out[x], 77) << order.name << " width " << w;
            }
        }
    }
}

TEST(PixelRows, LookupRowEqualsTheTableForEveryWidthAndLoop) {
    std::mt19937 rng(5);
    for (const std::vector<std::uint8_t>& table : Tables()) {
        for (std::size_t w : Widths()) {
            // Random bytes with every level present where the row is long
            // enough; guard bytes on both sides stay as they were.
            std::vector<std::uint8_t> in(w + 8);
            for (std::size_t i = 0; i < in.size(); ++i)
                in[i] = static_cast<std::uint8_t>(i >= 4 && i - 4 < 256 ? i - 4 : rng());
            std::vector<std::uint8_t> want = in;
            for (std::size_t i = 4; i < 4 + w; ++i) want[i] = table[in[i]];
            for (px::RowKernel kernel : kKernels) {
                // Read from a row that ends where the buffer ends; written
                // between guard bytes, or in place.
                const std::vector<std::uint8_t> exactIn = Exact({in.begin() + 4, in.end()}, w);
                std::vector<std::uint8_t> out(in.size(), 77), inPlace = in, exactInPlace = exactIn;
                px::LookupRow(exactIn.data(), out.data() + 4, w, table.data(), kernel);
                px::LookupRow(inPlace.data() + 4, inPlace.data() + 4, w, table.data(), kernel);
                px::LookupRow(exactInPlace.data(), exactInPlace.data(), w, table.data(), kernel);
                ASSERT_EQ(inPlace, want) << "in place, width " << w << " loop " << static_cast<int>(kernel);
                ASSERT_TRUE(std::equal(exactInPlace.begin(), exactInPlace.end(), want.begin() + 4))
                    << "in place in its own buffer, width " << w << " loop " << static_cast<int>(kernel);
                for (std::size_t i = 0; i < out.size(); ++i)
                    ASSERT_EQ(out[i], i >= 4 && i < 4 + w ? want[i] : 77)
                        << "width " << w << " byte " << i << " loop " << static_cast<int>(kernel);
            }
        }
    }
}

TEST(PixelRows, ShiftRowByGreyEqualsTheClampedMoveForEveryWidthAndLoop) {
    // The tables of every level map of Tables() as MakeGreyShiftTables makes
    // them, and two that only rise or only fall, by more than the levels
    // leave room for (the move is then clamped at the pixel's bytes alone).
    std::mt19937 rng(9);
    std::vector<px::GreyShiftTables> shifts;
    for (const std::vector<std::uint8_t>& table : Tables()) shifts.push_back(px::MakeGreyShiftTables(table.data()));
    px::GreyShiftTables risesOnly{}, fallsOnly{};
    for (int v = 0; v < 256; ++v) {
        risesOnly.rise[v] = static_cast<std::uint8_t>(v % 2 ? 255 : rng());
        fallsOnly.fall[v] = static_cast<std::uint8_t>(v % 2 ? 255 : rng());
    }
    shifts.push_back(risesOnly);
    shifts.push_back(fallsOnly);
    for (std::size_t which = 0; which < shifts.size(); ++which) {
        const px::GreyShiftTables& t = shifts[which];
        for (std::size_t w : Widths()) {
            // Colour bytes at the ends (0, 255) and random; grey levels
            // random and in order, so that every change is met. The bytes
            // past the row (here non-zero levels) stay as they are.
            std::vector<std::uint8_t> bgr(3 * w + 8), grey(w + 4, 100);
            for (std::size_t i = 0; i < bgr.size(); ++i)
                bgr[i] = i % 7 == 0 ? 0 : (i % 7 == 1 ? 255 : static_cast<std::uint8_t>(rng()));
            for (std::size_t x = 0; x < w; ++x) grey[x] = static_cast<std::uint8_t>(x % 3 == 0 ? x : rng());
            std::vector<std::uint8_t> want = bgr;
            for (std::size_t x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c) {
                    const int v = bgr[3 * x + c] + t.rise[grey[x]] - t.fall[grey[x]];
                    want[3 * x + c] = static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
                }
            const std::vector<std::uint8_t> exactGrey = Exact(grey, w);
            for (px::RowKernel kernel : kKernels) {
                std::vector<std::uint8_t> got = bgr, exact = Exact(bgr, 3 * w);
                px::ShiftRowByGrey(got.data(), grey.data(), w, t, kernel);
                px::ShiftRowByGrey(exact.data(), exactGrey.data(), w, t, kernel);
                ASSERT_EQ(got, want) << "tables " << which << " width " << w << " loop " << static_cast<int>(kernel);
                ASSERT_EQ(exact, Exact(want, 3 * w))
                    << "own buffers, tables " << which << " width " << w << " loop " << static_cast<int>(kernel);
            }
        }
    }
}

TEST(PixelRows, SpreadGreyRowSetsExactlyTheUnkeptPixelsForEveryWidthAndLoop) {
    std::mt19937 rng(13);
    for (std::size_t w : Widths()) {
        std::vector<std::uint8_t> levels(w), bgr(3 * w + 8);
        for (auto& v : levels) v = static_cast<std::uint8_t>(rng());
        for (auto& v : bgr) v = static_cast<std::uint8_t>(rng());
        // No keep bytes; every pixel kept but one; random keeps (mask values
        // 0, 1 and 2 as the colour mask holds them).
        std::vector<std::vector<std::uint8_t>> keeps = {{}, std::vector<std::uint8_t>(w, 1), {}};
        if (w > 0) keeps[1][w / 2] = 0;
        for (std::size_t x = 0; x < w; ++x) keeps[2].push_back(static_cast<std::uint8_t>(rng() % 3));
        for (std::size_t which = 0; which < keeps.size(); ++which) {
            const std::uint8_t* keep = which == 0 ? nullptr : keeps[which].data();
            std::vector<std::uint8_t> want = bgr;
            for (std::size_t x = 0; x < w; ++x)
                if (!keep || keep[x] == 0) want[3 * x] = want[3 * x + 1] = want[3 * x + 2] = levels[x];
            for (px::RowKernel kernel : kKernels) {
                std::vector<std::uint8_t> got = bgr, exact = Exact(bgr, 3 * w);
                px::SpreadGreyRow(levels.data(), keep, got.data(), w, kernel);
                px::SpreadGreyRow(levels.data(), keep, exact.data(), w, kernel);
                ASSERT_EQ(got, want) << "width " << w << " keeps " << which << " loop " << static_cast<int>(kernel);
                ASSERT_EQ(exact, Exact(want, 3 * w))
                    << "own buffer, width " << w << " keeps " << which << " loop " << static_cast<int>(kernel);
            }
        }
    }
}

TEST(PixelRows, SumRowAddsEveryByte) {
    std::mt19937 rng(3);
    for (std::size_t w : Widths()) {
        std::vector<std::uint8_t> row(w + 16, 255);  // bytes past the row would show in the sum
        std::uint64_t want = 0;
        for (std::size_t i = 0; i < w; ++i) want += row[i] = static_cast<std::uint8_t>(i % 5 == 0 ? 255 : rng());
        ASSERT_EQ(px::SumRow(row.data(), w), want) << "width " << w;
    }
}

TEST(PixelRows, LookupPixelRowTakesEachChannelsTableForEveryWidthAndLoop) {
    std::mt19937 rng(17);
    const std::vector<std::vector<std::uint8_t>> tables = Tables();
    // Three different tables (random, reversal, constant), and all three the same.
    for (auto [b, g, r] : {std::tuple{3, 2, 1}, std::tuple{4, 4, 4}, std::tuple{0, 3, 2}}) {
        const std::uint8_t* const picked[3] = {tables[b].data(), tables[g].data(), tables[r].data()};
        for (std::size_t w : Widths()) {
            std::vector<std::uint8_t> bgr(3 * w + 8);
            for (auto& v : bgr) v = static_cast<std::uint8_t>(rng());
            std::vector<std::uint8_t> want = bgr;
            for (std::size_t i = 0; i < 3 * w; ++i) want[i] = picked[i % 3][bgr[i]];
            for (px::RowKernel kernel : kKernels) {
                std::vector<std::uint8_t> got = bgr, exact = Exact(bgr, 3 * w);
                px::LookupPixelRow(got.data(), w, picked, kernel);
                px::LookupPixelRow(exact.data(), w, picked, kernel);
                ASSERT_EQ(got, want) << "width " << w << " loop " << static_cast<int>(kernel);
                ASSERT_EQ(exact, Exact(want, 3 * w))
                    << "own buffer, width " << w << " loop " << static_cast<int>(kernel);
            }
        }
    }
}

TEST(PixelRows, ColourBitsRowReadsEachPixelsBitForEveryWidthAndLoop) {
    // A random table with its first and last words set apart (colour 0 and
    // white), rows of random colours, black and white, and the count.
    std::mt19937_64 rng(23);
    std::vector<std::uint64_t> words(std::size_t{1} << 18);
    for (auto& w : words) w = rng() & rng();  // about a quarter of the bits set
    words.front() = 0;
    words.back() = ~std::uint64_t{0};
    for (std::size_t w : Widths()) {
        std::vector<std::uint8_t> bgr(3 * w);
        for (std::size_t i = 0; i < bgr.size(); ++i)
            bgr[i] = (i / 3) % 5 == 0 ? 0 : ((i / 3) % 5 == 1 ? 255 : static_cast<std::uint8_t>(rng()));
        std::vector<std::uint8_t> want(w + 4, 77);
        std::size_t wantOnes = 0;
        for (std::size_t x = 0; x < w; ++x) {
            const std::uint32_t i = bgr[3 * x] | (bgr[3 * x + 1] << 8) | (bgr[3 * x + 2] << 16);
            want[x] = static_cast<std::uint8_t>((words[i / 64] >> (i % 64)) & 1);
            wantOnes += want[x];
        }
        for (px::RowKernel kernel : kKernels) {
            std::vector<std::uint8_t> got(w + 4, 77);
            ASSERT_EQ(px::ColourBitsRow(bgr.data(), got.data(), w, words.data(), kernel), wantOnes) << "width " << w;
            ASSERT_EQ(got, want) << "width " << w << " loop " << static_cast<int>(kernel);
        }
    }
}
