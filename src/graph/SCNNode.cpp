#include "vantrel/graph/SCNNode.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <glm/geometric.hpp>

#include "GeometryMesh.hpp"
#include "HitTester.hpp"
#include "NodeAnimationState.hpp"
#include "TransformMath.hpp"
#include "vantrel/graph/BoundsAccumulator.hpp"
#include "vantrel/graph/SCNAction.hpp"
#include "vantrel/graph/SCNConstraint.hpp"
#include "vantrel/graph/SCNFloor.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/graph/SCNTransaction.hpp"
#include "vantrel/graph/SceneClock.hpp"

namespace vantrel {

using graph_internal::compose;
using graph_internal::fromQuat;
using graph_internal::toQuat;

namespace {

glm::vec3 transformPoint(const glm::mat4& m, const SCNVector3& p) {
    return glm::vec3(m * glm::vec4(p.x, p.y, p.z, 1.0f));
}

// Nodes whose constrained transform is being computed, to break look-at cycles (a node looking at
// its own child, or two nodes looking at each other).
std::vector<const SCNNode*>& nodesUnderEvaluation() {
    thread_local std::vector<const SCNNode*> nodes;
    return nodes;
}

}  // namespace

SCNNode::SCNNode() = default;

SCNNode::SCNNode(const SCNNode& other)
    : std::enable_shared_from_this<SCNNode>(),
      local_(other.local_),
      presentedLocal_(other.local_),  // the copy runs no animations: it shows its model
      presentedOpacity_(other.opacity_),
      geometry_(other.geometry_),
      constraints_(other.constraints_),
      categoryBitMask_(other.categoryBitMask_),
      hidden_(other.hidden_),
      castsShadow_(other.castsShadow_),
      opacity_(other.opacity_),
      position_(other.position_),
      orientation_(other.orientation_),
      scale_(other.scale_),
      writtenTransform_(other.writtenTransform_),
      writtenRotation_(other.writtenRotation_),
      writtenEulerAngles_(other.writtenEulerAngles_),
      pivot_(other.pivot_),
      pivotInverse_(other.pivotInverse_),
      name_(other.name_),
      light_(other.light_),
      camera_(other.camera_) {}

SCNNode::~SCNNode() {
    // Children that outlive this node (held elsewhere) must not point back at it.
    for (const auto& child : children_) {
        child->parent_ = nullptr;
        child->worldChanged();
    }
}

std::shared_ptr<SCNNode> SCNNode::parentNode() const {
    return parent_ != nullptr ? parent_->weak_from_this().lock() : nullptr;
}

std::shared_ptr<SCNNode> SCNNode::make() { return std::make_shared<SCNNode>(); }

std::shared_ptr<SCNNode> SCNNode::make(std::shared_ptr<SCNGeometry> geometry) {
    auto node = std::make_shared<SCNNode>();
    node->setGeometry(std::move(geometry));
    return node;
}

// ----- Caches -----

void SCNNode::worldChanged() const {
    // A stale world transform means stale ones below (they are refilled top-down), so the walk stops
    // at the first node already marked.
    if (worldDirty_) {
        return;
    }
    worldDirty_ = true;
    worldBoundsDirty_ = true;
    for (const auto& child : children_) {
        child->worldChanged();
    }
}

void SCNNode::boundsChanged() const {
    // Local boxes are computed by walks, not from the children's caches, so a clean ancestor may sit
    // above a stale node: mark all the way up (a few nodes).
    for (const SCNNode* node = this; node != nullptr; node = node->parent_) {
        node->worldBoundsDirty_ = true;
        node->localBoxDirty_ = true;
    }
}

void SCNNode::localTransformChanged() {
    local_ = writtenTransform_ ? *writtenTransform_ : composeLocal(position_, orientation_, scale_);
    refreshPresentation(animation_ ? SceneClock::now() : 0.0);
    worldChanged();
    if (parent_ != nullptr) {
        parent_->boundsChanged();
    }
}

const glm::mat4& SCNNode::cachedWorld() const {
    if (worldDirty_) {
        world_ = parent_ != nullptr ? parent_->cachedWorld() * local_ : local_;
        worldDirty_ = false;
    }
    return world_;
}

void SCNNode::refreshWorldBounds() const {
    const std::uint64_t epoch = graph_internal::boundsEpoch();
    if (!worldBoundsDirty_ && boundsEpoch_ == epoch) {
        return;
    }
    const glm::mat4& world = cachedWorld();
    BoundsAccumulator bounds;
    bool unbounded = false;
    bool varies = animation_ != nullptr || !constraints_.empty();
    if (geometry_) {
        graph_internal::noteBoundsCached(*geometry_);
        if (geometry_->hasBounds()) {
            bounds.add(world, geometry_->boundingBox());
        } else if (const auto* floor = dynamic_cast<const SCNFloor*>(geometry_.get()); floor && floor->isEndless()) {
            unbounded = true;
        }
    }
    for (const auto& child : children_) {
        child->refreshWorldBounds();
        if (child->hasWorldBounds_) {
            bounds.add(child->worldBoundsLo_, child->worldBoundsHi_);
        }
        unbounded = unbounded || child->unboundedBelow_;
        varies = varies || child->presentationVariesBelow_;
    }
    hasWorldBounds_ = !bounds.isEmpty();
    worldBoundsLo_ = bounds.lo();
    worldBoundsHi_ = bounds.hi();
    unboundedBelow_ = unbounded;
    presentationVariesBelow_ = varies;
    worldBoundsDirty_ = false;
    boundsEpoch_ = epoch;
}

// ----- Model writes -----

NodeAnimationState& SCNNode::animationState() {
    if (!animation_) {
        animation_ = std::make_unique<NodeAnimationState>();
        boundsChanged();  // what is shown may now differ from the model the boxes follow
    }
    animationStarted();
    return *animation_;
}

void SCNNode::dropAnimationState() {
    animation_.reset();
    boundsChanged();
    refreshPresentation(0.0);
}

void SCNNode::animationStarted() {
    for (SCNNode* node = this; node != nullptr && !node->animatingBelow_; node = node->parent_) {
        node->animatingBelow_ = true;
    }
}

void SCNNode::refreshPresentation(double now) {
    if (!animation_) {
        presentedLocal_ = local_;
        presentedOpacity_ = opacity_;
        return;
    }
    presentedLocal_ = presentationTransformAt(now);
    presentedOpacity_ = presentationOpacityAt(now);
}

glm::mat4 SCNNode::composeLocal(const SCNVector3& position, const SCNQuaternion& orientation,
                                const SCNVector3& scale) const {
    const glm::mat4 placed = compose(position, toQuat(orientation), scale);
    return pivotInverse_ ? placed * *pivotInverse_ : placed;
}

void SCNNode::beginChange(Property property) {
    const double duration = SCNTransaction::animationDuration();
    const double now = SceneClock::now();
    if (duration <= 0.0) {
        // A change outside a transaction shows at once, cutting short an animation of the same value.
        if (animation_) {
            switch (property) {
                case Property::position: animation_->position.reset(); break;
                case Property::orientation: animation_->orientation.reset(); break;
                case Property::scale: animation_->scale.reset(); break;
                case Property::opacity: animation_->opacity.reset(); break;
            }
        }
        return;
    }
    // Start from what is shown now (without the actions' offsets, which keep running on top).
    const SCNTimingFunction timing = SCNTransaction::animationTimingFunction();
    switch (property) {
        case Property::position: {
            const SCNVector3 from =
                presentationPosition() - (animation_ ? animation_->actionOffset(now) : SCNVector3{});
            animationState().position = NodeAnimationState::Tween<SCNVector3>{from, now, duration, timing};
            break;
        }
        case Property::orientation: {
            const glm::quat from = toQuat(presentationOrientation());
            animationState().orientation = NodeAnimationState::Tween<glm::quat>{from, now, duration, timing};
            break;
        }
        case Property::scale: {
            const SCNVector3 from = presentationScale();
            animationState().scale = NodeAnimationState::Tween<SCNVector3>{from, now, duration, timing};
            break;
        }
        case Property::opacity: {
            const double from = presentationOpacity();
            animationState().opacity = NodeAnimationState::Tween<double>{from, now, duration, timing};
            break;
        }
    }
}

void SCNNode::assignPosition(const SCNVector3& position) {
    beginChange(Property::position);
    const SCNVector3 offset = position - position_;
    position_ = position;
    if (writtenTransform_) {
        // Keep a written transform's shear: only its translation changes.
        if (pivotInverse_) {
            (*writtenTransform_)[3] += glm::vec4(offset.x, offset.y, offset.z, 0.0f);
        } else {
            (*writtenTransform_)[3] = glm::vec4(position.x, position.y, position.z, 1.0f);
        }
    }
    localTransformChanged();
}

void SCNNode::shiftPosition(const SCNVector3& offset) {
    position_ += offset;
    if (writtenTransform_) {
        (*writtenTransform_)[3] += glm::vec4(offset.x, offset.y, offset.z, 0.0f);
    }
    // The actions' offsets change by −offset at the same moment; moving a running transaction
    // animation's start along keeps what is shown where it was.
    if (animation_ && animation_->position) {
        animation_->position->from += offset;
    }
    localTransformChanged();
}

void SCNNode::assignOrientation(const SCNQuaternion& orientation) {
    beginChange(Property::orientation);
    orientation_ = orientation;
    writtenRotation_.reset();
    writtenEulerAngles_.reset();
    writtenTransform_.reset();
    localTransformChanged();
}

void SCNNode::assignScale(const SCNVector3& scale) {
    beginChange(Property::scale);
    scale_ = scale;
    writtenTransform_.reset();
    localTransformChanged();
}

void SCNNode::setPosition(const SCNVector3& position) { assignPosition(position); }

void SCNNode::setOrientation(const SCNQuaternion& orientation) { assignOrientation(orientation); }

SCNVector4 SCNNode::rotation() const {
    return writtenRotation_ ? *writtenRotation_ : graph_internal::axisAngleFromQuat(toQuat(orientation_));
}

void SCNNode::setRotation(const SCNVector4& rotation) {
    assignOrientation(fromQuat(graph_internal::quatFromAxisAngle(rotation)));
    writtenRotation_ = rotation;
}

SCNVector3 SCNNode::eulerAngles() const {
    return writtenEulerAngles_ ? *writtenEulerAngles_ : graph_internal::eulerFromQuat(toQuat(orientation_));
}

void SCNNode::setEulerAngles(const SCNVector3& angles) {
    assignOrientation(fromQuat(graph_internal::quatFromEuler(angles)));
    writtenEulerAngles_ = angles;
}

void SCNNode::setScale(const SCNVector3& scale) { assignScale(scale); }

glm::mat4 SCNNode::simdTransform() const { return local_; }

void SCNNode::setSimdTransform(const glm::mat4& transform) {
    if (!graph_internal::isFinite(transform)) {
        return;  // nothing sensible can be derived from it
    }
    // The transform includes the pivot's inverse: position, orientation and scale are those of
    // transform · pivot.
    const auto parts = graph_internal::decompose(pivotInverse_ ? transform * pivot_ : transform);
    assignPosition(parts.position);
    assignOrientation(fromQuat(parts.rotation));
    assignScale(parts.scale);
    writtenTransform_ = transform;
    localTransformChanged();
}

void SCNNode::setPivot(const glm::mat4& pivot) {
    glm::mat4 inverse;
    if (!graph_internal::isFinite(pivot) || !graph_internal::invertAffine(pivot, inverse)) {
        return;
    }
    if (writtenTransform_) {
        // Same position, orientation and scale, and the written shear kept: swap the pivot inside it.
        *writtenTransform_ = *writtenTransform_ * pivot_ * inverse;
    }
    pivot_ = pivot;
    if (pivot == glm::mat4(1.0f)) {
        pivotInverse_.reset();
    } else {
        pivotInverse_ = inverse;
    }
    localTransformChanged();
}

// ----- World transform -----

glm::mat4 SCNNode::simdWorldTransform() const { return cachedWorld(); }

void SCNNode::setSimdWorldTransform(const glm::mat4& transform) {
    const SCNNode* parent = parent_;
    if (!parent) {
        setSimdTransform(transform);
        return;
    }
    glm::mat4 parentInverse;
    if (graph_internal::invertAffine(parent->simdWorldTransform(), parentInverse)) {
        setSimdTransform(parentInverse * transform);
    }
}

SCNVector3 SCNNode::worldPosition() const {
    const glm::mat4& world = cachedWorld();
    return {world[3].x, world[3].y, world[3].z};
}

void SCNNode::setWorldPosition(const SCNVector3& position) {
    const SCNNode* parent = parent_;
    setPosition(parent ? parent->convertPositionFrom(position, nullptr) : position);
}

SCNQuaternion SCNNode::worldOrientation() const {
    return fromQuat(glm::normalize(glm::quat_cast(graph_internal::rotationPart(simdWorldTransform()))));
}

void SCNNode::setWorldOrientation(const SCNQuaternion& orientation) {
    const SCNNode* parent = parent_;
    if (!parent) {
        setOrientation(orientation);
        return;
    }
    const glm::quat parentRotation = glm::quat_cast(graph_internal::rotationPart(parent->simdWorldTransform()));
    setOrientation(fromQuat(glm::normalize(glm::inverse(parentRotation) * toQuat(orientation))));
}

SCNVector3 SCNNode::worldScale() const {
    const glm::mat4& world = cachedWorld();
    return {glm::length(glm::vec3(world[0])), glm::length(glm::vec3(world[1])), glm::length(glm::vec3(world[2]))};
}

// ----- Hierarchy -----

bool SCNNode::isDescendant(const SCNNode& ancestor) const {
    for (const SCNNode* node = parent_; node != nullptr; node = node->parent_) {
        if (node == &ancestor) {
            return true;
        }
    }
    return false;
}

void SCNNode::attach(const std::shared_ptr<SCNNode>& child, std::size_t index) {
    if (!child) {
        throw std::invalid_argument("SCNNode: cannot add a null child node");
    }
    if (child.get() == this || isDescendant(*child)) {
        throw std::invalid_argument("SCNNode: adding a node below itself would make a cycle");
    }
    // `child` is a reference to a shared_ptr the caller owns, so removing it from its old parent
    // cannot destroy it.
    child->removeFromParentNode();
    index = std::min(index, children_.size());
    children_.insert(children_.begin() + static_cast<std::ptrdiff_t>(index), child);
    child->parent_ = this;
    child->worldChanged();
    boundsChanged();
    if (child->animatingBelow_) {
        animationStarted();
    }
}

void SCNNode::addChildNode(const std::shared_ptr<SCNNode>& child) { attach(child, children_.size()); }

void SCNNode::insertChildNode(const std::shared_ptr<SCNNode>& child, std::size_t index) { attach(child, index); }

void SCNNode::removeFromParentNode() {
    if (parent_ == nullptr) {
        return;
    }
    // The parent may hold the last reference to this node: keep it alive until we are done.
    const auto keepAlive = weak_from_this().lock();
    auto& siblings = parent_->children_;
    siblings.erase(std::remove_if(siblings.begin(), siblings.end(),
                                  [this](const std::shared_ptr<SCNNode>& sibling) { return sibling.get() == this; }),
                   siblings.end());
    parent_->boundsChanged();
    parent_ = nullptr;
    worldChanged();
}

std::vector<std::shared_ptr<SCNNode>> SCNNode::childNodesPassingTest(
    const std::function<bool(const SCNNode& node, bool& stop)>& test) const {
    std::vector<std::shared_ptr<SCNNode>> found;
    bool stop = false;
    // Depth first, parents before children; an explicit stack so that deep trees cannot overflow
    // the call stack.
    std::vector<const std::shared_ptr<SCNNode>*> pending;
    for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
        pending.push_back(&*it);
    }
    while (!pending.empty() && !stop) {
        const std::shared_ptr<SCNNode>& node = *pending.back();
        pending.pop_back();
        if (test(*node, stop)) {
            found.push_back(node);
        }
        for (auto it = node->children_.rbegin(); it != node->children_.rend(); ++it) {
            pending.push_back(&*it);
        }
    }
    return found;
}

