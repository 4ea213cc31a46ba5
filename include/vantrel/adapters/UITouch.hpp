#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <cstdint>

#include "vantrel/graph/CGPoint.hpp"

namespace vantrel {

/// Where a touch is in its life.
enum class UITouchPhase {
    began,       ///< The finger (or mouse button) went down.
    moved,       ///< The finger moved.
    stationary,  ///< The finger is down and did not move since the last event.
    ended,       ///< The finger lifted.
    cancelled,   ///< The system took the touch away (an incoming call, a window losing focus).
};

/// One finger on a view, as a host reports it to a `UITouchDispatcher`.
///
/// A touch keeps its `identifier` from `began` to `ended` or `cancelled`; two touches down at the same
/// time have different identifiers. Plain value type.
struct UITouch {
    std::uint64_t identifier = 0;              ///< Stable for the touch's life, unique among the touches down.
    CGPoint location;                          ///< Where the touch is, in the dispatcher's view points (y downwards).
    UITouchPhase phase = UITouchPhase::began;  ///< The phase the host reports it in.
};

}  // namespace vantrel

#pragma GCC visibility pop
