#include "vantrel/adapters/CanvasAdapter.hpp"

#include <algorithm>
#include <fstream>

#include <nlohmann/json.hpp>

#include "SceneLights.hpp"
#include "StudioEnvironment.hpp"
#include "adapters/AdapterDependencies.hpp"
#include "adapters/AdapterModels.hpp"
#include "adapters/GlowTechnique.hpp"
#include "adapters/ModelNotifications.hpp"
#include "TransactionScope.hpp"
#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/ResourceBundle.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/domain/ComponentEntity.hpp"
#include "vantrel/domain/MaterialEntity.hpp"
#include "vantrel/domain/SceneEntity.hpp"
#include "vantrel/graph/SCNFloor.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNTransaction.hpp"
#include "vantrel/render/SCNView.hpp"
#include "vantrel/scene/AnchorObjectModelNode.hpp"
#include "vantrel/scene/Docking.hpp"
#include "vantrel/scene/SnappingNode.hpp"
#include "vantrel/services/SceneService.hpp"

namespace vantrel {
namespace {}  // namespace

CanvasAdapter::CanvasAdapter(Token, Dependencies dependencies)
    : dependencies_(detail::withServiceDefaults(std::move(dependencies))),
      scene_(SCNScene::make()),
      contentNode_(SCNNode::make()),
      cameraNode_(CameraNode::make()),
      groundNode_(SCNNode::make()) {}

CanvasAdapter::~CanvasAdapter() {
    // Observers first, so that no notification reaches a half-destroyed adapter.
    observers_.clear();
}

std::shared_ptr<CanvasAdapter> CanvasAdapter::make() { return make(Dependencies{}); }

std::shared_ptr<CanvasAdapter> CanvasAdapter::make(Dependencies dependencies) {
    auto adapter = std::make_shared<CanvasAdapter>(Token{}, std::move(dependencies));
    adapter->setUp();
    return adapter;
}

void CanvasAdapter::setUp() {
    const auto& root = scene_->rootNode();
    contentNode_->setName(contentNodeName);
    root->addChildNode(contentNode_);

    auto floor = SCNFloor::make();
    floor->setReflectionFalloffEnd(20.0);
    floor->setReflectivity(0.25);
    groundNode_->setName(groundNodeName);
    groundNode_->setGeometry(floor);
    groundNode_->setPosition({0.0f, 0.0f, 0.0f});

    const auto children = root->childNodes();
    for (const auto& child : children) {
        if (child->camera()) child->removeFromParentNode();
    }
    root->addChildNode(cameraNode_);
    cameraNode_->moveCenter({0.0f, 0.0f, 0.0f});

    for (const auto& child : root->childNodes()) {
        if (child->light()) child->removeFromParentNode();
    }
    // Image-based light besides the lights, until a scene record brings its own.
    detail::useStudioEnvironment(scene_->lightingEnvironment());
    observeNotifications();
}

// ----- View -----

void CanvasAdapter::setSceneView(const std::shared_ptr<SCNView>& view) {
    view_ = view;
    dispatcher_.reset();
    if (!view) return;
    makeTouchDispatcher(view);
    setUpView(view);
    if (gesturesEnabled_) attachGestures(true);
}

void CanvasAdapter::setUpView(const std::shared_ptr<SCNView>& view) {
    if (VantrelSDK::debug3d()) {
        view->setShowsStatistics(true);
        view->setDebugOptions(SCNDebugOptions::showBoundingBoxes | SCNDebugOptions::showLightInfluences |
                              SCNDebugOptions::showCameras);
    }
    view->setScene(scene_);
    view->setPointOfView(cameraNode_->cameraLens());
    if (auto technique = SCNTechnique::techniqueWithDictionary(detail::glowDictionary())) {
        view->setTechnique(*technique);
    } else {
        VLOG_ERROR("Unable to build the glow technique due error: " + technique.error().description());
    }
    setGlowColor(CIColor::blueColor());
    applyBackground();

    std::weak_ptr<CanvasAdapter> weakSelf = weak_from_this();
    auto obtain = dependencies_.obtainSceneSettings;
    DispatchQueue::global().async([weakSelf, obtain] {
        obtain([weakSelf](std::shared_ptr<SceneEntity> record, OptionalError error) {
            if (error) {
                VLOG_ERROR("Unable to obtain scene settings due error: " + error->description());
                return;
            }
            if (!record) return;
            dispatchMain([weakSelf, record] {
                const auto self = weakSelf.lock();
                const auto attached = self ? self->sceneView() : nullptr;
                if (!attached || !attached->scene()) return;
                assignLightingEnvironment(attached->scene(), record, [](auto, OptionalError failure) {
                    if (failure) {
                        VLOG_ERROR("Unable to assign lighting settings in the scene due error: " +
                                   failure->description());
                    }
                });
            });
        });
    });
}

void CanvasAdapter::setGlowColor(const CIColor& color) {
    glowColor_ = color;
    if (const auto view = sceneView(); view && view->technique()) {
        view->technique()->setValue(
            SCNVector3{static_cast<float>(color.red), static_cast<float>(color.green), static_cast<float>(color.blue)},
            "glowColorSymbol");
    }
}

void CanvasAdapter::refresh() {
    if (const auto view = sceneView()) view->setNeedsDisplay();
}

// ----- Settings -----

void CanvasAdapter::setModelHighlightingMode(ModelHighlightingMode mode) {
    highlightingMode_ = mode;
    for (const auto& model : modelNodes_) {
        if (model->isHighlighted()) {
            model->unhighlight();
            model->highlight(mode);
        }
    }
}

void CanvasAdapter::setGroundEnabled(bool enabled) {
    groundEnabled_ = enabled;
    if (!enabled) {
        groundNode_->removeFromParentNode();
        cameraNode_->setGroundNode(nullptr);
        return;
    }
    cameraNode_->setGroundNode(groundNode_);
    for (const auto& model : modelNodes_) {
        groundFit(*model, false);
        reportTransform(*model);
    }
    scene_->rootNode()->addChildNode(groundNode_);
    const detail::TransactionScope transaction(animationDuration);
    const auto content = contentNode_->boundingSphere();
    cameraNode_->moveCenter(content.center);
    cameraNode_->setDistance(content.radius * cameraDistanceFactor);
    cameraNode_->setOrientation({0.0f, 0.0f, 0.0f, 1.0f});
    cameraNode_->rotate(0.1f, 0.1f);
}

std::optional<UIColor> CanvasAdapter::groundColor() const {
    const auto& geometry = groundNode_->geometry();
    if (!geometry || geometry->materials().empty() || !geometry->materials().front()) return std::nullopt;
    return geometry->materials().front()->diffuse().contentsColor();
}

void CanvasAdapter::setGroundColor(const UIColor& color) {
    const auto& geometry = groundNode_->geometry();
    if (!geometry) return;
    auto material = SCNMaterial::make();
    material->diffuse().setContents(color);
    material->setDoubleSided(true);
    auto materials = geometry->materials();
    if (materials.empty()) {
        materials.push_back(material);
    } else {
        materials.front() = material;
    }
    geometry->setMaterials(materials);
}

void CanvasAdapter::setSceneEnvironment(SceneEnvironment environment) {
    if (environment != sceneEnvironment_) {
        if (const auto lights = lightsDictionary_.find(sceneEnvironment_); lights != lightsDictionary_.end()) {
            for (const auto& light : lights->second) light->removeFromParentNode();
        }
    }
    sceneEnvironment_ = environment;
    relayLights();
    applyBackground();
    reshowSizes();
}

void CanvasAdapter::applyBackground() {
    if (const auto view = sceneView()) {
        // Without a colour of its own the view shows its default background.
        view->setBackgroundColor(detail::sceneBackground(sceneEnvironment_).value_or(UIColor::whiteColor()));
    }
}

void CanvasAdapter::reshowSizes() {
    const auto [line, text] = detail::sizeColors(sceneEnvironment_);
    for (const auto& model : modelNodes_) {
        if (model->isSizesShown()) {
            model->hideSizes();
            model->showSizes(line, text);
        }
    }
}

void CanvasAdapter::setShowSizes(bool show) {
    showSizes_ = show;
    const auto [line, text] = detail::sizeColors(sceneEnvironment_);
    for (const auto& model : modelNodes_) {
        if (!show) {
            model->hideSizes();
            continue;
        }
        if (model->shownSizesNode() && model->isSizesShown()) model->hideSizes();
        model->showSizes(line, text);
    }
}

void CanvasAdapter::setSnappingsEnabled(bool enabled) {
    snappingsEnabled_ = enabled;
    if (enabled) {
        const auto selected = selectedModel_;
        deselect();
        selectedModel_ = nullptr;
        applySelection();
        select(selected);
    } else {
        docking::removeSnappingNodes(modelNodes_);
    }
}

// ----- Lights -----

void CanvasAdapter::relayLights() {
    auto& lights = lightsDictionary_[sceneEnvironment_];
    if (lights.empty()) lights = detail::makeSceneLights(sceneEnvironment_);
    detail::laySceneLights(sceneEnvironment_, lights, contentNode_->boundingSphere());
    for (const auto& light : lights) {
        if (!light->parentNode()) scene_->rootNode()->addChildNode(light);
    }
}

// ----- Placement -----

void CanvasAdapter::groundFit(ModelNode& model, bool skipDrop) {
    const auto lowest = [&] {
        const auto box = model.boundingBox();
        const auto* root = scene_->rootNode().get();
        return std::min(model.convertPosition(box.min, root).y, model.convertPosition(box.max, root).y);
    };
    const float ground = groundNode_->position().y;
    if (const float low = lowest(); low < ground) {
        auto position = model.position();
        position.y += ground - low;
        model.setPosition(position);
    }
    if (skipDrop || model.isFloating()) return;
    if (const float low = lowest(); low > ground) {
        auto position = model.position();
        position.y -= low - ground;
        model.setPosition(position);
    }
}

void CanvasAdapter::setModelTransform(const std::shared_ptr<ModelNode>& model, std::optional<SCNVector3> position,
                                      std::optional<SCNQuaternion> orientation, bool skipDrop) {
    if (position) model->setPosition(*position);
    if (orientation) model->setOrientation(*orientation);
    if (groundEnabled_) groundFit(*model, skipDrop);
    reportTransform(*model);
}

void CanvasAdapter::reportTransform(const ModelNode& model) {
    if (const auto delegate = managementDelegate()) {
        delegate->onModelTransformChanged(model.id(), model.componentId(), model.position(), model.rotation());
    }
}

void CanvasAdapter::frameCamera() {
    cameraNode_->setDistance(contentNode_->boundingSphere().radius * cameraDistanceFactor);
}

void CanvasAdapter::addModel(const std::shared_ptr<ModelNode>& modelNode, std::optional<SCNVector3> position,
                             std::optional<SCNVector4> rotation, bool selectModel,
                             std::optional<SCNVector3> closeToPosition, bool notifyManagementDelegate) {
    if (!modelNode) return;
    const float radius = modelNode->boundingSphere().radius;
    if (position) {
        modelNode->setPosition(*position);
    } else if (closeToPosition) {
        modelNode->setPosition(*closeToPosition);
        // A model without extent can overlap nothing; the bound keeps a degenerate one from looping.
        const float step = 0.6f * radius;
        for (int attempt = 0; step > 0.0f && attempt < 10000 && modelNode->isOverlapped(modelNodes_); ++attempt) {
            auto stepped = modelNode->position();
            stepped.x += step;
            modelNode->setPosition(stepped);
        }
    } else {
        const auto content = contentNode_->boundingSphere();
        const auto ground = groundNode_->position();
        modelNode->setPosition({content.center.x + content.radius + radius, ground.y, ground.z});
    }
    modelNode->setRotation(rotation.value_or(SCNVector4{}));
    contentNode_->addChildNode(modelNode);
    modelNodes_.push_back(modelNode);
    if (groundEnabled_) groundFit(*modelNode, false);
    if (notifyManagementDelegate) {
        if (const auto delegate = managementDelegate()) {
            delegate->onModelAdded(modelNode->id(), modelNode->componentId(), std::nullopt);
        }
        reportTransform(*modelNode);
    }
    if (selectModel && modelSelectionEnabled_) select(modelNode);
    frameCamera();
    relayLights();
}

void CanvasAdapter::removeModel(const std::shared_ptr<ModelNode>& model) {
    model->removeFromParentNode();
    if (model == selectedModel_) {
        deselect();
        selectedModel_ = nullptr;
        applySelection();
    }
    std::erase(modelNodes_, model);
    assignedMaterials_.erase(model->id());
    if (const auto delegate = managementDelegate()) delegate->onModelRemoved(model->id(), model->componentId());
}

void CanvasAdapter::removeModelBy(const std::string& id) {
    const auto models = modelNodes_;
    for (const auto& model : models) {
        if (model->id() == id) removeModel(model);
    }
    {
        const detail::TransactionScope transaction(animationDuration);
        cameraNode_->moveCenter(contentNode_->boundingSphere().center);
    }
    relayLights();
}

void CanvasAdapter::removeModels() {
    const auto models = modelNodes_;
    for (const auto& model : models) removeModel(model);
    relayLights();
}

// ----- Selection -----

void CanvasAdapter::deselect() {
    if (!selectedModel_) return;
    docking::removeSnappingNodes(modelNodes_);
    selectedModel_->unhighlight();
    if (const auto delegate = managementDelegate()) delegate->onModelDeselected();
}

void CanvasAdapter::applySelection() {
    if (!selectedModel_) return;
    selectedModel_->highlight(highlightingMode_);
    if (snappingsEnabled_) docking::buildSnappingNodes(selectedModel_, modelNodes_);
    if (const auto delegate = managementDelegate()) {
        delegate->onModelSelected(selectedModel_->id(), selectedModel_->componentId());
    }
}

void CanvasAdapter::select(const std::shared_ptr<ModelNode>& model) {
    deselect();
    selectedModel_ = model;
    applySelection();
}

void CanvasAdapter::selectModelById(const std::string& id) { select(detail::findModel(modelNodes_, id)); }

void CanvasAdapter::resetSelection() { select(nullptr); }

// ----- Materials -----

void CanvasAdapter::assignMaterialToModel(const std::string& modelId, const NodeNamesOrNodeIds& nodeNamesOrNodeIds,
                                          const std::optional<std::string>& materialId,
                                          const std::shared_ptr<SCNMaterial>& material) {
    detail::assignAndRecordMaterial(modelNodes_, assignedMaterials_, modelId, nodeNamesOrNodeIds, materialId, material);
}

void CanvasAdapter::reapplyMaterial(const std::string& materialId, const std::shared_ptr<SCNMaterial>& material) {
    // Collected first: assigning changes the map being read.
    const auto assignments = detail::partsCarrying(assignedMaterials_, materialId);
    // A deleted material leaves the parts with their own materials, and they are no longer recorded
    // as carrying it: a later update of a record with the same id must not bring it back.
    const std::optional<std::string> recorded = material ? std::optional<std::string>(materialId) : std::nullopt;
    for (const auto& [modelId, pairs] : assignments) assignMaterialToModel(modelId, pairs, recorded, material);
}

// ----- Camera -----

void CanvasAdapter::focusToCenter(bool animate, bool resetCameraZoom, bool resetCameraOrientation) {
    const detail::TransactionScope transaction(animationDuration, animate);
    const auto content = contentNode_->boundingSphere();
    cameraNode_->moveCenter(content.center);
    if (resetCameraZoom) cameraNode_->setDistance(content.radius * cameraDistanceFactor);
    if (resetCameraOrientation) {
        cameraNode_->setOrientation({0.0f, 0.0f, 0.0f, 1.0f});
        cameraNode_->rotate(0.1f, 0.1f);
    }
}

void CanvasAdapter::cameraRotate(float xRadians, float yRadians) { cameraNode_->rotate(xRadians, yRadians); }

// ----- Hit tests -----

std::shared_ptr<ModelNode> CanvasAdapter::modelByHit(const CGPoint& location) const {
    return detail::hitAncestor<ModelNode>(sceneView().get(), location);
}

std::shared_ptr<SnappingNode> CanvasAdapter::snappingAreaByHit(const CGPoint& location) const {
    return detail::hitAncestor<SnappingNode>(sceneView().get(), location);
}

// ----- Change notifications -----

void CanvasAdapter::observeNotifications() {
    const std::weak_ptr<CanvasAdapter> weakSelf = weak_from_this();
    const auto bind = [weakSelf](auto member) {
        return [weakSelf, member](const auto&... arguments) {
            if (const auto self = weakSelf.lock()) ((*self).*member)(arguments...);
        };
    };
    observers_ = detail::observeModelNotifications(
        *dependencies_.notificationCenter, dependencies_.buildMaterial,
        {.componentUpdated = bind(&CanvasAdapter::reloadComponent),
         .componentDeleted = bind(&CanvasAdapter::removeComponentModels),
         .anchorObjectUpdated = detail::anchorObjectReloads(weakSelf, dependencies_.loadAnchorObjectModel),
         .anchorObjectDeleted = bind(&CanvasAdapter::removeAnchorObjectModels),
         .materialChanged = bind(&CanvasAdapter::reapplyMaterial),
         .sceneChanged = bind(&CanvasAdapter::applySceneRecord)});
}

void CanvasAdapter::removeComponentModels(const std::string& componentId) {
    std::vector<std::string> ids;
    for (const auto& model : modelNodes_) {
        if (model->componentId() == componentId) ids.push_back(model->id());
    }
    for (const auto& id : ids) removeModelBy(id);
}

void CanvasAdapter::applySceneRecord(const std::shared_ptr<SceneEntity>& record) {
    const auto view = sceneView();
    if (!view || !view->scene()) return;
    const std::weak_ptr<CanvasAdapter> weakSelf = weak_from_this();
    assignLightingEnvironment(view->scene(), record, [weakSelf](auto, OptionalError error) {
        const auto self = weakSelf.lock();
        if (!error || !self) return;
        if (const auto delegate = self->managementDelegate()) delegate->onSceneSettingsFailure(*error);
    });
}

void CanvasAdapter::removeAnchorObjectModels(const std::string& anchorObjectId) {
    detail::removeAnchorObjectModelsOf(modelNodes_, anchorObjectId);
}

void CanvasAdapter::reloadComponent(const std::shared_ptr<ComponentEntity>& component) {
    const auto componentId = component->objectId().value_or("");
    std::vector<std::shared_ptr<ModelNode>> models;
    std::copy_if(modelNodes_.begin(), modelNodes_.end(), std::back_inserter(models),
                 [&](const auto& model) { return model->componentId() == componentId; });
    const std::weak_ptr<CanvasAdapter> weakSelf = weak_from_this();
    for (const auto& old : models) {
        struct Remembered {
            std::string id;
            SCNVector3 position;
            SCNVector4 rotation;
            bool selected;
        };
        const Remembered remembered{old->id(), old->position(), old->rotation(), old == selectedModel_};
        detail::reloadModel(dependencies_.loadModel, component, remembered.id,
                            [weakSelf, remembered](const std::shared_ptr<ModelNode>& model) {
                                const auto self = weakSelf.lock();
                                if (!self) return;
                                self->removeModelBy(remembered.id);
                                self->addModel(model, remembered.position, remembered.rotation, false, std::nullopt,
                                               true);
                                if (remembered.selected && self->modelSelectionEnabled_) self->select(model);
                                self->frameCamera();
                                self->relayLights();
                            });
    }
}

}  // namespace vantrel
