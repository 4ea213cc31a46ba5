#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <string>

#include <glm/vec3.hpp>

#include "vantrel/graph/CGFloat.hpp"

namespace vantrel {

/// A three-component vector of 32-bit floats: positions, directions, scales and Euler angles of the
/// scene graph.
///
/// All arithmetic is done in 32-bit float, component by component. The binary operators and the
/// compound assignments are plain component-wise forms; none guards against division by zero except
/// where a member says so.
struct SCNVector3 {
    float x = 0.0f;  ///< First component.
    float y = 0.0f;  ///< Second component.
    float z = 0.0f;  ///< Third component.

    /// The zero vector.
    constexpr SCNVector3() = default;
    /// A vector with the given components.
    constexpr SCNVector3(float ax, float ay, float az) : x(ax), y(ay), z(az) {}
    /// A vector from a three-component float vector, components taken in order.
    constexpr explicit SCNVector3(const glm::vec3& v) : x(v.x), y(v.y), z(v.z) {}

    /// The same components as a GLM vector, for matrix arithmetic.
    [[nodiscard]] constexpr glm::vec3 simd() const { return {x, y, z}; }

    /// (-x, -y, -z) as a new vector; the receiver is unchanged.
    [[nodiscard]] constexpr SCNVector3 negate() const { return {-x, -y, -z}; }
    /// Square root of x·x + y·y + z·z.
    [[nodiscard]] float length() const;
    /// Divides each component by the length, in place. A vector of length exactly 0 is left as it is.
    SCNVector3& normalize();
    /// The normalised vector as a new value; the zero vector comes back unchanged.
    [[nodiscard]] SCNVector3 normalized() const;
    /// Normalises in place (a zero vector stays zero) and then multiplies each component by `newLength`.
    SCNVector3& setLength(float newLength);
    /// Length of the difference of the two vectors.
    [[nodiscard]] float distance(const SCNVector3& other) const;
    /// x·x' + y·y' + z·z'.
    [[nodiscard]] constexpr float dot(const SCNVector3& o) const { return x * o.x + y * o.y + z * o.z; }
    /// Right-handed cross product self × other.
    [[nodiscard]] constexpr SCNVector3 cross(const SCNVector3& o) const {
        return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x};
    }
    /// self + (other − self)·t per component; t outside [0, 1] extrapolates.
    [[nodiscard]] constexpr SCNVector3 lerp(const SCNVector3& other, float t) const {
        return {x + (other.x - x) * t, y + (other.y - y) * t, z + (other.z - z) * t};
    }
    /// Each component's floating-point remainder of division by `divisor`, with the sign of the
    /// component (as `fmodf`).
    [[nodiscard]] SCNVector3 truncatingRemainder(float divisor) const;
    /// "(x, y, z)" with each component written with two decimals, for example "(1.00, 2.50, -0.33)".
    [[nodiscard]] std::string friendlyString() const;

    constexpr SCNVector3& operator+=(const SCNVector3& o) {
        x += o.x;
        y += o.y;
        z += o.z;
        return *this;
    }
    constexpr SCNVector3& operator-=(const SCNVector3& o) {
        x -= o.x;
        y -= o.y;
        z -= o.z;
        return *this;
    }
    constexpr SCNVector3& operator*=(const SCNVector3& o) {
        x *= o.x;
        y *= o.y;
        z *= o.z;
        return *this;
    }
    constexpr SCNVector3& operator/=(const SCNVector3& o) {
        x /= o.x;
        y /= o.y;
        z /= o.z;
        return *this;
    }
    constexpr SCNVector3& operator*=(float s) {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }
    constexpr SCNVector3& operator/=(float s) {
        x /= s;
        y /= s;
        z /= s;
        return *this;
    }

    /// Exact component-wise equality.
    friend constexpr bool operator==(const SCNVector3&, const SCNVector3&) = default;
};

constexpr SCNVector3 operator+(SCNVector3 a, const SCNVector3& b) { return a += b; }
constexpr SCNVector3 operator-(SCNVector3 a, const SCNVector3& b) { return a -= b; }
constexpr SCNVector3 operator*(SCNVector3 a, const SCNVector3& b) { return a *= b; }
constexpr SCNVector3 operator/(SCNVector3 a, const SCNVector3& b) { return a /= b; }
constexpr SCNVector3 operator*(SCNVector3 a, float s) { return a *= s; }
constexpr SCNVector3 operator/(SCNVector3 a, float s) { return a /= s; }

/// (1, 1, 1): the neutral scale.
inline constexpr SCNVector3 SCNVector3One{1.0f, 1.0f, 1.0f};
/// (0, 0, 0).
inline constexpr SCNVector3 SCNVector3Zero{};

/// (-x, -y, -z).
constexpr SCNVector3 SCNVector3Negate(const SCNVector3& v) { return v.negate(); }
/// Length of `v`.
float SCNVector3Length(const SCNVector3& v);
/// `v` divided by its length; the zero vector comes back unchanged.
SCNVector3 SCNVector3Normalize(const SCNVector3& v);
/// Length of a − b.
float SCNVector3Distance(const SCNVector3& a, const SCNVector3& b);
/// a · b.
constexpr float SCNVector3Dot(const SCNVector3& a, const SCNVector3& b) { return a.dot(b); }
/// a × b (right-handed).
constexpr SCNVector3 SCNVector3Cross(const SCNVector3& a, const SCNVector3& b) { return a.cross(b); }
/// start + (end − start)·t per component.
constexpr SCNVector3 SCNVector3Lerp(const SCNVector3& start, const SCNVector3& end, float t) {
    return start.lerp(end, t);
}
/// The projection of `vectorToProject` onto `projectionVector`: p · (dot(v, p) / dot(p, p)).
/// Projecting onto the zero vector divides by zero and yields not-a-number components.
constexpr SCNVector3 SCNVector3Project(const SCNVector3& vectorToProject, const SCNVector3& projectionVector) {
    return projectionVector * (vectorToProject.dot(projectionVector) / projectionVector.dot(projectionVector));
}
/// (s, s, s).
constexpr SCNVector3 SCNVector3Uniform(float s) { return {s, s, s}; }
/// (s, s, s) with `s` narrowed to 32-bit float first.
constexpr SCNVector3 SCNVector3Uniform(CGFloat s) { return SCNVector3Uniform(static_cast<float>(s)); }
/// Each component rounded to the nearest integer, halves away from zero.
///
/// Declared in namespace vantrel: inside it, call the standard rounding of plain numbers as
/// `std::round` so that this overload does not hide it.
SCNVector3 round(const SCNVector3& val);

}  // namespace vantrel

#pragma GCC visibility pop
