#include "vantrel/scene/SnappingNode.hpp"

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
    // The preview is the snapping model's product as it rests, so its centre, carried to where the
    // model stands, is the model's centre; a sphere of the model's own subtree would count the lift
    // of a levitation and the dimension display.
    const SCNBoundingSphere sphere = boundingSphere();
    const SCNVector3 modelCentre = model->convertPosition(sphere.center, this);
    return (sphere.center - modelCentre).length() < sphere.radius;
}

void SnappingNode::refresh() { refresh(SnappingObstacles()); }

void SnappingNode::refresh(const SnappingObstacles& obstacles) {
    bool hidden = !snappingModel() || isSnappingModelInside();
    // Blocking only ever hides, and it is the costlier test: a hidden point skips it.
    if (!hidden && !obstacles.empty()) {
        hidden = obstacles.isBlocking(*this);
    }
    setHidden(hidden);
}

bool SnappingNode::isOverlappedWithModels(const std::vector<std::shared_ptr<ModelNode>>& models) const {
    return SnappingObstacles(models).isBlocking(*this);
}

SCNBoundingBox SnappingNode::overlapBoundingBox() const {
    if (const auto box = worldBoundingBox()) {
        return *box;
    }
    const SCNVector3 origin = worldPosition();
    return {origin, origin};
}

std::shared_ptr<SCNNode> SnappingNode::clone() const {
    std::shared_ptr<SnappingNode> copy(new SnappingNode(*this));
    cloneChildrenInto(*copy);
    return copy;
}

}  // namespace vantrel
