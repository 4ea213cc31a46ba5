#pragma once

// Product models of plain boxes and the snapping areas that join them.

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "unit/domain/RecordTestSupport.hpp"
#include "vantrel/domain/SnappingAreaEntity.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/scene/ModelNode.hpp"

namespace vantrel::snapping_test {

/// A model of `componentId` whose content is one box centred on its origin, standing in `room`.
inline std::shared_ptr<ModelNode> boxModel(const std::shared_ptr<SCNNode>& room, const std::string& id,
                                           const std::string& componentId, SCNVector3 position = {},
                                           SCNVector3 size = {1.0f, 1.0f, 1.0f}) {
    auto model = ModelNode::make(id, componentId);
    model->add({SCNNode::make(SCNBox::make(size.x, size.y, size.z))});
    model->setPosition(position);
    room->addChildNode(model);
    return model;
}

/// An area accepting models of `componentId`; empty texts leave their key out.
inline std::shared_ptr<SnappingAreaEntity> area(const std::string& componentId, const std::string& offsetPosition,
                                                const std::string& offsetRotation = {}) {
    nlohmann::json fields{{"connectToComponentId", componentId}};
    if (!offsetPosition.empty()) fields["offsetPosition"] = offsetPosition;
    if (!offsetRotation.empty()) fields["offsetRotation"] = offsetRotation;
    return SnappingAreaEntity::fromDictionary(test::dictionaryFrom(fields));
}

}  // namespace vantrel::snapping_test
