#include "vantrel/adapters/ArAdapter.hpp"

#include <algorithm>
#include <chrono>

#include <boost/uuid/uuid_generators.hpp>
#include <boost/uuid/uuid_io.hpp>

#include "adapters/AdapterDependencies.hpp"
#include "adapters/AdapterModels.hpp"
#include "adapters/GlowTechnique.hpp"
#include "adapters/ModelNotifications.hpp"
#include "adapters/ar/PlaneHitTest.hpp"
#include "adapters/ar/PlaneShadows.hpp"
#include "vantrel/adapters/ARWorldTrackingConfiguration.hpp"
#include "vantrel/adapters/SceneEnvironment.hpp"
#include "vantrel/adapters/UITouchDispatcher.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/Strings.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/domain/ComponentEntity.hpp"
#include "vantrel/domain/MaterialEntity.hpp"
#include "vantrel/domain/SceneEntity.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNScene.hpp"
#include "vantrel/graph/UIColor.hpp"
#include "vantrel/scene/Docking.hpp"
#include "vantrel/scene/SnappingNode.hpp"
#include "vantrel/services/SceneService.hpp"

namespace vantrel {
namespace {

constexpr const char* keepMovingKey = "ar_plane_discovery_instruction_help_message_keep_moving";
constexpr const char* spaceEnoughKey = "ar_plane_discovery_instruction_help_message_space_enough";
constexpr const char* lightEnoughKey = "ar_plane_discovery_instruction_help_message_light_enough";
constexpr const char* selectedModelKey = "ar_selected_model_help_message";
constexpr const char* unsupportedDeviceKey = "ar_error_unsupported_device";
constexpr const char* positionNotDetectedKey = "ar_error_unable_to_add_model_position_not_detected";

DispatchQueue::Duration seconds(double value) {
    return std::chrono::duration_cast<DispatchQueue::Duration>(std::chrono::duration<double>(value));
}

std::string newQueueLabel() { return "FirstPlaneQueue_" + boost::uuids::to_string(boost::uuids::random_generator()()); }

// An error carrying a finished text (not a message key).
Error textError(std::string text) { return Error(std::string(TextError::kDomain), -1, std::move(text)); }

}  // namespace

ArAdapter::ArAdapter(Token, Dependencies dependencies)
    : dependencies_(detail::withServiceDefaults(std::move(dependencies))),
      firstPlaneQueue_(DispatchQueue::makeSerial(newQueueLabel())) {}

ArAdapter::~ArAdapter() {
    // Observers first, so that no notification reaches a half-destroyed adapter.
    observers_.clear();
}

std::shared_ptr<ArAdapter> ArAdapter::make() { return make(Dependencies{}); }

std::shared_ptr<ArAdapter> ArAdapter::make(Dependencies dependencies) {
    auto adapter = std::make_shared<ArAdapter>(Token{}, std::move(dependencies));
    adapter->observeNotifications();
    return adapter;
}

// ----- View -----

void ArAdapter::setSceneView(const std::shared_ptr<ARSCNView>& view) {
    // A view left behind no longer reports its planes here.
    if (const auto previous = view_.lock(); previous && previous != view && previous->delegate().get() == this) {
        previous->setDelegate(nullptr);
    }
    view_ = view;
    dispatcher_.reset();
    if (!view) return;
    dispatcher_ = std::make_shared<UITouchDispatcher>(view);
    setUpView(view);
    if (gesturesEnabled_) attachGestures(true);
}

void ArAdapter::setUpView(const std::shared_ptr<ARSCNView>& view) {
    view->setDelegate(shared_from_this());
    if (VantrelSDK::debug3d()) {
        view->setShowsStatistics(true);
        view->setDebugOptions(SCNDebugOptions::showBoundingBoxes | SCNDebugOptions::showCameras |
                              SCNDebugOptions::showLightInfluences);
    }
    view->setAutomaticallyUpdatesLighting(VantrelSDK::lightEstimateEnabled());
    view->setAutoenablesDefaultLighting(!VantrelSDK::lightEstimateEnabled());
    if (auto technique = SCNTechnique::techniqueWithDictionary(detail::glowDictionary())) {
        view->setTechnique(*technique);
    } else {
        VLOG_ERROR("Unable to build the glow technique due error: " + technique.error().description());
    }
    setGlowColor(CIColor::blueColor());

    const std::weak_ptr<ArAdapter> weakSelf = weak_from_this();
    const auto fallBack = [weakSelf] {
        dispatchMain([weakSelf] {
            if (const auto self = weakSelf.lock()) self->defaultIntensity_ = fallbackIntensity;
        });
    };
    auto obtain = dependencies_.obtainSceneSettings;
    DispatchQueue::global().async([weakSelf, obtain, fallBack] {
        obtain([weakSelf, fallBack](std::shared_ptr<SceneEntity> record, OptionalError error) {
            if (error) VLOG_ERROR("Unable to obtain scene settings due error: " + error->description());
            if (!record) return fallBack();
            dispatchMain([weakSelf, record, fallBack] {
                const auto self = weakSelf.lock();
                const auto attached = self ? self->sceneView() : nullptr;
                if (!attached || !attached->scene()) return fallBack();
                assignLightingEnvironment(
                    attached->scene(), record,
                    [weakSelf](std::optional<SCNMaterialProperty> property, OptionalError failure) {
                        if (failure) {
                            VLOG_ERROR("Unable to assign lighting settings in the scene due error: " +
                                       failure->description());
                        }
                        const double intensity = property ? property->intensity() : fallbackIntensity;
                        dispatchMain([weakSelf, intensity] {
                            if (const auto owner = weakSelf.lock()) {
                                owner->defaultIntensity_ = intensity;
                            }
                        });
                    });
            });
        });
    });
}

void ArAdapter::setGlowColor(const CIColor& color) {
    glowColor_ = color;
    if (const auto view = sceneView(); view && view->technique()) {
        view->technique()->setValue(
            SCNVector3{static_cast<float>(color.red), static_cast<float>(color.green), static_cast<float>(color.blue)},
            "glowColorSymbol");
    }
}

void ArAdapter::setModelHighlightingMode(ModelHighlightingMode mode) {
    highlightingMode_ = mode;
    for (const auto& model : modelNodes_) {
        if (model->isHighlighted()) {
            model->unhighlight();
            model->highlight(mode);
        }
    }
}

// ----- Session -----

void ArAdapter::runArSession(bool restartArExperience) {
    const auto view = sceneView();
    // The session knows whether it can track here (a camera that cannot be opened, no camera at all).
    if (!ARWorldTrackingConfiguration::isSupported() || (view && view->session() && !view->session()->isSupported())) {
        if (const auto delegate = managementDelegate()) delegate->onError(TextError(unsupportedDeviceKey));
        return;
    }
    if (!view || !view->session()) return;
    ARWorldTrackingConfiguration configuration;
    configuration.setPlaneDetection(ARPlaneDetection::horizontal | ARPlaneDetection::vertical);
    configuration.setLightEstimationEnabled(VantrelSDK::lightEstimateEnabled());
    configuration.setEnvironmentTexturing(AREnvironmentTexturing::automatic);
    if (restartArExperience) {
        planeAnchors_.clear();
        planeNodesVertical_.clear();
        planeNodesHorizontal_.clear();
        removeModels();
        view->session()->runWithConfiguration(
            configuration, ARSessionRunOptions::resetTracking | ARSessionRunOptions::removeExistingAnchors);
    } else {
        view->session()->runWithConfiguration(configuration);
    }
    if (const auto delegate = managementDelegate()) delegate->onArSessionStarted(restartArExperience);
    showPlaneDiscoveryHint();
}

void ArAdapter::pauseArSession() {
    const auto view = sceneView();
    if (!view || !view->session()) return;
    view->session()->pause();
    if (const auto delegate = managementDelegate()) delegate->onArSessionPaused();
}

// ----- Help messages -----

void ArAdapter::showHelp(ArHelpMessageType type, const std::string& message) {
    if (const auto delegate = managementDelegate()) delegate->onShowHelpMessage(type, message);
}

void ArAdapter::hideHelp() {
    if (const auto delegate = managementDelegate()) delegate->onHideHelpMessage();
}

void ArAdapter::showPlaneDiscoveryHint() {
    if (!planeAnchors_.empty()) return;
    hideHelp();
    showHelp(ArHelpMessageType::scanKeepMoving, Strings::localized(keepMovingKey));
    const std::weak_ptr<ArAdapter> weakSelf = weak_from_this();
    DispatchQueue::main().asyncAfter(seconds(extendedHintDelay), [weakSelf] {
        const auto self = weakSelf.lock();
        if (!self) return;
        self->hideHelp();
        if (!self->modelNodes_.empty()) return;
        self->showHelp(ArHelpMessageType::scanKeepMovingExtended, Strings::localized(keepMovingKey) + "\n" +
                                                                      Strings::localized(spaceEnoughKey) + "\n" +
                                                                      Strings::localized(lightEnoughKey));
    });
}

// ----- Planes -----

void ArAdapter::rendererDidAddNode(ARSCNView&, const std::shared_ptr<SCNNode>& node,
                                   const std::shared_ptr<ARAnchor>& anchor) {
    const auto plane = std::dynamic_pointer_cast<ARPlaneAnchor>(anchor);
    if (!plane) return;
    planeAnchors_.insert(plane);
    (plane->alignment() == ARPlaneAnchorAlignment::horizontal ? planeNodesHorizontal_ : planeNodesVertical_)
        .insert(node);
    detail::catchShadows(*node, *plane);
    // Serialised on the plane queue; the check itself reads the view and the session, which belong
    // to the main thread, so it runs there.
    const std::weak_ptr<ArAdapter> weakSelf = weak_from_this();
    firstPlaneQueue_->async([weakSelf] {
        dispatchMain([weakSelf] {
            if (const auto self = weakSelf.lock()) self->checkFirstPlane();
        });
    });
}

void ArAdapter::rendererDidUpdateNode(ARSCNView&, const std::shared_ptr<SCNNode>& node,
                                      const std::shared_ptr<ARAnchor>& anchor) {
    const auto plane = std::dynamic_pointer_cast<ARPlaneAnchor>(anchor);
    if (!plane) return;
    // The session updates its anchors in place, so the same object is kept.
    planeAnchors_.insert(plane);
    planeNodesHorizontal_.erase(node);
    planeNodesVertical_.erase(node);
    (plane->alignment() == ARPlaneAnchorAlignment::horizontal ? planeNodesHorizontal_ : planeNodesVertical_)
        .insert(node);
    detail::catchShadows(*node, *plane);
}

void ArAdapter::rendererDidRemoveNode(ARSCNView&, const std::shared_ptr<SCNNode>& node,
                                      const std::shared_ptr<ARAnchor>& anchor) {
    const auto plane = std::dynamic_pointer_cast<ARPlaneAnchor>(anchor);
    if (!plane) return;
    // A restart forgets the planes before the session reports their removal: only a plane that was
    // still known can leave the adapter without planes.
    const bool known = planeAnchors_.erase(plane) > 0;
    planeNodesHorizontal_.erase(node);
    planeNodesVertical_.erase(node);
    if (known) showPlaneDiscoveryHint();
}

CGPoint ArAdapter::screenCenter() {
    if (!screenCenter_) {
        const auto view = sceneView();
        const auto bounds = view ? view->bounds() : CGRect();
        screenCenter_ = CGPoint(bounds.origin.x + bounds.size.width / 2.0, bounds.origin.y + bounds.size.height / 2.0);
    }
    return *screenCenter_;
}

void ArAdapter::checkFirstPlane() {
    const auto view = sceneView();
    if (firstPlaneDetected_ || !view) return;
    const auto hit =
        detail::planeHitTest(*view, screenCenter(), false, std::nullopt, {ARPlaneAnchorAlignment::horizontal});
    if (!hit) return;
    hideHelp();
    firstPlaneDetected_ = true;
    const auto& t = hit->worldTransform[3];
    if (const auto delegate = managementDelegate()) delegate->onFirstPlaneDetected(SCNVector3{t.x, t.y, t.z});
}

// ----- Frames and failures -----

void ArAdapter::rendererUpdateAtTime(ARSCNView& view, double) {
    // Applied here, on the thread that drives the session and draws the scene: a scene written from
    // another thread while the view reads it would tear.
    if (!view.scene()) return;
    detail::ensureShadowLight(*view.scene()->rootNode());
    const auto& frame = view.session() ? view.session()->currentFrame() : nullptr;
    if (frame && frame->lightEstimate) {
        view.scene()->lightingEnvironment().setIntensity(frame->lightEstimate->ambientIntensity / lumensPerIntensity);
    } else if (defaultIntensity_) {
        view.scene()->lightingEnvironment().setIntensity(*defaultIntensity_);
    }
}

void ArAdapter::sessionDidFailWithError(ARSession&, const Error& error) {
    VLOG_ERROR("AR session error: " + error.description());
    std::string text = error.localizedDescription();
    for (const char* key : {"NSLocalizedFailureReason", "NSLocalizedRecoverySuggestion"}) {
        if (const auto found = error.userInfo.find(key); found != error.userInfo.end() && found->is_string()) {
            text += "\n" + found->get<std::string>();
        }
    }
    if (const auto delegate = managementDelegate()) delegate->onError(textError(text));
}

void ArAdapter::sessionCameraDidChangeTrackingState(ARSession&, const ARCamera&) {}

// ----- Placement -----

void ArAdapter::addModel(const std::shared_ptr<ModelNode>& modelNode,
                         const std::optional<SCNVector3>& simdWorldPosition, bool selectModel) {
    if (!modelNode) return;
    glm::mat4 target;
    if (simdWorldPosition) {
        target = modelNode->simdWorldTransform();
        target[3] = glm::vec4(simdWorldPosition->x, simdWorldPosition->y, simdWorldPosition->z, 1.0f);
    } else {
        const auto view = sceneView();
        std::optional<ARHitTestResult> hit;
        if (view) {
            const auto centre = screenCenter();
            const std::vector<ARPlaneAnchorAlignment> floors{ARPlaneAnchorAlignment::horizontal};
            hit = detail::planeHitTest(*view, centre, false, std::nullopt, floors);
            if (!hit) hit = detail::planeHitTest(*view, centre, true, std::nullopt, floors);
        }
        if (!hit) {
            if (const auto delegate = managementDelegate()) {
                delegate->onModelAdded(modelNode->id(), modelNode->componentId(), TextError(positionNotDetectedKey));
            }
            return;
        }
        target = hit->worldTransform;
    }
    place(modelNode, target, selectModel);
}

void ArAdapter::place(const std::shared_ptr<ModelNode>& model, const glm::mat4& target, bool selectModel) {
    const auto view = sceneView();
    if (!view || !view->scene()) return;
    model->setHidden(true);
    view->scene()->rootNode()->addChildNode(model);
    model->setSimdWorldTransform(target);
    model->setHidden(false);
    modelNodes_.push_back(model);
    initialModelTransforms_[model->id()] = model->simdTransform();
    if (showSizes_) {
        if (model->isSizesShown()) model->hideSizes();
        model->showSizes(UIColor::whiteColor(), UIColor::blackColor());
    }
    if (const auto delegate = managementDelegate())
        delegate->onModelAdded(model->id(), model->componentId(), std::nullopt);
    reportTransform(*model);
    if (selectModel) select(model);
}

void ArAdapter::setShowSizes(bool show) {
    showSizes_ = show;
    for (const auto& model : modelNodes_) {
        if (model->isSizesShown()) model->hideSizes();
        if (show) model->showSizes(UIColor::whiteColor(), UIColor::blackColor());
    }
}

void ArAdapter::reportTransform(const ModelNode& model) {
    if (const auto delegate = managementDelegate()) {
        delegate->onModelTransformChanged(model.id(), model.componentId(), model.position(), model.rotation());
    }
}

void ArAdapter::removeModel(const std::shared_ptr<ModelNode>& model) {
    model->removeFromParentNode();
    if (model == selectedModel_) select(nullptr);
    std::erase(modelNodes_, model);
    assignedMaterials_.erase(model->id());
    initialModelTransforms_.erase(model->id());
    if (const auto delegate = managementDelegate()) delegate->onModelRemoved(model->id(), model->componentId());
}

void ArAdapter::removeModelBy(const std::string& id) {
    const auto models = modelNodes_;
    for (const auto& model : models) {
        if (model->id() == id) removeModel(model);
    }
}

void ArAdapter::removeModels() {
    const auto models = modelNodes_;
    for (const auto& model : models) removeModel(model);
}

// ----- Selection -----

void ArAdapter::deselect() {
    if (!selectedModel_) return;
    docking::removeSnappingNodes(modelNodes_);
    selectedModel_->unhighlight();
    selectedModel_ = nullptr;
    if (const auto delegate = managementDelegate()) delegate->onModelDeselected();
}

void ArAdapter::select(const std::shared_ptr<ModelNode>& model) {
    deselect();
    if (!model) return;
    selectedModel_ = model;
    model->highlight(highlightingMode_);
    if (snappingsEnabled_) docking::buildSnappingNodes(model, modelNodes_);
    if (const auto delegate = managementDelegate()) delegate->onModelSelected(model->id(), model->componentId());
    hideHelp();
    showHelp(ArHelpMessageType::modelSelected, Strings::localized(selectedModelKey));
    const std::weak_ptr<ArAdapter> weakSelf = weak_from_this();
    DispatchQueue::main().asyncAfter(seconds(selectionHintDuration), [weakSelf] {
        if (const auto self = weakSelf.lock()) self->hideHelp();
    });
}

void ArAdapter::selectModelById(const std::string& id) { select(detail::findModel(modelNodes_, id)); }

void ArAdapter::resetSelection() { select(nullptr); }

// ----- Materials -----

void ArAdapter::assignMaterialToModel(const std::string& modelId, const NodeNamesOrNodeIds& nodeNamesOrNodeIds,
                                      const std::optional<std::string>& materialId,
                                      const std::shared_ptr<SCNMaterial>& material) {
    detail::assignAndRecordMaterial(modelNodes_, assignedMaterials_, modelId, nodeNamesOrNodeIds, materialId, material);
}

// ----- Hit tests -----

std::shared_ptr<ModelNode> ArAdapter::modelByHit(const CGPoint& location) const {
    return detail::hitAncestor<ModelNode>(sceneView().get(), location);
}

std::shared_ptr<SnappingNode> ArAdapter::snappingAreaByHit(const CGPoint& location) const {
    return detail::hitAncestor<SnappingNode>(sceneView().get(), location);
}

// ----- Record changes -----

void ArAdapter::observeNotifications() {
    const std::weak_ptr<ArAdapter> weakSelf = weak_from_this();
    const auto bind = [weakSelf](auto member) {
        return [weakSelf, member](const auto&... arguments) {
            if (const auto self = weakSelf.lock()) ((*self).*member)(arguments...);
        };
    };
    observers_ = detail::observeModelNotifications(
        *dependencies_.notificationCenter, dependencies_.buildMaterial,
        {.componentUpdated = bind(&ArAdapter::reloadComponent),
         .componentDeleted = bind(&ArAdapter::removeComponentModels),
         .anchorObjectUpdated = detail::anchorObjectReloads(weakSelf, dependencies_.loadAnchorObjectModel),
         .anchorObjectDeleted = bind(&ArAdapter::removeAnchorObjectModels),
         .materialChanged = bind(&ArAdapter::reapplyMaterial),
         .sceneChanged = bind(&ArAdapter::applySceneRecord)});
}

void ArAdapter::removeComponentModels(const std::string& componentId) {
    std::vector<std::string> ids;
    for (const auto& model : modelNodes_) {
        if (model->componentId() == componentId) ids.push_back(model->id());
    }
    for (const auto& id : ids) removeModelBy(id);
}

void ArAdapter::removeAnchorObjectModels(const std::string& anchorObjectId) {
    detail::removeAnchorObjectModelsOf(modelNodes_, anchorObjectId);
}

void ArAdapter::reapplyMaterial(const std::string& materialId, const std::shared_ptr<SCNMaterial>& material) {
    // A deleted material is no longer recorded for its parts (see the canvas).
    const std::optional<std::string> recorded = material ? std::optional<std::string>(materialId) : std::nullopt;
    for (const auto& [modelId, pairs] : detail::partsCarrying(assignedMaterials_, materialId)) {
        assignMaterialToModel(modelId, pairs, recorded, material);
    }
}

void ArAdapter::applySceneRecord(const std::shared_ptr<SceneEntity>& record) {
    const auto view = sceneView();
    if (!view || !view->scene()) return;
    const std::weak_ptr<ArAdapter> weakSelf = weak_from_this();
    assignLightingEnvironment(view->scene(), record,
                              [weakSelf](std::optional<SCNMaterialProperty> property, OptionalError error) {
                                  const auto self = weakSelf.lock();
                                  if (!self) return;
                                  self->defaultIntensity_ = property ? property->intensity() : fallbackIntensity;
                                  if (!error) return;
                                  if (const auto delegate = self->managementDelegate()) {
                                      delegate->onSceneSettingsFailure(*error);
                                  }
                              });
}

void ArAdapter::reloadComponent(const std::shared_ptr<ComponentEntity>& component) {
    const auto componentId = component->objectId().value_or("");
    const std::weak_ptr<ArAdapter> weakSelf = weak_from_this();
    for (const auto& old : modelNodes_) {
        if (old->componentId() != componentId) continue;
        struct Remembered {
            std::string id;
            glm::mat4 worldTransform;
            bool selected;
        };
        const Remembered remembered{old->id(), old->simdWorldTransform(), old == selectedModel_};
        detail::reloadModel(dependencies_.loadModel, component, remembered.id,
                            [weakSelf, remembered](const std::shared_ptr<ModelNode>& model) {
                                const auto self = weakSelf.lock();
                                if (!self) return;
                                self->removeModelBy(remembered.id);
                                self->place(model, remembered.worldTransform, remembered.selected);
                            });
    }
}

}  // namespace vantrel
