// The anchor-object models a product model carries.

#include "vantrel/scene/AnchorObjectModelNode.hpp"
#include "vantrel/scene/ModelNode.hpp"

#include <algorithm>

namespace vantrel {

void ModelNode::attachAnchorObjectModel(const std::shared_ptr<AnchorObjectModelNode>& model,
                                        const SCNVector3& offsetPosition, const SCNVector4& offsetOrientation,
                                        const SCNVector3& scale) {
    if (!model) return;
    model->setPosition(contentNode_->position() + offsetPosition);
    model->setOrientation(contentNode_->orientation() + offsetOrientation);
    model->setScale(scale);
    anchorObjectModels_.push_back(model);
    addChildNode(model);
}

void ModelNode::removeAnchorObjectModels(const std::string& id) {
    for (const auto& model : anchorObjectModels_) {
        if (model->id() == id) model->removeFromParentNode();
    }
    std::erase_if(anchorObjectModels_, [&id](const auto& model) { return model->id() == id; });
}

void ModelNode::adoptClonedAnchorObjectModels(
    const ModelNode& original,
    const std::function<std::shared_ptr<SCNNode>(const std::shared_ptr<SCNNode>&)>& counterpart) {
    anchorObjectModels_.clear();
    for (const auto& model : original.anchorObjectModels_) {
        // One that was taken off the original has no counterpart and is not the copy's.
        if (auto copy = std::dynamic_pointer_cast<AnchorObjectModelNode>(counterpart(model)))
            anchorObjectModels_.push_back(copy);
    }
}

}  // namespace vantrel
