#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>

#include <glm/mat4x4.hpp>

#include "vantrel/graph/SCNRevision.hpp"

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
    void setName(std::string name) {
        name_ = std::move(name);
        revision_.bump();
    }
    /// True for a parallel projection (false by default).
    [[nodiscard]] bool usesOrthographicProjection() const noexcept { return orthographic_; }
    /// Chooses parallel or perspective projection.
    void setUsesOrthographicProjection(bool orthographic) noexcept {
        orthographic_ = orthographic;
        revision_.bump();
    }
    /// Half the visible height of a parallel projection in scene units, 1 by default.
    [[nodiscard]] double orthographicScale() const noexcept { return orthographicScale_; }
    /// Sets the half visible height of a parallel projection.
    void setOrthographicScale(double scale) noexcept {
        orthographicScale_ = scale;
        revision_.bump();
    }
    /// Field of view in degrees, 60 by default.
    [[nodiscard]] double fieldOfView() const noexcept { return fieldOfView_; }
    /// Sets the field of view in degrees.
    void setFieldOfView(double degrees) noexcept {
        fieldOfView_ = degrees;
        revision_.bump();
    }
    /// Which viewport extent the field of view spans, vertical by default.
    [[nodiscard]] SCNCameraProjectionDirection projectionDirection() const noexcept { return direction_; }
    /// Sets which viewport extent the field of view spans.
    void setProjectionDirection(SCNCameraProjectionDirection direction) noexcept {
        direction_ = direction;
        revision_.bump();
    }
    /// Distance of the near clipping plane, 1 by default; unused with an automatic z range, which
    /// chooses it from the scene.
    [[nodiscard]] double zNear() const noexcept { return zNear_; }
    /// Sets the near distance.
    void setZNear(double zNear) noexcept {
        zNear_ = zNear;
        revision_.bump();
    }
    /// Distance of the far clipping plane, 100 by default; unused with an automatic z range.
    [[nodiscard]] double zFar() const noexcept { return zFar_; }
    /// Sets the far distance.
    void setZFar(double zFar) noexcept {
        zFar_ = zFar;
        revision_.bump();
    }
    /// True when near and far follow the scene's extent (false by default).
    [[nodiscard]] bool automaticallyAdjustsZRange() const noexcept { return automaticZRange_; }
    /// Sets whether near and far follow the scene's extent.
    void setAutomaticallyAdjustsZRange(bool automatic) noexcept {
        automaticZRange_ = automatic;
        revision_.bump();
    }

    /// The projection transform for a viewport of the given aspect (width / height) and clipping
    /// distances, mapping view space (−Z forward) to clip space with depth −1 at near and 1 at far.
    /// Out-of-range inputs (non-positive aspect, field of view or distances) are replaced by safe ones.
    /// A projection set from outside (`setProjectionTransform`) is returned as it is instead.
    [[nodiscard]] glm::dmat4 projectionTransform(double aspect, double zNear, double zFar) const;
    /// The projection set from outside (an AR device camera's), or nothing when the camera computes
    /// its own from its settings.
    [[nodiscard]] const std::optional<glm::dmat4>& projectionTransformOverride() const noexcept { return override_; }
    /// Makes the camera use `projection` as it is, whatever its other settings and the viewport; a
    /// projection with a non-finite entry is ignored.
    void setProjectionTransform(const glm::dmat4& projection);
    /// Goes back to computing the projection from the camera's settings.
    void clearProjectionTransform() noexcept {
        override_.reset();
        revision_.bump();
    }

    /// Cameras draw only nodes whose category bit mask shares a bit with this; all bits by default.
    [[nodiscard]] std::uint64_t categoryBitMask() const noexcept { return categoryBitMask_; }
    /// Sets which node categories the camera draws.
    void setCategoryBitMask(std::uint64_t mask) noexcept {
        categoryBitMask_ = mask;
        revision_.bump();
    }

    /// Change stamp: grows with every change of the camera (see detail::RevisionStamp).
    [[nodiscard]] std::uint64_t revision() const noexcept { return revision_.value(); }

private:
    std::string name_;
    bool orthographic_ = false;
    double orthographicScale_ = 1.0;
    double fieldOfView_ = 60.0;
    SCNCameraProjectionDirection direction_ = SCNCameraProjectionDirection::vertical;
    double zNear_ = 1.0;
    double zFar_ = 100.0;
    bool automaticZRange_ = false;
    std::optional<glm::dmat4> override_;
    std::uint64_t categoryBitMask_ = std::numeric_limits<std::uint64_t>::max();
    detail::RevisionStamp revision_;
};

}  // namespace vantrel

#pragma GCC visibility pop