std::shared_ptr<SCNNode> SCNNode::childNodeWithName(std::string_view name, bool recursively) const {
    if (!recursively) {
        for (const auto& child : children_) {
            if (child->name_ == name) {
                return child;
            }
        }
        return nullptr;
    }
    auto found = childNodesPassingTest([name](const SCNNode& node, bool& stop) {
        stop = node.name() == name;
        return stop;
    });
    return found.empty() ? nullptr : found.front();
}

std::shared_ptr<SCNNode> SCNNode::clone() const {
    std::shared_ptr<SCNNode> copy(new SCNNode(*this));
    cloneChildrenInto(*copy);
    return copy;
}

void SCNNode::cloneChildrenInto(SCNNode& copy) const {
    for (const auto& child : children_) {
        copy.addChildNode(child->clone());
    }
}

// ----- Appearance and attachments -----

void SCNNode::setOpacity(double opacity) {
    beginChange(Property::opacity);
    opacity_ = std::isnan(opacity) ? 1.0 : std::clamp(opacity, 0.0, 1.0);
    refreshPresentation(animation_ ? SceneClock::now() : 0.0);
}

void SCNNode::setGeometry(std::shared_ptr<SCNGeometry> geometry) {
    geometry_ = std::move(geometry);
    boundsChanged();
}

