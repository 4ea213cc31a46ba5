// Local and world transforms of nodes, their rotation forms, and conversions between node spaces.

#include <cmath>

#include <glm/gtc/constants.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include "GraphTestSupport.hpp"
#include "vantrel/graph/SCNNode.hpp"

namespace vantrel {
namespace {

using graph_test::apply;
using graph_test::applyToDirection;
using graph_test::near;
using graph_test::sameRotation;

constexpr float kPi = glm::pi<float>();

TEST(NodeTransformReadBack, EveryFormReadsBackAsWritten) {
    auto node = SCNNode::make();
    node->setPosition({1.5f, -2.0f, 3.25f});
    EXPECT_EQ(node->position(), SCNVector3(1.5f, -2.0f, 3.25f));

    node->setOrientation({0.0f, 0.0f, 0.0f, 2.0f});  // not unit length: kept as written
    EXPECT_EQ(node->orientation(), SCNVector4(0.0f, 0.0f, 0.0f, 2.0f));
    EXPECT_TRUE(near(apply(node->simdTransform(), {1, 0, 0}), {2.5f, -2.0f, 3.25f})) << "used normalised";

    node->setRotation({0.0f, 2.0f, 0.0f, 0.7f});
    EXPECT_EQ(node->rotation(), SCNVector4(0.0f, 2.0f, 0.0f, 0.7f));
    node->setEulerAngles({0.3f, -1.2f, 0.1f});
    EXPECT_EQ(node->eulerAngles(), SCNVector3(0.3f, -1.2f, 0.1f));

    // A sheared transform cannot be split into position, rotation and scale, yet reads back unchanged.
    glm::mat4 sheared(1.0f);
    sheared[1][0] = 0.5f;
    sheared[3] = glm::vec4(4.0f, 5.0f, 6.0f, 1.0f);
    node->setSimdTransform(sheared);
    EXPECT_EQ(node->simdTransform(), sheared);
    EXPECT_EQ(node->position(), SCNVector3(4.0f, 5.0f, 6.0f));
    node->setPosition({7.0f, 8.0f, 9.0f});
    sheared[3] = glm::vec4(7.0f, 8.0f, 9.0f, 1.0f);
    EXPECT_EQ(node->simdTransform(), sheared) << "moving keeps the shear";
}

TEST(NodeTransformReadBack, DegenerateRotationsMeanNoRotation) {
    auto node = SCNNode::make();
    node->setOrientation({0.0f, 0.0f, 0.0f, 0.0f});
    EXPECT_EQ(node->simdTransform(), glm::mat4(1.0f));
    node->setRotation({0.0f, 0.0f, 0.0f, 1.0f});  // zero axis
    EXPECT_EQ(node->simdTransform(), glm::mat4(1.0f));
    node->setSimdTransform(glm::mat4(std::nanf("")));
    EXPECT_EQ(node->simdTransform(), glm::mat4(1.0f)) << "a not-finite transform is refused";
    EXPECT_EQ(SCNNode().rotation(), SCNVector4(0, 0, 0, 0)) << "no rotation reads as the zero vector";
}

TEST(NodeRotationForms, EulerAnglesTurnRollThenPitchThenYaw) {
    auto node = SCNNode::make();
    // Yaw a quarter turn after pitching a quarter turn: +Y goes to +Z by the pitch, then to +X by the yaw.
    node->setEulerAngles({kPi / 2, kPi / 2, 0.0f});
    EXPECT_TRUE(near(applyToDirection(node->simdTransform(), {0, 1, 0}), {1, 0, 0}));
    // Roll comes first: +X rolls to +Y, which the pitch then turns to +Z.
    node->setEulerAngles({kPi / 2, 0.0f, kPi / 2});
    EXPECT_TRUE(near(applyToDirection(node->simdTransform(), {1, 0, 0}), {0, 0, 1}));

    // A shaft turned with (π/2, −π/2, 0) lies along −X, as the dimension lines expect.
    node->setEulerAngles({kPi / 2, -kPi / 2, 0.0f});
    EXPECT_TRUE(near(applyToDirection(node->simdTransform(), {0, 1, 0}), {-1, 0, 0}));
}

TEST(NodeRotationForms, FormsAgreeWithEachOther) {
    auto node = SCNNode::make();
    const SCNVector3 angles(0.4f, -0.9f, 0.25f);
    node->setEulerAngles(angles);
    const SCNVector4 quaternion = node->orientation();
    const SCNVector4 axisAngle = node->rotation();

    auto other = SCNNode::make();
    other->setOrientation(quaternion);
    EXPECT_TRUE(near(other->eulerAngles(), angles)) << "angles derived from the quaternion";
    other->setRotation(axisAngle);
    EXPECT_TRUE(sameRotation(other->orientation(), quaternion));

    other->setRotation({0.0f, 1.0f, 0.0f, kPi / 2});
    EXPECT_TRUE(near(apply(other->simdTransform(), {0, 0, 1}), {1, 0, 0}));
    other->setOrientation(other->orientation());  // forget the written axis-angle
    EXPECT_TRUE(sameRotation(other->orientation(), {0.0f, std::sin(kPi / 4), 0.0f, std::cos(kPi / 4)}));
    EXPECT_NEAR(other->rotation().w, kPi / 2, 1e-5f);
    EXPECT_TRUE(near({other->rotation().x, other->rotation().y, other->rotation().z}, {0, 1, 0}));
}

TEST(NodeWorldTransform, ComposesParentsAndWritesBackThroughThem) {
    auto root = SCNNode::make();
    auto parent = SCNNode::make();
    auto child = SCNNode::make();
    root->addChildNode(parent);
    parent->addChildNode(child);
    parent->setPosition({10, 0, 0});
    parent->setRotation({0, 1, 0, kPi / 2});  // local +X points along world −Z
    parent->setScale({2, 2, 2});
    child->setPosition({1, 0, 0});

    EXPECT_TRUE(near(child->worldPosition(), {10, 0, -2}));
    EXPECT_TRUE(near(apply(child->simdWorldTransform(), {0, 0, 1}), {12, 0, -2}));
    EXPECT_TRUE(sameRotation(child->worldOrientation(), parent->orientation()));
    EXPECT_TRUE(near(child->worldScale(), {2, 2, 2}));

    child->setWorldPosition({10, 4, 0});
    EXPECT_TRUE(near(child->position(), {0, 2, 0}));
    EXPECT_TRUE(near(child->worldPosition(), {10, 4, 0}));

    child->setWorldOrientation({0, 0, 0, 1});
    EXPECT_TRUE(sameRotation(child->worldOrientation(), {0, 0, 0, 1}));
    EXPECT_TRUE(sameRotation(child->orientation(), {0, -std::sin(kPi / 4), 0, std::cos(kPi / 4)}));

    const glm::mat4 target =
        glm::translate(glm::mat4(1.0f), glm::vec3(1, 2, 3)) * glm::rotate(glm::mat4(1.0f), 0.3f, glm::vec3(1, 0, 0));
    child->setSimdWorldTransform(target);
    const glm::mat4 world = child->simdWorldTransform();
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            EXPECT_NEAR(world[c][r], target[c][r], 1e-5f);
        }
    }
}

