#pragma once

#include "vantrel/graph/SCNSceneSource.hpp"
#include "vantrel/graph/UIImage.hpp"

#include <filesystem>
#include <map>
#include <memory>
#include <string>

struct aiScene;

namespace vantrel::detail {

/// Finds and decodes the textures of one import: embedded ones ("*N", compressed or raw texels) and
/// external files beside the model (or in the option's asset directories), never outside the asset
/// root. Each texture is decoded once however many materials use it. Runs on the reading thread.
class TextureReader {
public:
    TextureReader(std::filesystem::path modelFile, const SCNSceneSourceOptions& options);

    /// The decoded image that `reference` (a material's texture path) names; nullptr when it cannot
    /// be found, leaves the asset root or does not decode.
    std::shared_ptr<UIImage> image(const aiScene& scene, const std::string& reference);

private:
    std::shared_ptr<UIImage> embedded(const aiScene& scene, const std::string& reference);
    std::shared_ptr<UIImage> external(const std::string& reference);

    std::filesystem::path directory_;
    std::filesystem::path root_;
    std::vector<std::filesystem::path> searchDirectories_;
    std::map<std::string, std::shared_ptr<UIImage>> decoded_;
};

}  // namespace vantrel::detail
