#pragma once

// What selects a variant of the scene program: the feature bits of a draw, and the material
// properties the program knows. Private to the renderer.

#include <array>
#include <cstdint>
#include <string>

#include <glm/vec4.hpp>

#include "render/RenderContextImpl.hpp"
#include "vantrel/graph/SCNMaterial.hpp"

namespace vantrel::detail {

/// The feature bits of one variant of the scene program.
using FeatureBits = std::uint64_t;

// Bits 0–2 are the lighting model, bits 3–12 announce the maps of the classic property slots (slot i:
// bit 3 + i); the layers' slots announce theirs from kLayerMapShift (see slotMapBit).
constexpr FeatureBits kEnvColor = 1ull << 13;
constexpr FeatureBits kEnvMap = 1ull << 14;
constexpr FeatureBits kFloorReflection = 1ull << 15;
constexpr FeatureBits kClipPlane = 1ull << 16;
constexpr int kLightCountShift = 17;  // four bits: the number of lights, 0 to 8
constexpr FeatureBits kLightSpots = 1ull << 21;
constexpr FeatureBits kLightAttenuation = 1ull << 22;
constexpr FeatureBits kAlphaCutoff = 1ull << 23;
constexpr FeatureBits kSpecularTerm = 1ull << 24;
// Layers of physically based materials.
constexpr FeatureBits kSheen = 1ull << 25;
constexpr FeatureBits kClearcoat = 1ull << 26;
constexpr FeatureBits kTransmission = 1ull << 27;
constexpr FeatureBits kVolume = 1ull << 28;
// Shadows: the item receives the key light's shadow map; or draws only the shadow it receives.
constexpr FeatureBits kShadowMap = 1ull << 29;
constexpr FeatureBits kShadowOnly = 1ull << 30;
constexpr int kToneMappingShift = 31;  // two bits: the view's tone mapping (0 none, 1 neutral, 2 ACES)
// Bits 33–47: maps of the material layers' own properties (layer slot i: bit 33 + i). The shared
// models use three: clear coat strength, transmission and thickness; the layers' other properties
// (sheen colour and roughness, clear coat roughness and normal, specular strength and colour) are
// drawn with their factor alone.
constexpr int kLayerMapShift = 33;
constexpr GLint kEnvUnit = 20;
constexpr GLint kReflectionUnit = 21;
constexpr GLint kBrdfLutUnit = 22;
constexpr GLint kTransmissionUnit = 23;
constexpr GLint kShadowUnit = 24;

/// A material property the scene program knows: its uniform names, colour space and the value an
/// empty property stands for. Slot i's texture is bound to unit i.
struct PropertySlot {
    const SCNMaterialProperty& (SCNMaterial::*get)() const noexcept;
    const char* color;
    const char* map;
    const char* transform;
    const char* channel;
    const char* intensity;
    const char* tint;
    bool srgb;
    glm::vec4 empty;
};

constexpr std::size_t kClassicSlotCount = 10;
constexpr std::size_t kSlotCount = kClassicSlotCount + 3;  // then clear coat, transmission, thickness
constexpr std::size_t kNormalSlot = 1;
constexpr std::size_t kSpecularSlot = 5;
static_assert(kSlotCount <= static_cast<std::size_t>(kEnvUnit));

/// The feature bit that announces a map in slot `slot`.
[[nodiscard]] constexpr FeatureBits slotMapBit(std::size_t slot) {
    return slot < kClassicSlotCount ? 1ull << (3 + slot) : 1ull << (kLayerMapShift + (slot - kClassicSlotCount));
}

/// The slots in unit order.
extern const std::array<PropertySlot, kSlotCount> kSlots;

/// A colour in linear light (sRGB decoded), alpha as it is.
[[nodiscard]] glm::vec4 linearColor(const UIColor& color);
/// A property's colour or tint in linear light: decoded from sRGB unless the property marks its
/// colours as linear already.
[[nodiscard]] glm::vec4 linearColor(const UIColor& color, const SCNMaterialProperty& property);

/// What a material asks of the scene program, the same in every pass of a frame: the feature bits
/// that do not depend on the pass or the lights, and the uploaded map of each slot (or nullptr).
struct MaterialKey {
    FeatureBits features = 0;
    std::array<GpuTexture*, kSlotCount> maps{};
};

/// The key of `material` in a frame whose environment sets `environmentBits` (kEnvColor, kEnvMap or
/// none); uploads the material's images on first use.
[[nodiscard]] MaterialKey materialKey(const SCNMaterial& material, FeatureBits environmentBits,
                                      RenderContext::Impl& context);

/// The `#define` lines that select the program of `features` (LIGHTING_MODEL, HAS_<SLOT>_MAP, ...).
[[nodiscard]] std::string featureDefines(FeatureBits features);

/// Whether a material's lights only add diffuse light (Lambert, or Blinn and Phong without
/// highlights): then the light a directional source gives depends on the normal alone.
[[nodiscard]] bool diffuseOnly(const SCNMaterial& material, FeatureBits features);

}  // namespace vantrel::detail