void SCNNode::setConstraints(std::vector<std::shared_ptr<SCNConstraint>> constraints) {
    std::erase(constraints, nullptr);
    constraints_ = std::move(constraints);
    boundsChanged();  // a constrained node is shown elsewhere than its model
}

// ----- Bounding volumes and conversions -----

SCNBoundingBox SCNNode::boundingBox() const {
    const std::uint64_t epoch = graph_internal::boundsEpoch();
    if (localBoxDirty_ || localBoxEpoch_ != epoch) {
        if (cachedWorld() == glm::mat4(1.0f)) {
            // A scene's root: its own coordinates are the world's, and the world box is built from the
            // caches of the nodes below, so only what changed is walked again.
            localBox_ = worldBoundingBox().value_or(SCNBoundingBox{});
        } else {
            // The world boxes are refreshed first: that also registers every mesh below, so that a
            // mesh replaced later makes this box stale too.
            (void)worldBoundingBox();
            BoundsAccumulator bounds;
            bounds.addSubtree(*this, glm::mat4(1.0f));
            localBox_ = bounds.box().value_or(SCNBoundingBox{});
        }
        localBoxDirty_ = false;
        localBoxEpoch_ = epoch;
    }
    return localBox_;
}

std::optional<SCNBoundingBox> SCNNode::worldBoundingBox() const {
    refreshWorldBounds();
    if (!hasWorldBounds_) {
        return std::nullopt;
    }
    return SCNBoundingBox{SCNVector3(worldBoundsLo_), SCNVector3(worldBoundsHi_)};
}

