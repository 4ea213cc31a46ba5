#include "vantrel/graph/SCNBillboardConstraint.hpp"

#include <cmath>

#include <glm/geometric.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include "vantrel/graph/SCNNode.hpp"

namespace vantrel {
namespace {

constexpr float kTiny = 1e-6f;

bool has(SCNBillboardAxis axes, SCNBillboardAxis axis) {
    return (static_cast<std::uint8_t>(axes) & static_cast<std::uint8_t>(axis)) != 0;
}

glm::mat3 rotationAbout(const glm::vec3& axis, float angle) {
    return glm::mat3(glm::rotate(glm::mat4(1.0f), angle, axis));
}

}  // namespace

glm::mat4 SCNBillboardConstraint::apply(const SCNNode& node, const glm::mat4& worldTransform,
                                        const SCNConstraintContext& context) const {
    if (context.pointOfView == nullptr || context.pointOfView == &node) {
        return worldTransform;
    }
    const glm::mat4 viewer = context.pointOfView->presentationWorldTransform(context.pointOfView);
    const glm::vec3 toViewer = glm::vec3(viewer[3]) - glm::vec3(worldTransform[3]);
    const bool turns = has(freeAxes_, SCNBillboardAxis::Y);
    const bool tilts = has(freeAxes_, SCNBillboardAxis::X);

    if (turns && tilts) {
        const float distance = glm::length(toViewer);
        if (!(distance > kTiny)) {
            return worldTransform;
        }
        const glm::vec3 front = toViewer / distance;
        glm::vec3 right = glm::cross(glm::vec3(0.0f, 1.0f, 0.0f), front);
        if (glm::length(right) < kTiny) {
            // Seen from straight above or below: take the viewer's own up direction.
            right = glm::cross(glm::normalize(glm::vec3(viewer[1])), front);
            if (glm::length(right) < kTiny) {
                return worldTransform;
            }
        }
        right = glm::normalize(right);
        return withRotation(worldTransform, glm::mat3(right, glm::cross(front, right), front));
    }
    if (turns) {
        if (std::abs(toViewer.x) < kTiny && std::abs(toViewer.z) < kTiny) {
            return worldTransform;
        }
        // Ry(a)·(0, 0, 1) = (sin a, 0, cos a): point +Z at the viewer's horizontal direction.
        return withRotation(worldTransform, rotationAbout({0.0f, 1.0f, 0.0f}, std::atan2(toViewer.x, toViewer.z)));
    }
    if (tilts) {
        if (std::abs(toViewer.y) < kTiny && std::abs(toViewer.z) < kTiny) {
            return worldTransform;
        }
        // Rx(a)·(0, 0, 1) = (0, −sin a, cos a).
        return withRotation(worldTransform, rotationAbout({1.0f, 0.0f, 0.0f}, std::atan2(-toViewer.y, toViewer.z)));
    }
    return worldTransform;
}

}  // namespace vantrel
