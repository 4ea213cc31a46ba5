#pragma once

// What selects a variant of the scene program: the feature bits of a draw, and the material
// properties the program knows. Private to the renderer.

#include <array>
#include <cstdint>

#include <glm/vec4.hpp>

#include "render/RenderContextImpl.hpp"
#include "vantrel/graph/SCNMaterial.hpp"

namespace vantrel::detail {

// Bits 0–2 are the lighting model, bits 3–12 announce the maps of the property slots (slot i: bit 3 + i).
constexpr std::uint32_t kEnvColor = 1u << 13;
constexpr std::uint32_t kEnvMap = 1u << 14;
constexpr std::uint32_t kFloorReflection = 1u << 15;
constexpr std::uint32_t kClipPlane = 1u << 16;
constexpr int kLightCountShift = 17;  // four bits: the number of lights, 0 to 8
constexpr std::uint32_t kLightSpots = 1u << 21;
constexpr std::uint32_t kLightAttenuation = 1u << 22;
constexpr std::uint32_t kAlphaCutoff = 1u << 23;
constexpr std::uint32_t kSpecularTerm = 1u << 24;
constexpr GLint kEnvUnit = 10;
constexpr GLint kReflectionUnit = 11;

/// A material property the scene program knows: its uniform names, colour space and the value an
/// empty property stands for. Slot i's texture is bound to unit i.
struct PropertySlot {
    const SCNMaterialProperty& (SCNMaterial::*get)() const noexcept;
    const char* color;
    const char* map;
    const char* transform;
    const char* channel;
    const char* intensity;
    bool srgb;
    glm::vec4 empty;
};

constexpr std::size_t kSlotCount = 10;
constexpr std::size_t kNormalSlot = 1;
constexpr std::size_t kSpecularSlot = 5;
static_assert(kSlotCount <= static_cast<std::size_t>(kEnvUnit));

/// The slots in unit order.
extern const std::array<PropertySlot, kSlotCount> kSlots;

/// A colour in linear light (sRGB decoded), alpha as it is.
[[nodiscard]] glm::vec4 linearColor(const UIColor& color);

/// What a material asks of the scene program, the same in every pass of a frame: the feature bits
/// that do not depend on the pass or the lights, and the uploaded map of each slot (or nullptr).
struct MaterialKey {
    std::uint32_t features = 0;
    std::array<GpuTexture*, kSlotCount> maps{};
};

/// The key of `material` in a frame whose environment sets `environmentBits` (kEnvColor, kEnvMap or
/// none); uploads the material's images on first use.
[[nodiscard]] MaterialKey materialKey(const SCNMaterial& material, std::uint32_t environmentBits,
                                      RenderContext::Impl& context);

/// Whether a material's lights only add diffuse light (Lambert, or Blinn and Phong without
/// highlights): then the light a directional source gives depends on the normal alone.
[[nodiscard]] bool diffuseOnly(const SCNMaterial& material, std::uint32_t features);

}  // namespace vantrel::detail
