#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <glm/mat4x4.hpp>

namespace vantrel {

/// A 4×4 transform in column-major order with the translation in column 3, as GLM stores it. Points are
/// column vectors: a transform M maps p to M·p.
using SCNMatrix4 = glm::mat4;

/// The identity transform.
inline const SCNMatrix4 SCNMatrix4Identity{1.0f};

/// A translation by (tx, ty, tz).
SCNMatrix4 SCNMatrix4MakeTranslation(float tx, float ty, float tz);
/// A scaling by (sx, sy, sz).
SCNMatrix4 SCNMatrix4MakeScale(float sx, float sy, float sz);
/// A rotation by `angle` radians about the axis (x, y, z), counter-clockwise when looking down the
/// axis towards the origin. A zero or not-finite axis gives the identity.
SCNMatrix4 SCNMatrix4MakeRotation(float angle, float x, float y, float z);
/// The transform that applies `a` first and then `b` (b·a in column-vector terms), so that
/// SCNMatrix4Mult(SCNMatrix4Mult(T, S), R) translates, then scales, then rotates.
SCNMatrix4 SCNMatrix4Mult(const SCNMatrix4& a, const SCNMatrix4& b);
/// The inverse transform; a singular matrix comes back unchanged.
SCNMatrix4 SCNMatrix4Invert(const SCNMatrix4& m);
/// True when `m` is exactly the identity.
bool SCNMatrix4IsIdentity(const SCNMatrix4& m);

}  // namespace vantrel

#pragma GCC visibility pop
