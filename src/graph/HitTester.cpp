#include "HitTester.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include <glm/common.hpp>
#include <glm/geometric.hpp>
#include <glm/mat3x3.hpp>

#include "GeometryMesh.hpp"
#include "TransformMath.hpp"
#include "vantrel/graph/SCNFloor.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/graph/SCNNode.hpp"

namespace vantrel {

// What the hit tester reads of a node's caches.
class SceneCacheReader {
public:
    // Fills the world boxes of the subtree (and the world transforms on the way).
    static void refresh(const SCNNode& node) { node.refreshWorldBounds(); }
    // The model's world transform; valid after `refresh` of an ancestor.
    static const glm::mat4& world(const SCNNode& node) { return node.cachedWorld(); }
    // True when what is shown of the node itself may differ from its model.
    static bool presentationVaries(const SCNNode& node) {
        return node.animation_ != nullptr || !node.constraints_.empty();
    }
    // True when the cached box may stand for the whole subtree as shown (nothing below animates, is
    // constrained or is endless), given that the node's ancestors show their models.
    static bool boxCoversSubtree(const SCNNode& node) {
        return !node.presentationVariesBelow_ && !node.unboundedBelow_;
    }
    static bool hasBox(const SCNNode& node) { return node.hasWorldBounds_; }
    static const glm::vec3& boxLo(const SCNNode& node) { return node.worldBoundsLo_; }
    static const glm::vec3& boxHi(const SCNNode& node) { return node.worldBoundsHi_; }
};

}  // namespace vantrel

namespace vantrel::graph_internal {
namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr float kParallel = 1e-12f;

struct Ray {
    glm::vec3 origin;
    glm::vec3 direction;
};

struct LocalHit {
    float t = kInfinity;
    glm::vec3 normal{0.0f};
    std::size_t element = 0;
    std::size_t face = 0;
};

// Entry parameter of the ray into the box within [0, tMax], or infinity.
float enterBox(const Ray& ray, const SCNBoundingBox& box, float tMax) {
    float tNear = 0.0f;
    float tFar = tMax;
    const glm::vec3 lo = box.min.simd();
    const glm::vec3 hi = box.max.simd();
    for (int axis = 0; axis < 3; ++axis) {
        const float o = ray.origin[axis];
        const float d = ray.direction[axis];
        if (std::abs(d) < kParallel) {
            if (o < lo[axis] || o > hi[axis]) {
                return kInfinity;
            }
            continue;
        }
        float t0 = (lo[axis] - o) / d;
        float t1 = (hi[axis] - o) / d;
        if (t0 > t1) {
            std::swap(t0, t1);
        }
        tNear = std::max(tNear, t0);
        tFar = std::min(tFar, t1);
        if (tNear > tFar) {
            return kInfinity;
        }
    }
    return tNear;
}

// Normal of the box face the ray enters through at parameter t.
glm::vec3 boxFaceNormal(const Ray& ray, const SCNBoundingBox& box, float t) {
    const glm::vec3 p = ray.origin + ray.direction * t;
    const glm::vec3 lo = box.min.simd();
    const glm::vec3 hi = box.max.simd();
    int bestAxis = 0;
    float bestDistance = kInfinity;
    float sign = 1.0f;
    for (int axis = 0; axis < 3; ++axis) {
        const float toLo = std::abs(p[axis] - lo[axis]);
        const float toHi = std::abs(p[axis] - hi[axis]);
        if (toLo < bestDistance) {
            bestDistance = toLo;
            bestAxis = axis;
            sign = -1.0f;
        }
        if (toHi < bestDistance) {
            bestDistance = toHi;
            bestAxis = axis;
            sign = 1.0f;
        }
    }
    glm::vec3 n(0.0f);
    n[bestAxis] = sign;
    return n;
}

class Caster {
public:
    // `rayLength` is the length of the direction in the coordinates distances are measured in.
    Caster(const Ray& ray, float tMax, float rayLength, const SCNHitTestOptions& options)
        : ray_(ray), tMax_(tMax), options_(options), rayLength_(rayLength) {
        const auto safeInverse = [](float d) { return 1.0f / (d != 0.0f ? d : std::numeric_limits<float>::min()); };
        inverseDirection_ = {safeInverse(ray.direction.x), safeInverse(ray.direction.y), safeInverse(ray.direction.z)};
    }

