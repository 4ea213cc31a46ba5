// The embedded records of a component: combinations, tags, file sizes and pictures.

#include "domain/ValueReading.hpp"
#include "vantrel/domain/CombinationEntity.hpp"
#include "vantrel/domain/FileSizeEntity.hpp"
#include "vantrel/domain/ImagesEntity.hpp"
#include "vantrel/domain/NodeToTagEntity.hpp"
#include "vantrel/domain/TagToMaterialsEntity.hpp"

namespace vantrel {

using namespace domain_detail;

std::string CombinationItemEntity::tag() const { return readTextOrEmpty(value("tag")); }
std::string CombinationItemEntity::materialId() const { return readTextOrEmpty(value("materialId")); }

std::string CombinationEntity::name() const { return readTextOrEmpty(value("name")); }
std::vector<std::shared_ptr<CombinationItemEntity>> CombinationEntity::combinationItems() const {
    return readEmbeddedList<CombinationItemEntity>(value("combinationItems"));
}
bool CombinationEntity::isCombinationItemsExist() const { return !combinationItems().empty(); }

std::optional<std::string> NodeToTagEntity::nodeId() const { return readText(value("nodeId")); }
std::string NodeToTagEntity::nodeName() const { return readTextOrEmpty(value("nodeName")); }
std::string NodeToTagEntity::tag() const { return readTextOrEmpty(value("tag")); }

std::string TagToMaterialsEntity::tag() const { return readTextOrEmpty(value("tag")); }
std::vector<std::string> TagToMaterialsEntity::materialIds() const { return readTextList(value("materialIds")); }

std::string FileSizeEntity::filePath() const { return readTextOrEmpty(value("filePath")); }
std::int64_t FileSizeEntity::size() const { return readInteger(value("size"), 0); }

// ---- pictures ------------------------------------------------------------------------------------

void ImagesFrameEntity::store(const std::string& key, const std::optional<std::string>& fileKey) {
    if (fileKey)
        dictionary[key] = ParseValue(*fileKey);
    else
        dictionary.erase(key);
}

std::optional<std::string> ImagesFrameEntity::original() const { return readPresentText(value("original")); }
void ImagesFrameEntity::setOriginal(const std::optional<std::string>& key) { store("original", key); }
std::optional<std::string> ImagesFrameEntity::small() const { return readPresentText(value("small")); }
void ImagesFrameEntity::setSmall(const std::optional<std::string>& key) { store("small", key); }
std::optional<std::string> ImagesFrameEntity::medium() const { return readPresentText(value("medium")); }
void ImagesFrameEntity::setMedium(const std::optional<std::string>& key) { store("medium", key); }
std::optional<std::string> ImagesFrameEntity::large() const { return readPresentText(value("large")); }
void ImagesFrameEntity::setLarge(const std::optional<std::string>& key) { store("large", key); }

std::vector<std::string> ImagesFrame360Entity::original() const { return readTextList(value("original")); }
void ImagesFrame360Entity::setOriginal(const std::vector<std::string>& keys) {
    dictionary["original"] = textListValue(keys);
}
std::vector<std::string> ImagesFrame360Entity::small() const { return readTextList(value("small")); }
void ImagesFrame360Entity::setSmall(const std::vector<std::string>& keys) { dictionary["small"] = textListValue(keys); }
std::vector<std::string> ImagesFrame360Entity::medium() const { return readTextList(value("medium")); }
void ImagesFrame360Entity::setMedium(const std::vector<std::string>& keys) {
    dictionary["medium"] = textListValue(keys);
}
std::vector<std::string> ImagesFrame360Entity::large() const { return readTextList(value("large")); }
void ImagesFrame360Entity::setLarge(const std::vector<std::string>& keys) { dictionary["large"] = textListValue(keys); }

std::shared_ptr<ImagesFrameEntity> ImagesEntity::frame() const {
    if (auto frame = readEmbedded<ImagesFrameEntity>(value("frame"))) return frame;
    return std::make_shared<ImagesFrameEntity>();
}

void ImagesEntity::setFrame(const std::shared_ptr<ImagesFrameEntity>& frame) {
    dictionary["frame"] = ParseValue(frame ? frame->dictionary : Dictionary());
}

std::shared_ptr<ImagesFrame360Entity> ImagesEntity::frame360() const {
    if (auto frame360 = readEmbedded<ImagesFrame360Entity>(value("frame360"))) return frame360;
    return std::make_shared<ImagesFrame360Entity>();
}

void ImagesEntity::setFrame360(const std::shared_ptr<ImagesFrame360Entity>& frame360) {
    dictionary["frame360"] = ParseValue(frame360 ? frame360->dictionary : Dictionary());
}

}  // namespace vantrel
