#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <concepts>
#include <type_traits>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <glm/mat4x4.hpp>

#include "vantrel/graph/SCNBoundingVolume.hpp"
#include "vantrel/graph/SCNHitTestResult.hpp"
#include "vantrel/graph/SCNVector3.hpp"
#include "vantrel/graph/SCNVector4.hpp"

namespace vantrel {

class SCNAction;
class SCNCamera;
class SCNConstraint;
class SCNGeometry;
class SCNLight;
struct NodeAnimationState;
class SCNNode;

/// A non-owning reference to a callable `void(const SCNNode& node, const glm::mat4& worldTransform,
/// double opacity)` that `SCNNode::enumerateVisibleNodes` calls for each node it yields. It never
/// allocates; the callable must outlive the call it is passed to.
class SCNVisibleNodeVisitor {
public:
    /// Refers to `callable`.
    // clang-format off
    template <typename Callable>
        requires(!std::same_as<std::remove_cvref_t<Callable>, SCNVisibleNodeVisitor> &&
                 std::invocable<Callable&, const SCNNode&, const glm::mat4&, double>)
        // clang-format on
        SCNVisibleNodeVisitor(Callable&& callable)
    noexcept  // NOLINT(google-explicit-constructor): used like a lambda
        : object_(const_cast<void*>(static_cast<const void*>(&callable))),
          call_([](void* object, const SCNNode& node, const glm::mat4& world, double opacity) {
              (*static_cast<std::remove_reference_t<Callable>*>(object))(node, world, opacity);
          }) {}

    /// Calls the referenced callable.
    void operator()(const SCNNode& node, const glm::mat4& world, double opacity) const {
        call_(object_, node, world, opacity);
    }

private:
    void* object_;
    void (*call_)(void*, const SCNNode&, const glm::mat4&, double);
};

/// An element of the scene graph: a transform relative to its parent, and what hangs on it (a
/// geometry, a light, a camera, constraints, child nodes).
///
/// **Reference type.** Nodes live in `std::shared_ptr` (create them with `std::make_shared` or
/// `SCNNode::make`); a parent owns its children and each child refers to its parent weakly, without
/// owning it (a parent that goes away detaches its children). Subclasses (scene nodes of the library)
/// may add children in their constructors, and override `clone()` to copy their own state.
///
/// **Model and presentation.** The properties (`position`, `orientation`, `simdTransform` …) are the
/// model: a new value reads back at once, exactly as written. What is shown — the presentation —
/// follows the model, but moves towards a new value over the duration of the SCNTransaction the
/// change was made in, and over the time of running actions. Constraints adjust only the presentation.
/// Bounding volumes and coordinate conversions use the model; hit tests use the presentation unless
/// told otherwise. Reading presentation values evaluates animations against SceneClock and changes
/// nothing; `update(now)` advances them once a frame (it drops what has finished and fixes the
/// presented values that `enumerateVisibleNodes` yields), so that a render pass reads the graph
/// without side effects.
///
/// **Caches.** World transforms and the world boxes of subtrees are kept behind dirty flags: a change
/// of a transform marks the node's subtree (world transforms) and its ancestors (boxes); reads refill
/// what is marked. Reads of an unchanged scene cost no walk; hit tests skip whole subtrees whose cached
/// box the ray misses.
///
/// **Transforms.** The local transform is translation · rotation · scale · pivot⁻¹. Euler angles (x pitch,
/// y yaw, z roll, in radians) compose as Ry(y)·Rx(x)·Rz(z): roll first, then pitch, then yaw. An
/// orientation quaternion is stored as written (it need not be unit length) and normalised for use;
/// a zero or not-finite quaternion counts as no rotation. Column 3 of a transform is the translation.
///
/// **Threads.** Nodes are not synchronised: create, change and read them on the main thread only.
class SCNNode : public std::enable_shared_from_this<SCNNode> {
public:
    /// An empty node at the origin, unrotated, unit scale, visible, opacity 1, category bit mask 1.
    SCNNode();
    virtual ~SCNNode();
    SCNNode& operator=(const SCNNode&) = delete;

    /// A new empty node.
    [[nodiscard]] static std::shared_ptr<SCNNode> make();
    /// A new node showing `geometry`.
    [[nodiscard]] static std::shared_ptr<SCNNode> make(std::shared_ptr<SCNGeometry> geometry);

    // ----- Identity -----

