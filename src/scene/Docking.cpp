#include "vantrel/scene/Docking.hpp"

#include <algorithm>

#include "vantrel/graph/SCNTransaction.hpp"
#include "vantrel/scene/ModelNode.hpp"
#include "vantrel/scene/SnappingNode.hpp"
#include "vantrel/scene/SnappingObstacles.hpp"

namespace vantrel::docking {

std::vector<std::shared_ptr<SnappingNode>> buildSnappingNodes(const std::shared_ptr<ModelNode>& selected,
                                                              const std::vector<std::shared_ptr<ModelNode>>& models) {
    std::vector<std::shared_ptr<SnappingNode>> built;
    if (!selected) {
        return built;
    }
    // The preview is cloned once and cloned again per point: a product's clone is the costly part.
    const auto preview = selected->snappingPreviewNodes();
    std::vector<ModelNode*> carriers;
    for (const auto& area : selected->snappingAreas()) {
        if (!area) {
            continue;
        }
        const std::string componentId = area->connectToComponentId();
        for (const auto& other : models) {
            if (!other || other->id() == selected->id() || other->componentId() != componentId) {
                continue;
            }
            auto point = SnappingNode::make();
            point->setSnappingModel(selected);
            point->setConnectToModel(other);
            point->setPosition(area->offsetPosition());
            point->setOrientation(area->offsetOrientation());
            for (const auto& node : preview) {
                auto copy = node->clone();
                copy->setOpacity(SnappingNode::previewOpacity);
                point->addChildNode(copy);
            }
            other->snappingNodesDictionary()[selected->id()].push_back(point);
            if (std::find(carriers.begin(), carriers.end(), other.get()) == carriers.end()) {
                carriers.push_back(other.get());
            }
            built.push_back(std::move(point));
        }
    }
    // Attached all at once and refreshed against obstacles gathered once, so that building grows with
    // the number of points rather than points times models.
    for (const auto& point : built) {
        point->connectToModel()->addChildNode(point);
    }
    const SnappingObstacles obstacles(models);
    for (auto* carrier : carriers) {
        carrier->refreshSnappingNodesBlockedBy(obstacles);
    }
    return built;
}

void removeSnappingNodes(const std::vector<std::shared_ptr<ModelNode>>& models) {
    for (const auto& model : models) {
        if (model) {
            model->removeSnappingNodes();
        }
    }
}

void refreshSnappingNodes(const std::vector<std::shared_ptr<ModelNode>>& models, const ModelNode* moved) {
    const SnappingObstacles obstacles(models);
    for (const auto& model : models) {
        if (model && model.get() != moved && !model->snappingNodesDictionary().empty()) {
            model->refreshSnappingNodesBlockedBy(obstacles);
        }
    }
}

std::shared_ptr<SnappingNode> occupiedSnappingNode(const ModelNode& moved,
                                                   const std::vector<std::shared_ptr<ModelNode>>& models) {
    for (const auto& other : models) {
        if (!other || other->id() == moved.id()) {
            continue;
        }
        const auto& dictionary = other->snappingNodesDictionary();
        const auto it = dictionary.find(moved.id());
        if (it == dictionary.end()) {
            continue;
        }
        for (const auto& point : it->second) {
            if (point && !point->isHidden() && point->isSnappingModelInside()) {
                return point;
            }
        }
    }
    return nullptr;
}

void dock(ModelNode& model, const SnappingNode& point) {
    const SCNVector3 position = point.worldPosition();
    const SCNQuaternion orientation = point.worldOrientation();
    SCNTransaction::begin();
    SCNTransaction::setAnimationDuration(snappingAnimationDuration);
    model.setWorldPosition(position);
    model.setWorldOrientation(orientation);
    SCNTransaction::commit();
}

bool snapToOccupiedNode(ModelNode& moved, const std::vector<std::shared_ptr<ModelNode>>& models) {
    const auto point = occupiedSnappingNode(moved, models);
    if (!point) {
        return false;
    }
    dock(moved, *point);
    return true;
}

bool snapToTappedNode(ModelNode& selected, const SnappingNode& point) {
    const auto model = point.snappingModel();
    if (point.isHidden() || model.get() != &selected || !point.connectToModel()) {
        return false;
    }
    dock(selected, point);
    return true;
}

}  // namespace vantrel::docking
