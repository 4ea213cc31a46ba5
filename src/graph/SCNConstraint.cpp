#include "vantrel/graph/SCNConstraint.hpp"

#include <algorithm>
#include <cmath>

#include <glm/geometric.hpp>
#include <glm/gtc/quaternion.hpp>

#include "TransformMath.hpp"

namespace vantrel {

SCNConstraint::~SCNConstraint() = default;

void SCNConstraint::setInfluenceFactor(double factor) noexcept {
    influenceFactor_ = std::isnan(factor) ? 1.0 : std::clamp(factor, 0.0, 1.0);
}

glm::mat4 SCNConstraint::withRotation(const glm::mat4& worldTransform, const glm::mat3& rotation) const {
    glm::mat3 turned = rotation;
    if (influenceFactor_ < 1.0) {
        const glm::quat current = glm::quat_cast(graph_internal::rotationPart(worldTransform));
        const glm::quat target = glm::quat_cast(rotation);
        turned = glm::mat3_cast(glm::slerp(current, target, static_cast<float>(influenceFactor_)));
    }
    glm::vec3 scale(glm::length(glm::vec3(worldTransform[0])), glm::length(glm::vec3(worldTransform[1])),
                    glm::length(glm::vec3(worldTransform[2])));
    if (glm::determinant(glm::mat3(worldTransform)) < 0.0f) {
        scale.x = -scale.x;  // keep a mirrored node mirrored
    }
    glm::mat4 result(1.0f);
    result[0] = glm::vec4(turned[0] * scale.x, 0.0f);
    result[1] = glm::vec4(turned[1] * scale.y, 0.0f);
    result[2] = glm::vec4(turned[2] * scale.z, 0.0f);
    result[3] = worldTransform[3];
    return result;
}

}  // namespace vantrel
