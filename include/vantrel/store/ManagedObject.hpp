#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/store/AttributeValue.hpp"
#include "vantrel/store/ManagedObjectModel.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

class ManagedObjectContext;

/// One object of the local store: an instance of an entity, living in one context.
///
/// The context owns every object registered in it; callers hold `std::shared_ptr`s as well. Values
/// and relations change in memory only and reach the file when the context saves. Relations keep
/// their inverse in step: setting an item's owner adds the item to the owner's list, and the reverse.
/// Related objects are read from the store on first use (all pending lists of the same relation at
/// once, so walking a tree costs one query per level). Changing a to-many relation changes its owner
/// too: the owner's row counts as changed when the context saves.
///
/// Objects belong to the thread of their context (the main thread for the main context).
/// Subclasses add typed accessors for their entity; `key` arguments name attributes and relations
/// of the object's entity, and an unknown key is a programmer's error.
class ManagedObject : public std::enable_shared_from_this<ManagedObject> {
public:
    ManagedObject();
    virtual ~ManagedObject();
    ManagedObject(const ManagedObject&) = delete;
    ManagedObject& operator=(const ManagedObject&) = delete;

    /// The entity of this object.
    /// @throw std::logic_error before the object was inserted into a context.
    [[nodiscard]] const EntityDescription& entity() const;
    /// The context the object lives in; nullptr once it was deleted and the deletion saved.
    [[nodiscard]] ManagedObjectContext* managedObjectContext() const noexcept { return context_; }
    /// The object's key in the store; none until it is first saved.
    [[nodiscard]] std::optional<std::int64_t> objectID() const noexcept;

    /// Inserted into its context and not saved yet.
    [[nodiscard]] bool isInserted() const noexcept { return inserted_; }
    /// Saved before and changed since.
    [[nodiscard]] bool isUpdated() const noexcept { return updated_ && !deleted_; }
    /// Deleted from its context (the deletion may not be saved yet).
    [[nodiscard]] bool isDeleted() const noexcept { return deleted_; }

    /// The value of the attribute `key`.
    /// @throw std::invalid_argument when the entity has no attribute `key`.
    [[nodiscard]] const AttributeValue& value(std::string_view key) const;
    /// Sets the attribute `key`; the value is converted to the attribute's type (a float attribute
    /// takes integers, an integer attribute rounds toward zero; values of other types clear it).
    /// @throw std::invalid_argument when the entity has no attribute `key`.
    void setValue(std::string_view key, AttributeValue value);

    /// The object at the end of the to-one relation `key`; nullptr when none.
    /// @throw std::invalid_argument when `key` is no to-one relation of the entity.
    [[nodiscard]] std::shared_ptr<ManagedObject> toOne(std::string_view key);
    /// Links the to-one relation `key` to `object` (nullptr unlinks) and updates the inverse.
    /// @throw std::invalid_argument when `key` is no to-one relation, `object` is of another
    ///        entity than the relation's destination or lives in another context.
    void setToOne(std::string_view key, const std::shared_ptr<ManagedObject>& object);
    /// The objects of the to-many relation `key`, in the order they were added (saved objects first,
    /// in the order they were saved).
    /// @throw std::invalid_argument when `key` is no to-many relation of the entity.
    [[nodiscard]] const std::vector<std::shared_ptr<ManagedObject>>& toMany(std::string_view key);
    /// Adds `object` to the to-many relation `key` (taking it from its former owner).
    /// @throw std::invalid_argument as for `setToOne`.
    void addToMany(std::string_view key, const std::shared_ptr<ManagedObject>& object);
    /// Takes `object` out of the to-many relation `key`; nothing when it is not there.
    /// @throw std::invalid_argument when `key` is no to-many relation of the entity.
    void removeFromToMany(std::string_view key, const std::shared_ptr<ManagedObject>& object);

protected:
    // Typed reading and writing for the entity classes.
    [[nodiscard]] std::optional<std::string> textValue(std::string_view key) const;
    void setTextValue(std::string_view key, const std::optional<std::string>& text);
    [[nodiscard]] std::int64_t integerValue(std::string_view key) const;
    [[nodiscard]] double floatValue(std::string_view key) const;
    [[nodiscard]] bool boolValue(std::string_view key) const;
    [[nodiscard]] std::optional<Blob> blobValue(std::string_view key) const;
    [[nodiscard]] std::optional<Date> dateValue(std::string_view key) const;
    /// The to-many relation `key` with its objects cast to `T`.
    template <class T>
    [[nodiscard]] std::vector<std::shared_ptr<T>> toManyAs(std::string_view key) {
        std::vector<std::shared_ptr<T>> out;
        for (const auto& object : toMany(key)) out.push_back(std::static_pointer_cast<T>(object));
        return out;
    }

private:
    friend class ManagedObjectContext;

    struct ToOneLink {
        std::weak_ptr<ManagedObject> object;
        std::int64_t storedKey = 0;  // key read from the file, used until `resolved`
        bool resolved = true;
    };
    struct ToManyLink {
        std::vector<std::shared_ptr<ManagedObject>> objects;
        bool loaded = true;
    };
    // The values and to-one keys as last read or saved, kept while the object has unsaved changes.
    struct Snapshot {
        std::vector<AttributeValue> values;
        std::vector<std::int64_t> links;  // by relation index; 0 for to-many relations and for none
    };

    [[nodiscard]] const EntityDescription& checkedEntity() const;
    [[nodiscard]] std::size_t relationIndex(std::string_view key, bool toMany) const;
    [[nodiscard]] std::shared_ptr<ManagedObject> resolveToOne(std::size_t index);
    void linkToOne(std::size_t index, const std::shared_ptr<ManagedObject>& object);
    // Called before each change: the first one after a read or save takes the snapshot.
    void markChanged();
    // The key the to-one relation `index` points at (0 for none or an unsaved object).
    [[nodiscard]] std::int64_t linkKey(std::size_t index) const;
    void checkSameContext(const std::shared_ptr<ManagedObject>& object, const RelationshipDescription& relation) const;

    const EntityDescription* entity_ = nullptr;
    ManagedObjectContext* context_ = nullptr;
    std::int64_t key_ = 0;      // 0 until saved
    std::int64_t version_ = 0;  // of the row as last read or saved
    std::unique_ptr<Snapshot> snapshot_;
    bool inserted_ = false;
    bool updated_ = false;
    bool deleted_ = false;
    std::vector<AttributeValue> values_;
    // One relation's state: `one` for a to-one relation, `many` for a to-many one.
    struct RelationSlot {
        ToOneLink one;
        ToManyLink many;
    };
    std::vector<RelationSlot> relations_;  // by relation index
};

}  // namespace vantrel

#pragma GCC visibility pop
