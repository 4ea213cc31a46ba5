#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/core/Error.hpp"
#include "vantrel/core/Expected.hpp"
#include "vantrel/store/FetchRequest.hpp"
#include "vantrel/store/ManagedObject.hpp"
#include "vantrel/store/ManagedObjectModel.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vantrel {

namespace detail {
class SqliteStore;
struct StoredRow;
}  // namespace detail

/// A scratch pad over the store: the objects read from the file or inserted since, and every change
/// made to them, kept in memory until `save()` writes them all in one transaction.
///
/// The context owns its objects: each saved row is represented by at most one object (reading it
/// again gives the same instance, with the changes made to it; an object without changes takes the
/// row as the file holds it now). Deleting an object applies its relations' delete rules at once:
/// related objects are deleted too (cascade) or unlinked (nullify).
///
/// Other connections (other processes) may write the same file. A save that changes or deletes a
/// row that another connection changed or deleted since this context read it fails with
/// `StoreErrorCode::conflict` and writes nothing; the changes stay, and after `refresh` of the
/// objects named in the error the save can be tried again.
///
/// A context is used from one thread only; the container's `viewContext()` belongs to the main thread.
/// Without a loaded store (the file could not be opened) fetches and saves fail with the reason.
class ManagedObjectContext {
public:
    /// A context over `model`, reading and writing `store` (none until the store is loaded).
    explicit ManagedObjectContext(std::shared_ptr<const ManagedObjectModel> model,
                                  std::shared_ptr<detail::SqliteStore> store = nullptr);
    ~ManagedObjectContext();
    ManagedObjectContext(const ManagedObjectContext&) = delete;
    ManagedObjectContext& operator=(const ManagedObjectContext&) = delete;

    /// The model of the context's objects.
    [[nodiscard]] const ManagedObjectModel& model() const noexcept { return *model_; }

    /// A new object of entity `entityName`, inserted into this context; all values unset.
    /// @throw std::invalid_argument when the model has no such entity.
    std::shared_ptr<ManagedObject> insertNewObject(std::string_view entityName);
    /// The same as an instance of the entity's class `T`.
    /// @throw std::invalid_argument also when the entity's class is not `T`.
    template <class T>
    std::shared_ptr<T> insertNewObject(std::string_view entityName) {
        auto typed = std::dynamic_pointer_cast<T>(insertNewObject(entityName));
        if (!typed) throw std::invalid_argument("the entity's class is of another type");
        return typed;
    }

    /// Deletes `object` and applies its relations' delete rules; the file changes when the context
    /// saves. Nothing happens for an object that is already deleted or lives in another context.
    void deleteObject(const std::shared_ptr<ManagedObject>& object);

    /// The objects that `request` selects, in the store's order (see FetchRequest).
    Expected<std::vector<std::shared_ptr<ManagedObject>>> fetch(const FetchRequest& request);
    /// The same, cast to the entity's class `T`.
    template <class T>
    Expected<std::vector<std::shared_ptr<T>>> fetchAs(const FetchRequest& request) {
        auto found = fetch(request);
        if (!found) return found.error();
        std::vector<std::shared_ptr<T>> typed;
        for (const auto& object : *found) typed.push_back(std::static_pointer_cast<T>(object));
        return typed;
    }

    /// True when objects were inserted, changed or deleted since the last save.
    [[nodiscard]] bool hasChanges() const noexcept;
    /// Writes every insertion, change and deletion in one transaction. On failure nothing of it
    /// reaches the file, the changes stay in the context and the error says why (a conflict names
    /// every row that another connection changed or deleted since it was read).
    OptionalError save();

    /// Reads `object`'s row again. Without `mergeChanges` the object's unsaved changes are dropped
    /// and it takes the row's values and links; with it, the values and to-one links changed in this
    /// context keep their new values and the rest take the row's. Either way the object now stands
    /// against the row as it is, so that the next save overwrites it instead of conflicting. A
    /// deleted object stays deleted (the next save deletes the row as it is now). When the row is
    /// gone, another connection deleted it: the object leaves the context as after a saved deletion.
    /// Nothing happens for inserted objects and objects of other contexts.
    OptionalError refresh(const std::shared_ptr<ManagedObject>& object, bool mergeChanges);

    /// Objects inserted and not saved yet, in the order of insertion.
    [[nodiscard]] std::vector<std::shared_ptr<ManagedObject>> insertedObjects() const;
    /// Saved objects changed since.
    [[nodiscard]] std::vector<std::shared_ptr<ManagedObject>> updatedObjects() const;
    /// Saved objects deleted since.
    [[nodiscard]] std::vector<std::shared_ptr<ManagedObject>> deletedObjects() const;

    /// Connects the context to its store once loaded; with none, fetches and saves fail with `reason`.
    void setStore(std::shared_ptr<detail::SqliteStore> store, OptionalError reason = std::nullopt);

private:
    friend class ManagedObject;

    struct Registry {
        std::map<std::int64_t, std::shared_ptr<ManagedObject>> saved;  // by key: the store's order
        std::vector<std::shared_ptr<ManagedObject>> inserted;
    };

    Registry& registry(const EntityDescription& entity);
    [[nodiscard]] const EntityDescription& checkedEntity(std::string_view name) const;
    [[nodiscard]] Error unavailable() const;
    // The registered object of `row`, made from it when new; `row`'s values may be taken.
    const std::shared_ptr<ManagedObject>& objectFromRow(Registry& reg, const EntityDescription& entity,
                                                        detail::StoredRow& row);
    std::shared_ptr<ManagedObject> objectForKey(const EntityDescription& entity, std::int64_t key);
    void faultToMany(ManagedObject& owner, std::size_t relationIndex);
    void noteUpdated(ManagedObject& object);
    void adoptRow(ManagedObject& object, detail::StoredRow& row, bool keepChanges);
    void relink(ManagedObject& object, std::size_t relationIndex, std::int64_t key);
    void forgetDeletedElsewhere(ManagedObject& object);
    ManagedObject* registeredTarget(const ManagedObject& object, std::size_t relationIndex);

    std::shared_ptr<const ManagedObjectModel> model_;
    std::shared_ptr<detail::SqliteStore> store_;
    OptionalError unavailableReason_;
    std::unordered_map<const EntityDescription*, Registry> registries_;
    std::vector<std::shared_ptr<ManagedObject>> updated_;
    std::vector<std::shared_ptr<ManagedObject>> deleted_;
};

}  // namespace vantrel

#pragma GCC visibility pop
