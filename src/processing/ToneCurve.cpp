// Spline tone curves. The natural cubic splines x(t) and y(t) over the control
// points are sampled at a fixed step accumulated in single precision, and the
// samples are swept once into a 256-entry table; applying a curve is then one
// table look-up per byte, on the chosen channels, with or without the colour
// mask and the protected rectangles.
#include "processing/ToneCurve.h"

#include <cmath>

#include "processing/PixelMath.h"

// ---- CCubicSpline --------------------------------------------------------

void CCubicSpline::Clear() {
    t_.clear();
    v_.clear();
    m_.clear();
    cached_ = -1;
}

void CCubicSpline::AddKnot(double t, double v) {
    t_.push_back(t);
    v_.push_back(v);
    m_.push_back(0.0);
}

void CCubicSpline::Prepare() {
    const int n = KnotCount();
    if (n <= 2) return;
    std::vector<double> u(n, 0.0);
    m_.assign(n, 0.0);
    for (int i = 1; i < n - 1; ++i) {
        const double sig = (t_[i] - t_[i - 1]) / (t_[i + 1] - t_[i - 1]);
        const double p = sig * m_[i - 1] + 2.0;
        m_[i] = (sig - 1.0) / p;
        const double d = (v_[i + 1] - v_[i]) / (t_[i + 1] - t_[i]) - (v_[i] - v_[i - 1]) / (t_[i] - t_[i - 1]);
        u[i] = (6.0 * d / (t_[i + 1] - t_[i - 1]) - sig * u[i - 1]) / p;
    }
    m_[n - 1] = 0.0;
    for (int k = n - 2; k >= 0; --k) m_[k] = m_[k] * m_[k + 1] + u[k];
    m_[0] = 0.0;
    cached_ = -1;
}

int CCubicSpline::FindInterval(double t) const {
    int lo = 0, hi = KnotCount() - 1;
    while (hi - lo > 1) {
        const int mid = (lo + hi) / 2;
        if (t >= t_[mid])
            lo = mid;
        else
            hi = mid;
    }
    return lo;
}

double CCubicSpline::Evaluate(double t) {
    const int n = KnotCount();
    if (n < 3) return 0.0;
    if (t < t_[0]) {
        const double h = t_[1] - t_[0];
        return v_[0] + (t - t_[0]) * ((v_[1] - v_[0]) / h - m_[1] * h / 6.0);
    }
    if (t >= t_[n - 1]) {
        const double h = t_[n - 1] - t_[n - 2];
        return v_[n - 1] + (t - t_[n - 1]) * ((v_[n - 1] - v_[n - 2]) / h + m_[n - 2] * h / 6.0);
    }
    auto contains = [&](int i) { return i >= 0 && i < n - 1 && t_[i] <= t && t <= t_[i + 1]; };
    int i;
    if (cached_ < 0)
        i = FindInterval(t);
    else if (contains(cached_))
        i = cached_;
    else if (contains(cached_ + 1))
        i = cached_ + 1;
    else if (contains(cached_ - 1))
        i = cached_ - 1;
    else
        i = FindInterval(t);
    cached_ = i;
    const double h = t_[i + 1] - t_[i];
    const double a = (t_[i + 1] - t) / h;
    const double b = (t - t_[i]) / h;
    return a * v_[i] + b * v_[i + 1] + ((a * a * a - a) * m_[i] + (b * b * b - b) * m_[i + 1]) * (h * h) / 6.0;
}

// ---- CSplineCurve --------------------------------------------------------

void CSplineCurve::Init() {
    points_.clear();
    xs_.Clear();
    ys_.Clear();
    step_ = 0.02;
    built_ = false;
    tMax_ = 0;
}

void CSplineCurve::AddPoint(double x, double y) {
    points_.push_back({x, y});
    built_ = false;
}

void CSplineCurve::Build() {
    if (built_) return;
    xs_.Clear();
    ys_.Clear();
    const int n = PointCount();
    if (n > 2) {
        for (int i = 0; i < n; ++i) {
            xs_.AddKnot(i, points_[i].x);
            ys_.AddKnot(i, points_[i].y);
        }
        xs_.Prepare();
        ys_.Prepare();
        tMax_ = n - 1;
    }
    built_ = true;
}

