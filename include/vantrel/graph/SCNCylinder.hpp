#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <memory>

#include "vantrel/graph/SCNGeometry.hpp"

namespace vantrel {

/// A cylinder along the Y axis, centred on the origin. Three elements: side, top cap, bottom cap.
class SCNCylinder : public SCNGeometry {
public:
    /// A cylinder of the given radius and height; negative or not-a-number sizes count as 0.
    SCNCylinder(float radius = 0.5f, float height = 1.0f);
    /// A new shared cylinder.
    [[nodiscard]] static std::shared_ptr<SCNCylinder> make(float radius = 0.5f, float height = 1.0f) {
        return std::make_shared<SCNCylinder>(radius, height);
    }
    [[nodiscard]] std::shared_ptr<SCNGeometry> copy() const override;

    /// Radius.
    [[nodiscard]] float radius() const noexcept { return radius_; }
    /// Sets the radius.
    void setRadius(float radius);
    /// Extent along Y.
    [[nodiscard]] float height() const noexcept { return height_; }
    /// Sets the extent along Y.
    void setHeight(float height);
    /// Segments around the axis, 48 by default; at least 3.
    [[nodiscard]] int radialSegmentCount() const noexcept { return radialSegmentCount_; }
    /// Sets the segments around the axis.
    void setRadialSegmentCount(int count);

private:
    void rebuild();

    float radius_;
    float height_;
    int radialSegmentCount_ = 48;
};

}  // namespace vantrel

#pragma GCC visibility pop
