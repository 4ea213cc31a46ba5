#include "vantrel/domain/SceneEntity.hpp"

#include "domain/ValueReading.hpp"

namespace vantrel {

using namespace domain_detail;

SceneEntity::SceneEntity() : CatalogAwareEntity(parseClassName()) {}

std::shared_ptr<ScnMaterialPropertyEntity> SceneEntity::lightingEnvironment() const {
    return readEmbedded<ScnMaterialPropertyEntity>(value(lightingEnvironmentKey));
}

void SceneEntity::setLightingEnvironment(const std::shared_ptr<ScnMaterialPropertyEntity>& environment) {
    set(lightingEnvironmentKey, environment ? ParseValue(environment->dictionary) : ParseValue::null());
}

std::map<std::string, std::string> SceneEntity::textureFilePaths() const {
    std::map<std::string, std::string> paths;
    if (const auto environment = lightingEnvironment())
        if (auto path = environment->textureFilePath()) paths.emplace(lightingEnvironmentKey, std::move(*path));
    return paths;
}

std::map<std::string, std::string> SceneEntity::rgbHexCodes() const {
    std::map<std::string, std::string> codes;
    if (const auto environment = lightingEnvironment())
        if (auto code = environment->rgbHexCode()) codes.emplace(lightingEnvironmentKey, std::move(*code));
    return codes;
}

std::map<std::string, UIColor> SceneEntity::uiColors() const {
    std::map<std::string, UIColor> colors;
    for (const auto& [name, code] : rgbHexCodes()) colors.emplace(name, UIColor::fromHexRgbString(code));
    return colors;
}

}  // namespace vantrel
