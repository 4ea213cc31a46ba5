#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <functional>
#include <memory>
#include <string>

#include "vantrel/core/NotificationCenter.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/services/ModelLoaderService.hpp"
#include "vantrel/services/ResultBlocks.hpp"

namespace vantrel {

class AnchorObjectEntity;
class ComponentEntity;
class MaterialEntity;
class SceneEntity;

/// Where an adapter (canvas or AR) gets what lies outside its scene. Every member left empty is
/// filled in from the library's services; tests replace them.
struct AdapterDependencies {
    /// Reads the current catalogue's scene settings (the view set-up).
    std::function<void(RecordResultBlock<SceneEntity>)> obtainSceneSettings;
    /// Loads a component's model again under the given model id (reloads).
    std::function<void(const std::shared_ptr<ComponentEntity>&, const std::string&, ModelLoaderService::ModelBlock)>
        loadModel;
    /// Loads an anchor object's model again (reloads of the anchor-object models a model carries).
    std::function<void(const std::shared_ptr<AnchorObjectEntity>&, ModelLoaderService::AnchorObjectModelBlock)>
        loadAnchorObjectModel;
    /// Builds the rendering material of a material record.
    std::function<void(const std::shared_ptr<MaterialEntity>&, std::function<void(std::shared_ptr<SCNMaterial>)>)>
        buildMaterial;
    /// The centre whose change notifications are observed.
    NotificationCenter* notificationCenter = nullptr;
};

}  // namespace vantrel

#pragma GCC visibility pop
