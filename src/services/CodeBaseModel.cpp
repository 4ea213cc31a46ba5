#include "services/CodeBaseModel.hpp"

#include "vantrel/services/AssignedMaterialEntity.hpp"
#include "vantrel/services/ConceptEntity.hpp"
#include "vantrel/services/ConceptItemEntity.hpp"

namespace vantrel::services_detail {

std::shared_ptr<const ManagedObjectModel> makeCodeBaseModel(const CodeBaseFactories& factories) {
    using T = AttributeType;
    std::vector<EntityDescription> entities;
    entities.emplace_back(ConceptEntity::entityName,
                          std::vector<AttributeDescription>{{"name", T::string},
                                                            {"user_id", T::string},
                                                            {"popularity", T::integer16},
                                                            {"thumbnail", T::binaryData},
                                                            {"lastOpened", T::date},
                                                            {"groundEnabled", T::boolean},
                                                            {"groundColorRgba", T::string},
                                                            {"conflictsMessage", T::string}},
                          std::vector<RelationshipDescription>{{"conceptItems", ConceptItemEntity::entityName,
                                                                "concept", true, DeleteRule::cascade}},
                          factories.design);
    entities.emplace_back(
        ConceptItemEntity::entityName,
        std::vector<AttributeDescription>{{"id", T::string},
                                          {"component_id", T::string},
                                          {"positionX", T::float32},
                                          {"positionY", T::float32},
                                          {"positionZ", T::float32},
                                          {"rotationX", T::float32},
                                          {"rotationY", T::float32},
                                          {"rotationZ", T::float32},
                                          {"rotationW", T::float32}},
        std::vector<RelationshipDescription>{
            {"assignedMaterials", AssignedMaterialEntity::entityName, "conceptItem", true, DeleteRule::cascade},
            {"concept", ConceptEntity::entityName, "conceptItems", false, DeleteRule::nullify}},
        factories.designItem);
    entities.emplace_back(AssignedMaterialEntity::entityName,
                          std::vector<AttributeDescription>{{"tag", T::string}, {"material_id", T::string}},
                          std::vector<RelationshipDescription>{{"conceptItem", ConceptItemEntity::entityName,
                                                                "assignedMaterials", false, DeleteRule::nullify}},
                          factories.assignedMaterial);
    return std::make_shared<const ManagedObjectModel>("CodeBase", 1, std::move(entities));
}

}  // namespace vantrel::services_detail
