#include "render/SceneFeatures.hpp"

#include <cmath>
#include <iterator>
#include <utility>

#include "vantrel/graph/UIColor.hpp"

namespace vantrel::detail {
namespace {

float linear(double c) {
    const float v = static_cast<float>(c);
    return v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f);
}

std::uint32_t lightingModelBits(SCNLightingModel model) {
    switch (model) {
        case SCNLightingModel::constant: return 0;
        case SCNLightingModel::lambert: return 1;
        case SCNLightingModel::blinn: return 2;
        case SCNLightingModel::phong: return 3;
        case SCNLightingModel::physicallyBased: return 4;
        case SCNLightingModel::shadowOnly: return 0;
    }
    return 2;
}

// Whether Blinn or Phong highlights can show: a black specular colour adds nothing, so its programs
// leave the highlight out.
bool hasSpecularTerm(const SCNMaterial& material, bool specularMap) {
    const auto model = material.lightingModel();
    if (model != SCNLightingModel::blinn && model != SCNLightingModel::phong) {
        return false;
    }
    if (specularMap) {
        return true;
    }
    const SCNMaterialProperty& specular = material.specular();
    const auto color = specular.contentsColor();
    const auto number = specular.contentsNumber();
    const bool black =
        color ? color->red() == 0.0 && color->green() == 0.0 && color->blue() == 0.0 : !number || *number == 0.0;
    return !black && specular.intensity() != 0.0;
}

// Whether a layer's property adds anything: an image with a strength, or a number or colour above 0.
bool layerOn(const SCNMaterialProperty& property) {
    if (property.intensity() <= 0.0) {
        return false;
    }
    if (property.contentsImage()) {
        return true;
    }
    if (const auto number = property.contentsNumber()) {
        return *number > 0.0;
    }
    if (const auto color = property.contentsColor()) {
        return color->red() > 0.0 || color->green() > 0.0 || color->blue() > 0.0;
    }
    return false;
}

// The layers a physically based material draws.
FeatureBits layerBits(const SCNMaterial& material) {
    FeatureBits bits = 0;
    bits |= layerOn(material.sheen()) ? kSheen : 0u;
    bits |= layerOn(material.clearCoat()) ? kClearcoat : 0u;
    if (layerOn(material.transmission())) {
        bits |= kTransmission;
        bits |= layerOn(material.thickness()) ? kVolume : 0u;
    }
    return bits;
}

}  // namespace

#define VANTREL_SLOT(name, srgb, empty)                                                                         \
    {                                                                                                           \
        &SCNMaterial::name, "u_" #name "Color", "u_" #name "Map", "u_" #name "Transform", "u_" #name "Channel", \
            "u_" #name "Intensity", "u_" #name "Tint", srgb, empty                                              \
    }

const std::array<PropertySlot, kSlotCount> kSlots = {{
    VANTREL_SLOT(diffuse, true, glm::vec4(1.0f)),
    VANTREL_SLOT(normal, false, glm::vec4(0.5f, 0.5f, 1.0f, 1.0f)),
    VANTREL_SLOT(metalness, false, glm::vec4(0.0f, 0.0f, 0.0f, 1.0f)),
    VANTREL_SLOT(roughness, false, glm::vec4(0.5f, 0.5f, 0.5f, 1.0f)),
    VANTREL_SLOT(ambientOcclusion, false, glm::vec4(1.0f)),
    VANTREL_SLOT(specular, true, glm::vec4(0.0f, 0.0f, 0.0f, 1.0f)),
    VANTREL_SLOT(emission, true, glm::vec4(0.0f, 0.0f, 0.0f, 1.0f)),
    VANTREL_SLOT(selfIllumination, true, glm::vec4(0.0f, 0.0f, 0.0f, 1.0f)),
    VANTREL_SLOT(transparent, false, glm::vec4(1.0f)),
    VANTREL_SLOT(multiply, true, glm::vec4(1.0f)),
    VANTREL_SLOT(clearCoat, false, glm::vec4(0.0f, 0.0f, 0.0f, 1.0f)),
    VANTREL_SLOT(transmission, false, glm::vec4(0.0f, 0.0f, 0.0f, 1.0f)),
    VANTREL_SLOT(thickness, false, glm::vec4(0.0f, 0.0f, 0.0f, 1.0f)),
}};
#undef VANTREL_SLOT

