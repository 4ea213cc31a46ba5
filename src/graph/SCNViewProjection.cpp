#include "vantrel/graph/SCNViewProjection.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include <glm/geometric.hpp>
#include <glm/mat4x4.hpp>

#include "HitTester.hpp"
#include "TransformMath.hpp"
#include "vantrel/graph/SCNCamera.hpp"
#include "vantrel/graph/SCNFloor.hpp"
#include "vantrel/graph/SCNNode.hpp"

namespace vantrel {
namespace {

bool finite(const glm::dmat4& m) {
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            if (!std::isfinite(m[c][r])) {
                return false;
            }
        }
    }
    return true;
}

// The automatic z range never puts the near plane closer than this share of the far distance, nor
// closer than a millimetre.
constexpr double kNearShareOfFar = 1e-4;
constexpr double kSmallestNear = 0.001;

// Near and far distances of a projection transform (perspective or parallel, depth −1…1); left as
// they are when the transform does not tell.
void clippingDistances(const glm::dmat4& projection, double& zNear, double& zFar) {
    const double a = projection[2][2];
    const double b = projection[3][2];
    double n = 0.0;
    double f = 0.0;
    if (projection[2][3] != 0.0) {  // perspective: w = −z
        n = b / (a - 1.0);
        f = b / (a + 1.0);
    } else if (a != 0.0) {  // parallel
        n = (b + 1.0) / a;
        f = (b - 1.0) / a;
    }
    if (std::isfinite(n) && std::isfinite(f) && n > 0.0 && f > n) {
        zNear = n;
        zFar = f;
    }
}

double usableExtent(double extent) { return extent > 0.0 && std::isfinite(extent) ? extent : 1.0; }

// Near and far distances that enclose the world bounding sphere of the tree `node` belongs to.
// False when the tree has nothing to enclose.
bool sceneDepthRange(const SCNNode& node, const glm::dvec3& eye, double& nearest, double& farthest) {
    const SCNNode* root = &node;
    for (std::shared_ptr<SCNNode> parent; (parent = root->parentNode()) != nullptr;) {
        root = parent.get();  // still owned by its own parent or the scene after `parent` lets go
    }
    const SCNBoundingBox box = root->boundingBox();
    if (box == SCNBoundingBox{}) {
        return false;
    }
    const glm::dmat4 world(root->simdWorldTransform());
    glm::dvec3 lo(0.0);
    glm::dvec3 hi(0.0);
    for (int corner = 0; corner < 8; ++corner) {
        const glm::dvec4 local((corner & 1) ? box.max.x : box.min.x, (corner & 2) ? box.max.y : box.min.y,
                               (corner & 4) ? box.max.z : box.min.z, 1.0);
        const glm::dvec3 p(world * local);
        lo = corner == 0 ? p : glm::min(lo, p);
        hi = corner == 0 ? p : glm::max(hi, p);
    }
    const glm::dvec3 centre = (lo + hi) * 0.5;
    const double radius = glm::length(hi - lo) * 0.5;
    const double distance = glm::length(centre - eye);
    nearest = distance - radius;
    farthest = distance + radius;
    // A floor has no end: a range fitted to the content would cut it off in front of the camera
    // and just behind the content. Where the scene shows one (a floor is a top-level node, as the
    // adapters add it), the range reaches from close in front of the camera to well past the content.
    for (const auto& child : root->childNodes()) {
        if (child && !child->isHidden() && std::dynamic_pointer_cast<SCNFloor>(child->geometry())) {
            constexpr double kFloorReach = 8.0;
            nearest = 0.0;
            farthest = std::max(farthest, 1e-3) * kFloorReach;
            break;
        }
    }
    return std::isfinite(nearest) && std::isfinite(farthest) && farthest > 0.0;
}

}  // namespace

