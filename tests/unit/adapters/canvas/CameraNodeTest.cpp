// The orbiting camera rig: its set-up, distance, zoom, orbit and the ground it keeps above.

#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "unit/graph/GraphTestSupport.hpp"
#include "vantrel/adapters/CameraNode.hpp"
#include "vantrel/graph/SCNCamera.hpp"

namespace vantrel {
namespace {

using graph_test::near;

constexpr float twoPi = 2.0f * std::numbers::pi_v<float>;

// The direction the lens is shown looking in, constraints applied.
SCNVector3 viewingDirection(const SCNNode& lens) {
    const auto world = lens.presentationWorldTransform();
    return SCNVector3(-glm::vec3(world[2])).normalized();
}

std::shared_ptr<SCNNode> groundAt(float height) {
    auto ground = SCNNode::make();
    ground->setPosition({0.0f, height, 0.0f});
    return ground;
}

TEST(CameraNode, ANewRigLooksAtItsCentreFromTheInitialDistanceTurnedATenthInPitchAndYaw) {
    const auto rig = CameraNode::make();
    const auto& lens = rig->cameraLens();
    EXPECT_EQ(rig->name(), "cameraOrbit");
    EXPECT_EQ(lens->name(), "cameraLens");
    ASSERT_TRUE(lens->camera());
    EXPECT_TRUE(lens->camera()->automaticallyAdjustsZRange());
    EXPECT_FLOAT_EQ(lens->camera()->zNear(), 0.01);
    EXPECT_NEAR(lens->worldPosition().length(), 1.3f, 1e-5f);

    // Pitch −36° about the rig's X, then yaw −36° about Y: the camera stands above, in front and to the left.
    const float angle = twoPi * 0.1f;
    const SCNVector3 pitched{0.0f, 1.3f * std::sin(angle), 1.3f * std::cos(angle)};
    const SCNVector3 expected{pitched.z * std::sin(-angle), pitched.y, pitched.z * std::cos(-angle)};
    EXPECT_TRUE(near(lens->worldPosition(), expected, 1e-4f));
    EXPECT_TRUE(near(viewingDirection(*lens), (SCNVector3{} - expected).normalized(), 1e-4f));
}

TEST(CameraNode, DistanceAndZoomScaleTheOffsetAndKeepTheViewingDirection) {
    struct Case {
        const char* what;
        void (*change)(CameraNode&);
        float distance;
    };
    const Case cases[] = {
        {"distance 4", [](CameraNode& rig) { rig.setDistance(4.0f); }, 4.0f},
        {"zoom 2 halves", [](CameraNode& rig) { rig.zoom(2.0); }, 0.65f},
        {"zoom 0.5 doubles", [](CameraNode& rig) { rig.zoom(0.5); }, 2.6f},
        {"no limit inwards", [](CameraNode& rig) { rig.zoom(1e4); }, 1.3e-4f},
        {"no limit outwards", [](CameraNode& rig) { rig.zoom(1e-4); }, 1.3e4f},
        // An empty canvas has radius 0: the lens keeps its offset instead of collapsing onto the centre.
        {"distance 0 ignored", [](CameraNode& rig) { rig.setDistance(0.0f); }, 1.3f},
    };
    for (const auto& c : cases) {
        const auto rig = CameraNode::make();
        const auto direction = rig->cameraLens()->position().normalized();
        c.change(*rig);
        EXPECT_NEAR(rig->distance() / c.distance, 1.0f, 1e-4f) << c.what;
        EXPECT_TRUE(near(rig->cameraLens()->position().normalized(), direction, 1e-5f)) << c.what;
    }
    const auto rig = CameraNode::make();
    rig->cameraLens()->setPosition({});
    rig->setDistance(3.0f);
    EXPECT_EQ(rig->cameraLens()->position(), SCNVector3{}) << "a lens at the centre stays there";
}

TEST(CameraNode, WithoutGroundTheOrbitGoesBelowTheCentreAndMovingKeepsHeights) {
    const auto rig = CameraNode::make();
    rig->moveCenter({1.0f, -5.0f, 2.0f});
    EXPECT_EQ(rig->position(), (SCNVector3{1.0f, -5.0f, 2.0f}));
    rig->rotate(-0.3f, 0.0f);
    EXPECT_LT(rig->cameraLens()->worldPosition().y, -5.0f);
    EXPECT_FALSE(rig->groundPitchCorrection());
    EXPECT_FALSE(rig->groundZoomCorrection());
}

TEST(CameraNode, WithGroundEveryOperationLeavesTheCameraAboveTheClearance) {
    struct Case {
        const char* what;
        float ground;
        void (*change)(CameraNode&);
    };
    const Case cases[] = {
        {"centre moved below the ground", 0.0f,
         [](CameraNode& rig) {
             rig.moveCenter({0.0f, -2.0f, 0.0f});
         }},
        {"centre moved onto a raised ground", 1.0f,
         [](CameraNode& rig) {
             rig.moveCenter({3.0f, 1.0f, 0.0f});
         }},
        {"orbit pitched down in one step", 0.0f, [](CameraNode& rig) { rig.rotate(-0.2f, 0.0f); }},
        {"orbit pitched down in small drag steps", 0.0f,
         [](CameraNode& rig) {
             for (int step = 0; step < 40; ++step) rig.rotate(-0.01f, 0.003f);
         }},
        {"orbit pitched down above a centre high up", 0.0f,
         [](CameraNode& rig) {
             rig.moveCenter({0.0f, 0.5f, 0.0f});
             for (int step = 0; step < 40; ++step) rig.rotate(-0.01f, 0.0f);
         }},
        {"zoomed out below the centre", 0.0f,
         [](CameraNode& rig) {
             rig.moveCenter({0.0f, 0.5f, 0.0f});
             rig.setOrientation({0.0f, 0.0f, 0.0f, 1.0f});
             rig.rotate(0.05f, 0.0f);  // slightly below the centre, looking up
             rig.zoom(0.1);
         }},
        {"no movement while below the clearance", 0.0f,
         [](CameraNode& rig) {
             rig.setGroundNode(nullptr);
             rig.rotate(-0.15f, 0.0f);
             rig.setGroundNode(groundAt(0.0f));
             rig.rotate(0.0f, 0.0f);
         }},
    };
    for (const auto& c : cases) {
        const auto rig = CameraNode::make();
        rig->setGroundNode(groundAt(c.ground));
        c.change(*rig);
        EXPECT_GE(rig->cameraLens()->worldPosition().y, c.ground + CameraNode::groundClearance - 1e-4f) << c.what;
        EXPECT_TRUE(std::isfinite(rig->orientation().w)) << c.what;
    }
}

}  // namespace
}  // namespace vantrel
