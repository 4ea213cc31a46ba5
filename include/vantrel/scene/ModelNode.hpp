#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "vantrel/domain/SnappingAreaEntity.hpp"
#include "vantrel/graph/SCNBoundingVolume.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNVector3.hpp"
#include "vantrel/graph/SCNVector4.hpp"
#include "vantrel/graph/UIColor.hpp"
#include "vantrel/scene/ModelHighlightingMode.hpp"

namespace vantrel {

class AnchorObjectModelNode;
class SnappingNode;
class SnappingObstacles;

/// The scene node of one placed product model.
///
/// The model's own nodes hang below `contentNode()`, the first child; everything the library adds
/// around a product (the dimension display, snapping points, anchor-object models) hangs on the model
/// node itself, so that it never mixes with the product's parts. Highlighting moves or marks only the
/// content.
///
/// Create it with `make` (it must be owned by a `std::shared_ptr`, as every node). Like all nodes it
/// belongs to the main thread.
class ModelNode : public SCNNode {
public:
    /// Snapping points this model carries, by the `id` of the model that would dock at them.
    using SnappingNodesDictionary = std::map<std::string, std::vector<std::shared_ptr<SnappingNode>>>;
    /// Materials of re-coloured parts as they were before their first re-colouring, by part node.
    using DefaultMaterialsDictionary = std::map<std::shared_ptr<SCNNode>, std::vector<std::shared_ptr<SCNMaterial>>>;
    /// Parts named by the catalogue: (node name, node id) pairs.
    using NodeNamesOrNodeIds = std::vector<std::pair<std::string, std::string>>;

    /// Name of the content node.
    static constexpr const char* contentNodeName = "MODEL_CONTENT";
    /// Key of the content node's bobbing action while the model levitates.
    static constexpr const char* highlightingAnimationKey = "HIGHLIGHTING_ANIMATION";
    /// Category bit the adapters' glow technique draws into its mask.
    static constexpr std::uint64_t glowCategoryBitMask = 2;
    /// How far two models may reach into each other on an axis and still stand side by side: models
    /// docked face to face meet with rounding noise, and hand-placed ones graze each other.
    static constexpr float overlapTolerance = 0.005f;

    /// A model with the given identity and an empty content node.
    ModelNode(std::string id, std::string componentId);
    /// A model with two new, independent UUID strings as `id` and `componentId`.
    ModelNode();
    ~ModelNode() override;

    /// A new model with the given identity.
    [[nodiscard]] static std::shared_ptr<ModelNode> make(std::string id, std::string componentId);
    /// A new model with new UUID strings as identity.
    [[nodiscard]] static std::shared_ptr<ModelNode> make();

    // ----- Stored state -----

    /// Identity of this placement; one component may be placed several times.
    [[nodiscard]] const std::string& id() const noexcept { return id_; }
    /// `objectId` of the component record the model shows.
    [[nodiscard]] const std::string& componentId() const noexcept { return componentId_; }
    /// Container of the dimension display; a child of the model only while sizes are shown.
    [[nodiscard]] const std::shared_ptr<SCNNode>& shownSizesNode() const noexcept { return shownSizesNode_; }
    /// The highlight applied now, or nothing.
    [[nodiscard]] std::optional<ModelHighlightingMode> highlightedMode() const noexcept { return highlightedMode_; }
    /// Where the content node rested before the levitation lifted it; zero when not levitating.
    [[nodiscard]] SCNVector3 highlightLevitationInitialPosition() const noexcept {
        return highlightLevitationInitialPosition_;
    }
    /// True for a product that hangs free (a wall or ceiling item): it never levitates.
    [[nodiscard]] bool isFloating() const noexcept { return isFloating_; }
    /// Marks the product as hanging free or standing.
    void setFloating(bool floating) noexcept { isFloating_ = floating; }
    /// The component's snapping areas.
    [[nodiscard]] std::vector<std::shared_ptr<SnappingAreaEntity>>& snappingAreas() noexcept { return snappingAreas_; }
    [[nodiscard]] const std::vector<std::shared_ptr<SnappingAreaEntity>>& snappingAreas() const noexcept {
        return snappingAreas_;
    }
    /// Snapping points shown on this model, grouped by the model that would dock.
    [[nodiscard]] SnappingNodesDictionary& snappingNodesDictionary() noexcept { return snappingNodesDictionary_; }
    [[nodiscard]] const SnappingNodesDictionary& snappingNodesDictionary() const noexcept {
        return snappingNodesDictionary_;
    }
    /// Default materials of re-coloured parts, so that a re-colouring can be undone.
    [[nodiscard]] DefaultMaterialsDictionary& defaultMaterialsDictionary() noexcept {
        return defaultMaterialsDictionary_;
    }
    [[nodiscard]] const DefaultMaterialsDictionary& defaultMaterialsDictionary() const noexcept {
        return defaultMaterialsDictionary_;
    }
    /// The child named "MODEL_CONTENT" that holds the product's own nodes.
    [[nodiscard]] const std::shared_ptr<SCNNode>& contentNode() const noexcept { return contentNode_; }
    /// Attached anchor-object models in the order they were attached; each is also a child of the model.
    [[nodiscard]] std::vector<std::shared_ptr<AnchorObjectModelNode>>& anchorObjectModels() noexcept {
        return anchorObjectModels_;
    }
    [[nodiscard]] const std::vector<std::shared_ptr<AnchorObjectModelNode>>& anchorObjectModels() const noexcept {
        return anchorObjectModels_;
    }

