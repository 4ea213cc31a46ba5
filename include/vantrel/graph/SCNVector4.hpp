#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <glm/vec4.hpp>

namespace vantrel {

/// A four-component vector of 32-bit floats. The scene graph also uses it for quaternions
/// (x, y, z, w; see SCNQuaternion) and for axis-and-angle rotations (axis x, y, z, angle w in radians).
///
/// All arithmetic is done in 32-bit float, component by component.
struct SCNVector4 {
    float x = 0.0f;  ///< First component.
    float y = 0.0f;  ///< Second component.
    float z = 0.0f;  ///< Third component.
    float w = 0.0f;  ///< Fourth component.

    /// The zero vector.
    constexpr SCNVector4() = default;
    /// A vector with the given components.
    constexpr SCNVector4(float ax, float ay, float az, float aw) : x(ax), y(ay), z(az), w(aw) {}
    /// A vector from a four-component float vector, components taken in order.
    constexpr explicit SCNVector4(const glm::vec4& v) : x(v.x), y(v.y), z(v.z), w(v.w) {}

    /// The same components as a GLM vector.
    [[nodiscard]] constexpr glm::vec4 simd() const { return {x, y, z, w}; }

    /// (-x, -y, -z, -w) as a new vector.
    [[nodiscard]] constexpr SCNVector4 negate() const { return {-x, -y, -z, -w}; }
    /// Sum of the four component products.
    [[nodiscard]] constexpr float dot(const SCNVector4& o) const { return x * o.x + y * o.y + z * o.z + w * o.w; }
    /// self + (other − self)·t per component.
    [[nodiscard]] constexpr SCNVector4 lerp(const SCNVector4& other, float t) const {
        return {x + (other.x - x) * t, y + (other.y - y) * t, z + (other.z - z) * t, w + (other.w - w) * t};
    }
    /// Each component's floating-point remainder of division by `divisor` (as `fmodf`).
    [[nodiscard]] SCNVector4 truncatingRemainder(float divisor) const;

    constexpr SCNVector4& operator+=(const SCNVector4& o) {
        x += o.x;
        y += o.y;
        z += o.z;
        w += o.w;
        return *this;
    }
    constexpr SCNVector4& operator-=(const SCNVector4& o) {
        x -= o.x;
        y -= o.y;
        z -= o.z;
        w -= o.w;
        return *this;
    }
    constexpr SCNVector4& operator*=(const SCNVector4& o) {
        x *= o.x;
        y *= o.y;
        z *= o.z;
        w *= o.w;
        return *this;
    }
    constexpr SCNVector4& operator/=(const SCNVector4& o) {
        x /= o.x;
        y /= o.y;
        z /= o.z;
        w /= o.w;
        return *this;
    }
    constexpr SCNVector4& operator*=(float s) {
        x *= s;
        y *= s;
        z *= s;
        w *= s;
        return *this;
    }
    constexpr SCNVector4& operator/=(float s) {
        x /= s;
        y /= s;
        z /= s;
        w /= s;
        return *this;
    }

    /// Exact component-wise equality.
    friend constexpr bool operator==(const SCNVector4&, const SCNVector4&) = default;
};

constexpr SCNVector4 operator+(SCNVector4 a, const SCNVector4& b) { return a += b; }
constexpr SCNVector4 operator-(SCNVector4 a, const SCNVector4& b) { return a -= b; }
constexpr SCNVector4 operator*(SCNVector4 a, const SCNVector4& b) { return a *= b; }
constexpr SCNVector4 operator/(SCNVector4 a, const SCNVector4& b) { return a /= b; }
constexpr SCNVector4 operator*(SCNVector4 a, float s) { return a *= s; }
constexpr SCNVector4 operator/(SCNVector4 a, float s) { return a /= s; }

/// An orientation quaternion (x, y, z, w); the identity is (0, 0, 0, 1).
using SCNQuaternion = SCNVector4;

/// (-x, -y, -z, -w).
constexpr SCNVector4 SCNVector4Negate(const SCNVector4& v) { return v.negate(); }
/// Sum of the four component products.
constexpr float SCNVector4Dot(const SCNVector4& a, const SCNVector4& b) { return a.dot(b); }
/// start + (end − start)·t per component.
constexpr SCNVector4 SCNVector4Lerp(const SCNVector4& start, const SCNVector4& end, float t) {
    return start.lerp(end, t);
}
/// p · (dot(v, p) / dot(p, p)) with four-component dot products; a zero p yields not-a-number components.
constexpr SCNVector4 SCNVector4Project(const SCNVector4& vectorToProject, const SCNVector4& projectionVector) {
    return projectionVector * (vectorToProject.dot(projectionVector) / projectionVector.dot(projectionVector));
}
/// Each component rounded to the nearest integer, halves away from zero.
SCNVector4 round(const SCNVector4& val);

}  // namespace vantrel

#pragma GCC visibility pop