    // `world` is the node's world transform as tested (shown or model); `showsModel` says that the
    // node and all its ancestors show their model, so that the cached model boxes stand for what is
    // tested.
    void visit(const SCNNode& node, const glm::mat4& world, bool showsModel, bool isRoot) {
        if (done_) {
            return;
        }
        if (options_.ignoreHiddenNodes && node.isHidden()) {
            return;
        }
        if (showsModel && SceneCacheReader::boxCoversSubtree(node) &&
            (!SceneCacheReader::hasBox(node) ||
             !rayMeetsBox(SceneCacheReader::boxLo(node), SceneCacheReader::boxHi(node)))) {
            return;  // nothing below can be hit
        }
        if (node.geometry() && (node.categoryBitMask() & options_.categoryBitMask) != 0) {
            testGeometry(node, world);
        }
        if (options_.ignoreChildNodes && isRoot) {
            return;
        }
        for (const auto& child : node.childNodes()) {
            const bool childShowsModel =
                showsModel && (!options_.usePresentation || !SceneCacheReader::presentationVaries(*child));
            if (childShowsModel) {
                visit(*child, SceneCacheReader::world(*child), true, false);
                continue;
            }
            const glm::mat4 childWorld = options_.usePresentation
                                             ? constrained(*child, world * child->presentationTransform())
                                             : world * child->simdTransform();
            visit(*child, childWorld, false, false);
        }
    }

    std::vector<SCNHitTestResult> results() {
        std::stable_sort(results_.begin(), results_.end(),
                         [](const SCNHitTestResult& a, const SCNHitTestResult& b) { return a.distance < b.distance; });
        if (options_.searchMode != SCNHitTestSearchMode::all && results_.size() > 1) {
            results_.resize(1);
        }
        return std::move(results_);
    }

    glm::mat4 constrained(const SCNNode& node, const glm::mat4& world) const {
        if (node.constraints().empty()) {
            return world;
        }
        // Constraints need the whole ancestry; the node computes it (rarely: labels and cameras).
        return node.presentationWorldTransform(options_.pointOfView);
    }

private:
    // Results keep the closest distance found so far, which lets closest-only searches skip boxes.
    float limit() const {
        if (options_.searchMode == SCNHitTestSearchMode::closest && !results_.empty()) {
            return std::min(tMax_, results_.front().distance / std::max(rayLength_, kParallel));
        }
        return tMax_;
    }

    // Whether the ray meets the world box lo…hi within the current limit.
    bool rayMeetsBox(const glm::vec3& lo, const glm::vec3& hi) const {
        const glm::vec3 t0 = (lo - ray_.origin) * inverseDirection_;
        const glm::vec3 t1 = (hi - ray_.origin) * inverseDirection_;
        const glm::vec3 near = glm::min(t0, t1);
        const glm::vec3 far = glm::max(t0, t1);
        const float tNear = std::max(std::max(near.x, near.y), std::max(near.z, 0.0f));
        const float tFar = std::min(std::min(far.x, far.y), std::min(far.z, limit()));
        return !(tNear > tFar);
    }

    // Whether the ray can meet `box` carried by `world`: a cheap look at the box's axis-aligned hull in
    // the ray's coordinates, made before anything is inverted. Most nodes of a scene end here.
    bool mayMeet(const SCNBoundingBox& box, const glm::mat4& world) const {
        const glm::vec3 centre = (box.min.simd() + box.max.simd()) * 0.5f;
        const glm::vec3 halfExtent = (box.max.simd() - box.min.simd()) * 0.5f;
        const glm::mat3 linear(world);
        const glm::mat3 absolute(glm::abs(linear[0]), glm::abs(linear[1]), glm::abs(linear[2]));
        const glm::vec3 hullCentre = linear * centre + glm::vec3(world[3]);
        const glm::vec3 hullHalf = absolute * halfExtent;
        const glm::vec3 t0 = (hullCentre - hullHalf - ray_.origin) * inverseDirection_;
        const glm::vec3 t1 = (hullCentre + hullHalf - ray_.origin) * inverseDirection_;
        const glm::vec3 near = glm::min(t0, t1);
        const glm::vec3 far = glm::max(t0, t1);
        const float tNear = std::max(std::max(near.x, near.y), std::max(near.z, 0.0f));
        const float tFar = std::min(std::min(far.x, far.y), std::min(far.z, limit()));
        // Not-a-number (a broken transform) fails the comparison and is left to the exact test.
        return !(tNear > tFar);
    }

