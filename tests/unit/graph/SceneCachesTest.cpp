// World results of hit tests and boxes, the caches behind them, pivots, and the per-frame update
// and traversal a renderer uses.

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <glm/gtc/constants.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include "GraphTestSupport.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNPlane.hpp"
#include "vantrel/graph/SCNScene.hpp"
#include "vantrel/graph/SCNTransaction.hpp"
#include "vantrel/graph/SceneClock.hpp"

namespace vantrel {
namespace {

using graph_test::apply;
using graph_test::near;

std::shared_ptr<SCNNode> cube(float size = 1.0f) { return SCNNode::make(SCNBox::make(size, size, size)); }

TEST(SceneHitTest, ReportsWorldCoordinatesAndNormalsUnderAMovedAndTurnedRoot) {
    auto world = SCNNode::make();
    auto root = SCNNode::make();
    root->setPosition({10, 0, 0});
    root->setRotation({0, 1, 0, glm::half_pi<float>()});  // the root's −z points along world −x
    world->addChildNode(root);
    auto box = cube();
    box->setPosition({0, 0, -5});
    root->addChildNode(box);

    const auto hits = root->hitTestWithSegment({0, 0, 0}, {0, 0, -100});
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_TRUE(near(hits[0].worldCoordinates, {5.5f, 0, 0}, 1e-4f));
    EXPECT_TRUE(near(hits[0].worldNormal, {1, 0, 0}, 1e-5f));
    EXPECT_TRUE(near(hits[0].localCoordinates, {0, 0, 0.5f}, 1e-4f));
    EXPECT_NEAR(hits[0].distance, 4.5f, 1e-4f) << "distances stay in the root's coordinates";
}

TEST(SceneBoundingBox, CarriesEachGeometryOnceThroughNestedTurns) {
    for (const SCNVector3 rootPlace : {SCNVector3(0, 0, 0), SCNVector3(3, 0, 0)}) {
        SCOPED_TRACE(rootPlace.friendlyString());
        auto root = SCNNode::make();
        root->setPosition(rootPlace);
        auto turned = SCNNode::make();
        turned->setRotation({0, 1, 0, glm::quarter_pi<float>()});
        auto turnedBack = cube();
        turnedBack->setRotation({0, 1, 0, -glm::quarter_pi<float>()});
        root->addChildNode(turned);
        turned->addChildNode(turnedBack);
        EXPECT_TRUE(near(root->boundingBox().min, {-0.5f, -0.5f, -0.5f}, 1e-5f));
        EXPECT_TRUE(near(root->boundingBox().max, {0.5f, 0.5f, 0.5f}, 1e-5f));
        const auto worldBox = root->worldBoundingBox();
        ASSERT_TRUE(worldBox.has_value());
        EXPECT_TRUE(near(worldBox->min, rootPlace - SCNVector3(0.5f, 0.5f, 0.5f), 1e-5f));
    }
}

TEST(SceneBoundingBox, CachesFollowEveryKindOfChange) {
    auto scene = SCNNode::make();
    auto product = SCNNode::make();
    auto part = SCNNode::make(SCNBox::make(1, 1, 1));
    product->addChildNode(part);
    scene->addChildNode(product);
    auto box = [&] { return scene->boundingBox(); };
    ASSERT_TRUE(near(box().max, {0.5f, 0.5f, 0.5f}));  // fills the caches

    struct Step {
        std::string what;
        std::function<void()> change;
        SCNVector3 max;
    };
    auto extra = cube(2);
    const std::vector<Step> steps{
        {"a parent moves",
         [&] {
             product->setPosition({1, 0, 0});
         },
         {1.5f, 0.5f, 0.5f}},
        {"a part moves",
         [&] {
             part->setPosition({0, 1, 0});
         },
         {1.5f, 1.5f, 0.5f}},
        {"a shape's mesh changes",
         [&] { std::static_pointer_cast<SCNBox>(part->geometry())->setWidth(3); },
         {2.5f, 1.5f, 0.5f}},
        {"a geometry is replaced", [&] { part->setGeometry(SCNBox::make(1, 1, 1)); }, {1.5f, 1.5f, 0.5f}},
        {"a child is added", [&] { product->addChildNode(extra); }, {2.0f, 1.5f, 1.0f}},
        {"a child is removed", [&] { extra->removeFromParentNode(); }, {1.5f, 1.5f, 0.5f}},
        {"a whole transform is set",
         [&] {
             product->setSimdTransform(glm::scale(glm::mat4(1.0f), {2, 2, 2}));
         },
         {1.0f, 3.0f, 1.0f}},
    };
    for (const auto& step : steps) {
        step.change();
        EXPECT_TRUE(near(box().max, step.max, 1e-5f)) << step.what;
        EXPECT_EQ(part->simdWorldTransform(), scene->simdTransform() * product->simdTransform() * part->simdTransform())
            << step.what;
    }
    // The part's world transform follows a grandparent that moves after it was cached.
    scene->setPosition({0, 0, 7});
    EXPECT_TRUE(near(part->worldPosition(), {0, 2, 7}, 1e-5f));
}

TEST(SceneHitTest, SkipsByCachedBoxesOnlyWhereWhatIsShownIsTheModel) {
    ManualSceneClock clock;
    auto scene = SCNNode::make();
    auto product = SCNNode::make();
    product->addChildNode(cube());
    scene->addChildNode(product);
    ASSERT_EQ(scene->hitTestWithSegment({0, 5, 0}, {0, -5, 0}).size(), 1u);  // caches filled

    // Moved over two seconds: the model stands at x = 10 at once, the product is still shown at 0.
    SCNTransaction::begin();
    SCNTransaction::setAnimationDuration(2.0);
    product->setPosition({10, 0, 0});
    SCNTransaction::commit();
    EXPECT_EQ(scene->hitTestWithSegment({0, 5, 0}, {0, -5, 0}).size(), 1u) << "hit where it is shown";
    SCNHitTestOptions model;
    model.usePresentation = false;
    EXPECT_EQ(scene->hitTestWithSegment({10, 5, 0}, {10, -5, 0}, model).size(), 1u);
    EXPECT_TRUE(scene->hitTestWithSegment({0, 5, 0}, {0, -5, 0}, model).empty());
}

TEST(SceneHitTest, HonoursAMaterialThatCullsFrontFaces) {
    auto scene = SCNNode::make();
    auto plane = SCNNode::make(SCNPlane::make(2, 2));  // faces +z
    plane->geometry()->firstMaterial()->setCullMode(SCNCullMode::front);
    scene->addChildNode(plane);
    EXPECT_TRUE(scene->hitTestWithSegment({0, 0, 5}, {0, 0, -5}).empty()) << "its front is not drawn";
    EXPECT_EQ(scene->hitTestWithSegment({0, 0, -5}, {0, 0, 5}).size(), 1u) << "its back is";
}

TEST(NodePivot, PlacesTurnsAndScalesAboutThePivotAndSurvivesAWholeTransform) {
    auto door = SCNNode::make();
    door->setPivot(glm::translate(glm::mat4(1.0f), {-0.5f, 0, 0}));  // the hinge at the left edge
    door->setRotation({0, 1, 0, glm::half_pi<float>()});
    // The hinge (local −0.5) stays at the node's position; the far edge (local +0.5) swings round.
    EXPECT_TRUE(near(apply(door->simdTransform(), {-0.5f, 0, 0}), {0, 0, 0}, 1e-5f));
    EXPECT_TRUE(near(apply(door->simdTransform(), {0.5f, 0, 0}), {0, 0, -1}, 1e-5f));

    const glm::mat4 written = door->simdTransform() * glm::scale(glm::mat4(1.0f), {1, 2, 1});
    door->setSimdTransform(written);
    EXPECT_EQ(door->simdTransform(), written);
    EXPECT_TRUE(near(door->scale(), {1, 2, 1}, 1e-5f)) << "the pivot is not taken for part of the scale";
    EXPECT_TRUE(near(door->position(), {0, 0, 0}, 1e-5f));
}

TEST(SceneFrames, UpdateAdvancesAnimationsAndTheTraversalYieldsWhatIsShown) {
    ManualSceneClock clock;
    SCNScene scene;
    auto group = SCNNode::make();
    group->setOpacity(0.5);
    auto shown = cube();
    auto hidden = cube();
    hidden->setHidden(true);
    scene.rootNode()->addChildNode(group);
    group->addChildNode(shown);
    group->addChildNode(hidden);
    EXPECT_FALSE(scene.isAnimating());

    SCNTransaction::begin();
    SCNTransaction::setAnimationDuration(1.0);
    group->setPosition({4, 0, 0});
    SCNTransaction::commit();
    EXPECT_TRUE(scene.isAnimating()) << "known as soon as an animation starts";

    clock.advance(0.5);
    EXPECT_TRUE(scene.update(clock.now()));
    std::vector<std::pair<const SCNNode*, double>> yielded;
    glm::mat4 shownWorld(0.0f);
    scene.rootNode()->enumerateVisibleNodes([&](const SCNNode& node, const glm::mat4& world, double opacity) {
        yielded.emplace_back(&node, opacity);
        if (&node == shown.get()) {
            shownWorld = world;
        }
    });
    ASSERT_EQ(yielded.size(), 3u) << "the hidden node is skipped";
    EXPECT_EQ(yielded[2].first, shown.get());
    EXPECT_DOUBLE_EQ(yielded[2].second, 0.5);
    EXPECT_TRUE(near(SCNVector3(shownWorld[3]), {2, 0, 0}, 1e-5f)) << "halfway, as of the update";

    clock.advance(1.0);
    EXPECT_TRUE(near(group->presentationPosition(), {4, 0, 0}));
    EXPECT_TRUE(scene.isAnimating()) << "reading changes nothing; the next update does";
    EXPECT_FALSE(scene.update(clock.now()));
    EXPECT_FALSE(scene.isAnimating());
}

}  // namespace
}  // namespace vantrel
