// Skew search: counts of blank sample lines over a binary image for a sweep
// of candidate slopes, horizontally (text lines) and vertically (text
// columns). At the right angle the gaps between text lines line up with the
// sample lines and the count of blank lines peaks.
//
// The counts are exact: a line's samples are grouped into runs that read one
// image row (or column), and each run is counted in a bit-packed copy of
// the rows (columns), 56 pixels per population count, instead of a walk
// over every sample. At steep slopes, where the runs are short, 64 lines
// are counted at once: every column (row) gives its sample of each of them
// in one word, added to bit-sliced counters. Samples whose position lies
// too close to a rounding boundary to be decided safely that way are
// evaluated with the full formula.
#pragma once

#include <climits>
#include <cstddef>
#include <utility>
#include <cstdint>
#include <vector>

#include "processing/TextComponentAnalyzer.h"

namespace skew {

// pi as the single-precision value the search uses.
constexpr float kSearchPi = 3.1415925f;
// Angle step of the sweep, accumulated in single precision.
constexpr float kAngleStep = 0.05f;
// A side of a scan ends after more than this many consecutive declines.
constexpr int kDeclineLimit = 10;
// The largest maximum angle a scan sweeps to. A larger value describes no
// skew (the slopes repeat every 180 degrees) and would make the sweep run
// practically for ever; such values are searched as this one.
constexpr int kMaxSearchAngle = 90;

// Slopes of the sweep. The angle in radians is formed in single precision
// (angle x pi / 180 with a float angle and a float pi) and widened for the
// tangent, which is taken in double precision.
double HorizontalSlope(float degrees);        // tan(d x pi / 180)
double VerticalSlopeFirst(float degrees);     // tan((c + 90) x pi / 180)
double VerticalSlopeSecond(float degrees);    // tan((90 - e) x pi / 180)

// Integer part of a sample position; positions that are not numbers or lie
// outside the int range give INT_MIN, which no image contains.
inline int SampleIndex(double v) {
    if (!(v > -2147483649.0 && v < 2147483648.0)) return INT_MIN;
    return static_cast<int>(v);
}

// What the skew searches leave: the angle and score found (overall and per
// scan direction), the best blank-line count, the columns of the last
// horizontal scan and the length of its last run of declines. The searcher
// owns it (kept from search to search; Clear leaves it); the processing
// object reads and sets it there.
struct SkewState {
    int skewColumns = 1;
    int skewBestCount = 0;
    float skewAngle = 0.0f;
    float horizontalAngle = 0.0f;
    float verticalAngle = 0.0f;
    float skewScore = 0.0f;
    float horizontalScore = 0.0f;
    float verticalScore = 0.0f;
    int declineCount = 0;
};

class SkewSearcher : public SkewState {
public:
    virtual ~SkewSearcher() = default;

    // The binary image to search: 8-bit bottom-up rows (px::Stride8), dark
    // pixels being every byte other than 255. Not owned; it must stay valid
    // and unchanged until the next call of SetBinaryImage or Clear.
    void SetBinaryImage(const std::uint8_t* bits, int width, int height);
    void Clear();
    bool HasBinaryImage() const { return bits_ != nullptr && width_ > 0 && height_ > 0; }

    // Counts remembered from scan to scan: while on, every count a scan
    // takes is kept per method (0 to 2), column setting and scan side, with
    // a bit-packed copy of the image it was taken on; a later scan of the
    // same method on an image of the same pixels takes it from there instead
    // of counting again (the skew detection's search over the wide range
    // sweeps the same first angles again). Off forgets them.
    void RememberCounts(bool on);

    // Number of blank sample lines at the slope for the given method (the
    // method decides the dark-pixel limit of a blank line).
    virtual int CountHorizontalLines(double slope, int method);
    virtual int CountVerticalLines(double slope, int method);

    // The two scans and the search over both. They return whether a scan
    // ended by the decline rule (a peak was passed).
    bool SearchHorizontalSkew(int maxAngle, int method);
    bool SearchVerticalSkew(int maxAngle, int method);
    bool SearchSkew(int maxAngle, int method, bool twoColumns, bool horizontalText);

    // A group of neighbouring samples of a line that read one row (or
    // column) at the same offset from the line.
    struct Run {
        int from, to;   // inclusive sample range (columns or rows)
        int offset;     // row (column) offset of every sample of the run
        bool exact;     // too close to a rounding boundary: use the formula
    };
    // The runs of a line read as 64-bit words of the packed targets: byte
    // offsets from the line's own target and the bits kept of each word.
    struct RunWords {
        std::vector<std::int64_t> at;
        std::vector<std::uint64_t> mask;
    };

protected:
    const std::uint8_t* bits_ = nullptr;
    int width_ = 0;
    int height_ = 0;

private:
    bool Dark(int column, int rowFromTop) const;
    void BuildRowBits();
    void BuildColumnBits();
    void BuildShearBits();
    void BuildRowWords(int edge);
    const std::vector<std::uint32_t>& StripRowTotals(int strip, int columns, int from, int to);

