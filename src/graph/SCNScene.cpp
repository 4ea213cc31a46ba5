#include "vantrel/graph/SCNScene.hpp"

#include "vantrel/graph/SCNNode.hpp"

namespace vantrel {

SCNScene::SCNScene() : rootNode_(SCNNode::make()) {}

bool SCNScene::update(double now) {
    const bool animating = rootNode_->update(now);
    // Refill the world transforms and boxes that changes since the last frame made stale, so that the
    // render pass and the hit tests of this frame only read.
    (void)rootNode_->worldBoundingBox();
    return animating;
}

bool SCNScene::isAnimating() const noexcept { return rootNode_->subtreeIsAnimating(); }

}  // namespace vantrel
