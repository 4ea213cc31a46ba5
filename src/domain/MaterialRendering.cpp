// Material and scene records turned into rendering materials and properties.

#include "domain/TextureCollection.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/domain/MaterialEntity.hpp"
#include "vantrel/domain/SceneEntity.hpp"
#include "vantrel/graph/SCNMatrix4.hpp"

#include <utility>
#include <vector>

namespace vantrel {

using namespace domain_detail;

namespace {

using PropertyRecords = std::vector<std::pair<std::string, std::shared_ptr<ScnMaterialPropertyEntity>>>;

TextureFailureLog materialFailureLog(std::string materialName) {
    return [materialName = std::move(materialName)](const std::string& propertyName, const Error& error) {
        VLOG_ERROR("Unable to obtain '" + propertyName + "' texture of '" + materialName +
                   "' material due error: " + error.description());
    };
}

TextureFailureLog sceneFailureLog() {
    return [](const std::string& propertyName, const Error& error) {
        VLOG_ERROR("Unable to obtain '" + propertyName + "' texture of scene due error: " + error.description());
    };
}

// Texture coordinates are moved, then scaled, then turned about the texture's normal.
SCNMatrix4 contentsTransformOf(const ScnMaterialPropertyEntity& record) {
    const SCNMatrix4 translation = SCNMatrix4MakeTranslation(record.offsetX(), record.offsetY(), 0);
    const SCNMatrix4 scale = SCNMatrix4MakeScale(record.scaleX(), record.scaleY(), 1);
    const SCNMatrix4 rotation = SCNMatrix4MakeRotation(record.rotation(), 0, 0, 1);
    return SCNMatrix4Mult(SCNMatrix4Mult(translation, scale), rotation);
}

// Metalness and roughness are plain numbers; every other property is sampled, and shows its
// texture, or its colour, or keeps what it had.
void applyProperty(SCNMaterialProperty& property, const std::string& name, const ScnMaterialPropertyEntity& record,
                   const DecodedTextures& textures, const std::map<std::string, UIColor>& colors) {
    if (name == "metalness" || name == "roughness") {
        property.setContents(static_cast<double>(record.floatValue()));
        return;
    }
    applySamplingSettings(property, record);
    if (const auto texture = textures.find(name); texture != textures.end()) {
        setTextureContents(property, texture->second);
        property.setContentsTransform(contentsTransformOf(record));
    } else if (const auto color = colors.find(name); color != colors.end()) {
        property.setContents(color->second);
    }
}

}  // namespace

// ---- materials ----------------------------------------------------------------------------------

void MaterialEntity::getScnMaterial(ScnMaterialBlock block) const {
    const auto properties = scnProperties();
    if (!properties) {
        if (block) block(nullptr);
        return;
    }
    auto material = SCNMaterial::make();
    material->setShininess(properties->shininess());
    material->setFresnelExponent(properties->fresnelExponent());
    material->setLocksAmbientWithDiffuse(properties->locksAmbientWithDiffuse());
    material->setTransparency(properties->transparency());
    material->setTransparencyMode(properties->transparencyMode());
    material->setBlendMode(properties->blendMode());
    material->setLightingModel(properties->lightingModel());

    PropertyRecords records;
    for (const auto name : ScnMaterialPropertiesEntity::propertyNames) {
        std::string key(name);
        if (auto record = properties->property(key)) records.emplace_back(std::move(key), std::move(record));
    }
    collectTextureDatas(
        textureFilePaths(), materialFailureLog(name()),
        [material, records = std::move(records), colors = uiColors(), block = std::move(block)](TextureDatas datas) {
            const auto textures = decodeTextures(datas);
            for (const auto& [name, record] : records)
                if (auto* property = material->propertyNamed(name))
                    applyProperty(*property, name, *record, textures, colors);
            if (block) block(material);
        });
}

void MaterialEntity::getTextureFileDatas(TextureDatasBlock block) const {
    collectTextureDatas(textureFilePaths(), materialFailureLog(name()), std::move(block));
}

void MaterialEntity::getTextureImages(TextureImagesBlock block) const {
    collectTextureDatas(textureFilePaths(), materialFailureLog(name()),
                        [block = std::move(block)](TextureDatas datas) { block(decodeTextureImages(datas)); });
}

void MaterialEntity::getPaletteImage(PaletteImageBlock block) const {
    collectTextureDatas(textureFilePaths(), materialFailureLog(name()),
                        [colors = uiColors(), block = std::move(block)](TextureDatas datas) {
                            block(paletteImageOf(decodeTextureImages(datas), colors, "diffuse"));
                        });
}

// ---- scenes -------------------------------------------------------------------------------------

void SceneEntity::getScnLightingEnvironment(LightingEnvironmentBlock block) const {
    SCNMaterialProperty environment;
    const auto record = lightingEnvironment();
    if (!record) {
        if (block) block(std::move(environment));
        return;
    }
    applySamplingSettings(environment, *record);
    collectTextureDatas(textureFilePaths(), sceneFailureLog(),
                        [environment = std::move(environment), colors = uiColors(),
                         block = std::move(block)](TextureDatas datas) mutable {
                            const auto textures = decodeTextures(datas);
                            if (const auto texture = textures.find(lightingEnvironmentKey); texture != textures.end()) {
                                setTextureContents(environment, texture->second);
                            } else if (const auto color = colors.find(lightingEnvironmentKey); color != colors.end()) {
                                environment.setContents(color->second);
                            }
                            if (block) block(std::move(environment));
                        });
}

void SceneEntity::getTextureDatas(TextureDatasBlock block) const {
    collectTextureDatas(textureFilePaths(), sceneFailureLog(), std::move(block));
}

void SceneEntity::getTextureImages(TextureImagesBlock block) const {
    collectTextureDatas(textureFilePaths(), sceneFailureLog(),
                        [block = std::move(block)](TextureDatas datas) { block(decodeTextureImages(datas)); });
}

void SceneEntity::getPaletteImage(PaletteImageBlock block) const {
    collectTextureDatas(textureFilePaths(), sceneFailureLog(),
                        [colors = uiColors(), block = std::move(block)](TextureDatas datas) {
                            block(paletteImageOf(decodeTextureImages(datas), colors, lightingEnvironmentKey));
                        });
}

}  // namespace vantrel
