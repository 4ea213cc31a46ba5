#include "vantrel/services/CoreDataService.hpp"

#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/Paths.hpp"
#include "vantrel/services/AssignedMaterialEntity.hpp"
#include "vantrel/services/ConceptEntity.hpp"
#include "vantrel/services/ConceptItemEntity.hpp"

namespace vantrel {

namespace {

template <class T>
EntityDescription::Factory factoryOf() {
    return [] { return std::make_shared<T>(); };
}

// The log line of a store that could not be loaded or saved.
void logUnresolved(const Error& error) {
    VLOG_ERROR("Unresolved error " + error.description() + ", " + error.userInfo.dump());
}

}  // namespace

CoreDataService& CoreDataService::sharedInstance() {
    static CoreDataService instance;
    return instance;
}

std::shared_ptr<const ManagedObjectModel> CoreDataService::codeBaseModel() {
    static const auto model = [] {
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
                              factoryOf<ConceptEntity>());
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
            factoryOf<ConceptItemEntity>());
        entities.emplace_back(AssignedMaterialEntity::entityName,
                              std::vector<AttributeDescription>{{"tag", T::string}, {"material_id", T::string}},
                              std::vector<RelationshipDescription>{{"conceptItem", ConceptItemEntity::entityName,
                                                                    "assignedMaterials", false, DeleteRule::nullify}},
                              factoryOf<AssignedMaterialEntity>());
        return std::make_shared<const ManagedObjectModel>("CodeBase", 1, std::move(entities));
    }();
    return model;
}

std::filesystem::path CoreDataService::defaultStoreFile() { return Paths::dataDirectory() / "CodeBase.sqlite"; }

std::shared_ptr<PersistentContainer> CoreDataService::persistentContainer() {
    std::lock_guard lock(mutex_);
    if (!container_) {
        container_ = std::make_shared<PersistentContainer>("CodeBase", codeBaseModel(), defaultStoreFile());
        loadError_ = container_->loadPersistentStores();
        if (loadError_) logUnresolved(*loadError_);
    }
    return container_;
}

void CoreDataService::setPersistentContainer(std::shared_ptr<PersistentContainer> container) {
    std::lock_guard lock(mutex_);
    container_ = std::move(container);
    loadError_.reset();
    if (container_ && !container_->isLoaded()) {
        loadError_ = container_->loadPersistentStores();
        if (loadError_) logUnresolved(*loadError_);
    }
}

OptionalError CoreDataService::loadError() const {
    std::lock_guard lock(mutex_);
    return loadError_;
}

void CoreDataService::saveContext(SaveBlock block) {
    dispatchMain([this, block = std::move(block)] {
        auto& context = persistentContainer()->viewContext();
        OptionalError error;
        if (context.hasChanges()) error = context.save();
        if (error) logUnresolved(*error);
        if (block) block(error);
    });
}

}  // namespace vantrel
