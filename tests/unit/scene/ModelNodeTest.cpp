// Content, highlighting and cloning of product models.

#include <memory>
#include <set>

#include <gtest/gtest.h>

#include "unit/graph/GraphTestSupport.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/graph/SceneClock.hpp"
#include "vantrel/scene/ModelNode.hpp"

namespace vantrel {
namespace {

using graph_test::near;

std::shared_ptr<SCNNode> part(float height = 1.0f) { return SCNNode::make(SCNBox::make(0.4f, height, 0.4f)); }

TEST(ModelNodeStructure, ContentIsTheFirstChildAndTakesAddedNodesInOrder) {
    auto model = ModelNode::make();
    const auto other = ModelNode::make();
    EXPECT_EQ((std::set<std::string>{model->id(), model->componentId(), other->id(), other->componentId()}).size(), 4u);
    EXPECT_EQ(model->childNodes().front(), model->contentNode());
    EXPECT_EQ(model->contentNode()->name(), "MODEL_CONTENT");

    auto seat = part();
    auto back = part();
    model->add({seat, nullptr, back});
    EXPECT_EQ(model->contentNode()->childNodes(), (std::vector<std::shared_ptr<SCNNode>>{seat, back}));
}

TEST(ModelNodeHighlight, GlowMarksGeometryBearingContentOnlyAndASecondHighlightChangesNothing) {
    ManualSceneClock clock;
    auto model = ModelNode::make();
    auto group = SCNNode::make();
    auto deep = part();
    group->addChildNode(deep);
    model->add({group});
    auto beside = part();  // hangs on the model, as attached models do
    model->addChildNode(beside);

    model->highlight(ModelHighlightingMode::glow);
    model->highlight(ModelHighlightingMode::levitation);
    EXPECT_EQ(model->highlightedMode(), ModelHighlightingMode::glow);
    EXPECT_FALSE(model->contentNode()->hasActions()) << "the second highlight must not lift";
    EXPECT_EQ(deep->categoryBitMask(), ModelNode::glowCategoryBitMask);
    EXPECT_EQ(group->categoryBitMask(), 1u) << "nothing to draw, nothing to mark";
    EXPECT_EQ(beside->categoryBitMask(), 1u);
    model->unhighlight();
    EXPECT_EQ(deep->categoryBitMask(), 1u);

    model->highlight(ModelHighlightingMode::levitation);
    const SCNVector3 lifted = model->contentNode()->position();
    model->highlight(ModelHighlightingMode::levitation);
    model->highlight(ModelHighlightingMode::glow);
    EXPECT_EQ(model->contentNode()->position(), lifted) << "not lifted twice";
    EXPECT_EQ(deep->categoryBitMask(), 1u);
}

TEST(ModelNodeLevitation, RisesBobsOverSceneTimeAndSettlesBackWhenUnhighlighted) {
    ManualSceneClock clock;
    auto model = ModelNode::make();
    model->add({part(1.0f)});  // a tenth of the height: a bob of 0.1
    const auto& content = model->contentNode();
    const SCNVector3 rest{0.1f, 0.2f, 0.3f};
    content->setPosition(rest);
    const auto shownAt = [&](float y, float tolerance = 1e-5f) {
        return near(content->presentationPosition(), {rest.x, y, rest.z}, tolerance);
    };

    model->highlight(ModelHighlightingMode::levitation);
    EXPECT_EQ(model->highlightLevitationInitialPosition(), rest);
    EXPECT_TRUE(near(content->position(), {0.1f, 0.305f, 0.3f}, 1e-6f)) << "the model value takes the whole lift";
    EXPECT_TRUE(shownAt(0.205f)) << "the first 0.005 at once";
    clock.advance(0.25);
    EXPECT_TRUE(shownAt(0.255f, 1e-4f)) << "risen, and half way down the first eased stroke";
    clock.advance(0.25);
    EXPECT_TRUE(shownAt(0.205f));
    clock.advance(0.5);
    EXPECT_TRUE(shownAt(0.305f));
    clock.advance(9.75);

    model->unhighlight();
    EXPECT_EQ(content->actionForKey(ModelNode::highlightingAnimationKey), nullptr);
    EXPECT_TRUE(near(content->position(), rest, 1e-6f));
    EXPECT_TRUE(shownAt(0.255f, 1e-4f)) << "no jump";
    clock.advance(0.25);
    EXPECT_TRUE(shownAt(0.2f));
    EXPECT_EQ(model->highlightLevitationInitialPosition(), SCNVector3Zero);
}

TEST(ModelNodeLevitation, AFloatingModelStaysPutAndAChangedFlagNeitherStrandsNorDropsTheContent) {
    ManualSceneClock clock;
    auto hanging = ModelNode::make();
    hanging->add({part()});
    hanging->contentNode()->setPosition({0, 0.3f, 0});
    hanging->setFloating(true);
    hanging->highlight(ModelHighlightingMode::levitation);
    EXPECT_EQ(hanging->highlightedMode(), ModelHighlightingMode::levitation);
    EXPECT_FALSE(hanging->contentNode()->hasActions());
    hanging->setFloating(false);  // never lifted, so nothing to lower
    hanging->unhighlight();
    EXPECT_FALSE(hanging->isHighlighted());
    EXPECT_EQ(hanging->contentNode()->position(), SCNVector3(0, 0.3f, 0));

    auto standing = ModelNode::make();
    standing->add({part()});
    standing->highlight(ModelHighlightingMode::levitation);
    standing->setFloating(true);  // lifted, so it must come down
    standing->unhighlight();
    clock.advance(1.0);
    EXPECT_FALSE(standing->contentNode()->hasActions());
    EXPECT_TRUE(near(standing->contentNode()->presentationPosition(), SCNVector3Zero, 1e-6f));
}

TEST(ModelNodeClone, IsAnIndependentModelStandingUnhighlightedAndAtRest) {
    ManualSceneClock clock;
    auto original = ModelNode::make("placed", "sofa");
    auto seat = part();
    original->add({seat});
    original->defaultMaterialsDictionary()[seat] = seat->geometry()->materials();
    original->showSizes(UIColor::whiteColor(), UIColor::blackColor());
    original->highlight(ModelHighlightingMode::glow);

    const auto copy = std::dynamic_pointer_cast<ModelNode>(original->clone());
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->id(), "placed");
    EXPECT_EQ(copy->componentId(), "sofa");
    const auto& content = copy->contentNode();
    ASSERT_NE(content, original->contentNode());
    EXPECT_EQ(content->parentNode(), copy);
    const auto copiedSeat = content->childNodes().at(0);
    EXPECT_EQ(copy->defaultMaterialsDictionary().begin()->first, copiedSeat) << "keyed by the copy's own part";
    EXPECT_EQ(copiedSeat->categoryBitMask(), 1u);
    EXPECT_EQ(seat->categoryBitMask(), ModelNode::glowCategoryBitMask);
    ASSERT_TRUE(copy->isSizesShown());
    copy->hideSizes();
    copy->add({part()});
    EXPECT_TRUE(original->isSizesShown());
    EXPECT_EQ(original->contentNode()->childNodes().size(), 1u);

    auto levitating = ModelNode::make();
    levitating->add({part()});
    levitating->highlight(ModelHighlightingMode::levitation);
    const auto restingCopy = std::dynamic_pointer_cast<ModelNode>(levitating->clone());
    EXPECT_EQ(restingCopy->contentNode()->position(), SCNVector3Zero);
    EXPECT_TRUE(levitating->contentNode()->hasActions());
}

}  // namespace
}  // namespace vantrel
