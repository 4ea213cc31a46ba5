// Look-at and billboard constraints on the presented transform.

#include <cmath>

#include <glm/geometric.hpp>
#include <glm/gtc/constants.hpp>
#include <gtest/gtest.h>

#include "GraphTestSupport.hpp"
#include "vantrel/graph/SCNBillboardConstraint.hpp"
#include "vantrel/graph/SCNLookAtConstraint.hpp"
#include "vantrel/graph/SCNNode.hpp"

namespace vantrel {
namespace {

using graph_test::applyToDirection;
using graph_test::near;

SCNVector3 forwardOf(const glm::mat4& world) { return applyToDirection(world, {0, 0, -1}).normalized(); }
SCNVector3 upOf(const glm::mat4& world) { return applyToDirection(world, {0, 1, 0}).normalized(); }
SCNVector3 positionOf(const glm::mat4& world) { return {world[3].x, world[3].y, world[3].z}; }

TEST(LookAtConstraint, CameraOnAnOrbitingRigFacesTheRigsOrigin) {
    // The canvas camera: a rig turned by pitch and yaw, its lens 1.3 away, looking back at the rig.
    auto scene = SCNNode::make();
    auto rig = SCNNode::make();
    auto lens = SCNNode::make();
    scene->addChildNode(rig);
    rig->addChildNode(lens);
    rig->setPosition({0.5f, 0.2f, -1.0f});
    rig->setEulerAngles({-0.6f, 0.6f, 0.0f});
    lens->setPosition({0, 0, 1.3f});
    lens->setConstraints({SCNLookAtConstraint::make(rig)});

    const glm::mat4 world = lens->presentationWorldTransform();
    const SCNVector3 toRig = (rig->worldPosition() - positionOf(world)).normalized();
    EXPECT_TRUE(near(forwardOf(world), toRig));
    EXPECT_TRUE(near(positionOf(world), lens->worldPosition())) << "position is untouched";
    EXPECT_NEAR((rig->worldPosition() - positionOf(world)).length(), 1.3f, 1e-5f);
    const SCNVector3 right = applyToDirection(world, {1, 0, 0}).normalized();
    EXPECT_NEAR(right.y, 0.0f, 1e-5f) << "no roll: the horizon stays level";
    EXPECT_GT(upOf(world).y, 0.0f);
    EXPECT_TRUE(near(lens->eulerAngles(), {0, 0, 0})) << "the model keeps its own rotation";
    EXPECT_TRUE(near(forwardOf(lens->simdWorldTransform()), forwardOf(rig->simdWorldTransform())));
}

TEST(LookAtConstraint, LooksStraightDownAndKeepsScaleAndSurvivesAVanishedTarget) {
    auto scene = SCNNode::make();
    auto light = SCNNode::make();
    auto target = SCNNode::make();
    scene->addChildNode(light);
    scene->addChildNode(target);
    light->setPosition({0, 5, 0});
    light->setScale({2, 2, 2});
    light->setConstraints({SCNLookAtConstraint::make(target)});
    const glm::mat4 world = light->presentationWorldTransform();
    EXPECT_TRUE(near(forwardOf(world), {0, -1, 0})) << "looking along the up direction needs a fallback";
    EXPECT_NEAR(glm::length(glm::vec3(world[0])), 2.0f, 1e-5f);
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            EXPECT_TRUE(std::isfinite(world[c][r]));
        }
    }

    target->removeFromParentNode();
    target.reset();
    EXPECT_EQ(light->presentationWorldTransform(), light->simdWorldTransform()) << "no target: no turn";
}

TEST(LookAtConstraint, CyclesEndInsteadOfRecursingForever) {
    auto scene = SCNNode::make();
    auto a = SCNNode::make();
    auto b = SCNNode::make();
    scene->addChildNode(a);
    a->addChildNode(b);
    b->setPosition({1, 0, 0});
    a->setConstraints({SCNLookAtConstraint::make(b)});  // looks at its own child
    b->setConstraints({SCNLookAtConstraint::make(a)});
    const glm::mat4 world = b->presentationWorldTransform();
    EXPECT_TRUE(std::isfinite(world[3].x));
}

TEST(LookAtConstraint, InfluenceBlendsAndAnOtherFrontAxisPointsAtTheTarget) {
    auto scene = SCNNode::make();
    auto node = SCNNode::make();
    auto target = SCNNode::make();
    scene->addChildNode(node);
    scene->addChildNode(target);
    target->setPosition({10, 0, 0});
    auto constraint = SCNLookAtConstraint::make(target);
    constraint->setLocalFront({0, 0, 1});
    node->setConstraints({constraint});
    EXPECT_TRUE(near(applyToDirection(node->presentationWorldTransform(), {0, 0, 1}), {1, 0, 0}));

    constraint->setLocalFront({0, 0, -1});
    constraint->setInfluenceFactor(0.5);  // half way from facing −Z to facing +X
    const SCNVector3 forward = forwardOf(node->presentationWorldTransform());
    EXPECT_TRUE(near(forward, SCNVector3(1, 0, -1).normalized()));
}

TEST(BillboardConstraint, FreeAboutYTurnsToTheViewerAndStaysUpright) {
    auto scene = SCNNode::make();
    auto model = SCNNode::make();
    auto label = SCNNode::make();
    auto camera = SCNNode::make();
    scene->addChildNode(model);
    model->addChildNode(label);
    scene->addChildNode(camera);
    model->setEulerAngles({0.0f, 1.0f, 0.3f});  // a turned, tilted parent must not tilt the label
    label->setPosition({0, 1, 0});
    label->setScale({0.25f, 0.25f, 0.25f});
    label->setConstraints({SCNBillboardConstraint::make(SCNBillboardAxis::Y)});
    camera->setPosition({3, 5, 3});

    const glm::mat4 world = label->presentationWorldTransform(camera.get());
    const SCNVector3 front = applyToDirection(world, {0, 0, 1}).normalized();
    const SCNVector3 toCamera = camera->worldPosition() - positionOf(world);
    const SCNVector3 flatToCamera = SCNVector3(toCamera.x, 0, toCamera.z).normalized();
    EXPECT_TRUE(near(front, flatToCamera)) << "faces the viewer horizontally";
    EXPECT_TRUE(near(upOf(world), {0, 1, 0})) << "stays upright";
    EXPECT_NEAR(glm::length(glm::vec3(world[1])), 0.25f, 1e-5f);

    EXPECT_EQ(label->presentationWorldTransform(nullptr), label->simdWorldTransform()) << "no viewer: no turn";
}

TEST(BillboardConstraint, FreeAboutAllAxesFacesTheViewerFully) {
    auto scene = SCNNode::make();
    auto sign = SCNNode::make();
    auto camera = SCNNode::make();
    scene->addChildNode(sign);
    scene->addChildNode(camera);
    sign->setConstraints({SCNBillboardConstraint::make()});
    camera->setPosition({0, 4, 3});
    const glm::mat4 world = sign->presentationWorldTransform(camera.get());
    EXPECT_TRUE(near(applyToDirection(world, {0, 0, 1}).normalized(), SCNVector3(0, 4, 3).normalized()));
}

}  // namespace
}  // namespace vantrel
