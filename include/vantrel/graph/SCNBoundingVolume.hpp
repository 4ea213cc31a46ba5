#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/graph/SCNVector3.hpp"

namespace vantrel {

/// An axis-aligned box given by its minimum and maximum corners. A node or geometry with nothing
/// inside reports the zero box (both corners at the origin).
struct SCNBoundingBox {
    SCNVector3 min;  ///< Corner with the smallest coordinates.
    SCNVector3 max;  ///< Corner with the largest coordinates.

    /// Exact equality.
    friend constexpr bool operator==(const SCNBoundingBox&, const SCNBoundingBox&) = default;
};

/// A sphere given by its centre and radius. Nodes and geometries derive it from their bounding box:
/// the box's centre and half its diagonal.
struct SCNBoundingSphere {
    SCNVector3 center;    ///< Centre.
    float radius = 0.0f;  ///< Radius; 0 for an empty node.

    /// Exact equality.
    friend constexpr bool operator==(const SCNBoundingSphere&, const SCNBoundingSphere&) = default;
};

}  // namespace vantrel

#pragma GCC visibility pop
