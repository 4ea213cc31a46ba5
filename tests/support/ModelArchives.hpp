#pragma once

// Catalogue model files for tests: seed-tool file entries that put the shared test models on the
// reference backend, as zipped archives (manifest + model + assets) or as a plain model with loose
// assets; and a byte-level zip writer for archives that no honest tool would make.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/TestPaths.hpp"

namespace vantrel::test {

/// The model file of a shared model folder: its .glb or .gltf.
std::filesystem::path modelFileOf(const std::string& folder);
/// The files of a model folder that the model needs besides itself (no licence texts), sorted.
std::vector<std::string> assetNamesOf(const std::string& folder);

/// A seed-tool file entry: a zip archive under `key` holding the model of `folder` and its assets
/// at the archive's root, with a "metadata.json" naming them. `manifest` replaces that manifest.
nlohmann::json modelArchiveFile(const std::string& key, const std::string& folder,
                                const std::optional<nlohmann::json>& manifest = std::nullopt);
/// The manifest `modelArchiveFile` writes for `folder`.
nlohmann::json manifestOf(const std::string& folder);

/// Seed-tool file entries for a plain model: the model under `prefix`/<model file> and each asset
/// under `prefix`/<asset>. `assetKeys` receives the asset keys in order.
std::vector<nlohmann::json> looseModelFiles(const std::string& prefix, const std::string& folder,
                                            std::vector<std::string>* assetKeys = nullptr);

/// One entry of a hand-made zip archive.
struct RawZipEntry {
    std::string name;
    /// The entry's data as stored (already deflated when `method` is 8).
    std::vector<std::uint8_t> stored;
    /// 0 stored, 8 deflated.
    std::uint16_t method = 0;
    /// Uncompressed size the headers declare; the stored size when absent (method 0).
    std::optional<std::uint64_t> declaredSize;
    /// CRC-32 the headers declare; computed from `stored` when absent (method 0).
    std::optional<std::uint32_t> crc;
    /// Unix mode (type and permissions) in the external attributes.
    std::uint32_t unixMode = 0100644;
};

/// A stored (uncompressed) entry holding `text`.
RawZipEntry storedEntry(std::string name, const std::string& text, std::uint32_t unixMode = 0100644);
/// Writes a zip archive of `entries` to `path`, byte by byte, exactly as described.
void writeRawZip(const std::filesystem::path& path, const std::vector<RawZipEntry>& entries);
/// A raw deflate stream that inflates to `bytes` zero bytes (fixed Huffman codes: a literal, then
/// matches of 258), without ever holding the inflated data.
std::vector<std::uint8_t> deflatedZeros(std::uint64_t bytes);
/// CRC-32 of `data`, as zip archives store it.
std::uint32_t crc32Of(const std::vector<std::uint8_t>& data);

}  // namespace vantrel::test
