#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/ComponentEntity.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/services/ResultBlocks.hpp"
#include "vantrel/store/FetchRequest.hpp"
#include "vantrel/store/ManagedObject.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace vantrel {

class AssignedMaterialEntity;
class ConceptEntity;

/// One assigned material as `getAssignedMaterials` delivers it: the tag, the material's object id
/// and its rendering material (both none when the tag has no usable material).
using AssignedMaterialTriple = std::tuple<std::string, std::optional<std::string>, std::shared_ptr<SCNMaterial>>;

/// One placed component of a concept (entity "ConceptItemEntity"): where it stands, how it is
/// turned and which material each of its tags wears. Its assigned materials are deleted with it.
///
/// Lives in the main context of `CoreDataService`; use it on the main thread.
class ConceptItemEntity : public ManagedObject {
public:
    /// Receives the assigned materials and the error.
    using AssignedMaterialsBlock =
        std::function<void(std::vector<AssignedMaterialTriple> materials, OptionalError error)>;

    /// The entity's name, "ConceptItemEntity".
    static constexpr const char* entityName = "ConceptItemEntity";
    /// A request for every item.
    static FetchRequest fetchRequest() { return FetchRequest(entityName); }

    /// Unique id of the item (a UUID text).
    [[nodiscard]] std::optional<std::string> id() const { return textValue("id"); }
    void setId(const std::optional<std::string>& id) { setTextValue("id", id); }
    /// Object id of the backend component.
    [[nodiscard]] std::optional<std::string> component_id() const { return textValue("component_id"); }
    void setComponent_id(const std::optional<std::string>& componentId) { setTextValue("component_id", componentId); }
    [[nodiscard]] float positionX() const { return static_cast<float>(floatValue("positionX")); }
    [[nodiscard]] float positionY() const { return static_cast<float>(floatValue("positionY")); }
    [[nodiscard]] float positionZ() const { return static_cast<float>(floatValue("positionZ")); }
    void setPositionX(float v) { setValue("positionX", static_cast<double>(v)); }
    void setPositionY(float v) { setValue("positionY", static_cast<double>(v)); }
    void setPositionZ(float v) { setValue("positionZ", static_cast<double>(v)); }
    [[nodiscard]] float rotationX() const { return static_cast<float>(floatValue("rotationX")); }
    [[nodiscard]] float rotationY() const { return static_cast<float>(floatValue("rotationY")); }
    [[nodiscard]] float rotationZ() const { return static_cast<float>(floatValue("rotationZ")); }
    [[nodiscard]] float rotationW() const { return static_cast<float>(floatValue("rotationW")); }
    void setRotationX(float v) { setValue("rotationX", static_cast<double>(v)); }
    void setRotationY(float v) { setValue("rotationY", static_cast<double>(v)); }
    void setRotationZ(float v) { setValue("rotationZ", static_cast<double>(v)); }
    void setRotationW(float v) { setValue("rotationW", static_cast<double>(v)); }

    /// The materials chosen per tag.
    [[nodiscard]] std::vector<std::shared_ptr<AssignedMaterialEntity>> assignedMaterials();
    void addToAssignedMaterials(const std::shared_ptr<AssignedMaterialEntity>& material);
    void removeFromAssignedMaterials(const std::shared_ptr<AssignedMaterialEntity>& material);
    /// The owning concept; none until linked.
    [[nodiscard]] std::shared_ptr<ConceptEntity> concept_();
    void setConcept(const std::shared_ptr<ConceptEntity>& conceptEntity);

    /// False for a blank id or an item without assigned materials; else whether some assigned
    /// material has `material_id` equal to `materialId`.
    [[nodiscard]] bool isMaterialAssigned(const std::string& materialId);
    /// The component the item places; none (and no error) for a blank `component_id`, at once.
    void obtainComponent(RecordResultBlock<ComponentEntity> block);
    /// Sets the material of `tag`: the existing entry's id is replaced (cleared for none), or a
    /// new entry is added. Nothing is saved.
    void assignMaterial(const std::string& tag, const std::optional<std::string>& materialId);
    /// The assigned materials in order, fetched one after another: (tag, none, none) for entries
    /// without a material or whose material no longer exists; entries whose material cannot be
    /// read or gives no rendering material are left out (and logged). Never an error.
    void getAssignedMaterials(AssignedMaterialsBlock block);
};

}  // namespace vantrel

#pragma GCC visibility pop
