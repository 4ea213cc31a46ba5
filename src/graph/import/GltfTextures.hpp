#pragma once

// The textures of a glTF file: which images the materials use, their sizes read from the image
// headers before anything is decoded, scaled down as a set to fit the texture budget, decoded once
// each, and handed to materials with their samplers and coordinate transforms.

#include "graph/import/GltfDocument.hpp"
#include "graph/import/ImportedScene.hpp"

#include <map>
#include <optional>

namespace vantrel::detail {

/// Width and height an encoded PNG, JPEG or WebP image declares in its header; nullopt for
/// anything else. Reads the header only.
std::optional<std::pair<int, int>> gltfImageHeaderSize(std::span<const std::uint8_t> bytes);

/// Decodes the images of one glTF file. Used on the reading thread only.
class GltfTextures {
public:
    explicit GltfTextures(GltfDocument& document) : document_(document) {}

    /// Decodes every image the materials name, reporting progress from `from` to `to`. An image that
    /// is missing or does not decode leaves its textures out (with a warning), as a missing file does.
    void decodeUsed(double from, double to);

    /// The texture a material's texture info names, with its sampler and transform; nullopt when the
    /// info is missing or its image could not be had.
    std::optional<ImportedTexture> texture(const nlohmann::json* textureInfo) const;

private:
    std::optional<std::size_t> imageOf(std::size_t texture) const;

    GltfDocument& document_;
    std::map<std::size_t, std::shared_ptr<UIImage>> images_;
};

}  // namespace vantrel::detail
