#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <glm/mat4x4.hpp>

#include "vantrel/adapters/AdapterDependencies.hpp"
#include "vantrel/adapters/ARHitTestResult.hpp"
#include "vantrel/adapters/ARPlaneAnchor.hpp"
#include "vantrel/adapters/ARSCNView.hpp"
#include "vantrel/adapters/ArManagementDelegate.hpp"
#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/core/NotificationCenter.hpp"
#include "vantrel/graph/CGPoint.hpp"
#include "vantrel/graph/CIColor.hpp"
#include "vantrel/graph/SCNVector3.hpp"
#include "vantrel/graph/SCNVector4.hpp"
#include "vantrel/scene/ModelHighlightingMode.hpp"
#include "vantrel/scene/ModelNode.hpp"
#include "vantrel/services/ModelLoaderService.hpp"
#include "vantrel/services/ResultBlocks.hpp"

namespace vantrel {

class ComponentEntity;
class MaterialEntity;
class SceneEntity;
class SCNMaterial;
class SnappingNode;
class UIPanGestureRecognizer;
class UIPinchGestureRecognizer;
class UIRotationGestureRecognizer;
class UITapGestureRecognizer;
class UITouchDispatcher;

/// Presents loaded product models (`ModelNode`) in the camera picture of an AR session: runs and
/// pauses world tracking with plane detection, keeps the detected planes, guides the user with help
/// messages until a first floor is found, places models on a floor at the screen centre (or at a
/// given world position), selects, snaps, moves, turns and scales them by touch, shows their sizes
/// and follows the camera's light estimate.
///
/// Create it with `make` (queued work holds it weakly). It is its view's delegate, holds the view
/// and its management delegate weakly and owns everything else. Operations, gesture handlers and
/// delegate callbacks run on the main thread, which also drives the view's session; the first-plane
/// check is serialised on a queue of its own and does its reading on the main queue.
class ArAdapter : public ARSCNViewDelegate, public std::enable_shared_from_this<ArAdapter> {
    struct Token {};

public:
    using NodeNamesOrNodeIds = ModelNode::NodeNamesOrNodeIds;
    using AssignedMaterials = std::map<std::string, std::map<std::string, std::string>>;
    /// A plane node set, ordered by address.
    using NodeSet = std::set<std::shared_ptr<SCNNode>>;

    /// What lies outside the scene (the library's services unless a test replaces them).
    using Dependencies = AdapterDependencies;

    /// Intensity of the lighting environment when neither an estimate nor a scene record gives one.
    static constexpr double fallbackIntensity = 25.0;
    /// Light-estimate lumens per unit of lighting-environment intensity.
    static constexpr double lumensPerIntensity = 40.0;
    /// Seconds before the extended scanning hint.
    static constexpr double extendedHintDelay = 5.0;
    /// Seconds the selection hint stays.
    static constexpr double selectionHintDuration = 3.0;
    /// Duration of the scene transactions that snap and reset models.
    static constexpr double animationDuration = 0.3;
    /// Height band within which a detected plane taken as infinite counts for a model standing on it.
    static constexpr float planeHeightTolerance = 0.05f;

    /// Use `make`: a new adapter observing the change notifications.
    ArAdapter(Token, Dependencies dependencies);
    ~ArAdapter() override;
    ArAdapter(const ArAdapter&) = delete;
    ArAdapter& operator=(const ArAdapter&) = delete;

    [[nodiscard]] static std::shared_ptr<ArAdapter> make();
    [[nodiscard]] static std::shared_ptr<ArAdapter> make(Dependencies dependencies);

    // ----- Host wiring -----

    [[nodiscard]] std::shared_ptr<ArManagementDelegate> managementDelegate() const { return delegate_.lock(); }
    void setManagementDelegate(const std::shared_ptr<ArManagementDelegate>& delegate) { delegate_ = delegate; }
    [[nodiscard]] std::shared_ptr<ARSCNView> sceneView() const { return view_.lock(); }
    /// Attaches a view (held weakly): becomes its delegate, sets its lighting, installs the glow
    /// technique and applies the catalogue's scene settings in the background. nullptr detaches.
    void setSceneView(const std::shared_ptr<ARSCNView>& view);
    /// The gesture layer of the attached view; nullptr without view.
    [[nodiscard]] UITouchDispatcher* touchDispatcher() const noexcept { return dispatcher_.get(); }

    // ----- Session -----

