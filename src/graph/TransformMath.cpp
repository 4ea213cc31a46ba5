#include "TransformMath.hpp"

#include <cmath>

#include <glm/geometric.hpp>
#include <glm/gtc/constants.hpp>
#include <glm/gtc/matrix_transform.hpp>

namespace vantrel::graph_internal {
namespace {

constexpr float kTinyLength = 1e-12f;

bool finite(float v) { return std::isfinite(v); }

}  // namespace

glm::quat toQuat(const SCNVector4& q) {
    const float norm = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    if (!finite(norm) || norm < kTinyLength) {
        return {1.0f, 0.0f, 0.0f, 0.0f};
    }
    return {q.w / norm, q.x / norm, q.y / norm, q.z / norm};
}

SCNVector4 fromQuat(const glm::quat& q) { return {q.x, q.y, q.z, q.w}; }

glm::mat4 compose(const SCNVector3& position, const glm::quat& rotation, const SCNVector3& scale) {
    glm::mat4 m = glm::mat4_cast(rotation);
    m[0] *= scale.x;
    m[1] *= scale.y;
    m[2] *= scale.z;
    m[3] = glm::vec4(position.x, position.y, position.z, 1.0f);
    return m;
}

glm::mat3 rotationPart(const glm::mat4& m) {
    glm::vec3 axes[3] = {glm::vec3(m[0]), glm::vec3(m[1]), glm::vec3(m[2])};
    float lengths[3];
    for (int i = 0; i < 3; ++i) {
        lengths[i] = glm::length(axes[i]);
    }
    // Rebuild axes that vanished from the ones that did not, so that the result stays a rotation.
    const bool ok0 = finite(lengths[0]) && lengths[0] > kTinyLength;
    const bool ok1 = finite(lengths[1]) && lengths[1] > kTinyLength;
    const bool ok2 = finite(lengths[2]) && lengths[2] > kTinyLength;
    if (ok0) axes[0] /= lengths[0];
    if (ok1) axes[1] /= lengths[1];
    if (ok2) axes[2] /= lengths[2];
    if (!ok0 && ok1 && ok2) {
        axes[0] = glm::cross(axes[1], axes[2]);
    } else if (ok0 && !ok1 && ok2) {
        axes[1] = glm::cross(axes[2], axes[0]);
    } else if (ok0 && ok1 && !ok2) {
        axes[2] = glm::cross(axes[0], axes[1]);
    } else if (!(ok0 && ok1 && ok2)) {
        return glm::mat3(1.0f);
    }
    // Gram-Schmidt keeps the result orthonormal when the matrix carries shear.
    glm::vec3 x = glm::normalize(axes[0]);
    glm::vec3 y = axes[1] - x * glm::dot(x, axes[1]);
    if (glm::length(y) < kTinyLength) {
        return glm::mat3(1.0f);
    }
    y = glm::normalize(y);
    glm::vec3 z = glm::cross(x, y);
    // A mirrored transform keeps its handedness in the scale, not in the rotation.
    if (glm::dot(z, axes[2]) < 0.0f) {
        x = -x;
        y = -y;
    }
    return glm::mat3(x, y, z);
}

Decomposition decompose(const glm::mat4& m) {
    Decomposition d;
    d.position = SCNVector3(m[3].x, m[3].y, m[3].z);
    d.scale = SCNVector3(glm::length(glm::vec3(m[0])), glm::length(glm::vec3(m[1])), glm::length(glm::vec3(m[2])));
    const float det = glm::determinant(glm::mat3(m));
    if (det < 0.0f) {
        d.scale.x = -d.scale.x;
        d.scale.y = -d.scale.y;
        d.scale.z = -d.scale.z;
    }
    d.rotation = glm::normalize(glm::quat_cast(rotationPart(m)));
    return d;
}

glm::quat quatFromEuler(const SCNVector3& angles) {
    const glm::quat qx = glm::angleAxis(angles.x, glm::vec3(1.0f, 0.0f, 0.0f));
    const glm::quat qy = glm::angleAxis(angles.y, glm::vec3(0.0f, 1.0f, 0.0f));
    const glm::quat qz = glm::angleAxis(angles.z, glm::vec3(0.0f, 0.0f, 1.0f));
    return qy * qx * qz;
}

SCNVector3 eulerFromQuat(const glm::quat& q) {
    // For R = Ry(y)·Rx(x)·Rz(z), with R(row, column):
    //   R(1,2) = −sin x,  R(0,2) = sin y·cos x,  R(2,2) = cos y·cos x,
    //   R(1,0) = cos x·sin z,  R(1,1) = cos x·cos z.
    // GLM indexes [column][row].
    const glm::mat3 r = glm::mat3_cast(q);
    const float sinX = -r[2][1];
    if (std::abs(sinX) < 0.99999f) {
        const float x = std::asin(sinX);
        const float y = std::atan2(r[2][0], r[2][2]);
        const float z = std::atan2(r[0][1], r[1][1]);
        return {x, y, z};
    }
    // Looking straight up or down: yaw and roll turn about the same axis; put it all in yaw, where
    // R(0,0) = cos y and R(2,0) = −sin y.
    const float x = sinX > 0.0f ? glm::half_pi<float>() : -glm::half_pi<float>();
    const float y = std::atan2(-r[0][2], r[0][0]);
    return {x, y, 0.0f};
}

glm::quat quatFromAxisAngle(const SCNVector4& axisAngle) {
    const glm::vec3 axis(axisAngle.x, axisAngle.y, axisAngle.z);
    const float length = glm::length(axis);
    if (!finite(length) || length < kTinyLength || !finite(axisAngle.w)) {
        return {1.0f, 0.0f, 0.0f, 0.0f};
    }
    return glm::angleAxis(axisAngle.w, axis / length);
}

SCNVector4 axisAngleFromQuat(const glm::quat& q) {
    glm::quat n = glm::normalize(q);
    if (n.w < 0.0f) {
        n = -n;
    }
    const float sinHalf = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    if (sinHalf < 1e-7f) {
        return {0.0f, 0.0f, 0.0f, 0.0f};
    }
    const float angle = 2.0f * std::atan2(sinHalf, n.w);
    return {n.x / sinHalf, n.y / sinHalf, n.z / sinHalf, angle};
}

bool isFinite(const glm::mat4& m) {
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            if (!finite(m[c][r])) {
                return false;
            }
        }
    }
    return true;
}

bool invertAffine(const glm::mat4& m, glm::mat4& inverse) {
    if (!isFinite(m)) {
        return false;
    }
    const glm::mat3 linear(m);
    const float det = glm::determinant(linear);
    // Relative threshold: a flattened axis makes the determinant tiny against the axes' lengths,
    // while a uniformly small scale (1e-4 on every axis) is still a usable transform.
    const float lengthsSquared = glm::dot(glm::vec3(m[0]), glm::vec3(m[0])) *
                                 glm::dot(glm::vec3(m[1]), glm::vec3(m[1])) *
                                 glm::dot(glm::vec3(m[2]), glm::vec3(m[2]));
    if (!finite(det) || det * det <= 1e-14f * lengthsSquared || std::abs(det) < 1e-30f) {
        return false;
    }
    const glm::mat3 inv = glm::inverse(linear);
    inverse = glm::mat4(inv);
    inverse[3] = glm::vec4(-(inv * glm::vec3(m[3])), 1.0f);
    return isFinite(inverse);
}

}  // namespace vantrel::graph_internal
