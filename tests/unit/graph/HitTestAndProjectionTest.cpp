// Ray casts against triangles, and projection through a camera into a viewport.

#include <cmath>

#include <glm/trigonometric.hpp>
#include <glm/gtc/constants.hpp>
#include <gtest/gtest.h>

#include "GraphTestSupport.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/graph/SCNCamera.hpp"
#include "vantrel/graph/SCNFloor.hpp"
#include "vantrel/graph/SCNLookAtConstraint.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNPlane.hpp"
#include "vantrel/graph/SCNTransaction.hpp"
#include "vantrel/graph/SCNViewProjection.hpp"
#include "vantrel/graph/SceneClock.hpp"

namespace vantrel {
namespace {

using graph_test::near;

std::shared_ptr<SCNNode> boxAt(const char* name, const SCNVector3& position, float size = 1.0f) {
    auto node = SCNNode::make(SCNBox::make(size, size, size));
    node->setName(name);
    node->setPosition(position);
    return node;
}

std::vector<std::string> namesOf(const std::vector<SCNHitTestResult>& hits) {
    std::vector<std::string> names;
    for (const auto& hit : hits) {
        names.push_back(hit.node->name());
    }
    return names;
}

class HitTest : public testing::Test {
protected:
    void SetUp() override {
        root = SCNNode::make();
        // Added far to near, so that ordering cannot come from the order of children.
        root->addChildNode(boxAt("far", {0, 0, -10}));
        auto group = SCNNode::make();
        group->setPosition({0, 0, -5});
        group->setScale({2, 2, 2});
        group->addChildNode(boxAt("middle", {0, 0, 0}));
        root->addChildNode(group);
        root->addChildNode(boxAt("near", {0, 0, -2}));
        root->addChildNode(boxAt("aside", {5, 0, -3}));
    }
    std::shared_ptr<SCNNode> root;
};

TEST_F(HitTest, ReportsEveryNodeOnTheRayNearestFirst) {
    const auto hits = root->hitTestWithSegment({0, 0, 0}, {0, 0, -100});
    EXPECT_EQ(namesOf(hits), (std::vector<std::string>{"near", "middle", "far"}));
    ASSERT_EQ(hits.size(), 3u);
    EXPECT_TRUE(near(hits[0].worldCoordinates, {0, 0, -1.5f}));
    EXPECT_NEAR(hits[0].distance, 1.5f, 1e-5f);
    EXPECT_TRUE(near(hits[1].worldCoordinates, {0, 0, -4}));  // scaled box: front face at −5 + 1
    EXPECT_TRUE(near(hits[1].localCoordinates, {0, 0, 0.5f}));
    EXPECT_TRUE(near(hits[1].worldNormal, {0, 0, 1}));
    EXPECT_EQ(hits[1].geometryIndex, 0u) << "the front face element";
}

TEST_F(HitTest, SegmentEndHiddenNodesMasksAndSearchModes) {
    EXPECT_EQ(namesOf(root->hitTestWithSegment({0, 0, 0}, {0, 0, -3})), (std::vector<std::string>{"near"}));

    root->childNodeWithName("near", false)->setHidden(true);
    EXPECT_EQ(namesOf(root->hitTestWithSegment({0, 0, 0}, {0, 0, -100})), (std::vector<std::string>{"middle", "far"}));
    SCNHitTestOptions withHidden;
    withHidden.ignoreHiddenNodes = false;
    EXPECT_EQ(root->hitTestWithSegment({0, 0, 0}, {0, 0, -100}, withHidden).size(), 3u);

    root->childNodeWithName("middle", true)->setCategoryBitMask(2);
    SCNHitTestOptions onlyGlowing;
    onlyGlowing.categoryBitMask = 2;
    EXPECT_EQ(namesOf(root->hitTestWithSegment({0, 0, 0}, {0, 0, -100}, onlyGlowing)),
              (std::vector<std::string>{"middle"}));

    SCNHitTestOptions closest;
    closest.searchMode = SCNHitTestSearchMode::closest;
    EXPECT_EQ(namesOf(root->hitTestWithSegment({0, 0, 0}, {0, 0, -100}, closest)),
              (std::vector<std::string>{"middle"}));
    SCNHitTestOptions any;
    any.searchMode = SCNHitTestSearchMode::any;
    EXPECT_EQ(root->hitTestWithSegment({0, 0, 0}, {0, 0, -100}, any).size(), 1u);
}

TEST_F(HitTest, BackFacesCountOnlyForDoubleSidedMaterials) {
    auto card = SCNNode::make(SCNPlane::make(1, 1));  // faces +Z
    card->setName("card");
    auto scene = SCNNode::make();
    scene->addChildNode(card);
    EXPECT_EQ(scene->hitTestWithSegment({0, 0, 1}, {0, 0, -1}).size(), 1u);
    EXPECT_TRUE(scene->hitTestWithSegment({0, 0, -1}, {0, 0, 1}).empty()) << "seen from behind";

    auto material = SCNMaterial::make();
    material->setDoubleSided(true);
    card->geometry()->setFirstMaterial(material);
    const auto fromBehind = scene->hitTestWithSegment({0, 0, -1}, {0, 0, 1});
    ASSERT_EQ(fromBehind.size(), 1u);
    EXPECT_TRUE(near(fromBehind[0].localNormal, {0, 0, 1}));

    card->setScale({1, 1, -1});  // mirrored: the visible side flips
    card->geometry()->setMaterials({});
    EXPECT_EQ(scene->hitTestWithSegment({0, 0, -1}, {0, 0, 1}).size(), 1u);
}

TEST_F(HitTest, MeetsAnEndlessFloorFromAboveAndSkipsFlattenedNodes) {
    auto scene = SCNNode::make();
    auto ground = SCNNode::make(SCNFloor::make());
    ground->setPosition({0, -1, 0});
    scene->addChildNode(ground);
    const auto hits = scene->hitTestWithSegment({3, 4, 3}, {3, -10, 3});
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_TRUE(near(hits[0].worldCoordinates, {3, -1, 3}));
    EXPECT_TRUE(scene->hitTestWithSegment({3, -4, 3}, {3, 10, 3}).empty());

    auto flat = boxAt("flat", {0, 0, 0});
    flat->setScale({1, 0, 1});
    scene->addChildNode(flat);
    EXPECT_EQ(scene->hitTestWithSegment({0, 5, 0}, {0, -0.5f, 0}).size(), 0u);
}

TEST_F(HitTest, UsesWhatIsShownUnlessAskedForTheModel) {
    ManualSceneClock clock;
    auto moving = root->childNodeWithName("aside", false);
    SCNTransaction::begin();
    SCNTransaction::setAnimationDuration(1.0);
    moving->setPosition({0, 0, -1});  // model already in front of the ray's way
    SCNTransaction::commit();
    EXPECT_EQ(namesOf(root->hitTestWithSegment({0, 0, 0}, {0, 0, -100})).front(), "near");
    SCNHitTestOptions model;
    model.usePresentation = false;
    EXPECT_EQ(namesOf(root->hitTestWithSegment({0, 0, 0}, {0, 0, -100}, model)).front(), "aside");
    clock.advance(1.0);
    EXPECT_EQ(namesOf(root->hitTestWithSegment({0, 0, 0}, {0, 0, -100})).front(), "aside");
}

// A camera at (0, 0, 5) looking at the origin through a 400 × 300 viewport.
struct CameraFixture {
    std::shared_ptr<SCNNode> scene = SCNNode::make();
    std::shared_ptr<SCNNode> target = SCNNode::make();
    std::shared_ptr<SCNNode> eye = SCNNode::make();
    CGRect viewport{0, 0, 400, 300};

