// Re-colouring the tagged parts of a model and restoring their own materials.

#include "vantrel/scene/ModelNode.hpp"

#include "vantrel/graph/SCNGeometry.hpp"

#include <algorithm>

namespace vantrel {

namespace {

bool selects(const std::string& nodeName, const std::pair<std::string, std::string>& part) {
    const auto& [partName, partId] = part;
    if (!partName.empty()) {
        if (nodeName == partName) return true;
        const std::string suffix = "_" + partName;
        if (nodeName.ends_with(suffix)) return true;
    }
    return !partId.empty() && nodeName == partId;
}

}  // namespace

void ModelNode::assignMaterial(const std::shared_ptr<SCNMaterial>& material,
                               const NodeNamesOrNodeIds& nodeNamesOrNodeIds) {
    if (nodeNamesOrNodeIds.empty()) return;
    const auto parts = childNodesPassingTest([&nodeNamesOrNodeIds](const SCNNode& node, bool&) {
        if (node.name().empty()) return false;
        for (const auto& part : nodeNamesOrNodeIds)
            if (selects(node.name(), part)) return true;
        return false;
    });
    for (const auto& part : parts) assignMaterial(material, part);
}

void ModelNode::assignMaterial(const std::shared_ptr<SCNMaterial>& material, const std::shared_ptr<SCNNode>& node) {
    if (!node || !node->geometry()) return;
    defaultMaterialsDictionary_.try_emplace(node, node->geometry()->materials());
    if (material) {
        assignedMaterials_[node] = material;
    } else {
        assignedMaterials_.erase(node);
    }
    showMaterials(node);
}

void ModelNode::showMaterials(const std::shared_ptr<SCNNode>& node) {
    const auto& geometry = node->geometry();
    const std::vector<std::shared_ptr<SCNMaterial>>* own = &defaultMaterialsDictionary_.at(node);
    if (appliedMaterialVariant_) {
        for (const auto& [name, materials] : geometry->materialVariants())
            if (name == *appliedMaterialVariant_) own = &materials;
    }
    std::vector<std::shared_ptr<SCNMaterial>> materials;
    materials.reserve(own->size() + 1);
    if (const auto assigned = assignedMaterials_.find(node); assigned != assignedMaterials_.end())
        materials.push_back(assigned->second);
    materials.insert(materials.end(), own->begin(), own->end());
    auto copy = geometry->copy();
    copy->setMaterials(std::move(materials));
    node->setGeometry(std::move(copy));
}

namespace {

std::vector<std::shared_ptr<SCNNode>> partsWithVariants(const SCNNode& model) {
    return model.childNodesPassingTest(
        [](const SCNNode& node, bool&) { return node.geometry() && !node.geometry()->materialVariants().empty(); });
}

}  // namespace

std::vector<std::string> ModelNode::materialVariantNames() const {
    std::vector<std::string> names;
    for (const auto& part : partsWithVariants(*this))
        for (const auto& variant : part->geometry()->materialVariants())
            if (std::find(names.begin(), names.end(), variant.first) == names.end()) names.push_back(variant.first);
    return names;
}

bool ModelNode::applyMaterialVariant(const std::optional<std::string>& name) {
    if (name) {
        const auto names = materialVariantNames();
        if (std::find(names.begin(), names.end(), *name) == names.end()) return false;
    }
    appliedMaterialVariant_ = name;
    for (const auto& part : partsWithVariants(*this)) {
        defaultMaterialsDictionary_.try_emplace(part, part->geometry()->materials());
        showMaterials(part);
    }
    return true;
}

}  // namespace vantrel
