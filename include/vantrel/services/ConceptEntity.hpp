#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/ComponentEntity.hpp"
#include "vantrel/graph/UIColor.hpp"
#include "vantrel/services/ResultBlocks.hpp"
#include "vantrel/store/FetchRequest.hpp"
#include "vantrel/store/ManagedObject.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

class ConceptItemEntity;

/// A design the user saved on the device (entity "ConceptEntity" of the store "CodeBase"): a named
/// arrangement of components, owned by a backend user. Its items are deleted with it.
///
/// Lives in the main context of `CoreDataService`; use it on the main thread. Changes are kept
/// when `CoreDataService::saveContext()` runs.
class ConceptEntity : public ManagedObject {
public:
    /// The entity's name, "ConceptEntity".
    static constexpr const char* entityName = "ConceptEntity";
    /// A request for every concept.
    static FetchRequest fetchRequest() { return FetchRequest(entityName); }

    [[nodiscard]] std::optional<std::string> name() const { return textValue("name"); }
    void setName(const std::optional<std::string>& name) { setTextValue("name", name); }
    /// Object id of the backend user who owns the concept.
    [[nodiscard]] std::optional<std::string> user_id() const { return textValue("user_id"); }
    void setUser_id(const std::optional<std::string>& userId) { setTextValue("user_id", userId); }
    [[nodiscard]] std::int16_t popularity() const { return static_cast<std::int16_t>(integerValue("popularity")); }
    void setPopularity(std::int16_t popularity) { setValue("popularity", static_cast<std::int64_t>(popularity)); }
    /// Preview image bytes.
    [[nodiscard]] std::optional<Blob> thumbnail() const { return blobValue("thumbnail"); }
    void setThumbnail(const std::optional<Blob>& thumbnail) {
        setValue("thumbnail", thumbnail ? AttributeValue(*thumbnail) : AttributeValue());
    }
    /// When the concept was created or last opened.
    [[nodiscard]] std::optional<Date> lastOpened() const { return dateValue("lastOpened"); }
    void setLastOpened(const std::optional<Date>& date) {
        setValue("lastOpened", date ? AttributeValue(*date) : AttributeValue());
    }
    [[nodiscard]] bool groundEnabled() const { return boolValue("groundEnabled"); }
    void setGroundEnabled(bool enabled) { setValue("groundEnabled", enabled); }
    /// The ground colour as text, "red green blue alpha".
    [[nodiscard]] std::optional<std::string> groundColorRgba() const { return textValue("groundColorRgba"); }
    void setGroundColorRgba(const std::optional<std::string>& rgba) { setTextValue("groundColorRgba", rgba); }
    /// A message about conflicts, kept for the host.
    [[nodiscard]] std::optional<std::string> conflictsMessage() const { return textValue("conflictsMessage"); }
    void setConflictsMessage(const std::optional<std::string>& message) { setTextValue("conflictsMessage", message); }

    /// The placed components.
    [[nodiscard]] std::vector<std::shared_ptr<ConceptItemEntity>> conceptItems();
    /// Adds `item` (taking it from the concept it belonged to).
    void addToConceptItems(const std::shared_ptr<ConceptItemEntity>& item);
    /// Takes `item` out of the concept; the item stays in the store without concept.
    void removeFromConceptItems(const std::shared_ptr<ConceptItemEntity>& item);

    /// The ground colour read from `groundColorRgba`; none when it is absent or not of that form.
    [[nodiscard]] std::optional<UIColor> groundColor() const;
    /// Stores the colour's text form, or clears it for none.
    void setGroundColor(const std::optional<UIColor>& color);

    /// True when some item places `component` (compared by object id).
    [[nodiscard]] bool isComponentExists(const std::shared_ptr<ComponentEntity>& component);
    /// The components the items place, each once; empty at once when there are no items. The block
    /// runs on the backend client's thread (synchronously without items).
    void obtainComponents(RecordsResultBlock<ComponentEntity> block);
    /// True when some item has the material `materialId` assigned.
    [[nodiscard]] bool isMaterialAssigned(const std::string& materialId);
};

}  // namespace vantrel

#pragma GCC visibility pop