void CSplineCurve::SampleInto(std::vector<CurvePoint>& out) {
    const int n = PointCount();
    if (n == 2) {
        out.push_back(points_[0]);
        out.push_back(points_[1]);
        return;
    }
    if (n < 2) return;
    Build();
    // A step that is not positive would never reach the end.
    if (step_ > 0.0) {
        for (double t = 0.0; t < tMax_; t += step_) out.push_back({xs_.Evaluate(t), ys_.Evaluate(t)});
    }
    out.push_back(points_[n - 1]);
    out.push_back(points_[n - 1]);
}

// ---- CToneCurve ----------------------------------------------------------

void CToneCurve::SetPoints(ControlPoint p0, ControlPoint p1, ControlPoint p2) {
    const ControlPoint fresh[3] = {p0, p1, p2};
    if (points_.size() == 3) {
        const double eps = static_cast<double>(0.00001f);
        bool same = true;
        for (int i = 0; i < 3; ++i)
            same = same && std::fabs(points_[i].x - fresh[i].x) < eps && std::fabs(points_[i].y - fresh[i].y) < eps;
        if (same) return;
    }
    points_.assign(fresh, fresh + 3);
    curve_.Init();
    for (const ControlPoint& p : points_) curve_.AddPoint(p.x, p.y);
    curve_.Build();
    curve_.SetStep(static_cast<double>(1.0f / 86.0f));
    samples_.clear();
    curve_.SampleInto(samples_);
}

void CToneCurve::BuildLut() {
    if (points_.size() != 3) {
        // Without a three-point curve there is nothing to map through: the
        // identity keeps the image as it is.
        lut_ = tone::IdentityLut();
        return;
    }
    lut_.fill(0);
    std::size_t i = 0;
    for (int j = 0; j < 256; ++j) {
        while (i < samples_.size() && !(std::fabs(j - samples_[i].x) < 0.001 || samples_[i].x > j)) ++i;
        if (i == samples_.size()) break;
        lut_[j] = px::ClampByte(px::SaturatingInt(samples_[i].y + 0.5));
    }
}

unsigned CToneCurve::ChannelBits() const {
    switch (channel_) {
        case 0: return tone::kAllChannels;
        case 1: return tone::kRed;
        case 2: return tone::kGreen;
        case 3: return tone::kBlue;
        default: return 0;
    }
}

void CToneCurve::ApplyUnmasked(std::uint8_t* bits, const std::uint8_t* mask, int width, int height) const {
    const unsigned channels = ChannelBits();
    if (!bits || width <= 0 || height <= 0 || channels == 0) return;
    if (!mask) {
        tone::ApplyLut24(bits, width, height, lut_, channels, protect_);
        return;
    }
    const std::size_t s24 = px::Stride24(width), s8 = px::Stride8(width);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bits + s24 * y;
        const std::uint8_t* mrow = mask + s8 * y;
        protect_.ForEachFreeSpan(y, width, [&](int x0, int x1) {
            for (int x = x0; x < x1; ++x) {
                if (mrow[x] != 0) continue;
                std::uint8_t* p = row + 3 * x;
                if (channels & tone::kBlue) p[0] = lut_[p[0]];
                if (channels & tone::kGreen) p[1] = lut_[p[1]];
                if (channels & tone::kRed) p[2] = lut_[p[2]];
            }
        });
    }
}

void CToneCurve::ApplyMasked(std::uint8_t* bits, const std::uint8_t* mask, int width, int height) const {
    const unsigned channels = ChannelBits();
    if (!bits || !mask || width <= 0 || height <= 0 || channels == 0) return;
    const std::size_t s24 = px::Stride24(width), s8 = px::Stride8(width);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bits + s24 * y;
        const std::uint8_t* mrow = mask + s8 * y;
        for (int x = 0; x < width; ++x) {
            if (mrow[x] == 0) continue;
            std::uint8_t* p = row + 3 * x;
            if (channels & tone::kBlue) p[0] = lut_[p[0]];
            if (channels & tone::kGreen) p[1] = lut_[p[1]];
            if (channels & tone::kRed) p[2] = lut_[p[2]];
        }
    }
}

void CToneCurve::Free() {
    samples_.clear();
    samples_.shrink_to_fit();
    points_.clear();
    points_.shrink_to_fit();
    curve_.Init();
    lut_ = tone::IdentityLut();
}

double DarkeningCurveY(int strength) {
    const long long y = 105LL - strength;
    return static_cast<double>(y < 20 ? 20 : (y > 105 ? 105 : y));
}
