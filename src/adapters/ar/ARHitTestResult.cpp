#include "vantrel/adapters/ARHitTestResult.hpp"

#include <algorithm>
#include <cmath>

#include <glm/glm.hpp>

#include "vantrel/adapters/ARFrame.hpp"
#include "vantrel/adapters/ARPlaneAnchor.hpp"

namespace vantrel {
namespace {

constexpr float kFeatureRadius = 0.05f;  // metres around the ray that count for an estimate
constexpr std::size_t kMinimumFeatures = 3;
constexpr std::size_t kMaximumFeatures = 256;  // points looked at per ray
constexpr float kInlierTolerance = 0.0101f;    // metres off a plane that still count as on it
constexpr float kMinimumSpread = 0.0099f;      // metres a plane's points must span both ways

// Distance along the ray to the plane through `point` with normal `normal`; nothing when the ray
// runs along the plane or meets it behind the camera.
std::optional<float> rayPlane(const ARRay& ray, const glm::vec3& point, const glm::vec3& normal) {
    const float facing = glm::dot(normal, ray.direction);
    if (std::abs(facing) < 1e-6f) return std::nullopt;
    const float t = glm::dot(normal, point - ray.origin) / facing;
    if (!std::isfinite(t) || t <= 0.0f) return std::nullopt;
    return t;
}

float median(std::vector<float> values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

glm::mat4 placed(glm::mat4 orientation, const glm::vec3& at) {
    orientation[3] = glm::vec4(at, 1.0f);
    return orientation;
}

void addPlaneHits(const ARFrame& frame, const ARRay& ray, ARHitTestResultType types,
                  std::vector<ARHitTestResult>& results) {
    const ARHitTestResultType bounded[] = {ARHitTestResultType::existingPlaneUsingExtent,
                                           ARHitTestResultType::existingPlaneUsingGeometry};
    for (const auto& anchor : frame.anchors) {
        const auto plane = std::dynamic_pointer_cast<ARPlaneAnchor>(anchor);
        if (plane == nullptr) continue;
        const glm::mat4& world = plane->transform();
        const auto t = rayPlane(ray, glm::vec3(world[3]), glm::normalize(glm::vec3(world[1])));
        if (!t) continue;
        const glm::vec3 hit = ray.origin + *t * ray.direction;
        const ARHitTestResult result{ARHitTestResultType::existingPlane, anchor, placed(world, hit), *t};
        if (contains(types, ARHitTestResultType::existingPlane)) results.push_back(result);
        const glm::vec3 local = glm::vec3(glm::inverse(world) * glm::vec4(hit, 1.0f)) - plane->center();
        const bool inside =
            std::abs(local.x) <= plane->extent().x / 2.0f && std::abs(local.z) <= plane->extent().z / 2.0f;
        for (const auto type : bounded) {
            if (inside && contains(types, type)) {
                auto within = result;
                within.type = type;
                results.push_back(within);
            }
        }
    }
}

// The plane of the given normal that the most points lie on (within kInlierTolerance), found by
// trying each point's offset; it counts only when its points spread at least kMinimumSpread along
// both in-plane axes, so points of a surface across it (stacked up a wall, lined along a floor)
// do not pass for it. Its offset along the normal is the median of its points'.
std::optional<float> supportedOffset(const std::vector<glm::vec3>& points, const glm::vec3& normal,
                                     const glm::vec3& axisU, const glm::vec3& axisV) {
    std::optional<float> best;
    std::size_t bestCount = 0;
    for (const auto& candidate : points) {
        const float offset = glm::dot(candidate, normal);
        std::vector<float> offsets;
        float lowU = 1e9f, highU = -1e9f, lowV = 1e9f, highV = -1e9f;
        for (const auto& p : points) {
            if (std::abs(glm::dot(p, normal) - offset) > kInlierTolerance) continue;
            offsets.push_back(glm::dot(p, normal));
            lowU = std::min(lowU, glm::dot(p, axisU));
            highU = std::max(highU, glm::dot(p, axisU));
            lowV = std::min(lowV, glm::dot(p, axisV));
            highV = std::max(highV, glm::dot(p, axisV));
        }
        const bool spread = highU - lowU >= kMinimumSpread && highV - lowV >= kMinimumSpread;
        if (offsets.size() >= kMinimumFeatures && spread && offsets.size() > bestCount) {
            bestCount = offsets.size();
            best = median(std::move(offsets));
        }
    }
    return best;
}

void addEstimatedHits(const ARFrame& frame, const ARRay& ray, ARHitTestResultType types,
                      std::vector<ARHitTestResult>& results) {
    std::vector<glm::vec3> near;
    for (const auto& p : frame.rawFeaturePoints) {
        const glm::vec3 offset = p - ray.origin;
        const float along = glm::dot(offset, ray.direction);
        if (along > 0.0f && glm::length(offset - along * ray.direction) <= kFeatureRadius) near.push_back(p);
        if (near.size() >= kMaximumFeatures) break;
    }
    if (near.size() < kMinimumFeatures) return;
    const glm::vec3 up(0.0f, 1.0f, 0.0f);
    if (contains(types, ARHitTestResultType::estimatedHorizontalPlane)) {
        const auto height = supportedOffset(near, up, glm::vec3(1.0f, 0.0f, 0.0f), glm::vec3(0.0f, 0.0f, 1.0f));
        if (const auto t = height ? rayPlane(ray, *height * up, up) : std::nullopt) {
            results.push_back({ARHitTestResultType::estimatedHorizontalPlane, nullptr,
                               placed(glm::mat4(1.0f), ray.origin + *t * ray.direction), *t});
        }
    }
    const glm::vec3 flat(ray.direction.x, 0.0f, ray.direction.z);
    if (contains(types, ARHitTestResultType::estimatedVerticalPlane) && glm::length(flat) > 1e-4f) {
        const glm::vec3 normal = -glm::normalize(flat);  // facing the camera
        const glm::vec3 across = glm::normalize(glm::cross(normal, up));
        const auto offset = supportedOffset(near, normal, across, up);
        if (const auto t = offset ? rayPlane(ray, *offset * normal, normal) : std::nullopt) {
            glm::mat4 orientation(1.0f);
            orientation[0] = glm::vec4(across, 0.0f);
            orientation[1] = glm::vec4(normal, 0.0f);
            orientation[2] = glm::vec4(up, 0.0f);
            results.push_back({ARHitTestResultType::estimatedVerticalPlane, nullptr,
                               placed(orientation, ray.origin + *t * ray.direction), *t});
        }
    }
}

}  // namespace

std::vector<ARHitTestResult> ARHitTestResult::hitTest(const ARFrame& frame, const CGPoint& point,
                                                      const CGSize& viewportSize, ARHitTestResultType types) {
    std::vector<ARHitTestResult> results;
    const ARRay ray = frame.camera.ray(point, viewportSize);
    addEstimatedHits(frame, ray, types, results);
    addPlaneHits(frame, ray, types, results);
    std::stable_sort(results.begin(), results.end(),
                     [](const ARHitTestResult& a, const ARHitTestResult& b) { return a.distance < b.distance; });
    return results;
}

}  // namespace vantrel
