#include "vantrel/graph/SCNTimingFunction.hpp"

#include <algorithm>
#include <cmath>

namespace vantrel {
namespace {

// One coordinate of a cubic Bézier from 0 to 1 with inner control values p1 and p2.
double bezier(double t, double p1, double p2) {
    const double u = 1.0 - t;
    return 3.0 * u * u * t * p1 + 3.0 * u * t * t * p2 + t * t * t;
}

double bezierSlope(double t, double p1, double p2) {
    const double u = 1.0 - t;
    return 3.0 * u * u * p1 + 6.0 * u * t * (p2 - p1) + 3.0 * t * t * (1.0 - p2);
}

double clampUnit(double v) { return std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0); }

}  // namespace

SCNTimingFunction::SCNTimingFunction(double x1, double y1, double x2, double y2, bool isLinear)
    : x1_(x1), y1_(y1), x2_(x2), y2_(y2), linear_(isLinear) {}

SCNTimingFunction SCNTimingFunction::linear() { return {0.0, 0.0, 1.0, 1.0, true}; }
SCNTimingFunction SCNTimingFunction::easeIn() { return {0.42, 0.0, 1.0, 1.0, false}; }
SCNTimingFunction SCNTimingFunction::easeOut() { return {0.0, 0.0, 0.58, 1.0, false}; }
SCNTimingFunction SCNTimingFunction::easeInEaseOut() { return {0.42, 0.0, 0.58, 1.0, false}; }

SCNTimingFunction SCNTimingFunction::controlPoints(double x1, double y1, double x2, double y2) {
    const auto finiteOr = [](double v, double fallback) { return std::isfinite(v) ? v : fallback; };
    return {clampUnit(x1), finiteOr(y1, 0.0), clampUnit(x2), finiteOr(y2, 1.0), false};
}

double SCNTimingFunction::progress(double fraction) const {
    const double x = clampUnit(fraction);
    if (linear_ || x == 0.0 || x == 1.0) {
        return x;
    }
    // Find the curve parameter whose x is `x`: Newton steps, falling back to bisection where the
    // slope is flat. x(t) is monotonic because the control x values lie in 0…1.
    double t = x;
    for (int i = 0; i < 8; ++i) {
        const double error = bezier(t, x1_, x2_) - x;
        if (std::abs(error) < 1e-9) {
            return bezier(t, y1_, y2_);
        }
        const double slope = bezierSlope(t, x1_, x2_);
        if (std::abs(slope) < 1e-6) {
            break;
        }
        t = std::clamp(t - error / slope, 0.0, 1.0);
    }
    double lo = 0.0;
    double hi = 1.0;
    t = x;
    for (int i = 0; i < 60; ++i) {
        const double value = bezier(t, x1_, x2_);
        if (std::abs(value - x) < 1e-12) {
            break;
        }
        (value < x ? lo : hi) = t;
        t = 0.5 * (lo + hi);
    }
    return bezier(t, y1_, y2_);
}

}  // namespace vantrel