glm::vec4 linearColor(const UIColor& color) {
    return {linear(color.red()), linear(color.green()), linear(color.blue()), static_cast<float>(color.alpha())};
}

glm::vec4 linearColor(const UIColor& color, const SCNMaterialProperty& property) {
    if (property.colorContentsSpace() == SCNColorSpace::linear) {
        return {static_cast<float>(color.red()), static_cast<float>(color.green()), static_cast<float>(color.blue()),
                static_cast<float>(color.alpha())};
    }
    return linearColor(color);
}

MaterialKey materialKey(const SCNMaterial& material, FeatureBits environmentBits, RenderContext::Impl& context) {
    MaterialKey key;
    key.features = lightingModelBits(material.lightingModel());
    // The layers' maps are read by physically based programs only.
    const bool physicallyBased = material.lightingModel() == SCNLightingModel::physicallyBased;
    for (std::size_t i = 0; i < (physicallyBased ? kSlotCount : kClassicSlotCount); ++i) {
        const SCNMaterialProperty& property = (material.*kSlots[i].get)();
        if (const auto image = property.contentsImage()) {
            key.maps[i] = context.texture(image, property.colorSpace() == SCNColorSpace::sRGB);
            if (key.maps[i] != nullptr) {
                key.features |= slotMapBit(i);
            }
        }
    }
    if (physicallyBased) {
        key.features |= environmentBits | layerBits(material);
    }
    if (material.alphaMode() == SCNAlphaMode::mask) {
        key.features |= kAlphaCutoff;
    }
    if (hasSpecularTerm(material, key.maps[kSpecularSlot] != nullptr)) {
        key.features |= kSpecularTerm;
    }
    return key;
}

std::string featureDefines(FeatureBits features) {
    static constexpr const char* kMapDefines[] = {
        "HAS_DIFFUSE_MAP",          "HAS_NORMAL_MAP",   "HAS_METALNESS_MAP", "HAS_ROUGHNESS_MAP",
        "HAS_AMBIENTOCCLUSION_MAP", "HAS_SPECULAR_MAP", "HAS_EMISSION_MAP",  "HAS_SELFILLUMINATION_MAP",
        "HAS_TRANSPARENT_MAP",      "HAS_MULTIPLY_MAP", "HAS_CLEARCOAT_MAP", "HAS_TRANSMISSION_MAP",
        "HAS_THICKNESS_MAP"};
    static_assert(std::size(kMapDefines) == kSlotCount);
    static constexpr std::pair<FeatureBits, const char*> kFlags[] = {
        {kEnvColor, "ENV_COLOR"},       {kEnvMap, "ENV_MAP"},
        {kFloorReflection, "FLOOR_REFLECTION"}, {kClipPlane, "CLIP_PLANE"},
        {kLightSpots, "LIGHT_SPOTS"},   {kLightAttenuation, "LIGHT_ATTENUATION"},
        {kAlphaCutoff, "ALPHA_CUTOFF"}, {kSpecularTerm, "SPECULAR_TERM"},
        {kSheen, "SHEEN"},              {kClearcoat, "CLEARCOAT"},
        {kTransmission, "TRANSMISSION"}, {kVolume, "VOLUME"},
        {kShadowMap, "SHADOW_MAP"},     {kShadowOnly, "SHADOW_ONLY"},
    };
    std::string defines = "#define LIGHTING_MODEL " + std::to_string(features & 7u) + "\n";
    for (std::size_t i = 0; i < kSlotCount; ++i) {
        if (features & slotMapBit(i)) {
            defines += std::string("#define ") + kMapDefines[i] + "\n";
        }
    }
    for (const auto& [bit, name] : kFlags) {
        if (features & bit) {
            defines += std::string("#define ") + name + "\n";
        }
    }
    defines += "#define LIGHT_COUNT " + std::to_string((features >> kLightCountShift) & 15u) + "\n";
    defines += "#define TONE_MAPPING " + std::to_string((features >> kToneMappingShift) & 3u) + "\n";
    return defines;
}

bool diffuseOnly(const SCNMaterial& material, FeatureBits features) {
    switch (material.lightingModel()) {
        case SCNLightingModel::lambert: return true;
        case SCNLightingModel::blinn:
        case SCNLightingModel::phong: return (features & kSpecularTerm) == 0;
        default: return false;
    }
}

}  // namespace vantrel::detail
