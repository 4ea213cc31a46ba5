#include "adapters/ModelNotifications.hpp"

#include <algorithm>
#include <any>
#include <map>

#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/domain/AnchorObjectEntity.hpp"
#include "vantrel/domain/ComponentEntity.hpp"
#include "vantrel/domain/MaterialEntity.hpp"
#include "vantrel/domain/SceneEntity.hpp"
#include "vantrel/scene/AnchorObjectModelNode.hpp"
#include "vantrel/scene/ModelNode.hpp"

namespace vantrel::detail {
namespace {

template <class T>
std::shared_ptr<T> recordOf(const Notification& notification) {
    if (const auto* record = std::any_cast<std::shared_ptr<T>>(&notification.object)) return *record;
    return nullptr;
}

// The record's id, or nothing (logged as `what` when the record came without one).
template <class T>
std::optional<std::string> identified(const std::shared_ptr<T>& record, const char* what) {
    if (!record) return std::nullopt;
    if (!record->objectId()) VLOG_ERROR(std::string("Invalid ") + what + " - no identifier found.");
    return record->objectId();
}

}  // namespace

std::vector<ScopedObserver> observeModelNotifications(NotificationCenter& center, const MaterialBuilder& build,
                                                      ModelNotificationReactions reactions) {
    // Every reaction touches the scene, so it runs on the main queue whatever thread posted.
    const auto r = std::make_shared<const ModelNotificationReactions>(std::move(reactions));
    std::vector<ScopedObserver> observers;
    const auto observe = [&](const char* name, std::function<void(const Notification&)> callback) {
        observers.emplace_back(center, name, std::move(callback));
    };
    observe(VantrelSDK::componentUpdatedNotification, [r](const Notification& notification) {
        const auto component = recordOf<ComponentEntity>(notification);
        if (!identified(component, "component")) return;
        dispatchMain([r, component] { r->componentUpdated(component); });
    });
    observe(VantrelSDK::componentDeletedNotification, [r](const Notification& notification) {
        if (const auto id = identified(recordOf<ComponentEntity>(notification), "component")) {
            dispatchMain([r, id = *id] { r->componentDeleted(id); });
        }
    });
    observe(VantrelSDK::anchorObjectUpdatedNotification, [r](const Notification& notification) {
        const auto anchorObject = recordOf<AnchorObjectEntity>(notification);
        if (!identified(anchorObject, "anchorObject")) return;
        dispatchMain([r, anchorObject] { r->anchorObjectUpdated(anchorObject); });
    });
    observe(VantrelSDK::anchorObjectDeletedNotification, [r](const Notification& notification) {
        if (const auto id = identified(recordOf<AnchorObjectEntity>(notification), "anchorObject")) {
            dispatchMain([r, id = *id] { r->anchorObjectDeleted(id); });
        }
    });
    observe(VantrelSDK::materialUpdatedNotification, [build, r](const Notification& notification) {
        const auto material = recordOf<MaterialEntity>(notification);
        if (!material || !material->objectId()) return;
        DispatchQueue::global().async([build, material, r] {
            build(material, [materialId = *material->objectId(), r](std::shared_ptr<SCNMaterial> built) {
                dispatchMain([materialId, built, r] { r->materialChanged(materialId, built); });
            });
        });
    });
    observe(VantrelSDK::materialDeletedNotification, [r](const Notification& notification) {
        const auto material = recordOf<MaterialEntity>(notification);
        if (!material || !material->objectId()) return;
        dispatchMain([r, id = *material->objectId()] { r->materialChanged(id, nullptr); });
    });
    for (const char* name : {VantrelSDK::sceneCreatedNotification, VantrelSDK::sceneUpdatedNotification}) {
        observe(name, [r](const Notification& notification) {
            const auto record = recordOf<SceneEntity>(notification);
            if (!record) return;
            dispatchMain([r, record] { r->sceneChanged(record); });
        });
    }
    return observers;
}

void reloadModel(const ModelLoader& load, const std::shared_ptr<ComponentEntity>& component, const std::string& modelId,
                 std::function<void(std::shared_ptr<ModelNode>)> loaded) {
    DispatchQueue::global().async([load, component, modelId, loaded = std::move(loaded)] {
        load(component, modelId, [component, loaded](std::shared_ptr<ModelNode> model, OptionalError error) {
            dispatchMain([component, loaded, model, error] {
                if (error || !model) {
                    VLOG_ERROR("Realtime update failed: unable to reload 3D model of '" + component->genericName() +
                               "' component due error: " + (error ? error->description() : std::string("no model")));
                    return;
                }
                loaded(model);
            });
        });
    });
}

namespace {

/// Reloads the anchor-object models of one record, one after another.
struct AnchorObjectReload : std::enable_shared_from_this<AnchorObjectReload> {
    struct Target {
        std::weak_ptr<ModelNode> model;
        std::weak_ptr<AnchorObjectModelNode> old;
    };

