#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>

#include "vantrel/graph/SCNVector3.hpp"

namespace vantrel {

class SCNNode;

/// Which hits a hit test reports.
enum class SCNHitTestSearchMode {
    closest = 0,  ///< Only the nearest hit.
    all = 1,      ///< The nearest hit of every node the ray meets, nearest first.
    any = 2,      ///< The first hit found, whichever it is (fastest).
};

/// Options of a hit test. The defaults report every hit on visible geometry, nearest first, skipping
/// faces seen from behind unless their material is double-sided.
struct SCNHitTestOptions {
    SCNHitTestSearchMode searchMode = SCNHitTestSearchMode::all;  ///< Which hits to report.
    bool ignoreHiddenNodes = true;                                ///< Skip hidden nodes and everything below them.
    bool backFaceCulling = true;    ///< Skip faces seen from behind (double-sided materials excepted).
    bool boundingBoxOnly = false;   ///< Test against each geometry's bounding box instead of its triangles.
    bool ignoreChildNodes = false;  ///< Test the root node's own geometry only.
    /// Only nodes whose category bit mask shares a bit with this are tested (all by default).
    std::uint64_t categoryBitMask = std::numeric_limits<std::uint64_t>::max();
    /// Test what is shown (presentation transforms, with constraints) rather than the model values.
    bool usePresentation = true;
    /// The point of view that billboard constraints face, when `usePresentation` is on.
    const SCNNode* pointOfView = nullptr;
};

/// One place where a ray met a geometry.
struct SCNHitTestResult {
    std::shared_ptr<SCNNode> node;  ///< The node whose geometry was hit.
    SCNVector3 worldCoordinates;    ///< The hit point in world coordinates.
    SCNVector3 localCoordinates;    ///< The hit point in the node's coordinates.
    SCNVector3 worldNormal;         ///< Unit normal of the face hit, in world coordinates.
    SCNVector3 localNormal;         ///< Unit normal of the face hit, in the node's coordinates.
    /// Distance from the ray's origin, in the coordinates of the node the test started from.
    float distance = 0.0f;
    std::size_t geometryIndex = 0;  ///< Element of the geometry that was hit.
    std::size_t faceIndex = 0;      ///< Triangle within that element.
};

}  // namespace vantrel

#pragma GCC visibility pop
