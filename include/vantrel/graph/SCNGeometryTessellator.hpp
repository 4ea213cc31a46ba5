#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

namespace vantrel {

/// How finely a renderer may subdivide a geometry's surface on the GPU. Imported models may carry one;
/// the model loader clears it so that products draw with their own triangles.
struct SCNGeometryTessellator {
    double tessellationFactor = 1.0;  ///< Subdivisions per edge.
    double maximumEdgeLength = 1.0;   ///< Longest edge kept without subdivision, in scene units.
    bool isAdaptive = false;          ///< True when subdivision follows the on-screen size.
    bool isScreenSpace = false;       ///< True when `maximumEdgeLength` is measured in points.
};

}  // namespace vantrel

#pragma GCC visibility pop
