#pragma once

// The shared, immutable mesh behind SCNGeometry. Private to the scene graph.

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

    // Built on the first hit test that reaches the mesh; meshes never change after construction.
    mutable std::once_flag bvhOnce;
    mutable std::unique_ptr<graph_internal::TriangleBvh> bvh;

    /// Validates `source` and `elements` (see SCNGeometry::setMesh) and computes the bounds.
    Mesh(SCNGeometrySource source, std::vector<SCNGeometryElement> elements);

    /// The triangle hierarchy, built on first use.
    [[nodiscard]] const graph_internal::TriangleBvh& triangleBvh() const;
};

}  // namespace vantrel
