// When a snapping point counts as occupied, blocked or free, and how it sits in its carrier.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <glm/gtc/constants.hpp>

#include "unit/graph/GraphTestSupport.hpp"
#include "unit/snapping/SnappingTestSupport.hpp"
#include "vantrel/graph/SceneClock.hpp"
#include "vantrel/scene/Docking.hpp"
#include "vantrel/scene/SnappingNode.hpp"

namespace vantrel {
namespace {

using graph_test::near;
using snapping_test::area;
using snapping_test::boxModel;

// A selected unit module S and a carrier C at the origin whose point for S stands at (1, 0, 0): the
// preview covers x 0.5…1.5 and y, z −0.5…0.5.
struct DockingScene {
    ManualSceneClock clock;
    std::shared_ptr<SCNNode> room = SCNNode::make();
    std::shared_ptr<ModelNode> carrier = boxModel(room, "carrier", "sofa");
    std::shared_ptr<ModelNode> selected = boxModel(room, "selected", "sofa", {0.0f, 0.0f, 5.0f});
    std::shared_ptr<SnappingNode> point;

    DockingScene() {
        selected->snappingAreas().push_back(area("sofa", "1,0,0"));
        point = docking::buildSnappingNodes(selected, {carrier, selected}).at(0);
    }
};

TEST(SnappingPoint, TakesTheAreaPlacementAndShowsTheSelectedProductAtRestHalfTransparent) {
    struct Row {
        const char* offsetPosition;
        const char* offsetRotation;
        SCNVector3 position;
        SCNVector4 orientation;
    };
    const Row rows[] = {
        {"0.5, 0 ,1", "", {0.5f, 0.0f, 1.0f}, {}},
        {"abc,2", "0,1,0", {0.0f, 2.0f, 0.0f}, {0.0f, 1.0f, 0.0f, 0.0f}},
        {"", "0,0,0,1", {}, {0.0f, 0.0f, 0.0f, 1.0f}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.offsetPosition);
        ManualSceneClock clock;
        auto room = SCNNode::make();
        auto carrier = boxModel(room, "c", "sofa");
        auto selected = boxModel(room, "s", "sofa", {0, 0, 9}, {1.0f, 0.5f, 2.0f});
        selected->showSizes(UIColor::whiteColor(), UIColor::blackColor());
        selected->highlight(ModelHighlightingMode::levitation);
        selected->snappingAreas().push_back(area("sofa", row.offsetPosition, row.offsetRotation));

        const auto point = docking::buildSnappingNodes(selected, {carrier, selected}).at(0);
        EXPECT_EQ(point->position(), row.position);
        EXPECT_EQ(point->orientation(), row.orientation);
        EXPECT_EQ(point->parentNode(), carrier);
        ASSERT_EQ(point->childNodes().size(), 1u) << "the content only, no dimension display";
        EXPECT_EQ(point->childNodes()[0]->opacity(), SnappingNode::previewOpacity);
        EXPECT_EQ(point->boundingBox(), (SCNBoundingBox{{-0.5f, -0.25f, -1.0f}, {0.5f, 0.25f, 1.0f}}))
            << "the resting product, not the lifted one";
    }
}

TEST(SnappingPoint, AModelStandingInTheDockedPlaceOccupiesAndHidesIt) {
    struct Row {
        const char* name;
        std::function<void(DockingScene&)> arrange;
        bool occupied;
    };
    const Row rows[] = {
        {"exactly docked", [](DockingScene& s) { docking::dock(*s.selected, *s.point); }, true},
        {"docked onto a carrier turned in a moved room",
         [](DockingScene& s) {
             s.room->setPosition({3, 0, -2});
             s.carrier->setEulerAngles({0, glm::half_pi<float>(), 0});
             docking::dock(*s.selected, *s.point);
         },
         true},
        {"docked while levitating and showing sizes",
         [](DockingScene& s) {
             s.selected->highlight(ModelHighlightingMode::levitation);
             s.selected->showSizes(UIColor::whiteColor(), UIColor::blackColor());
             docking::dock(*s.selected, *s.point);
         },
         true},
        {"near, inside the preview's sphere",
         [](DockingScene& s) {
             s.selected->setPosition({1.5f, 0.3f, 0.2f});
         },
         true},
        {"beside, outside the sphere",
         [](DockingScene& s) {
             s.selected->setPosition({1.9f, 0.0f, 0.0f});
         },
         false},
        {"far away", [](DockingScene&) {}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DockingScene scene;
        ASSERT_FALSE(scene.point->isHidden());
        row.arrange(scene);
        EXPECT_EQ(scene.point->isSnappingModelInside(), row.occupied);
        scene.carrier->refreshSnappingNodes({});
        EXPECT_EQ(scene.point->isHidden(), row.occupied);
    }
}

TEST(SnappingPoint, IsBlockedOnlyByAThirdModelReachingIntoThePreviewOnEveryAxis) {
    struct Row {
        const char* name;
        SCNVector3 thirdAt;  // a unit box
        bool blocked;
    };
    const Row rows[] = {
        {"face to face on x", {2.0f, 0.0f, 0.0f}, false},
        {"face to face on y", {1.0f, 1.0f, 0.0f}, false},
        {"face to face on z", {1.0f, 0.0f, -1.0f}, false},
        {"in by exactly the tolerance", {1.995f, 0.0f, 0.0f}, false},
        {"in by more than the tolerance", {1.99f, 0.0f, 0.0f}, true},
        {"deep on two axes, apart on the third", {1.2f, 0.3f, 1.1f}, false},
        {"in the middle of it", {1.0f, 0.0f, 0.0f}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DockingScene scene;
        const auto third = boxModel(scene.room, "third", "table", row.thirdAt);
        const std::vector<std::shared_ptr<ModelNode>> models{scene.carrier, scene.selected, third};
        EXPECT_EQ(scene.point->isOverlappedWithModels(models), row.blocked);
        scene.carrier->refreshSnappingNodes(models);
        EXPECT_EQ(scene.point->isHidden(), row.blocked);
        // Blocking only hides: a free point shows again once the way is clear.
        scene.carrier->refreshSnappingNodes({scene.carrier, scene.selected});
        EXPECT_FALSE(scene.point->isHidden());
    }
}

TEST(SnappingPoint, NeitherItsCarrierNorTheModelItStandsForBlockIt) {
    ManualSceneClock clock;
    auto room = SCNNode::make();
    // A wide carrier whose own box reaches into the preview, as a corner module's does.
    auto carrier = boxModel(room, "carrier", "sofa", {}, {2.4f, 1.0f, 1.0f});
    // The selected model reaches into the preview too, but not far enough to sit on it.
    auto selected = boxModel(room, "selected", "sofa", {1.9f, 0.0f, 0.3f});
    selected->snappingAreas().push_back(area("sofa", "1,0,0"));
    const auto point = docking::buildSnappingNodes(selected, {carrier, selected}).at(0);
    ASSERT_FALSE(point->isSnappingModelInside());

    EXPECT_FALSE(point->isOverlappedWithModels({carrier, selected}));
    EXPECT_FALSE(point->isHidden());
    // The same box as a third model does block.
    auto twin = boxModel(room, "twin", "sofa", {}, {2.4f, 1.0f, 1.0f});
    EXPECT_TRUE(point->isOverlappedWithModels({carrier, selected, twin}));
}

TEST(SnappingPoint, WithoutASnappingModelItIsHiddenAfterRefresh) {
    DockingScene scene;
    auto orphan = SnappingNode::make();
    scene.carrier->snappingNodesDictionary()["gone"].push_back(orphan);
    scene.carrier->addSnappingNodes("gone", {});
    EXPECT_TRUE(orphan->isHidden());
    EXPECT_FALSE(orphan->isSnappingModelInside());

    // A selected model that is removed and destroyed leaves its points without snapping model.
    scene.selected->removeFromParentNode();
    scene.selected.reset();
    EXPECT_EQ(scene.point->snappingModel(), nullptr);
    scene.point->refresh();
    EXPECT_TRUE(scene.point->isHidden());
}

TEST(SnappingPoint, PointsAStandingModelCarriesNeitherEnlargeItNorLeaveIt) {
    // X carries a point for another model whose preview reaches into P's preview and into the
    // selected model's path; only X's product may count.
    DockingScene scene;
    auto x = boxModel(scene.room, "x", "shelf", {1.0f, 0.0f, 2.0f});
    auto other = boxModel(scene.room, "other", "shelf", {9, 0, 9});
    other->snappingAreas().push_back(area("shelf", "0,0,-1.6"));
    const auto xPoint = docking::buildSnappingNodes(other, {x, other}).at(0);
    const SCNBoundingBox productBox = x->overlapBoundingBox();
    const auto childrenBefore = x->childNodes();

    EXPECT_FALSE(scene.point->isOverlappedWithModels({scene.carrier, scene.selected, x}));
    EXPECT_EQ(x->childNodes(), childrenBefore) << "still attached, in the same order";
    EXPECT_EQ(x->overlapBoundingBox(), productBox);
    EXPECT_FALSE(scene.carrier->isOverlapped({x}));
    EXPECT_FALSE(x->isOverlapped({scene.carrier, scene.selected}));
    EXPECT_TRUE(ModelNode::boxesOverlap(xPoint->overlapBoundingBox(), scene.point->overlapBoundingBox()))
        << "the scene must put the two previews into each other";
}

TEST(SnappingPoint, AClonedCarrierHoldsItsOwnCopiesOfItsPoints) {
    DockingScene scene;
    const auto copy = std::dynamic_pointer_cast<ModelNode>(scene.carrier->clone());
    ASSERT_NE(copy, nullptr);
    const auto& points = copy->snappingNodesDictionary().at("selected");
    ASSERT_EQ(points.size(), 1u);
    EXPECT_NE(points[0], scene.point);
    EXPECT_EQ(points[0]->parentNode(), copy);
    EXPECT_EQ(points[0]->connectToModel(), copy);
    EXPECT_EQ(points[0]->snappingModel(), scene.selected);
    EXPECT_EQ(scene.point->connectToModel(), scene.carrier);

    copy->removeSnappingNodes();
    EXPECT_EQ(scene.point->parentNode(), scene.carrier) << "the original keeps its points";
    EXPECT_TRUE(copy->snappingNodesDictionary().empty());
}

}  // namespace
}  // namespace vantrel
