#pragma once

// Conversions between the node's rotation forms and matrices. Private to the scene graph.

#include <glm/gtc/quaternion.hpp>
#include <glm/mat3x3.hpp>
#include <glm/mat4x4.hpp>

#include "vantrel/graph/SCNVector3.hpp"
#include "vantrel/graph/SCNVector4.hpp"

namespace vantrel::graph_internal {

/// The quaternion written as (x, y, z, w), normalised; the identity when it is zero or not finite.
glm::quat toQuat(const SCNVector4& q);
/// (x, y, z, w) of a GLM quaternion.
SCNVector4 fromQuat(const glm::quat& q);

/// translation · rotation · scale.
glm::mat4 compose(const SCNVector3& position, const glm::quat& rotation, const SCNVector3& scale);

/// A transform split into translation, rotation and scale (shear is lost).
struct Decomposition {
    SCNVector3 position;
    glm::quat rotation{1.0f, 0.0f, 0.0f, 0.0f};
    SCNVector3 scale{1.0f, 1.0f, 1.0f};
};
/// Splits `m`; axes of zero length get a rotation built from the others (or none).
Decomposition decompose(const glm::mat4& m);
/// The pure rotation of the upper 3×3 part of `m` (axes normalised, made orthogonal).
glm::mat3 rotationPart(const glm::mat4& m);

/// Rotation Ry(y)·Rx(x)·Rz(z) for Euler angles (x, y, z).
glm::quat quatFromEuler(const SCNVector3& angles);
/// Euler angles (x, y, z) of a rotation, the inverse of `quatFromEuler` (x in −π/2…π/2).
SCNVector3 eulerFromQuat(const glm::quat& q);
/// Rotation for (axis, angle); the identity for a zero or not-finite axis or angle.
glm::quat quatFromAxisAngle(const SCNVector4& axisAngle);
/// (axis, angle) of a rotation with the angle in 0…π·2 and a unit axis; (0, 0, 0, 0) for none.
SCNVector4 axisAngleFromQuat(const glm::quat& q);

/// True when every entry of the matrix is finite.
bool isFinite(const glm::mat4& m);
/// Inverse of an affine transform, or nothing when it is singular or not finite.
bool invertAffine(const glm::mat4& m, glm::mat4& inverse);

}  // namespace vantrel::graph_internal
