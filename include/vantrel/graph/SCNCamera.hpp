#pragma once

#include <memory>
#include <string>

#include <glm/mat4x4.hpp>

namespace vantrel {

/// Whether a camera's field of view spans the viewport's height or its width.
enum class SCNCameraProjectionDirection {
    vertical = 0,    ///< The field of view is the vertical angle.
    horizontal = 1,  ///< The field of view is the horizontal angle.
};

/// A camera attached to a node (`SCNNode::setCamera`); it looks along the node's −Z axis with +Y up.
/// Shared by reference; node clones share it.
class SCNCamera {
public:
    /// A perspective camera: 60° vertical field of view, z range 1…100, no automatic z range.
    SCNCamera() = default;
    /// A new shared camera.
    [[nodiscard]] static std::shared_ptr<SCNCamera> make() { return std::make_shared<SCNCamera>(); }

    /// Name, empty by default.
    [[nodiscard]] const std::string& name() const noexcept { return name_; }
    /// Sets the name.
    void setName(std::string name) { name_ = std::move(name); }
    /// True for a parallel projection (false by default).
    [[nodiscard]] bool usesOrthographicProjection() const noexcept { return orthographic_; }
    /// Chooses parallel or perspective projection.
    void setUsesOrthographicProjection(bool orthographic) noexcept { orthographic_ = orthographic; }
    /// Half the visible height of a parallel projection in scene units, 1 by default.
    [[nodiscard]] double orthographicScale() const noexcept { return orthographicScale_; }
    /// Sets the half visible height of a parallel projection.
    void setOrthographicScale(double scale) noexcept { orthographicScale_ = scale; }
    /// Field of view in degrees, 60 by default.
    [[nodiscard]] double fieldOfView() const noexcept { return fieldOfView_; }
    /// Sets the field of view in degrees.
    void setFieldOfView(double degrees) noexcept { fieldOfView_ = degrees; }
    /// Which viewport extent the field of view spans, vertical by default.
    [[nodiscard]] SCNCameraProjectionDirection projectionDirection() const noexcept { return direction_; }
    /// Sets which viewport extent the field of view spans.
    void setProjectionDirection(SCNCameraProjectionDirection direction) noexcept { direction_ = direction; }
    /// Distance of the near clipping plane, 1 by default. With an automatic z range it is the
    /// smallest near distance the range may choose.
    [[nodiscard]] double zNear() const noexcept { return zNear_; }
    /// Sets the near distance.
    void setZNear(double zNear) noexcept { zNear_ = zNear; }
    /// Distance of the far clipping plane, 100 by default; unused with an automatic z range.
    [[nodiscard]] double zFar() const noexcept { return zFar_; }
    /// Sets the far distance.
    void setZFar(double zFar) noexcept { zFar_ = zFar; }
    /// True when near and far follow the scene's extent (false by default).
    [[nodiscard]] bool automaticallyAdjustsZRange() const noexcept { return automaticZRange_; }
    /// Sets whether near and far follow the scene's extent.
    void setAutomaticallyAdjustsZRange(bool automatic) noexcept { automaticZRange_ = automatic; }

    /// The projection transform for a viewport of the given aspect (width / height) and clipping
    /// distances, mapping view space (−Z forward) to clip space with depth −1 at near and 1 at far.
    /// Out-of-range inputs (non-positive aspect, field of view or distances) are replaced by safe ones.
    [[nodiscard]] glm::dmat4 projectionTransform(double aspect, double zNear, double zFar) const;

private:
    std::string name_;
    bool orthographic_ = false;
    double orthographicScale_ = 1.0;
    double fieldOfView_ = 60.0;
    SCNCameraProjectionDirection direction_ = SCNCameraProjectionDirection::vertical;
    double zNear_ = 1.0;
    double zFar_ = 100.0;
    bool automaticZRange_ = false;
};

}  // namespace vantrel
