// The snapping points a model carries, and what a point shows of the model that docks at it.

#include "vantrel/graph/SCNTransaction.hpp"
#include "vantrel/scene/ModelNode.hpp"
#include "vantrel/scene/SnappingNode.hpp"
#include "vantrel/scene/SnappingObstacles.hpp"

namespace vantrel {

bool ModelNode::isSnappingNode(const SCNNode& node) { return dynamic_cast<const SnappingNode*>(&node) != nullptr; }

void ModelNode::forEachProductChild(
    const std::function<void(const std::shared_ptr<SCNNode>&, const glm::mat4&)>& visit) const {
    for (const auto& child : childNodes()) {
        if (child == shownSizesNode_ || isSnappingNode(*child)) {
            continue;
        }
        visit(child, child == contentNode_ ? restingContentTransform() : child->simdTransform());
    }
}

std::vector<std::shared_ptr<SCNNode>> ModelNode::snappingPreviewNodes() const {
    std::vector<std::shared_ptr<SCNNode>> preview;
    forEachProductChild([&](const std::shared_ptr<SCNNode>& child, const glm::mat4& rest) {
        auto copy = child->clone();
        if (child == contentNode_) {
            // The preview shows the product as it will stand, not lifted or glowing as the selection.
            SCNTransaction::begin();
            SCNTransaction::setAnimationDuration(0.0);
            copy->setSimdTransform(rest);
            SCNTransaction::commit();
            if (highlightedMode_ == ModelHighlightingMode::glow) {
                const auto parts =
                    copy->childNodesPassingTest([](const SCNNode& n, bool&) { return n.geometry() != nullptr; });
                for (const auto& part : parts) {
                    part->setCategoryBitMask(1);
                }
            }
        }
        preview.push_back(std::move(copy));
    });
    return preview;
}

void ModelNode::addSnappingNodes(const std::string& key, const std::vector<std::shared_ptr<ModelNode>>& models) {
    if (const auto it = snappingNodesDictionary_.find(key); it != snappingNodesDictionary_.end()) {
        for (const auto& point : it->second) {
            if (point && point->parentNode().get() != this) {
                addChildNode(point);
            }
        }
    }
    refreshSnappingNodes(models);
}

void ModelNode::refreshSnappingNodes(const std::vector<std::shared_ptr<ModelNode>>& models) {
    refreshSnappingNodesBlockedBy(SnappingObstacles(models));
}

void ModelNode::refreshSnappingNodesBlockedBy(const SnappingObstacles& obstacles) {
    for (const auto& [key, points] : snappingNodesDictionary_) {
        for (const auto& point : points) {
            if (point) {
                point->refresh(obstacles);
            }
        }
    }
}

void ModelNode::removeSnappingNodes() {
    for (const auto& [key, points] : snappingNodesDictionary_) {
        for (const auto& point : points) {
            if (point) {
                point->removeFromParentNode();
            }
        }
    }
    snappingNodesDictionary_.clear();
}

void ModelNode::adoptClonedSnappingNodes(
    const ModelNode& original,
    const std::function<std::shared_ptr<SCNNode>(const std::shared_ptr<SCNNode>&)>& counterpart) {
    auto self = std::static_pointer_cast<ModelNode>(shared_from_this());
    for (const auto& [key, points] : original.snappingNodesDictionary_) {
        std::vector<std::shared_ptr<SnappingNode>> copies;
        for (const auto& point : points) {
            // A recorded point that hangs elsewhere has no clone in the copy and stays the original's.
            if (auto copy = std::dynamic_pointer_cast<SnappingNode>(point ? counterpart(point) : nullptr)) {
                copy->setConnectToModel(self);
                copies.push_back(std::move(copy));
            }
        }
        if (!copies.empty()) {
            snappingNodesDictionary_.emplace(key, std::move(copies));
        }
    }
}

}  // namespace vantrel
