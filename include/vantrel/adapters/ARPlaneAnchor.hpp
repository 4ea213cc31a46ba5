#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <glm/vec3.hpp>

#include "vantrel/adapters/ARAnchor.hpp"

namespace vantrel {

/// Whether a plane lies flat or stands upright.
enum class ARPlaneAnchorAlignment {
    horizontal = 0,  ///< The plane's normal is the world's Y axis; its local Y points up.
    vertical = 1,    ///< The plane's normal is horizontal; its local Y points out of the wall.
};

/// A detected plane: in the anchor's own space it is the rectangle around `center` spanning
/// `extent.x` along X and `extent.z` along Z in the plane y = 0 (its normal is the local Y axis).
class ARPlaneAnchor : public ARAnchor {
public:
    ARPlaneAnchor(std::string identifier, const glm::mat4& transform, ARPlaneAnchorAlignment alignment,
                  const glm::vec3& center, const glm::vec3& extent)
        : ARAnchor(std::move(identifier), transform), alignment_(alignment), center_(center), extent_(extent) {}

    /// Horizontal or vertical.
    [[nodiscard]] ARPlaneAnchorAlignment alignment() const noexcept { return alignment_; }
    /// Centre of the plane's rectangle, in anchor space.
    [[nodiscard]] const glm::vec3& center() const noexcept { return center_; }
    /// Size of the rectangle: x and z are its width and length, y is 0.
    [[nodiscard]] const glm::vec3& extent() const noexcept { return extent_; }
    /// Replaces the plane's shape (sessions do this when the plane grows).
    void setGeometry(ARPlaneAnchorAlignment alignment, const glm::vec3& center, const glm::vec3& extent) noexcept {
        alignment_ = alignment;
        center_ = center;
        extent_ = extent;
    }

private:
    ARPlaneAnchorAlignment alignment_;
    glm::vec3 center_;
    glm::vec3 extent_;
};

}  // namespace vantrel

#pragma GCC visibility pop