SCNViewProjection::SCNViewProjection(const SCNNode& pointOfView, const CGRect& viewport)
    : pointOfView_(pointOfView.weak_from_this()), viewport_(viewport) {
    const glm::dmat4 cameraWorld(pointOfView.presentationWorldTransform(&pointOfView));
    const glm::dmat4 view = glm::inverse(cameraWorld);
    view_ = finite(view) ? view : glm::dmat4(1.0);

    const SCNCamera camera = pointOfView.camera() ? *pointOfView.camera() : SCNCamera{};
    const double aspect = usableExtent(viewport.size.width) / usableExtent(viewport.size.height);
    zNear_ = camera.zNear();
    zFar_ = camera.zFar();
    double nearest = 0.0;
    double farthest = 0.0;
    if (camera.projectionTransformOverride()) {
        // A projection from outside (the device camera's) decides the clipping distances itself.
        projection_ = *camera.projectionTransformOverride();
        clippingDistances(projection_, zNear_, zFar_);
    } else {
        if (camera.automaticallyAdjustsZRange() &&
            sceneDepthRange(pointOfView, glm::dvec3(cameraWorld[3]), nearest, farthest)) {
            // A little slack so that the scene's outermost points are not clipped. A camera standing
            // inside the scene gets a near plane close in front of it, a small share of the far
            // distance so that depth keeps its precision.
            zFar_ = farthest * 1.01;
            zNear_ = std::max({nearest * 0.99, zFar_ * kNearShareOfFar, kSmallestNear});
            zFar_ = std::max(zFar_, zNear_ * 2.0);
        }
        projection_ = camera.projectionTransform(aspect, zNear_, zFar_);
    }
    const glm::dmat4 inverse = glm::inverse(projection_ * view_);
    viewProjectionInverse_ = finite(inverse) ? inverse : glm::dmat4(1.0);
}

SCNVector3 SCNViewProjection::projectPoint(const SCNVector3& worldPosition) const {
    glm::dvec4 clip = projection_ * view_ * glm::dvec4(worldPosition.x, worldPosition.y, worldPosition.z, 1.0);
    if (std::abs(clip.w) < 1e-300) {
        clip.w = clip.w < 0.0 ? -1e-300 : 1e-300;  // on the camera's plane: project far away, not to NaN
    }
    const glm::dvec3 ndc = glm::dvec3(clip) / clip.w;
    const double width = usableExtent(viewport_.size.width);
    const double height = usableExtent(viewport_.size.height);
    return {static_cast<float>(viewport_.origin.x + (ndc.x + 1.0) * 0.5 * width),
            static_cast<float>(viewport_.origin.y + (1.0 - ndc.y) * 0.5 * height),
            static_cast<float>((ndc.z + 1.0) * 0.5)};
}

SCNVector3 SCNViewProjection::unprojectPoint(const SCNVector3& screenPoint) const {
    const double width = usableExtent(viewport_.size.width);
    const double height = usableExtent(viewport_.size.height);
    const glm::dvec4 ndc((static_cast<double>(screenPoint.x) - viewport_.origin.x) / width * 2.0 - 1.0,
                         1.0 - (static_cast<double>(screenPoint.y) - viewport_.origin.y) / height * 2.0,
                         static_cast<double>(screenPoint.z) * 2.0 - 1.0, 1.0);
    glm::dvec4 world = viewProjectionInverse_ * ndc;
    if (std::abs(world.w) < 1e-300) {
        world.w = world.w < 0.0 ? -1e-300 : 1e-300;
    }
    return {static_cast<float>(world.x / world.w), static_cast<float>(world.y / world.w),
            static_cast<float>(world.z / world.w)};
}

std::vector<SCNHitTestResult> SCNViewProjection::hitTest(const SCNNode& root, const CGPoint& point,
                                                         const SCNHitTestOptions& options) const {
    const SCNVector3 nearPoint = unprojectPoint({static_cast<float>(point.x), static_cast<float>(point.y), 0.0f});
    const SCNVector3 farPoint = unprojectPoint({static_cast<float>(point.x), static_cast<float>(point.y), 1.0f});
    glm::vec3 direction = (farPoint - nearPoint).simd();
    const float length = glm::length(direction);
    if (!(length > 0.0f) || !std::isfinite(length)) {
        return {};
    }
    direction /= length;

    SCNHitTestOptions effective = options;
    const auto viewer = pointOfView_.lock();
    if (effective.pointOfView == nullptr) {
        effective.pointOfView = viewer.get();
    }
    // The ray is in world coordinates; the hit tester wants it in the root's.
    const glm::mat4 rootWorld =
        effective.usePresentation ? root.presentationWorldTransform(effective.pointOfView) : root.simdWorldTransform();
    glm::mat4 rootInverse;
    if (!graph_internal::invertAffine(rootWorld, rootInverse)) {
        return {};
    }
    const glm::vec3 origin(rootInverse * glm::vec4(nearPoint.simd(), 1.0f));
    const glm::vec3 localDirection = glm::normalize(glm::mat3(rootInverse) * direction);
    return graph_internal::castRay(root, origin, localDirection, std::numeric_limits<float>::infinity(), effective);
}

}  // namespace vantrel
