#pragma once

// Shadows of the AR adapter's models on the detected floors: each horizontal plane carries a shadow
// catcher (a shadow-only surface over the plane's extent), and a light that gives no light of its
// own casts the models' shadows onto them from high above, as a room's ceiling light would.

#include <cstdint>

#include "vantrel/adapters/ARPlaneAnchor.hpp"

namespace vantrel {
class SCNNode;
}

namespace vantrel::detail {

/// The category of the shadow catchers; the shadow light reaches nothing else.
constexpr std::uint64_t shadowCatcherCategory = std::uint64_t{1} << 20;

/// Gives the node of `plane` a shadow catcher of the plane's extent when the plane is horizontal,
/// and takes it away otherwise; call again when the plane changes.
void catchShadows(SCNNode& planeNode, const ARPlaneAnchor& plane);

/// Adds the shadow light under `root` unless it is there.
void ensureShadowLight(SCNNode& root);

}  // namespace vantrel::detail
