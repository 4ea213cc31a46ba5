// Placing, removing, selecting and re-colouring models on the canvas, the ground and the sizes, and
// the reactions to the library's change notifications.

#include <algorithm>
#include <thread>

#include <gtest/gtest.h>

#include "unit/adapters/canvas/CanvasTestSupport.hpp"
#include "unit/domain/RecordTestSupport.hpp"
#include "unit/graph/GraphTestSupport.hpp"
#include "unit/snapping/SnappingTestSupport.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/domain/AnchorObjectEntity.hpp"
#include "vantrel/domain/ComponentEntity.hpp"
#include "vantrel/domain/MaterialEntity.hpp"
#include "vantrel/domain/SceneEntity.hpp"
#include "vantrel/graph/SCNFloor.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/scene/SnappingNode.hpp"

namespace vantrel {
namespace {

using canvas_test::boxModel;
using canvas_test::Canvas;
using canvas_test::drainMain;
using graph_test::near;
using Calls = std::vector<std::string>;

float radiusOf(const std::shared_ptr<ModelNode>& model) { return model->boundingSphere().radius; }

void postFromAnotherThread(const char* name, std::any object) {
    std::thread([&] { NotificationCenter::defaultCenter().post(name, object); }).join();
}

TEST(CanvasAdapter, AFreshCanvasHasContentAndCameraButNoGroundLightsOrGestures) {
    const auto adapter = CanvasAdapter::make();
    const auto& root = adapter->scene()->rootNode();
    ASSERT_EQ(root->childNodes().size(), 2u);
    EXPECT_EQ(root->childNodes()[0], adapter->contentNode());
    EXPECT_EQ(adapter->contentNode()->name(), "CANVAS CONTENT");
    EXPECT_EQ(root->childNodes()[1], adapter->cameraNode());
    EXPECT_EQ(adapter->cameraNode()->position(), SCNVector3{});
    EXPECT_EQ(adapter->groundNode()->name(), "groundNode");
    EXPECT_EQ(adapter->groundNode()->parentNode(), nullptr);
    const auto floor = std::dynamic_pointer_cast<SCNFloor>(adapter->groundNode()->geometry());
    ASSERT_TRUE(floor);
    EXPECT_EQ(floor->reflectivity(), 0.25);
    EXPECT_EQ(floor->reflectionFalloffEnd(), 20.0);
    EXPECT_TRUE(adapter->isEmpty());
    EXPECT_FALSE(adapter->selectedModel());
    EXPECT_TRUE(adapter->snappingsEnabled());
    EXPECT_FALSE(adapter->cameraControlEnabled() || adapter->modelSelectionEnabled() || adapter->groundEnabled() ||
                 adapter->showSizes() || adapter->gesturesEnabled() || adapter->overlappingOfModelsAllowed() ||
                 adapter->resetCameraPropertiesOnFocusToCenter());
    EXPECT_EQ(adapter->touchDispatcher(), nullptr) << "no view yet";
}

TEST(CanvasAdapter, AttachingAViewShowsTheSceneThroughTheLensWithTheGlowTechnique) {
    Canvas canvas;
    EXPECT_EQ(canvas.view->scene(), canvas.adapter->scene());
    EXPECT_EQ(canvas.view->pointOfView(), canvas.adapter->cameraNode()->cameraLens());
    ASSERT_TRUE(canvas.view->technique());
    EXPECT_EQ(canvas.view->technique()->sequence().size(), 6u);
    canvas.adapter->setGlowColor(CIColor(1.0, 0.5, 0.0));
    const auto symbol = canvas.view->technique()->valueForKeyPath("glowColorSymbol");
    ASSERT_TRUE(symbol);
    EXPECT_EQ(std::get<SCNVector3>(*symbol), (SCNVector3{1.0f, 0.5f, 0.0f}));
    EXPECT_NE(canvas.adapter->touchDispatcher(), nullptr);
}

TEST(CanvasAdapter, PlacementFollowsPositionCloseToPositionOrTheRightOfTheContent) {
    Canvas canvas;
    auto& adapter = *canvas.adapter;
    const auto first = boxModel("m1");
    adapter.addModel(first);
    EXPECT_TRUE(near(first->position(), {radiusOf(first), 0.0f, 0.0f})) << "first model at (r, 0, 0)";

    const auto second = boxModel("m2", "sofa", {2.0f, 1.0f, 1.0f});
    const auto content = adapter.contentNode()->boundingSphere();
    adapter.addModel(second);
    EXPECT_TRUE(near(second->position(), {content.center.x + content.radius + radiusOf(second), 0.0f, 0.0f}))
        << "next model right of the content, touching its sphere";

    const auto placed = boxModel("m3");
    adapter.addModel(placed, SCNVector3{-5.0f, 0.0f, 2.0f}, SCNVector4{0.0f, 1.0f, 0.0f, 0.5f});
    EXPECT_EQ(placed->position(), (SCNVector3{-5.0f, 0.0f, 2.0f}));
    EXPECT_EQ(placed->rotation(), (SCNVector4{0.0f, 1.0f, 0.0f, 0.5f}));

    // Close to the first model: stepped along +x by 0.6 r until it overlaps no model.
    const auto stepped = boxModel("m4");
    adapter.addModel(stepped, std::nullopt, std::nullopt, false, first->position());
    EXPECT_FALSE(stepped->isOverlapped(adapter.modelNodes()));
    const float steps = (stepped->position().x - first->position().x) / (0.6f * radiusOf(stepped));
    EXPECT_NEAR(steps, std::round(steps), 1e-4f);
    EXPECT_GE(steps, 1.0f);
    const auto free = boxModel("m5");
    adapter.addModel(free, std::nullopt, std::nullopt, false, SCNVector3{0.0f, 0.0f, 9.0f});
    EXPECT_EQ(free->position(), (SCNVector3{0.0f, 0.0f, 9.0f})) << "a free close-to position is kept";

    EXPECT_NEAR(adapter.cameraNode()->distance(),
                adapter.contentNode()->boundingSphere().radius * CanvasAdapter::cameraDistanceFactor, 1e-4f);
    EXPECT_EQ(adapter.modelNodes().size(), 5u);
}

TEST(CanvasAdapter, DelegateCallbacksComeInOrder) {
    struct Case {
        const char* what;
        void (*act)(CanvasAdapter&);
        Calls calls;
    };
    const Case cases[] = {
        {"add with notification", [](CanvasAdapter& a) { a.addModel(boxModel("m1")); }, {"added m1", "moved m1"}},
        {"add without notification but selected",
         [](CanvasAdapter& a) { a.addModel(boxModel("m1"), std::nullopt, std::nullopt, true, std::nullopt, false); },
         {"selected m1"}},
        {"select while another is selected",
         [](CanvasAdapter& a) {
             a.addModel(boxModel("m1"), std::nullopt, std::nullopt, true, std::nullopt, false);
             a.addModel(boxModel("m2"), std::nullopt, std::nullopt, false, std::nullopt, false);
             a.selectModelById("m2");
             a.selectModelById("none");
             a.resetSelection();
         },
         {"selected m1", "deselected", "selected m2", "deselected"}},
        {"remove a shared id twice",
         [](CanvasAdapter& a) {
             a.addModel(boxModel("twin"), std::nullopt, std::nullopt, true, std::nullopt, false);
             a.addModel(boxModel("twin"), std::nullopt, std::nullopt, false, std::nullopt, false);
             a.removeModelBy("twin");
             a.removeModelBy("twin");
             a.removeModelBy("none");
         },
         {"selected twin", "deselected", "removed twin", "removed twin"}},
        {"remove all",
         [](CanvasAdapter& a) {
             a.addModel(boxModel("m1"), std::nullopt, std::nullopt, false, std::nullopt, false);
             a.addModel(boxModel("m2"), std::nullopt, std::nullopt, true, std::nullopt, false);
             a.removeModels();
         },
         {"selected m2", "removed m1", "deselected", "removed m2"}},
    };
    for (const auto& c : cases) {
        Canvas canvas;
        canvas.adapter->setModelSelectionEnabled(true);
        c.act(*canvas.adapter);
        EXPECT_EQ(canvas.delegate->take(), c.calls) << c.what;
    }
    Canvas canvas;
    canvas.adapter->addModel(boxModel("m1"), std::nullopt, std::nullopt, true);
    EXPECT_EQ(canvas.adapter->selectedModel(), nullptr) << "selection disabled";
}

TEST(CanvasAdapter, RemovingEmptiesTheSceneTheRecordsAndRecentresTheCamera) {
    Canvas canvas;
    auto& adapter = *canvas.adapter;
    adapter.setModelSelectionEnabled(true);
    const auto kept = boxModel("kept");
    adapter.addModel(kept);
    const auto gone = boxModel("gone");
    adapter.addModel(gone, std::nullopt, std::nullopt, true);
    adapter.assignMaterialToModel("gone", {{"seat", ""}}, "mat", SCNMaterial::make());
    adapter.removeModelBy("gone");
    EXPECT_EQ(gone->parentNode(), nullptr);
    EXPECT_FALSE(gone->isHighlighted());
    EXPECT_EQ(adapter.selectedModel(), nullptr);
    EXPECT_EQ(adapter.assignedMaterials().count("gone"), 0u);
    EXPECT_EQ(adapter.modelNodes(), (std::vector<std::shared_ptr<ModelNode>>{kept}));
    EXPECT_TRUE(near(adapter.cameraNode()->position(), adapter.contentNode()->boundingSphere().center, 1e-5f));
}

TEST(CanvasAdapter, SelectionHighlightsAndBuildsSnappingPointsOnModelsOfTheJoinedComponent) {
    Canvas canvas;
    auto& adapter = *canvas.adapter;
    adapter.setModelSelectionEnabled(true);
    const auto left = boxModel("left", "sofa");
    const auto table = boxModel("table", "table");
    const auto moving = boxModel("moving", "sofa");
    moving->snappingAreas() = {snapping_test::area("sofa", "1,0,0")};
    for (const auto& model : {left, table, moving}) adapter.addModel(model);

    adapter.selectModelById("moving");
    EXPECT_EQ(moving->highlightedMode(), ModelHighlightingMode::glow);
    ASSERT_EQ(left->snappingNodesDictionary().count("moving"), 1u);
    EXPECT_TRUE(table->snappingNodesDictionary().empty());

    adapter.setModelHighlightingMode(ModelHighlightingMode::levitation);
    EXPECT_EQ(moving->highlightedMode(), ModelHighlightingMode::levitation);

    adapter.setSnappingsEnabled(false);
    EXPECT_TRUE(left->snappingNodesDictionary().empty());
    EXPECT_EQ(adapter.selectedModel(), moving);
    adapter.setSnappingsEnabled(true);
    EXPECT_EQ(left->snappingNodesDictionary().count("moving"), 1u) << "rebuilt for the selected model";

    adapter.resetSelection();
    EXPECT_FALSE(moving->isHighlighted());
    EXPECT_TRUE(left->snappingNodesDictionary().empty());
}

TEST(CanvasAdapter, TheGroundFitsModelsOntoItAndKeepsTheCameraAbove) {
    Canvas canvas;
    auto& adapter = *canvas.adapter;
    const auto raised = boxModel("raised");
    const auto sunk = boxModel("sunk");
    const auto hanging = boxModel("hanging");
    hanging->setFloating(true);
    adapter.addModel(raised, SCNVector3{0.0f, 2.0f, 0.0f});
    adapter.addModel(sunk, SCNVector3{3.0f, -0.4f, 0.0f});
    adapter.addModel(hanging, SCNVector3{6.0f, 1.5f, 0.0f});
    canvas.delegate->take();

    adapter.setGroundEnabled(true);
    EXPECT_EQ(adapter.groundNode()->parentNode(), adapter.scene()->rootNode());
    EXPECT_EQ(adapter.cameraNode()->groundNode(), adapter.groundNode());
    EXPECT_NEAR(raised->position().y, 0.0f, 1e-5f) << "dropped onto the ground";
    EXPECT_NEAR(sunk->position().y, 0.0f, 1e-5f) << "raised onto the ground";
    EXPECT_NEAR(hanging->position().y, 1.5f, 1e-5f) << "a floating model is not dropped";
    EXPECT_EQ(canvas.delegate->take(), (Calls{"moved raised", "moved sunk", "moved hanging"}));
    EXPECT_GE(adapter.cameraNode()->cameraLens()->worldPosition().y, CameraNode::groundClearance);

    const auto added = boxModel("added");
    adapter.addModel(added, SCNVector3{9.0f, 3.0f, 0.0f});
    EXPECT_NEAR(added->position().y, 0.0f, 1e-5f);

    adapter.setGroundEnabled(false);
    EXPECT_EQ(adapter.groundNode()->parentNode(), nullptr);
    EXPECT_EQ(adapter.cameraNode()->groundNode(), nullptr);

    adapter.setGroundColor(UIColor::blackColor());
    EXPECT_EQ(adapter.groundColor(), UIColor::blackColor());
    EXPECT_TRUE(adapter.groundNode()->geometry()->materials().front()->isDoubleSided());
}

TEST(CanvasAdapter, SizesAreShownForTheModelsPresentAndRecolouredWithTheEnvironment) {
    Canvas canvas;
    auto& adapter = *canvas.adapter;
    const auto before = boxModel("before");
    adapter.addModel(before);
    adapter.setShowSizes(true);
    const auto after = boxModel("after");
    adapter.addModel(after);
    EXPECT_TRUE(before->isSizesShown());
    EXPECT_FALSE(after->isSizesShown()) << "only the models present when switched on";

    const auto shown = before->shownSizesNode()->childNodes().size();
    adapter.setSceneEnvironment(SceneEnvironment::basicDark);
    EXPECT_TRUE(before->isSizesShown());
    EXPECT_EQ(before->shownSizesNode()->childNodes().size(), shown) << "rebuilt, not doubled";
    EXPECT_FALSE(after->isSizesShown());

    adapter.setShowSizes(false);
    EXPECT_FALSE(before->isSizesShown());
}

TEST(CanvasAdapter, MaterialsAreRecordedPerPartAndFollowTheirRecords) {
    Canvas canvas;
    auto& adapter = *canvas.adapter;
    const auto model = boxModel("m1");
    adapter.addModel(model);
    const auto seat = model->contentNode()->childNodes().front();
    const auto original = seat->geometry()->materials();

    adapter.assignMaterialToModel("m1", {{"seat", "n1"}}, "red", SCNMaterial::make());
    adapter.assignMaterialToModel("none", {{"seat", "n1"}}, "blue", SCNMaterial::make());
    EXPECT_EQ(adapter.assignedMaterials(), (CanvasAdapter::AssignedMaterials{{"m1", {{"seat:n1", "red"}}}}));

    // The record changes on the backend: the rebuilt material goes onto the recorded parts.
    postFromAnotherThread(VantrelSDK::materialUpdatedNotification,
                          test::recordFromServer<MaterialEntity>(nlohmann::json::object(), "red"));
    ASSERT_TRUE(MainRunLoop::runUntil([&] {
        const auto& materials = seat->geometry()->materials();
        return !materials.empty() && materials.front() == canvas.builtMaterial;
    }));
    EXPECT_EQ(adapter.assignedMaterials().at("m1").at("seat:n1"), "red");

    postFromAnotherThread(VantrelSDK::materialDeletedNotification,
                          test::recordFromServer<MaterialEntity>(nlohmann::json::object(), "red"));
    drainMain();
    EXPECT_EQ(seat->geometry()->materials(), original) << "the part's own materials are back";
    EXPECT_TRUE(adapter.assignedMaterials().at("m1").empty());
}

TEST(CanvasAdapter, ComponentNotificationsReloadInPlaceOrRemoveAndOthersChangeNothing) {
    Canvas canvas;
    auto& adapter = *canvas.adapter;
    adapter.setModelSelectionEnabled(true);
    const auto sofa = boxModel("s1", "sofa");
    const auto chair = boxModel("c1", "chair");
    adapter.addModel(sofa, SCNVector3{1.0f, 0.0f, 2.0f}, SCNVector4{0.0f, 1.0f, 0.0f, 1.0f}, true);
    adapter.addModel(chair);
    canvas.reloads["sofa"] = boxModel("template", "sofa", {2.0f, 1.0f, 1.0f});
    canvas.delegate->take();

    postFromAnotherThread(VantrelSDK::sceneDeletedNotification, test::recordFromServer<SceneEntity>({}));
    postFromAnotherThread(VantrelSDK::componentUpdatedNotification, std::string("not a record"));
    drainMain();
    EXPECT_TRUE(canvas.delegate->calls.empty());

    postFromAnotherThread(VantrelSDK::componentUpdatedNotification,
                          test::recordFromServer<ComponentEntity>(nlohmann::json::object(), "sofa"));
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return adapter.modelNodes().front() != sofa; }));
    const auto reloaded = adapter.selectedModel();
    ASSERT_TRUE(reloaded);
    EXPECT_NE(reloaded, sofa);
    EXPECT_EQ(reloaded->id(), "s1");
    EXPECT_EQ(reloaded->position(), (SCNVector3{1.0f, 0.0f, 2.0f}));
    EXPECT_EQ(reloaded->rotation(), (SCNVector4{0.0f, 1.0f, 0.0f, 1.0f}));
    EXPECT_NEAR(reloaded->boundingBox().max.x - reloaded->boundingBox().min.x, 2.0f, 1e-5f) << "the new model";
    EXPECT_EQ(canvas.delegate->take(), (Calls{"deselected", "removed s1", "added s1", "moved s1", "selected s1"}));

    postFromAnotherThread(VantrelSDK::componentUpdatedNotification,
                          test::recordFromServer<ComponentEntity>(nlohmann::json::object(), "chair"));
    drainMain();
    EXPECT_EQ(std::count(adapter.modelNodes().begin(), adapter.modelNodes().end(), chair), 1)
        << "a failed reload keeps the old model";

    postFromAnotherThread(VantrelSDK::componentDeletedNotification,
                          test::recordFromServer<ComponentEntity>(nlohmann::json::object(), "chair"));
    drainMain();
    EXPECT_EQ(adapter.modelNodes().size(), 1u);
    EXPECT_EQ(chair->parentNode(), nullptr);
}

