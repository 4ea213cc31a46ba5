#pragma once

// The manifest of an unpacked model archive (metadata.json): which file is the scene and which
// files it needs. The archive comes from outside, so the manifest is untrusted input.

#include <string>
#include <string_view>
#include <vector>

#include "vantrel/core/Expected.hpp"

namespace vantrel::detail {

/// What a manifest names, as paths relative to the archive's directory.
struct ModelManifest {
    /// The scene file.
    std::string model;
    /// The files the scene needs; empty when the manifest lists none or lists any that is not a
    /// plain relative path.
    std::vector<std::string> assets;
};

/// Reads the text of a manifest ({"model": "scene.gltf", "assets": ["a.bin", ...]}). `manifestKey`
/// names it in errors: the JSON error when the text is not JSON, the missing-model error when
/// "model" is absent or not text, and the JSON error again when it leaves the archive's directory
/// (absolute, "..", NUL).
[[nodiscard]] Expected<ModelManifest> parseModelManifest(std::string_view text, const std::string& manifestKey);

}  // namespace vantrel::detail
