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
    return model && isSnappingModelInside(*model, boundingBox());
}

bool SnappingNode::isSnappingModelInside(const ModelNode& model, const SCNBoundingBox& ownBox) const {
    // The preview is the snapping model's product as it rests, so its centre, carried to where the
    // model stands, is the model's centre; a sphere of the model's own subtree would count the lift
    // of a levitation and the dimension display.
    const SCNVector3 centre = (ownBox.min + ownBox.max) * 0.5f;
    const float radius = (ownBox.max - ownBox.min).length() * 0.5f;
    const SCNVector3 modelCentre = model.convertPosition(centre, this);
    return (centre - modelCentre).length() < radius;
}

void SnappingNode::refresh() {
    const auto model = snappingModel();
    setHidden(!model || isSnappingModelInside(*model, boundingBox()));
}

void SnappingNode::refresh(const SnappingObstacles& obstacles) {
    const auto model = snappingModel();
    const SCNBoundingBox ownBox = boundingBox();
    bool hidden = !model || isSnappingModelInside(*model, ownBox);
    // Blocking only ever hides, and it is the costlier test: a hidden point skips it.
    if (!hidden && !obstacles.empty()) {
        hidden = obstacles.isBlocking(*this, overlapBoundingBox(ownBox));
    }
    setHidden(hidden);
}

bool SnappingNode::isOverlappedWithModels(const std::vector<std::shared_ptr<ModelNode>>& models) const {
    return SnappingObstacles(models).isBlocking(*this);
}

SCNBoundingBox SnappingNode::overlapBoundingBox() const { return overlapBoundingBox(boundingBox()); }

SCNBoundingBox SnappingNode::overlapBoundingBox(const SCNBoundingBox& local) const {
    // Centre and half extents carried through the world transform give the box around the turned
    // preview box; previews turn by the quarter turns of snapping areas, where that box is exact.
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
