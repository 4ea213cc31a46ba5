#pragma once

// Model bookkeeping shared by the canvas and the AR adapter.

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vantrel/graph/CGPoint.hpp"
#include "vantrel/render/SCNView.hpp"
#include "vantrel/scene/ModelNode.hpp"

namespace vantrel::detail {

/// The first model with `id`, or nullptr.
inline std::shared_ptr<ModelNode> findModel(const std::vector<std::shared_ptr<ModelNode>>& models,
                                            const std::string& id) {
    const auto found = std::find_if(models.begin(), models.end(), [&](const auto& model) { return model->id() == id; });
    return found == models.end() ? nullptr : *found;
}

/// Puts `material` on the named parts of the model `modelId` and records `materialId` for them under
/// "nodeName:nodeId" in `assigned` (no id forgets them). Nothing happens for an unknown model.
inline void assignAndRecordMaterial(const std::vector<std::shared_ptr<ModelNode>>& models,
                                    std::map<std::string, std::map<std::string, std::string>>& assigned,
                                    const std::string& modelId, const ModelNode::NodeNamesOrNodeIds& nodeNamesOrNodeIds,
                                    const std::optional<std::string>& materialId,
                                    const std::shared_ptr<SCNMaterial>& material) {
    const auto model = findModel(models, modelId);
    if (!model) return;
    model->assignMaterial(material, nodeNamesOrNodeIds);
    for (const auto& [nodeName, nodeId] : nodeNamesOrNodeIds) {
        const std::string key = nodeName + ":" + nodeId;
        if (materialId) {
            assigned[modelId][key] = *materialId;
        } else if (const auto parts = assigned.find(modelId); parts != assigned.end()) {
            parts->second.erase(key);
        }
    }
}

/// The nearest node of type `Wanted` at or above the first node hit at a view point, or nullptr.
template <class Wanted>
std::shared_ptr<Wanted> hitAncestor(const SCNView* view, const CGPoint& location) {
    if (!view) return nullptr;
    const auto hits = view->hitTest(location);
    if (hits.empty()) return nullptr;
    for (auto node = hits.front().node; node; node = node->parentNode()) {
        if (auto wanted = std::dynamic_pointer_cast<Wanted>(node)) return wanted;
    }
    return nullptr;
}

}  // namespace vantrel::detail