SCNBoundingSphere SCNNode::boundingSphere() const {
    const SCNBoundingBox box = boundingBox();
    return {(box.min + box.max) * 0.5f, (box.max - box.min).length() * 0.5f};
}

SCNVector3 SCNNode::convertPosition(const SCNVector3& position, const SCNNode* node) const {
    const glm::vec3 world = transformPoint(simdWorldTransform(), position);
    if (node == nullptr) {
        return SCNVector3(world);
    }
    glm::mat4 inverse;
    if (!graph_internal::invertAffine(node->simdWorldTransform(), inverse)) {
        return {};
    }
    return SCNVector3(transformPoint(inverse, SCNVector3(world)));
}

SCNVector3 SCNNode::convertPositionFrom(const SCNVector3& position, const SCNNode* node) const {
    const SCNVector3 world = node ? node->convertPosition(position, nullptr) : position;
    glm::mat4 inverse;
    if (!graph_internal::invertAffine(simdWorldTransform(), inverse)) {
        return {};
    }
    return SCNVector3(transformPoint(inverse, world));
}

SCNVector3 SCNNode::convertVector(const SCNVector3& vector, const SCNNode* node) const {
    const glm::vec3 world = glm::mat3(simdWorldTransform()) * vector.simd();
    if (node == nullptr) {
        return SCNVector3(world);
    }
    glm::mat4 inverse;
    if (!graph_internal::invertAffine(node->simdWorldTransform(), inverse)) {
        return {};
    }
    return SCNVector3(glm::mat3(inverse) * world);
}

