#pragma once

// Product-like test geometry for the scene benchmarks: a squashed sphere, optionally dented.

#include "vantrel/graph/SCNGeometry.hpp"

#include <functional>
#include <memory>

namespace vantrel_bench {

/// An ellipsoid of the given extents in `rings` × `segments` quads (2·segments·(rings−1)
/// triangles). `dent`, when given, scales each vertex's distance from the centre by
/// dent(phi, theta), so that meshes of one size can still differ.
std::shared_ptr<vantrel::SCNGeometry> ellipsoidMesh(float width, float height, float depth, int rings, int segments,
                                                    const std::function<float(float phi, float theta)>& dent = {});

}  // namespace vantrel_bench
