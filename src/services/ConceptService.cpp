#include "vantrel/services/ConceptService.hpp"

#include "core/SdkState.hpp"
#include "vantrel/services/CoreDataService.hpp"

#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_io.hpp>

#include <algorithm>
#include <cctype>

namespace vantrel {

namespace {

ManagedObjectContext& mainContext() { return CoreDataService::sharedInstance().persistentContainer()->viewContext(); }

// A new UUID in the platform's text form (upper case).
std::string newUuidText() {
    auto text = boost::uuids::to_string(boost::uuids::random_generator()());
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

}  // namespace

ConceptService& ConceptService::sharedInstance() {
    static ConceptService instance;
    return instance;
}

std::shared_ptr<ConceptEntity> ConceptService::spawnConcept(const std::string& userId, const std::string& name) {
    auto conceptEntity = mainContext().insertNewObject<ConceptEntity>(ConceptEntity::entityName);
    conceptEntity->setUser_id(userId);
    conceptEntity->setName(name);
    conceptEntity->setLastOpened(dateFromSecondsSince1970(detail::wallClockSeconds()));
    return conceptEntity;
}

std::shared_ptr<ConceptItemEntity> ConceptService::spawnConceptItem(const std::string& componentId,
                                                                    const SCNVector3& position,
                                                                    const SCNVector4& rotation) {
    auto item = mainContext().insertNewObject<ConceptItemEntity>(ConceptItemEntity::entityName);
    item->setId(newUuidText());
    item->setComponent_id(componentId);
    item->setPositionX(position.x);
    item->setPositionY(position.y);
    item->setPositionZ(position.z);
    item->setRotationX(rotation.x);
    item->setRotationY(rotation.y);
    item->setRotationZ(rotation.z);
    item->setRotationW(rotation.w);
    return item;
}

std::shared_ptr<AssignedMaterialEntity> ConceptService::spawnAssignedMaterial(
    const std::string& tag, const std::optional<std::string>& materialId) {
    auto material = mainContext().insertNewObject<AssignedMaterialEntity>(AssignedMaterialEntity::entityName);
    material->setTag(tag);
    material->setMaterial_id(materialId);
    return material;
}

std::shared_ptr<AssignedMaterialEntity> ConceptService::clone(
    const std::shared_ptr<AssignedMaterialEntity>& assignedMaterial) {
    return spawnAssignedMaterial(assignedMaterial->tag().value_or(""), assignedMaterial->material_id());
}

std::shared_ptr<ConceptItemEntity> ConceptService::clone(const std::shared_ptr<ConceptItemEntity>& conceptItem) {
    auto copy =
        spawnConceptItem(conceptItem->component_id().value_or(""),
                         SCNVector3{conceptItem->positionX(), conceptItem->positionY(), conceptItem->positionZ()},
                         SCNVector4{conceptItem->rotationX(), conceptItem->rotationY(), conceptItem->rotationZ(),
                                    conceptItem->rotationW()});
    for (const auto& material : conceptItem->assignedMaterials()) copy->addToAssignedMaterials(clone(material));
    return copy;
}

std::shared_ptr<ConceptEntity> ConceptService::clone(const std::shared_ptr<ConceptEntity>& conceptEntity) {
    auto copy = spawnConcept(conceptEntity->user_id().value_or(""), conceptEntity->name().value_or(""));
    copy->setPopularity(0);
    copy->setThumbnail(conceptEntity->thumbnail());
    for (const auto& item : conceptEntity->conceptItems()) copy->addToConceptItems(clone(item));
    return copy;
}

void ConceptService::delete_(const std::shared_ptr<ConceptEntity>& conceptEntity) {
    mainContext().deleteObject(conceptEntity);
}

void ConceptService::delete_(const std::shared_ptr<ConceptItemEntity>& conceptItem) {
    if (auto conceptEntity = conceptItem->concept_()) conceptEntity->removeFromConceptItems(conceptItem);
    mainContext().deleteObject(conceptItem);
}

void ConceptService::delete_(const std::shared_ptr<AssignedMaterialEntity>& assignedMaterial) {
    if (auto item = assignedMaterial->conceptItem()) item->removeFromAssignedMaterials(assignedMaterial);
    mainContext().deleteObject(assignedMaterial);
}

void ConceptService::getAllConceptsByUserId(const std::string& userId, RecordsResultBlock<ConceptEntity> block) {
    auto request = ConceptEntity::fetchRequest();
    request.predicate = Predicate("user_id == %@", {AttributeValue(userId)});
    auto concepts = mainContext().fetchAs<ConceptEntity>(request);
    if (!concepts) {
        block({}, concepts.error());
        return;
    }
    block(std::move(concepts).value(), std::nullopt);
}

}  // namespace vantrel
