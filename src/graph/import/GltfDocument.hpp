#pragma once

// A glTF file opened for reading: its JSON (from a .gltf file or a GLB's JSON chunk) and its binary
// data, loaded only when asked for and only within the budgets of the options.

#include "graph/import/GltfJson.hpp"

#include <filesystem>
#include <map>
#include <span>
#include <vector>

namespace vantrel::detail {

/// One model file being read. Everything the file declares about sizes is checked against the file
/// itself and the options' budgets before memory is taken: the GLB's chunk lengths against the file
/// size, buffers against their files, views against their buffers, data URIs against their bound.
/// Buffers come only from inside the model's folder. Used on the reading thread only.
class GltfDocument {
public:
    /// Opens `file`: reads the JSON and the GLB's binary chunk and checks `extensionsRequired`.
    GltfDocument(const std::filesystem::path& file, const SCNSceneSourceOptions& options, GltfProgress& progress);

    /// The JSON document (an object).
    [[nodiscard]] const nlohmann::json& json() const noexcept { return json_; }
    /// The options of the read.
    [[nodiscard]] const SCNSceneSourceOptions& options() const noexcept { return options_; }
    /// The status of the read.
    [[nodiscard]] GltfProgress& progress() const noexcept { return progress_; }
    /// True when the file uses `extension` (listed in `extensionsUsed`).
    [[nodiscard]] bool uses(const std::string& extension) const;

    /// The bytes of buffer `index`, loaded on first use.
    std::span<const std::uint8_t> buffer(std::size_t index);
    /// The bytes of buffer view `index` (decompressed first when the view is meshopt-compressed).
    std::span<const std::uint8_t> bufferView(std::size_t index);
    /// The byte stride a buffer view declares, 0 when it declares none.
    std::size_t bufferViewStride(std::size_t index);
    /// The encoded bytes of image `index`: a file beside the model (or in the asset directories),
    /// a data URI or a buffer view. Empty when they cannot be had; a file outside the asset root is
    /// refused the same way, with a warning, as a missing texture always was.
    std::vector<std::uint8_t> imageBytes(std::size_t index);

    /// Takes `bytes` from the budget of binary data, failing with `limitExceeded` beyond it.
    void takeBytes(std::uint64_t bytes, const char* what);

private:
    std::vector<std::uint8_t> readConfined(const std::string& uri, std::uint64_t expected, bool isBuffer);
    std::vector<std::uint8_t> decodeDataUri(const std::string& uri);

    const SCNSceneSourceOptions& options_;
    GltfProgress& progress_;
    nlohmann::json json_;
    std::filesystem::path directory_;
    std::filesystem::path assetRoot_;
    std::vector<std::uint8_t> glbBinary_;
    bool isGlb_ = false;
    std::map<std::size_t, std::vector<std::uint8_t>> buffers_;
    std::map<std::size_t, std::vector<std::uint8_t>> decodedViews_;
    std::uint64_t bytesTaken_ = 0;
};

/// True when `path` (absolute, without "." or "..") lies below `root`.
bool isBelowDirectory(const std::filesystem::path& path, const std::filesystem::path& root);

}  // namespace vantrel::detail
