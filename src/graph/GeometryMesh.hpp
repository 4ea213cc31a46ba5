#pragma once

// The shared, immutable mesh behind SCNGeometry. Private to the scene graph.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "TriangleBvh.hpp"
#include "vantrel/graph/SCNGeometry.hpp"

namespace vantrel {

struct SCNGeometry::Mesh {
    SCNGeometrySource source;
    std::vector<SCNGeometryElement> elements;
    SCNBoundingBox bounds;
    bool hasBounds = false;
    std::size_t triangleCount = 0;
    std::uint64_t id = detail::RevisionStamp::next();
    // Set once a node has read the bounds into its cached boxes: replacing such a mesh must make
    // those caches stale.
    mutable std::atomic<bool> boundsObserved{false};

    // Built on the first hit test that reaches the mesh; meshes never change after construction.
    mutable std::once_flag bvhOnce;
    mutable std::unique_ptr<graph_internal::TriangleBvh> bvh;

    /// Validates `source` and `elements` (see SCNGeometry::setMesh) and computes the bounds.
    Mesh(SCNGeometrySource source, std::vector<SCNGeometryElement> elements);

    /// The triangle hierarchy, built on first use.
    [[nodiscard]] const graph_internal::TriangleBvh& triangleBvh() const;
};

namespace graph_internal {

/// Grows whenever a mesh whose bounds nodes have cached is replaced; nodes keep the value their cached
/// boxes were computed at and recompute when it has moved on.
[[nodiscard]] std::uint64_t boundsEpoch() noexcept;
/// Notes that a node caches boxes derived from `geometry`'s bounds.
void noteBoundsCached(const SCNGeometry& geometry) noexcept;

}  // namespace graph_internal
}  // namespace vantrel