    void testGeometry(const SCNNode& node, const glm::mat4& world) {
        const SCNGeometry& geometry = *node.geometry();
        if (geometry.hasBounds() && !options_.boundingBoxOnly && !mayMeet(geometry.boundingBox(), world)) {
            return;
        }
        glm::mat4 inverse;
        if (!invertAffine(world, inverse)) {
            return;  // flattened to nothing: it cannot be hit
        }
        const Ray local{glm::vec3(inverse * glm::vec4(ray_.origin, 1.0f)), glm::mat3(inverse) * ray_.direction};

        LocalHit best;
        if (geometry.hasBounds()) {
            const SCNBoundingBox box = geometry.boundingBox();
            const float entry = enterBox(local, box, limit());
            if (entry == kInfinity) {
                return;
            }
            if (options_.boundingBoxOnly) {
                best = {entry, boxFaceNormal(local, box, entry), 0, 0};
            } else {
                best = hitTriangles(local, geometry);
            }
        } else if (const auto* floor = dynamic_cast<const SCNFloor*>(&geometry); floor && floor->isEndless()) {
            best = hitEndlessFloor(local, geometry);
        }
        if (best.t == kInfinity) {
            return;
        }
        auto owner = std::const_pointer_cast<SCNNode>(node.weak_from_this().lock());
        if (!owner) {
            return;  // a node outside any shared_ptr cannot be handed out
        }
        SCNHitTestResult result;
        result.node = std::move(owner);
        result.localCoordinates = SCNVector3(local.origin + local.direction * best.t);
        result.worldCoordinates = SCNVector3(ray_.origin + ray_.direction * best.t);
        result.localNormal = SCNVector3(best.normal);
        const glm::vec3 worldNormal = glm::transpose(glm::mat3(inverse)) * best.normal;
        const float normalLength = glm::length(worldNormal);
        result.worldNormal = SCNVector3(normalLength > 0.0f ? worldNormal / normalLength : worldNormal);
        result.distance = best.t * rayLength_;
        result.geometryIndex = best.element;
        result.faceIndex = best.face;
        if (options_.searchMode == SCNHitTestSearchMode::closest && !results_.empty()) {
            if (result.distance < results_.front().distance) {
                results_.front() = std::move(result);
            }
        } else {
            results_.push_back(std::move(result));
        }
        if (options_.searchMode == SCNHitTestSearchMode::any) {
            done_ = true;
        }
    }

    // Which side of the faces of `element` a hit test skips: none, the back (the default) or, for a
    // material that culls front faces, the front.
    enum class Culled : char { none, back, front };
    Culled culledSide(const SCNGeometry& geometry, std::size_t element) const {
        if (!options_.backFaceCulling) {
            return Culled::none;
        }
        const auto material = geometry.materialForElement(element);
        if (!material) {
            return Culled::back;
        }
        if (material->isDoubleSided()) {
            return Culled::none;
        }
        return material->cullMode() == SCNCullMode::front ? Culled::front : Culled::back;
    }

    static bool isCulled(Culled culled, bool front) { return culled == (front ? Culled::front : Culled::back); }

    LocalHit hitEndlessFloor(const Ray& local, const SCNGeometry& geometry) const {
        if (std::abs(local.direction.y) < kParallel) {
            return {};
        }
        const float t = -local.origin.y / local.direction.y;
        if (t < 0.0f || t > limit()) {
            return {};
        }
        const bool fromAbove = local.direction.y < 0.0f;
        if (isCulled(culledSide(geometry, 0), fromAbove)) {
            return {};
        }
        return {t, glm::vec3(0.0f, 1.0f, 0.0f), 0, 0};
    }