// ----- Actions -----

void SCNNode::runAction(const std::shared_ptr<SCNAction>& action, const std::string& key) {
    if (!action) {
        return;
    }
    if (!key.empty()) {
        removeActionForKey(key);
    }
    NodeAnimationState::RunningAction running;
    running.key = key;
    running.action = action->copy();
    running.start = SceneClock::now();
    if (running.action->isFinite()) {
        // The model takes the whole move at once; the presentation catches up over the action's time.
        running.applied = running.action->totalTranslation();
        shiftPosition(running.applied);
    }
    animationState().actions.push_back(std::move(running));
    refreshPresentation(SceneClock::now());
}

std::shared_ptr<SCNAction> SCNNode::actionForKey(std::string_view key) const {
    if (!animation_ || key.empty()) {
        return nullptr;
    }
    const double now = SceneClock::now();
    for (const auto& running : animation_->actions) {
        if (running.key == key && !running.isFinished(now)) {
            return running.action;
        }
    }
    return nullptr;
}

void SCNNode::removeActionForKey(std::string_view key) {
    if (!animation_ || key.empty()) {
        return;
    }
    const double now = SceneClock::now();
    auto& actions = animation_->actions;
    for (auto it = actions.begin(); it != actions.end();) {
        if (it->key == key) {
            // Leave the node where it is shown: the model takes over the action's current offset.
            shiftPosition(it->offset(now));
            it = actions.erase(it);
        } else {
            ++it;
        }
    }
    refreshPresentation(now);
}

