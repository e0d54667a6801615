// How much memory processing an input file takes at its peak, estimated from
// its headers alone (before the file is read or any page decoded), so that a
// batch run admits only the files that fit into its memory budget.
//
// The estimate covers the whole road of one file on one worker: the file's
// bytes held in memory, the decoded page, the working images (grey, colour,
// binary, contrast copy), the rotation canvas, the component lists of a
// page that is dark all over, and the save of the result. It grows with the
// pixels of the largest page and with the working depth (colour pages keep
// a 24-bit working image beside the grey one). The coefficients are
// measured peaks of whole files (bench_memory) with a margin.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One page as its header describes it.
struct PageShape {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    bool colour = false;  // decoded to 24 or 32 bits: a colour working image too
};

struct FileShape {
    std::uint64_t fileBytes = 0;
    std::vector<PageShape> pages;
};

// Reads the headers of an input file (JPEG, PNG, TIFF with every page, by
// the name's extension as processing decides it). False when the file
// cannot be read or its header is not one of these formats.
bool ProbeFileShape(const std::wstring& path, FileShape& shape);

// The estimated peak bytes of processing and saving a file of that shape.
std::uint64_t EstimatePeakBytes(const FileShape& shape);
// What the fixed output size adds for a canvas of `width` x `height` pixels
// (as large as the largest page's depth needs): the canvas beside the
// working images, and its copy while the result is saved. It matters when
// the canvas is far larger than the page, which the estimate above does
// not foresee.
std::uint64_t EstimateOutputCanvasBytes(const FileShape& shape, std::uint64_t width, std::uint64_t height);

// Bytes per pixel of the largest page the estimate counts, and the fixed
// part (libraries' buffers, tables, small scratch).
inline constexpr std::uint64_t kPeakBytesPerColourPixel = 28;
inline constexpr std::uint64_t kPeakBytesPerGreyPixel = 24;
inline constexpr std::uint64_t kPeakFixedBytes = 24ull << 20;
