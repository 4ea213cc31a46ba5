#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <memory>
#include <vector>

#include <glm/mat4x4.hpp>

#include "vantrel/graph/CGRect.hpp"
#include "vantrel/graph/SCNHitTestResult.hpp"
#include "vantrel/graph/SCNVector3.hpp"

namespace vantrel {

class SCNNode;

/// How a viewport sees the scene from a point of view: maps between world positions and screen
/// points, and casts rays through screen points for hit tests. It answers a view's `projectPoint`,
/// `unprojectPoint` and `hitTest` without a GPU.
///
/// It is a snapshot: the camera's presented world transform (constraints applied), its settings and
/// its z range are taken when it is made; make a new one after the camera or the scene changes.
///
/// Screen coordinates are those of the viewport's coordinate system: x to the right, y downwards,
/// the viewport's origin at its top-left corner. Depth runs from 0 at the near plane to 1 at the far
/// plane. With an automatic z range, near and far enclose the bounding sphere of the scene the point
/// of view belongs to (its top ancestor); a camera inside that sphere gets a near plane close in front
/// of it (a ten-thousandth of the far distance, at least a millimetre). A camera with a projection set
/// from outside uses it as it is, and near and far are read from it.
///
/// A point of view without a camera sees through a default camera. A viewport with no width or
/// height counts as one point wide or high.
class SCNViewProjection {
public:
    /// A snapshot of `pointOfView` looking into `viewport`.
    SCNViewProjection(const SCNNode& pointOfView, const CGRect& viewport);

    /// The screen point (x, y) and depth (z) of a world position. Positions behind the camera come
    /// out with a depth outside 0…1.
    [[nodiscard]] SCNVector3 projectPoint(const SCNVector3& worldPosition) const;
    /// The world position at screen point (x, y) and depth z (the inverse of `projectPoint`).
    [[nodiscard]] SCNVector3 unprojectPoint(const SCNVector3& screenPoint) const;
    /// Hits of the ray from the camera through `point` with the geometry under `root`, nearest first.
    /// Billboards face this point of view unless the options name another.
    [[nodiscard]] std::vector<SCNHitTestResult> hitTest(const SCNNode& root, const CGPoint& point,
                                                        const SCNHitTestOptions& options = {}) const;

    /// The view transform (world to camera space).
    [[nodiscard]] const glm::dmat4& viewTransform() const noexcept { return view_; }
    /// The projection transform (camera space to clip space).
    [[nodiscard]] const glm::dmat4& projectionTransform() const noexcept { return projection_; }
    /// Near clipping distance used.
    [[nodiscard]] double zNear() const noexcept { return zNear_; }
    /// Far clipping distance used.
    [[nodiscard]] double zFar() const noexcept { return zFar_; }
    /// The viewport.
    [[nodiscard]] const CGRect& viewport() const noexcept { return viewport_; }

private:
    std::weak_ptr<const SCNNode> pointOfView_;
    CGRect viewport_;
    glm::dmat4 view_{1.0};
    glm::dmat4 projection_{1.0};
    glm::dmat4 viewProjectionInverse_{1.0};
    double zNear_ = 1.0;
    double zFar_ = 100.0;
};

}  // namespace vantrel

#pragma GCC visibility pop
