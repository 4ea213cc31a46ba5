#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/core/Error.hpp"
#include "vantrel/store/ManagedObjectModel.hpp"
#include "vantrel/store/PersistentContainer.hpp"

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>

namespace vantrel {

/// The library's local object store: the container of the model "CodeBase" (concepts, their items
/// and their assigned materials) in the file "CodeBase.sqlite" of the host's data directory.
///
/// The container is made and loaded on first use. A store that cannot be loaded is reported (the
/// log line "Unresolved error …" and the error from `loadError()`; fetches and saves then fail with
/// it) and its file is left untouched, so no saved concept is lost. All store work happens on the
/// main thread.
class CoreDataService {
public:
    /// Receives the outcome of a save: none when it succeeded or there was nothing to save.
    using SaveBlock = std::function<void(OptionalError error)>;

    /// The process-wide instance.
    static CoreDataService& sharedInstance();

    CoreDataService(const CoreDataService&) = delete;
    CoreDataService& operator=(const CoreDataService&) = delete;

    /// The store model "CodeBase", version 1.
    static std::shared_ptr<const ManagedObjectModel> codeBaseModel();
    /// Where the library keeps the store: <host data directory>/CodeBase.sqlite.
    static std::filesystem::path defaultStoreFile();

    /// The container "CodeBase", made and loaded on first read.
    std::shared_ptr<PersistentContainer> persistentContainer();
    /// Replaces the container (another file, a test's); nullptr makes the next read load again.
    void setPersistentContainer(std::shared_ptr<PersistentContainer> container);
    /// Why the container's store could not be loaded; none when it was loaded.
    [[nodiscard]] OptionalError loadError() const;

    /// Saves the main context on the main queue, later, when it has changes; `block` (optional)
    /// then receives the outcome on the main queue. A failed save keeps the changes in the context
    /// and the file as the last save left it.
    void saveContext(SaveBlock block = {});

private:
    CoreDataService() = default;

    mutable std::mutex mutex_;
    std::shared_ptr<PersistentContainer> container_;
    OptionalError loadError_;
};

}  // namespace vantrel

#pragma GCC visibility pop