    /// Runs world tracking with horizontal and vertical plane detection; a restart forgets the planes
    /// and removes every model first.
    void runArSession(bool restartArExperience);
    /// Pauses the session.
    void pauseArSession();

    // ----- Settings -----

    [[nodiscard]] std::optional<double> defaultIntensity() const noexcept { return defaultIntensity_; }
    void setDefaultIntensity(std::optional<double> intensity) noexcept { defaultIntensity_ = intensity; }
    [[nodiscard]] ModelHighlightingMode modelHighlightingMode() const noexcept { return highlightingMode_; }
    void setModelHighlightingMode(ModelHighlightingMode mode);
    [[nodiscard]] const CIColor& glowColor() const noexcept { return glowColor_; }
    void setGlowColor(const CIColor& color);
    [[nodiscard]] bool snappingsEnabled() const noexcept { return snappingsEnabled_; }
    void setSnappingsEnabled(bool enabled) noexcept { snappingsEnabled_ = enabled; }
    [[nodiscard]] bool overlappingOfModelsAllowed() const noexcept { return overlappingAllowed_; }
    void setOverlappingOfModelsAllowed(bool allowed) noexcept { overlappingAllowed_ = allowed; }
    [[nodiscard]] bool showSizes() const noexcept { return showSizes_; }
    /// Shows (white lines, black text) or removes the sizes of every model.
    void setShowSizes(bool show);
    [[nodiscard]] bool gesturesEnabled() const noexcept { return gesturesEnabled_; }
    /// Attaches (creating them on first use) or removes the five recognizers, on the main queue.
    void setGesturesEnabled(bool enabled);
    [[nodiscard]] bool movementEnabled() const noexcept { return movementEnabled_; }
    void setMovementEnabled(bool enabled) noexcept { movementEnabled_ = enabled; }
    [[nodiscard]] bool rotationEnabled() const noexcept { return rotationEnabled_; }
    void setRotationEnabled(bool enabled) noexcept { rotationEnabled_ = enabled; }
    [[nodiscard]] bool scalingEnabled() const noexcept { return scalingEnabled_; }
    void setScalingEnabled(bool enabled) noexcept { scalingEnabled_ = enabled; }

    // ----- Planes -----

    [[nodiscard]] const std::set<std::shared_ptr<ARPlaneAnchor>>& planeAnchors() const noexcept {
        return planeAnchors_;
    }
    [[nodiscard]] const NodeSet& planeNodesVertical() const noexcept { return planeNodesVertical_; }
    [[nodiscard]] const NodeSet& planeNodesHorizontal() const noexcept { return planeNodesHorizontal_; }
    [[nodiscard]] bool firstPlaneDetected() const noexcept { return firstPlaneDetected_; }
    /// The serial queue of the first-plane check (labelled "FirstPlaneQueue_" and a new UUID).
    [[nodiscard]] const std::shared_ptr<DispatchQueue>& firstPlaneQueue() const noexcept { return firstPlaneQueue_; }

    // ----- Models -----

    [[nodiscard]] const std::vector<std::shared_ptr<ModelNode>>& modelNodes() const noexcept { return modelNodes_; }
    [[nodiscard]] const std::shared_ptr<ModelNode>& selectedModel() const noexcept { return selectedModel_; }
    [[nodiscard]] const std::map<std::string, glm::mat4>& initialModelTransforms() const noexcept {
        return initialModelTransforms_;
    }
    [[nodiscard]] const AssignedMaterials& assignedMaterials() const noexcept { return assignedMaterials_; }
    [[nodiscard]] bool isEmpty() const noexcept { return modelNodes_.empty(); }

    /// Places a model at `simdWorldPosition`, or on a floor at the screen centre; without a floor the
    /// delegate hears of the failure through `onModelAdded` and nothing is added.
    void addModel(const std::shared_ptr<ModelNode>& modelNode,
                  const std::optional<SCNVector3>& simdWorldPosition = std::nullopt, bool selectModel = false);
    void removeModelBy(const std::string& id);
    void removeModels();
    void selectModelById(const std::string& id);
    void resetSelection();
    void assignMaterialToModel(const std::string& modelId, const NodeNamesOrNodeIds& nodeNamesOrNodeIds,
                               const std::optional<std::string>& materialId,
                               const std::shared_ptr<SCNMaterial>& material);

    // ----- Hit tests -----

    [[nodiscard]] std::shared_ptr<ModelNode> modelByHit(const CGPoint& location) const;
    [[nodiscard]] std::shared_ptr<SnappingNode> snappingAreaByHit(const CGPoint& location) const;

