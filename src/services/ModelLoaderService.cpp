#include "vantrel/services/ModelLoaderService.hpp"

#include "services/ModelLoaderSteps.hpp"
#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/domain/AnchorObjectConnectionEntity.hpp"
#include "vantrel/domain/AnchorObjectEntity.hpp"
#include "vantrel/domain/ModelMeasuringUnitEntity.hpp"
#include "vantrel/files/ProgressCombiner.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNScene.hpp"
#include "vantrel/scene/AnchorObjectModelNode.hpp"
#include "vantrel/services/AnchorObjectService.hpp"

#include <mutex>

namespace vantrel {

namespace {

using detail::ModelFileSource;

/// The nodes below the scene's root, taken out of it.
std::vector<std::shared_ptr<SCNNode>> takeRootChildren(const SCNScene& scene) {
    auto children = scene.rootNode()->childNodes();
    for (const auto& child : children) child->removeFromParentNode();
    return children;
}

/// Loads the main model of `anchor` (whose object id is `anchorObjectId`) at scale 1.0, cleans its
/// scene and wraps the root's children in a new anchor-object model.
void loadAnchorObjectNode(const AnchorObjectEntity& anchor, const std::string& anchorObjectId,
                          const ZipArchiveLimits& limits, ModelLoaderService::AnchorObjectModelBlock block,
                          ProgressBlock progress) {
    const auto source = detail::modelFileSourceOf(
        anchor, "", TextError("Model file url of '" + anchor.name() + "' anchor object is nil."));
    detail::loadMainModel(
        source, limits,
        [anchorObjectId, block = std::move(block)](std::shared_ptr<SCNScene> scene, OptionalError error) {
            std::shared_ptr<AnchorObjectModelNode> node;
            if (scene) {
                detail::cleanScene(*scene);
                node = AnchorObjectModelNode::make(detail::newModelIdentifier(), anchorObjectId);
                node->add(takeRootChildren(*scene));
            }
            block(std::move(node), std::move(error));
        },
        std::move(progress));
}

/// One anchor object's answer.
struct AnchorResult {
    std::string anchorObjectId;
    std::shared_ptr<AnchorObjectModelNode> node;
    OptionalError error;
};

/// Loads the anchor objects of one component, one after another, then attaches them.
class AnchorLoading : public std::enable_shared_from_this<AnchorLoading> {
public:
    AnchorLoading(std::shared_ptr<ComponentEntity> component, std::shared_ptr<ModelNode> model,
                  std::vector<std::shared_ptr<AnchorObjectConnectionEntity>> connections, ZipArchiveLimits limits,
                  std::function<void()> done, ProgressBlock progress)
        : component_(std::move(component)),
          model_(std::move(model)),
          connections_(std::move(connections)),
          limits_(limits),
          done_(std::move(done)),
          progress_(std::move(progress)) {}

    void start() {
        std::vector<std::string> ids;
        for (const auto& connection : connections_) ids.push_back(connection->anchorObjectId());
        AnchorObjectService::sharedInstance().obtainAllAnchorObjectsByIds(
            ids, std::nullopt, std::nullopt,
            [self = shared_from_this()](std::vector<std::shared_ptr<AnchorObjectEntity>> anchors, OptionalError error) {
                // Backend answers arrive on the client's thread; scenes are made on the main one.
                dispatchMain([self, anchors = std::move(anchors), error = std::move(error)] {
                    if (error) {
                        VLOG_WARNING("Unable to obtain anchor objects of '" + self->component_->genericName() +
                                     "' component due error: " + error->description());
                        return self->done_();
                    }
                    self->anchors_ = anchors;
                    if (!anchors.empty()) self->slots_ = ProgressCombiner::make(anchors.size(), self->progress_);
                    self->next(0);
                });
            });
    }

private:
    void next(std::size_t index) {
        if (index == anchors_.size()) return finish();
        const auto& anchor = anchors_[index];
        const auto anchorObjectId = anchor->objectId().value_or("");
        if (anchorObjectId.empty()) {  // "Invalid anchorObject - no identifier found.", not recorded
            slots_->finishStep(index);
            return next(index + 1);
        }
        loadAnchorObjectNode(
            *anchor, anchorObjectId, limits_,
            [self = shared_from_this(), index, anchorObjectId](std::shared_ptr<AnchorObjectModelNode> node,
                                                               OptionalError error) {
                self->slots_->finishStep(index);
                self->results_.push_back({anchorObjectId, std::move(node), std::move(error)});
                self->next(index + 1);
            },
            slots_->blockForStep(index));
    }

    void finish() {
        for (const auto& result : results_) {
            if (result.error) {
                VLOG_WARNING("Failed loading of 3D model of AnchorObject[" + result.anchorObjectId +
                             "] due error: " + result.error->description());
                continue;
            }
            if (!result.node) continue;
            for (const auto& connection : connections_) {
                if (connection->anchorObjectId() != result.node->anchorObjectId()) continue;
                model_->attachAnchorObjectModel(result.node, connection->offsetPosition(),
                                                connection->offsetOrientation(), connection->scale());
                break;  // the first connection places it; one that no connection names is dropped
            }
        }
        done_();
    }

