// Building a selected model's points on the others, docking at the end of a move or on a tap, and
// gathering the models in the way.

#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <glm/gtc/constants.hpp>

#include "unit/graph/GraphTestSupport.hpp"
#include "unit/snapping/SnappingTestSupport.hpp"
#include "vantrel/graph/SceneClock.hpp"
#include "vantrel/scene/Docking.hpp"
#include "vantrel/scene/SnappingNode.hpp"
#include "vantrel/scene/SnappingObstacles.hpp"

namespace vantrel {
namespace {

using graph_test::near;
using graph_test::sameRotation;
using snapping_test::area;
using snapping_test::boxModel;

using Models = std::vector<std::shared_ptr<ModelNode>>;

// A row of sofa modules 3 m apart and a table; the selected module joins sofas on both sides.
struct Showroom {
    ManualSceneClock clock;
    std::shared_ptr<SCNNode> room = SCNNode::make();
    std::shared_ptr<ModelNode> left = boxModel(room, "left", "sofa");
    std::shared_ptr<ModelNode> table = boxModel(room, "table", "table", {0, 0, 3});
    std::shared_ptr<ModelNode> right = boxModel(room, "right", "sofa", {3, 0, 0});
    std::shared_ptr<ModelNode> selected = boxModel(room, "selected", "sofa", {0, 0, -4});
    Models models{left, table, right, selected};

