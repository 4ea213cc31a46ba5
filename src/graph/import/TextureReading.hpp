#pragma once

#include "vantrel/graph/SCNSceneSource.hpp"
#include "vantrel/graph/UIImage.hpp"

#include <filesystem>
#include <map>
#include <memory>
#include <span>
#include <string>

namespace vantrel::detail {

/// `text` with its "%XX" escapes turned into the bytes they stand for (URIs in model files).
std::string percentDecoded(const std::string& text);

/// A texture the model file embeds: encoded bytes (PNG, JPEG...) or raw RGBA texels.
struct EmbeddedTexture {
    std::span<const std::uint8_t> encoded;
    int width = 0;
    int height = 0;
    std::span<const std::uint8_t> rgba;
};

/// Finds and decodes the textures of one import: embedded ones ("*N", compressed or raw texels) and
/// external files beside the model (or in the option's asset directories), never outside the asset
/// root. Each texture is decoded once however many materials use it. Runs on the reading thread.
class TextureReader {
public:
    TextureReader(std::filesystem::path modelFile, const SCNSceneSourceOptions& options);

    /// The decoded image that `reference` (a material's texture path) names, with what the file
    /// embeds under that name (or nullptr); nullptr when it cannot be found, leaves the asset root
    /// or does not decode. A file beside the model wins over an embedded texture of its name;
    /// "*N" names only an embedded one.
    std::shared_ptr<UIImage> image(const std::string& reference, const EmbeddedTexture* embedded);

private:
    static std::shared_ptr<UIImage> decodeEmbedded(const EmbeddedTexture& texture);
    std::shared_ptr<UIImage> external(const std::string& reference);

    std::filesystem::path directory_;
    std::filesystem::path root_;
    std::vector<std::filesystem::path> searchDirectories_;
    std::map<std::string, std::shared_ptr<UIImage>> decoded_;
};

}  // namespace vantrel::detail