    std::vector<int>* RememberedCounts(bool horizontal, float sign, int method);
    int CountHorizontalDirect(double slope, int limit);
    int CountVerticalDirect(double slope, int limit, int edge);
    bool ScanSide(bool horizontal, double (*slopeOf)(float), float start, double end, float sign, int method);
    void Update(bool horizontal, int count, float angle);

    // The binary image one bit per pixel (set where dark): rows from the
    // top (rowBytes_ per row) and columns (columnBytes_ per column, bits
    // along the rows from the top).
    std::vector<std::uint8_t> rowBits_;
    std::vector<std::uint8_t> columnBits_;
    std::size_t rowBytes_ = 0;
    std::size_t columnBytes_ = 0;
    bool rowBitsReady_ = false;
    bool columnBitsReady_ = false;
    // The columns as 64-bit words along the rows with padding on both
    // sides, for horizontal lines counted 64 at a time, and the lines'
    // columns (first word of the column, offset) at the current slope.
    std::vector<std::uint64_t> shearBits_;
    std::size_t shearWords_ = 0;
    int shearPad_ = 0;
    bool shearBitsReady_ = false;
    std::vector<std::pair<std::size_t, int>> columns_;
    // The rows as 64-bit words along the columns with padding on both sides,
    // for vertical lines counted 64 at a time; only the columns from
    // rowWordsEdge_ to width - rowWordsEdge_ - 1 are set (-1: not built).
    std::vector<std::uint64_t> rowWords_;
    std::size_t rowWordCount_ = 0;
    int rowWordPad_ = 0;
    int rowWordsEdge_ = -1;
    // Per strip: dark pixels of the strip's columns summed over rows from the
    // top (height + 1 entries), for the current strip layout.
    std::vector<std::vector<std::uint32_t>> stripTotals_;
    int stripColumns_ = 0;
    // Dark pixels of every column within the sampled rows, summed over the
    // columns (width + 1 entries).
    std::vector<std::uint32_t> columnTotals_;
    bool columnTotalsReady_ = false;
    std::vector<Run> runs_;
    RunWords runWords_;
    // Remembered counts per method: the image (its packed rows) and the
    // counts per column setting (1, 2) and scan side (horizontal down and
    // up, vertical first and second), by step; -1 where not counted.
    struct Remembered {
        int width = 0;
        std::vector<std::uint8_t> rows;
        std::vector<int> counts[2][4];
    };
    bool remember_ = false;
    Remembered remembered_[3];
};

// Whether the counts use the processor's population count and AVX2
// instructions (on by default where the processor has them) or the plain
// code, which counts the same; returns whether any of them is now used. For
// tests that compare the two.
bool UseExtraInstructions(bool on);

// The search methods, named by the binary image each one searches.
enum class SkewMethod : std::int32_t {
    kOtsu = 0,      // the page binarised at its Otsu threshold
    kTextMask = 1,  // the text-only mask (TextOnlyMask)
    kContrast = 2,  // the contrast copy, binarised
};
inline constexpr int kSkewMethodCount = 3;

// What the skew detection needs from the object that owns the images, per
// search method.
class SkewMethods {
public:
    virtual ~SkewMethods() = default;
    // Prepares the binary image of the method and searches it; the outputs
    // receive the skew angle and score the search left.
    virtual bool RunSkewSearch(int maxAngle, SkewMethod method, bool twoColumns, float* angle, float* score) = 0;
    virtual bool HasContrastCopy() const = 0;
    // Prepares the contrast copy with both clip percentages at 1.0.
    virtual void PrepareContrastCopy() = 0;
    // Whether at least half of the pixels of the binary image left by the
    // last search are 0.
    virtual bool BinaryMostlyDark() const = 0;
};

// Score a search must reach to be taken without trying further methods.
constexpr float kFoundScore = 0.15f;
// Maximum angle of the second search when the angle found lies in the extra
// half degree beyond the first maximum.
constexpr int kRestartAngle = 30;

// The binary image of search method 1: 255 everywhere except the pixels of
// the components the analyser classes as text (characters and the marks
// attached to them), which are 0. The analyser looks at the grey image with
// comp::kTextThreshold; `bitsPerPixel` is the source's (24 or 8). The mask
// (8-bit rows, px::Stride8) is all 255 when the analyser refuses the image;
// returns whether it analysed it.
bool TextOnlyMask(CTextComponentAnalyzer& analyser, std::uint8_t* grey, std::uint8_t* colour, int width, int height,
                  int bitsPerPixel, int dpi, std::uint8_t* mask);
std::vector<std::uint8_t> TextOnlyMask(CTextComponentAnalyzer& analyser, std::uint8_t* grey, std::uint8_t* colour,
                                       int width, int height, int bitsPerPixel, int dpi);

// The skew detection: runs `method` (taken modulo 3) and, with `tryOthers`,
// the other methods until one finds a peak with a good score; returns the
// skew angle. A method below 0 counts from the top (-1 is method 2).
float DetectSkewAngle(SkewMethods& methods, int maxAngle, int method, bool tryOthers, bool twoColumns);

}  // namespace skew
