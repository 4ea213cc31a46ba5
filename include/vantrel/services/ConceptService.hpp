#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/graph/SCNVector3.hpp"
#include "vantrel/graph/SCNVector4.hpp"
#include "vantrel/services/AssignedMaterialEntity.hpp"
#include "vantrel/services/ConceptEntity.hpp"
#include "vantrel/services/ConceptItemEntity.hpp"
#include "vantrel/services/ResultBlocks.hpp"

#include <memory>
#include <optional>
#include <string>

namespace vantrel {

/// Creates, copies, lists and deletes concepts, their items and their assigned materials in the
/// main context of `CoreDataService`. It never saves: the host calls `saveContext()` when it wants
/// the changes kept. Posts no notification. Main thread only.
class ConceptService {
public:
    /// The process-wide instance.
    static ConceptService& sharedInstance();

    ConceptService(const ConceptService&) = delete;
    ConceptService& operator=(const ConceptService&) = delete;

    /// A new concept of `userId` named `name`, opened now.
    std::shared_ptr<ConceptEntity> spawnConcept(const std::string& userId, const std::string& name);
    /// A new item with a new UUID, placing `componentId` at `position` turned by `rotation`
    /// (x, y, z, w); it belongs to no concept until linked.
    std::shared_ptr<ConceptItemEntity> spawnConceptItem(const std::string& componentId, const SCNVector3& position,
                                                        const SCNVector4& rotation);
    /// A new assigned material; it belongs to no item until linked.
    std::shared_ptr<AssignedMaterialEntity> spawnAssignedMaterial(const std::string& tag,
                                                                  const std::optional<std::string>& materialId);

    /// A copy of `conceptEntity` opened now, popularity 0, with copies of its items (new ids) and their
    /// assigned materials. Ground settings and the conflicts message are not copied.
    std::shared_ptr<ConceptEntity> clone(const std::shared_ptr<ConceptEntity>& conceptEntity);
    /// A copy of `conceptItem` with a new id and copies of its assigned materials, in no concept.
    std::shared_ptr<ConceptItemEntity> clone(const std::shared_ptr<ConceptItemEntity>& conceptItem);
    /// A copy of `assignedMaterial`, in no item.
    std::shared_ptr<AssignedMaterialEntity> clone(const std::shared_ptr<AssignedMaterialEntity>& assignedMaterial);

    /// Deletes `conceptEntity` with its items and their assigned materials.
    void delete_(const std::shared_ptr<ConceptEntity>& conceptEntity);
    /// Takes `conceptItem` out of its concept and deletes it with its assigned materials.
    void delete_(const std::shared_ptr<ConceptItemEntity>& conceptItem);
    /// Takes `assignedMaterial` out of its item and deletes it.
    void delete_(const std::shared_ptr<AssignedMaterialEntity>& assignedMaterial);

    /// Every concept of `userId`, in the store's order, with unsaved changes; an empty array and the
    /// error when the store cannot be read. The block runs before this returns.
    void getAllConceptsByUserId(const std::string& userId, RecordsResultBlock<ConceptEntity> block);

private:
    ConceptService() = default;
};

}  // namespace vantrel

#pragma GCC visibility pop
