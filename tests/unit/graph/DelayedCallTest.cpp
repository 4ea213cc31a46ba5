// The delayed main-queue call, against the library's injectable timer clock.

#include <chrono>
#include <cmath>
#include <limits>
#include <memory>

#include <gtest/gtest.h>

#include "vantrel/core/Clock.hpp"
#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/core/MainRunLoop.hpp"
#include "vantrel/graph/DelayedCall.hpp"

namespace vantrel {
namespace {

using namespace std::chrono_literals;

struct ManualTimerClock {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    ManualTimerClock() { Clock::install(clock); }
    ~ManualTimerClock() { Clock::install(nullptr); }
};

// Pumps the main queue until a timer that is already due has run, so that anything else that was
// due has run too.
void settle() {
    auto marker = std::make_shared<bool>(false);
    DispatchQueue::main().asyncAfter(0s, [marker] { *marker = true; });
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return *marker; }, 5s));
}

TEST(DelayedMainCall, RunsOnTheMainQueueOnceTheDelayHasPassed) {
    ManualTimerClock timers;
    auto ran = std::make_shared<bool>(false);
    runOnMainAfter(2.5, [ran] { *ran = true; });
    timers.clock->advance(2499ms);
    settle();
    EXPECT_FALSE(*ran);
    timers.clock->advance(1ms);
    EXPECT_TRUE(MainRunLoop::runUntil([&] { return *ran; }, 5s));
}

TEST(DelayedMainCall, NegativeAndNotANumberDelaysMeanNoneAndInfinityCannotOverflow) {
    ManualTimerClock timers;
    auto count = std::make_shared<int>(0);
    runOnMainAfter(-3.0, [count] { ++*count; });
    runOnMainAfter(std::nan(""), [count] { ++*count; });
    EXPECT_TRUE(MainRunLoop::runUntil([&] { return *count == 2; }, 5s));

    auto never = std::make_shared<bool>(false);
    runOnMainAfter(std::numeric_limits<double>::infinity(), [never] { *never = true; });
    timers.clock->advance(std::chrono::hours(24 * 365));
    settle();
    EXPECT_FALSE(*never);
}

}  // namespace
}  // namespace vantrel