    // ----- View delegate -----

    void rendererDidAddNode(ARSCNView& view, const std::shared_ptr<SCNNode>& node,
                            const std::shared_ptr<ARAnchor>& anchor) override;
    void rendererDidUpdateNode(ARSCNView& view, const std::shared_ptr<SCNNode>& node,
                               const std::shared_ptr<ARAnchor>& anchor) override;
    void rendererDidRemoveNode(ARSCNView& view, const std::shared_ptr<SCNNode>& node,
                               const std::shared_ptr<ARAnchor>& anchor) override;
    void rendererUpdateAtTime(ARSCNView& view, double time) override;
    void sessionDidFailWithError(ARSession& session, const Error& error) override;
    void sessionCameraDidChangeTrackingState(ARSession& session, const ARCamera& camera) override;

    // ----- Gestures -----

    void handlePanGesture(UIPanGestureRecognizer& recognizer);
    void handlePinchGesture(UIPinchGestureRecognizer& recognizer);
    void handleRotationGesture(UIRotationGestureRecognizer& recognizer);
    void handleSingleTapGesture(UITapGestureRecognizer& recognizer);
    void handleDoubleTapGesture(UITapGestureRecognizer& recognizer);

private:
    void setUpView(const std::shared_ptr<ARSCNView>& view);
    void showPlaneDiscoveryHint();
    void checkFirstPlane();
    CGPoint screenCenter();
    void place(const std::shared_ptr<ModelNode>& model, const glm::mat4& target, bool selectModel);
    void removeModel(const std::shared_ptr<ModelNode>& model);
    void deselect();
    void select(const std::shared_ptr<ModelNode>& model);
    void reportTransform(const ModelNode& model);
    void changeTransform(ModelNode& model, std::optional<SCNVector3> translation,
                         std::optional<SCNQuaternion> orientation);
    void showHelp(ArHelpMessageType type, const std::string& message);
    void hideHelp();
    void attachGestures(bool enabled);
    void endModelMove();
    void clearModelMove();

    // Record changes (on the main queue).
    void observeNotifications();
    void reloadComponent(const std::shared_ptr<ComponentEntity>& component);
    void removeComponentModels(const std::string& componentId);
    void removeAnchorObjectModels(const std::string& anchorObjectId);
    void reapplyMaterial(const std::string& materialId, const std::shared_ptr<SCNMaterial>& material);
    void applySceneRecord(const std::shared_ptr<SceneEntity>& record);

    Dependencies dependencies_;
    std::weak_ptr<ArManagementDelegate> delegate_;
    std::optional<double> defaultIntensity_;
    std::optional<CGPoint> screenCenter_;
    std::weak_ptr<ARSCNView> view_;
    ModelHighlightingMode highlightingMode_ = ModelHighlightingMode::glow;
    CIColor glowColor_ = CIColor::blueColor();
    std::vector<std::shared_ptr<ModelNode>> modelNodes_;
    std::shared_ptr<ModelNode> selectedModel_;
    std::map<std::string, glm::mat4> initialModelTransforms_;
    bool snappingsEnabled_ = true;
    bool overlappingAllowed_ = false;
    AssignedMaterials assignedMaterials_;
    bool showSizes_ = false;
    std::set<std::shared_ptr<ARPlaneAnchor>> planeAnchors_;
    NodeSet planeNodesVertical_;
    NodeSet planeNodesHorizontal_;
    std::shared_ptr<DispatchQueue> firstPlaneQueue_;
    bool firstPlaneDetected_ = false;

    std::shared_ptr<UITouchDispatcher> dispatcher_;
    std::shared_ptr<UIPanGestureRecognizer> panRecognizer_;
    std::shared_ptr<UIPinchGestureRecognizer> pinchRecognizer_;
    std::shared_ptr<UIRotationGestureRecognizer> rotationRecognizer_;
    std::shared_ptr<UITapGestureRecognizer> singleTapRecognizer_;
    std::shared_ptr<UITapGestureRecognizer> doubleTapRecognizer_;
    bool gesturesEnabled_ = false;
    bool movementEnabled_ = false;
    bool rotationEnabled_ = false;
    bool scalingEnabled_ = false;
    float modelMoveZDepth_ = 0.0f;
    SCNVector3 modelMovePrevPosition_;
    std::optional<SCNVector3> modelMoveStartPosition_;

    std::vector<ScopedObserver> observers_;
};

}  // namespace vantrel

#pragma GCC visibility pop