    /// Name, empty by default.
    [[nodiscard]] const std::string& name() const noexcept { return name_; }
    /// Sets the name.
    void setName(std::string name) { name_ = std::move(name); }

    // ----- Local transform (model) -----

    /// Translation relative to the parent.
    [[nodiscard]] SCNVector3 position() const noexcept { return position_; }
    /// Sets the translation.
    void setPosition(const SCNVector3& position);
    /// Rotation as the quaternion (x, y, z, w) last written, or derived from the other rotation forms.
    [[nodiscard]] SCNQuaternion orientation() const noexcept { return orientation_; }
    /// Sets the rotation as a quaternion.
    void setOrientation(const SCNQuaternion& orientation);
    /// Rotation as (axis x, y, z, angle in radians); (0, 0, 0, 0) for no rotation.
    [[nodiscard]] SCNVector4 rotation() const;
    /// Sets the rotation as axis and angle; a zero or not-finite axis means no rotation.
    void setRotation(const SCNVector4& rotation);
    /// Rotation as Euler angles (pitch x, yaw y, roll z) in radians.
    [[nodiscard]] SCNVector3 eulerAngles() const;
    /// Sets the rotation as Euler angles.
    void setEulerAngles(const SCNVector3& angles);
    /// Scale along the node's axes, (1, 1, 1) by default.
    [[nodiscard]] SCNVector3 scale() const noexcept { return scale_; }
    /// Sets the scale.
    void setScale(const SCNVector3& scale);
    /// The local transform; a transform set as a whole reads back exactly, even with shear.
    [[nodiscard]] glm::mat4 simdTransform() const;
    /// Sets the local transform; position, orientation and scale are derived from it, and the pivot is
    /// kept (the transform is taken to include it).
    void setSimdTransform(const glm::mat4& transform);
    /// The pivot: the frame, in the node's own coordinates, about which it is placed, turned and
    /// scaled; the identity by default.
    [[nodiscard]] const glm::mat4& pivot() const noexcept { return pivot_; }
    /// Sets the pivot; position, orientation and scale keep their values. A pivot that cannot be
    /// inverted (or has a not-finite entry) is ignored.
    void setPivot(const glm::mat4& pivot);

    // ----- World transform (model) -----

    /// The transform from this node's coordinates to the world's (the top ancestor's parent space).
    [[nodiscard]] glm::mat4 simdWorldTransform() const;
    /// Sets the local transform so that the world transform becomes `transform`.
    void setSimdWorldTransform(const glm::mat4& transform);
    /// Position in the world.
    [[nodiscard]] SCNVector3 worldPosition() const;
    /// Moves the node so that its world position becomes `position`.
    void setWorldPosition(const SCNVector3& position);
    /// Rotation in the world, as a unit quaternion.
    [[nodiscard]] SCNQuaternion worldOrientation() const;
    /// Turns the node so that its world rotation becomes `orientation`.
    void setWorldOrientation(const SCNQuaternion& orientation);
    /// Lengths of the world transform's axes.
    [[nodiscard]] SCNVector3 worldScale() const;

    // ----- Hierarchy -----

    /// The parent, or nullptr (also while the parent is still being constructed, or when it is not
    /// owned by a std::shared_ptr).
    [[nodiscard]] std::shared_ptr<SCNNode> parentNode() const;
    /// The children in drawing order.
    [[nodiscard]] const std::vector<std::shared_ptr<SCNNode>>& childNodes() const noexcept { return children_; }
    /// Appends `child`, first removing it from its current parent. Throws std::invalid_argument for a
    /// null child, and for this node itself or one of its ancestors (which would make a cycle).
    void addChildNode(const std::shared_ptr<SCNNode>& child);
    /// Inserts `child` at `index` (clamped to the number of children); otherwise as `addChildNode`.
    void insertChildNode(const std::shared_ptr<SCNNode>& child, std::size_t index);
    /// Detaches this node from its parent; nothing happens without a parent.
    void removeFromParentNode();
    /// True when `ancestor` is this node's parent, grand-parent, and so on.
    [[nodiscard]] bool isDescendant(const SCNNode& ancestor) const;
    /// Every node below this one (not the node itself), depth first, parents before children, that
    /// `test` accepts. `test` may set its second argument to true to end the search.
    [[nodiscard]] std::vector<std::shared_ptr<SCNNode>> childNodesPassingTest(
        const std::function<bool(const SCNNode& node, bool& stop)>& test) const;
    /// The first child (or, recursively, descendant in the order above) with the given name.
    [[nodiscard]] std::shared_ptr<SCNNode> childNodeWithName(std::string_view name, bool recursively) const;