void SCNNode::removeAllActions() {
    if (!animation_) {
        return;
    }
    const double now = SceneClock::now();
    shiftPosition(animation_->actionOffset(now));
    animation_->actions.clear();
    refreshPresentation(now);
}

bool SCNNode::hasActions() const {
    if (!animation_) {
        return false;
    }
    const double now = SceneClock::now();
    return std::any_of(animation_->actions.begin(), animation_->actions.end(),
                       [now](const auto& running) { return !running.isFinished(now); });
}

// ----- Presentation -----

SCNVector3 SCNNode::presentationPositionAt(double now) const {
    if (!animation_) {
        return position_;
    }
    SCNVector3 shown = position_;
    if (const auto& tween = animation_->position; tween && tween->isRunning(now)) {
        shown = tween->from.lerp(position_, static_cast<float>(tween->progress(now)));
    }
    return shown + animation_->actionOffset(now);
}

SCNQuaternion SCNNode::presentationOrientationAt(double now) const {
    const glm::quat target = toQuat(orientation_);
    if (!animation_) {
        return fromQuat(target);
    }
    if (const auto& tween = animation_->orientation; tween && tween->isRunning(now)) {
        return fromQuat(glm::normalize(glm::slerp(tween->from, target, static_cast<float>(tween->progress(now)))));
    }
    return fromQuat(target);
}

SCNVector3 SCNNode::presentationScaleAt(double now) const {
    if (!animation_) {
        return scale_;
    }
    if (const auto& tween = animation_->scale; tween && tween->isRunning(now)) {
        return tween->from.lerp(scale_, static_cast<float>(tween->progress(now)));
    }
    return scale_;
}

double SCNNode::presentationOpacityAt(double now) const {
    if (!animation_) {
        return opacity_;
    }
    if (const auto& tween = animation_->opacity; tween && tween->isRunning(now)) {
        return tween->from + (opacity_ - tween->from) * tween->progress(now);
    }
    return opacity_;
}

glm::mat4 SCNNode::presentationTransformAt(double now) const {
    if (!animation_) {
        return local_;
    }
    const auto running = [now](const auto& tween) { return tween && tween->isRunning(now); };
    const bool transformAnimates =
        running(animation_->position) || running(animation_->orientation) || running(animation_->scale);
    if (transformAnimates) {
        return composeLocal(presentationPositionAt(now), presentationOrientationAt(now), presentationScaleAt(now));
    }
    glm::mat4 shown = local_;
    const SCNVector3 offset = animation_->actionOffset(now);
    shown[3] += glm::vec4(offset.x, offset.y, offset.z, 0.0f);
    return shown;
}

SCNVector3 SCNNode::presentationPosition() const { return presentationPositionAt(SceneClock::now()); }

SCNQuaternion SCNNode::presentationOrientation() const { return presentationOrientationAt(SceneClock::now()); }