TEST(NodeConvertPosition, MapsBetweenSiblingsAncestorsAndWorld) {
    auto root = SCNNode::make();
    auto a = SCNNode::make();
    auto b = SCNNode::make();
    root->addChildNode(a);
    root->addChildNode(b);
    a->setPosition({1, 0, 0});
    a->setRotation({0, 0, 1, kPi / 2});  // a's +X is world +Y
    b->setPosition({0, 0, 5});
    b->setScale({0.5f, 0.5f, 0.5f});

    const SCNVector3 inWorld = a->convertPosition({2, 0, 0}, nullptr);
    EXPECT_TRUE(near(inWorld, {1, 2, 0}));
    EXPECT_TRUE(near(a->convertPosition({2, 0, 0}, b.get()), {2, 4, -10}));
    EXPECT_TRUE(near(b->convertPosition(a->convertPosition({2, 0, 0}, b.get()), a.get()), {2, 0, 0}))
        << "there and back";
    EXPECT_TRUE(near(a->convertPositionFrom({1, 2, 0}, nullptr), {2, 0, 0}));
    EXPECT_TRUE(near(a->convertVector({1, 0, 0}, nullptr), {0, 1, 0})) << "vectors ignore translation";

    b->setScale({0, 1, 1});
    EXPECT_EQ(a->convertPosition({2, 0, 0}, b.get()), SCNVector3Zero) << "a flattened node has no inverse";
}

}  // namespace
}  // namespace vantrel
