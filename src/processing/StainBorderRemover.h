// Stain and border remover: erases small stains away from text, black
// borders outside or along the edge of the text area, and the black
// scanning board touching the image edge, by painting white; optionally
// grows the erased area by a square and takes the light-grey fringe of
// erased stains and board with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "processing/Components.h"
#include "processing/ImageView.h"

struct StainBorderParams {
    // grey rows compared with the threshold (required; sides 1..32767); on a colour page erased in the colour
    // rows, otherwise in the grey rows
    PageView page;
    const std::uint8_t* black = nullptr;   // 24-bit rows: board pixels must be pure black here
    std::int32_t threshold = 0;            // dark: test byte <= threshold
    bool stains = false;                   // remove stains
    bool borders = false;                  // remove black borders
    bool board = false;                    // remove the black scanning board
    std::int32_t eraseRadius = 0;          // px; with borders or board, erase the square -r..r-1 too
    std::int32_t band = 0;                 // px; edge band in which board components start
    std::int32_t colourPixelsAreBlack = 0; // 1: board pixels need not be pure black in the black image
    std::int32_t borderType = 0;           // 0 every non-text component; 1 only those above the largest character
    std::int32_t region = 0;               // 0 text area = union of text boxes; 1 the rectangle inside the bands
    std::int32_t left = 10, top = 10, right = 10, bottom = 10;  // %: left/right of the width, top/bottom of the height
    float stainArea = 0.0f;                // mm^2, largest stain
    bool mark = true;                      // paint erased pixels magenta in the comparison copy
    std::wstring name;                     // not used
};

class CStainBorderRemover {
public:
    // Erases in place and sets the result flags. Nothing happens for a
    // missing test image or a side outside 1..32767; in 24-bit mode nothing
    // is erased without a colour image.
    void Run(const StainBorderParams& params);
    void Free();

    // Set when a run erased a border / found board components; they keep
    // their value over later runs of the same object.
    bool BordersFound() const { return bordersFound_; }
    bool BoardFound() const { return boardFound_; }

    // The comparison copy of the last run with the mark flag: a 24-bit copy
    // of the colour image with magenta where pixels were erased, or an 8-bit
    // copy of the test image when there is no colour image. Null otherwise.
    const std::uint8_t* ComparisonCopy() const { return copy_.empty() ? nullptr : copy_.data(); }
    bool ComparisonIsColour() const { return copyIsColour_; }
    bool MarkFlag() const { return params_.mark; }

    // Component classes: 1 text, 2 non-text away from text, 3 small or
    // rejected, 4 medium, 6 larger than a character, 9 board.
    const comp::ComponentAnalysis& Analysis() const { return analysis_; }

private:
    void KeepComparisonCopy(const StainBorderParams& p);
    // Labels (board components first) and classifies with the stain scheme,
    // then attaches to text.
    void LabelAndClassify(const StainBorderParams& p);
    void Take(const comp::PageComponent& c);  // adds the component's points to the erase set
    void TakeBorders(const StainBorderParams& p);
    void Erase(const std::vector<std::uint8_t>& set);  // set: width x height, non-zero = erase
    void RemoveFringe(const std::vector<char>& erasedSeed);

    StainBorderParams params_;
    comp::ComponentAnalysis analysis_;
    std::vector<std::uint8_t> copy_;
    bool copyIsColour_ = false;
    bool bordersFound_ = false, boardFound_ = false;
    struct EraseRun {
        int x0, x1, since;  // a run of the erase set and the row it began to repeat
    };
    std::vector<std::uint8_t> eraseSet_;
    std::vector<char> textBefore_;  // class 1 before the attachment to text
    std::vector<EraseRun> runsA_, runsB_;
    std::vector<std::int32_t> queue_;
};
