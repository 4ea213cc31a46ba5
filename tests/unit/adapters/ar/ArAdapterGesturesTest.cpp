// The AR adapter driven by synthetic touches over a replayed floor: moving by one or two fingers,
// jumping back from an overlap, taps selecting and double taps resetting.

#include <functional>

#include <glm/gtc/quaternion.hpp>

#include <gtest/gtest.h>

#include "ArAdapterTestSupport.hpp"
#include "unit/graph/GraphTestSupport.hpp"
#include "unit/snapping/SnappingTestSupport.hpp"
#include "vantrel/adapters/UITouch.hpp"
#include "vantrel/adapters/UITouchDispatcher.hpp"

using namespace std::chrono_literals;

namespace vantrel {
namespace {

using namespace ar_adapter_test;
using canvas_test::boxModel;
using graph_test::near;
using Calls = std::vector<std::string>;

constexpr SCNVector3 kBox{0.4f, 0.4f, 0.4f};

// A floor seen from above, with a box model at (0, 0, −1.5) and gestures attached.
struct GestureStage : Stage {
    std::shared_ptr<ModelNode> model = boxModel("m", "sofa", kBox);
    std::uint64_t nextTouch = 1;

    explicit GestureStage(const std::string& name, bool floating = false)
        : Stage(name, json::array({frame(0.0, {{"addedAnchors", {floorPlane()}}})})) {
        session->runWithConfiguration({});
        play();
        model->setFloating(floating);
        adapter->addModel(model);
        adapter->setGesturesEnabled(true);
        settle();
        delegate->take();
    }

    UITouchDispatcher& touches() { return *adapter->touchDispatcher(); }

    CGPoint onScreen(const ModelNode& node) const {
        const auto point = view->projectPoint(node.worldPosition() + SCNVector3{0.0f, kBox.y / 2.0f, 0.0f});
        return {point.x, point.y};
    }

    std::vector<UITouch> fingers(std::size_t count, CGPoint at, UITouchPhase phase, std::uint64_t first) const {
        std::vector<UITouch> result;
        for (std::size_t index = 0; index < count; ++index) {
            result.push_back({first + index, {at.x + 10.0 * double(index), at.y}, phase});
        }
        return result;
    }

    void drag(std::size_t count, CGPoint from, CGPoint by, int steps = 10) {
        const auto first = nextTouch;
        nextTouch += count;
        touches().touchesBegan(fingers(count, from, UITouchPhase::began, first));
        drainMain();
        for (int step = 1; step <= steps; ++step) {
            wait(10ms);
            const CGPoint at{from.x + by.x * step / steps, from.y + by.y * step / steps};
            touches().touchesMoved(fingers(count, at, UITouchPhase::moved, first));
            drainMain();
        }
        touches().touchesEnded(fingers(count, {from.x + by.x, from.y + by.y}, UITouchPhase::ended, first));
        drainMain();
    }

