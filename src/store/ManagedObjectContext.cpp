#include "vantrel/store/ManagedObjectContext.hpp"

#include "store/SqliteStore.hpp"
#include "vantrel/store/StoreError.hpp"

#include <algorithm>
#include <stdexcept>
#include <unordered_set>

namespace vantrel {

namespace {

bool matches(const ManagedObject& object, const std::optional<Predicate>& predicate) {
    if (!predicate) return true;
    return std::all_of(predicate->comparisons().begin(), predicate->comparisons().end(),
                       [&](const auto& c) { return attributeValuesEqual(object.value(c.key), c.value) == c.equal; });
}

}  // namespace

ManagedObjectContext::ManagedObjectContext(std::shared_ptr<const ManagedObjectModel> model,
                                           std::shared_ptr<detail::SqliteStore> store)
    : model_(std::move(model)), store_(std::move(store)) {}

ManagedObjectContext::~ManagedObjectContext() {
    // Objects the caller still holds outlive the context: they keep their values and forget it.
    for (auto& [entity, registry] : registries_) {
        for (auto& [key, object] : registry.saved) object->context_ = nullptr;
        for (auto& object : registry.inserted) object->context_ = nullptr;
    }
    for (auto& object : deleted_) object->context_ = nullptr;
}

void ManagedObjectContext::setStore(std::shared_ptr<detail::SqliteStore> store, OptionalError reason) {
    store_ = std::move(store);
    unavailableReason_ = std::move(reason);
}

ManagedObjectContext::Registry& ManagedObjectContext::registry(const EntityDescription& entity) {
    return registries_[&entity];
}

const EntityDescription& ManagedObjectContext::checkedEntity(std::string_view name) const {
    const auto* entity = model_->entity(name);
    if (!entity) throw std::invalid_argument("no entity " + std::string(name) + " in model " + model_->name());
    return *entity;
}

Error ManagedObjectContext::unavailable() const {
    if (unavailableReason_) {
        return makeStoreError(StoreErrorCode::notLoaded, "the store is not loaded: " + unavailableReason_->message,
                              unavailableReason_->userInfo);
    }
    return makeStoreError(StoreErrorCode::notLoaded, "the store is not loaded");
}

std::shared_ptr<ManagedObject> ManagedObjectContext::insertNewObject(std::string_view entityName) {
    const auto& entity = checkedEntity(entityName);
    auto object = entity.makeInstance();
    object->entity_ = &entity;
    object->context_ = this;
    object->inserted_ = true;
    object->values_.assign(entity.attributes().size(), std::monostate{});
    object->relations_.assign(entity.relationships().size(), {});
    registry(entity).inserted.push_back(object);
    return object;
}

const std::shared_ptr<ManagedObject>& ManagedObjectContext::objectFromRow(Registry& reg,
                                                                          const EntityDescription& entity,
                                                                          detail::StoredRow& row) {
    auto& saved = reg.saved;
    // Rows mostly come in key order: then the new object goes at the end without a search.
    auto at = saved.empty() || saved.rbegin()->first < row.key ? saved.end() : saved.lower_bound(row.key);
    if (at != saved.end() && at->first == row.key) {
        auto& known = *at->second;
        // An object without changes mirrors the file, so it takes what another connection wrote.
        if (!known.updated_ && !known.deleted_ && known.version_ != row.version) adoptRow(known, row, false);
        return at->second;
    }
    auto object = entity.makeInstance();
    object->entity_ = &entity;
    object->context_ = this;
    object->key_ = row.key;
    object->version_ = row.version;
    object->values_ = std::move(row.values);
    const auto& relations = entity.relationships();
    object->relations_.resize(relations.size());
    for (std::size_t r = 0; r < relations.size(); ++r) {
        if (relations[r].toMany) {
            object->relations_[r].many.loaded = false;
        } else {
            object->relations_[r].one = {{}, row.links[r], false};
        }
    }
    const auto key = object->key_;
    return saved.emplace_hint(at, key, std::move(object))->second;
}

std::shared_ptr<ManagedObject> ManagedObjectContext::objectForKey(const EntityDescription& entity, std::int64_t key) {
    auto& reg = registry(entity);
    if (auto found = reg.saved.find(key); found != reg.saved.end()) return found->second;
    if (!store_) return nullptr;
    auto row = store_->fetchRow(entity, key);
    if (!row || !row->has_value()) return nullptr;
    auto found = std::move(row).value();
    return objectFromRow(reg, entity, *found);
}

void ManagedObjectContext::noteUpdated(ManagedObject& object) {
    if (object.updated_) return;
    object.updated_ = true;
    // The state as read, before this first change: what a merging refresh compares against.
    auto snapshot = std::make_unique<ManagedObject::Snapshot>();
    snapshot->values = object.values_;
    snapshot->links.assign(object.relations_.size(), 0);
    for (std::size_t r = 0; r < object.relations_.size(); ++r) {
        if (!object.entity_->relationships()[r].toMany) snapshot->links[r] = object.linkKey(r);
    }
    object.snapshot_ = std::move(snapshot);
    updated_.push_back(object.shared_from_this());
}

ManagedObject* ManagedObjectContext::registeredTarget(const ManagedObject& object, std::size_t relationIndex) {
    const auto& link = object.relations_[relationIndex].one;
    if (link.resolved) return link.object.lock().get();
    if (link.storedKey == 0) return nullptr;
    const auto* destination = model_->entity(object.entity_->relationships()[relationIndex].destinationEntityName);
    auto& saved = registry(*destination).saved;
    const auto found = saved.find(link.storedKey);
    return found == saved.end() ? nullptr : found->second.get();
}

// Points the to-one relation at the row `key` as the file holds it. The lists of the old and the
// new owner are read again on next use, so that they follow.
void ManagedObjectContext::relink(ManagedObject& object, std::size_t relationIndex, std::int64_t key) {
    if (object.linkKey(relationIndex) == key) return;
    const auto& relation = object.entity_->relationships()[relationIndex];
    const auto& destination = checkedEntity(relation.destinationEntityName);
    const auto inverse = *destination.relationshipIndex(relation.inverseName);
    if (destination.relationships()[inverse].toMany) {
        if (auto* old = registeredTarget(object, relationIndex)) old->relations_[inverse].many.loaded = false;
        auto& saved = registry(destination).saved;
        if (auto found = saved.find(key); found != saved.end()) found->second->relations_[inverse].many.loaded = false;
    }
    object.relations_[relationIndex].one = {{}, key, false};
}

void ManagedObjectContext::adoptRow(ManagedObject& object, detail::StoredRow& row, bool keepChanges) {
    const auto* base = keepChanges && object.updated_ ? object.snapshot_.get() : nullptr;
    for (std::size_t a = 0; a < object.values_.size(); ++a) {
        if (!base || object.values_[a] == base->values[a]) object.values_[a] = row.values[a];
    }
    for (std::size_t r = 0; r < object.relations_.size(); ++r) {
        if (object.entity_->relationships()[r].toMany) continue;
        if (!base || object.linkKey(r) == base->links[r]) relink(object, r, row.links[r]);
    }
    object.version_ = row.version;
    if (base) {
        object.snapshot_->values = std::move(row.values);
        object.snapshot_->links = std::move(row.links);
    } else if (object.updated_) {
        object.updated_ = false;
        object.snapshot_.reset();
        std::erase_if(updated_, [&](const auto& o) { return o.get() == &object; });
    }
}

void ManagedObjectContext::forgetDeletedElsewhere(ManagedObject& object) {
    const auto self = object.shared_from_this();  // the registry's reference goes below
    for (std::size_t r = 0; r < object.relations_.size(); ++r) {
        const auto& relation = object.entity_->relationships()[r];
        if (relation.toMany) continue;
        const auto& destination = checkedEntity(relation.destinationEntityName);
        const auto inverse = *destination.relationshipIndex(relation.inverseName);
        if (!destination.relationships()[inverse].toMany) continue;
        if (auto* owner = registeredTarget(object, r); owner && owner->relations_[inverse].many.loaded)
            std::erase(owner->relations_[inverse].many.objects, self);
    }
    std::erase(updated_, self);
    std::erase(deleted_, self);
    registry(*object.entity_).saved.erase(object.key_);
    object.deleted_ = true;
    object.updated_ = false;
    object.snapshot_.reset();
    object.context_ = nullptr;
}

OptionalError ManagedObjectContext::refresh(const std::shared_ptr<ManagedObject>& object, bool mergeChanges) {
    if (!object || object->context_ != this || object->inserted_) return std::nullopt;
    if (!store_) return unavailable();
    auto row = store_->fetchRow(*object->entity_, object->key_);
    if (!row) return row.error();
    if (!row->has_value()) {
        forgetDeletedElsewhere(*object);
        return std::nullopt;
    }
    auto stored = std::move(row).value();
    if (object->deleted_) {
        object->version_ = stored->version;
        return std::nullopt;
    }
    adoptRow(*object, *stored, mergeChanges);
    return std::nullopt;
}

void ManagedObjectContext::faultToMany(ManagedObject& owner, std::size_t relationIndex) {
    const auto& relation = owner.entity_->relationships()[relationIndex];
    const auto& destination = checkedEntity(relation.destinationEntityName);
    const auto inverse = *destination.relationshipIndex(relation.inverseName);

    // Every saved owner of this entity whose list is still unread is filled by the same query.
    std::vector<ManagedObject*> owners;
    std::vector<std::int64_t> keys;
    for (auto& [key, object] : registry(*owner.entity_).saved) {
        if (!object->relations_[relationIndex].many.loaded) {
            owners.push_back(object.get());
            keys.push_back(key);
        }
    }
    if (std::find(owners.begin(), owners.end(), &owner) == owners.end()) owners.push_back(&owner);
    std::size_t rowsRead = 0;
    if (store_ && !keys.empty()) {
        auto& reg = registry(destination);
        // A failed read leaves the lists with what the context holds, as before.
        static_cast<void>(store_->fetchRowsLinkedTo(destination, inverse, keys, [&](detail::StoredRow& row) {
            objectFromRow(reg, destination, row);
            ++rowsRead;
        }));
    }
    // Each owner's list, found by the owner (for links set in memory) and by its key (for links as
    // read); sorted vectors, as a design's read fills some hundred lists at once.
    using List = std::vector<std::shared_ptr<ManagedObject>>;
    std::vector<std::pair<const ManagedObject*, List*>> listByOwner;
    std::vector<std::pair<std::int64_t, List*>> listByKey;
    listByOwner.reserve(owners.size());
    listByKey.reserve(owners.size());
    const std::size_t expected = (rowsRead + owners.size() - 1) / owners.size();
    for (auto* o : owners) {
        auto& many = o->relations_[relationIndex].many;
        many.objects.clear();
        many.objects.reserve(expected);
        many.loaded = true;
        listByOwner.emplace_back(o, &many.objects);
        if (o->key_ != 0) listByKey.emplace_back(o->key_, &many.objects);
    }
    const auto byFirst = [](const auto& a, const auto& b) { return a.first < b.first; };
    std::sort(listByOwner.begin(), listByOwner.end(), byFirst);
    if (!std::is_sorted(listByKey.begin(), listByKey.end(), byFirst))
        std::sort(listByKey.begin(), listByKey.end(), byFirst);
    const auto find = [](const auto& sorted, const auto& what) -> List* {
        const auto at = std::lower_bound(sorted.begin(), sorted.end(), what,
                                         [](const auto& entry, const auto& value) { return entry.first < value; });
        return at != sorted.end() && at->first == what ? at->second : nullptr;
    };
    // Members are the destination objects whose inverse points at an owner, as the context sees them now.
    const auto collect = [&](const std::shared_ptr<ManagedObject>& member) {
        if (member->deleted_) return;
        const auto& link = member->relations_[inverse].one;
        List* list = nullptr;
        if (link.resolved) {
            if (const auto target = link.object.lock())
                list = find(listByOwner, static_cast<const ManagedObject*>(target.get()));
        } else if (link.storedKey != 0) {
            list = find(listByKey, link.storedKey);
        }
        if (list) list->push_back(member);
    };
    auto& members = registry(destination);
    for (const auto& [key, member] : members.saved) collect(member);
    for (const auto& member : members.inserted) collect(member);
}

void ManagedObjectContext::deleteObject(const std::shared_ptr<ManagedObject>& object) {
    if (!object || object->context_ != this || object->deleted_) return;
    object->deleted_ = true;
    const auto& entity = *object->entity_;
    for (std::size_t r = 0; r < entity.relationships().size(); ++r) {
        const auto& relation = entity.relationships()[r];
        const auto& destination = checkedEntity(relation.destinationEntityName);
        const auto inverse = *destination.relationshipIndex(relation.inverseName);
        if (relation.toMany) {
            if (!object->relations_[r].many.loaded) faultToMany(*object, r);
            const auto members = object->relations_[r].many.objects;
            object->relations_[r].many.objects.clear();
            for (const auto& member : members) {
                if (relation.deleteRule == DeleteRule::cascade) {
                    deleteObject(member);
                } else {
                    member->markChanged();
                    member->relations_[inverse].one = {};
                }
            }
        } else if (auto target = object->resolveToOne(r)) {
            if (destination.relationships()[inverse].toMany) {
                target->markChanged();
                auto& list = target->relations_[inverse].many;
                if (list.loaded) std::erase(list.objects, object);
            } else if (target->resolveToOne(inverse) == object) {
                target->markChanged();
                target->relations_[inverse].one = {};
            }
            if (relation.deleteRule == DeleteRule::cascade) deleteObject(target);
        }
    }
    if (object->inserted_) {
        std::erase(registry(entity).inserted, object);
        object->inserted_ = false;
        object->context_ = nullptr;
    } else {
        deleted_.push_back(object);
    }
}

Expected<std::vector<std::shared_ptr<ManagedObject>>> ManagedObjectContext::fetch(const FetchRequest& request) {
    const auto* entity = model_->entity(request.entityName);
    if (!entity) return makeStoreError(StoreErrorCode::unknownKey, "no entity " + request.entityName);
    std::vector<Predicate::Comparison> comparisons;
    if (request.predicate) {
        comparisons = request.predicate->comparisons();
        for (const auto& c : comparisons) {
            if (!entity->attributeIndex(c.key)) {
                return makeStoreError(StoreErrorCode::unknownKey, "no attribute " + c.key + " in " + entity->name());
            }
        }
    }
    if (!store_) return unavailable();
    auto& reg = registry(*entity);
    if (auto error =
            store_->fetchRows(*entity, comparisons, [&](detail::StoredRow& row) { objectFromRow(reg, *entity, row); }))
        return *error;
    std::vector<std::shared_ptr<ManagedObject>> found;
    for (const auto& [key, object] : reg.saved) {
        if (!object->deleted_ && matches(*object, request.predicate)) found.push_back(object);
    }
    for (const auto& object : reg.inserted) {
        if (matches(*object, request.predicate)) found.push_back(object);
    }
    return found;
}

bool ManagedObjectContext::hasChanges() const noexcept {
    if (!updated_.empty() || !deleted_.empty()) return true;
    return std::any_of(registries_.begin(), registries_.end(),
                       [](const auto& entry) { return !entry.second.inserted.empty(); });
}

OptionalError ManagedObjectContext::save() {
    if (!hasChanges()) return std::nullopt;
    if (!store_) return unavailable();
    auto session = store_->beginWrite();
    if (!session) return session.error();
    auto& writer = **session;

    // Keys for the new rows, valid only if the transaction commits.
    std::unordered_map<const ManagedObject*, std::int64_t> newKeys;
    for (const auto& entity : model_->entities()) {
        const auto& inserted = registry(entity).inserted;
        if (inserted.empty()) continue;
        auto first = writer.reserveKeys(entity, inserted.size());
        if (!first) return first.error();
        std::int64_t next = *first;
        for (const auto& object : inserted) newKeys[object.get()] = next++;
    }
    const auto keyOf = [&](const ManagedObject* object) -> std::int64_t {
        if (!object || object->deleted_) return 0;
        if (object->key_ != 0) return object->key_;
        const auto found = newKeys.find(object);
        return found == newKeys.end() ? 0 : found->second;
    };
    const auto linksOf = [&](const ManagedObject& object) {
        std::vector<std::int64_t> links(object.relations_.size(), 0);
        for (std::size_t r = 0; r < object.relations_.size(); ++r) {
            if (object.entity_->relationships()[r].toMany) continue;
            const auto& link = object.relations_[r].one;
            links[r] = link.resolved ? keyOf(link.object.lock().get()) : link.storedKey;
        }
        return links;
    };
    for (const auto& entity : model_->entities()) {
        for (const auto& object : registry(entity).inserted) {
            if (auto error = writer.insert(entity, keyOf(object.get()), object->values_, linksOf(*object)))
                return error;
        }
    }
    // Rows that another connection changed or deleted are collected, so that one error names them all.
    auto conflicts = nlohmann::json::array();
    const auto failed = [&](OptionalError error) {
        if (!error) return false;
        if (!isStoreError(*error, StoreErrorCode::conflict)) return true;
        for (const auto& row : error->userInfo["conflicts"]) conflicts.push_back(row);
        return false;
    };
    for (const auto& object : updated_) {
        if (object->deleted_ || object->inserted_) continue;
        auto error = writer.update(*object->entity_, object->key_, object->version_, object->values_, linksOf(*object));
        if (failed(error)) return error;
    }
    for (const auto& object : deleted_) {
        auto error = writer.remove(*object->entity_, object->key_, object->version_);
        if (failed(error)) return error;
    }
    if (!conflicts.empty()) {
        return makeStoreError(StoreErrorCode::conflict,
                              std::to_string(conflicts.size()) +
                                  " row(s) were changed or deleted by another connection since they were read",
                              {{"file", store_->file().string()}, {"conflicts", std::move(conflicts)}});
    }
    if (auto error = writer.commit()) return error;

    // Committed: the context now mirrors the file.
    for (const auto& entity : model_->entities()) {
        auto& reg = registry(entity);
        for (auto& object : reg.inserted) {
            object->key_ = newKeys[object.get()];
            object->version_ = 1;
            object->inserted_ = false;
            reg.saved.emplace(object->key_, object);
        }
        reg.inserted.clear();
    }
    for (auto& object : updated_) {
        if (!object->deleted_) ++object->version_;
        object->updated_ = false;
        object->snapshot_.reset();
    }
    updated_.clear();
    for (auto& object : deleted_) {
        registry(*object->entity_).saved.erase(object->key_);
        object->context_ = nullptr;
    }
    deleted_.clear();
    return std::nullopt;
}

std::vector<std::shared_ptr<ManagedObject>> ManagedObjectContext::insertedObjects() const {
    std::vector<std::shared_ptr<ManagedObject>> all;
    for (const auto& entity : model_->entities()) {
        if (auto reg = registries_.find(&entity); reg != registries_.end()) {
            all.insert(all.end(), reg->second.inserted.begin(), reg->second.inserted.end());
        }
    }
    return all;
}

std::vector<std::shared_ptr<ManagedObject>> ManagedObjectContext::updatedObjects() const {
    std::vector<std::shared_ptr<ManagedObject>> all;
    for (const auto& object : updated_) {
        if (!object->deleted_ && !object->inserted_) all.push_back(object);
    }
    return all;
}

std::vector<std::shared_ptr<ManagedObject>> ManagedObjectContext::deletedObjects() const { return deleted_; }

}  // namespace vantrel
