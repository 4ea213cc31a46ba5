#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <string>

#include "vantrel/graph/CGFloat.hpp"

namespace vantrel {

/// A point on the screen or in a view, in 64-bit floating point; y grows downwards in views.
struct CGPoint {
    CGFloat x = 0.0;  ///< Horizontal coordinate.
    CGFloat y = 0.0;  ///< Vertical coordinate.

    /// The origin.
    constexpr CGPoint() = default;
    /// A point with the given coordinates.
    constexpr CGPoint(CGFloat ax, CGFloat ay) : x(ax), y(ay) {}

    /// Distance from the origin: √(x·x + y·y).
    [[nodiscard]] CGFloat length() const;
    /// ((x + other.x)·0.5, (y + other.y)·0.5).
    [[nodiscard]] constexpr CGPoint midpoint(const CGPoint& o) const { return {(x + o.x) * 0.5, (y + o.y) * 0.5}; }
    /// "(x, y)" with each coordinate written with two decimals.
    [[nodiscard]] std::string friendlyString() const;

    constexpr CGPoint& operator+=(const CGPoint& o) {
        x += o.x;
        y += o.y;
        return *this;
    }
    constexpr CGPoint& operator-=(const CGPoint& o) {
        x -= o.x;
        y -= o.y;
        return *this;
    }
    constexpr CGPoint& operator*=(CGFloat s) {
        x *= s;
        y *= s;
        return *this;
    }
    constexpr CGPoint& operator/=(CGFloat s) {
        x /= s;
        y /= s;
        return *this;
    }

    /// Exact equality.
    friend constexpr bool operator==(const CGPoint&, const CGPoint&) = default;
};

constexpr CGPoint operator+(CGPoint a, const CGPoint& b) { return a += b; }
constexpr CGPoint operator-(CGPoint a, const CGPoint& b) { return a -= b; }
constexpr CGPoint operator*(CGPoint a, CGFloat s) { return a *= s; }
constexpr CGPoint operator/(CGPoint a, CGFloat s) { return a /= s; }

}  // namespace vantrel

#pragma GCC visibility pop
