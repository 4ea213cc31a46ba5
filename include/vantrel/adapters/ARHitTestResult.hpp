#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <cstdint>
#include <memory>
#include <vector>

#include <glm/mat4x4.hpp>

#include "vantrel/adapters/ARAnchor.hpp"
#include "vantrel/graph/CGPoint.hpp"
#include "vantrel/graph/CGSize.hpp"

namespace vantrel {

struct ARFrame;

/// Kinds of surface a hit test looks for, combined as bits.
enum class ARHitTestResultType : std::uint32_t {
    featurePoint = 1u << 0,                ///< Not produced here; kept for completeness of the set.
    estimatedHorizontalPlane = 1u << 1,    ///< A horizontal surface guessed from the frame's feature points.
    estimatedVerticalPlane = 1u << 2,      ///< A vertical surface guessed from the frame's feature points.
    existingPlane = 1u << 3,               ///< A detected plane taken as infinite.
    existingPlaneUsingExtent = 1u << 4,    ///< A detected plane within its rectangle.
    existingPlaneUsingGeometry = 1u << 5,  ///< A detected plane within its shape (here: its rectangle).
};
[[nodiscard]] constexpr ARHitTestResultType operator|(ARHitTestResultType a, ARHitTestResultType b) {
    return static_cast<ARHitTestResultType>(static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b));
}
[[nodiscard]] constexpr bool contains(ARHitTestResultType set, ARHitTestResultType type) {
    return (static_cast<std::uint32_t>(set) & static_cast<std::uint32_t>(type)) != 0;
}

/// One surface that the ray through a viewport point meets.
struct ARHitTestResult {
    /// The kind of surface.
    ARHitTestResultType type = ARHitTestResultType::existingPlane;
    /// The plane anchor hit, for the existing-plane kinds; nullptr for estimated planes.
    std::shared_ptr<ARAnchor> anchor;
    /// World transform of the hit: the surface's orientation (its normal as local Y) at the hit point.
    glm::mat4 worldTransform{1.0f};
    /// Distance from the camera to the hit point, in metres.
    double distance = 0.0;

    /// The hits of the ray from `frame`'s camera through `point` (a viewport of `viewportSize`)
    /// with the kinds of surface in `types`, nearest first (a tie keeps the order of the kinds as
    /// listed in `ARHitTestResultType`, detected planes by anchor order).
    ///
    /// Detected planes are the frame's `ARPlaneAnchor`s. Estimated planes come from the frame's
    /// feature points within 5 cm of the ray and in front of the camera: the horizontal one is the
    /// height that most of them share (within a centimetre), the vertical one faces the camera (its
    /// normal the ray's horizontal direction reversed) at the depth most of them share; either needs
    /// at least three such points spreading a centimetre or more both ways within the plane.
    [[nodiscard]] static std::vector<ARHitTestResult> hitTest(const ARFrame& frame, const CGPoint& point,
                                                              const CGSize& viewportSize, ARHitTestResultType types);
};

}  // namespace vantrel

#pragma GCC visibility pop
