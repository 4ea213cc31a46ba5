#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/graph/CGFloat.hpp"

namespace vantrel {

/// A width and a height in 64-bit floating point.
struct CGSize {
    CGFloat width = 0.0;   ///< Horizontal extent.
    CGFloat height = 0.0;  ///< Vertical extent.

    /// The empty size.
    constexpr CGSize() = default;
    /// A size with the given extents.
    constexpr CGSize(CGFloat w, CGFloat h) : width(w), height(h) {}

    constexpr CGSize& operator+=(const CGSize& o) {
        width += o.width;
        height += o.height;
        return *this;
    }
    constexpr CGSize& operator-=(const CGSize& o) {
        width -= o.width;
        height -= o.height;
        return *this;
    }
    constexpr CGSize& operator*=(CGFloat s) {
        width *= s;
        height *= s;
        return *this;
    }
    constexpr CGSize& operator/=(CGFloat s) {
        width /= s;
        height /= s;
        return *this;
    }

    /// Exact equality.
    friend constexpr bool operator==(const CGSize&, const CGSize&) = default;
};

constexpr CGSize operator+(CGSize a, const CGSize& b) { return a += b; }
constexpr CGSize operator-(CGSize a, const CGSize& b) { return a -= b; }
constexpr CGSize operator*(CGSize a, CGFloat s) { return a *= s; }
constexpr CGSize operator/(CGSize a, CGFloat s) { return a /= s; }

}  // namespace vantrel

#pragma GCC visibility pop
