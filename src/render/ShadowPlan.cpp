#include "render/ShadowPlan.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <utility>

#include <glm/geometric.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "vantrel/graph/SCNLight.hpp"
#include "vantrel/graph/SCNMaterial.hpp"

namespace vantrel::detail {
namespace {

constexpr int kDefaultMapSize = 2048;

bool catchesOnly(const DrawItem& item) { return item.material->lightingModel() == SCNLightingModel::shadowOnly; }

}  // namespace

bool castsShadow(const DrawItem& item) {
    return item.castsShadow && item.floor == nullptr && !catchesOnly(item) && item.geometry->hasBounds();
}

std::vector<glm::vec3> casterCorners(const FramePlan& plan, const std::vector<std::size_t>& casters) {
    std::vector<glm::vec3> corners;
    corners.reserve(casters.size() * 8);
    for (const std::size_t index : casters) {
        const DrawItem& item = plan.items[index];
        const SCNBoundingBox box = item.geometry->boundingBox();
        for (int c = 0; c < 8; ++c) {
            const glm::vec4 corner((c & 1) ? box.max.x : box.min.x, (c & 2) ? box.max.y : box.min.y,
                                   (c & 4) ? box.max.z : box.min.z, 1.0f);
            corners.emplace_back(item.world * corner);
        }
    }
    return corners;
}

namespace {

// The centre of the corners' box and half its diagonal.
std::pair<glm::vec3, float> boundsOf(const std::vector<glm::vec3>& corners) {
    glm::vec3 lowest(std::numeric_limits<float>::infinity());
    glm::vec3 highest(-std::numeric_limits<float>::infinity());
    for (const auto& corner : corners) {
        lowest = glm::min(lowest, corner);
        highest = glm::max(highest, corner);
    }
    return {(lowest + highest) * 0.5f, std::max(glm::length(highest - lowest) * 0.5f, 1e-4f)};
}

glm::mat4 lookAlong(const glm::vec3& eye, const glm::vec3& target) {
    const glm::vec3 forward = glm::normalize(target - eye);
    const glm::vec3 up = std::abs(forward.y) > 0.99f ? glm::vec3(0.0f, 0.0f, -1.0f) : glm::vec3(0.0f, 1.0f, 0.0f);
    return glm::lookAt(eye, target, up);
}

// An orthographic view along `towardsLight` reversed, fitted to the corners, with a border wide
// enough for the edge filter.
void fitOrthographic(const glm::vec3& towardsLight, const std::vector<glm::vec3>& corners, ShadowPlan& shadow) {
    const auto [centre, reach] = boundsOf(corners);
    const glm::mat4 view = lookAlong(centre + towardsLight * reach * 2.0f, centre);
    glm::vec3 low(std::numeric_limits<float>::infinity());
    glm::vec3 high(-std::numeric_limits<float>::infinity());
    for (const auto& corner : corners) {
        const glm::vec3 seen(view * glm::vec4(corner, 1.0f));
        low = glm::min(low, seen);
        high = glm::max(high, seen);
    }
    // Square texels; the border keeps the filter's taps of the outermost casters inside the map.
    const float extent = std::max({high.x - low.x, high.y - low.y, reach * 1e-3f});
    const float border = extent * (shadow.radius + 2.0f) / static_cast<float>(shadow.size);
    const glm::vec2 middle((low.x + high.x) * 0.5f, (low.y + high.y) * 0.5f);
    const float half = extent * 0.5f + border;
    const float slack = reach * 0.01f;
    const float nearPlane = -high.z - slack;
    const float farPlane = -low.z + slack;
    shadow.viewProjection =
        glm::ortho(middle.x - half, middle.x + half, middle.y - half, middle.y + half, nearPlane, farPlane) * view;
    shadow.texelSize = 2.0f * half / static_cast<float>(shadow.size);
    shadow.depthPerWorld = 1.0f / (farPlane - nearPlane);
}

// A perspective view from `position` towards the casters, its cone just wide enough for them.
void fitPerspective(const glm::vec3& position, const std::vector<glm::vec3>& corners, ShadowPlan& shadow) {
    const glm::vec3 centre = boundsOf(corners).first;
    const float distance = std::max(glm::length(centre - position), 1e-4f);
    const glm::mat4 view = lookAlong(position, distance > 1e-3f ? centre : position + glm::vec3(0, -1, 0));
    float widest = 0.0f;
    float nearest = std::numeric_limits<float>::infinity();
    float farthest = 0.0f;
    for (const auto& corner : corners) {
        const glm::vec3 seen(view * glm::vec4(corner, 1.0f));
        const float depth = std::max(-seen.z, 1e-4f);
        widest = std::max({widest, std::abs(seen.x) / depth, std::abs(seen.y) / depth});
        nearest = std::min(nearest, depth);
        farthest = std::max(farthest, -seen.z);
    }
    const float border = 1.0f + 2.0f * (shadow.radius + 2.0f) / static_cast<float>(shadow.size);
    const float fieldOfView = std::min(2.0f * std::atan(widest * border), glm::radians(170.0f));
    const float nearPlane = std::max(nearest * 0.9f, distance * 1e-3f);
    const float farPlane = std::max(farthest * 1.01f, nearPlane * 1.01f);
    shadow.viewProjection = glm::perspective(fieldOfView, 1.0f, nearPlane, farPlane) * view;
    shadow.texelSize = 2.0f * std::tan(fieldOfView * 0.5f) * distance / static_cast<float>(shadow.size);
    shadow.depthPerWorld = 0.0f;
}

template <typename T>
void combine(std::size_t& seed, const T& value) {
    seed ^= std::hash<T>{}(value) + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2);
}

std::size_t signatureOf(const FramePlan& plan, const ShadowPlan& shadow) {
    std::size_t seed = static_cast<std::size_t>(shadow.size);
    const float* matrix = glm::value_ptr(shadow.viewProjection);
    for (int k = 0; k < 16; ++k) combine(seed, matrix[k]);
    for (const std::size_t index : shadow.casters) {
        const DrawItem& item = plan.items[index];
        combine(seed, static_cast<const void*>(item.geometry));
        combine(seed, static_cast<const void*>(item.geometry->mesh().get()));
        combine(seed, item.geometry->revision());
        combine(seed, item.element);
        const float* world = glm::value_ptr(item.world);
        for (int k = 0; k < 16; ++k) combine(seed, world[k]);
    }
    return seed;
}

}  // namespace

