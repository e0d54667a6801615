// Text-direction detector: decides by how many quarter turns a page must be
// turned so that its text stands upright. Characters are thinned to
// skeletons, cut at their junctions, and straight diagonal stroke pieces
// starting at a particular kind of end vote for one of four orientations.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "processing/Components.h"
#include "processing/ImageView.h"

struct TextDirectionParams {
    ConstImageView image;  // binary 8-bit rows (required; sides 1..32767)
    std::int32_t dpi = 300;
    std::int32_t threshold = comp::kTextThreshold;  // dark: byte <= threshold
    std::wstring name;                    // not used
};

class CTextDirectionDetector {
public:
    // Sets the angle (0, 90, 180 or 270): the page's text is turned
    // clockwise by it as displayed. Does nothing (the angle keeps its value)
    // without an image or with a side outside 1..32767.
    void Detect(const TextDirectionParams& params);
    void Free();

    int Angle() const { return angle_; }
    // Votes of the last run for 0, 90, 180 and 270.
    const std::array<int, 4>& Votes() const { return votes_; }
    // The pixel map of the last run: the skeletons with their junctions
    // (width x height bytes: 0 background, 1 skeleton, 3 junction).
    const std::uint8_t* Skeleton() const { return analysis_.Visited(); }

private:
    // Labels and classifies; class kText components are the characters.
    void FindCharacters(const TextDirectionParams& p);
    // Thins the characters and marks the junctions in the visited map, which
    // it returns as the skeleton map.
    std::uint8_t* BuildSkeleton();
    // Scan k: votes of the strokes started in its visiting order.
    void Scan(std::uint8_t* map, int k);
    void Thin(const comp::PageComponent& c, std::uint8_t* map);
    int Trace(std::uint8_t* map, int x, int y, int k);

    comp::ComponentAnalysis analysis_;
    int angle_ = 0;
    std::array<int, 4> votes_{};
    int width_ = 0, height_ = 0, shortest_ = 0;
    std::vector<comp::Point> active_, path_;
    std::vector<std::int32_t> traced_;  // pixels traced in the current scan
};
