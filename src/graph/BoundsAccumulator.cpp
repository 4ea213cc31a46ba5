#include "vantrel/graph/BoundsAccumulator.hpp"

#include <cmath>

#include <glm/common.hpp>
#include <glm/mat3x3.hpp>

#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/graph/SCNNode.hpp"

namespace vantrel {
namespace {

bool allFinite(const glm::vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

}  // namespace

void BoundsAccumulator::add(const glm::mat4& frame, const SCNBoundingBox& box) {
    // Centre and half extents: two matrix products instead of eight corner transforms, and the same
    // box, since each axis of the result takes the extreme of every input axis independently.
    const glm::vec3 centre = (box.min.simd() + box.max.simd()) * 0.5f;
    const glm::vec3 half = (box.max.simd() - box.min.simd()) * 0.5f;
    const glm::vec3 carriedCentre(frame * glm::vec4(centre, 1.0f));
    const glm::mat3 linear(frame);
    const glm::vec3 carriedHalf =
        glm::abs(linear[0]) * half.x + glm::abs(linear[1]) * half.y + glm::abs(linear[2]) * half.z;
    add(carriedCentre - carriedHalf, carriedCentre + carriedHalf);
}

void BoundsAccumulator::add(const glm::vec3& lo, const glm::vec3& hi) {
    if (!allFinite(lo) || !allFinite(hi)) {
        return;
    }
    lo_ = found_ ? glm::min(lo_, lo) : lo;
    hi_ = found_ ? glm::max(hi_, hi) : hi;
    found_ = true;
}

void BoundsAccumulator::addSubtree(const SCNNode& node, const glm::mat4& frame) {
    if (const auto& geometry = node.geometry(); geometry && geometry->hasBounds()) {
        add(frame, geometry->boundingBox());
    }
    for (const auto& child : node.childNodes()) {
        addSubtree(*child, frame * child->simdTransform());
    }
}

std::optional<SCNBoundingBox> BoundsAccumulator::box() const {
    if (!found_) {
        return std::nullopt;
    }
    return SCNBoundingBox{SCNVector3(lo_), SCNVector3(hi_)};
}

}  // namespace vantrel
