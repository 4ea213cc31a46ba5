#pragma once

// The library's record-change notifications that the canvas and the AR adapter follow.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "vantrel/core/Error.hpp"
#include "vantrel/core/NotificationCenter.hpp"

namespace vantrel {
class AnchorObjectEntity;
class AnchorObjectModelNode;
class ComponentEntity;
class MaterialEntity;
class ModelNode;
class SCNMaterial;
class SceneEntity;
}  // namespace vantrel

namespace vantrel::detail {

/// What an adapter does when a record changes. Every reaction is called on the main queue.
struct ModelNotificationReactions {
    std::function<void(const std::shared_ptr<ComponentEntity>&)> componentUpdated;
    std::function<void(const std::string& componentId)> componentDeleted;
    std::function<void(const std::shared_ptr<AnchorObjectEntity>&)> anchorObjectUpdated;
    std::function<void(const std::string& anchorObjectId)> anchorObjectDeleted;
    /// A material was rebuilt after an update, or deleted (nullptr).
    std::function<void(const std::string& materialId, const std::shared_ptr<SCNMaterial>&)> materialChanged;
    std::function<void(const std::shared_ptr<SceneEntity>&)> sceneChanged;
};

/// Builds the rendering material of a material record.
using MaterialBuilder =
    std::function<void(const std::shared_ptr<MaterialEntity>&, std::function<void(std::shared_ptr<SCNMaterial>)>)>;

/// Observes the component, anchor-object, material and scene notifications of `center` and hands each
/// valid record to `reactions` on the main queue (materials built on the global queue first). The
/// reactions must hold their adapter weakly: the posting thread must never be the one to destroy it.
std::vector<ScopedObserver> observeModelNotifications(NotificationCenter& center, const MaterialBuilder& build,
                                                      ModelNotificationReactions reactions);

/// Loads a component's model under a model id.
using ModelLoader = std::function<void(const std::shared_ptr<ComponentEntity>&, const std::string&,
                                       std::function<void(std::shared_ptr<ModelNode>, OptionalError)>)>;

/// Loads `component`'s model again as `modelId` on the global queue and hands it to `loaded` on the
/// main queue; a failure is logged and `loaded` is not called.
void reloadModel(const ModelLoader& load, const std::shared_ptr<ComponentEntity>& component, const std::string& modelId,
                 std::function<void(std::shared_ptr<ModelNode>)> loaded);

/// Loads an anchor object's model.
using AnchorObjectModelLoader =
    std::function<void(const std::shared_ptr<AnchorObjectEntity>&,
                       std::function<void(std::shared_ptr<AnchorObjectModelNode>, OptionalError)>)>;

/// Reloads the anchor-object models that an adapter's models carry when their record changes.
/// Copies share one record of the latest reload per anchor object; use them on the main thread.
class AnchorObjectModelReloader {
public:
    explicit AnchorObjectModelReloader(AnchorObjectModelLoader load);

    /// Loads `anchorObject`'s model again for each of its anchor-object models that `models` carry,
    /// one after another on the global queue, and on the main queue swaps each new one in for the
    /// old one: same local transform, appended to the model's `anchorObjectModels` and added as its
    /// child. A failure is logged and leaves the old one; so does an old one taken off meanwhile. A
    /// later reload of the same anchor object supersedes this one, so a slow stale answer never
    /// replaces a newer one. Nothing happens once `owner` is gone.
    void reload(const std::shared_ptr<AnchorObjectEntity>& anchorObject,
                const std::vector<std::shared_ptr<ModelNode>>& models, std::weak_ptr<const void> owner) const;

private:
    AnchorObjectModelLoader load_;
    std::shared_ptr<std::map<std::string, std::uint64_t>> latest_;  // reload count by anchor object id
};

/// The anchor-object update reaction of `adapter`: reloads the anchor-object models its models carry,
/// for as long as the adapter lives.
template <typename Adapter>
std::function<void(const std::shared_ptr<AnchorObjectEntity>&)> anchorObjectReloads(std::weak_ptr<Adapter> adapter,
                                                                                    AnchorObjectModelLoader load) {
    return [adapter, reloader = AnchorObjectModelReloader(std::move(load))](
               const std::shared_ptr<AnchorObjectEntity>& anchorObject) {
        if (const auto self = adapter.lock()) reloader.reload(anchorObject, self->modelNodes(), adapter);
    };
}

/// Takes every anchor-object model of the anchor object `anchorObjectId` off the model in `models`
/// that carries it.
void removeAnchorObjectModelsOf(const std::vector<std::shared_ptr<ModelNode>>& models,
                                const std::string& anchorObjectId);

/// (node name, node id) pairs by model id of the parts that carry `materialId` in `assigned`.
std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> partsCarrying(
    const std::map<std::string, std::map<std::string, std::string>>& assigned, const std::string& materialId);

}  // namespace vantrel::detail
