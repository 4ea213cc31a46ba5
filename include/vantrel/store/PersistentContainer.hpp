#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/core/Error.hpp"
#include "vantrel/store/ManagedObjectContext.hpp"
#include "vantrel/store/ManagedObjectModel.hpp"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace vantrel {

/// How a store file is opened.
struct StoreOptions {
    /// How long a save waits for another connection that holds the file's write lock.
    std::chrono::milliseconds busyTimeout{5000};
    /// Called after each row a save writes, inside the save's transaction (diagnostics and tests).
    std::function<void(std::size_t rowsWritten)> afterRowWritten;
};

/// The local object store of one model: its file (SQLite, write-ahead log, every commit synced)
/// and the main context over it.
///
/// Loading never deletes, truncates or rewrites an existing file that it cannot use: a file of
/// another kind, of a later version, whose pages are damaged (checked on every load) or that cannot
/// be read is reported and left as it is. A file of an earlier version is migrated in one
/// transaction. Several containers (in one process or several) may share one file; see
/// `ManagedObjectContext` for what happens when their saves meet. Each save is one transaction, so a process
/// killed in the middle of one leaves the file as the last completed save left it.
///
/// The container and its context belong to the thread that uses them (the main thread for the
/// library's container).
class PersistentContainer {
public:
    PersistentContainer(std::string name, std::shared_ptr<const ManagedObjectModel> model,
                        std::filesystem::path storeFile, StoreOptions options = {});
    ~PersistentContainer();
    PersistentContainer(const PersistentContainer&) = delete;
    PersistentContainer& operator=(const PersistentContainer&) = delete;

    /// The container's name (the model's name for the library's store).
    [[nodiscard]] const std::string& name() const noexcept { return name_; }
    /// The model of the store.
    [[nodiscard]] const ManagedObjectModel& managedObjectModel() const noexcept { return *model_; }
    /// The store's file.
    [[nodiscard]] const std::filesystem::path& storeFile() const noexcept { return storeFile_; }

    /// Opens (or creates) the store file; the error when it cannot be used. After a success, later
    /// calls change nothing; after a failure they try again.
    OptionalError loadPersistentStores();
    /// True once the store is loaded.
    [[nodiscard]] bool isLoaded() const noexcept;
    /// The main context. Until the store is loaded its fetches and saves fail.
    [[nodiscard]] ManagedObjectContext& viewContext() noexcept { return *viewContext_; }

private:
    std::string name_;
    std::shared_ptr<const ManagedObjectModel> model_;
    std::filesystem::path storeFile_;
    StoreOptions options_;
    std::shared_ptr<detail::SqliteStore> store_;
    std::unique_ptr<ManagedObjectContext> viewContext_;
};

}  // namespace vantrel

#pragma GCC visibility pop
