// The operations of the concept store's entity classes.

#include "services/RenderingMaterials.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/graph/TextPresence.hpp"
#include "vantrel/services/AssignedMaterialEntity.hpp"
#include "vantrel/services/ComponentService.hpp"
#include "vantrel/services/ConceptEntity.hpp"
#include "vantrel/services/ConceptItemEntity.hpp"
#include "vantrel/services/ConceptService.hpp"
#include "vantrel/services/MaterialService.hpp"

#include <algorithm>

namespace vantrel {

// ---- ConceptEntity -----------------------------------------------------------------------------

std::vector<std::shared_ptr<ConceptItemEntity>> ConceptEntity::conceptItems() {
    return toManyAs<ConceptItemEntity>("conceptItems");
}

void ConceptEntity::addToConceptItems(const std::shared_ptr<ConceptItemEntity>& item) {
    addToMany("conceptItems", item);
}

void ConceptEntity::removeFromConceptItems(const std::shared_ptr<ConceptItemEntity>& item) {
    removeFromToMany("conceptItems", item);
}

std::optional<UIColor> ConceptEntity::groundColor() const {
    const auto rgba = groundColorRgba();
    if (!rgba) return std::nullopt;
    return UIColor::fromRgbaString(*rgba);
}

void ConceptEntity::setGroundColor(const std::optional<UIColor>& color) {
    setGroundColorRgba(color ? std::optional<std::string>(color->rgbaString()) : std::nullopt);
}

bool ConceptEntity::isComponentExists(const std::shared_ptr<ComponentEntity>& component) {
    if (!component) return false;
    const auto id = component->objectId();
    const auto items = conceptItems();
    return id && std::any_of(items.begin(), items.end(), [&](const auto& item) { return item->component_id() == id; });
}

void ConceptEntity::obtainComponents(RecordsResultBlock<ComponentEntity> block) {
    std::vector<std::string> ids;
    for (const auto& item : conceptItems()) {
        if (auto id = item->component_id()) ids.push_back(std::move(*id));
    }
    if (ids.empty()) {
        block({}, std::nullopt);
        return;
    }
    ComponentService::sharedInstance().obtainAllComponentsByIds(ids, std::nullopt, std::nullopt, std::move(block));
}

bool ConceptEntity::isMaterialAssigned(const std::string& materialId) {
    const auto items = conceptItems();
    return std::any_of(items.begin(), items.end(),
                       [&](const auto& item) { return item->isMaterialAssigned(materialId); });
}

// ---- ConceptItemEntity -------------------------------------------------------------------------

std::vector<std::shared_ptr<AssignedMaterialEntity>> ConceptItemEntity::assignedMaterials() {
    return toManyAs<AssignedMaterialEntity>("assignedMaterials");
}

void ConceptItemEntity::addToAssignedMaterials(const std::shared_ptr<AssignedMaterialEntity>& material) {
    addToMany("assignedMaterials", material);
}

void ConceptItemEntity::removeFromAssignedMaterials(const std::shared_ptr<AssignedMaterialEntity>& material) {
    removeFromToMany("assignedMaterials", material);
}

std::shared_ptr<ConceptEntity> ConceptItemEntity::concept_() {
    return std::static_pointer_cast<ConceptEntity>(toOne("concept"));
}

void ConceptItemEntity::setConcept(const std::shared_ptr<ConceptEntity>& conceptEntity) {
    setToOne("concept", conceptEntity);
}

bool ConceptItemEntity::isMaterialAssigned(const std::string& materialId) {
    if (!isNotBlank(materialId)) return false;
    const auto materials = assignedMaterials();
    return std::any_of(materials.begin(), materials.end(),
                       [&](const auto& m) { return m->material_id() == materialId; });
}

void ConceptItemEntity::obtainComponent(RecordResultBlock<ComponentEntity> block) {
    const auto componentId = component_id();
    if (!isNotBlank(componentId)) {
        block(nullptr, std::nullopt);
        return;
    }
    ComponentService::sharedInstance().obtainComponentById(std::string(trimmingWhitespaceAndNewlines(*componentId)),
                                                           std::move(block));
}

void ConceptItemEntity::assignMaterial(const std::string& tag, const std::optional<std::string>& materialId) {
    for (const auto& material : assignedMaterials()) {
        if (material->tag() == tag) {
            material->setMaterial_id(materialId);
            return;
        }
    }
    addToAssignedMaterials(ConceptService::sharedInstance().spawnAssignedMaterial(tag, materialId));
}

namespace {

// The walk over one item's assigned materials: one material read at a time, in order. The entries
// are copied first, so the walk never touches the store from the backend client's thread.
struct AssignedMaterialsWalk : std::enable_shared_from_this<AssignedMaterialsWalk> {
    std::vector<std::pair<std::string, std::optional<std::string>>> entries;
    std::vector<AssignedMaterialTriple> result;
    ConceptItemEntity::AssignedMaterialsBlock block;
    std::size_t index = 0;

    void next() {
        // Entries without a material need no read: handled in a loop, not by recursion.
        while (index < entries.size() && !isNotBlank(entries[index].second)) {
            result.emplace_back(entries[index].first, std::nullopt, nullptr);
            ++index;
        }
        if (index == entries.size()) {
            block(std::move(result), std::nullopt);
            return;
        }
        auto self = shared_from_this();
        MaterialService::sharedInstance().obtainMaterialById(
            *entries[index].second, [self](auto material, auto error) { self->received(material, error); });
    }

    void received(const std::shared_ptr<MaterialEntity>& material, const OptionalError& error) {
        const auto& tag = entries[index].first;
        if (error) {
            VLOG_ERROR(
                "Skipped. Unable to obtain material data (from assigned material of concept item) due error: " +
                error->description());
        } else if (!material) {
            result.emplace_back(tag, std::nullopt, nullptr);
        } else {
            auto self = shared_from_this();
            services_detail::buildRenderingMaterial(material, [self, material,
                                                               tag](std::shared_ptr<SCNMaterial> rendering) {
                if (!rendering) {
                    VLOG_ERROR("Skipped. Generated SCNMaterial (of assigned material of concept item) is nil.");
                } else {
                    self->result.emplace_back(tag, material->objectId(), std::move(rendering));
                }
                ++self->index;
                self->next();
            });
            return;
        }
        ++index;
        next();
    }
};

}  // namespace

void ConceptItemEntity::getAssignedMaterials(AssignedMaterialsBlock block) {
    auto walk = std::make_shared<AssignedMaterialsWalk>();
    for (const auto& material : assignedMaterials())
        walk->entries.emplace_back(material->tag().value_or(""), material->material_id());
    walk->block = std::move(block);
    walk->next();
}

// ---- AssignedMaterialEntity --------------------------------------------------------------------

std::shared_ptr<ConceptItemEntity> AssignedMaterialEntity::conceptItem() {
    return std::static_pointer_cast<ConceptItemEntity>(toOne("conceptItem"));
}

void AssignedMaterialEntity::setConceptItem(const std::shared_ptr<ConceptItemEntity>& item) {
    setToOne("conceptItem", item);
}

}  // namespace vantrel
