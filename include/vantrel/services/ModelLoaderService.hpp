#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/core/Error.hpp"
#include "vantrel/domain/AnchorObjectEntity.hpp"
#include "vantrel/domain/ComponentEntity.hpp"
#include "vantrel/files/ProgressStatus.hpp"
#include "vantrel/files/ZipArchive.hpp"
#include "vantrel/scene/AnchorObjectModelNode.hpp"
#include "vantrel/scene/ModelNode.hpp"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

class SCNScene;

/// One component's answer in the plural form.
struct ModelResult {
    std::shared_ptr<ModelNode> model;
    OptionalError error;
};

/// Turns component records into ready model nodes: fetches the model (a zip archive with its
/// "metadata.json" manifest, or a scene file with loose assets) into the file cache, unpacks an
/// archive once into "<model key>.extracted", reads the scene scaled to meters by the component's
/// measuring unit, drops top-level cameras and lights and every tessellator, wraps the rest in a
/// `ModelNode` and attaches the models of the component's anchor objects.
///
/// Threads: call from the main thread. The slow work runs on background queues (unpacking, reading
/// and decoding the scene file, preparing hit tests); the scene is put together on the main queue,
/// and every progress report and every final block runs on the main queue, in order. A load whose
/// files are all cached still answers later on the main queue, never inside the call.
///
/// Archives are untrusted: see `ZipArchive` for what is refused. An unpacked directory exists only
/// once complete, so a later load can trust it.
class ModelLoaderService {
public:
    using ModelBlock = std::function<void(std::shared_ptr<ModelNode> model, OptionalError error)>;
    using ModelsBlock = std::function<void(std::map<std::string, ModelResult> results)>;
    using SceneBlock = std::function<void(std::shared_ptr<SCNScene> scene, OptionalError error)>;
    using AnchorObjectModelBlock =
        std::function<void(std::shared_ptr<AnchorObjectModelNode> model, OptionalError error)>;

    /// The process-wide instance.
    static ModelLoaderService& sharedInstance();

    /// Loads the model of `component` as a `ModelNode` whose id is `withModelId` (a new UUID string
    /// when absent). Progress: the main model, then the anchor objects, as two equal halves.
    void loadModelBy(const std::shared_ptr<ComponentEntity>& component, std::optional<std::string> withModelId,
                     ModelBlock block, ProgressBlock progressBlock = {});
    /// Loads the models of `components` one after another, each with a new model id; the results are
    /// keyed by the components' object ids (a component without one is left out).
    void loadModelsBy(const std::vector<std::shared_ptr<ComponentEntity>>& components, ModelsBlock block,
                      ProgressBlock progressBlock = {});
    /// Loads the model of `anchorObject` alone, at scale 1.0 and cleaned as a component's, as an
    /// `AnchorObjectModelNode` with a new UUID id and the record's object id, not yet placed
    /// anywhere. A record without object id fails with "Invalid anchorObject - no identifier found.";
    /// one without model file with "Model file url of '<name>' anchor object is nil.".
    void loadAnchorObjectModel(const std::shared_ptr<AnchorObjectEntity>& anchorObject, AnchorObjectModelBlock block,
                               ProgressBlock progressBlock = {});
    /// Fetches the assets and the scene file named by the keys and reads the scene, scaled by the
    /// factor of the measuring unit `modelMeasuringUnitId` (1.0 for an empty identifier). Progress in
    /// three equal thirds: assets, model file, scene.
    void loadModelScene(const std::string& modelFileKey, const std::vector<std::string>& modelAssetFileKeys,
                        const std::string& modelMeasuringUnitId, SceneBlock block, ProgressBlock progressBlock = {});

    /// The limits that unpacking an archive keeps to.
    void setArchiveLimits(const ZipArchiveLimits& limits);

    ModelLoaderService(const ModelLoaderService&) = delete;
    ModelLoaderService& operator=(const ModelLoaderService&) = delete;

private:
    ModelLoaderService();
    ~ModelLoaderService();
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vantrel

#pragma GCC visibility pop