    // ----- Content -----

    /// Appends `nodes`, in order, to the content node; null entries are skipped.
    void add(const std::vector<std::shared_ptr<SCNNode>>& nodes);

    // ----- Materials -----

    /// Puts `material` on every part below the model (its content and attached models, at all
    /// depths) that a pair selects, in search order; none restores the parts' own materials. A named
    /// node is selected, once, when its name ends with "_" and a pair's node name, or equals a
    /// pair's node id or node name; blank names and ids select nothing.
    void assignMaterial(const std::shared_ptr<SCNMaterial>& material, const NodeNamesOrNodeIds& nodeNamesOrNodeIds);
    /// Gives `node`'s geometry `material` followed by the node's default materials (captured on its
    /// first assignment and kept); none leaves the defaults alone. A node without geometry is left
    /// alone. The node gets a geometry of its own (same mesh), so other nodes or placements that
    /// showed the same geometry keep their materials.
    void assignMaterial(const std::shared_ptr<SCNMaterial>& material, const std::shared_ptr<SCNNode>& node);

    /// Names of the material variants the model's parts offer (glTF's material variants), in the
    /// file's order, each once; empty for a model without variants.
    [[nodiscard]] std::vector<std::string> materialVariantNames() const;
    /// The variant shown now, or nothing (the parts' own materials).
    [[nodiscard]] const std::optional<std::string>& appliedMaterialVariant() const noexcept {
        return appliedMaterialVariant_;
    }
    /// Shows variant `name` on every part below the model that offers it; none restores the parts'
    /// own materials. It is applied and undone as an assigned material is: the parts' own materials
    /// are captured in `defaultMaterialsDictionary` first and each part gets a geometry of its own. A
    /// material assigned by `assignMaterial` stays in front of the variant's, and assigning one later
    /// keeps the variant behind it. False, and nothing changes, for a name no part offers.
    bool applyMaterialVariant(const std::optional<std::string>& name);
    // ----- Highlighting -----

    /// True while a highlight is applied.
    [[nodiscard]] bool isHighlighted() const noexcept { return highlightedMode_.has_value(); }
    /// Applies `mode` unless a highlight is applied already (switching needs `unhighlight` first).
    ///
    /// `glow` puts the content's geometry-bearing nodes into `glowCategoryBitMask`. `levitation` lifts
    /// the content by 0.005 at once and by a tenth of its height more over a quarter second, then bobs
    /// it by that tenth; a floating model is only marked as highlighted.
    void highlight(ModelHighlightingMode mode);
    /// Removes the applied highlight; a levitating content settles back to its resting height over a
    /// quarter second. Nothing happens without a highlight.
    void unhighlight();

    // ----- Dimension display -----

    /// True while the dimension display is attached.
    [[nodiscard]] bool isSizesShown() const;
    /// Builds the dimension display afresh from the content's resting box: width, depth and height
    /// lines with arrowheads and labels in millimetres. A levitating model keeps levitating.
    void showSizes(const UIColor& lineColor, const UIColor& textColor);
    /// Detaches the dimension display and empties it.
    void hideSizes();

    // ----- Anchor-object models -----

    /// Attaches `model` as a child of this node (not of the content) and appends it to
    /// `anchorObjectModels`: its position is the content node's plus `offsetPosition`, its orientation
    /// the content node's plus `offsetOrientation` component by component (as the catalogue's
    /// connections are written), its scale `scale`.
    void attachAnchorObjectModel(const std::shared_ptr<AnchorObjectModelNode>& model, const SCNVector3& offsetPosition,
                                 const SCNVector4& offsetOrientation, const SCNVector3& scale);
    /// Detaches every attached anchor-object model whose `id` is `id`; the others keep their order.
    void removeAnchorObjectModels(const std::string& id);

    // ----- Overlap -----

