// Tone curves: a smooth curve through three control points, sampled into a
// 256-entry lookup table and applied to 24-bit pixels where a mask byte is
// zero (skipping protected rectangles) or non-zero. The curve is a
// parametric spline (x(t), y(t)) whose two coordinates are natural cubic
// splines over the point index.
//
// Calling order: set the channel selector and the protected rectangles,
// SetPoints, BuildLut, then one apply pass, or a per-byte pass over an 8-bit
// image with tone::ApplyLut8(bits, w, h, curve.Lut(), protect).
#pragma once

#include <cstdint>
#include <vector>

#include "processing/ProtectedRects.h"
#include "processing/ToneTables.h"

struct CurvePoint {
    double x, y;
};

// One coordinate of a spline curve: a natural cubic spline over knots
// (t[i], v[i]) with second derivatives m[i].
class CCubicSpline {
public:
    void Clear();
    // Appends a knot; knots must come in ascending t.
    void AddKnot(double t, double v);
    int KnotCount() const { return static_cast<int>(t_.size()); }
    // Solves the second derivatives with m[0] = m[n-1] = 0 by tridiagonal
    // elimination. Needs more than two knots; clears the cached interval.
    void Prepare();
    // The spline's value at t: 0 with fewer than three knots, a linear
    // extension outside the knots.
    double Evaluate(double t);

private:
    int FindInterval(double t) const;
    std::vector<double> t_, v_, m_;
    int cached_ = -1;
};

// An open parametric curve through its points, sampled at a fixed step of
// the point index.
class CSplineCurve {
public:
    void Init();
    void AddPoint(double x, double y);
    int PointCount() const { return static_cast<int>(points_.size()); }
    // Builds both splines over the stored points; does nothing when built.
    void Build();
    void SetStep(double step) { step_ = step; }
    // Appends the samples: with more than two points (x(t), y(t)) for
    // t = 0, step, 2 step, ... while t < n - 1 (t accumulates the step), then
    // the last point twice; with two points the two points; else nothing.
    void SampleInto(std::vector<CurvePoint>& out);

private:
    std::vector<CurvePoint> points_;
    CCubicSpline xs_, ys_;
    double step_ = 0.02;
    bool built_ = false;
    double tMax_ = 0;
};

class CToneCurve {
public:
    struct ControlPoint {
        double x, y;
    };

    CToneCurve() { curve_.Init(); }

    // 0 all three channels, 1 red only, 2 green only, 3 blue only; any other
    // value changes nothing.
    void SetChannel(int selector) { channel_ = selector; }
    int Channel() const { return channel_; }
    // Rectangles that ApplyUnmasked leaves alone (empty: none).
    void SetProtected(ProtectedRects rects) { protect_ = std::move(rects); }

    // Three points in ascending x. When the curve already holds three points
    // and each coordinate differs from the new one by less than 0.00001
    // (single precision), nothing changes; otherwise the curve is rebuilt and
    // resampled with the step 1/86 (single precision, widened).
    void SetPoints(ControlPoint p0, ControlPoint p1, ControlPoint p2);
    // Table from the samples: identity without a three-point curve;
    // otherwise, with a forward-only sample index, entry j is
    // int(y + 0.5) clamped to 0..255 of the first remaining sample with
    // |j - x| < 0.001 or x > j; entries past the last sample stay 0.
    void BuildLut();
    const tone::Lut& Lut() const { return lut_; }
    const std::vector<CurvePoint>& Samples() const { return samples_; }

    // Applies the table to the selected channels of the 24-bit pixels whose
    // mask byte is 0 (a missing mask counts as all 0), skipping protected
    // rectangles.
    void ApplyUnmasked(std::uint8_t* bits, const std::uint8_t* mask, int width, int height) const;
    // Applies the table to the selected channels of the 24-bit pixels whose
    // mask byte is not 0; no rectangles are consulted.
    void ApplyMasked(std::uint8_t* bits, const std::uint8_t* mask, int width, int height) const;

    void Free();

private:
    unsigned ChannelBits() const;

    int channel_ = 0;
    tone::Lut lut_ = tone::IdentityLut();
    CSplineCurve curve_;
    std::vector<CurvePoint> samples_;
    std::vector<ControlPoint> points_;
    ProtectedRects protect_;
};

// The darkening curve's middle point: (105, 105 - strength) with the y
// limited to 20..105.
double DarkeningCurveY(int strength);
