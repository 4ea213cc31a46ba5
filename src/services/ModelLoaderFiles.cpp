// The file side of a model load: archive, unpacking, manifest, assets, scene file, and the scene
// read off the main thread and put together on it.

#include "services/ModelLoaderSteps.hpp"

#include "services/ModelManifest.hpp"

#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/domain/ModelFileAwareEntity.hpp"
#include "vantrel/files/DownloadingService.hpp"
#include "vantrel/files/ProgressCombiner.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNScene.hpp"
#include "vantrel/graph/SCNSceneSource.hpp"
#include "vantrel/services/ModelMeasuringUnitService.hpp"

#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_io.hpp>
#include <nlohmann/json.hpp>

#include <fstream>

namespace vantrel::detail {

namespace {

using SceneBlock = ModelLoaderService::SceneBlock;

/// A manifest larger than this is no manifest.
constexpr std::uintmax_t kMaxManifestBytes = 1 << 20;

DownloadingService& files() { return DownloadingService::sharedInstance(); }

/// Reports (`done`, 1.0), then delivers the error.
void failAfterDone(const ProgressBlock& progress, const SceneBlock& block, Error error) {
    if (progress) progress(ProgressStatus::done, 1.0);
    block(nullptr, std::move(error));
}

/// The measuring unit's factor: 1.0 for an empty identifier or a unit that is not there; answers on
/// the main queue.
void lookUpFactor(const std::string& unitId, std::function<void(double factor, OptionalError error)> done) {
    if (unitId.empty()) return done(1.0, std::nullopt);
    ModelMeasuringUnitService::sharedInstance().obtainModelMeasuringUnitById(
        unitId, [done = std::move(done)](std::shared_ptr<ModelMeasuringUnitEntity> unit, OptionalError error) {
            dispatchMain([done, unit = std::move(unit), error = std::move(error)] {
                if (error) return done(1.0, error);
                done(unit ? unit->factor() : 1.0, std::nullopt);
            });
        });
}

/// Reads `file` on a background queue and builds its scene on the main queue. Progress:
/// (`processing`, 0) now, (`processing`, p) as reading goes, (`done`, 1.0) when it returns.
void readScene(const std::filesystem::path& file, double factor, SceneBlock block, ProgressBlock progress) {
    if (progress) progress(ProgressStatus::processing, 0.0);
    SCNSceneSourceOptions options;
    options.convertToYUp = true;
    options.convertUnitsToMeters = factor;
    options.assetRootDirectory = files().localCacheHome();  // textures only from inside the cache
    auto source = SCNSceneSource::make(file, options);
    DispatchQueue::global().async([source, block = std::move(block), progress = std::move(progress)] {
        auto last = std::make_shared<double>(0.0);  // (processing, 0) is reported already
        auto prepared =
            source->read([progress, last](double p, SCNSceneSourceStatus status, const OptionalError&, bool&) {
                if (!progress || status == SCNSceneSourceStatus::error || p <= *last) return;
                *last = p;
                dispatchMain([progress, p] { progress(ProgressStatus::processing, p); });
            });
        dispatchMain([source, block, progress, prepared = std::move(prepared)] {
            if (!prepared) {
                VLOG_WARNING("Unable to read '" + source->url().string() +
                             "' due error: " + prepared.error().description());
                if (progress) progress(ProgressStatus::done, 1.0);
                return block(nullptr, prepared.error());
            }
            auto scene = SCNSceneSource::makeScene(*prepared);
            if (progress) progress(ProgressStatus::done, 1.0);
            block(std::move(scene), std::nullopt);
        });
    });
}

void readManifest(const ModelFileSource& source, SceneBlock block, ProgressBlock progress) {
    const std::string directory = *source.unzipDirectoryFileKey;
    const std::string manifestKey = directory + "/metadata.json";
    if (!files().isExistsInLocalCache(manifestKey)) {
        return failAfterDone(progress, block, TextError("Unable to load 3D model due metadata.json not found."));
    }
    const auto path = *files().getLocallyCachedFileUrl(manifestKey);
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxManifestBytes) {
        return failAfterDone(progress, block,
                             Error("NSCocoaErrorDomain", 256, "Unable to read '" + path.string() + "'"));
    }
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto manifest = parseModelManifest(text, manifestKey);
    if (!manifest) return failAfterDone(progress, block, manifest.error());
    std::vector<std::string> assets;
    for (const auto& asset : manifest->assets) assets.push_back(directory + "/" + asset);
    loadModelScene(directory + "/" + manifest->model, assets, source.measuringUnitId, std::move(block),
                   std::move(progress));
}

void loadArchiveModel(const ModelFileSource& source, const ZipArchiveLimits& limits, SceneBlock block,
                      ProgressBlock progress) {
    const std::string archiveKey = *source.modelFileKey;
    auto slots = ProgressCombiner::make(3, std::move(progress));  // archive, unpacking, scene
    const auto fail = [slots, block](Error error) {
        slots->done();
        block(nullptr, std::move(error));
    };
    slots->report(0, ProgressStatus::downloading, 0.0);
    files().obtainFileFromLocalCache(
        archiveKey, true,
        [source, limits, archiveKey, slots, block, fail](std::optional<std::filesystem::path> archive,
                                                         OptionalError error) {
            slots->finishStep(0);
            if (error) return fail(*error);
            if (!archive) {
                return fail(TextError("Unable to get locally cached zipFileUrl of downloaded '" + archiveKey +
                                      "' due returned zipFileUrl is nil"));
            }
            const auto destination = files().getLocallyCachedFileUrl(*source.unzipDirectoryFileKey);
            if (!destination) return fail(TextError("downloadingService_error_invalid_file_key"));
            // Unpacking is slow work for a large archive: off the main queue, progress back onto it.
            DispatchQueue::global().async(
                [source, limits, archive = *archive, destination = *destination, slots, block, fail] {
                    auto unpacked = ZipArchive::unzipFile(
                        archive, destination, false,
                        [slots](double fraction) {
                            dispatchMain([slots, fraction] { slots->report(1, ProgressStatus::loading, fraction); });
                        },
                        limits);
                    dispatchMain([source, slots, block, fail, unpacked = std::move(unpacked)] {
                        if (unpacked) return fail(*unpacked);
                        slots->finishStep(1);
                        readManifest(
                            source,
                            [slots, block](std::shared_ptr<SCNScene> scene, OptionalError sceneError) {
                                slots->done();
                                block(std::move(scene), std::move(sceneError));
                            },
                            slots->blockForStep(2));
                    });
                });
        },
        slots->blockForStep(0));
}

}  // namespace

