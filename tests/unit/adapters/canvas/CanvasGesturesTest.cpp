// The canvas driven by synthetic touches through its recognizers: camera orbit, move and zoom, model
// moves with their end (snapping, jumping back), taps, double taps and long presses.

#include <chrono>
#include <cmath>
#include <functional>

#include <gtest/gtest.h>

#include "unit/adapters/canvas/CanvasTestSupport.hpp"
#include "unit/graph/GraphTestSupport.hpp"
#include "unit/snapping/SnappingTestSupport.hpp"
#include "vantrel/adapters/UITouchDispatcher.hpp"
#include "vantrel/adapters/UITouch.hpp"
#include "vantrel/adapters/UIPanGestureRecognizer.hpp"
#include "vantrel/core/Clock.hpp"
#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/graph/SceneClock.hpp"
#include "vantrel/scene/SnappingNode.hpp"

using namespace std::chrono_literals;

namespace vantrel {
namespace {

using canvas_test::boxModel;
using canvas_test::drainMain;
using graph_test::near;
using Calls = std::vector<std::string>;

// A canvas with gestures attached, on a manual clock, with a sofa at the origin and another 3 m right.
struct GestureCanvas : canvas_test::Canvas {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    ManualSceneClock sceneClock;
    std::shared_ptr<ModelNode> left = boxModel("left", "sofa");
    std::shared_ptr<ModelNode> right = boxModel("right", "sofa");
    std::uint64_t nextTouch = 1;

    GestureCanvas() {
        Clock::install(clock);
        adapter->addModel(left, SCNVector3{0.0f, 0.0f, 0.0f});
        adapter->addModel(right, SCNVector3{3.0f, 0.0f, 0.0f});
        adapter->focusToCenter(false, true, true);
        adapter->setGesturesEnabled(true);
        drainMain();
        delegate->take();
    }
    ~GestureCanvas() { Clock::install(nullptr); }

    UITouchDispatcher& touches() { return *adapter->touchDispatcher(); }

    // Moves the clock and runs what became due: timers hand their work to the main queue from the
    // timer's thread, in deadline order, so a marker due now arrives after every one due before it.
    void advance(std::chrono::nanoseconds by) {
        clock->advance(by);
        bool arrived = false;
        DispatchQueue::main().asyncAfter(0ns, [&arrived] { arrived = true; });
        ASSERT_TRUE(MainRunLoop::runUntil([&] { return arrived; }));
        drainMain();
    }

    // Where a model's box centre shows in the view.
    CGPoint onScreen(const ModelNode& model) const {
        const auto point = view->projectPoint(model.worldPosition() + SCNVector3{0.0f, 0.5f, 0.0f});
        return {point.x, point.y};
    }

    std::vector<UITouch> fingers(std::size_t count, CGPoint at, UITouchPhase phase, std::uint64_t first) {
        std::vector<UITouch> result;
        for (std::size_t index = 0; index < count; ++index) {
            result.push_back({first + index, {at.x + 20.0 * double(index), at.y}, phase});
        }
        return result;
    }

    // Drags `count` fingers from `from` by `by` in `steps` moves, 10 ms apart.
    void drag(std::size_t count, CGPoint from, CGPoint by, int steps = 20,
              const std::function<void()>& beforeEnd = {}) {
        const auto first = nextTouch;
        nextTouch += count;
        touches().touchesBegan(fingers(count, from, UITouchPhase::began, first));
        drainMain();
        for (int step = 1; step <= steps; ++step) {
            advance(10ms);
            const CGPoint at{from.x + by.x * step / steps, from.y + by.y * step / steps};
            touches().touchesMoved(fingers(count, at, UITouchPhase::moved, first));
            drainMain();
        }
        if (beforeEnd) beforeEnd();
        touches().touchesEnded(fingers(count, {from.x + by.x, from.y + by.y}, UITouchPhase::ended, first));
        drainMain();
    }

    void tap(CGPoint at) {
        const auto id = nextTouch++;
        touches().touchesBegan({{id, at, UITouchPhase::began}});
        advance(50ms);
        touches().touchesEnded({{id, at, UITouchPhase::ended}});
        drainMain();
        advance(100ms);
    }

