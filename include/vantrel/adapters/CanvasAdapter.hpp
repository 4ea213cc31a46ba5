#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "vantrel/adapters/AdapterDependencies.hpp"
#include "vantrel/adapters/CameraNode.hpp"
#include "vantrel/adapters/CanvasManagementDelegate.hpp"
#include "vantrel/adapters/GestureAction.hpp"
#include "vantrel/adapters/SceneEnvironment.hpp"
#include "vantrel/core/NotificationCenter.hpp"
#include "vantrel/graph/CGPoint.hpp"
#include "vantrel/graph/CIColor.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNScene.hpp"
#include "vantrel/graph/SCNVector3.hpp"
#include "vantrel/graph/SCNVector4.hpp"
#include "vantrel/graph/UIColor.hpp"
#include "vantrel/scene/ModelHighlightingMode.hpp"
#include "vantrel/scene/ModelNode.hpp"
#include "vantrel/services/ModelLoaderService.hpp"
#include "vantrel/services/ResultBlocks.hpp"

namespace vantrel {

class ComponentEntity;
class MaterialEntity;
class SCNView;
class SceneEntity;
class SnappingNode;
class UIGestureRecognizer;
class UILongPressGestureRecognizer;
class UIPanGestureRecognizer;
class UIPinchGestureRecognizer;
class UIRotationGestureRecognizer;
class UITapGestureRecognizer;
class UITouchDispatcher;

/// Presents loaded product models (`ModelNode`) in a plain 3D view: a scene with a content node that
/// holds the models, an optional ground, the orbiting camera rig and the lights of a scene
/// environment. It places, selects, highlights, snaps and moves models, keeps them from overlapping,
/// shows their sizes, turns touches into camera and model moves, and keeps the models current when
/// their catalogue records change; every change a host must know of goes to the management delegate.
///
/// Create it with `make` (completions and observers hold it weakly). It holds its view and its
/// delegate weakly and owns everything else. Every operation, every gesture handler and every delegate
/// callback runs on the main thread; the library's change notifications are taken on whatever thread
/// posts them and handled on the main queue. Reloads of changed components and the building of
/// changed materials run on the global queue and come back to the main queue.
class CanvasAdapter : public std::enable_shared_from_this<CanvasAdapter> {
    struct Token {};

public:
    /// (node name, node id) pairs naming parts of a model.
    using NodeNamesOrNodeIds = ModelNode::NodeNamesOrNodeIds;
    /// Material ids by "nodeName:nodeId", by model id.
    using AssignedMaterials = std::map<std::string, std::map<std::string, std::string>>;

    /// What lies outside the scene (the library's services unless a test replaces them).
    using Dependencies = AdapterDependencies;

    /// Camera distance as a multiple of the content's bounding-sphere radius.
    static constexpr float cameraDistanceFactor = 2.5f;
    /// Duration of the scene transactions that move the camera and snap models.
    static constexpr double animationDuration = 0.3;
    /// Name of the content node.
    static constexpr const char* contentNodeName = "CANVAS CONTENT";
    /// Name of the ground node.
    static constexpr const char* groundNodeName = "groundNode";

    /// Use `make`.
    CanvasAdapter(Token, Dependencies dependencies);
    ~CanvasAdapter();
    CanvasAdapter(const CanvasAdapter&) = delete;
    CanvasAdapter& operator=(const CanvasAdapter&) = delete;

    /// A new adapter: an empty scene with the content node and the camera rig (centred on the origin),
    /// the ground set up but not shown, no lights yet, observing the change notifications.
    [[nodiscard]] static std::shared_ptr<CanvasAdapter> make();
    /// The same with some of the dependencies replaced (the others keep their defaults).
    [[nodiscard]] static std::shared_ptr<CanvasAdapter> make(Dependencies dependencies);

    // ----- Host wiring -----

    /// The delegate, or nullptr when none is set or it has gone.
    [[nodiscard]] std::shared_ptr<CanvasManagementDelegate> managementDelegate() const { return delegate_.lock(); }
    /// Sets the delegate (held weakly).
    void setManagementDelegate(const std::shared_ptr<CanvasManagementDelegate>& delegate) { delegate_ = delegate; }
    /// The view, or nullptr when none is attached or it has gone.
    [[nodiscard]] std::shared_ptr<SCNView> sceneView() const { return view_.lock(); }
    /// Attaches a view (held weakly): it shows the scene through the camera rig with the glow
    /// technique, gets a touch dispatcher of its own, and the catalogue's scene settings are applied to
    /// it in the background. nullptr detaches.
    void setSceneView(const std::shared_ptr<SCNView>& view);
    /// The gesture layer of the attached view, which the host feeds with touches; nullptr without view.
    [[nodiscard]] UITouchDispatcher* touchDispatcher() const noexcept { return dispatcher_.get(); }

    // ----- Scene -----