    CameraFixture() {
        scene->addChildNode(target);
        scene->addChildNode(eye);
        eye->setCamera(SCNCamera::make());
        eye->setPosition({0, 0, 5});
        eye->setConstraints({SCNLookAtConstraint::make(target)});
    }
};

TEST(ViewProjection, ProjectsToTheViewportAndUnprojectsBack) {
    CameraFixture f;
    const SCNViewProjection projection(*f.eye, f.viewport);
    const SCNVector3 centre = projection.projectPoint({0, 0, 0});
    EXPECT_NEAR(centre.x, 200.0f, 1e-3f);
    EXPECT_NEAR(centre.y, 150.0f, 1e-3f);
    EXPECT_GT(centre.z, 0.0f);
    EXPECT_LT(centre.z, 1.0f);

    const SCNVector3 up = projection.projectPoint({0, 1, 0});
    EXPECT_LT(up.y, centre.y) << "screen y grows downwards";
    // 60° vertical field of view: at distance 5 the half height is 5·tan 30°.
    const SCNVector3 top = projection.projectPoint({0, 5.0f * std::tan(glm::radians(30.0f)), 0});
    EXPECT_NEAR(top.y, 0.0f, 1e-2f);

    for (const SCNVector3 p : {SCNVector3(1, 2, -3), SCNVector3(-0.5f, 0.25f, 4), SCNVector3(0, 0, -80)}) {
        EXPECT_TRUE(near(projection.unprojectPoint(projection.projectPoint(p)), p, 1e-3f));
    }
    EXPECT_LT(projection.projectPoint({0, 0, 1}).z, projection.projectPoint({0, 0, -1}).z) << "depth grows away";
}

TEST(ViewProjection, DraggingAtAFixedDepthStaysInThatPlane) {
    // How the gestures move a model: keep the projected depth of its position, unproject the finger.
    CameraFixture f;
    const SCNViewProjection projection(*f.eye, f.viewport);
    const SCNVector3 model(0.3f, -0.2f, 0.0f);
    const float depth = projection.projectPoint(model).z;
    const SCNVector3 moved = projection.unprojectPoint({300, 100, depth});
    EXPECT_NEAR(moved.z, 0.0f, 1e-3f);
    const SCNVector3 back = projection.projectPoint(moved);
    EXPECT_NEAR(back.x, 300.0f, 1e-2f);
    EXPECT_NEAR(back.y, 100.0f, 1e-2f);
}

TEST(ViewProjection, AutomaticZRangeEnclosesTheScene) {
    CameraFixture f;
    f.eye->camera()->setAutomaticallyAdjustsZRange(true);
    f.eye->camera()->setZNear(0.01);
    f.scene->addChildNode(boxAt("big", {0, 0, -200}, 10));
    const SCNViewProjection projection(*f.eye, f.viewport);
    EXPECT_GT(projection.zFar(), 210.0);
    EXPECT_GE(projection.zNear(), 0.01);
    EXPECT_LT(projection.projectPoint({0, 0, -210}).z, 1.0f);

    // A floor has no end: with one among the top-level nodes, its points close in front of the
    // camera and well past the content are drawn too, not cut off by a range fitted to the content.
    const SCNVector3 nearFloor{0, -1, 3.5f};
    const SCNVector3 farFloor{0, -1, -600};
    EXPECT_LT(projection.projectPoint(nearFloor).z, 0.0f) << "before: outside the fitted range";
    f.scene->addChildNode(SCNNode::make(SCNFloor::make()));
    const SCNViewProjection withFloor(*f.eye, f.viewport);
    for (const auto& point : {nearFloor, farFloor}) {
        const float depth = withFloor.projectPoint(point).z;
        EXPECT_GT(depth, 0.0f);
        EXPECT_LT(depth, 1.0f);
    }
}

TEST(ViewProjection, HitTestAtAScreenPointFindsWhatIsDrawnThere) {
    CameraFixture f;
    auto left = boxAt("left", {-1.5f, 0, 0});
    auto right = boxAt("right", {1.5f, 0, 0});
    f.scene->addChildNode(left);
    f.scene->addChildNode(right);
    const SCNViewProjection projection(*f.eye, f.viewport);
    const SCNVector3 onRight = projection.projectPoint({1.5f, 0, 0.5f});
    const auto hits = projection.hitTest(*f.scene, {onRight.x, onRight.y});
    ASSERT_FALSE(hits.empty());
    EXPECT_EQ(hits.front().node, right);
    EXPECT_TRUE(near(hits.front().worldCoordinates, {1.5f, 0, 0.5f}, 1e-3f));
    EXPECT_TRUE(projection.hitTest(*f.scene, {200, 10}).empty());

    const SCNViewProjection degenerate(*f.eye, CGRect(0, 0, 0, 0));
    EXPECT_TRUE(std::isfinite(degenerate.projectPoint({0, 0, 0}).x)) << "an empty viewport does not divide by zero";
}

TEST(ViewProjection, OrthographicCameraKeepsSizesWithDistance) {
    CameraFixture f;
    f.eye->camera()->setUsesOrthographicProjection(true);
    f.eye->camera()->setOrthographicScale(2.0);
    const SCNViewProjection projection(*f.eye, f.viewport);
    EXPECT_NEAR(projection.projectPoint({0, 2, 0}).y, 0.0f, 1e-3f);
    EXPECT_NEAR(projection.projectPoint({0, 2, -50}).y, 0.0f, 1e-3f);
}

}  // namespace
}  // namespace vantrel