bool planShadow(const FramePlan& plan, ShadowPlan& shadow) {
    const LightList& lights = plan.lights;
    int chosen = -1;
    for (int i = 0; i < lights.count && chosen < 0; ++i) {
        if (lights.source[i] == nullptr || !lights.source[i]->castsShadow()) continue;
        const bool reaches = std::any_of(plan.items.begin(), plan.items.end(),
                                         [&](const DrawItem& item) { return (item.category & lights.mask[i]) != 0; });
        if (reaches) chosen = i;
    }
    if (chosen < 0) return false;
    shadow.casters.clear();
    for (std::size_t index = 0; index < plan.items.size(); ++index) {
        if (castsShadow(plan.items[index])) shadow.casters.push_back(index);
    }
    if (shadow.casters.empty()) return false;

    const SCNLight& light = *lights.source[chosen];
    shadow.light = &light;
    shadow.lightVector = lights.vector[chosen];
    shadow.size = light.shadowMapSize() > 0 ? std::clamp(light.shadowMapSize(), 256, 4096) : kDefaultMapSize;
    shadow.radius = static_cast<float>(light.shadowRadius());
    shadow.color = linearColor(light.shadowColor());
    const std::vector<glm::vec3> corners = casterCorners(plan, shadow.casters);
    const glm::vec3 lightVector(shadow.lightVector);
    if (shadow.lightVector.w == 0.0f) {
        fitOrthographic(glm::normalize(lightVector), corners, shadow);
    } else if (lights.spot[chosen].w > -1.5f) {
        fitPerspective(lightVector, corners, shadow);
    } else {
        glm::vec3 centre(0.0f);
        for (const auto& corner : corners) centre += corner / static_cast<float>(corners.size());
        const glm::vec3 towards = lightVector - centre;
        fitOrthographic(glm::length(towards) > 1e-6f ? glm::normalize(towards) : glm::vec3(0, 1, 0), corners, shadow);
    }
    shadow.signature = signatureOf(plan, shadow);
    return true;
}

FeatureBits shadowFeatures(const DrawItem& item, const PassState& pass, bool reflectionPass) {
    FeatureBits bits = catchesOnly(item) ? kShadowOnly : 0u;
    bits |= pass.shadow != nullptr && !reflectionPass ? kShadowMap : 0u;
    return bits;
}

void setShadow(const GlFunctions& gl, GpuProgram& program, const LightList& lights, const PassState& pass) {
    const ShadowPlan& shadow = *pass.shadow;
    int index = -1;
    for (int i = 0; i < lights.count && index < 0; ++i) {
        if (lights.source[i] == shadow.light && lights.vector[i] == shadow.lightVector) index = i;
    }
    // Clip space to the map's texture coordinates and depth.
    const glm::mat4 toTexture =
        glm::translate(glm::mat4(1.0f), glm::vec3(0.5f)) * glm::scale(glm::mat4(1.0f), glm::vec3(0.5f));
    const glm::mat4 matrix = toTexture * shadow.viewProjection;
    const auto size = static_cast<float>(shadow.size);
    gl.ActiveTexture(GL_TEXTURE0 + kShadowUnit);
    gl.BindTexture(GL_TEXTURE_2D, shadow.texture);
    gl.Uniform1i(uniform(gl, program, "uShadowMap"), kShadowUnit);
    gl.UniformMatrix4fv(uniform(gl, program, "uShadowMatrix"), 1, GL_FALSE, glm::value_ptr(matrix));
    gl.Uniform1i(uniform(gl, program, "uShadowLight"), index);
    gl.Uniform4fv(uniform(gl, program, "uShadowLightVector"), 1, glm::value_ptr(shadow.lightVector));
    gl.Uniform4fv(uniform(gl, program, "uShadowColor"), 1, glm::value_ptr(shadow.color));
    // Filter radius (map units), normal offset (world), depth of one texel's slope, texel (map units).
    gl.Uniform4f(uniform(gl, program, "uShadowFilter"), std::max(shadow.radius, 0.5f) / size,
                 shadow.texelSize * 1.5f, shadow.texelSize * shadow.depthPerWorld, 1.0f / size);
}

}  // namespace vantrel::detail
