#pragma once

// The library's services as the default dependencies of the canvas and the AR adapter.

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "vantrel/adapters/AdapterDependencies.hpp"
#include "vantrel/core/NotificationCenter.hpp"
#include "vantrel/domain/AnchorObjectEntity.hpp"
#include "vantrel/domain/ComponentEntity.hpp"
#include "vantrel/domain/MaterialEntity.hpp"
#include "vantrel/domain/SceneEntity.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/services/ModelLoaderService.hpp"
#include "vantrel/services/SceneService.hpp"

namespace vantrel::detail {

/// `dependencies` with every member left empty filled in from the library's services.
inline AdapterDependencies withServiceDefaults(AdapterDependencies dependencies) {
    if (!dependencies.obtainSceneSettings) {
        dependencies.obtainSceneSettings = [](RecordResultBlock<SceneEntity> block) {
            SceneService::sharedInstance().obtainSceneByCurrentCatalog(std::move(block));
        };
    }
    if (!dependencies.loadModel) {
        dependencies.loadModel = [](const std::shared_ptr<ComponentEntity>& component, const std::string& modelId,
                                    ModelLoaderService::ModelBlock block) {
            ModelLoaderService::sharedInstance().loadModelBy(component, modelId, std::move(block));
        };
    }
    if (!dependencies.loadAnchorObjectModel) {
        dependencies.loadAnchorObjectModel = [](const std::shared_ptr<AnchorObjectEntity>& anchorObject,
                                                ModelLoaderService::AnchorObjectModelBlock block) {
            ModelLoaderService::sharedInstance().loadAnchorObjectModel(anchorObject, std::move(block));
        };
    }
    if (!dependencies.buildMaterial) {
        dependencies.buildMaterial = [](const std::shared_ptr<MaterialEntity>& material,
                                        std::function<void(std::shared_ptr<SCNMaterial>)> block) {
            material->getScnMaterial(std::move(block));
        };
    }
    if (!dependencies.notificationCenter) dependencies.notificationCenter = &NotificationCenter::defaultCenter();
    return dependencies;
}

}  // namespace vantrel::detail
