// The AR adapter over replayed sessions: help messages and their timing, the first plane, placing,
// running and restarting, the light estimate and session failures.

#include <thread>

#include <gtest/gtest.h>

#include "ArAdapterTestSupport.hpp"
#include "unit/domain/RecordTestSupport.hpp"
#include "vantrel/core/Strings.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/domain/AnchorObjectEntity.hpp"
#include "vantrel/domain/SceneEntity.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNScene.hpp"
#include "vantrel/scene/AnchorObjectModelNode.hpp"

using namespace std::chrono_literals;

namespace vantrel {
namespace {

using namespace ar_adapter_test;
using canvas_test::boxModel;
using Calls = std::vector<std::string>;

TEST(ArAdapter, HelpMessagesGuideTheScanUntilAPlaneOrAModelAppears) {
    const struct {
        const char* name;
        json frames;
        bool planeBeforeRun;  // the session finds the floor before the adapter runs it
        bool placeModel;      // a model is placed (at a given position) during the wait
        Calls atRun;
        Calls meanwhile;  // after the next frame, or the placement
        Calls afterFiveSeconds;
    } cases[] = {
        {"plane-at-start",
         json::array({frame(0.0, {{"addedAnchors", {floorPlane()}}}), frame(0.1)}),
         true,
         false,
         {"started"},
         {},
         {}},
        {"nothing-found",
         json::array({frame(0.0), frame(0.1)}),
         false,
         false,
         {"started", "hide", "show scan 1"},
         {},
         {"hide", "show scan-extended 3"}},
        {"model-placed",
         json::array({frame(0.0), frame(0.1)}),
         false,
         true,
         {"started", "hide", "show scan 1"},
         {"added m", "moved m"},
         {"hide"}},
        {"floor-found-meanwhile",
         json::array({frame(0.0), frame(0.1, {{"addedAnchors", {floorPlane()}}})}),
         false,
         false,
         {"started", "hide", "show scan 1"},
         {"hide", "first plane 0.00,0.00,-1.50"},
         {"hide", "show scan-extended 3"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Stage stage(c.name, c.frames);
        if (c.planeBeforeRun) {
            stage.session->runWithConfiguration({});
            stage.play();
            EXPECT_EQ(stage.delegate->take(), (Calls{"hide", "first plane 0.00,0.00,-1.50"}));
        }
        stage.adapter->runArSession(false);
        EXPECT_EQ(stage.delegate->take(), c.atRun);
        if (!c.planeBeforeRun) stage.play();
        stage.wait(1s);
        if (c.placeModel) stage.adapter->addModel(boxModel("m"), SCNVector3{0.0f, 0.0f, -1.0f});
        stage.play();
        EXPECT_EQ(stage.delegate->take(), c.meanwhile);
        stage.wait(4s);
        EXPECT_EQ(stage.delegate->take(), c.afterFiveSeconds);
        EXPECT_EQ(stage.adapter->firstPlaneDetected(),
                  c.frames[0].contains("addedAnchors") || c.frames[1].contains("addedAnchors"));
    }
}

TEST(ArAdapter, PlacingAtTheScreenCentreNeedsAFloorWhateverWallsExist) {
    const std::string noFloor = Strings::localized("ar_error_unable_to_add_model_position_not_detected");
    const struct {
        const char* name;
        json anchors;
        json points;
        bool placed;
    } cases[] = {
        {"nothing", json::array(), json::array(), false},
        {"wall-only", json::array({wallPlane()}), wallPoints(), false},
        {"detected-floor", json::array({wallPlane(), floorPlane()}), json::array(), true},
        {"estimated-floor-behind-a-wall", json::array({wallPlane()}), floorPoints(), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Stage stage(c.name, json::array({frame(0.0, {{"addedAnchors", c.anchors}, {"featurePoints", c.points}})}));
        stage.session->runWithConfiguration({});
        stage.play();
        stage.delegate->take();
        const auto model = boxModel("m");
        stage.adapter->addModel(model, std::nullopt, true);
        if (!c.placed) {
            EXPECT_EQ(stage.delegate->take(), (Calls{"added m " + noFloor}));
            EXPECT_TRUE(stage.adapter->isEmpty());
            EXPECT_EQ(model->parentNode(), nullptr);
            continue;
        }
        EXPECT_EQ(stage.delegate->take(), (Calls{"added m", "moved m", "selected m", "hide", "show model-selected 1"}));
        EXPECT_EQ(text(model->worldPosition()), "0.00,0.00,-1.50");
        EXPECT_FALSE(model->isHidden());
        EXPECT_EQ(stage.adapter->initialModelTransforms().at("m"), model->simdTransform());
        stage.wait(3s);
        EXPECT_EQ(stage.delegate->take(), (Calls{"hide"}));
    }
}

TEST(ArAdapter, ARestartForgetsPlanesAndModelsButNotTheFirstPlane) {
    for (const bool restart : {false, true}) {
        SCOPED_TRACE(restart);
        Stage stage(restart ? "restart" : "resume",
                    json::array({frame(0.0, {{"addedAnchors", {floorPlane(), wallPlane()}}}), frame(0.1)}));
        stage.adapter->runArSession(false);
        stage.play();
        stage.adapter->addModel(boxModel("m"));
        stage.adapter->pauseArSession();
        EXPECT_FALSE(stage.session->isRunning());
        stage.delegate->take();

        stage.adapter->runArSession(restart);
        EXPECT_TRUE(stage.session->isRunning());
        EXPECT_EQ(stage.adapter->planeAnchors().size(), restart ? 0u : 2u);
        EXPECT_EQ(stage.adapter->planeNodesHorizontal().size(), restart ? 0u : 1u);
        EXPECT_EQ(stage.adapter->planeNodesVertical().size(), restart ? 0u : 1u);
        EXPECT_EQ(stage.adapter->modelNodes().size(), restart ? 0u : 1u);
        EXPECT_TRUE(stage.adapter->firstPlaneDetected());
        EXPECT_EQ(stage.delegate->take(),
                  (restart ? Calls{"removed m", "restarted", "hide", "show scan 1"} : Calls{"started"}));
        // The replay starts over with a restart: the floor comes back, and is not announced again.
        stage.play();
        EXPECT_EQ(stage.adapter->planeAnchors().size(), 2u);
        EXPECT_EQ(stage.delegate->take(), Calls{});
    }
}

TEST(ArAdapter, SizesFollowTheSwitchForModelsPresentAndPlacedLater) {
    Stage stage("sizes", json::array({frame(0.0)}));
    const auto first = boxModel("a");
    stage.adapter->addModel(first, SCNVector3{0.0f, 0.0f, -1.5f});
    EXPECT_FALSE(first->isSizesShown());
    stage.adapter->setShowSizes(true);
    const auto second = boxModel("b");
    stage.adapter->addModel(second, SCNVector3{1.5f, 0.0f, -1.5f});
    EXPECT_TRUE(first->isSizesShown());
    EXPECT_TRUE(second->isSizesShown());
    EXPECT_EQ(second->shownSizesNode()->parentNode(), second);
    stage.adapter->setShowSizes(false);
    EXPECT_FALSE(first->isSizesShown() || second->isSizesShown());
}

TEST(ArAdapter, TheLightFollowsTheEstimateElseTheDefaultElseStaysAlone) {
    const struct {
        const char* name;
        bool estimate;
        std::optional<double> defaultIntensity;
        double expected;
    } cases[] = {
        {"estimate", true, 30.0, 800.0 / 40.0},
        {"default", false, 30.0, 30.0},
        {"nothing", false, std::nullopt, 7.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const json extra = c.estimate ? json{{"lightEstimate", {{"ambientIntensity", 800.0}}}} : json::object();
        Stage stage(c.name, json::array({frame(0.0, extra)}), false);
        EXPECT_FALSE(stage.adapter->defaultIntensity().has_value());
        stage.adapter->setDefaultIntensity(c.defaultIntensity);
        stage.view->scene()->lightingEnvironment().setIntensity(7.0);
        stage.session->runWithConfiguration({});
        stage.play();
        EXPECT_DOUBLE_EQ(stage.view->scene()->lightingEnvironment().intensity(), c.expected);
    }
}

TEST(ArAdapter, ASessionFailureReachesTheHostWithItsReasonAndSuggestion) {
    Stage stage("failure", json::array({frame(0.0)}));
    stage.adapter->sessionDidFailWithError(*stage.session,
                                           Error("ARSession", 101, "The camera is unavailable.",
                                                 {{"NSLocalizedRecoverySuggestion", "Close other camera apps."}}));
    EXPECT_EQ(stage.delegate->take(), (Calls{"error The camera is unavailable.\nClose other camera apps."}));
}

TEST(ArAdapter, RecordChangesReloadModelsInPlaceRemoveThemAndRelight) {
    Stage stage("records", json::array({frame(0.0, {{"addedAnchors", {floorPlane()}}})}));
    stage.session->runWithConfiguration({});
    stage.play();
    const auto sofa = boxModel("s1", "sofa");
    const auto chair = boxModel("c1", "chair");
    stage.adapter->addModel(sofa, std::nullopt, true);
    stage.adapter->addModel(chair, SCNVector3{1.0f, 0.0f, -2.0f});
    sofa->setOrientation({0.0f, std::sin(0.3f), 0.0f, std::cos(0.3f)});
    const auto placed = sofa->simdWorldTransform();
    stage.reloads["sofa"] = boxModel("template", "sofa", {2.0f, 1.0f, 1.0f});
    stage.delegate->take();
    const auto post = [](const char* name, std::any object) {
        std::thread([&] { NotificationCenter::defaultCenter().post(name, object); }).join();
    };

    post(VantrelSDK::componentUpdatedNotification, test::recordFromServer<ComponentEntity>(json::object(), "sofa"));
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return stage.adapter->selectedModel() != sofa; }));
    const auto reloaded = stage.adapter->selectedModel();
    ASSERT_TRUE(reloaded);
    EXPECT_EQ(reloaded->id(), "s1");
    EXPECT_EQ(reloaded->simdWorldTransform(), placed);
    EXPECT_EQ(stage.delegate->take(), (Calls{"deselected", "removed s1", "added s1", "moved s1", "selected s1", "hide",
                                             "show model-selected 1"}));

    post(VantrelSDK::componentDeletedNotification, test::recordFromServer<ComponentEntity>(json::object(), "chair"));
    drainMain();
    EXPECT_EQ(stage.adapter->modelNodes(), (std::vector<std::shared_ptr<ModelNode>>{reloaded}));

    ASSERT_EQ(stage.adapter->defaultIntensity(), ArAdapter::fallbackIntensity);
    post(VantrelSDK::sceneUpdatedNotification, test::recordFromServer<SceneEntity>(json::object(), "scene"));
    ASSERT_TRUE(
        MainRunLoop::runUntil([&] { return stage.adapter->defaultIntensity() != ArAdapter::fallbackIntensity; }));
    EXPECT_EQ(stage.adapter->defaultIntensity(), stage.view->scene()->lightingEnvironment().intensity());
}

TEST(ArAdapter, AnAnchorObjectUpdateSwapsItsModelInPlaceAndADeletionTakesItsModelsOff) {
    Stage stage("anchors", json::array({frame(0.0, {{"addedAnchors", {floorPlane()}}})}));
    stage.session->runWithConfiguration({});
    stage.play();
    const auto sofa = boxModel("s1", "sofa");
    const auto lamp = AnchorObjectModelNode::make("l1", "lamp");
    const auto plate = AnchorObjectModelNode::make("p1", "plate");
    sofa->attachAnchorObjectModel(lamp, {0.0f, 1.0f, 0.0f}, {0.0f, 0.3f, 0.0f, 0.0f}, {2.0f, 2.0f, 2.0f});
    sofa->attachAnchorObjectModel(plate, {0.5f, 0.0f, 0.0f}, {}, {1.0f, 1.0f, 1.0f});
    stage.adapter->addModel(sofa, SCNVector3{0.0f, 0.0f, -2.0f});
    const auto placement = lamp->simdTransform();
    const auto post = [](const char* name, std::any object) {
        std::thread([&] { NotificationCenter::defaultCenter().post(name, object); }).join();
    };

    post(VantrelSDK::anchorObjectUpdatedNotification,
         test::recordFromServer<AnchorObjectEntity>(json::object(), "lamp"));
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return !lamp->parentNode(); }));
    post(VantrelSDK::anchorObjectDeletedNotification,
         test::recordFromServer<AnchorObjectEntity>(json::object(), "plate"));
    drainMain();
    ASSERT_EQ(sofa->anchorObjectModels().size(), 1u);
    const auto reloaded = sofa->anchorObjectModels().front();
    EXPECT_EQ(reloaded->id(), "reloaded");
    EXPECT_EQ(reloaded->simdTransform(), placement);
    EXPECT_EQ(reloaded->parentNode(), sofa);
    EXPECT_FALSE(plate->parentNode());
}

