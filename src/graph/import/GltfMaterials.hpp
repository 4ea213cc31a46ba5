#pragma once

// glTF materials as the scene graph takes them: the metallic-roughness core and the ratified
// material extensions (sheen, clear coat, transmission, volume, index of refraction, specular,
// emissive strength, unlit). Colour factors stay linear light; the material says so.

#include "graph/import/GltfTextures.hpp"

namespace vantrel::detail {

/// The material `json` describes, its textures taken from `textures` (already decoded).
ImportedMaterial gltfMaterial(const nlohmann::json& json, const GltfTextures& textures);

/// The material glTF prescribes for primitives that name none: white, fully metallic and rough.
ImportedMaterial gltfDefaultMaterial();

}  // namespace vantrel::detail
