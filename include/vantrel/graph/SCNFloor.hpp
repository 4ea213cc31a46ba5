#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <memory>

#include "vantrel/graph/SCNGeometry.hpp"

namespace vantrel {

/// A floor: the plane y = 0 of its node, facing +Y, endless unless given a width and length, that
/// can mirror the scene above it.
///
/// An endless floor has no mesh and no bounds (it does not enlarge any bounding box); renderers draw
/// it specially and hit tests meet it analytically. A floor with a width and length has a one-element
/// rectangle mesh.
class SCNFloor : public SCNGeometry {
public:
    /// An endless floor with reflectivity 0.25 and no reflection fall-off.
    SCNFloor();
    /// A new shared floor.
    [[nodiscard]] static std::shared_ptr<SCNFloor> make() { return std::make_shared<SCNFloor>(); }
    [[nodiscard]] std::shared_ptr<SCNGeometry> copy() const override;

    /// Share of the scene mirrored by the floor, 0.25 by default.
    [[nodiscard]] double reflectivity() const noexcept { return reflectivity_; }
    /// Sets the share mirrored.
    void setReflectivity(double reflectivity) noexcept { reflectivity_ = reflectivity; }
    /// Height above the floor where the reflection starts to fade, 0 by default.
    [[nodiscard]] double reflectionFalloffStart() const noexcept { return reflectionFalloffStart_; }
    /// Sets where the fade starts.
    void setReflectionFalloffStart(double distance) noexcept { reflectionFalloffStart_ = distance; }
    /// Height above the floor where the reflection has faded out; 0 (the default) means no fade.
    [[nodiscard]] double reflectionFalloffEnd() const noexcept { return reflectionFalloffEnd_; }
    /// Sets where the fade ends.
    void setReflectionFalloffEnd(double distance) noexcept { reflectionFalloffEnd_ = distance; }
    /// Extent along X; 0 (the default) means endless.
    [[nodiscard]] float width() const noexcept { return width_; }
    /// Sets the extent along X.
    void setWidth(float width);
    /// Extent along Z; 0 (the default) means endless.
    [[nodiscard]] float length() const noexcept { return length_; }
    /// Sets the extent along Z.
    void setLength(float length);
    /// True when the floor has no width or no length.
    [[nodiscard]] bool isEndless() const noexcept { return width_ <= 0.0f || length_ <= 0.0f; }

    [[nodiscard]] SCNBoundingBox boundingBox() const override;
    [[nodiscard]] bool hasBounds() const override;

private:
    void rebuild();

    double reflectivity_ = 0.25;
    double reflectionFalloffStart_ = 0.0;
    double reflectionFalloffEnd_ = 0.0;
    float width_ = 0.0f;
    float length_ = 0.0f;
};

}  // namespace vantrel

#pragma GCC visibility pop
