#include "vantrel/store/PersistentContainer.hpp"

#include "store/SqliteStore.hpp"

namespace vantrel {

PersistentContainer::PersistentContainer(std::string name, std::shared_ptr<const ManagedObjectModel> model,
                                         std::filesystem::path storeFile, StoreOptions options)
    : name_(std::move(name)),
      model_(std::move(model)),
      storeFile_(std::move(storeFile)),
      options_(std::move(options)),
      viewContext_(std::make_unique<ManagedObjectContext>(model_)) {}

PersistentContainer::~PersistentContainer() {
    viewContext_.reset();  // the context's statements and objects before the file closes
    store_.reset();
}

OptionalError PersistentContainer::loadPersistentStores() {
    if (store_) return std::nullopt;
    auto opened = detail::SqliteStore::open(storeFile_, model_, options_);
    if (!opened) {
        viewContext_->setStore(nullptr, opened.error());
        return opened.error();
    }
    store_ = *opened;
    viewContext_->setStore(store_);
    return std::nullopt;
}

bool PersistentContainer::isLoaded() const noexcept { return store_ != nullptr; }

}  // namespace vantrel
