#pragma once

// Helpers shared by the scene-graph tests.

#include <cmath>

#include <gtest/gtest.h>

#include <glm/mat4x4.hpp>

#include "vantrel/graph/SCNVector3.hpp"
#include "vantrel/graph/SCNVector4.hpp"

namespace vantrel::graph_test {

inline testing::AssertionResult near(const SCNVector3& actual, const SCNVector3& expected, float tolerance = 1e-5f) {
    if (std::abs(actual.x - expected.x) <= tolerance && std::abs(actual.y - expected.y) <= tolerance &&
        std::abs(actual.z - expected.z) <= tolerance) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << actual.friendlyString() << " is not within " << tolerance << " of "
                                       << expected.friendlyString() << " (" << actual.x << ", " << actual.y << ", "
                                       << actual.z << ")";
}

/// Quaternions q and −q are the same rotation.
inline testing::AssertionResult sameRotation(const SCNVector4& actual, const SCNVector4& expected,
                                             float tolerance = 1e-5f) {
    const float dot = actual.x * expected.x + actual.y * expected.y + actual.z * expected.z + actual.w * expected.w;
    if (std::abs(std::abs(dot) - 1.0f) <= tolerance) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << "(" << actual.x << ", " << actual.y << ", " << actual.z << ", " << actual.w
                                       << ") is not the rotation (" << expected.x << ", " << expected.y << ", "
                                       << expected.z << ", " << expected.w << ")";
}

/// The image of `p` under `m`.
inline SCNVector3 apply(const glm::mat4& m, const SCNVector3& p) {
    const glm::vec4 r = m * glm::vec4(p.x, p.y, p.z, 1.0f);
    return {r.x, r.y, r.z};
}

/// The image of direction `d` under `m` (no translation).
inline SCNVector3 applyToDirection(const glm::mat4& m, const SCNVector3& d) {
    const glm::vec4 r = m * glm::vec4(d.x, d.y, d.z, 0.0f);
    return {r.x, r.y, r.z};
}

}  // namespace vantrel::graph_test