std::string newModelIdentifier() { return boost::uuids::to_string(boost::uuids::random_generator()()); }

ModelFileSource modelFileSourceOf(const ModelFileAwareEntity& entity, std::string measuringUnitId,
                                  Error missingModelError) {
    return {entity.scnModelFilePath(), entity.unzipDirectoryFileKey(), entity.scnModelAssetFilePaths(),
            std::move(measuringUnitId), std::move(missingModelError)};
}

void loadModelScene(const std::string& modelFileKey, const std::vector<std::string>& assetKeys,
                    const std::string& unitId, SceneBlock block, ProgressBlock progress) {
    auto slots = ProgressCombiner::make(3, std::move(progress));  // assets, model file, scene
    const auto fail = [slots, block](Error error) {
        slots->done();
        block(nullptr, std::move(error));
    };
    slots->report(0, ProgressStatus::loading, 0.0);

    auto modelFile = [modelFileKey, unitId, slots, block, fail] {
        files().obtainFileFromLocalCache(
            modelFileKey, true,
            [modelFileKey, unitId, slots, block, fail](std::optional<std::filesystem::path> file, OptionalError error) {
                slots->finishStep(1);
                if (error) return fail(*error);
                if (!file) return fail(TextError("modelLoaderService_error_obtained_data_nil", {modelFileKey}));
                lookUpFactor(
                    unitId, [file = *file, modelFileKey, slots, block, fail](double factor, OptionalError unitError) {
                        if (unitError) return fail(*unitError);
                        readScene(
                            file, factor,
                            [modelFileKey, slots, block, fail](std::shared_ptr<SCNScene> scene, OptionalError) {
                                if (!scene)
                                    return fail(TextError("modelLoaderService_error_unable_to_construct_scene",
                                                          {modelFileKey}));
                                slots->done();
                                block(std::move(scene), std::nullopt);
                            },
                            slots->blockForStep(2));
                    });
            },
            slots->blockForStep(1));
    };

    if (assetKeys.empty()) {
        slots->finishStep(0);
        return modelFile();
    }
    files().obtainFilesFromLocalCache(
        assetKeys,
        [assetKeys, slots, modelFile](std::map<std::string, FileResult> results) {
            for (const auto& key : assetKeys) {
                const auto& result = results[key];
                if (result.error || !result.data) {
                    VLOG_WARNING("Unable to obtain 3D model asset '" + key + "' due error: " +
                                 (result.error ? result.error->description() : std::string("no file")));
                }
            }
            slots->finishStep(0);
            modelFile();
        },
        slots->blockForStep(0));
}

void loadMainModel(const ModelFileSource& source, const ZipArchiveLimits& limits, SceneBlock block,
                   ProgressBlock progress) {
    if (!source.modelFileKey) return failAfterDone(progress, block, source.missingModelError);
    const std::string& key = *source.modelFileKey;
    if (!(key.size() >= 4 && key.compare(key.size() - 4, 4, ".zip") == 0)) {
        return loadModelScene(key, source.assetFileKeys, source.measuringUnitId, std::move(block), std::move(progress));
    }
    if (!source.unzipDirectoryFileKey) {
        return failAfterDone(progress, block, TextError("Internal error: Unable to detect unzip directory."));
    }
    // An unpacked directory exists only once complete (see ZipArchive), so it is taken as it is.
    if (files().isExistsInLocalCache(*source.unzipDirectoryFileKey))
        return readManifest(source, std::move(block), std::move(progress));
    loadArchiveModel(source, limits, std::move(block), std::move(progress));
}

void cleanScene(const SCNScene& scene) {
    const auto& root = scene.rootNode();
    const auto topLevel = root->childNodes();
    for (const auto& node : topLevel) {
        if (node->camera()) node->removeFromParentNode();
    }
    const auto remaining = root->childNodes();
    for (const auto& node : remaining) {
        if (node->light()) node->removeFromParentNode();
    }
    for (const auto& node : root->childNodesPassingTest([](const SCNNode&, bool&) { return true; })) {
        if (node->geometry()) node->geometry()->setTessellator(nullptr);
    }
}

}  // namespace vantrel::detail
