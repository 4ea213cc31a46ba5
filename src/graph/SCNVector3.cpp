#include "vantrel/graph/SCNVector3.hpp"

#include <cmath>
#include <cstdio>

namespace vantrel {

float SCNVector3::length() const { return std::sqrt(x * x + y * y + z * z); }

SCNVector3& SCNVector3::normalize() {
    // Exactly zero only: a tiny vector still has a direction and is divided like any other.
    const float len = length();
    if (len != 0.0f) {
        *this /= len;
    }
    return *this;
}

SCNVector3 SCNVector3::normalized() const {
    SCNVector3 copy = *this;
    return copy.normalize();
}

SCNVector3& SCNVector3::setLength(float newLength) {
    normalize();
    *this *= newLength;
    return *this;
}

float SCNVector3::distance(const SCNVector3& other) const { return (*this - other).length(); }

SCNVector3 SCNVector3::truncatingRemainder(float divisor) const {
    return {std::fmod(x, divisor), std::fmod(y, divisor), std::fmod(z, divisor)};
}

std::string SCNVector3::friendlyString() const {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "(%.2f, %.2f, %.2f)", static_cast<double>(x), static_cast<double>(y),
                  static_cast<double>(z));
    return buffer;
}

float SCNVector3Length(const SCNVector3& v) { return v.length(); }

SCNVector3 SCNVector3Normalize(const SCNVector3& v) { return v.normalized(); }

float SCNVector3Distance(const SCNVector3& a, const SCNVector3& b) { return a.distance(b); }

SCNVector3 round(const SCNVector3& val) { return {std::round(val.x), std::round(val.y), std::round(val.z)}; }

}  // namespace vantrel
