#include "vantrel/services/CoreDataService.hpp"

#include "services/CodeBaseModel.hpp"

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
    static const auto model = services_detail::makeCodeBaseModel(
        {factoryOf<ConceptEntity>(), factoryOf<ConceptItemEntity>(), factoryOf<AssignedMaterialEntity>()});
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
