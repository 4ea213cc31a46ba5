#pragma once

// The steps of a model load that components and anchor objects share: the main model (archive or
// scene file), the manifest of an unpacked archive, and the clean-up of a read scene.

#include "vantrel/core/Error.hpp"
#include "vantrel/files/ProgressStatus.hpp"
#include "vantrel/files/ZipArchive.hpp"
#include "vantrel/services/ModelLoaderService.hpp"

#include <optional>
#include <string>
#include <vector>

namespace vantrel {
class ModelFileAwareEntity;
}

namespace vantrel::detail {

/// The model-file fields of a component or an anchor object, as the loader reads them.
struct ModelFileSource {
    std::optional<std::string> modelFileKey;
    std::optional<std::string> unzipDirectoryFileKey;
    std::vector<std::string> assetFileKeys;
    std::string measuringUnitId;
    /// What a source without model file fails with.
    Error missingModelError;
};

/// The fields of `entity` with the given unit and missing-model error.
ModelFileSource modelFileSourceOf(const ModelFileAwareEntity& entity, std::string measuringUnitId,
                                  Error missingModelError);

/// Loads the scene of `source`: the scene file with its loose assets, or the archive (fetched and
/// unpacked once) and its manifest. Every failure is preceded by (`done`, 1.0).
void loadMainModel(const ModelFileSource& source, const ZipArchiveLimits& limits, ModelLoaderService::SceneBlock block,
                   ProgressBlock progress);

/// Fetches the assets (a failed one is logged and skipped) and the scene file, looks up the unit's
/// factor and reads the scene: three equal thirds of progress.
void loadModelScene(const std::string& modelFileKey, const std::vector<std::string>& assetKeys,
                    const std::string& unitId, ModelLoaderService::SceneBlock block, ProgressBlock progress);

/// Removes the top-level nodes that carry a camera, then those that carry a light, and clears the
/// tessellator of every geometry in the scene.
void cleanScene(const SCNScene& scene);

/// A new UUID string.
std::string newModelIdentifier();

}  // namespace vantrel::detail
