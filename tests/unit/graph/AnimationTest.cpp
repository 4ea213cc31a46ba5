// Model values against what is shown: transactions and actions over scene time.

#include <cmath>

#include <gtest/gtest.h>

#include "GraphTestSupport.hpp"
#include "vantrel/graph/SCNAction.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNTimingFunction.hpp"
#include "vantrel/graph/SCNTransaction.hpp"
#include "vantrel/graph/SceneClock.hpp"

namespace vantrel {
namespace {

using graph_test::near;

// Runs `body` inside a transaction of the given duration.
template <typename Body>
void inTransaction(double seconds, Body&& body) {
    SCNTransaction::begin();
    SCNTransaction::setAnimationDuration(seconds);
    body();
    SCNTransaction::commit();
}

TEST(Transaction, ModelChangesAtOncePresentationFollowsOverTheDuration) {
    ManualSceneClock clock;
    auto node = SCNNode::make();
    node->setPosition({0, 0, 0});
    inTransaction(2.0, [&] { node->setPosition({10, 0, 0}); });
    EXPECT_EQ(node->position(), SCNVector3(10, 0, 0)) << "the model reads the new value at once";
    EXPECT_TRUE(near(node->presentationPosition(), {0, 0, 0}));
    EXPECT_TRUE(node->isAnimating());

    clock.advance(0.5);
    EXPECT_TRUE(near(node->presentationPosition(), {2.5f, 0, 0})) << "linear by default";
    clock.advance(1.5);
    EXPECT_TRUE(near(node->presentationPosition(), {10, 0, 0}));
    EXPECT_FALSE(node->isAnimating());
    EXPECT_EQ(node->presentationTransform(), node->simdTransform());
}

TEST(Transaction, OutsideATransactionChangesShowAtOnceAndCutRunningAnimations) {
    ManualSceneClock clock;
    auto node = SCNNode::make();
    inTransaction(1.0, [&] { node->setPosition({4, 0, 0}); });
    clock.advance(0.25);
    node->setPosition({0, 8, 0});
    EXPECT_TRUE(near(node->presentationPosition(), {0, 8, 0}));

    // A second animated change starts from where the node is shown, not from the old model value.
    inTransaction(1.0, [&] { node->setPosition({4, 8, 0}); });
    clock.advance(0.5);
    inTransaction(1.0, [&] { node->setPosition({4, 0, 0}); });
    EXPECT_TRUE(near(node->presentationPosition(), {2, 8, 0}));
    clock.advance(0.5);
    EXPECT_TRUE(near(node->presentationPosition(), {3, 4, 0}));
}

TEST(Transaction, NestsDefaultsToAQuarterSecondAndIgnoresAStrayCommit) {
    EXPECT_EQ(SCNTransaction::animationDuration(), 0.0);
    SCNTransaction::commit();  // nothing open: no effect
    SCNTransaction::begin();
    EXPECT_EQ(SCNTransaction::animationDuration(), 0.25);
    SCNTransaction::setAnimationDuration(3.0);
    SCNTransaction::begin();
    SCNTransaction::setAnimationDuration(-1.0);
    EXPECT_EQ(SCNTransaction::animationDuration(), 0.0);
    SCNTransaction::commit();
    EXPECT_EQ(SCNTransaction::animationDuration(), 3.0);
    SCNTransaction::commit();
    EXPECT_EQ(SCNTransaction::depth(), 0);
}

TEST(Transaction, OrientationScaleAndOpacityAnimateToo) {
    ManualSceneClock clock;
    auto node = SCNNode::make();
    inTransaction(1.0, [&] {
        node->setEulerAngles({0, 1.0f, 0});
        node->setScale({3, 3, 3});
        node->setOpacity(0.0);
    });
    clock.advance(0.5);
    const SCNVector4 shown = node->presentationOrientation();
    EXPECT_NEAR(2.0f * std::atan2(shown.y, shown.w), 0.5f, 1e-5f) << "half the turn";
    EXPECT_TRUE(near(node->presentationScale(), {2, 2, 2}));
    EXPECT_DOUBLE_EQ(node->presentationOpacity(), 0.5);
    EXPECT_DOUBLE_EQ(node->opacity(), 0.0);
}

TEST(TimingFunction, EaseInEaseOutIsSymmetricAndSlowAtTheEnds) {
    const SCNTimingFunction ease = SCNTimingFunction::easeInEaseOut();
    EXPECT_DOUBLE_EQ(ease.progress(0.0), 0.0);
    EXPECT_DOUBLE_EQ(ease.progress(1.0), 1.0);
    EXPECT_NEAR(ease.progress(0.5), 0.5, 1e-9);
    EXPECT_LT(ease.progress(0.1), 0.1);
    EXPECT_NEAR(ease.progress(0.2) + ease.progress(0.8), 1.0, 1e-9);
    EXPECT_DOUBLE_EQ(ease.progress(-3.0), 0.0);
    EXPECT_DOUBLE_EQ(ease.progress(std::nan("")), 0.0);
    for (double t = 0.0; t < 1.0; t += 0.05) {
        EXPECT_LE(ease.progress(t), ease.progress(t + 0.05)) << "never runs backwards";
    }
}

// The levitation of a highlighted model: down by a and up by a again, forever, easing both ways.
std::shared_ptr<SCNAction> bobbing(float a) {
    auto down = SCNAction::moveBy({0, -a, 0}, 0.5);
    auto up = SCNAction::moveBy({0, a, 0}, 0.5);
    down->setTimingMode(SCNActionTimingMode::easeInEaseOut);
    up->setTimingMode(SCNActionTimingMode::easeInEaseOut);
    return SCNAction::repeatForever(SCNAction::sequence({down, up}));
}

TEST(Actions, EndlessActionMovesOnlyThePresentation) {
    ManualSceneClock clock;
    auto content = SCNNode::make();
    content->setPosition({1, 2, 3});
    content->runAction(bobbing(0.1f), "HIGHLIGHTING_ANIMATION");

    const struct {
        double at;
        float y;
    } expected[] = {{0.0, 2.0f}, {0.25, 1.95f}, {0.5, 1.9f}, {0.75, 1.95f}, {1.0, 2.0f}, {10.5, 1.9f}};
    double now = 0.0;
    for (const auto& sample : expected) {
        clock.advance(sample.at - now);
        now = sample.at;
        EXPECT_TRUE(near(content->presentationPosition(), {1, sample.y, 3}, 1e-4f)) << "at " << sample.at;
        EXPECT_EQ(content->position(), SCNVector3(1, 2, 3)) << "the model stays put at " << sample.at;
    }
    EXPECT_NE(content->actionForKey("HIGHLIGHTING_ANIMATION"), nullptr);
    EXPECT_TRUE(content->hasActions());
}

TEST(Actions, RemovingAnActionLeavesTheNodeWhereItIsShown) {
    ManualSceneClock clock;
    auto content = SCNNode::make();
    content->runAction(bobbing(0.1f), "HIGHLIGHTING_ANIMATION");
    clock.advance(0.5);
    content->removeActionForKey("HIGHLIGHTING_ANIMATION");
    EXPECT_TRUE(near(content->position(), {0, -0.1f, 0}));
    EXPECT_TRUE(near(content->presentationPosition(), {0, -0.1f, 0}));
    EXPECT_EQ(content->actionForKey("HIGHLIGHTING_ANIMATION"), nullptr);

    // Then a transaction brings it back smoothly from there.
    inTransaction(0.25, [&] { content->setPosition({0, 0, 0}); });
    clock.advance(0.125);
    EXPECT_TRUE(near(content->presentationPosition(), {0, -0.05f, 0}));
}

TEST(Actions, FiniteMovesChangeTheModelAtOnceAndFinish) {
    ManualSceneClock clock;
    auto node = SCNNode::make();
    node->runAction(SCNAction::sequence(
        {SCNAction::moveBy({2, 0, 0}, 1.0), SCNAction::wait(1.0), SCNAction::moveBy({0, 0, 4}, 2.0)}));
    EXPECT_EQ(node->position(), SCNVector3(2, 0, 4));
    EXPECT_TRUE(near(node->presentationPosition(), {0, 0, 0}));
    clock.advance(1.5);
    EXPECT_TRUE(near(node->presentationPosition(), {2, 0, 0}));
    clock.advance(1.0);
    EXPECT_TRUE(near(node->presentationPosition(), {2, 0, 1}));
    clock.advance(10.0);
    EXPECT_TRUE(near(node->presentationPosition(), {2, 0, 4}));
    EXPECT_FALSE(node->hasActions());
    EXPECT_FALSE(node->isAnimating());
}

TEST(Actions, StartingOrStoppingDuringATransactionDoesNotMakeTheNodeJump) {
    ManualSceneClock clock;
    auto node = SCNNode::make();
    inTransaction(1.0, [&] { node->setPosition({4, 0, 0}); });
    clock.advance(0.5);
    ASSERT_TRUE(near(node->presentationPosition(), {2, 0, 0}));
    node->runAction(SCNAction::moveBy({0, 2, 0}, 1.0), "lift");
    EXPECT_TRUE(near(node->presentationPosition(), {2, 0, 0}));
    clock.advance(0.25);
    EXPECT_TRUE(near(node->presentationPosition(), {3, 0.5f, 0}));
    node->removeAllActions();
    EXPECT_TRUE(near(node->presentationPosition(), {3, 0.5f, 0}));
    EXPECT_TRUE(near(node->position(), {4, 0.5f, 0}));
    clock.advance(0.25);
    EXPECT_TRUE(near(node->presentationPosition(), {4, 0.5f, 0}));
}

TEST(Actions, KeysReplaceAndActionsWithoutTimeCannotLoopForever) {
    ManualSceneClock clock;
    auto node = SCNNode::make();
    node->runAction(SCNAction::moveBy({1, 0, 0}, 1.0), "move");
    node->runAction(SCNAction::moveBy({0, 1, 0}, 1.0), "move");  // replaces, keeping what was shown
    EXPECT_TRUE(near(node->position(), {0, 1, 0}));
    EXPECT_EQ(node->actionForKey("other"), nullptr);

    // Repeating something instantaneous forever would never advance; it counts as nothing.
    auto instant = SCNAction::repeatForever(SCNAction::moveBy({5, 0, 0}, 0.0));
    EXPECT_EQ(instant->duration(), 0.0);
    node->runAction(instant, "instant");
    clock.advance(3.0);
    EXPECT_TRUE(near(node->presentationPosition(), {0, 1, 0}));

    auto twice = SCNAction::repeat(SCNAction::moveBy({1, 0, 0}, 0.5), 2);
    EXPECT_EQ(twice->duration(), 1.0);
    EXPECT_TRUE(near(twice->translationAt(0.75), {1.5f, 0, 0}));
    node->runAction(nullptr);  // ignored
}

TEST(Actions, RunningCopiesTheActionSoLaterChangesDoNotLeakIn) {
    ManualSceneClock clock;
    auto node = SCNNode::make();
    auto move = SCNAction::moveBy({0, 0, 1}, 1.0);
    node->runAction(move, "k");
    move->setTimingMode(SCNActionTimingMode::easeIn);
    clock.advance(0.5);
    EXPECT_TRUE(near(node->presentationPosition(), {0, 0, 0.5f}));
    EXPECT_NE(node->actionForKey("k"), move);
}

}  // namespace
}  // namespace vantrel
