#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <memory>

#include "vantrel/graph/SCNGeometry.hpp"

namespace vantrel {

/// A cone or truncated cone along the Y axis, centred on the origin, its bottom at −height/2.
/// Elements: side, bottom cap, and a top cap when the top radius is not 0.
class SCNCone : public SCNGeometry {
public:
    /// A cone of the given radii and height; negative or not-a-number sizes count as 0.
    SCNCone(float topRadius = 0.0f, float bottomRadius = 0.5f, float height = 1.0f);
    /// A new shared cone.
    [[nodiscard]] static std::shared_ptr<SCNCone> make(float topRadius = 0.0f, float bottomRadius = 0.5f,
                                                       float height = 1.0f) {
        return std::make_shared<SCNCone>(topRadius, bottomRadius, height);
    }
    [[nodiscard]] std::shared_ptr<SCNGeometry> copy() const override;

    /// Radius at +height/2.
    [[nodiscard]] float topRadius() const noexcept { return topRadius_; }
    /// Sets the top radius.
    void setTopRadius(float radius);
    /// Radius at −height/2.
    [[nodiscard]] float bottomRadius() const noexcept { return bottomRadius_; }
    /// Sets the bottom radius.
    void setBottomRadius(float radius);
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

    float topRadius_;
    float bottomRadius_;
    float height_;
    int radialSegmentCount_ = 48;
};

}  // namespace vantrel

#pragma GCC visibility pop
