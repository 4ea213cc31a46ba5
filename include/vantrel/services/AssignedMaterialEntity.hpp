#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/store/FetchRequest.hpp"
#include "vantrel/store/ManagedObject.hpp"

#include <memory>
#include <optional>
#include <string>

namespace vantrel {

class ConceptItemEntity;

/// The material chosen for one tag of a placed component (entity "AssignedMaterialEntity").
///
/// Lives in the main context of `CoreDataService`; use it on the main thread.
class AssignedMaterialEntity : public ManagedObject {
public:
    /// The entity's name, "AssignedMaterialEntity".
    static constexpr const char* entityName = "AssignedMaterialEntity";
    /// A request for every assigned material.
    static FetchRequest fetchRequest() { return FetchRequest(entityName); }

    /// The component's material tag.
    [[nodiscard]] std::optional<std::string> tag() const { return textValue("tag"); }
    void setTag(const std::optional<std::string>& tag) { setTextValue("tag", tag); }
    /// Object id of the backend material; none or empty for no material.
    [[nodiscard]] std::optional<std::string> material_id() const { return textValue("material_id"); }
    void setMaterial_id(const std::optional<std::string>& materialId) { setTextValue("material_id", materialId); }
    /// The owning item; none until linked.
    [[nodiscard]] std::shared_ptr<ConceptItemEntity> conceptItem();
    void setConceptItem(const std::shared_ptr<ConceptItemEntity>& item);
};

}  // namespace vantrel

#pragma GCC visibility pop
