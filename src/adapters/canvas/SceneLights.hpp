#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "vantrel/adapters/SceneEnvironment.hpp"
#include "vantrel/graph/SCNBoundingVolume.hpp"
#include "vantrel/graph/UIColor.hpp"

namespace vantrel {
class SCNNode;
}

namespace vantrel::detail {

/// The light nodes of `environment`, new and unplaced: the two omni lights, or the studio's look-at
/// centre followed by its main, fill and two back lights. The key light (the upper omni light, the
/// studio's main light) casts the products' shadows onto the ground.
std::vector<std::shared_ptr<SCNNode>> makeSceneLights(SceneEnvironment environment);

/// Places `lights` (made by `makeSceneLights` for `environment`) around the content sphere.
void laySceneLights(SceneEnvironment environment, const std::vector<std::shared_ptr<SCNNode>>& lights,
                    const SCNBoundingSphere& content);

/// The background colour of the view in `environment`; nothing clears it.
std::optional<UIColor> sceneBackground(SceneEnvironment environment);

/// Line and text colours of the dimension display in `environment`.
std::pair<UIColor, UIColor> sizeColors(SceneEnvironment environment);

}  // namespace vantrel::detail