    /// True when this model overlaps any other model of `models` (itself and null entries are
    /// skipped), by the boxes of `overlapBoundingBox` and the rule of `boxesOverlap`.
    [[nodiscard]] bool isOverlapped(const std::vector<std::shared_ptr<ModelNode>>& models) const;
    /// The world-space box the overlap test compares: the geometry of the model and everything on it
    /// (content, attached models) as it stands, turned and scaled, with a levitating content counted
    /// at rest and without the dimension display. An empty box at the model's position when there is
    /// no geometry.
    [[nodiscard]] SCNBoundingBox overlapBoundingBox() const;
    /// True when the boxes reach into each other by more than `overlapTolerance` on all three axes.
    [[nodiscard]] static bool boxesOverlap(const SCNBoundingBox& a, const SCNBoundingBox& b);

    // ----- Snapping points -----

    /// Attaches every snapping point recorded under `key` (the `id` of the model that would dock) as a
    /// child of this model, then refreshes all its points against `models`.
    void addSnappingNodes(const std::string& key, const std::vector<std::shared_ptr<ModelNode>>& models);
    /// Recomputes the visibility of every point this model carries: a point shows when its snapping
    /// model exists and does not sit on it, and no model of `models` stands in the way of its preview.
    void refreshSnappingNodes(const std::vector<std::shared_ptr<ModelNode>>& models);
    /// The same against obstacles gathered once for many carriers.
    void refreshSnappingNodesBlockedBy(const SnappingObstacles& obstacles);
    /// Detaches every snapping point this model carries and empties `snappingNodesDictionary`.
    void removeSnappingNodes();
    /// What a snapping point shows of this model: clones of the product's nodes (content and attached
    /// models, without the dimension display and snapping points) standing at rest, without glow.
    [[nodiscard]] std::vector<std::shared_ptr<SCNNode>> snappingPreviewNodes() const;

    /// A copy with a new `id` and the same component, floating flag and snapping areas, standing
    /// un-highlighted and at rest. Its content and dimension display are its own clones, and its
    /// default materials are keyed by its own parts. Its anchor-object models are its own cloned
    /// children, and its snapping-point lists hold its own cloned points, carried by the copy.
    [[nodiscard]] std::shared_ptr<SCNNode> clone() const override;

protected:
    /// Copies identity-independent state for `clone()`; the children follow separately.
    ModelNode(const ModelNode& other);

private:
    /// Points a clone's anchor-object list at its own cloned children (`counterpart` maps a node of the
    /// original to its copy, or to nullptr).
    void adoptClonedAnchorObjectModels(
        const ModelNode& original,
        const std::function<std::shared_ptr<SCNNode>(const std::shared_ptr<SCNNode>&)>& counterpart);
    /// The content box in the model's coordinates, with a levitating content counted at rest.
    [[nodiscard]] SCNBoundingBox restingContentBox() const;
    /// The content's transform, without the lift of a levitation.
    [[nodiscard]] glm::mat4 restingContentTransform() const;
    void startLevitation();
    void endLevitation();
    /// True for a snapping point, which stands beside the product and is never part of its box.
    [[nodiscard]] static bool isSnappingNode(const SCNNode& node);
    /// Records in this copy the clones of `original`'s snapping points, found through `counterpart`.
    void adoptClonedSnappingNodes(
        const ModelNode& original,
        const std::function<std::shared_ptr<SCNNode>(const std::shared_ptr<SCNNode>&)>& counterpart);
    /// Gives `node` (whose defaults are captured) its assigned material and its variant's or own materials.
    void showMaterials(const std::shared_ptr<SCNNode>& node);
    /// Calls `visit` with each child that belongs to the product and the transform it stands in at rest.
    void forEachProductChild(const std::function<void(const std::shared_ptr<SCNNode>&, const glm::mat4&)>& visit) const;

    std::string id_;
    std::string componentId_;
    std::shared_ptr<SCNNode> shownSizesNode_;
    std::optional<ModelHighlightingMode> highlightedMode_;
    SCNVector3 highlightLevitationInitialPosition_;
    bool isFloating_ = false;
    std::vector<std::shared_ptr<SnappingAreaEntity>> snappingAreas_;
    SnappingNodesDictionary snappingNodesDictionary_;
    DefaultMaterialsDictionary defaultMaterialsDictionary_;
    // What `assignMaterial` put in front of each part's materials, and the variant behind it.
    std::map<std::shared_ptr<SCNNode>, std::shared_ptr<SCNMaterial>> assignedMaterials_;
    std::optional<std::string> appliedMaterialVariant_;
    std::shared_ptr<SCNNode> contentNode_;
    std::vector<std::shared_ptr<AnchorObjectModelNode>> anchorObjectModels_;
    // Whether the content was actually lifted, which the floating flag alone cannot tell once it has
    // changed during the highlight.
    bool levitationLifted_ = false;
};

}  // namespace vantrel

#pragma GCC visibility pop