TEST(CanvasAdapter, OfTwoReloadsOfAnAnchorObjectTheLaterOneWinsWhicheverAnswersFirst) {
    for (const bool olderAnswersFirst : {true, false}) {
        Canvas canvas;
        const auto sofa = boxModel("s1");
        const auto lamp = AnchorObjectModelNode::make("l1", "lamp");
        sofa->attachAnchorObjectModel(lamp, {0.0f, 1.0f, 0.0f}, {}, {1.0f, 1.0f, 1.0f});
        canvas.adapter->addModel(sofa);
        for (const std::size_t asked : {1u, 2u}) {
            postFromAnotherThread(VantrelSDK::anchorObjectUpdatedNotification,
                                  test::recordFromServer<AnchorObjectEntity>({}, "lamp"));
            ASSERT_TRUE(MainRunLoop::runUntil([&] { return canvas.anchorLoadsAsked() == asked; }));
        }
        const auto older = AnchorObjectModelNode::make("older", "lamp");
        const auto newer = AnchorObjectModelNode::make("newer", "lamp");
        for (const std::size_t index :
             olderAnswersFirst ? std::vector<std::size_t>{0, 1} : std::vector<std::size_t>{1, 0}) {
            canvas.answerAnchorLoad(index, index == 0 ? older : newer);
            drainMain();
        }
        EXPECT_EQ(sofa->anchorObjectModels(), (std::vector{newer})) << olderAnswersFirst;
        EXPECT_EQ(newer->parentNode(), sofa);
        EXPECT_FALSE(lamp->parentNode() || older->parentNode());
    }
}

