// Bounding boxes and spheres of nodes with nested, moved, turned and scaled children.

#include <cmath>

#include <glm/gtc/constants.hpp>
#include <gtest/gtest.h>

#include "GraphTestSupport.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/graph/SCNFloor.hpp"
#include "vantrel/graph/SCNNode.hpp"

namespace vantrel {
namespace {

using graph_test::near;

std::shared_ptr<SCNNode> boxNode(float w, float h, float l) { return SCNNode::make(SCNBox::make(w, h, l)); }

TEST(NodeBoundingBox, EmptyNodesReportTheZeroBoxAndDoNotCount) {
    auto empty = SCNNode::make();
    EXPECT_EQ(empty->boundingBox(), SCNBoundingBox{});
    EXPECT_EQ(empty->boundingSphere(), SCNBoundingSphere{});

    // An empty child far away (a light, a container) must not stretch its parent's box.
    auto parent = boxNode(2, 2, 2);
    auto marker = SCNNode::make();
    marker->setPosition({100, 100, 100});
    parent->addChildNode(marker);
    EXPECT_TRUE(near(parent->boundingBox().max, {1, 1, 1}));

    // Nor does an endless floor.
    auto ground = SCNNode::make(SCNFloor::make());
    parent->addChildNode(ground);
    EXPECT_TRUE(near(parent->boundingBox().min, {-1, -1, -1}));
}

TEST(NodeBoundingBox, CoversMovedScaledAndNestedChildrenInTheNodesOwnCoordinates) {
    auto model = SCNNode::make();
    model->setPosition({50, 50, 50});  // the node's own transform does not enter its box
    auto content = SCNNode::make();
    model->addChildNode(content);
    content->setPosition({0, 1, 0});
    content->setScale({2, 2, 2});

    auto seat = boxNode(1, 0.2f, 1);  // y from −0.1 to 0.1
    auto back = boxNode(1, 1, 0.1f);
    back->setPosition({0, 0.5f, -0.5f});
    content->addChildNode(seat);
    content->addChildNode(back);

    const SCNBoundingBox box = model->boundingBox();
    // content space: x ±0.5, y −0.1…1.0, z −0.55…0.5; then ×2 and +1 on y.
    EXPECT_TRUE(near(box.min, {-1.0f, 0.8f, -1.1f}));
    EXPECT_TRUE(near(box.max, {1.0f, 3.0f, 1.0f}));

    const SCNBoundingSphere sphere = model->boundingSphere();
    EXPECT_TRUE(near(sphere.center, {0.0f, 1.9f, -0.05f}));
    EXPECT_NEAR(sphere.radius, (box.max - box.min).length() / 2, 1e-5f);
}

TEST(NodeBoundingBox, TurnedChildrenCountWithAllEightCorners) {
    auto parent = SCNNode::make();
    auto child = boxNode(2, 2, 2);
    child->setRotation({0, 1, 0, glm::quarter_pi<float>()});
    parent->addChildNode(child);
    const float reach = std::sqrt(2.0f);
    EXPECT_TRUE(near(parent->boundingBox().min, {-reach, -1, -reach}));
    EXPECT_TRUE(near(parent->boundingBox().max, {reach, 1, reach}));
    EXPECT_TRUE(near(child->boundingBox().max, {1, 1, 1})) << "the child's own box is unturned";
}

TEST(NodeBoundingBox, HiddenChildrenStillCountAndBrokenTransformsDoNot) {
    auto parent = boxNode(1, 1, 1);
    auto hidden = boxNode(1, 1, 1);
    hidden->setPosition({5, 0, 0});
    hidden->setHidden(true);
    parent->addChildNode(hidden);
    EXPECT_TRUE(near(parent->boundingBox().max, {5.5f, 0.5f, 0.5f}));

    auto broken = boxNode(1, 1, 1);
    broken->setPosition({std::nanf(""), 0, 0});
    parent->addChildNode(broken);
    EXPECT_TRUE(near(parent->boundingBox().max, {5.5f, 0.5f, 0.5f}));
}

}  // namespace
}  // namespace vantrel