    // One tap and the wait that lets a single tap be recognized, or two taps.
    void taps(CGPoint at, int count) {
        for (int index = 0; index < count; ++index) tap(at);
        advance(1s);
    }
};

struct CameraPose {
    SCNVector3 centre;
    SCNQuaternion orientation;
    float distance;
};
CameraPose poseOf(const CanvasAdapter& adapter) {
    return {adapter.cameraNode()->position(), adapter.cameraNode()->orientation(), adapter.cameraNode()->distance()};
}
bool sameOrientation(const SCNQuaternion& a, const SCNQuaternion& b) {
    return std::fabs(std::fabs(a.dot(b)) - 1.0f) < 1e-4f;
}

TEST(CanvasGestures, PansMoveTheCameraOrTheSelectedModelAsTheSwitchesAllow) {
    struct Case {
        const char* what;
        std::size_t fingers;
        bool cameraControl;
        bool selected;
        bool orbits, pans, movesModel;
    };
    const Case cases[] = {
        {"two fingers without camera control", 2, false, false, false, false, false},
        {"two fingers orbit", 2, true, false, true, false, false},
        {"one finger without camera control or selection", 1, false, false, false, false, false},
        {"one finger moves the centre", 1, true, false, false, true, false},
        {"one finger moves the selected model", 1, false, true, false, false, true},
        {"the selected model wins over the camera", 1, true, true, false, false, true},
    };
    for (const auto& c : cases) {
        GestureCanvas canvas;
        canvas.adapter->setCameraControlEnabled(c.cameraControl);
        canvas.adapter->setModelSelectionEnabled(true);
        if (c.selected) canvas.adapter->selectModelById("left");
        const auto before = poseOf(*canvas.adapter);
        const auto modelBefore = canvas.left->position();
        // Far from every model: a move needs no finger on the model.
        canvas.drag(c.fingers, {20.0, 280.0}, {-60.0, 0.0});
        const auto after = poseOf(*canvas.adapter);
        EXPECT_EQ(!sameOrientation(after.orientation, before.orientation), c.orbits) << c.what;
        EXPECT_EQ(!near(after.centre, before.centre, 1e-4f), c.pans) << c.what;
        EXPECT_EQ(!near(canvas.left->position(), modelBefore, 1e-4f), c.movesModel) << c.what;
        EXPECT_FALSE(canvas.adapter->gestureAction()) << c.what << ": cleared when the pan ends";
    }
}

TEST(CanvasGestures, AFullWidthDragOrbitsTheCameraOneFullTurn) {
    GestureCanvas canvas;
    canvas.adapter->setCameraControlEnabled(true);
    const double width = canvas.view->bounds().size.width;
    auto& touches = canvas.touches();
    const auto fingersAt = [&](double x, UITouchPhase phase) {
        return std::vector<UITouch>{{1, {x, 150.0}, phase}, {2, {x, 190.0}, phase}};
    };
    touches.touchesBegan(fingersAt(0.0, UITouchPhase::began));
    // The pan begins past its hysteresis; the turn counts from there.
    touches.touchesMoved(fingersAt(UIPanGestureRecognizer::hysteresis + 1.0, UITouchPhase::moved));
    drainMain();
    ASSERT_EQ(canvas.adapter->gestureAction(), GestureAction::cameraRotate);
    const auto before = canvas.adapter->cameraNode()->orientation();
    const auto lens = canvas.adapter->cameraNode()->cameraLens()->worldPosition();
    for (int step = 1; step <= 40; ++step) {
        canvas.advance(10ms);
        touches.touchesMoved(
            fingersAt(UIPanGestureRecognizer::hysteresis + 1.0 + width * step / 40.0, UITouchPhase::moved));
        drainMain();
        if (step == 20) {
            // Half way: the camera stands on the far side of the centre, at the same height.
            const auto half = canvas.adapter->cameraNode()->cameraLens()->worldPosition();
            const auto centre = canvas.adapter->cameraNode()->position();
            EXPECT_TRUE(
                near(half - centre, SCNVector3{-(lens - centre).x, (lens - centre).y, -(lens - centre).z}, 1e-3f));
        }
    }
    EXPECT_TRUE(sameOrientation(canvas.adapter->cameraNode()->orientation(), before));
    touches.touchesEnded(fingersAt(UIPanGestureRecognizer::hysteresis + 1.0 + width, UITouchPhase::ended));
    drainMain();
    EXPECT_FALSE(canvas.adapter->gestureAction());
}

TEST(CanvasGestures, AMoveEndingOverAnotherModelJumpsBackUnlessItSnapped) {
    enum class End { start, over, point };
    struct Case {
        const char* what;
        bool snapping;
        bool overlapping;
        bool onPoint;  // the right module carries the moved one's point 0.7 m left of its origin
        End end;
        Calls endCalls;  // reports once the finger lifts
    };
    const Case cases[] = {
        {"over the other model: reported, then back to the start",
         true,
         false,
         false,
         End::start,
         {"moved left", "moved left"}},
        {"overlapping allowed: reported where it ended", true, true, false, End::over, {"moved left"}},
        {"on a point: snapped there", true, false, true, End::point, {"moved left"}},
        {"snapping off: no report of the end, but still back", false, false, false, End::start, {"moved left"}},
        {"snapping off and overlapping allowed: nothing at the end", false, true, false, End::over, {}},
    };
    for (const auto& c : cases) {
        GestureCanvas canvas;
        auto& adapter = *canvas.adapter;
        adapter.setModelSelectionEnabled(true);
        adapter.setOverlappingOfModelsAllowed(c.overlapping);
        if (c.onPoint) canvas.left->snappingAreas() = {snapping_test::area("sofa", "-0.7,0,0")};
        adapter.selectModelById("left");
        adapter.setSnappingsEnabled(c.snapping);
        // Looking straight along −z, a move parallel to the screen keeps the models' z: the model ends
        // where the finger points, 0.15 m short of the point in the snapping case.
        adapter.cameraNode()->setOrientation({0.0f, 0.0f, 0.0f, 1.0f});
        const auto start = canvas.left->position();
        const auto origin = canvas.view->projectPoint(start);
        const CGPoint from{origin.x, origin.y};
        const auto to = canvas.view->projectPoint({c.onPoint ? 2.15f : 3.0f, 0.0f, 0.0f});
        bool movedDuringPan = false;
        canvas.drag(1, from, {to.x - from.x, to.y - from.y}, 20,
                    [&] { movedDuringPan = !canvas.delegate->take().empty(); });
        EXPECT_TRUE(movedDuringPan) << c.what;
        EXPECT_EQ(canvas.delegate->take(), c.endCalls) << c.what;
        switch (c.end) {
            case End::start: EXPECT_TRUE(near(canvas.left->position(), start, 1e-4f)) << c.what; break;
            case End::over: EXPECT_TRUE(canvas.left->isOverlapped({canvas.right})) << c.what; break;
            case End::point: EXPECT_TRUE(near(canvas.left->position(), {2.3f, 0.0f, 0.0f}, 1e-3f)) << c.what; break;
        }
    }
}

TEST(CanvasGestures, TapsSelectDoubleTapsFocusOrSnapAndLongPressesReportEmptySpace) {
    GestureCanvas canvas;
    auto& adapter = *canvas.adapter;
    adapter.setModelSelectionEnabled(true);
    const CGPoint empty{10.0, 10.0};

    canvas.taps(canvas.onScreen(*canvas.right), 1);
    EXPECT_EQ(adapter.selectedModel(), canvas.right);
    EXPECT_EQ(canvas.delegate->take(), (Calls{"selected right"}));
    canvas.taps(empty, 1);
    EXPECT_EQ(adapter.selectedModel(), nullptr);
    EXPECT_EQ(canvas.delegate->take(), (Calls{"deselected"}));

    // A double tap on a model selects it and centres the camera on it, without a single tap first.
    const auto distance = adapter.cameraNode()->distance();
    canvas.taps(canvas.onScreen(*canvas.right), 2);
    EXPECT_EQ(canvas.delegate->take(), (Calls{"selected right"}));
    EXPECT_TRUE(near(adapter.cameraNode()->position(), canvas.right->position(), 1e-4f));

    // On empty space: back to the content's centre, zoom and orientation kept unless asked.
    adapter.cameraNode()->zoom(2.0);
    const auto orientation = adapter.cameraNode()->orientation();
    canvas.taps(empty, 2);
    EXPECT_TRUE(near(adapter.cameraNode()->position(), adapter.contentNode()->boundingSphere().center, 1e-4f));
    EXPECT_NEAR(adapter.cameraNode()->distance(), distance / 2.0f, 1e-4f);
    EXPECT_TRUE(sameOrientation(adapter.cameraNode()->orientation(), orientation));
    adapter.setResetCameraPropertiesOnFocusToCenter(true);
    canvas.taps(empty, 2);
    EXPECT_NEAR(adapter.cameraNode()->distance(), distance, 1e-4f);

    // A double tap on a shown snapping point docks the selected model there and re-selects it.
    canvas.left->snappingAreas() = {snapping_test::area("sofa", "0,0,1.5")};
    adapter.selectModelById("left");
    const auto place = canvas.right->snappingNodesDictionary().at("left").front()->worldPosition();
    canvas.delegate->take();
    const auto shown = canvas.view->projectPoint(place + SCNVector3{0.0f, 0.5f, 0.0f});
    canvas.taps({shown.x, shown.y}, 2);
    EXPECT_TRUE(near(canvas.left->worldPosition(), place, 1e-4f));
    EXPECT_EQ(canvas.delegate->take(), (Calls{"moved left", "deselected", "selected left"}));

    // A long press on empty space reports when it begins and while it moves, not when it ends.
    adapter.resetSelection();
    canvas.delegate->take();
    const auto id = canvas.nextTouch++;
    canvas.touches().touchesBegan({{id, empty, UITouchPhase::began}});
    canvas.advance(1s);
    EXPECT_EQ(canvas.delegate->take(), (Calls{"empty long press"}));
    canvas.touches().touchesMoved({{id, {empty.x + 3.0, empty.y}, UITouchPhase::moved}});
    drainMain();
    EXPECT_EQ(canvas.delegate->take(), (Calls{"empty long press"}));
    canvas.touches().touchesEnded({{id, {empty.x + 3.0, empty.y}, UITouchPhase::ended}});
    drainMain();
    EXPECT_TRUE(canvas.delegate->take().empty());
}

TEST(CanvasGestures, APinchZoomsOnlyWithTwoFingersAndCameraControl) {
    struct Case {
        const char* what;
        bool cameraControl;
        float expectedRatio;
    };
    const Case cases[] = {{"camera control off", false, 1.0f}, {"two fingers spread twice as far", true, 0.5f}};
    for (const auto& c : cases) {
        GestureCanvas canvas;
        canvas.adapter->setCameraControlEnabled(c.cameraControl);
        const auto before = canvas.adapter->cameraNode()->distance();
        auto& touches = canvas.touches();
        touches.touchesBegan({{100, {150.0, 150.0}, UITouchPhase::began}, {101, {250.0, 150.0}, UITouchPhase::began}});
        drainMain();
        for (int step = 1; step <= 10; ++step) {
            canvas.advance(10ms);
            const double half = 50.0 + 5.0 * step;
            touches.touchesMoved(
                {{100, {200.0 - half, 150.0}, UITouchPhase::moved}, {101, {200.0 + half, 150.0}, UITouchPhase::moved}});
            drainMain();
        }
        touches.touchesEnded({{100, {100.0, 150.0}, UITouchPhase::ended}, {101, {300.0, 150.0}, UITouchPhase::ended}});
        drainMain();
        EXPECT_NEAR(canvas.adapter->cameraNode()->distance() / before, c.expectedRatio, 0.02f) << c.what;
        EXPECT_FALSE(canvas.adapter->gestureAction()) << c.what;
    }
}

TEST(CanvasGestures, RecognizersAreAttachedOnTheMainQueueAndRemovedAgain) {
    canvas_test::Canvas canvas;
    canvas.adapter->setGesturesEnabled(true);
    EXPECT_TRUE(canvas.adapter->touchDispatcher()->gestureRecognizers().empty()) << "not before the main queue runs";
    drainMain();
    EXPECT_EQ(canvas.adapter->touchDispatcher()->gestureRecognizers().size(), 6u);
    canvas.adapter->setGesturesEnabled(false);
    drainMain();
    EXPECT_TRUE(canvas.adapter->touchDispatcher()->gestureRecognizers().empty());
}

}  // namespace
}  // namespace vantrel