TEST(CanvasAdapter, HoldsItsViewAndDelegateWeaklyAndStopsObservingWhenGone) {
    const auto observers = NotificationCenter::defaultCenter().observerCount();
    // The scene settings answer at once: no request may outlive the test (a unit test has no backend).
    CanvasAdapter::Dependencies offline;
    offline.obtainSceneSettings = [](RecordResultBlock<SceneEntity> block) { block(nullptr, std::nullopt); };
    auto adapter = CanvasAdapter::make(offline);
    EXPECT_GT(NotificationCenter::defaultCenter().observerCount(), observers);
    auto view = std::make_shared<SCNView>();
    auto delegate = std::make_shared<canvas_test::RecordingDelegate>();
    adapter->setSceneView(view);
    adapter->setManagementDelegate(delegate);
    const std::weak_ptr<SCNView> weakView = view;
    view.reset();
    delegate.reset();
    EXPECT_TRUE(weakView.expired());
    EXPECT_EQ(adapter->managementDelegate(), nullptr);
    adapter->addModel(boxModel("m1"));  // no delegate, no view: nothing to tell
    postFromAnotherThread(VantrelSDK::componentDeletedNotification,
                          test::recordFromServer<ComponentEntity>(nlohmann::json::object(), "sofa"));
    adapter.reset();
    drainMain();  // the hop queued before the adapter went finds nothing
    EXPECT_EQ(NotificationCenter::defaultCenter().observerCount(), observers);
}

}  // namespace
}  // namespace vantrel
