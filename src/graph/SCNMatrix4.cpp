#include "vantrel/graph/SCNMatrix4.hpp"

#include <glm/gtc/matrix_transform.hpp>

#include "TransformMath.hpp"

namespace vantrel {

SCNMatrix4 SCNMatrix4MakeTranslation(float tx, float ty, float tz) {
    return glm::translate(SCNMatrix4(1.0f), glm::vec3(tx, ty, tz));
}

SCNMatrix4 SCNMatrix4MakeScale(float sx, float sy, float sz) {
    return glm::scale(SCNMatrix4(1.0f), glm::vec3(sx, sy, sz));
}

SCNMatrix4 SCNMatrix4MakeRotation(float angle, float x, float y, float z) {
    return glm::mat4_cast(graph_internal::quatFromAxisAngle({x, y, z, angle}));
}

SCNMatrix4 SCNMatrix4Mult(const SCNMatrix4& a, const SCNMatrix4& b) { return b * a; }

SCNMatrix4 SCNMatrix4Invert(const SCNMatrix4& m) {
    const float det = glm::determinant(m);
    if (det == 0.0f || !graph_internal::isFinite(m)) {
        return m;
    }
    return glm::inverse(m);
}

bool SCNMatrix4IsIdentity(const SCNMatrix4& m) { return m == SCNMatrix4(1.0f); }

}  // namespace vantrel
