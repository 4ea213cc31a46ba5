// Material records and their embedded descriptions.

#include "domain/ValueReading.hpp"
#include "vantrel/domain/MaterialEntity.hpp"
#include "vantrel/domain/ScnMaterialEnumerations.hpp"
#include "vantrel/domain/ScnMaterialPropertiesEntity.hpp"
#include "vantrel/domain/ScnMaterialPropertyEntity.hpp"

namespace vantrel {

using namespace domain_detail;

// ---- one property -------------------------------------------------------------------------------

std::optional<std::string> ScnMaterialPropertyEntity::rgbHexCode() const {
    return readPresentText(value("rgbHexCode"));
}
std::optional<std::string> ScnMaterialPropertyEntity::textureFilePath() const {
    return readPresentText(value("textureFilePath"));
}
float ScnMaterialPropertyEntity::intensity() const { return readFloat(value("intensity"), 1.0f); }
float ScnMaterialPropertyEntity::floatValue() const { return readFloat(value("floatValue"), 1.0f); }
float ScnMaterialPropertyEntity::maxAnisotropy() const { return readFloat(value("maxAnisotropy"), 1.0f); }
std::int64_t ScnMaterialPropertyEntity::mappingChannel() const { return readInteger(value("mappingChannel"), 0); }
SCNWrapMode ScnMaterialPropertyEntity::wrapS() const {
    return readExactEnumeration(value("wrapS"), SCNWrapMode::clamp);
}
SCNWrapMode ScnMaterialPropertyEntity::wrapT() const {
    return readExactEnumeration(value("wrapT"), SCNWrapMode::clamp);
}
SCNFilterMode ScnMaterialPropertyEntity::minificationFilter() const {
    return readExactEnumeration(value("minificationFilter"), SCNFilterMode::linear);
}
SCNFilterMode ScnMaterialPropertyEntity::magnificationFilter() const {
    return readExactEnumeration(value("magnificationFilter"), SCNFilterMode::linear);
}
SCNFilterMode ScnMaterialPropertyEntity::mipFilter() const {
    return readExactEnumeration(value("mipFilter"), SCNFilterMode::nearest);
}
float ScnMaterialPropertyEntity::scaleX() const { return readFloat(value("scaleX"), 1.0f); }
float ScnMaterialPropertyEntity::scaleY() const { return readFloat(value("scaleY"), 1.0f); }
float ScnMaterialPropertyEntity::offsetX() const { return readFloat(value("offsetX"), 0.0f); }
float ScnMaterialPropertyEntity::offsetY() const { return readFloat(value("offsetY"), 0.0f); }
float ScnMaterialPropertyEntity::rotation() const { return readFloat(value("rotation"), 0.0f); }

// ---- the description ----------------------------------------------------------------------------

CGFloat ScnMaterialPropertiesEntity::shininess() const { return readDouble(value("shininess"), 1.0); }
CGFloat ScnMaterialPropertiesEntity::fresnelExponent() const { return readDouble(value("fresnelExponent"), 0.0); }
bool ScnMaterialPropertiesEntity::locksAmbientWithDiffuse() const {
    return readBool(value("locksAmbientWithDiffuse"), true);
}
CGFloat ScnMaterialPropertiesEntity::transparency() const { return readDouble(value("transparency"), 1.0); }
SCNTransparencyMode ScnMaterialPropertiesEntity::transparencyMode() const {
    return readExactEnumeration(value("transparencyMode"), SCNTransparencyMode::aOne);
}
SCNBlendMode ScnMaterialPropertiesEntity::blendMode() const {
    return readExactEnumeration(value("blendMode"), SCNBlendMode::alpha);
}
SCNLightingModel ScnMaterialPropertiesEntity::lightingModel() const {
    return readExactEnumeration(value("lightingModel"), SCNLightingModel::blinn);
}
std::shared_ptr<ScnMaterialPropertyEntity> ScnMaterialPropertiesEntity::property(const std::string& name) const {
    return readEmbedded<ScnMaterialPropertyEntity>(value(name));
}

// ---- the record ---------------------------------------------------------------------------------

MaterialEntity::MaterialEntity() : CatalogAwareEntity(parseClassName()) {}

std::string MaterialEntity::name() const { return readTrimmedText(value("name")); }

std::shared_ptr<ScnMaterialPropertiesEntity> MaterialEntity::scnProperties() const {
    return readEmbedded<ScnMaterialPropertiesEntity>(value("scnProperties"));
}

std::map<std::string, std::string> MaterialEntity::textureFilePaths() const {
    std::map<std::string, std::string> paths;
    const auto properties = scnProperties();
    if (!properties) return paths;
    for (const auto name : ScnMaterialPropertiesEntity::propertyNames) {
        const std::string key(name);
        if (const auto property = properties->property(key))
            if (auto path = property->textureFilePath()) paths.emplace(key, std::move(*path));
    }
    return paths;
}

std::map<std::string, std::string> MaterialEntity::rgbHexCodes() const {
    std::map<std::string, std::string> codes;
    const auto properties = scnProperties();
    if (!properties) return codes;
    for (const auto name : ScnMaterialPropertiesEntity::propertyNames) {
        const std::string key(name);
        if (const auto property = properties->property(key))
            if (auto code = property->rgbHexCode()) codes.emplace(key, std::move(*code));
    }
    return codes;
}

std::map<std::string, UIColor> MaterialEntity::uiColors() const {
    std::map<std::string, UIColor> colors;
    for (const auto& [name, code] : rgbHexCodes()) colors.emplace(name, UIColor::fromHexRgbString(code));
    return colors;
}

}  // namespace vantrel