    [[nodiscard]] const std::shared_ptr<SCNScene>& scene() const noexcept { return scene_; }
    [[nodiscard]] const std::shared_ptr<SCNNode>& contentNode() const noexcept { return contentNode_; }
    [[nodiscard]] const std::shared_ptr<CameraNode>& cameraNode() const noexcept { return cameraNode_; }
    [[nodiscard]] const std::shared_ptr<SCNNode>& groundNode() const noexcept { return groundNode_; }
    /// Light nodes made so far, by environment.
    [[nodiscard]] const std::map<SceneEnvironment, std::vector<std::shared_ptr<SCNNode>>>& lightsDictionary()
        const noexcept {
        return lightsDictionary_;
    }

    // ----- Settings -----

    [[nodiscard]] const CIColor& glowColor() const noexcept { return glowColor_; }
    /// Sets the glow colour and writes it into the view's technique.
    void setGlowColor(const CIColor& color);
    [[nodiscard]] ModelHighlightingMode modelHighlightingMode() const noexcept { return highlightingMode_; }
    /// Sets the mode and re-highlights every highlighted model with it.
    void setModelHighlightingMode(ModelHighlightingMode mode);
    [[nodiscard]] bool cameraControlEnabled() const noexcept { return cameraControlEnabled_; }
    void setCameraControlEnabled(bool enabled) noexcept { cameraControlEnabled_ = enabled; }
    [[nodiscard]] bool resetCameraPropertiesOnFocusToCenter() const noexcept { return resetCameraOnFocus_; }
    void setResetCameraPropertiesOnFocusToCenter(bool reset) noexcept { resetCameraOnFocus_ = reset; }
    [[nodiscard]] bool modelSelectionEnabled() const noexcept { return modelSelectionEnabled_; }
    void setModelSelectionEnabled(bool enabled) noexcept { modelSelectionEnabled_ = enabled; }
    [[nodiscard]] bool groundEnabled() const noexcept { return groundEnabled_; }
    /// Shows the ground (every model is fitted onto it and reported, the camera re-centred and kept
    /// above it) or takes it away.
    void setGroundEnabled(bool enabled);
    /// The ground's colour when its first material shows one.
    [[nodiscard]] std::optional<UIColor> groundColor() const;
    /// Gives the ground a new double-sided material of `color`.
    void setGroundColor(const UIColor& color);
    [[nodiscard]] SceneEnvironment sceneEnvironment() const noexcept { return sceneEnvironment_; }
    /// Switches the lights, the view's background and the colours of shown sizes.
    void setSceneEnvironment(SceneEnvironment environment);
    [[nodiscard]] bool snappingsEnabled() const noexcept { return snappingsEnabled_; }
    /// On: rebuilds the selected model's snapping points. Off: removes every snapping point.
    void setSnappingsEnabled(bool enabled);
    [[nodiscard]] bool overlappingOfModelsAllowed() const noexcept { return overlappingAllowed_; }
    void setOverlappingOfModelsAllowed(bool allowed) noexcept { overlappingAllowed_ = allowed; }
    [[nodiscard]] bool showSizes() const noexcept { return showSizes_; }
    /// Shows (with the environment's colours) or hides the sizes of the models present now.
    void setShowSizes(bool show);
    [[nodiscard]] bool gesturesEnabled() const noexcept { return gesturesEnabled_; }
    /// Attaches (creating them on first use) or removes the six recognizers, on the main queue.
    void setGesturesEnabled(bool enabled);

    // ----- Models -----

    [[nodiscard]] const std::vector<std::shared_ptr<ModelNode>>& modelNodes() const noexcept { return modelNodes_; }
    [[nodiscard]] const std::shared_ptr<ModelNode>& selectedModel() const noexcept { return selectedModel_; }
    [[nodiscard]] const AssignedMaterials& assignedMaterials() const noexcept { return assignedMaterials_; }
    [[nodiscard]] bool isEmpty() const noexcept { return modelNodes_.empty(); }

    /// Places and adds a model: at `position`; else from `closeToPosition` stepped along +x until it
    /// overlaps no model; else right of the content, touching its bounding sphere, on the ground. Then
    /// turns it by `rotation` (axis and angle), fits it onto the ground, reports it when
    /// `notifyManagementDelegate`, selects it when `selectModel` (and selection is enabled), and
    /// re-frames the camera and the lights.
    void addModel(const std::shared_ptr<ModelNode>& modelNode, std::optional<SCNVector3> position = std::nullopt,
                  std::optional<SCNVector4> rotation = std::nullopt, bool selectModel = false,
                  std::optional<SCNVector3> closeToPosition = std::nullopt, bool notifyManagementDelegate = true);
    /// Removes every model with `id`, then re-centres the camera and the lights.
    void removeModelBy(const std::string& id);
    /// Removes all models.
    void removeModels();
    /// Selects the first model with `id`, or clears the selection when none has it.
    void selectModelById(const std::string& id);
    /// Clears the selection.
    void resetSelection();
    /// Puts `material` on the named parts of the model `modelId` and records `materialId` for them
    /// (no id forgets them).
    void assignMaterialToModel(const std::string& modelId, const NodeNamesOrNodeIds& nodeNamesOrNodeIds,
                               const std::optional<std::string>& materialId,
                               const std::shared_ptr<SCNMaterial>& material);