    std::shared_ptr<ComponentEntity> component_;
    std::shared_ptr<ModelNode> model_;
    std::vector<std::shared_ptr<AnchorObjectConnectionEntity>> connections_;
    ZipArchiveLimits limits_;
    std::function<void()> done_;
    ProgressBlock progress_;
    std::vector<std::shared_ptr<AnchorObjectEntity>> anchors_;
    std::shared_ptr<ProgressCombiner> slots_;
    std::vector<AnchorResult> results_;
};

}  // namespace

class ModelLoaderService::Impl {
public:
    ZipArchiveLimits limits() const {
        std::lock_guard lock(mutex_);
        return limits_;
    }
    void setLimits(const ZipArchiveLimits& limits) {
        std::lock_guard lock(mutex_);
        limits_ = limits;
    }

private:
    mutable std::mutex mutex_;
    ZipArchiveLimits limits_;
};

ModelLoaderService& ModelLoaderService::sharedInstance() {
    static auto* instance = new ModelLoaderService();  // lives for the process
    return *instance;
}

ModelLoaderService::ModelLoaderService() : impl_(std::make_unique<Impl>()) {}
ModelLoaderService::~ModelLoaderService() = default;

void ModelLoaderService::setArchiveLimits(const ZipArchiveLimits& limits) { impl_->setLimits(limits); }

void ModelLoaderService::loadModelBy(const std::shared_ptr<ComponentEntity>& component,
                                     std::optional<std::string> withModelId, ModelBlock block,
                                     ProgressBlock progressBlock) {
    const auto componentId = component ? component->objectId().value_or("") : std::string();
    if (componentId.empty()) {
        if (progressBlock) progressBlock(ProgressStatus::done, 1.0);
        return block(nullptr, TextError("Invalid component - no identifier found."));
    }
    const auto modelId = withModelId.value_or(detail::newModelIdentifier());
    auto halves = ProgressCombiner::make(2, std::move(progressBlock));  // main model, anchor objects
    const auto finish = [halves, block](std::shared_ptr<ModelNode> model, OptionalError error) {
        halves->done();
        block(std::move(model), std::move(error));
    };
    const auto unit = component->scnModelMeasuringUnit();
    const auto source =
        detail::modelFileSourceOf(*component, unit ? unit->objectId().value_or("") : std::string(),
                                  TextError("modelLoaderService_error_scn_model_file_nil", {component->genericName()}));
    const auto limits = impl_->limits();
    detail::loadMainModel(
        source, limits,
        [component, componentId, modelId, limits, halves, finish](std::shared_ptr<SCNScene> scene,
                                                                  OptionalError error) {
            if (error) return finish(nullptr, std::move(error));
            if (!scene) return finish(nullptr, std::nullopt);
            detail::cleanScene(*scene);
            auto model = ModelNode::make(modelId, componentId);
            model->setFloating(component->isFloating());
            model->snappingAreas() = component->snappingAreas();
            model->add(takeRootChildren(*scene));
            auto connections = component->anchorObjectConnections();
            if (connections.empty()) return finish(model, std::nullopt);
            std::make_shared<AnchorLoading>(
                component, model, std::move(connections), limits, [finish, model] { finish(model, std::nullopt); },
                halves->blockForStep(1))
                ->start();
        },
        halves->blockForStep(0));
}

void ModelLoaderService::loadAnchorObjectModel(const std::shared_ptr<AnchorObjectEntity>& anchorObject,
                                               AnchorObjectModelBlock block, ProgressBlock progressBlock) {
    const auto anchorObjectId = anchorObject ? anchorObject->objectId().value_or("") : std::string();
    if (anchorObjectId.empty()) {
        if (progressBlock) progressBlock(ProgressStatus::done, 1.0);
        return block(nullptr, TextError("Invalid anchorObject - no identifier found."));
    }
    loadAnchorObjectNode(*anchorObject, anchorObjectId, impl_->limits(), std::move(block), std::move(progressBlock));
}

namespace {
/// Loads many components one after another.
struct PluralLoading : std::enable_shared_from_this<PluralLoading> {
    std::vector<std::shared_ptr<ComponentEntity>> components;
    std::map<std::string, ModelResult> results;
    std::shared_ptr<ProgressCombiner> slots;
    ModelLoaderService::ModelsBlock block;

    void next(std::size_t index) {
        if (index == components.size()) {
            slots->done();
            return block(std::move(results));
        }
        const auto& component = components[index];
        ModelLoaderService::sharedInstance().loadModelBy(
            component, detail::newModelIdentifier(),
            [self = shared_from_this(), index](std::shared_ptr<ModelNode> model, OptionalError error) {
                self->slots->finishStep(index);
                const auto& current = self->components[index];
                if (auto id = current ? current->objectId() : std::nullopt; id && !id->empty()) {
                    self->results[*id] = {std::move(model), std::move(error)};
                }
                self->next(index + 1);
            },
            slots->blockForStep(index));
    }
};
}  // namespace

void ModelLoaderService::loadModelsBy(const std::vector<std::shared_ptr<ComponentEntity>>& components,
                                      ModelsBlock block, ProgressBlock progressBlock) {
    if (components.empty()) {
        if (progressBlock) progressBlock(ProgressStatus::done, 1.0);
        return block({});
    }
    auto loading = std::make_shared<PluralLoading>();
    loading->components = components;
    loading->block = std::move(block);
    loading->slots = ProgressCombiner::make(components.size(), std::move(progressBlock));
    loading->slots->report(0, ProgressStatus::loading, 0.0);
    loading->next(0);
}

void ModelLoaderService::loadModelScene(const std::string& modelFileKey,
                                        const std::vector<std::string>& modelAssetFileKeys,
                                        const std::string& modelMeasuringUnitId, SceneBlock block,
                                        ProgressBlock progressBlock) {
    detail::loadModelScene(modelFileKey, modelAssetFileKeys, modelMeasuringUnitId, std::move(block),
                           std::move(progressBlock));
}

}  // namespace vantrel
