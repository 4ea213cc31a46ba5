// Records as the backend sends them: a query's page of results (or one object) is decoded into the
// record classes the library registers, and every typed accessor of every record and of the records
// and embedded values it reaches is read. Malformed or hostile values must come back as defaults or
// empty values, never as a crash, an exception or undefined behaviour.

#include "vantrel/domain/AnchorObjectConnectionEntity.hpp"
#include "vantrel/domain/AnchorObjectEntity.hpp"
#include "vantrel/domain/AppListItemEntity.hpp"
#include "vantrel/domain/BackendRecord.hpp"
#include "vantrel/domain/CatalogAwareEntity.hpp"
#include "vantrel/domain/CatalogEntity.hpp"
#include "vantrel/domain/CombinationEntity.hpp"
#include "vantrel/domain/CompanyEntity.hpp"
#include "vantrel/domain/ComponentEntity.hpp"
#include "vantrel/domain/EmbeddedEntity.hpp"
#include "vantrel/domain/FileSizeEntity.hpp"
#include "vantrel/domain/ImagesEntity.hpp"
#include "vantrel/domain/MaterialEntity.hpp"
#include "vantrel/domain/ModelFileAwareEntity.hpp"
#include "vantrel/domain/ModelMeasuringUnitEntity.hpp"
#include "vantrel/domain/NodeToTagEntity.hpp"
#include "vantrel/domain/RecordClasses.hpp"
#include "vantrel/domain/RoleEntity.hpp"
#include "vantrel/domain/SceneEntity.hpp"
#include "vantrel/domain/ScnMaterialEnumerations.hpp"
#include "vantrel/domain/ScnMaterialPropertiesEntity.hpp"
#include "vantrel/domain/ScnMaterialPropertyEntity.hpp"
#include "vantrel/domain/SnappingAreaEntity.hpp"
#include "vantrel/domain/TagToMaterialsEntity.hpp"
#include "vantrel/domain/TextEnumeration.hpp"
#include "vantrel/domain/UnsupportedAppVersionEntity.hpp"
#include "vantrel/domain/UserEntity.hpp"
#include "backend/JsonDocument.hpp"
#include "backend/QueryResults.hpp"
#include "vantrel/backend/ParseObject.hpp"

#include <cstdint>
#include <iterator>
#include <string>
#include <memory>
#include <optional>
#include <string_view>
#include <typeinfo>
#include <vector>

