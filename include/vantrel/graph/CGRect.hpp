#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/graph/CGPoint.hpp"
#include "vantrel/graph/CGSize.hpp"

namespace vantrel {

/// A rectangle given by its origin corner and its size, in 64-bit floating point. Views use it for
/// their bounds (origin top-left, y downwards).
struct CGRect {
    CGPoint origin;  ///< The corner with the smallest coordinates when the size is positive.
    CGSize size;     ///< Width and height; negative extents reach to the other side of the origin.

    /// The empty rectangle at the origin.
    constexpr CGRect() = default;
    /// A rectangle from its origin and size.
    constexpr CGRect(CGPoint o, CGSize s) : origin(o), size(s) {}
    /// A rectangle from its four numbers.
    constexpr CGRect(CGFloat x, CGFloat y, CGFloat w, CGFloat h) : origin(x, y), size(w, h) {}

    /// The horizontal centre.
    [[nodiscard]] constexpr CGFloat midX() const { return origin.x + size.width * 0.5; }
    /// The vertical centre.
    [[nodiscard]] constexpr CGFloat midY() const { return origin.y + size.height * 0.5; }
    /// The centre point (mid x, mid y); the AR view takes its screen centre this way.
    [[nodiscard]] constexpr CGPoint mid() const { return {midX(), midY()}; }

    /// Exact equality.
    friend constexpr bool operator==(const CGRect&, const CGRect&) = default;
};

}  // namespace vantrel

#pragma GCC visibility pop
