#include "vantrel/adapters/ARCamera.hpp"

#include <algorithm>
#include <cmath>

#include <glm/glm.hpp>

namespace vantrel {
namespace {

// How the captured image fills a viewport: viewport = image × scale − offset.
struct Fill {
    double scale = 1.0;
    double offsetX = 0.0;
    double offsetY = 0.0;
};

Fill fillOf(const CGSize& image, const CGSize& viewport) {
    if (image.width <= 0.0 || image.height <= 0.0 || viewport.width <= 0.0 || viewport.height <= 0.0) return {};
    const double scale = std::max(viewport.width / image.width, viewport.height / image.height);
    return {scale, (image.width * scale - viewport.width) / 2.0, (image.height * scale - viewport.height) / 2.0};
}

double safe(double value, double fallback) { return std::isfinite(value) && value > 0.0 ? value : fallback; }

}  // namespace

glm::mat3 ARCamera::intrinsicsFor(const CGSize& imageResolution, double verticalFieldOfViewDegrees) {
    const double fov = std::clamp(verticalFieldOfViewDegrees, 1.0, 179.0) * M_PI / 180.0;
    const double focal = imageResolution.height / 2.0 / std::tan(fov / 2.0);
    glm::mat3 k(1.0f);
    k[0][0] = static_cast<float>(focal);
    k[1][1] = static_cast<float>(focal);
    k[2][0] = static_cast<float>(imageResolution.width / 2.0);
    k[2][1] = static_cast<float>(imageResolution.height / 2.0);
    return k;
}

glm::dmat4 ARCamera::projectionMatrix(const CGSize& viewportSize, double zNear, double zFar) const {
    const Fill fill = fillOf(imageResolution, viewportSize);
    const double width = safe(viewportSize.width, 1.0);
    const double height = safe(viewportSize.height, 1.0);
    const double fx = safe(intrinsics[0][0], 1.0) * fill.scale;
    const double fy = safe(intrinsics[1][1], 1.0) * fill.scale;
    const double cx = intrinsics[2][0] * fill.scale - fill.offsetX;
    const double cy = intrinsics[2][1] * fill.scale - fill.offsetY;
    const double n = safe(zNear, 0.001);
    const double f = zFar > n && std::isfinite(zFar) ? zFar : n * 1000.0;
    glm::dmat4 p(0.0);
    p[0][0] = 2.0 * fx / width;
    p[1][1] = 2.0 * fy / height;
    p[2][0] = 2.0 * cx / width - 1.0;
    p[2][1] = 2.0 * cy / height - 1.0;
    p[2][2] = -(f + n) / (f - n);
    p[2][3] = -1.0;
    p[3][2] = -2.0 * f * n / (f - n);
    return p;
}

CGPoint ARCamera::imagePoint(const CGPoint& point, const CGSize& viewportSize) const {
    const Fill fill = fillOf(imageResolution, viewportSize);
    return {(point.x + fill.offsetX) / fill.scale, (point.y + fill.offsetY) / fill.scale};
}

ARRay ARCamera::ray(const CGPoint& point, const CGSize& viewportSize) const {
    const CGPoint pixel = imagePoint(point, viewportSize);
    const double fx = safe(intrinsics[0][0], 1.0);
    const double fy = safe(intrinsics[1][1], 1.0);
    const glm::vec3 local(static_cast<float>((pixel.x - intrinsics[2][0]) / fx),
                          static_cast<float>(-(pixel.y - intrinsics[2][1]) / fy), -1.0f);
    ARRay ray;
    ray.origin = glm::vec3(transform[3]);
    ray.direction = glm::normalize(glm::mat3(transform) * local);
    return ray;
}

std::optional<CGPoint> ARCamera::viewportPoint(const glm::vec3& world, const CGSize& viewportSize) const {
    const glm::vec4 local = glm::inverse(transform) * glm::vec4(world, 1.0f);
    if (local.z >= 0.0f) return std::nullopt;
    const double depth = -local.z;
    const double u = intrinsics[2][0] + intrinsics[0][0] * local.x / depth;
    const double v = intrinsics[2][1] - intrinsics[1][1] * local.y / depth;
    const Fill fill = fillOf(imageResolution, viewportSize);
    return CGPoint(u * fill.scale - fill.offsetX, v * fill.scale - fill.offsetY);
}

}  // namespace vantrel
