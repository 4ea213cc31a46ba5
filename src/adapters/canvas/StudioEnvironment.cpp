#include "StudioEnvironment.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include <glm/geometric.hpp>
#include <glm/vec3.hpp>

#include "vantrel/graph/SCNMaterialProperty.hpp"
#include "vantrel/graph/UIImage.hpp"

namespace vantrel::detail {
namespace {

constexpr float pi = std::numbers::pi_v<float>;

// A rectangular soft box seen from the centre: facing the centre from `direction`, with half-sizes
// in radians across (around the vertical) and up, its edges fading over `soft` radians.
struct SoftBox {
    glm::vec3 direction;
    float halfWidth;
    float halfHeight;
    float soft;
    float radiance;
};

float smooth(float edge0, float edge1, float x) {
    const float t = std::clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

// How much of the box covers direction `d`: 1 inside, fading to 0 over the soft edge.
float coverage(const SoftBox& box, const glm::vec3& d) {
    const glm::vec3 forward = glm::normalize(box.direction);
    const glm::vec3 helper = std::abs(forward.y) > 0.99f ? glm::vec3(0.0f, 0.0f, 1.0f) : glm::vec3(0.0f, 1.0f, 0.0f);
    const glm::vec3 across = glm::normalize(glm::cross(helper, forward));
    const glm::vec3 up = glm::cross(forward, across);
    const float along = glm::dot(d, forward);
    if (along <= 0.0f) {
        return 0.0f;
    }
    // Angles off the box's centre line, measured on its plane.
    const float x = std::atan(std::abs(glm::dot(d, across)) / along);
    const float y = std::atan(std::abs(glm::dot(d, up)) / along);
    return (1.0f - smooth(box.halfWidth - box.soft, box.halfWidth + box.soft, x)) *
           (1.0f - smooth(box.halfHeight - box.soft, box.halfHeight + box.soft, y));
}

// The room without its boxes: a floor of 0.3, walls of 0.5 rising to 0.7 at the ceiling,
// blended over a narrow band at the horizon so that no seam shows in reflections.
float room(const glm::vec3& d) {
    const float floor = 0.3f;
    const float wall = 0.5f + 0.2f * std::max(d.y, 0.0f);
    return floor + (wall - floor) * smooth(-0.08f, 0.04f, d.y);
}

}  // namespace

std::shared_ptr<UIImage> makeStudioEnvironment() {
    // Directions as the renderer reads equirectangular images: −z is the middle column, +y the top.
    const SoftBox boxes[] = {
        {{0.0f, 1.0f, 0.25f}, 0.45f, 0.35f, 0.08f, 2.6f},   // overhead, slightly to the front
        {{-0.8f, 0.45f, 0.9f}, 0.3f, 0.4f, 0.08f, 2.2f},    // key: front left
        {{1.0f, 0.3f, 0.35f}, 0.25f, 0.45f, 0.08f, 1.2f},   // fill: right
        {{0.1f, 0.35f, -1.0f}, 0.35f, 0.2f, 0.08f, 1.0f},   // rim: behind
    };
    constexpr int width = kStudioEnvironmentWidth;
    constexpr int height = kStudioEnvironmentWidth / 2;
    std::vector<float> pixels(static_cast<std::size_t>(width) * height * 4);
    for (int row = 0; row < height; ++row) {
        const float theta = (static_cast<float>(row) + 0.5f) / static_cast<float>(height) * pi;
        for (int column = 0; column < width; ++column) {
            const float phi = ((static_cast<float>(column) + 0.5f) / static_cast<float>(width) - 0.5f) * 2.0f * pi;
            const glm::vec3 d(std::sin(theta) * std::sin(phi), std::cos(theta), -std::sin(theta) * std::cos(phi));
            float value = room(d);
            for (const auto& box : boxes) {
                const float c = coverage(box, d);
                value = value * (1.0f - c) + box.radiance * c;
            }
            float* pixel = &pixels[(static_cast<std::size_t>(row) * width + static_cast<std::size_t>(column)) * 4];
            pixel[0] = pixel[1] = pixel[2] = value;
            pixel[3] = 1.0f;
        }
    }
    return UIImage::fromFloatPixels(width, height, std::move(pixels));
}

void useStudioEnvironment(SCNMaterialProperty& property) {
    property.setContents(makeStudioEnvironment());
    property.setIntensity(kStudioEnvironmentIntensity);
}

}  // namespace vantrel::detail