TEST(ArAdapter, AModelPlacedOnTheRecordedBoardShowsInTheSnapshot) {
    Stage stage(ar_test::boardRecording());
    stage.adapter->runArSession(false);
    stage.play();
    ASSERT_TRUE(stage.adapter->firstPlaneDetected());
    const auto bare = stage.view->snapshot();
    ASSERT_TRUE(bare.hasValue());
    const auto model = boxModel("m", "sofa", {0.12f, 0.08f, 0.06f});
    auto red = SCNMaterial::make();
    red->diffuse().setContents(UIColor(0.8, 0.1, 0.1));
    model->contentNode()->childNodes().front()->geometry()->setFirstMaterial(red);
    stage.adapter->addModel(model);
    ASSERT_EQ(stage.adapter->modelNodes().size(), 1u);
    EXPECT_LT(glm::length(glm::vec3(model->simdWorldTransform()[3])), 0.01f) << "on the board's centre";
    const auto path = ar_test::outputFolder("adapter-board") / "placed.png";
    ASSERT_FALSE(stage.view->writeSnapshot(path));
    const auto placed = UIImage::fromFile(path);
    ASSERT_TRUE(placed);
    // Just above the screen centre the box hides the board: reddish now, grey or white before.
    const auto pixel = [](const UIImage& image, int x, int y) {
        const auto at = static_cast<std::size_t>((y * image.width() + x) * 4);
        return glm::ivec3(image.rgba()[at], image.rgba()[at + 1], image.rgba()[at + 2]);
    };
    const auto before = pixel(**bare, 160, 115);
    const auto after = pixel(*placed, 160, 115);
    EXPECT_GT(after.r - after.g, 60) << "before " << before.r << "," << before.g << "," << before.b;
    EXPECT_LT(before.r - before.g, 30);
}

}  // namespace
}  // namespace vantrel
