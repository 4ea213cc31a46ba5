// The adaptive quality controller, fed times by hand: when frames are reduced, how the scale steps,
// and when the full-quality frame is due.

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "render/AdaptiveQuality.hpp"

namespace vantrel::detail {
namespace {

constexpr FrameQuality kFull{};
// Just past the settling time (clear of rounding in the sums of times).
constexpr double kSettled = AdaptiveQuality::kSettleSeconds + 1e-6;

// A controller whose full frames take `fullMs` (one drawn while still, at time 0).
AdaptiveQuality measured(double fullMs) {
    AdaptiveQuality quality;
    quality.drawn(quality.next(0.0), fullMs);
    return quality;
}

// Draws frames of a gesture from `start`, 20 ms apart, each taking `cost(scale)` ms; returns the
// scales the frames were drawn at.
template <typename Cost>
std::vector<double> gesture(AdaptiveQuality& quality, double start, int frames, Cost cost) {
    std::vector<double> scales;
    for (int i = 0; i < frames; ++i) {
        const double now = start + 0.02 * i;
        quality.changed(now);
        const FrameQuality frame = quality.next(now);
        EXPECT_TRUE(frame.reduced);
        scales.push_back(frame.scale);
        quality.drawn(frame, cost(frame.scale));
    }
    return scales;
}

TEST(AdaptiveQuality, FramesAreFullQualityWhileStillBeforeAnyFullFrameAndWhenFullFramesKeepToTheTarget) {
    AdaptiveQuality fresh;
    fresh.changed(1.0);
    EXPECT_EQ(fresh.next(1.0), kFull) << "the first picture of a scene is a full one";

    AdaptiveQuality fast = measured(20.0);
    fast.changed(1.0);
    EXPECT_EQ(fast.next(1.0), kFull) << "full frames under 33 ms need no reducing";

    AdaptiveQuality slow = measured(120.0);
    EXPECT_EQ(slow.next(1.0), kFull) << "nothing changed";
    slow.changed(1.0);
    // 120 ms full: about 72 ms reduced at full size, 27.7 ms at 0.62.
    EXPECT_EQ(slow.next(1.0), (FrameQuality{0.62, true}));
    EXPECT_EQ(slow.next(1.0 + kSettled), kFull);

    slow.setEnabled(false);
    EXPECT_EQ(slow.next(1.0), kFull) << "switched off";
}

TEST(AdaptiveQuality, TheScaleStepsDownWhileFramesTakeLongerThanTheTargetAndStopsAtHalf) {
    // The full frame (50 ms) predicts 30 ms reduced frames at full size, but they take 80: after
    // the first two the scale goes straight to where 80 ms shrinks under the target (0.62: 30.7 ms).
    AdaptiveQuality quality = measured(50.0);
    const auto scales = gesture(quality, 1.0, 10, [](double scale) { return 80.0 * scale * scale; });
    EXPECT_EQ(scales, (std::vector<double>{1.0, 1.0, 0.62, 0.62, 0.62, 0.62, 0.62, 0.62, 0.62, 0.62}));

    // Over the target by a little: one step at least.
    AdaptiveQuality near = measured(50.0);
    const auto stepped = gesture(near, 1.0, 4, [](double scale) { return 34.0 * scale * scale; });
    EXPECT_EQ(stepped, (std::vector<double>{1.0, 1.0, 0.79, 0.79}));

    AdaptiveQuality hopeless = measured(500.0);
    const auto lowest = gesture(hopeless, 1.0, 12, [](double) { return 200.0; });
    EXPECT_EQ(lowest.back(), 0.5);
}

TEST(AdaptiveQuality, TheScaleStepsUpOnlyWellUnderTheTargetSoThatItDoesNotSwing) {
    AdaptiveQuality quality = measured(125.0);
    // Slow at first (the machine was busy), then cheap: steps down to 0.5, then back up while a
    // frame takes under 60 % of the target.
    gesture(quality, 1.0, 4, [](double) { return 90.0; });
    EXPECT_EQ(quality.next(1.2).scale, 0.5);
    const auto scales = gesture(quality, 1.2, 8, [](double scale) { return 30.0 * scale * scale; });
    // 7.5 ms → up; 11.5 ms → up; 18.7 ms → up; 30 ms at 1.0 is under 33 but over 19.8: stays.
    EXPECT_EQ(scales, (std::vector<double>{0.5, 0.5, 0.62, 0.62, 0.79, 0.79, 1.0, 1.0}));

    // Between 60 % and 100 % of the target the scale holds (70 ms full: 0.79 predicted).
    AdaptiveQuality steady = measured(70.0);
    const auto held = gesture(steady, 1.1, 8, [](double) { return 25.0; });
    EXPECT_EQ(held, std::vector<double>(8, 0.79));
}

TEST(AdaptiveQuality, AFullQualityFrameIsDueOnceTheSceneIsStillForTheSettlingTime) {
    AdaptiveQuality quality = measured(125.0);
    EXPECT_FALSE(quality.fullFrameDue(5.0)) << "nothing was reduced";
    gesture(quality, 1.0, 5, [](double) { return 40.0; });
    const double last = 1.0 + 0.02 * 4;
    EXPECT_TRUE(quality.lastWasReduced());
    EXPECT_FALSE(quality.fullFrameDue(last + 0.1));
    EXPECT_FALSE(quality.fullFrameDue(last + AdaptiveQuality::kSettleSeconds - 0.001));
    EXPECT_TRUE(quality.fullFrameDue(last + kSettled));
    const FrameQuality settled = quality.next(last + kSettled);
    EXPECT_EQ(settled, kFull);
    quality.drawn(settled, 125.0);
    EXPECT_FALSE(quality.fullFrameDue(last + 1.0)) << "one full frame, then nothing";

    // The next gesture starts at the scale the last one reached (40 ms frames took it to 0.5), not
    // at one the full frame predicts.
    EXPECT_EQ(gesture(quality, 3.0, 1, [](double) { return 30.0; }).front(), 0.5);
}

TEST(AdaptiveQuality, ATargetOfNoTimeOrNotANumberCountsAsTheDefault) {
    AdaptiveQuality quality;
    quality.setTargetMilliseconds(50.0);
    EXPECT_EQ(quality.targetMilliseconds(), 50.0);
    quality.setTargetMilliseconds(0.0);
    EXPECT_EQ(quality.targetMilliseconds(), 33.0);
    quality.setTargetMilliseconds(std::nan(""));
    EXPECT_EQ(quality.targetMilliseconds(), 33.0);
}

}  // namespace
}  // namespace vantrel::detail
