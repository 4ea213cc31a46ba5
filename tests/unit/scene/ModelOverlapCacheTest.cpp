// The overlap check reads boxes the scene graph caches: they must follow changes to the products.

#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/scene/ModelNode.hpp"

namespace vantrel {
namespace {

TEST(ModelNodeOverlapCache, FollowsChangesToContentAndPlacementAfterAnEarlierCheck) {
    auto sofa = ModelNode::make();
    auto seat = SCNNode::make(SCNBox::make(2, 1, 1));
    sofa->add({seat});
    auto table = ModelNode::make();
    table->add({SCNNode::make(SCNBox::make(1, 1, 1))});
    table->setPosition({2, 0, 0});
    const std::vector<std::shared_ptr<ModelNode>> room{sofa, table};
    ASSERT_FALSE(sofa->isOverlapped(room));

    auto armrest = SCNNode::make(SCNBox::make(0.5f, 1, 1));
    armrest->setPosition({1.5f, 0, 0});
    sofa->add({armrest});
    EXPECT_TRUE(sofa->isOverlapped(room)) << "a part added to the content";

    armrest->removeFromParentNode();
    EXPECT_FALSE(sofa->isOverlapped(room));
    seat->setScale({1.6f, 1, 1});
    EXPECT_TRUE(sofa->isOverlapped(room)) << "a part scaled";
    table->setPosition({3, 0, 0});
    EXPECT_FALSE(table->isOverlapped(room)) << "the other model moved away";
}

}  // namespace
}  // namespace vantrel
