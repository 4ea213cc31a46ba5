// The mirror image under a reflective floor: the items above it, mirrored at its plane and clipped
// there, drawn into a target of their own that the floor's program samples in the scene pass.

#include <algorithm>
#include <limits>

#include <glm/geometric.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/matrix.hpp>

#include "render/passes/Passes.hpp"
#include "vantrel/graph/SCNFloor.hpp"

namespace vantrel::detail {
namespace {

// The height range of an item's box over the plane (`normal`, `offset`).
std::pair<float, float> heightsOver(const DrawItem& item, const glm::vec3& normal, float offset) {
    const SCNBoundingBox box = item.geometry->boundingBox();
    float lowest = std::numeric_limits<float>::infinity();
    float highest = -lowest;
    for (int c = 0; c < 8; ++c) {
        const glm::vec4 corner((c & 1) ? box.max.x : box.min.x, (c & 2) ? box.max.y : box.min.y,
                               (c & 4) ? box.max.z : box.min.z, 1.0f);
        const float height = glm::dot(normal, glm::vec3(item.world * corner)) + offset;
        lowest = std::min(lowest, height);
        highest = std::max(highest, height);
    }
    return {lowest, highest};
}

// The items a floor mirrors: those with some part above it and below the height where its mirror
// image has faded out. Geometry without bounds is kept.
std::vector<DrawItem> itemsAbove(const std::vector<DrawItem>& items, const DrawItem& floor) {
    const glm::vec3 normal = glm::normalize(glm::vec3(floor.world[1]));
    const float offset = -glm::dot(normal, glm::vec3(floor.world[3]));
    const float start = static_cast<float>(floor.floor->reflectionFalloffStart());
    const float end = static_cast<float>(floor.floor->reflectionFalloffEnd());
    const float fadedAt = end > start ? end : std::numeric_limits<float>::infinity();
    std::vector<DrawItem> above;
    for (const DrawItem& item : items) {
        if (item.floor != nullptr) {
            continue;
        }
        if (!item.geometry->hasBounds()) {
            above.push_back(item);
            continue;
        }
        const auto [lowest, highest] = heightsOver(item, normal, offset);
        if (highest > 0.0f && lowest < fadedAt) {
            above.push_back(item);
        }
    }
    return above;
}

// The scene pass's state seen in the mirror of `floor`, clipped at its plane.
PassState mirroredPass(const FramePlan& plan, const DrawItem& floor) {
    const glm::mat4 floorWorld = floor.world;
    const glm::mat4 mirror =
        floorWorld * glm::scale(glm::mat4(1.0f), glm::vec3(1.0f, -1.0f, 1.0f)) * glm::inverse(floorWorld);
    PassState mirrored = plan.pass;
    mirrored.viewProjection = plan.projection * plan.view * mirror;
    mirrored.mirrored = true;
    const glm::vec3 normal = glm::normalize(glm::vec3(floorWorld[1]));
    mirrored.clipPlane = glm::vec4(normal, -glm::dot(normal, glm::vec3(floorWorld[3])));
    mirrored.falloff = glm::vec2(floor.floor->reflectionFalloffStart(), floor.floor->reflectionFalloffEnd());
    return mirrored;
}

}  // namespace

std::optional<Error> drawFloorReflection(Frame& frame) {
    const auto& items = frame.plan.items;
    const auto floor = std::find_if(items.begin(), items.end(), [](const DrawItem& item) {
        return item.floor != nullptr && item.floor->reflectivity() > 0.0;
    });
    if (floor == items.end()) {
        return std::nullopt;
    }
    const std::vector<DrawItem> reflected = itemsAbove(items, *floor);
    if (reflected.empty()) {
        return std::nullopt;
    }
    // The mirror image is soft anyway (it is blended in at a quarter or so): a fraction of the
    // picture's resolution.
    const int divisor = std::max(1, frame.request.reflectionDivisor);
    const int width = std::max(1, frame.width / divisor);
    const int height = std::max(1, frame.height / divisor);
    auto& target = frame.context.reflectionTarget;
    if (auto failure = frame.context.ensureTarget(target, width, height, 1, kPictureFormat, true)) {
        return failure;
    }
    const auto& gl = frame.gl;
    gl.BindFramebuffer(GL_FRAMEBUFFER, target.framebuffer.id());
    gl.Viewport(0, 0, width, height);
    gl.ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    gl.DepthMask(GL_TRUE);
    gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const PassState mirrored = mirroredPass(frame.plan, *floor);
    if (auto failure = drawOpaque(frame.drawer, reflected, mirrored, true)) {
        return failure;
    }
    if (auto failure = drawTransparent(frame.drawer, reflected, mirrored, true)) {
        return failure;
    }
    frame.plan.pass.reflectionReady = true;
    frame.profile.mark("reflection");
    return std::nullopt;
}

}  // namespace vantrel::detail