    /// A copy of this node and, recursively, its children. The copy shares geometry, light, camera
    /// and constraints with the original (as clones do on the platform), has no parent and runs no
    /// actions or animations; everything else is copied, so changing the copy's transform, opacity,
    /// visibility or children leaves the original alone.
    [[nodiscard]] virtual std::shared_ptr<SCNNode> clone() const;

    // ----- Appearance -----

    /// True when the node and its subtree are not drawn.
    [[nodiscard]] bool isHidden() const noexcept { return hidden_; }
    /// Hides or shows the node and its subtree.
    void setHidden(bool hidden) noexcept { hidden_ = hidden; }
    /// Opacity from 0 to 1, multiplied down the subtree.
    [[nodiscard]] double opacity() const noexcept { return opacity_; }
    /// Sets the opacity (clamped to 0…1; not-a-number counts as 1).
    void setOpacity(double opacity);
    /// Bit set matched against lights, techniques and hit tests; 1 by default.
    [[nodiscard]] std::uint64_t categoryBitMask() const noexcept { return categoryBitMask_; }
    /// Sets the category bit mask.
    void setCategoryBitMask(std::uint64_t mask) noexcept { categoryBitMask_ = mask; }
    /// True when the node's geometry casts shadows from lights that cast them; true by default.
    /// Applies to this node only, not to its children.
    [[nodiscard]] bool castsShadow() const noexcept { return castsShadow_; }
    /// Sets whether the node's geometry casts shadows.
    void setCastsShadow(bool casts) noexcept { castsShadow_ = casts; }

    // ----- Attachments -----

    /// The geometry shown, or nullptr.
    [[nodiscard]] const std::shared_ptr<SCNGeometry>& geometry() const noexcept { return geometry_; }
    /// Sets (or clears) the geometry shown.
    void setGeometry(std::shared_ptr<SCNGeometry> geometry);
    /// The light, or nullptr.
    [[nodiscard]] const std::shared_ptr<SCNLight>& light() const noexcept { return light_; }
    /// Sets (or clears) the light.
    void setLight(std::shared_ptr<SCNLight> light) { light_ = std::move(light); }
    /// The camera, or nullptr.
    [[nodiscard]] const std::shared_ptr<SCNCamera>& camera() const noexcept { return camera_; }
    /// Sets (or clears) the camera.
    void setCamera(std::shared_ptr<SCNCamera> camera) { camera_ = std::move(camera); }
    /// Constraints, applied in order to the presented world transform.
    [[nodiscard]] const std::vector<std::shared_ptr<SCNConstraint>>& constraints() const noexcept {
        return constraints_;
    }
    /// Replaces the constraints; null entries are dropped.
    void setConstraints(std::vector<std::shared_ptr<SCNConstraint>> constraints);

    // ----- Bounding volumes (model) -----

    /// Box around the node's geometry and its whole subtree, in the node's own coordinates. Each
    /// geometry's box is carried once through its whole transform relative to this node (the box
    /// around its turned corners), so nested turns do not inflate it. Hidden nodes count; nodes with
    /// nothing to bound (and an endless floor) do not. The zero box when there is nothing. Cached.
    [[nodiscard]] SCNBoundingBox boundingBox() const;
    /// The same box in world coordinates: each geometry's box carried once through its world transform;
    /// nothing when the subtree has nothing to bound. Cached, and the cache of a node below serves its
    /// ancestors too.
    [[nodiscard]] std::optional<SCNBoundingBox> worldBoundingBox() const;
    /// Sphere around the same: the box's centre and half its diagonal.
    [[nodiscard]] SCNBoundingSphere boundingSphere() const;

    // ----- Coordinate conversion (model) -----

    /// `position`, given in this node's coordinates, in the coordinates of `node` (world coordinates
    /// when `node` is nullptr). A node whose transform cannot be inverted (a zero scale) maps every
    /// position to its own origin.
    [[nodiscard]] SCNVector3 convertPosition(const SCNVector3& position, const SCNNode* node) const;
    /// `position`, given in the coordinates of `node` (the world when nullptr), in this node's.
    [[nodiscard]] SCNVector3 convertPositionFrom(const SCNVector3& position, const SCNNode* node) const;
    /// A direction (no translation applied) from this node's coordinates into those of `node`.
    [[nodiscard]] SCNVector3 convertVector(const SCNVector3& vector, const SCNNode* node) const;

