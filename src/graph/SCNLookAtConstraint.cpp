#include "vantrel/graph/SCNLookAtConstraint.hpp"

#include <cmath>

#include <glm/geometric.hpp>
#include <glm/gtc/constants.hpp>
#include <glm/gtc/quaternion.hpp>

#include "vantrel/graph/SCNNode.hpp"

namespace vantrel {
namespace {

constexpr float kTiny = 1e-6f;

// The shortest rotation that takes unit vector `from` to unit vector `to`.
glm::quat rotationBetween(const glm::vec3& from, const glm::vec3& to) {
    const float cosine = glm::dot(from, to);
    if (cosine < -1.0f + kTiny) {
        // Opposite directions: half a turn about any axis perpendicular to `from`.
        glm::vec3 axis = glm::cross(glm::vec3(1.0f, 0.0f, 0.0f), from);
        if (glm::length(axis) < kTiny) {
            axis = glm::cross(glm::vec3(0.0f, 1.0f, 0.0f), from);
        }
        return glm::angleAxis(glm::pi<float>(), glm::normalize(axis));
    }
    const glm::vec3 axis = glm::cross(from, to);
    return glm::normalize(glm::quat(1.0f + cosine, axis.x, axis.y, axis.z));
}

}  // namespace

SCNLookAtConstraint::SCNLookAtConstraint(const std::shared_ptr<SCNNode>& target) : target_(target) {}

void SCNLookAtConstraint::setWorldUp(const SCNVector3& up) noexcept {
    worldUp_ = up.length() > 0.0f ? up : SCNVector3(0.0f, 1.0f, 0.0f);
}

void SCNLookAtConstraint::setLocalFront(const SCNVector3& front) noexcept {
    localFront_ = front.length() > 0.0f ? front : SCNVector3(0.0f, 0.0f, -1.0f);
}

glm::mat4 SCNLookAtConstraint::apply(const SCNNode&, const glm::mat4& worldTransform,
                                     const SCNConstraintContext& context) const {
    const auto target = target_.lock();
    if (!target) {
        return worldTransform;
    }
    const glm::vec3 position(worldTransform[3]);
    const glm::vec3 targetPosition(target->presentationWorldTransform(context.pointOfView)[3]);
    const glm::vec3 toTarget = targetPosition - position;
    const float distance = glm::length(toTarget);
    if (!(distance > kTiny)) {
        return worldTransform;  // nowhere to look
    }
    // A frame whose −Z points at the target and whose +Y leans towards the up direction.
    const glm::vec3 back = -toTarget / distance;
    glm::vec3 up = glm::normalize(worldUp_.simd());
    glm::vec3 right = glm::cross(up, back);
    if (glm::length(right) < kTiny) {
        // Looking straight along the up direction: lean towards another axis instead.
        up = std::abs(back.z) < 0.9f ? glm::vec3(0.0f, 0.0f, -1.0f) : glm::vec3(1.0f, 0.0f, 0.0f);
        right = glm::cross(up, back);
    }
    right = glm::normalize(right);
    const glm::vec3 trueUp = glm::cross(back, right);
    glm::mat3 rotation(right, trueUp, back);
    // Make the node's own front the axis that points at the target.
    const glm::vec3 front = glm::normalize(localFront_.simd());
    rotation = rotation * glm::mat3_cast(rotationBetween(front, glm::vec3(0.0f, 0.0f, -1.0f)));
    return withRotation(worldTransform, rotation);
}

}  // namespace vantrel
