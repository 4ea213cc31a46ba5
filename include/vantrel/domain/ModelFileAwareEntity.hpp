#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/CatalogAwareEntity.hpp"
#include "vantrel/domain/FileSizeEntity.hpp"
#include "vantrel/files/DownloadingService.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

/// The part that components and anchor objects share: a name, a thumbnail and a 3D model file
/// (often a zip archive) with its asset files and their sizes.
class ModelFileAwareEntity : public CatalogAwareEntity {
public:
    /// Receives a file's bytes or the file cache's error; neither when there is no file.
    using FileDataBlock = DownloadingService::DataBlock;

    /// "name", trimmed; empty when absent.
    [[nodiscard]] std::string name() const;

    /// The thumbnail's file key, "thumbnailFilePath", trimmed; none when absent or blank.
    [[nodiscard]] std::optional<std::string> thumbnailFilePath() const;
    /// True when there is a thumbnail.
    [[nodiscard]] bool isThumbnailFileExist() const;
    /// Fetches the thumbnail's bytes through the file cache, downloading when needed, and hands
    /// on its answer unchanged. Without a thumbnail the block runs at once with neither bytes nor
    /// error.
    void getThumbnailFileData(FileDataBlock block) const;

    /// The model file's key, "scnModelFilePath", trimmed; none when absent or blank.
    [[nodiscard]] std::optional<std::string> scnModelFilePath() const;
    /// True when there is a model file.
    [[nodiscard]] bool isScnModelFileExist() const;
    /// True when the model file's key ends with ".zip" (exactly: ".ZIP" is no archive).
    [[nodiscard]] bool isModelFileZip() const;
    /// Where the archive is unpacked in the file cache: the model key followed by ".extracted";
    /// none when the model is not an archive.
    [[nodiscard]] std::optional<std::string> unzipDirectoryFileKey() const;
    /// The keys of the model's further files (textures...), "scnModelAssetFilePaths", as stored.
    [[nodiscard]] std::vector<std::string> scnModelAssetFilePaths() const;
    /// True when the model has asset files.
    [[nodiscard]] bool isScnModelAssetFilePathsExist() const;

    /// The sizes of the model's files, "fileSizes".
    [[nodiscard]] std::vector<std::shared_ptr<FileSizeEntity>> fileSizes() const;
    /// Bytes to download for the model: the listed sizes of the model file and of each asset
    /// file (unlisted files count 0, the thumbnail does not count); 0 without a model file.
    [[nodiscard]] std::int64_t totalSize() const;

    /// In order: the thumbnail, the model file, its unpacked directory, then every asset file.
    [[nodiscard]] std::vector<std::string> cachedFileKeys() const override;

protected:
    using CatalogAwareEntity::CatalogAwareEntity;
};

}  // namespace vantrel

#pragma GCC visibility pop