    // ----- Actions -----

    /// Runs a copy of `action` from now. A non-empty `key` names it; an action already running under
    /// that key is removed first. A null action is ignored.
    void runAction(const std::shared_ptr<SCNAction>& action, const std::string& key = {});
    /// The action running under `key`, or nullptr (finished actions are gone).
    [[nodiscard]] std::shared_ptr<SCNAction> actionForKey(std::string_view key) const;
    /// Stops the action under `key`; the node stays where it is shown now.
    void removeActionForKey(std::string_view key);
    /// Stops every action; the node stays where it is shown now.
    void removeAllActions();
    /// True while any action runs.
    [[nodiscard]] bool hasActions() const;

    // ----- Presentation -----

    /// The position shown now.
    [[nodiscard]] SCNVector3 presentationPosition() const;
    /// The orientation shown now (unit quaternion).
    [[nodiscard]] SCNQuaternion presentationOrientation() const;
    /// The scale shown now.
    [[nodiscard]] SCNVector3 presentationScale() const;
    /// The opacity shown now.
    [[nodiscard]] double presentationOpacity() const;
    /// The local transform shown now (without constraints).
    [[nodiscard]] glm::mat4 presentationTransform() const;
    /// The world transform shown now, with the constraints of this node and its ancestors applied;
    /// billboards face `pointOfView` when given.
    [[nodiscard]] glm::mat4 presentationWorldTransform(const SCNNode* pointOfView = nullptr) const;
    /// True while a transaction animation or an action still moves this node's presentation.
    [[nodiscard]] bool isAnimating() const;

    // ----- Frames -----

    /// Advances the animations of this node and its subtree to scene time `now`: what has finished is
    /// dropped, and the presented transforms and opacities that `enumerateVisibleNodes` yields are
    /// evaluated at `now`. Only subtrees that animate are visited. Returns true while anything in the
    /// subtree still animates.
    bool update(double now);
    /// True when this node or one below it had an animation or action running at the last `update`,
    /// or has started one since: a canvas draws the next frame only while this holds (or something
    /// changed).
    [[nodiscard]] bool subtreeIsAnimating() const noexcept { return animatingBelow_; }
    /// Calls `visitor` for this node and every node below it that is shown, parents before children,
    /// with its presented world transform (as of the last `update`, constraints applied; billboards
    /// face `pointOfView` when given) and its opacity multiplied down from this node. Hidden nodes and
    /// fully transparent ones are skipped with their subtrees. Allocates nothing; `visitor` must not
    /// change the node tree.
    void enumerateVisibleNodes(SCNVisibleNodeVisitor visitor, const SCNNode* pointOfView = nullptr) const;

    // ----- Hit testing -----

    /// Hits of the segment from `from` to `to` (in this node's coordinates) with the geometry of this
    /// node and its subtree, nearest first.
    [[nodiscard]] std::vector<SCNHitTestResult> hitTestWithSegment(const SCNVector3& from, const SCNVector3& to,
                                                                   const SCNHitTestOptions& options = {}) const;

protected:
    /// Copies this node's own state (not its parent, children, actions or animations) for `clone()`.
    SCNNode(const SCNNode& other);
    /// Appends clones of this node's children to `copy`; subclasses call it from their `clone()`.
    void cloneChildrenInto(SCNNode& copy) const;

private:
    friend struct NodeAnimationState;

    enum class Property { position, orientation, scale, opacity };

    // Writes of the model values; each records a transaction animation when one is open.
    void assignPosition(const SCNVector3& position);
    void assignOrientation(const SCNQuaternion& orientation);
    void assignScale(const SCNVector3& scale);
    // Starts (inside an animating transaction) or cancels the animation of `property`; called before
    // the model value changes, so that the animation starts from what is shown.
    void beginChange(Property property);
    // Adds `offset` to the model position without animating (actions taking over or handing back).
    void shiftPosition(const SCNVector3& offset);
    void attach(const std::shared_ptr<SCNNode>& child, std::size_t index);
    NodeAnimationState& animationState();
    // Drops the animation state (nothing left to animate) and refreshes what depends on it.
    void dropAnimationState();