    void taps(CGPoint at, int count) {
        for (int index = 0; index < count; ++index) {
            const auto id = nextTouch++;
            touches().touchesBegan({{id, at, UITouchPhase::began}});
            wait(50ms);
            touches().touchesEnded({{id, at, UITouchPhase::ended}});
            drainMain();
            wait(100ms);
        }
        wait(1s);
    }
};

TEST(ArAdapterGestures, PansMoveOverTheFloorAndTwoFingersLiftOnlyFloatingModels) {
    const struct {
        const char* name;
        bool movement;
        bool floating;
        std::size_t fingers;
        bool movesAcross;  // x or z changes
        bool movesUp;      // y changes
    } cases[] = {
        {"movement-off", false, false, 1, false, false},       {"one-finger", true, false, 1, true, false},
        {"two-fingers-standing", true, false, 2, true, false}, {"one-finger-floating", true, true, 1, true, false},
        {"two-fingers-floating", true, true, 2, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GestureStage stage(c.name, c.floating);
        stage.adapter->setMovementEnabled(c.movement);
        stage.adapter->selectModelById("m");
        const auto before = stage.model->position();
        stage.drag(c.fingers, stage.onScreen(*stage.model), {40.0, -40.0});
        const auto after = stage.model->position();
        EXPECT_EQ(std::fabs(after.x - before.x) + std::fabs(after.z - before.z) > 1e-3f, c.movesAcross);
        EXPECT_EQ(std::fabs(after.y - before.y) > 1e-3f, c.movesUp);
    }
}

TEST(ArAdapterGestures, AMoveEndingOverAnotherModelJumpsBackUnlessItSnappedOrOverlapIsAllowed) {
    enum class End { start, dropped, point };
    const struct {
        const char* name;
        bool snapping;
        bool overlapping;
        End end;
    } cases[] = {
        {"refused", false, false, End::start},
        {"allowed", false, true, End::dropped},
        {"snapped", true, false, End::point},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GestureStage stage(c.name);
        const auto other = boxModel("other", "table", kBox);
        // The moved model docks 0.35 m left of a table's origin, where it overlaps the table.
        stage.model->snappingAreas() = {snapping_test::area("table", "-0.35,0,0")};
        stage.adapter->addModel(other, SCNVector3{0.6f, 0.0f, -1.5f});
        stage.adapter->setMovementEnabled(true);
        stage.adapter->setSnappingsEnabled(c.snapping);
        stage.adapter->setOverlappingOfModelsAllowed(c.overlapping);
        // Clear of the point: a point the selected model stands on is not shown.
        stage.model->setPosition({-0.4f, 0.0f, -1.5f});
        stage.adapter->selectModelById("m");
        const auto start = stage.model->position();
        const auto from = stage.onScreen(*stage.model);
        const auto target = stage.view->projectPoint(SCNVector3{0.4f, kBox.y / 2.0f, -1.5f});
        stage.drag(1, from, {target.x - from.x, target.y - from.y});
        switch (c.end) {
            case End::start: EXPECT_TRUE(near(stage.model->position(), start, 1e-4f)); break;
            case End::dropped: EXPECT_TRUE(stage.model->isOverlapped({other})); break;
            case End::point:
                EXPECT_TRUE(near(stage.model->worldPosition(), SCNVector3{0.25f, 0.0f, -1.5f}, 1e-3f));
                EXPECT_TRUE(stage.model->isOverlapped({other}));
                break;
        }
        EXPECT_NEAR(stage.model->position().y, 0.0f, 1e-4f);
    }
}

TEST(ArAdapterGestures, TwoFingersTurnTheSelectedModelAboutItsOwnUprightByPiTimesTheirTurn) {
    for (const bool enabled : {false, true}) {
        SCOPED_TRACE(enabled);
        GestureStage stage(enabled ? "turn" : "turn-off");
        stage.adapter->setRotationEnabled(enabled);
        stage.adapter->selectModelById("m");
        // Tipped forward first, so that a turn about the world's upright would differ.
        const glm::quat tipped = glm::angleAxis(0.5f, glm::vec3(1.0f, 0.0f, 0.0f));
        stage.model->setOrientation({tipped.x, tipped.y, tipped.z, tipped.w});
        const auto centre = stage.onScreen(*stage.model);
        const double turn = M_PI / 6.0;
        const std::uint64_t a = stage.nextTouch++, b = stage.nextTouch++;
        const auto at = [&](double angle, UITouchPhase phase) {
            const double dx = 40.0 * std::cos(angle), dy = 40.0 * std::sin(angle);
            return std::vector<UITouch>{{a, {centre.x - dx, centre.y - dy}, phase},
                                        {b, {centre.x + dx, centre.y + dy}, phase}};
        };
        stage.touches().touchesBegan(at(0.0, UITouchPhase::began));
        drainMain();
        for (int step = 1; step <= 12; ++step) {
            stage.wait(10ms);
            stage.touches().touchesMoved(at(turn * step / 12, UITouchPhase::moved));
            drainMain();
        }
        stage.touches().touchesEnded(at(turn, UITouchPhase::ended));
        drainMain();
        const glm::quat expected =
            enabled ? tipped * glm::angleAxis(static_cast<float>(-M_PI * turn), glm::vec3(0.0f, 1.0f, 0.0f)) : tipped;
        const auto q = stage.model->orientation();
        EXPECT_NEAR(std::fabs(glm::dot(glm::quat(q.w, q.x, q.y, q.z), expected)), 1.0f, 1e-4f);
    }
}

TEST(ArAdapterGestures, ATapSelectsAndADoubleTapRestoresThePlacementButKeepsThePlaceOnTheFloor) {
    GestureStage stage("double-tap", true);
    stage.taps(stage.onScreen(*stage.model), 1);
    EXPECT_EQ(stage.adapter->selectedModel(), stage.model);
    const auto placed = stage.model->simdTransform();
    // Moved, lifted, turned and scaled since its placement.
    stage.model->setPosition({0.3f, 0.25f, -1.2f});
    stage.model->setOrientation({0.0f, std::sin(0.4f), 0.0f, std::cos(0.4f)});
    stage.model->setScale({2.0f, 2.0f, 2.0f});
    stage.delegate->take();
    stage.taps(stage.onScreen(*stage.model), 2);
    const auto reset = stage.model->simdTransform();
    EXPECT_TRUE(near(stage.model->position(), SCNVector3{0.3f, placed[3].y, -1.2f}, 1e-4f));
    for (int column = 0; column < 3; ++column) {
        for (int row = 0; row < 3; ++row) EXPECT_NEAR(reset[column][row], placed[column][row], 1e-4f);
    }
    const auto calls = stage.delegate->take();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "moved m"), 1);
}

TEST(ArAdapterGestures, ADoubleTapOnASnappingPointDocksTheSelectedModelThere) {
    GestureStage stage("double-tap-point");
    const auto other = boxModel("other", "table", kBox);
    stage.model->snappingAreas() = {snapping_test::area("table", "-0.35,0,0")};
    stage.model->setPosition({-0.4f, 0.0f, -1.5f});
    stage.adapter->addModel(other, SCNVector3{0.6f, 0.0f, -1.5f});
    stage.taps(stage.onScreen(*stage.model), 1);
    ASSERT_EQ(stage.adapter->selectedModel(), stage.model);
    stage.delegate->take();
    const auto point = stage.view->projectPoint(SCNVector3{0.25f, kBox.y / 2.0f, -1.5f});
    stage.taps({point.x, point.y}, 2);
    EXPECT_TRUE(near(stage.model->worldPosition(), SCNVector3{0.25f, 0.0f, -1.5f}, 1e-3f));
    EXPECT_EQ(stage.adapter->selectedModel(), stage.model);
    const auto calls = stage.delegate->take();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ((Calls{calls[0], calls[1], calls[2]}), (Calls{"moved m", "deselected", "selected m"}));
}

TEST(ArAdapterGestures, PinchesScaleWithoutBoundsAndMultiply) {
    GestureStage stage("pinch");
    stage.adapter->setScalingEnabled(true);
    stage.adapter->selectModelById("m");
    const auto centre = stage.onScreen(*stage.model);
    for (int pinch = 0; pinch < 3; ++pinch) {
        const std::uint64_t a = stage.nextTouch++, b = stage.nextTouch++;
        stage.touches().touchesBegan(
            {{a, {centre.x - 10, centre.y}, UITouchPhase::began}, {b, {centre.x + 10, centre.y}, UITouchPhase::began}});
        drainMain();
        for (int step = 1; step <= 10; ++step) {
            stage.wait(10ms);
            stage.touches().touchesMoved({{a, {centre.x - 10 - 3.0 * step, centre.y}, UITouchPhase::moved},
                                          {b, {centre.x + 10 + 3.0 * step, centre.y}, UITouchPhase::moved}});
            drainMain();
        }
        stage.touches().touchesEnded(
            {{a, {centre.x - 40, centre.y}, UITouchPhase::ended}, {b, {centre.x + 40, centre.y}, UITouchPhase::ended}});
        drainMain();
    }
    // Each pinch spreads the fingers from 20 to 80 points: four times, three times over.
    EXPECT_NEAR(stage.model->scale().x, 64.0f, 1.0f);
    EXPECT_FLOAT_EQ(stage.model->scale().x, stage.model->scale().y);
    EXPECT_FLOAT_EQ(stage.model->scale().x, stage.model->scale().z);
}

}  // namespace
}  // namespace vantrel
