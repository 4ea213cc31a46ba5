#pragma once

// The AR adapter's plane hit test: which surface under a view point a model may stand on.

#include <optional>
#include <vector>

#include "vantrel/adapters/ARHitTestResult.hpp"
#include "vantrel/adapters/ARPlaneAnchor.hpp"
#include "vantrel/graph/SCNVector3.hpp"

namespace vantrel {
class ARSCNView;
}

namespace vantrel::detail {

/// The surface under `point` for a model, in three steps:
/// 1. a detected plane within its shape, of an allowed alignment (nearest first);
/// 2. with `infinitePlane`: a detected plane taken as infinite, of an allowed alignment; for a
///    horizontal one and a given `objectPosition`, only when the object's height lies strictly
///    within 5 cm of the hit's (otherwise this step gives up);
/// 3. an estimated plane: vertical alone when only vertical is allowed, horizontal alone when only
///    horizontal is; with both, whichever exists, and of two the nearer (the vertical one on a tie).
std::optional<ARHitTestResult> planeHitTest(const ARSCNView& view, const CGPoint& point, bool infinitePlane,
                                            const std::optional<SCNVector3>& objectPosition,
                                            const std::vector<ARPlaneAnchorAlignment>& allowedAlignments);

}  // namespace vantrel::detail
