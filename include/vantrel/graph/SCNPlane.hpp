#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <memory>

#include "vantrel/graph/SCNGeometry.hpp"

namespace vantrel {

/// A flat rectangle in the XY plane, centred on the origin and facing +Z, optionally with rounded
/// corners. One element.
class SCNPlane : public SCNGeometry {
public:
    /// A plane of the given size; negative or not-a-number sizes count as 0.
    SCNPlane(float width = 1.0f, float height = 1.0f);
    /// A new shared plane.
    [[nodiscard]] static std::shared_ptr<SCNPlane> make(float width = 1.0f, float height = 1.0f) {
        return std::make_shared<SCNPlane>(width, height);
    }
    [[nodiscard]] std::shared_ptr<SCNGeometry> copy() const override;

    /// Extent along X.
    [[nodiscard]] float width() const noexcept { return width_; }
    /// Sets the extent along X.
    void setWidth(float width);
    /// Extent along Y.
    [[nodiscard]] float height() const noexcept { return height_; }
    /// Sets the extent along Y.
    void setHeight(float height);
    /// Radius of the rounded corners, 0 by default; the mesh limits it to half the shorter side.
    [[nodiscard]] float cornerRadius() const noexcept { return cornerRadius_; }
    /// Sets the corner radius.
    void setCornerRadius(float radius);
    /// Straight segments per rounded corner, 10 by default (at least 1).
    [[nodiscard]] int cornerSegmentCount() const noexcept { return cornerSegmentCount_; }
    /// Sets the segments per rounded corner.
    void setCornerSegmentCount(int count);

private:
    void rebuild();

    float width_;
    float height_;
    float cornerRadius_ = 0.0f;
    int cornerSegmentCount_ = 10;
};

}  // namespace vantrel

#pragma GCC visibility pop
