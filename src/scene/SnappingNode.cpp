#include "vantrel/scene/SnappingNode.hpp"

#include <glm/common.hpp>
#include <glm/mat3x3.hpp>

#include "vantrel/scene/ModelNode.hpp"
#include "vantrel/scene/SnappingObstacles.hpp"

namespace vantrel {

SnappingNode::SnappingNode() = default;

SnappingNode::SnappingNode(const SnappingNode& other)
    : SCNNode(other), snappingModel_(other.snappingModel_), connectToModel_(other.connectToModel_) {}

SnappingNode::~SnappingNode() = default;

std::shared_ptr<SnappingNode> SnappingNode::make() { return std::make_shared<SnappingNode>(); }

bool SnappingNode::isSnappingModelInside() const {
    const auto model = snappingModel();
    if (!model) {
        return false;
    }
    const SCNBoundingSphere sphere = boundingSphere();
    const SCNBoundingBox docked = model->snappingBoundingBox();
    const SCNVector3 centre = model->convertPosition((docked.min + docked.max) * 0.5f, this);
    return (sphere.center - centre).length() < sphere.radius;
}

void SnappingNode::refresh() { setHidden(!snappingModel() || isSnappingModelInside()); }

bool SnappingNode::isOverlappedWithModels(const std::vector<std::shared_ptr<ModelNode>>& models) const {
    return SnappingObstacles(models).isBlocking(*this);
}

SCNBoundingBox SnappingNode::overlapBoundingBox() const {
    // Centre and half extents carried through the world transform give the box around the turned
    // preview box; previews turn by the quarter turns of snapping areas, where that box is exact.
    const SCNBoundingBox local = boundingBox();
    const glm::mat4 world = simdWorldTransform();
    const glm::vec3 centre = (local.min.simd() + local.max.simd()) * 0.5f;
    const glm::vec3 half = (local.max.simd() - local.min.simd()) * 0.5f;
    const glm::vec3 carriedCentre(world * glm::vec4(centre, 1.0f));
    const glm::mat3 linear(world);
    const glm::vec3 carriedHalf =
        glm::abs(linear[0]) * half.x + glm::abs(linear[1]) * half.y + glm::abs(linear[2]) * half.z;
    return {SCNVector3(carriedCentre - carriedHalf), SCNVector3(carriedCentre + carriedHalf)};
}

std::shared_ptr<SCNNode> SnappingNode::clone() const {
    std::shared_ptr<SnappingNode> copy(new SnappingNode(*this));
    cloneChildrenInto(*copy);
    return copy;
}

}  // namespace vantrel
