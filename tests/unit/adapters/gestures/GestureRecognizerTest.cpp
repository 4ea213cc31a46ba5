// The gesture recognizers fed through a view's touch dispatcher, with time on a manual clock.

#include <chrono>
#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vantrel/adapters/UILongPressGestureRecognizer.hpp"
#include "vantrel/adapters/UIPanGestureRecognizer.hpp"
#include "vantrel/adapters/UIPinchGestureRecognizer.hpp"
#include "vantrel/adapters/UIRotationGestureRecognizer.hpp"
#include "vantrel/adapters/UITapGestureRecognizer.hpp"
#include "vantrel/adapters/UITouchDispatcher.hpp"
#include "vantrel/core/Clock.hpp"
#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/core/MainRunLoop.hpp"
#include "vantrel/render/SCNView.hpp"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using State = UIGestureRecognizerState;

class GestureTest : public testing::Test {
protected:
    void SetUp() override { Clock::install(clock_); }
    void TearDown() override { Clock::install(nullptr); }

    // Moves the clock and lets the timers that became due run on the main queue.
    void advance(std::chrono::milliseconds by) {
        clock_->advance(by);
        auto marker = std::make_shared<bool>(false);
        DispatchQueue::main().asyncAfter(0s, [marker] { *marker = true; });
        ASSERT_TRUE(MainRunLoop::runUntil([&] { return *marker; }, 5s));
    }

    // Attaches `recognizer` and records its action calls as states.
    template <typename Recognizer>
    std::shared_ptr<Recognizer> attach(std::vector<State>& log) {
        auto recognizer = std::make_shared<Recognizer>([&log](UIGestureRecognizer& r) { log.push_back(r.state()); });
        dispatcher_.addGestureRecognizer(recognizer);
        return recognizer;
    }

    void down(std::uint64_t id, CGPoint at) { dispatcher_.touchesBegan({{id, at, UITouchPhase::began}}); }
    void move(std::uint64_t id, CGPoint to) { dispatcher_.touchesMoved({{id, to, UITouchPhase::moved}}); }
    void up(std::uint64_t id, CGPoint at) { dispatcher_.touchesEnded({{id, at, UITouchPhase::ended}}); }

    std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>();
    UITouchDispatcher dispatcher_{std::weak_ptr<SCNView>{}};
};

// --- Taps ----------------------------------------------------------------------------------------

struct TapStep {
    CGPoint at;
    std::chrono::milliseconds pauseAfter;
    CGFloat slide = 0.0;  // how far the finger slides before lifting
};

struct TapCase {
    std::string name;
    std::vector<TapStep> taps;
    int singles;
    int doubles;
    std::vector<UITouchPhase> viewPhases;  // what the view's own touch handler got
};

