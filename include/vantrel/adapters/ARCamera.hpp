#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <optional>

#include <glm/mat3x3.hpp>
#include <glm/mat4x4.hpp>
#include <glm/vec3.hpp>

#include "vantrel/graph/CGPoint.hpp"
#include "vantrel/graph/CGSize.hpp"

namespace vantrel {

/// How well a session knows where the camera is.
enum class ARTrackingState {
    notAvailable = 0,  ///< No pose yet (or lost): the transform is the last known one, or identity.
    limited = 1,       ///< A pose of doubtful quality.
    normal = 2,        ///< A good pose.
};

/// A ray in world space: `origin` + t × `direction`, t ≥ 0, `direction` of unit length.
struct ARRay {
    glm::vec3 origin{0.0f};
    glm::vec3 direction{0.0f, 0.0f, -1.0f};
};

/// The device camera of one frame: its pose, its pinhole model and how it maps to a viewport.
///
/// Camera space is that of the scene graph: X right, Y up, looking down −Z. The intrinsics are the
/// pinhole model of the captured image in pixels (x right, y down): column-major
/// [[fx, 0, 0], [0, fy, 0], [cx, cy, 1]], that is fx = intrinsics[0][0], cx = intrinsics[2][0].
///
/// A viewport shows the captured image scaled to fill it, centred, keeping its aspect (the parts
/// that do not fit are cut off); `projectionMatrix`, `ray` and `viewportPoint` follow that mapping,
/// so a scene drawn with the projection lines up with the image drawn into the same viewport.
struct ARCamera {
    /// World from camera (column 3 = the camera's position).
    glm::mat4 transform{1.0f};
    /// Pinhole model of the captured image, in pixels.
    glm::mat3 intrinsics{1.0f};
    /// Size of the captured image in pixels.
    CGSize imageResolution{0.0, 0.0};
    /// How well the pose is known.
    ARTrackingState trackingState = ARTrackingState::notAvailable;

    /// Intrinsics of an ideal camera: the principal point in the image's centre and equal focal
    /// lengths giving the vertical field of view `verticalFieldOfViewDegrees`.
    [[nodiscard]] static glm::mat3 intrinsicsFor(const CGSize& imageResolution, double verticalFieldOfViewDegrees);

    /// The projection (camera space to clip space, depth −1 at `zNear`, 1 at `zFar`) that draws the
    /// scene as this camera sees it into a viewport of `viewportSize` pixels.
    [[nodiscard]] glm::dmat4 projectionMatrix(const CGSize& viewportSize, double zNear, double zFar) const;
    /// The world ray from the camera through `point` of a viewport of `viewportSize` (y downwards).
    [[nodiscard]] ARRay ray(const CGPoint& point, const CGSize& viewportSize) const;
    /// The viewport point where a world position appears, or nothing when it is behind the camera.
    [[nodiscard]] std::optional<CGPoint> viewportPoint(const glm::vec3& world, const CGSize& viewportSize) const;
    /// The image pixel shown at viewport point `point` (see the class note on filling).
    [[nodiscard]] CGPoint imagePoint(const CGPoint& point, const CGSize& viewportSize) const;
};

}  // namespace vantrel

#pragma GCC visibility pop
