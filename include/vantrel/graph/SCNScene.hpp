#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <memory>

#include "vantrel/graph/SCNMaterialProperty.hpp"

namespace vantrel {

class SCNNode;

/// A scene: the root of a node tree plus the scene-wide lighting environment and background.
/// Reference type (`std::shared_ptr`); used from the main thread only.
class SCNScene {
public:
    /// An empty scene with a new root node.
    SCNScene();
    /// A new shared empty scene.
    [[nodiscard]] static std::shared_ptr<SCNScene> make() { return std::make_shared<SCNScene>(); }

    /// The root node; it is never replaced.
    [[nodiscard]] const std::shared_ptr<SCNNode>& rootNode() const noexcept { return rootNode_; }
    /// The image-based lighting of the scene (empty by default: no environment light).
    SCNMaterialProperty& lightingEnvironment() noexcept { return lightingEnvironment_; }
    [[nodiscard]] const SCNMaterialProperty& lightingEnvironment() const noexcept { return lightingEnvironment_; }
    /// What is drawn behind everything (empty by default: the view's background colour).
    SCNMaterialProperty& background() noexcept { return background_; }
    [[nodiscard]] const SCNMaterialProperty& background() const noexcept { return background_; }

    /// Advances every animation in the scene to scene time `now` (see `SCNNode::update`) and refills the
    /// cached world transforms and boxes that changes made stale; a renderer calls it once before each
    /// frame, after which reading the graph writes nothing. Returns true while something still animates.
    bool update(double now);
    /// True while something in the scene animates (as of the last `update`, or started since): a canvas
    /// that draws on demand keeps drawing frames while this holds.
    [[nodiscard]] bool isAnimating() const noexcept;

private:
    std::shared_ptr<SCNNode> rootNode_;
    SCNMaterialProperty lightingEnvironment_;
    SCNMaterialProperty background_;
};

}  // namespace vantrel

#pragma GCC visibility pop
