#include "vantrel/domain/AppListItemEntity.hpp"

#include "domain/RecordFiles.hpp"
#include "domain/ValueReading.hpp"
#include "vantrel/domain/ComponentEntity.hpp"
#include "vantrel/graph/TextPresence.hpp"

#include <cmath>
#include <cstdio>

namespace vantrel {

using namespace domain_detail;

namespace {

// "#RRGGBB", the form the text colour reads back; components are clamped to 0…1 and rounded.
std::string hexRgbText(const UIColor& color) {
    const auto byte = [](double component) {
        if (!(component > 0.0)) return 0L;  // also NaN
        return component >= 1.0 ? 255L : std::lround(component * 255.0);
    };
    char text[8];
    std::snprintf(text, sizeof text, "#%02lX%02lX%02lX", byte(color.red()), byte(color.green()), byte(color.blue()));
    return text;
}

}  // namespace

AppListItemEntity::AppListItemEntity() : CatalogAwareEntity(parseClassName()) {}

std::shared_ptr<AppListItemEntity> AppListItemEntity::spawn(const AppListItemEntity& item) {
    auto copy = std::make_shared<AppListItemEntity>();
    copy->setType(item.type());
    copy->setLabel(item.label());
    copy->setDesc(item.desc());
    copy->setImagePath(item.imagePath());
    copy->setEnabled(item.enabled());
    copy->setShowPreview(item.showPreview());
    copy->setTextColor(item.textColor());
    copy->setIndex(item.index());
    copy->setComponent(item.component());
    return copy;
}

std::shared_ptr<AppListItemEntity> AppListItemEntity::parent() const {
    return value("parent").asObject<AppListItemEntity>();
}

void AppListItemEntity::setParent(const std::shared_ptr<AppListItemEntity>& parent) {
    set("parent", ParseValue(parent));
}

std::shared_ptr<ComponentEntity> AppListItemEntity::component() const {
    return value("component").asObject<ComponentEntity>();
}

void AppListItemEntity::setComponent(const std::shared_ptr<ComponentEntity>& component) {
    set("component", ParseValue(component));
}

AppListItemType AppListItemEntity::type() const {
    return readTextEnumeration(value("type"), AppListItemType::mainProduct);
}

void AppListItemEntity::setType(AppListItemType type) { set("type", std::string(rawValue(type))); }

std::string AppListItemEntity::label() const {
    if (isMainProduct()) {
        const auto linked = component();
        return linked ? linked->genericName() : std::string();
    }
    return readTrimmedText(value("label"));
}

void AppListItemEntity::setLabel(const std::string& label) { set("label", label); }

std::string AppListItemEntity::desc() const {
    if (isMainProduct()) {
        const auto linked = component();
        return linked ? linked->desc() : std::string();
    }
    return readTrimmedText(value("description"));
}

void AppListItemEntity::setDesc(const std::string& desc) { set("description", desc); }

std::optional<std::string> AppListItemEntity::imagePath() const {
    if (isMainProduct()) {
        const auto linked = component();
        return linked ? linked->thumbnailFilePath() : std::nullopt;
    }
    return readPresentText(value("imagePath"));
}

void AppListItemEntity::setImagePath(const std::optional<std::string>& path) { set("imagePath", textOrNull(path)); }

bool AppListItemEntity::enabled() const { return readBool(value("enabled"), true); }
void AppListItemEntity::setEnabled(bool enabled) { set("enabled", enabled); }

bool AppListItemEntity::showPreview() const { return readBool(value("showPreview"), true); }
void AppListItemEntity::setShowPreview(bool showPreview) { set("showPreview", showPreview); }

std::optional<UIColor> AppListItemEntity::textColor() const {
    const auto text = readPresentText(value("textColor"));
    if (!text) return std::nullopt;
    return UIColor::fromHexRgbString(*text);
}

void AppListItemEntity::setTextColor(const std::optional<UIColor>& color) {
    set("textColor", color ? ParseValue(hexRgbText(*color)) : ParseValue::null());
}

std::int64_t AppListItemEntity::index() const { return readInteger(value("index"), 0); }
void AppListItemEntity::setIndex(std::int64_t index) { set("index", index); }

bool AppListItemEntity::automaticDownloadingVariances() const {
    return readBool(value("automaticDownloadingVariances"), false);
}
void AppListItemEntity::setAutomaticDownloadingVariances(bool automatic) {
    set("automaticDownloadingVariances", automatic);
}

bool AppListItemEntity::isOverlayImage() const { return type() == AppListItemType::overlayImage; }
bool AppListItemEntity::isNavigationItem() const { return type() == AppListItemType::navigationItem; }
bool AppListItemEntity::isMainProduct() const { return type() == AppListItemType::mainProduct; }

bool AppListItemEntity::isImageExist() const { return isNotBlank(imagePath()); }

void AppListItemEntity::obtainImageData(ImageDataBlock block) const {
    obtainRecordFileData(imagePath(), std::move(block));
}

std::vector<std::string> AppListItemEntity::cachedFileKeys() const {
    if (isMainProduct()) return {};
    if (auto path = imagePath()) return {std::move(*path)};
    return {};
}

}  // namespace vantrel