SCNVector3 SCNNode::presentationScale() const { return presentationScaleAt(SceneClock::now()); }

double SCNNode::presentationOpacity() const { return presentationOpacityAt(SceneClock::now()); }

glm::mat4 SCNNode::presentationTransform() const {
    return animation_ ? presentationTransformAt(SceneClock::now()) : local_;
}

glm::mat4 SCNNode::constrained(glm::mat4 world, const SCNNode* pointOfView) const {
    if (constraints_.empty()) {
        return world;
    }
    auto& evaluating = nodesUnderEvaluation();
    if (std::find(evaluating.begin(), evaluating.end(), this) != evaluating.end()) {
        return world;  // reached again through a constraint's target: use the unconstrained transform
    }
    evaluating.push_back(this);
    const SCNConstraintContext context{pointOfView};
    for (const auto& constraint : constraints_) {
        if (constraint->isEnabled()) {
            world = constraint->apply(*this, world, context);
        }
    }
    evaluating.pop_back();
    return world;
}

glm::mat4 SCNNode::presentationWorldTransform(const SCNNode* pointOfView) const {
    const SCNNode* parent = parent_;
    const glm::mat4 world =
        parent ? parent->presentationWorldTransform(pointOfView) * presentationTransform() : presentationTransform();
    return constrained(world, pointOfView);
}

bool SCNNode::isAnimating() const {
    if (!animation_) {
        return false;
    }
    const double now = SceneClock::now();
    const auto running = [now](const auto& tween) { return tween && tween->isRunning(now); };
    return running(animation_->position) || running(animation_->orientation) || running(animation_->scale) ||
           running(animation_->opacity) ||
           std::any_of(animation_->actions.begin(), animation_->actions.end(),
                       [now](const auto& action) { return !action.isFinished(now); });
}

// ----- Frames -----

bool SCNNode::update(double now) {
    if (!animatingBelow_) {
        return false;
    }
    bool animating = false;
    if (animation_) {
        animation_->prune(now);
        if (animation_->isIdle()) {
            dropAnimationState();
        } else {
            animating = true;
            refreshPresentation(now);
        }
    }
    for (const auto& child : children_) {
        animating = child->update(now) || animating;
    }
    animatingBelow_ = animating;
    return animating;
}

void SCNNode::enumerateVisibleNodes(SCNVisibleNodeVisitor visitor, const SCNNode* pointOfView) const {
    // Where this node and its ancestors show their model, the cached world transforms are what is
    // shown, and the walk reads them instead of composing.
    bool showsModel = true;
    for (const SCNNode* node = parent_; node != nullptr && showsModel; node = node->parent_) {
        showsModel = node->animation_ == nullptr && node->constraints_.empty();
    }
    const glm::mat4 parentWorld = parent_ == nullptr ? glm::mat4(1.0f)
                                  : showsModel       ? parent_->cachedWorld()
                                                     : parent_->presentationWorldTransform(pointOfView);
    visitVisible(visitor, parentWorld, 1.0, showsModel, pointOfView);
}

void SCNNode::visitVisible(const SCNVisibleNodeVisitor& visitor, const glm::mat4& parentWorld, double parentOpacity,
                           bool parentShowsModel, const SCNNode* pointOfView) const {
    const double opacity = parentOpacity * presentedOpacity_;
    if (hidden_ || !(opacity > 0.0)) {
        return;
    }
    const bool showsModel = parentShowsModel && animation_ == nullptr && constraints_.empty();
    glm::mat4 shown(1.0f);
    if (!showsModel) {
        shown = constrained(parentWorld * presentedLocal_, pointOfView);
    }
    const glm::mat4& world = showsModel ? cachedWorld() : shown;
    visitor(*this, world, opacity);
    for (const auto& child : children_) {
        child->visitVisible(visitor, world, opacity, showsModel, pointOfView);
    }
}

// ----- Hit testing -----

std::vector<SCNHitTestResult> SCNNode::hitTestWithSegment(const SCNVector3& from, const SCNVector3& to,
                                                          const SCNHitTestOptions& options) const {
    return graph_internal::castRay(*this, from.simd(), (to - from).simd(), 1.0f, options);
}

}  // namespace vantrel