    // Cache upkeep. The local transform changed: world transforms below are stale, boxes above too.
    void localTransformChanged();
    // Something this node's box depends on changed (geometry, children, what animates): its boxes
    // and those of its ancestors are stale.
    void boundsChanged() const;
    // Marks this node's world transform (and its subtree's) stale.
    void worldChanged() const;
    // Marks that this node or a node below it animates, up to the root.
    void animationStarted();
    // The presented local transform and opacity at `now`.
    void refreshPresentation(double now);
    // Brings the cached world box of the subtree up to date.
    void refreshWorldBounds() const;
    // The cached world transform, refilled when stale.
    [[nodiscard]] const glm::mat4& cachedWorld() const;
    // The local transform composed from position, orientation, scale and pivot.
    [[nodiscard]] glm::mat4 composeLocal(const SCNVector3& position, const SCNQuaternion& orientation,
                                         const SCNVector3& scale) const;
    [[nodiscard]] SCNVector3 presentationPositionAt(double now) const;
    [[nodiscard]] SCNQuaternion presentationOrientationAt(double now) const;
    [[nodiscard]] SCNVector3 presentationScaleAt(double now) const;
    [[nodiscard]] double presentationOpacityAt(double now) const;
    [[nodiscard]] glm::mat4 presentationTransformAt(double now) const;
    // Applies the enabled constraints to `world`, guarding against constraint cycles.
    [[nodiscard]] glm::mat4 constrained(glm::mat4 world, const SCNNode* pointOfView) const;
    void visitVisible(const SCNVisibleNodeVisitor& visitor, const glm::mat4& parentWorld, double parentOpacity,
                      bool parentShowsModel, const SCNNode* pointOfView) const;

    // The hit tester reads the caches.
    friend class SceneCacheReader;

    // What a hit test or a renderer reads for every node comes first, so that a walk over a large
    // scene touches as few cache lines per node as possible.
    // The model's local transform, computed whenever position, orientation, scale or pivot change.
    glm::mat4 local_{1.0f};
    // The local transform and opacity shown: the model's while nothing animates, else as of the last
    // update(now) or change.
    glm::mat4 presentedLocal_{1.0f};
    // World transform and world box of the subtree, valid while the flags below say so.
    mutable glm::mat4 world_{1.0f};
    mutable glm::vec3 worldBoundsLo_{0.0f};
    mutable glm::vec3 worldBoundsHi_{0.0f};
    mutable std::uint64_t boundsEpoch_ = 0;
    double presentedOpacity_ = 1.0;
    mutable bool worldDirty_ = true;
    mutable bool worldBoundsDirty_ = true;
    mutable bool localBoxDirty_ = true;
    mutable bool hasWorldBounds_ = false;
    // Something below can be hit without a box (an endless floor): hit tests cannot skip by the box.
    mutable bool unboundedBelow_ = false;
    // Something in the subtree animates or is constrained, so what is shown may differ from the model
    // that the cached boxes follow.
    mutable bool presentationVariesBelow_ = false;
    bool animatingBelow_ = false;
    std::shared_ptr<SCNGeometry> geometry_;
    std::vector<std::shared_ptr<SCNNode>> children_;
    std::vector<std::shared_ptr<SCNConstraint>> constraints_;
    // Present only while the node animates or runs actions.
    mutable std::unique_ptr<NodeAnimationState> animation_;
    // Not owning: the parent clears it when it lets go of this node or is destroyed.
    SCNNode* parent_ = nullptr;
    std::uint64_t categoryBitMask_ = 1;
    bool hidden_ = false;
    bool castsShadow_ = true;
    double opacity_ = 1.0;

    SCNVector3 position_;
    SCNQuaternion orientation_{0.0f, 0.0f, 0.0f, 1.0f};
    SCNVector3 scale_{1.0f, 1.0f, 1.0f};
    // Rotation forms and the whole transform as last written, so that they read back exactly; each is
    // dropped when a change goes through another form.
    std::optional<glm::mat4> writtenTransform_;
    std::optional<SCNVector4> writtenRotation_;
    std::optional<SCNVector3> writtenEulerAngles_;
    glm::mat4 pivot_{1.0f};
    std::optional<glm::mat4> pivotInverse_;  // present only for a pivot other than the identity
    mutable SCNBoundingBox localBox_;
    mutable std::uint64_t localBoxEpoch_ = 0;

    std::string name_;
    std::shared_ptr<SCNLight> light_;
    std::shared_ptr<SCNCamera> camera_;
};

}  // namespace vantrel

#pragma GCC visibility pop