    // ----- Camera -----

    /// Re-centres the camera on the content; optionally re-frames the distance and the orientation.
    void focusToCenter(bool animate, bool resetCameraZoom, bool resetCameraOrientation);
    /// Orbits the camera by fractions of a turn (see `CameraNode::rotate`).
    void cameraRotate(float xRadians, float yRadians);
    /// Asks the view for a new frame.
    void refresh();

    // ----- Hit tests -----

    /// The model under a view point, or nullptr.
    [[nodiscard]] std::shared_ptr<ModelNode> modelByHit(const CGPoint& location) const;
    /// The snapping point under a view point, or nullptr.
    [[nodiscard]] std::shared_ptr<SnappingNode> snappingAreaByHit(const CGPoint& location) const;

    // ----- Gestures -----

    [[nodiscard]] std::optional<GestureAction> gestureAction() const noexcept { return gestureAction_; }
    void handlePanGesture(UIPanGestureRecognizer& recognizer);
    void handlePinchGesture(UIPinchGestureRecognizer& recognizer);
    void handleRotationGesture(UIRotationGestureRecognizer& recognizer);
    void handleSingleTapGesture(UITapGestureRecognizer& recognizer);
    void handleDoubleTapGesture(UITapGestureRecognizer& recognizer);
    void handleLongPressGesture(UILongPressGestureRecognizer& recognizer);

private:
    void setUp();
    void setUpView(const std::shared_ptr<SCNView>& view);
    void observeNotifications();

    // Placement and transforms.
    void groundFit(ModelNode& model, bool skipDrop);
    void setModelTransform(const std::shared_ptr<ModelNode>& model, std::optional<SCNVector3> position,
                           std::optional<SCNQuaternion> orientation, bool skipDrop);
    void reportTransform(const ModelNode& model);
    void frameCamera();
    void removeModel(const std::shared_ptr<ModelNode>& model);

    // Selection.
    void deselect();
    void applySelection();
    void select(const std::shared_ptr<ModelNode>& model);

    // Lights.
    void relayLights();
    void applyBackground();
    void reshowSizes();

    // Change notifications (on the main queue).
    void reloadComponent(const std::shared_ptr<ComponentEntity>& component);
    void reapplyMaterial(const std::string& materialId, const std::shared_ptr<SCNMaterial>& material);
    void applySceneRecord(const std::shared_ptr<SceneEntity>& record);
    void removeAnchorObjectModels(const std::string& anchorObjectId);
    void removeComponentModels(const std::string& componentId);

    // Gestures.
    void makeTouchDispatcher(const std::shared_ptr<SCNView>& view);
    void attachGestures(bool enabled);
    void clearGestureAction();
    void endModelMove();

    Dependencies dependencies_;
    std::weak_ptr<CanvasManagementDelegate> delegate_;
    std::weak_ptr<SCNView> view_;
    CIColor glowColor_ = CIColor::blueColor();
    std::shared_ptr<SCNScene> scene_;
    std::shared_ptr<SCNNode> contentNode_;
    ModelHighlightingMode highlightingMode_ = ModelHighlightingMode::glow;
    std::shared_ptr<CameraNode> cameraNode_;
    bool cameraControlEnabled_ = false;
    bool resetCameraOnFocus_ = false;
    bool modelSelectionEnabled_ = false;
    std::shared_ptr<SCNNode> groundNode_;
    bool groundEnabled_ = false;
    std::map<SceneEnvironment, std::vector<std::shared_ptr<SCNNode>>> lightsDictionary_;
    SceneEnvironment sceneEnvironment_ = SceneEnvironment::basicLight;
    std::vector<std::shared_ptr<ModelNode>> modelNodes_;
    std::shared_ptr<ModelNode> selectedModel_;
    bool snappingsEnabled_ = true;
    bool overlappingAllowed_ = false;
    AssignedMaterials assignedMaterials_;
    bool showSizes_ = false;

    std::shared_ptr<UITouchDispatcher> dispatcher_;
    std::shared_ptr<UIPanGestureRecognizer> panRecognizer_;
    std::shared_ptr<UIPinchGestureRecognizer> pinchRecognizer_;
    std::shared_ptr<UIRotationGestureRecognizer> rotationRecognizer_;
    std::shared_ptr<UITapGestureRecognizer> singleTapRecognizer_;
    std::shared_ptr<UITapGestureRecognizer> doubleTapRecognizer_;
    std::shared_ptr<UILongPressGestureRecognizer> longPressRecognizer_;
    bool gesturesEnabled_ = false;
    std::optional<GestureAction> gestureAction_;
    float modelMoveZDepth_ = 0.0f;
    SCNVector3 modelMovePrevPosition_;
    std::optional<SCNVector3> modelMoveStartPosition_;
    float cameraMoveZDepth_ = 0.0f;
    SCNVector3 cameraMovePrevPosition_;
    // Where the finger was at the last step of a move, to find the step's length on the move's plane.
    CGPoint moveLastLocation_;

    std::vector<ScopedObserver> observers_;
};

}  // namespace vantrel

#pragma GCC visibility pop
