#include "vantrel/scene/ModelNode.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <optional>

#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_io.hpp>

#include <glm/common.hpp>
#include <glm/mat3x3.hpp>

#include "vantrel/graph/BoundsAccumulator.hpp"
#include "vantrel/graph/SCNAction.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/graph/SCNTransaction.hpp"

namespace vantrel {
namespace {

// The lift sits a hair above the floor even at the bottom of the bob, so that the content never
// z-fights with the ground or with a model it stands on.
constexpr float kLevitationClearance = 0.005f;
constexpr float kLevitationShareOfHeight = 0.1f;
constexpr double kLevitationRiseSeconds = 0.25;
constexpr double kLevitationBobHalfPeriodSeconds = 0.5;
constexpr std::uint64_t kDefaultCategoryBitMask = 1;
// World coordinates reach the box corners through float arithmetic, so boxes placed to meet exactly
// at the tolerance can land a few units in the last place beyond it; the allowance grows with the
// coordinates, as that rounding does.
constexpr double kRoundingAllowance = 8.0 * FLT_EPSILON;

std::string newUuidString() { return boost::uuids::to_string(boost::uuids::random_generator()()); }

// Changes made in `change` show at once, even when the caller has a transaction open.
template <typename Change>
void withoutAnimation(Change&& change) {
    SCNTransaction::begin();
    SCNTransaction::setAnimationDuration(0.0);
    change();
    SCNTransaction::commit();
}

template <typename Change>
void animated(double seconds, Change&& change) {
    SCNTransaction::begin();
    SCNTransaction::setAnimationDuration(seconds);
    change();
    SCNTransaction::commit();
}

std::vector<std::shared_ptr<SCNNode>> nodeAndDescendants(const std::shared_ptr<SCNNode>& root) {
    auto nodes = root->childNodesPassingTest([](const SCNNode&, bool&) { return true; });
    nodes.insert(nodes.begin(), root);
    return nodes;
}

void clearGlow(const std::shared_ptr<SCNNode>& content) {
    for (const auto& node : nodeAndDescendants(content)) {
        if (node == content || node->geometry()) {
            node->setCategoryBitMask(kDefaultCategoryBitMask);
        }
    }
}

// Pairs each node below `original` with its counterpart below `copy`. Clones mirror the tree they
// were made from; a subtree whose clone differs in shape is left unpaired rather than guessed.
void pairClones(const SCNNode& original, const SCNNode& copy,
                std::map<const SCNNode*, std::shared_ptr<SCNNode>>& counterparts) {
    const auto& originals = original.childNodes();
    const auto& copies = copy.childNodes();
    if (originals.size() != copies.size()) {
        return;
    }
    for (std::size_t i = 0; i < originals.size(); ++i) {
        counterparts.emplace(originals[i].get(), copies[i]);
        pairClones(*originals[i], *copies[i], counterparts);
    }
}

}  // namespace

ModelNode::ModelNode(std::string id, std::string componentId)
    : id_(std::move(id)),
      componentId_(std::move(componentId)),
      shownSizesNode_(SCNNode::make()),
      contentNode_(SCNNode::make()) {
    contentNode_->setName(contentNodeName);
    addChildNode(contentNode_);
}

ModelNode::ModelNode() : ModelNode(newUuidString(), newUuidString()) {}

ModelNode::ModelNode(const ModelNode& other)
    : SCNNode(other),
      id_(newUuidString()),
      componentId_(other.componentId_),
      isFloating_(other.isFloating_),
      snappingAreas_(other.snappingAreas_) {}

ModelNode::~ModelNode() = default;

std::shared_ptr<ModelNode> ModelNode::make(std::string id, std::string componentId) {
    return std::make_shared<ModelNode>(std::move(id), std::move(componentId));
}

std::shared_ptr<ModelNode> ModelNode::make() { return std::make_shared<ModelNode>(); }

void ModelNode::add(const std::vector<std::shared_ptr<SCNNode>>& nodes) {
    for (const auto& node : nodes) {
        if (node) {
            contentNode_->addChildNode(node);
        }
    }
}

// ----- Highlighting -----

void ModelNode::highlight(ModelHighlightingMode mode) {
    if (highlightedMode_) {
        return;
    }
    switch (mode) {
        case ModelHighlightingMode::glow:
            for (const auto& node : nodeAndDescendants(contentNode_)) {
                if (node->geometry()) {
                    node->setCategoryBitMask(glowCategoryBitMask);
                }
            }
            break;
        case ModelHighlightingMode::levitation:
            if (!isFloating_) {
                startLevitation();
            }
            break;
    }
    highlightedMode_ = mode;
}

void ModelNode::unhighlight() {
    if (!highlightedMode_) {
        return;
    }
    switch (*highlightedMode_) {
        case ModelHighlightingMode::glow: clearGlow(contentNode_); break;
        case ModelHighlightingMode::levitation: endLevitation(); break;
    }
    highlightedMode_.reset();
}

void ModelNode::startLevitation() {
    // A bob left running would move the content when it is taken off later; taking it off first
    // leaves the content where it is shown, and that is the place to rest at.
    contentNode_->removeActionForKey(highlightingAnimationKey);
    const SCNVector3 rest = contentNode_->position();
    highlightLevitationInitialPosition_ = rest;

    const SCNBoundingBox box = contentNode_->boundingBox();
    const float bob = kLevitationShareOfHeight * std::abs(box.max.y - box.min.y);
    withoutAnimation([&] { contentNode_->setPosition(rest + SCNVector3(0.0f, kLevitationClearance, 0.0f)); });
    animated(kLevitationRiseSeconds,
             [&] { contentNode_->setPosition(rest + SCNVector3(0.0f, kLevitationClearance + bob, 0.0f)); });

    auto down = SCNAction::moveBy({0.0f, -bob, 0.0f}, kLevitationBobHalfPeriodSeconds);
    down->setTimingMode(SCNActionTimingMode::easeInEaseOut);
    auto up = SCNAction::moveBy({0.0f, bob, 0.0f}, kLevitationBobHalfPeriodSeconds);
    up->setTimingMode(SCNActionTimingMode::easeInEaseOut);
    contentNode_->runAction(SCNAction::repeatForever(SCNAction::sequence({down, up})), highlightingAnimationKey);
    levitationLifted_ = true;
}

void ModelNode::endLevitation() {
    // Decided by what was done, not by the floating flag: the flag may have changed meanwhile, and a
    // content that was never lifted must not be moved to a resting height it never had.
    if (levitationLifted_) {
        contentNode_->removeActionForKey(highlightingAnimationKey);
        const SCNVector3 shown = contentNode_->position();
        const float restY = highlightLevitationInitialPosition_.y;
        animated(kLevitationRiseSeconds, [&] { contentNode_->setPosition({shown.x, restY, shown.z}); });
        levitationLifted_ = false;
    }
    highlightLevitationInitialPosition_ = SCNVector3Zero;
}

glm::mat4 ModelNode::restingContentTransform() const {
    glm::mat4 transform = contentNode_->simdTransform();
    if (levitationLifted_) {
        transform[3].y = highlightLevitationInitialPosition_.y;
    }
    return transform;
}

SCNBoundingBox ModelNode::restingContentBox() const {
    const glm::mat4 transform = restingContentTransform();
    BoundsAccumulator bounds;
    bounds.addSubtree(*contentNode_, transform);
    if (auto box = bounds.box()) {
        return *box;
    }
    const SCNVector3 origin{transform[3].x, transform[3].y, transform[3].z};
    return {origin, origin};
}

// ----- Overlap -----

SCNBoundingBox ModelNode::overlapBoundingBox() const {
    // Built from the world boxes the scene graph caches for each child's subtree, so that a check
    // against every model of a room walks no product's parts unless they changed.
    const glm::mat4 world = simdWorldTransform();
    BoundsAccumulator bounds;
    if (const auto& own = geometry(); own && own->hasBounds()) {
        bounds.add(world, own->boundingBox());
    }
    for (const auto& child : childNodes()) {
        // The labels and arrowheads of the dimension display, and the snapping points, stand outside the
        // product; counting them would make every model that shows them collide with its neighbours.
        if (child == shownSizesNode_ || isSnappingNode(*child)) {
            continue;
        }
        const auto box = child->worldBoundingBox();
        if (!box) {
            continue;
        }
        glm::vec3 shift(0.0f);
        if (child == contentNode_ && levitationLifted_) {
            // The lift moves the whole content along the model's y axis: at rest it stands that much lower.
            const float lift = contentNode_->simdTransform()[3].y - restingContentTransform()[3].y;
            shift = -glm::vec3(world[1]) * lift;
        }
        bounds.add(box->min.simd() + shift, box->max.simd() + shift);
    }
    if (auto box = bounds.box()) {
        return *box;
    }
    const SCNVector3 origin = worldPosition();
    return {origin, origin};
}

bool ModelNode::boxesOverlap(const SCNBoundingBox& a, const SCNBoundingBox& b) {
    const auto reachInto = [](float aMin, float aMax, float bMin, float bMax) {
        const double magnitude = std::max(
            {1.0, std::abs(double(aMin)), std::abs(double(aMax)), std::abs(double(bMin)), std::abs(double(bMax))});
        const double limit = double(overlapTolerance) + magnitude * kRoundingAllowance;
        return double(aMax) - double(bMin) > limit && double(bMax) - double(aMin) > limit;
    };
    return reachInto(a.min.x, a.max.x, b.min.x, b.max.x) && reachInto(a.min.y, a.max.y, b.min.y, b.max.y) &&
           reachInto(a.min.z, a.max.z, b.min.z, b.max.z);
}

bool ModelNode::isOverlapped(const std::vector<std::shared_ptr<ModelNode>>& models) const {
    std::optional<SCNBoundingBox> own;
    for (const auto& other : models) {
        if (!other || other.get() == this) {
            continue;
        }
        if (!own) {
            own = overlapBoundingBox();
        }
        if (boxesOverlap(*own, other->overlapBoundingBox())) {
            return true;
        }
    }
    return false;
}

// ----- Cloning -----

std::shared_ptr<SCNNode> ModelNode::clone() const {
    std::shared_ptr<ModelNode> copy(new ModelNode(*this));
    cloneChildrenInto(*copy);

    std::map<const SCNNode*, std::shared_ptr<SCNNode>> counterparts;
    pairClones(*this, *copy, counterparts);
    const auto counterpart = [&counterparts](const std::shared_ptr<SCNNode>& node) -> std::shared_ptr<SCNNode> {
        const auto it = counterparts.find(node.get());
        return it == counterparts.end() ? nullptr : it->second;
    };

    copy->contentNode_ = counterpart(contentNode_);
    if (!copy->contentNode_) {
        copy->contentNode_ = contentNode_->clone();  // taken out of the model by someone: stays out
    }
    copy->shownSizesNode_ = counterpart(shownSizesNode_);
    if (!copy->shownSizesNode_) {
        copy->shownSizesNode_ = SCNNode::make();
    }
    for (const auto& [node, materials] : defaultMaterialsDictionary_) {
        if (auto part = counterpart(node)) {
            copy->defaultMaterialsDictionary_.emplace(std::move(part), materials);
        }
    }
    for (const auto& [node, material] : assignedMaterials_) {
        if (auto part = counterpart(node)) copy->assignedMaterials_.emplace(std::move(part), material);
    }
    copy->appliedMaterialVariant_ = appliedMaterialVariant_;
    copy->adoptClonedAnchorObjectModels(*this, counterpart);

    copy->adoptClonedSnappingNodes(*this, counterpart);

    // The copy runs no actions, so a lifted or glowing content would be stuck that way with nothing
    // recorded to undo it.
    if (levitationLifted_) {
        const SCNVector3 lifted = copy->contentNode_->position();
        const float restY = highlightLevitationInitialPosition_.y;
        withoutAnimation([&] { copy->contentNode_->setPosition({lifted.x, restY, lifted.z}); });
    }
    if (highlightedMode_ == ModelHighlightingMode::glow) {
        clearGlow(copy->contentNode_);
    }
    return copy;
}

}  // namespace vantrel