TEST_F(GestureTest, SingleTapWaitsForTheDoubleTapToFailAndBothHoldTouchesBackFromTheView) {
    const std::vector<TapCase> cases = {
        {"one tap is a single tap once the double tap times out", {{{50, 50}, 400ms}}, 1, 0, {}},
        {"a quick second tap is a double tap only", {{{50, 50}, 100ms}, {{52, 51}, 400ms}}, 0, 1, {}},
        {"a late second tap makes two single taps", {{{50, 50}, 400ms}, {{50, 50}, 400ms}}, 2, 0, {}},
        {"a finger sliding 20 points is no tap: the view gets the held touches",
         {{{50, 50}, 400ms, 20.0}},
         0,
         0,
         {UITouchPhase::began, UITouchPhase::moved, UITouchPhase::ended}},
        {"a double tap whose second tap slides recognizes the first as a single tap",
         {{{50, 50}, 100ms}, {{50, 50}, 400ms, 20.0}},
         1,
         0,
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UITouchDispatcher dispatcher{std::weak_ptr<SCNView>{}};
        int singles = 0;
        int doubles = 0;
        auto single = std::make_shared<UITapGestureRecognizer>([&](UIGestureRecognizer&) { ++singles; });
        auto twice = std::make_shared<UITapGestureRecognizer>([&](UIGestureRecognizer& r) {
            EXPECT_EQ(r.numberOfTouches(), 1u);
            ++doubles;
        });
        twice->setNumberOfTapsRequired(2);
        single->requireGestureRecognizerToFail(twice);
        single->setDelaysTouchesBegan(true);
        twice->setDelaysTouchesBegan(true);
        dispatcher.addGestureRecognizer(single);
        dispatcher.addGestureRecognizer(twice);
        std::vector<UITouchPhase> viewPhases;
        dispatcher.setViewTouchHandler(
            [&](UITouchPhase phase, const std::vector<UITouch>&) { viewPhases.push_back(phase); });

        for (const auto& tap : c.taps) {
            dispatcher.touchesBegan({{1, tap.at, UITouchPhase::began}});
            const CGPoint last = tap.at + CGPoint(tap.slide, 0);
            if (tap.slide > 0) dispatcher.touchesMoved({{1, last, UITouchPhase::moved}});
            dispatcher.touchesEnded({{1, last, UITouchPhase::ended}});
            advance(tap.pauseAfter);
        }
        EXPECT_EQ(singles, c.singles);
        EXPECT_EQ(doubles, c.doubles);
        EXPECT_EQ(viewPhases, c.viewPhases);
        EXPECT_EQ(single->state(), State::possible);
        EXPECT_EQ(twice->state(), State::possible);
    }
}

TEST_F(GestureTest, TapCountsFingersAndReportsWhereTheyWereInAnyView) {
    auto view = std::make_shared<SCNView>(CGRect(20, 30, 320, 240));
    auto sibling = std::make_shared<SCNView>(CGRect(100, 0, 320, 240));
    UITouchDispatcher dispatcher{view};
    std::vector<State> log;
    auto tap = std::make_shared<UITapGestureRecognizer>([&](UIGestureRecognizer& r) { log.push_back(r.state()); });
    dispatcher.addGestureRecognizer(tap);
    tap->setNumberOfTouchesRequired(2);
    CGPoint location;
    CGPoint inSibling;
    tap->addTarget([&](UIGestureRecognizer& r) {
        EXPECT_EQ(r.view(), view);
        location = r.locationInView(nullptr);
        inSibling = r.locationInView(sibling.get());
    });

    UITouchScript::tap(dispatcher, {{10, 10}});                      // one finger of two: fails
    UITouchScript::tap(dispatcher, {{10, 10}, {30, 10}, {50, 10}});  // three: fails
    EXPECT_TRUE(log.empty());
    UITouchScript::tap(dispatcher, {{10, 10}, {30, 20}});
    EXPECT_EQ(log, std::vector<State>{State::recognized});
    EXPECT_EQ(inSibling, CGPoint(-60, 45));
    EXPECT_EQ(location, CGPoint(20, 15));
}

// --- Long press ----------------------------------------------------------------------------------

struct PressCase {
    std::string name;
    std::chrono::milliseconds heldBeforeMove;
    CGFloat moveBy;
    std::chrono::milliseconds heldAfterMove;
    std::vector<State> expected;
};

TEST_F(GestureTest, LongPressBeginsAtItsDurationChangesOnMovesAndEndsOnLift) {
    const std::vector<PressCase> cases = {
        {"held, then dragged far", 500ms, 40.0, 0ms, {State::began, State::changed, State::ended}},
        {"lifted a moment too early", 499ms, 0.0, 0ms, {}},
        {"moved beyond the allowable movement first", 200ms, 11.0, 600ms, {}},
        {"moved within the allowable movement first", 200ms, 9.0, 300ms, {State::began, State::ended}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<State> log;
        auto press = attach<UILongPressGestureRecognizer>(log);
        down(1, {100, 100});
        advance(c.heldBeforeMove);
        if (c.moveBy > 0) move(1, {100 + c.moveBy, 100});
        advance(c.heldAfterMove);
        up(1, {100 + c.moveBy, 100});
        advance(1s);  // a timer left behind must not fire
        EXPECT_EQ(log, c.expected);
        dispatcher_.removeGestureRecognizer(press);
    }
}

// --- Pan -----------------------------------------------------------------------------------------

struct PanCase {
    std::string name;
    std::size_t minimumTouches;
    std::size_t maximumTouches;
    std::vector<CGPoint> from;
    CGFloat dragBy;
    bool begins;
};

TEST_F(GestureTest, PanBeginsBeyondTheHysteresisWithAnAllowedNumberOfFingers) {
    const std::vector<PanCase> cases = {
        {"one finger", 1, 2, {{0, 0}}, 100, true},
        {"one finger within the hysteresis", 1, 2, {{0, 0}}, 9, false},
        {"two fingers", 1, 2, {{0, 0}, {40, 0}}, 100, true},
        {"three fingers over a maximum of two", 1, 2, {{0, 0}, {40, 0}, {80, 0}}, 100, false},
        {"one finger under a minimum of two", 2, 5, {{0, 0}}, 100, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<State> log;
        CGPoint translation;
        auto pan = attach<UIPanGestureRecognizer>(log);
        pan->setMinimumNumberOfTouches(c.minimumTouches);
        pan->setMaximumNumberOfTouches(c.maximumTouches);
        pan->addTarget([&](UIGestureRecognizer&) { translation = pan->translationInView(nullptr); });
        std::vector<CGPoint> to;
        for (const auto& p : c.from) to.push_back(p + CGPoint(0, c.dragBy));
        UITouchScript::drag(dispatcher_, c.from, to, 10);
        if (c.begins) {
            ASSERT_FALSE(log.empty());
            EXPECT_EQ(log.front(), State::began);
            EXPECT_EQ(log.back(), State::ended);
            EXPECT_EQ(translation, CGPoint(0, c.dragBy));
        } else {
            EXPECT_TRUE(log.empty());
        }
        dispatcher_.removeGestureRecognizer(pan);
    }
}

TEST_F(GestureTest, IncrementalPanAddsUpAndFingersLandingOrLiftingDoNotJump) {
    std::vector<State> log;
    auto pan = attach<UIPanGestureRecognizer>(log);
    pan->setMaximumNumberOfTouches(2);
    CGPoint sum;
    pan->addTarget([&](UIGestureRecognizer&) {
        sum += pan->translationInView(nullptr);
        pan->setTranslation({}, nullptr);
    });

    down(1, {0, 0});
    move(1, {30, 0});
    down(2, {200, 200});  // the centroid jumps to (115, 100)
    down(3, {400, 0});    // a third finger on a pan of at most two: ignored
    EXPECT_EQ(pan->numberOfTouches(), 2u);
    dispatcher_.touchesMoved({{1, {40, 0}, UITouchPhase::moved}, {2, {210, 200}, UITouchPhase::moved}});
    move(3, {900, 900});
    up(1, {40, 0});
    move(2, {215, 200});
    up(2, {215, 200});
    up(3, {900, 900});

    EXPECT_EQ(sum, CGPoint(45, 0));
    EXPECT_EQ(log.back(), State::ended);
}

// --- Pinch and rotation --------------------------------------------------------------------------

TEST_F(GestureTest, PinchScaleIsTheRatioOfDistancesAndMultipliesUpWhenResetToOne) {
    for (const bool resetsEachChange : {false, true}) {
        SCOPED_TRACE(resetsEachChange ? "reset to 1 after each change" : "read as is");
        std::vector<State> log;
        auto pinch = attach<UIPinchGestureRecognizer>(log);
        CGFloat product = 1.0;
        CGFloat last = 0.0;
        pinch->addTarget([&](UIGestureRecognizer&) {
            last = pinch->scale();
            if (!resetsEachChange) return;
            product *= pinch->scale();
            pinch->setScale(1.0);
        });
        UITouchScript::pinch(dispatcher_, {160, 120}, 100, 250, 15);
        EXPECT_NEAR(resetsEachChange ? product : last, 2.5, 1e-9);
        EXPECT_EQ(log.front(), State::began);
        EXPECT_EQ(log.back(), State::ended);
        dispatcher_.removeGestureRecognizer(pinch);
    }

    std::vector<State> log;
    attach<UIPinchGestureRecognizer>(log);
    UITouchScript::drag(dispatcher_, {0, 0}, {200, 0});  // one finger is no pinch
    EXPECT_TRUE(log.empty());
}

TEST_F(GestureTest, RotationIsTheTurnOfTheTwoFingerLineAccumulatedPastHalfARevolution) {
    constexpr CGFloat pi = std::numbers::pi;
    struct RotationCase {
        CGFloat from;
        CGFloat to;
    };
    for (const auto& c : std::vector<RotationCase>{{0, pi / 2}, {0.3, -0.9}, {0, 1.5 * pi}, {pi * 0.9, -pi * 0.9}}) {
        SCOPED_TRACE(std::to_string(c.from) + " to " + std::to_string(c.to));
        std::vector<State> log;
        auto rotation = attach<UIRotationGestureRecognizer>(log);
        CGFloat turned = 0.0;
        rotation->addTarget([&](UIGestureRecognizer&) { turned = rotation->rotation(); });
        UITouchScript::rotate(dispatcher_, {160, 120}, 50, c.from, c.to, 30);
        EXPECT_NEAR(turned, c.to - c.from, 1e-9);
        EXPECT_EQ(log.back(), State::ended);
        dispatcher_.removeGestureRecognizer(rotation);
    }
}

// --- Working together ----------------------------------------------------------------------------

TEST_F(GestureTest, TransformGesturesRunTogetherWhileOthersAreExclusive) {
    std::vector<State> panLog;
    std::vector<State> pinchLog;
    std::vector<State> pressLog;
    attach<UIPanGestureRecognizer>(panLog);
    attach<UIPinchGestureRecognizer>(pinchLog);
    attach<UILongPressGestureRecognizer>(pressLog);

    UITouchScript::pinch(dispatcher_, {160, 120}, 40, 140);  // one finger each way: the centroid stays
    EXPECT_TRUE(panLog.empty());
    EXPECT_EQ(pinchLog.front(), State::began);

    pinchLog.clear();
    UITouchScript::drag(dispatcher_, {{100, 100}, {140, 100}}, {{150, 100}, {240, 100}});  // moves and spreads
    EXPECT_EQ(panLog.front(), State::began);
    EXPECT_EQ(pinchLog.front(), State::began);
    EXPECT_TRUE(pressLog.empty());

    // A press that lasts takes the touches: the pan can no longer begin.
    panLog.clear();
    down(1, {10, 10});
    advance(600ms);
    move(1, {100, 10});
    up(1, {100, 10});
    EXPECT_TRUE(panLog.empty());
    EXPECT_EQ(pressLog, (std::vector<State>{State::began, State::changed, State::ended}));
}

struct InterruptionCase {
    std::string name;
    std::function<void(UITouchDispatcher&, const std::shared_ptr<UIGestureRecognizer>&)> interrupt;
    std::vector<State> expected;  // from the pan that was running
    bool nextDragBegins;
};

TEST_F(GestureTest, CancellingDisablingOrRemovingARunningPanCancelsItAndDisabledRecognizersIgnoreInput) {
    const std::vector<InterruptionCase> cases = {
        {"touches cancelled",
         [](UITouchDispatcher& d, const auto&) {
             d.touchesCancelled({{1, {50, 0}, UITouchPhase::cancelled}});
         },
         {State::began, State::cancelled},
         true},
        {"disabled",
         [](UITouchDispatcher&, const auto& r) { r->setEnabled(false); },
         {State::began, State::cancelled},
         false},
        {"removed",
         [](UITouchDispatcher& d, const auto& r) { d.removeGestureRecognizer(r); },
         {State::began, State::cancelled},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<State> log;
        auto pan = attach<UIPanGestureRecognizer>(log);
        down(1, {0, 0});
        move(1, {50, 0});
        c.interrupt(dispatcher_, pan);
        move(1, {80, 0});
        up(1, {80, 0});
        EXPECT_EQ(log, c.expected);
        EXPECT_EQ(pan->state(), State::possible);

        // The next drag starts from a clean recognizer, unless it was disabled or removed.
        log.clear();
        UITouchScript::drag(dispatcher_, {0, 0}, {60, 0});
        EXPECT_EQ(!log.empty(), c.nextDragBegins);
        dispatcher_.removeGestureRecognizer(pan);
    }
}

TEST_F(GestureTest, ARequiredRecognizerThatGoesAwayNoLongerHoldsItsDependentBack) {
    std::vector<State> singleLog;
    std::vector<State> doubleLog;
    auto single = attach<UITapGestureRecognizer>(singleLog);
    auto twice = attach<UITapGestureRecognizer>(doubleLog);
    twice->setNumberOfTapsRequired(2);
    single->requireGestureRecognizerToFail(twice);

    UITouchScript::tap(dispatcher_, {{50, 50}});
    EXPECT_TRUE(singleLog.empty());  // waiting for the double tap
    dispatcher_.removeGestureRecognizer(twice);
    EXPECT_EQ(singleLog, std::vector<State>{State::recognized});

    UITouchScript::tap(dispatcher_, {{50, 50}});  // nothing to wait for any more
    EXPECT_EQ(singleLog.size(), 2u);
}

}  // namespace
}  // namespace vantrel