    AnchorObjectModelLoader load;
    std::shared_ptr<AnchorObjectEntity> anchorObject;
    std::vector<Target> targets;
    std::weak_ptr<const void> owner;
    std::shared_ptr<std::map<std::string, std::uint64_t>> latest;
    std::uint64_t generation = 0;

    /// False once the owner is gone or a newer reload of the anchor object started.
    bool current() const { return !owner.expired() && (*latest)[anchorObject->objectId().value_or("")] == generation; }

    void next(std::size_t index) {
        if (index == targets.size() || !current()) return;
        DispatchQueue::global().async([self = shared_from_this(), index] {
            self->load(self->anchorObject,
                       [self, index](std::shared_ptr<AnchorObjectModelNode> node, OptionalError error) {
                           dispatchMain([self, index, node = std::move(node), error = std::move(error)] {
                               if (!self->current()) return;
                               self->swap(self->targets[index], node, error);
                               self->next(index + 1);
                           });
                       });
        });
    }

    void swap(const Target& target, const std::shared_ptr<AnchorObjectModelNode>& node, const OptionalError& error) {
        if (error || !node) {
            VLOG_ERROR("Realtime update failed: unable to reload 3D model of '" + anchorObject->name() +
                       "' anchorObject due error: " + (error ? error->description() : std::string("no model")));
            return;
        }
        const auto model = target.model.lock();
        const auto old = target.old.lock();
        if (!model || !old) return;
        auto& attached = model->anchorObjectModels();
        // One taken off meanwhile (its record deleted) must not come back.
        if (std::find(attached.begin(), attached.end(), old) == attached.end()) return;
        const auto transform = old->simdTransform();
        model->removeAnchorObjectModels(old->id());
        node->setSimdTransform(transform);
        attached.push_back(node);
        model->addChildNode(node);
    }
};

}  // namespace

AnchorObjectModelReloader::AnchorObjectModelReloader(AnchorObjectModelLoader load)
    : load_(std::move(load)), latest_(std::make_shared<std::map<std::string, std::uint64_t>>()) {}

void AnchorObjectModelReloader::reload(const std::shared_ptr<AnchorObjectEntity>& anchorObject,
                                       const std::vector<std::shared_ptr<ModelNode>>& models,
                                       std::weak_ptr<const void> owner) const {
    const auto anchorObjectId = anchorObject->objectId().value_or("");
    auto reload = std::make_shared<AnchorObjectReload>();
    reload->load = load_;
    reload->anchorObject = anchorObject;
    reload->owner = std::move(owner);
    reload->latest = latest_;
    reload->generation = ++(*latest_)[anchorObjectId];
    for (const auto& model : models) {
        for (const auto& attached : model->anchorObjectModels()) {
            if (attached->anchorObjectId() == anchorObjectId) reload->targets.push_back({model, attached});
        }
    }
    reload->next(0);
}

void removeAnchorObjectModelsOf(const std::vector<std::shared_ptr<ModelNode>>& models,
                                const std::string& anchorObjectId) {
    for (const auto& model : models) {
        // The model removes by the attached instance's id, so collect those first.
        std::vector<std::string> ids;
        for (const auto& attached : model->anchorObjectModels()) {
            if (attached->anchorObjectId() == anchorObjectId) ids.push_back(attached->id());
        }
        for (const auto& id : ids) model->removeAnchorObjectModels(id);
    }
}

std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> partsCarrying(
    const std::map<std::string, std::map<std::string, std::string>>& assigned, const std::string& materialId) {
    std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> result;
    for (const auto& [modelId, parts] : assigned) {
        std::vector<std::pair<std::string, std::string>> pairs;
        for (const auto& [key, id] : parts) {
            if (id != materialId) continue;
            const auto colon = key.find(':');
            pairs.emplace_back(key.substr(0, colon), colon == std::string::npos ? "" : key.substr(colon + 1));
        }
        if (!pairs.empty()) result.emplace_back(modelId, std::move(pairs));
    }
    return result;
}

}  // namespace vantrel::detail