    LocalHit hitTriangles(const Ray& local, const SCNGeometry& geometry) const {
        const auto& mesh = *geometry.mesh();
        const auto& vertices = mesh.source.vertices;
        const std::size_t elementCount = mesh.elements.size();
        // Culling per element, looked up once.
        std::vector<Culled> culls(elementCount);
        for (std::size_t e = 0; e < elementCount; ++e) {
            culls[e] = culledSide(geometry, e);
        }
        LocalHit best;
        mesh.triangleBvh().traverse(
            local.origin, local.direction, limit(), [&](const TriangleBvh::Triangle& tri, float tMax) {
                // Möller–Trumbore.
                const glm::vec3& a = vertices[tri.a];
                const glm::vec3 e1 = vertices[tri.b] - a;
                const glm::vec3 e2 = vertices[tri.c] - a;
                const glm::vec3 p = glm::cross(local.direction, e2);
                const float det = glm::dot(e1, p);
                // det > 0: the ray meets the counter-clockwise (front) side. Tested in the node's own
                // coordinates, so a mirroring transform keeps the same side in front, as renderers do
                // when they flip the winding for such nodes.
                const bool front = det > 0.0f;
                if (std::abs(det) < 1e-12f || isCulled(culls[tri.element], front)) {
                    return tMax;
                }
                const float invDet = 1.0f / det;
                const glm::vec3 s = local.origin - a;
                const float u = glm::dot(s, p) * invDet;
                if (u < 0.0f || u > 1.0f) {
                    return tMax;
                }
                const glm::vec3 q = glm::cross(s, e1);
                const float v = glm::dot(local.direction, q) * invDet;
                if (v < 0.0f || u + v > 1.0f) {
                    return tMax;
                }
                const float t = glm::dot(e2, q) * invDet;
                if (t < 0.0f || t > tMax || t >= best.t) {
                    return tMax;
                }
                best = {t, glm::normalize(glm::cross(e1, e2)), tri.element, tri.face};
                // Each node reports its nearest hit, so farther triangles of this mesh no longer matter.
                return t;
            });
        return best;
    }

    Ray ray_;
    float tMax_;
    SCNHitTestOptions options_;
    float rayLength_;
    glm::vec3 inverseDirection_{0.0f};
    std::vector<SCNHitTestResult> results_;
    bool done_ = false;
};

}  // namespace

std::vector<SCNHitTestResult> castRay(const SCNNode& root, const glm::vec3& origin, const glm::vec3& direction,
                                      float tMax, const SCNHitTestOptions& options) {
    if (!(glm::length(direction) > 0.0f) || !(tMax >= 0.0f)) {
        return {};
    }
    // The ray is given in the root's coordinates; the walk runs in world coordinates, where the
    // cached transforms and boxes are. An affine map keeps the ray's parameter, so t and the distances
    // measured in the root's coordinates stay as they are.
    const glm::mat4 rootWorld =
        options.usePresentation ? root.presentationWorldTransform(options.pointOfView) : root.simdWorldTransform();
    const glm::vec3 worldOrigin(rootWorld * glm::vec4(origin, 1.0f));
    const glm::vec3 worldDirection = glm::mat3(rootWorld) * direction;
    if (!(glm::length(worldDirection) > 0.0f) || !std::isfinite(worldOrigin.x + worldOrigin.y + worldOrigin.z)) {
        return {};
    }
    Caster caster({worldOrigin, worldDirection}, tMax, glm::length(direction), options);

    // The cached boxes follow the model; they stand for what is shown only where the root and its
    // ancestors show their model too.
    bool showsModel = true;
    if (options.usePresentation) {
        for (const SCNNode* node = &root; node != nullptr && showsModel; node = node->parentNode().get()) {
            showsModel = !SceneCacheReader::presentationVaries(*node);
        }
    }
    SceneCacheReader::refresh(root);
    caster.visit(root, showsModel ? SceneCacheReader::world(root) : rootWorld, showsModel, true);
    return caster.results();
}

}  // namespace vantrel::graph_internal