namespace {

constexpr int kMaximumDepth = 4;  // linked records may name each other in a ring

void visit(const vantrel::AnchorObjectConnectionEntity& e, int depth);
void visit(const vantrel::AppListItemEntity& e, int depth);
void visit(const vantrel::CatalogAwareEntity& e, int depth);
void visit(const vantrel::CatalogEntity& e, int depth);
void visit(const vantrel::CombinationItemEntity& e, int depth);
void visit(const vantrel::CombinationEntity& e, int depth);
void visit(const vantrel::CompanyEntity& e, int depth);
void visit(const vantrel::ComponentEntity& e, int depth);
void visit(const vantrel::FileSizeEntity& e, int depth);
void visit(const vantrel::ImagesFrameEntity& e, int depth);
void visit(const vantrel::ImagesFrame360Entity& e, int depth);
void visit(const vantrel::ImagesEntity& e, int depth);
void visit(const vantrel::MaterialEntity& e, int depth);
void visit(const vantrel::ModelFileAwareEntity& e, int depth);
void visit(const vantrel::ModelMeasuringUnitEntity& e, int depth);
void visit(const vantrel::NodeToTagEntity& e, int depth);
void visit(const vantrel::SceneEntity& e, int depth);
void visit(const vantrel::ScnMaterialPropertiesEntity& e, int depth);
void visit(const vantrel::ScnMaterialPropertyEntity& e, int depth);
void visit(const vantrel::SnappingAreaEntity& e, int depth);
void visit(const vantrel::TagToMaterialsEntity& e, int depth);
void visit(const vantrel::UnsupportedAppVersionEntity& e, int depth);
void visit(const vantrel::UserEntity& e, int depth);

template <class T>
void touch(const T&, int) {}

template <class T>
void touch(const std::shared_ptr<T>& value, int depth) {
    if constexpr (requires(const T& entity) { visit(entity, depth); }) {
        if (value && depth < kMaximumDepth) visit(*value, depth + 1);
    }
}

template <class T>
void touch(const std::vector<T>& values, int depth) {
    for (const auto& value : values) touch(value, depth);
}

template <class T>
void touch(const std::optional<T>& value, int depth) {
    if (value) touch(*value, depth);
}

template <class Record>
void touchRecord(const Record& record, int depth) {
    touch(record.id(), depth);
    touch(record._createdAt(), depth);
    touch(record._updatedAt(), depth);
    touch(record.hash(), depth);
}

void visit(const vantrel::AnchorObjectConnectionEntity& e, int depth) {
    touch(e.anchorObjectId(), depth);
    touch(e.offsetPosition(), depth);
    touch(e.offsetOrientation(), depth);
    touch(e.scale(), depth);
}

void visit(const vantrel::AppListItemEntity& e, int depth) {
    visit(static_cast<const vantrel::CatalogAwareEntity&>(e), depth);
    touch(e.parent(), depth);
    touch(e.component(), depth);
    touch(e.type(), depth);
    touch(e.label(), depth);
    touch(e.desc(), depth);
    touch(e.imagePath(), depth);
    touch(e.enabled(), depth);
    touch(e.showPreview(), depth);
    touch(e.textColor(), depth);
    touch(e.index(), depth);
    touch(e.automaticDownloadingVariances(), depth);
    touch(e.isOverlayImage(), depth);
    touch(e.isNavigationItem(), depth);
    touch(e.isMainProduct(), depth);
    touch(e.isImageExist(), depth);
    touch(e.cachedFileKeys(), depth);
}

void visit(const vantrel::CatalogAwareEntity& e, int depth) {
    touchRecord(e, depth);
    touch(e.catalog(), depth);
    touch(e.inDraftBy(), depth);
    touch(e.isInDraft(), depth);
    touch(e.cachedFileKeys(), depth);
}

void visit(const vantrel::CatalogEntity& e, int depth) {
    touchRecord(e, depth);
    touch(e.company(), depth);
}

void visit(const vantrel::CombinationItemEntity& e, int depth) {
    touch(e.tag(), depth);
    touch(e.materialId(), depth);
}

void visit(const vantrel::CombinationEntity& e, int depth) {
    touch(e.name(), depth);
    touch(e.combinationItems(), depth);
    touch(e.isCombinationItemsExist(), depth);
}

void visit(const vantrel::CompanyEntity& e, int depth) {
    touchRecord(e, depth);
    touch(e.name(), depth);
    touch(e.logoFilePath(), depth);
    touch(e.watermarkFilePath(), depth);
    touch(e.watermarkPosition(), depth);
    touch(e.watermarkWidthFactor(), depth);
    touch(e.watermarkAlpha(), depth);
    touch(e.watermarkPoweredbyPosition(), depth);
    touch(e.watermarkPoweredbyWidthFactor(), depth);
    touch(e.watermarkPoweredbyAlpha(), depth);
    touch(e.conceptAbility(), depth);
    touch(e.orderAbility(), depth);
    touch(e.liveChatAbility(), depth);
    touch(e.extraProductUrlParams(), depth);
}

void visit(const vantrel::ComponentEntity& e, int depth) {
    visit(static_cast<const vantrel::ModelFileAwareEntity&>(e), depth);
    touch(e.parent(), depth);
    touch(e.appName(), depth);
    touch(e.genericName(), depth);
    touch(e.productNumber(), depth);
    touch(e.price(), depth);
    touch(e.desc(), depth);
    touch(e.isFloating(), depth);
    touch(e.isNonFloating(), depth);
    touch(e.scnModelMeasuringUnit(), depth);
    touch(e.snappingAreas(), depth);
    touch(e.isSnappingAreasExist(), depth);
    touch(e.anchorObjectConnections(), depth);
    touch(e.isAnchorObjectConnectionsExist(), depth);
    touch(e.nodesToTags(), depth);
    touch(e.isNodesToTagsExist(), depth);
    touch(e.tagsToMaterials(), depth);
    touch(e.isTagsToMaterialsExist(), depth);
    touch(e.combinations(), depth);
    touch(e.isCombinationsExist(), depth);
    touch(e.productLink(), depth);
    touch(e.productLinkUrl(), depth);
    touch(e.images(), depth);
    touch(e.pricePrefix(), depth);
}

void visit(const vantrel::FileSizeEntity& e, int depth) {
    touch(e.filePath(), depth);
    touch(e.size(), depth);
}

void visit(const vantrel::ImagesFrameEntity& e, int depth) {
    touch(e.original(), depth);
    touch(e.small(), depth);
    touch(e.medium(), depth);
    touch(e.large(), depth);
}

void visit(const vantrel::ImagesFrame360Entity& e, int depth) {
    touch(e.original(), depth);
    touch(e.small(), depth);
    touch(e.medium(), depth);
    touch(e.large(), depth);
}

void visit(const vantrel::ImagesEntity& e, int depth) {
    touch(e.frame(), depth);
    touch(e.frame360(), depth);
}

void visit(const vantrel::MaterialEntity& e, int depth) {
    visit(static_cast<const vantrel::CatalogAwareEntity&>(e), depth);
    touch(e.name(), depth);
    touch(e.scnProperties(), depth);
    touch(e.textureFilePaths(), depth);
    touch(e.rgbHexCodes(), depth);
    touch(e.uiColors(), depth);
}

void visit(const vantrel::ModelFileAwareEntity& e, int depth) {
    visit(static_cast<const vantrel::CatalogAwareEntity&>(e), depth);
    touch(e.name(), depth);
    touch(e.thumbnailFilePath(), depth);
    touch(e.isThumbnailFileExist(), depth);
    touch(e.scnModelFilePath(), depth);
    touch(e.isScnModelFileExist(), depth);
    touch(e.isModelFileZip(), depth);
    touch(e.unzipDirectoryFileKey(), depth);
    touch(e.scnModelAssetFilePaths(), depth);
    touch(e.isScnModelAssetFilePathsExist(), depth);
    touch(e.fileSizes(), depth);
    touch(e.totalSize(), depth);
    touch(e.cachedFileKeys(), depth);
}

void visit(const vantrel::ModelMeasuringUnitEntity& e, int depth) {
    touchRecord(e, depth);
    touch(e.name(), depth);
    touch(e.factor(), depth);
}

void visit(const vantrel::NodeToTagEntity& e, int depth) {
    touch(e.nodeId(), depth);
    touch(e.nodeName(), depth);
    touch(e.tag(), depth);
}

void visit(const vantrel::SceneEntity& e, int depth) {
    visit(static_cast<const vantrel::CatalogAwareEntity&>(e), depth);
    touch(e.lightingEnvironment(), depth);
    touch(e.textureFilePaths(), depth);
    touch(e.rgbHexCodes(), depth);
    touch(e.uiColors(), depth);
}

void visit(const vantrel::ScnMaterialPropertiesEntity& e, int depth) {
    touch(e.shininess(), depth);
    touch(e.fresnelExponent(), depth);
    touch(e.locksAmbientWithDiffuse(), depth);
    touch(e.transparency(), depth);
    touch(e.transparencyMode(), depth);
    touch(e.blendMode(), depth);
    touch(e.lightingModel(), depth);
    touch(e.diffuse(), depth);
    touch(e.metalness(), depth);
    touch(e.roughness(), depth);
    touch(e.normal(), depth);
    touch(e.displacement(), depth);
    touch(e.selfIllumination(), depth);
    touch(e.ambientOcclusion(), depth);
    touch(e.ambient(), depth);
    touch(e.specular(), depth);
    touch(e.reflective(), depth);
    touch(e.multiply(), depth);
    touch(e.transparent(), depth);
}

void visit(const vantrel::ScnMaterialPropertyEntity& e, int depth) {
    touch(e.rgbHexCode(), depth);
    touch(e.textureFilePath(), depth);
    touch(e.intensity(), depth);
    touch(e.floatValue(), depth);
    touch(e.maxAnisotropy(), depth);
    touch(e.mappingChannel(), depth);
    touch(e.wrapS(), depth);
    touch(e.wrapT(), depth);
    touch(e.minificationFilter(), depth);
    touch(e.magnificationFilter(), depth);
    touch(e.mipFilter(), depth);
    touch(e.scaleX(), depth);
    touch(e.scaleY(), depth);
    touch(e.offsetX(), depth);
    touch(e.offsetY(), depth);
    touch(e.rotation(), depth);
}

void visit(const vantrel::SnappingAreaEntity& e, int depth) {
    touch(e.connectToComponentId(), depth);
    touch(e.offsetPosition(), depth);
    touch(e.offsetOrientation(), depth);
}

void visit(const vantrel::TagToMaterialsEntity& e, int depth) {
    touch(e.tag(), depth);
    touch(e.materialIds(), depth);
}

void visit(const vantrel::UnsupportedAppVersionEntity& e, int depth) {
    touchRecord(e, depth);
    touch(e.app(), depth);
    touch(e.version(), depth);
}

void visit(const vantrel::UserEntity& e, int depth) {
    touchRecord(e, depth);
    touch(e.fullName(), depth);
    touch(e.company(), depth);
    touch(e.emailVerified(), depth);
}

void visitObject(const std::shared_ptr<vantrel::ParseObject>& object) {
    if (!object) return;
    if (const auto* component = dynamic_cast<const vantrel::ComponentEntity*>(object.get())) visit(*component, 0);
    if (const auto* anchor = dynamic_cast<const vantrel::AnchorObjectEntity*>(object.get()))
        visit(static_cast<const vantrel::ModelFileAwareEntity&>(*anchor), 0);
    if (const auto* material = dynamic_cast<const vantrel::MaterialEntity*>(object.get())) visit(*material, 0);
    if (const auto* scene = dynamic_cast<const vantrel::SceneEntity*>(object.get())) visit(*scene, 0);
    if (const auto* item = dynamic_cast<const vantrel::AppListItemEntity*>(object.get())) visit(*item, 0);
    if (const auto* catalog = dynamic_cast<const vantrel::CatalogEntity*>(object.get())) visit(*catalog, 0);
    if (const auto* company = dynamic_cast<const vantrel::CompanyEntity*>(object.get())) visit(*company, 0);
    if (const auto* unit = dynamic_cast<const vantrel::ModelMeasuringUnitEntity*>(object.get())) visit(*unit, 0);
    if (const auto* version = dynamic_cast<const vantrel::UnsupportedAppVersionEntity*>(object.get()))
        visit(*version, 0);
    if (const auto* user = dynamic_cast<const vantrel::UserEntity*>(object.get())) visit(*user, 0);
    if (const auto* role = dynamic_cast<const vantrel::RoleEntity*>(object.get())) touchRecord(*role, 0);
    (void)object->toJSON().dump();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool registered = (vantrel::registerRecordClasses(), true);
    (void)registered;
    const auto json =
        vantrel::backend_detail::parseJsonDocument(std::string_view(reinterpret_cast<const char*>(data), size));
    if (json.is_discarded() || !json.is_object()) return 0;
    // A page of results names no class per object (the query names it): the class is chosen by the
    // input's length, so that every record class is reached.
    const std::string classes[] = {vantrel::ComponentEntity::parseClassName(),
                                   vantrel::MaterialEntity::parseClassName(),
                                   vantrel::SceneEntity::parseClassName(),
                                   vantrel::AppListItemEntity::parseClassName(),
                                   vantrel::AnchorObjectEntity::parseClassName(),
                                   vantrel::CatalogEntity::parseClassName(),
                                   vantrel::CompanyEntity::parseClassName(),
                                   vantrel::ModelMeasuringUnitEntity::parseClassName(),
                                   vantrel::UnsupportedAppVersionEntity::parseClassName(),
                                   "_User",
                                   "_Role"};
    const std::string& defaultClass = classes[size % std::size(classes)];
    if (const auto results = json.find("results"); results != json.end() && results->is_array()) {
        std::vector<std::shared_ptr<vantrel::ParseObject>> records;
        for (const auto& entry : *results) {
            if (entry.is_object()) {
                records.push_back(vantrel::ParseObject::fromJSON(entry, defaultClass));
                visitObject(records.back());
            }
        }
        // Decoded straight from the text (as queries do), the answer must give the same records.
        const auto text = std::string_view(reinterpret_cast<const char*>(data), size);
        if (const auto decoded = vantrel::backend_detail::decodeQueryResults(text, defaultClass)) {
            std::erase(records, nullptr);
            if (decoded->size() != records.size()) __builtin_trap();
            for (std::size_t i = 0; i < records.size(); ++i) {
                const auto& a = *(*decoded)[i];
                const auto& b = *records[i];
                if (typeid(a) != typeid(b) || a.objectId() != b.objectId() || a.createdAt() != b.createdAt() ||
                    a.updatedAt() != b.updatedAt() || a.toJSON().dump() != b.toJSON().dump())
                    __builtin_trap();
            }
        }
    } else {
        visitObject(vantrel::ParseObject::fromJSON(json, defaultClass));
    }
    return 0;
}
