#include "vantrel/domain/ComponentEntity.hpp"

#include "domain/UrlText.hpp"
#include "domain/ValueReading.hpp"
#include "vantrel/domain/ModelMeasuringUnitEntity.hpp"
#include "vantrel/graph/TextPresence.hpp"

#include <algorithm>
#include <mutex>

namespace vantrel {

using namespace domain_detail;

ComponentEntity::ComponentEntity() : ModelFileAwareEntity(parseClassName()) {}

std::shared_ptr<ComponentEntity> ComponentEntity::parent() const { return value("parent").asObject<ComponentEntity>(); }

void ComponentEntity::setParent(const std::shared_ptr<ComponentEntity>& parent) { set("parent", ParseValue(parent)); }

std::string ComponentEntity::appName() const { return readTrimmedText(value("appName")); }

std::string ComponentEntity::genericName() const {
    auto shown = appName();
    return isNotBlank(shown) ? shown : name();
}

std::string ComponentEntity::productNumber() const { return readTrimmedText(value("productNumber")); }

double ComponentEntity::price() const { return readDouble(value("price"), 0.0); }

std::string ComponentEntity::desc() const { return readTrimmedText(value("description")); }

bool ComponentEntity::isFloating() const { return readBool(value("isFloating"), false); }

bool ComponentEntity::isNonFloating() const { return !isFloating(); }

std::shared_ptr<ModelMeasuringUnitEntity> ComponentEntity::scnModelMeasuringUnit() const {
    return value("scnModelMeasuringUnit").asObject<ModelMeasuringUnitEntity>();
}

std::vector<std::shared_ptr<SnappingAreaEntity>> ComponentEntity::snappingAreas() const {
    return readEmbeddedList<SnappingAreaEntity>(value("snappingAreas"));
}

bool ComponentEntity::isSnappingAreasExist() const { return !snappingAreas().empty(); }

std::vector<std::shared_ptr<AnchorObjectConnectionEntity>> ComponentEntity::anchorObjectConnections() const {
    return readEmbeddedList<AnchorObjectConnectionEntity>(value("anchorObjectConnections"));
}

bool ComponentEntity::isAnchorObjectConnectionsExist() const { return !anchorObjectConnections().empty(); }

std::vector<std::shared_ptr<NodeToTagEntity>> ComponentEntity::nodesToTags() const {
    return readEmbeddedList<NodeToTagEntity>(value("nodesToTags"));
}

bool ComponentEntity::isNodesToTagsExist() const { return !nodesToTags().empty(); }

std::vector<std::shared_ptr<TagToMaterialsEntity>> ComponentEntity::tagsToMaterials() const {
    return readEmbeddedList<TagToMaterialsEntity>(value("tagsToMaterials"));
}

bool ComponentEntity::isTagsToMaterialsExist() const { return !tagsToMaterials().empty(); }

std::vector<std::shared_ptr<CombinationEntity>> ComponentEntity::combinations() const {
    return readEmbeddedList<CombinationEntity>(value("combinations"));
}

bool ComponentEntity::isCombinationsExist() const { return !combinations().empty(); }

ParseRelation ComponentEntity::variancesRelation() { return relation("variances"); }

std::string ComponentEntity::productLink() const { return readTrimmedText(value("productLink")); }

std::optional<std::string> ComponentEntity::productLinkUrl() const {
    auto link = productLink();
    if (!isNotBlank(link) || !isValidUrlReference(link)) return std::nullopt;
    return link;
}

std::shared_ptr<ImagesEntity> ComponentEntity::images() const {
    if (auto images = readEmbedded<ImagesEntity>(value("images"))) return images;
    return std::make_shared<ImagesEntity>();
}

void ComponentEntity::setImages(const std::shared_ptr<ImagesEntity>& images) {
    set("images", images ? ParseValue(images->dictionary) : ParseValue::null());
}

std::optional<std::string> ComponentEntity::pricePrefix() const {
    std::lock_guard lock(mutex_);
    return pricePrefix_;
}

void ComponentEntity::setPricePrefix(std::optional<std::string> prefix) {
    std::lock_guard lock(mutex_);
    pricePrefix_ = std::move(prefix);
}

std::vector<std::pair<std::string, std::string>> ComponentEntity::getNodeNamesOrNodeIdsByTag(
    const std::string& tag) const {
    std::vector<std::pair<std::string, std::string>> nodes;
    for (const auto& entry : nodesToTags())
        if (entry->tag() == tag) nodes.emplace_back(entry->nodeName(), entry->nodeId().value_or(""));
    return nodes;
}

std::vector<std::string> ComponentEntity::getMaterialIdsByTag(const std::string& tag) const {
    for (const auto& entry : tagsToMaterials())
        if (entry->tag() == tag) return entry->materialIds();
    return {};
}

std::vector<std::shared_ptr<TagToMaterialsEntity>> ComponentEntity::getTagsToMaterialsByMaterialId(
    const std::string& materialId) const {
    if (!isNotBlank(materialId)) return {};
    auto entries = tagsToMaterials();
    std::erase_if(entries, [&](const auto& entry) {
        const auto ids = entry->materialIds();
        return std::find(ids.begin(), ids.end(), materialId) == ids.end();
    });
    return entries;
}

bool ComponentEntity::isMaterialAssigned(const std::string& materialId) const {
    return !getTagsToMaterialsByMaterialId(materialId).empty();
}

}  // namespace vantrel