    Showroom() {
        selected->snappingAreas() = {area("sofa", "1,0,0"), area("chair", "0,0,1"), area("sofa", "-1,0,0", "0,1,0,0")};
    }
};

std::vector<std::shared_ptr<SnappingNode>> recorded(const ModelNode& carrier, const std::string& key) {
    const auto it = carrier.snappingNodesDictionary().find(key);
    return it == carrier.snappingNodesDictionary().end() ? std::vector<std::shared_ptr<SnappingNode>>{} : it->second;
}

TEST(Docking, BuildsOnePointPerAreaOnEveryOtherModelOfTheAreasComponent) {
    Showroom s;
    const auto built = docking::buildSnappingNodes(s.selected, s.models);
    ASSERT_EQ(built.size(), 4u);
    // Areas in order, models in list order.
    EXPECT_EQ(built[0]->connectToModel(), s.left);
    EXPECT_EQ(built[1]->connectToModel(), s.right);
    EXPECT_EQ(built[2]->connectToModel(), s.left);
    EXPECT_EQ(built[3]->connectToModel(), s.right);
    EXPECT_EQ(recorded(*s.left, "selected"), (std::vector{built[0], built[2]}));
    EXPECT_EQ(recorded(*s.right, "selected"), (std::vector{built[1], built[3]}));
    EXPECT_TRUE(s.table->snappingNodesDictionary().empty());
    EXPECT_TRUE(s.selected->snappingNodesDictionary().empty()) << "never on the selected model itself";
    for (const auto& point : built) {
        EXPECT_EQ(point->snappingModel(), s.selected);
        EXPECT_EQ(point->parentNode(), point->connectToModel());
    }
    // The 2 m gap between the sofas takes a module beside either of them: both places are free.
    EXPECT_FALSE(built[0]->isHidden());
    EXPECT_FALSE(built[3]->isHidden());

    docking::removeSnappingNodes(s.models);
    for (const auto& point : built) {
        EXPECT_EQ(point->parentNode(), nullptr);
    }
    EXPECT_TRUE(s.left->snappingNodesDictionary().empty());
    EXPECT_TRUE(s.right->snappingNodesDictionary().empty());
}

TEST(Docking, AModelInTheWayHidesAPointFromTheStartAndAfterEveryMove) {
    Showroom s;
    s.right->setPosition({2, 0, 0});  // the gap is now exactly one module wide
    auto stool = boxModel(s.room, "stool", "stool", {1.5f, 0.0f, 0.0f}, {0.5f, 0.5f, 0.5f});
    s.models.push_back(stool);
    const auto built = docking::buildSnappingNodes(s.selected, s.models);
    EXPECT_TRUE(built[0]->isHidden()) << "left's right-hand place holds the stool";
    EXPECT_TRUE(built[3]->isHidden()) << "right's left-hand place, the same place";
    EXPECT_FALSE(built[1]->isHidden());

    s.selected->setPosition({0, 0, -6});
    docking::refreshSnappingNodes(s.models, s.selected.get());
    EXPECT_TRUE(built[0]->isHidden());
    stool->removeFromParentNode();
    s.models.pop_back();
    docking::refreshSnappingNodes(s.models, s.selected.get());
    EXPECT_FALSE(built[0]->isHidden());
}

TEST(Docking, AtTheEndOfAMoveTheFirstVisiblePointTheModelSitsOnWins) {
    struct Row {
        const char* name;
        SCNVector3 droppedAt;
        int winner;  // index into the built points, -1 for none
    };
    // The two modules 2 m apart: their facing points share one place.
    const Row rows[] = {
        {"near the shared place: left's point comes first", {1.1f, 0.2f, 0.1f}, 0},
        {"near right's far side", {3.2f, 0.0f, 0.0f}, 1},
        {"near left's far side, a turned point", {-0.8f, 0.0f, 0.0f}, 2},
        {"in the open", {1.0f, 0.0f, -3.0f}, -1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Showroom s;
        s.right->setPosition({2, 0, 0});
        const auto built = docking::buildSnappingNodes(s.selected, s.models);
        s.selected->setPosition(row.droppedAt);
        const auto winner = docking::occupiedSnappingNode(*s.selected, s.models);
        ASSERT_EQ(winner, row.winner < 0 ? nullptr : built[std::size_t(row.winner)]);
        EXPECT_EQ(docking::snapToOccupiedNode(*s.selected, s.models), row.winner >= 0);
        if (row.winner < 0) {
            EXPECT_EQ(s.selected->position(), row.droppedAt);
            continue;
        }
        EXPECT_TRUE(near(s.selected->worldPosition(), winner->worldPosition()));
        EXPECT_TRUE(sameRotation(s.selected->worldOrientation(), winner->worldOrientation()));
        docking::refreshSnappingNodes(s.models, s.selected.get());
        EXPECT_TRUE(winner->isHidden()) << "occupied now";
    }
}

TEST(Docking, AHiddenPointNeitherTakesAMoveEndNorATap) {
    Showroom s;
    const auto built = docking::buildSnappingNodes(s.selected, s.models);
    built[0]->setHidden(true);
    s.selected->setPosition({1.1f, 0.0f, 0.0f});
    EXPECT_EQ(docking::occupiedSnappingNode(*s.selected, s.models), nullptr);
    EXPECT_FALSE(docking::snapToTappedNode(*s.selected, *built[0]));

    // A tap on a shown point docks exactly, also under a turned, moved carrier; a point built for
    // another model docks nothing.
    s.room->setEulerAngles({0, 0.4f, 0});
    s.right->setEulerAngles({0, glm::half_pi<float>(), 0});
    EXPECT_TRUE(docking::snapToTappedNode(*s.selected, *built[1]));
    EXPECT_TRUE(near(s.selected->worldPosition(), built[1]->worldPosition()));
    EXPECT_TRUE(sameRotation(s.selected->worldOrientation(), built[1]->worldOrientation()));
    EXPECT_FALSE(docking::snapToTappedNode(*s.table, *built[1]));
}

TEST(Docking, GatheredObstaclesAnswerAsTheWholeListDoes) {
    // A scene large enough for the grid, with products of mixed sizes (one spanning it), turned
    // carriers and points near and far; every answer must match a walk over every model.
    ManualSceneClock clock;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> place(-12.0f, 12.0f);
    std::uniform_real_distribution<float> extent(0.3f, 2.5f);
    auto room = SCNNode::make();
    Models models;
    for (int i = 0; i < 80; ++i) {
        auto model = boxModel(room, "m" + std::to_string(i), "sofa", {place(random), 0.0f, place(random)},
                              {extent(random), extent(random), extent(random)});
        model->setEulerAngles({0.0f, float(i % 4) * glm::half_pi<float>(), 0.0f});
        models.push_back(model);
    }
    models.push_back(boxModel(room, "floor", "floor", {0, -1, 0}, {30.0f, 0.2f, 30.0f}));
    auto selected = boxModel(room, "selected", "sofa", {40, 0, 40});
    selected->snappingAreas() = {area("sofa", "1.2,0,0"), area("sofa", "0,0,-1.5", "0,0.7071,0,0.7071")};
    models.push_back(selected);

    const auto built = docking::buildSnappingNodes(selected, models);
    ASSERT_EQ(built.size(), 160u);
    const SnappingObstacles obstacles(models);
    int blocked = 0;
    for (const auto& point : built) {
        bool expected = false;
        for (const auto& model : models) {
            expected = expected || (model != point->connectToModel() && model != selected &&
                                    ModelNode::boxesOverlap(point->overlapBoundingBox(), model->overlapBoundingBox()));
        }
        EXPECT_EQ(obstacles.isBlocking(*point), expected);
        blocked += expected ? 1 : 0;
    }
    EXPECT_GT(blocked, 10);
    EXPECT_LT(blocked, 150);
}

}  // namespace
}  // namespace vantrel
