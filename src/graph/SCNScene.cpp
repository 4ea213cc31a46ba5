#include "vantrel/graph/SCNScene.hpp"

#include "vantrel/graph/SCNNode.hpp"

namespace vantrel {

SCNScene::SCNScene() : rootNode_(SCNNode::make()) {}

}  // namespace vantrel
