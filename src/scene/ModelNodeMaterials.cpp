// Re-colouring the tagged parts of a model and restoring their own materials.

#include "vantrel/scene/ModelNode.hpp"

#include "vantrel/graph/SCNGeometry.hpp"

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
    const auto& geometry = node->geometry();
    const auto& defaults = defaultMaterialsDictionary_.try_emplace(node, geometry->materials()).first->second;
    std::vector<std::shared_ptr<SCNMaterial>> materials;
    materials.reserve(defaults.size() + 1);
    if (material) materials.push_back(material);
    materials.insert(materials.end(), defaults.begin(), defaults.end());
    auto own = geometry->copy();
    own->setMaterials(std::move(materials));
    node->setGeometry(std::move(own));
}

}  // namespace vantrel
