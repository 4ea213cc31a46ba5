#pragma once

// Ray casting against the triangles of a node tree. Private to the scene graph.

#include <vector>

#include <glm/vec3.hpp>

#include "vantrel/graph/SCNHitTestResult.hpp"

namespace vantrel {
class SCNNode;
}

namespace vantrel::graph_internal {

/// Hits of the ray origin + t·direction, 0 ≤ t ≤ tMax, with the geometry under `root`; origin and
/// direction are in `root`'s coordinates. Distances are t·|direction|.
std::vector<SCNHitTestResult> castRay(const SCNNode& root, const glm::vec3& origin, const glm::vec3& direction,
                                      float tMax, const SCNHitTestOptions& options);

}  // namespace vantrel::graph_internal
