#include "graph/import/GltfMaterials.hpp"

#include <algorithm>

namespace vantrel::detail {

namespace {

UIColor colorOf(const std::array<double, 3>& c) { return {c[0], c[1], c[2], 1.0}; }

double unit(double value) { return std::clamp(value, 0.0, 1.0); }

const nlohmann::json* extensionOf(const nlohmann::json& material, const char* name) {
    const auto* extensions = objectMember(material, "extensions");
    return extensions ? objectMember(*extensions, name) : nullptr;
}

ImportedLayer<double> numberLayer(const nlohmann::json& extension, const char* factor, double fallback,
                                  const char* texture, const GltfTextures& textures) {
    return {numberOr(extension, factor, fallback), textures.texture(member(extension, texture))};
}

}  // namespace

ImportedMaterial gltfDefaultMaterial() {
    ImportedMaterial material;
    material.physicallyBased = true;
    material.linearColors = true;
    material.metalness = 1.0;
    material.roughness = 1.0;
    return material;
}

ImportedMaterial gltfMaterial(const nlohmann::json& json, const GltfTextures& textures) {
    ImportedMaterial m = gltfDefaultMaterial();
    if (!json.is_object()) invalidGltf("A material is not an object");
    m.name = stringOr(json, "name");
    if (const auto* pbr = objectMember(json, "pbrMetallicRoughness")) {
        const auto base = numbersOr<4>(*pbr, "baseColorFactor", {1, 1, 1, 1});
        // The factor's alpha goes with the base colour (over a texture, as its tint), which the
        // renderer applies as opacity: `opacity` stays 1, or it would count twice.
        m.diffuse = UIColor(unit(base[0]), unit(base[1]), unit(base[2]), unit(base[3]));
        m.diffuseTexture = textures.texture(member(*pbr, "baseColorTexture"));
        m.metalness = unit(numberOr(*pbr, "metallicFactor", 1.0));
        m.roughness = unit(numberOr(*pbr, "roughnessFactor", 1.0));
        m.metallicRoughnessTexture = textures.texture(member(*pbr, "metallicRoughnessTexture"));
    }
    if (const auto* normal = objectMember(json, "normalTexture")) {
        m.normalTexture = textures.texture(normal);
        m.normalScale = numberOr(*normal, "scale", 1.0);
    }
    if (const auto* occlusion = objectMember(json, "occlusionTexture")) {
        m.occlusionTexture = textures.texture(occlusion);
        m.occlusionStrength = unit(numberOr(*occlusion, "strength", 1.0));
    }
    m.emission = colorOf(numbersOr<3>(json, "emissiveFactor", {0, 0, 0}));
    m.emissionTexture = textures.texture(member(json, "emissiveTexture"));
    const auto mode = stringOr(json, "alphaMode");
    m.alphaMode = mode == "MASK" ? ImportedAlphaMode::mask : mode == "BLEND" ? ImportedAlphaMode::blend
                                                                               : ImportedAlphaMode::opaque;
    m.alphaCutoff = std::max(0.0, numberOr(json, "alphaCutoff", 0.5));
    const auto* doubleSided = member(json, "doubleSided");
    m.doubleSided = doubleSided && doubleSided->is_boolean() && doubleSided->get<bool>();

    if (extensionOf(json, "KHR_materials_unlit")) m.unlit = true;
    if (const auto* e = extensionOf(json, "KHR_materials_emissive_strength"))
        m.emissiveStrength = std::max(0.0, numberOr(*e, "emissiveStrength", 1.0));
    if (const auto* e = extensionOf(json, "KHR_materials_clearcoat")) {
        m.clearcoat = numberLayer(*e, "clearcoatFactor", 0.0, "clearcoatTexture", textures);
        m.clearcoatRoughness = numberLayer(*e, "clearcoatRoughnessFactor", 0.0, "clearcoatRoughnessTexture", textures);
        m.clearcoatNormalTexture = textures.texture(member(*e, "clearcoatNormalTexture"));
    }
    if (const auto* e = extensionOf(json, "KHR_materials_sheen")) {
        m.sheenColor = ImportedLayer<UIColor>{colorOf(numbersOr<3>(*e, "sheenColorFactor", {0, 0, 0})),
                                              textures.texture(member(*e, "sheenColorTexture"))};
        m.sheenRoughness = numberLayer(*e, "sheenRoughnessFactor", 0.0, "sheenRoughnessTexture", textures);
    }
    if (const auto* e = extensionOf(json, "KHR_materials_transmission"))
        m.transmission = numberLayer(*e, "transmissionFactor", 0.0, "transmissionTexture", textures);
    if (const auto* e = extensionOf(json, "KHR_materials_volume")) {
        m.thickness = numberLayer(*e, "thicknessFactor", 0.0, "thicknessTexture", textures);
        m.attenuationDistance = numberOr(*e, "attenuationDistance", 0.0);
        m.attenuationColor = colorOf(numbersOr<3>(*e, "attenuationColor", {1, 1, 1}));
    }
    if (const auto* e = extensionOf(json, "KHR_materials_ior")) m.ior = numberOr(*e, "ior", 1.5);
    if (const auto* e = extensionOf(json, "KHR_materials_specular")) {
        m.specularFactor = numberLayer(*e, "specularFactor", 1.0, "specularTexture", textures);
        m.specularColor = ImportedLayer<UIColor>{colorOf(numbersOr<3>(*e, "specularColorFactor", {1, 1, 1})),
                                                 textures.texture(member(*e, "specularColorTexture"))};
    }
    return m;
}

}  // namespace vantrel::detail
