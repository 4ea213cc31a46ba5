// Frames on demand and adaptive quality of a view, ticked by a manual scene clock: an idle view
// draws nothing, every kind of change draws one frame, reduced frames give way to a full one.

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "RenderTestSupport.hpp"
#include "vantrel/core/ResourceBundle.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/graph/SCNTransaction.hpp"
#include "vantrel/graph/SceneClock.hpp"

namespace vantrel {
namespace {

using namespace render_test;

// A lit box in a small offscreen view that has drawn its first frame.
struct Stage {
    ManualSceneClock clock{10.0};
    LitScene lit;
    std::shared_ptr<SCNNode> box = lit.add(SCNBox::make(1.0f, 1.0f, 1.0f), UIColor(0.8, 0.2, 0.2));
    std::unique_ptr<SCNView> view = makeView(lit, 64, 48);

    Stage() { EXPECT_EQ(tick(), true); }

    // One turn of a host loop, 16 ms after the last.
    bool tick() {
        clock.advance(0.016);
        auto drew = view->drawIfNeeded();
        EXPECT_TRUE(drew.hasValue());
        return drew.hasValue() && *drew;
    }
    // Frames drawn over `turns` turns.
    int ticks(int turns) {
        int drawn = 0;
        for (int i = 0; i < turns; ++i) drawn += tick() ? 1 : 0;
        return drawn;
    }
};

TEST(FramesOnDemand, AnIdleViewDrawsNoFramesHoweverManyTurnsPass) {
    Stage stage;
    const auto before = stage.view->statistics().framesDrawn;
    EXPECT_EQ(stage.ticks(600), 0);  // ten seconds at 60 turns a second
    EXPECT_EQ(stage.view->statistics().framesDrawn, before);
    EXPECT_FALSE(stage.view->needsDisplay());
}

TEST(FramesOnDemand, EveryChangeOfWhatThePictureShowsDrawsOneFrame) {
    Stage stage;
    stage.view->setAdaptsQuality(false);
    const auto bundle = ResourceBundle::locate();
    ASSERT_TRUE(bundle.has_value());
    std::ifstream glow(bundle->path("shaders/glow.json"));
    auto technique = SCNTechnique::techniqueWithDictionary(nlohmann::json::parse(glow, nullptr, false));
    ASSERT_TRUE(technique.hasValue());
    auto other = SCNNode::make();
    other->setCamera(SCNCamera::make());
    other->setPosition({0.0f, 1.0f, 6.0f});
    stage.lit.scene->rootNode()->addChildNode(other);
    ASSERT_EQ(stage.ticks(2), 1) << "a camera node was added";

    const std::vector<std::pair<std::string, std::function<void()>>> changes = {
        {"node moved",
         [&] {
             stage.box->setPosition({0.1f, 0.0f, 0.0f});
         }},
        {"node hidden", [&] { stage.box->setHidden(true); }},
        {"node shown", [&] { stage.box->setHidden(false); }},
        {"category", [&] { stage.box->setCategoryBitMask(2); }},
        {"material", [&] { stage.box->geometry()->firstMaterial()->diffuse().setContents(UIColor(0, 0, 1)); }},
        {"geometry", [&] { stage.box->setGeometry(SCNBox::make(0.5f, 0.5f, 0.5f)); }},
        {"light", [&] { stage.lit.scene->rootNode()->childNodes()[1]->light()->setIntensity(500.0); }},
        {"camera", [&] { stage.lit.camera->camera()->setFieldOfView(40.0); }},
        {"point of view moved",
         [&] {
             stage.lit.camera->setPosition({0.0f, 0.0f, 6.0f});
         }},
        {"point of view", [&] { stage.view->setPointOfView(other); }},
        {"size", [&] { stage.view->setFrame(CGRect(0, 0, 80, 60)); }},
        {"technique", [&] { stage.view->setTechnique(*technique); }},
        {"technique value", [&] { (*technique)->setValue(SCNVector3(0.0f, 0.0f, 1.0f), "glowColorSymbol"); }},
        {"background", [&] { stage.view->setBackgroundColor(UIColor(0.1, 0.1, 0.1)); }},
        {"environment", [&] { stage.lit.scene->lightingEnvironment().setContents(UIColor(0.2, 0.2, 0.2)); }},
        {"asked", [&] { stage.view->setNeedsDisplay(); }},
    };
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        change();
        EXPECT_TRUE(stage.view->needsDisplay());
        EXPECT_EQ(stage.ticks(30), 1);
    }
}

TEST(FramesOnDemand, AnAnimationDrawsAFrameEveryTurnUntilItEnds) {
    Stage stage;
    stage.view->setAdaptsQuality(false);
    SCNTransaction::begin();
    SCNTransaction::setAnimationDuration(0.5);
    stage.box->setPosition({1.0f, 0.0f, 0.0f});
    SCNTransaction::commit();
    // 0.5 s at 16 ms a turn: 31 or 32 turns animate (and the last shows the end), then nothing.
    const int drawn = stage.ticks(100);
    EXPECT_GE(drawn, 31);
    EXPECT_LE(drawn, 33);
    EXPECT_EQ(stage.ticks(100), 0);
}

TEST(FramesOnDemand, WhileTheSceneChangesFramesAreReducedAndAFullQualityOneFollowsWhenItIsStill) {
    Stage stage;
    // Any real frame takes longer than this target, so changes are always drawn reduced.
    stage.view->setTargetFrameTime(std::chrono::microseconds(1));
    ASSERT_EQ(stage.view->statistics().renderScale, 1.0);
    for (int i = 1; i <= 5; ++i) {
        stage.box->setPosition({0.05f * static_cast<float>(i), 0.0f, 0.0f});
        ASSERT_TRUE(stage.tick());
        EXPECT_TRUE(stage.view->statistics().reducedQuality);
    }
    EXPECT_LT(stage.view->statistics().renderScale, 1.0) << "frames over the target step the scale down";

    // A snapshot in between is full quality and full size.
    auto image = stage.view->snapshot();
    ASSERT_TRUE(image.hasValue());
    EXPECT_EQ((*image)->width(), 64);
    EXPECT_FALSE(stage.view->statistics().reducedQuality);

    // Still: nothing for 0.3 s (18 turns of 16 ms), then one full-quality frame, then nothing.
    EXPECT_EQ(stage.ticks(18), 0);
    EXPECT_EQ(stage.ticks(2), 1);
    EXPECT_FALSE(stage.view->statistics().reducedQuality);
    EXPECT_EQ(stage.view->statistics().renderScale, 1.0);
    EXPECT_EQ(stage.ticks(100), 0);
}

TEST(FramesOnDemand, AViewWithoutAdaptiveQualityDrawsEveryFrameAtFullQuality) {
    Stage stage;
    stage.view->setTargetFrameTime(std::chrono::microseconds(1));
    stage.view->setAdaptsQuality(false);
    EXPECT_FALSE(stage.view->adaptsQuality());
    for (int i = 1; i <= 4; ++i) {
        stage.box->setPosition({0.05f * static_cast<float>(i), 0.0f, 0.0f});
        ASSERT_TRUE(stage.tick());
        EXPECT_FALSE(stage.view->statistics().reducedQuality);
        EXPECT_EQ(stage.view->statistics().renderScale, 1.0);
    }
    EXPECT_EQ(stage.ticks(100), 0);
}

}  // namespace
}  // namespace vantrel
