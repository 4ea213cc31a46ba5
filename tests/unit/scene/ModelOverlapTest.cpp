// When two product models count as overlapping.

#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include <glm/gtc/constants.hpp>

#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/graph/SceneClock.hpp"
#include "vantrel/scene/ModelNode.hpp"

namespace vantrel {
namespace {

std::shared_ptr<ModelNode> boxModel(SCNVector3 position, float width = 1, float height = 1, float depth = 1) {
    auto model = ModelNode::make();
    model->add({SCNNode::make(SCNBox::make(width, height, depth))});
    model->setPosition(position);
    return model;
}

SCNVector3 along(int axis, float distance) {
    SCNVector3 v;
    (axis == 0 ? v.x : axis == 1 ? v.y : v.z) = distance;
    return v;
}

TEST(ModelNodeOverlap, TouchingFacesAndTheToleratedMarginDoNotCountOnAnyAxis) {
    for (int axis = 0; axis < 3; ++axis) {
        SCOPED_TRACE(axis);
        auto fixed = boxModel({});
        EXPECT_FALSE(fixed->isOverlapped({boxModel(along(axis, 1.0f))})) << "face to face";
        EXPECT_FALSE(fixed->isOverlapped({boxModel(along(axis, 0.995f))})) << "exactly the margin";
        EXPECT_TRUE(fixed->isOverlapped({boxModel(along(axis, 0.99f))}));

        // Away from the origin the same placement reaches the corners with rounding in the last place.
        auto far = boxModel(along(axis, 2.0f));
        EXPECT_FALSE(far->isOverlapped({boxModel(along(axis, 2.995f))}));
    }
    // Deep on two axes but apart on the third.
    EXPECT_FALSE(boxModel({})->isOverlapped({boxModel({0.5f, 0.5f, 1.0f})}));
}

TEST(ModelNodeOverlap, SkipsItselfAndComparesWorldPlacement) {
    auto model = boxModel({});
    EXPECT_FALSE(model->isOverlapped({model, nullptr}));
    EXPECT_TRUE(model->isOverlapped({model, boxModel({5, 0, 0}), boxModel({0.3f, 0, 0})}));

    // Same local position, another parent: only the world counts.
    auto room = SCNNode::make();
    room->setPosition({10, 0, 0});
    auto inRoom = boxModel({});
    room->addChildNode(inRoom);
    EXPECT_FALSE(inRoom->isOverlapped({model}));
    EXPECT_TRUE(inRoom->isOverlapped({boxModel({10.5f, 0, 0})}));
}

TEST(ModelNodeOverlap, TurnedAndScaledModelsAreMeasuredAsTheyStand) {
    auto neighbour = boxModel({0.8f, 0, 0});  // from x = 0.3

    auto bench = boxModel({}, 2.0f, 1.0f, 0.4f);  // along x it would reach 1.0
    EXPECT_TRUE(bench->isOverlapped({neighbour}));
    bench->setEulerAngles({0, glm::half_pi<float>(), 0});  // now it reaches only 0.2 along x
    EXPECT_FALSE(bench->isOverlapped({neighbour}));

    auto cube = boxModel({});
    auto beyond = boxModel({1.3f, 0, 0});
    EXPECT_FALSE(cube->isOverlapped({beyond}));
    cube->setScale({2, 2, 2});
    EXPECT_TRUE(cube->isOverlapped({beyond}));
}

TEST(ModelNodeOverlap, TheDimensionDisplayAndTheLevitationLiftDoNotEnlargeTheProduct) {
    ManualSceneClock clock;
    auto model = boxModel({});
    model->showSizes(UIColor::whiteColor(), UIColor::blackColor());
    // The height label stands out of the left front edge, the arrowheads out of the bottom.
    EXPECT_FALSE(model->isOverlapped({boxModel({-1, 0, 0}), boxModel({0, 0, 1}), boxModel({0, -1, 0})}));

    // A wall cabinet just above: the lift of the levitation would reach it, the product at rest not.
    auto wallCabinet = boxModel({0, 1.02f, 0});
    model->highlight(ModelHighlightingMode::levitation);
    clock.advance(1.0);
    EXPECT_FALSE(model->isOverlapped({wallCabinet}));
    EXPECT_TRUE(model->isOverlapped({boxModel({0, 0.9f, 0})}));
}

}  // namespace
}  // namespace vantrel
