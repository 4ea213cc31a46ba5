// The reconnect on activation: waiting for initialization on the library clock, and the
// device-integrity hook. What the reconnect does with a session is shown against the reference
// backend in the integration suite.

#include "core/SdkState.hpp"
#include "sdk/Reconnect.hpp"
#include "vantrel/core/Clock.hpp"
#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/core/MainRunLoop.hpp"
#include "vantrel/core/NotificationCenter.hpp"
#include "vantrel/core/VantrelSDK.hpp"

#include <gtest/gtest.h>

#include <atomic>

namespace vantrel {
namespace {

using namespace std::chrono_literals;

void setInitialized(bool initialized) {
    VantrelSDK::lifecycleQueue().sync([initialized] { detail::sdkState().isInitialized = initialized; });
}

class ReconnectTest : public testing::Test {
protected:
    void SetUp() override {
        Clock::install(clock_);
        wasInitialized_ = VantrelSDK::isInitialized();
        VantrelSDK::setReconnectHandler([this] { ++runs_; });
    }
    void TearDown() override {
        VantrelSDK::setReconnectHandler({});
        setInitialized(wasInitialized_);
        Clock::install(nullptr);
    }

    // Lets everything that is due run: timers on the timer thread, then the lifecycle queue.
    void settle() {
        std::atomic<bool> marker{false};
        DispatchQueue::global().asyncAfter(0s, [&] { marker = true; });
        ASSERT_TRUE(MainRunLoop::runUntil([&] { return marker.load(); }, 5s));
        VantrelSDK::lifecycleQueue().sync([] {});
    }

    std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>();
    std::atomic<int> runs_{0};
    bool wasInitialized_ = false;
};

TEST_F(ReconnectTest, AnActivationBeforeInitializationLooksAgainEveryFiveSecondsAndThenRunsOnce) {
    setInitialized(false);
    VantrelSDK::applicationDidBecomeActive();
    settle();
    EXPECT_EQ(runs_.load(), 0);

    clock_->advance(5s);  // the first retry: still not initialized, so another five seconds
    settle();
    EXPECT_EQ(runs_.load(), 0);

    setInitialized(true);
    clock_->advance(4999ms);
    settle();
    EXPECT_EQ(runs_.load(), 0) << "nothing runs between the five-second steps";
    clock_->advance(1ms);
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return runs_.load() == 1; }, 5s));

    clock_->advance(60s);
    settle();
    EXPECT_EQ(runs_.load(), 1) << "once initialized, one activation is one reconnect";
}

TEST_F(ReconnectTest, AnActivationAfterInitializationRunsAtOnce) {
    setInitialized(true);
    VantrelSDK::applicationDidBecomeActive();
    VantrelSDK::applicationDidBecomeActive();
    settle();
    EXPECT_EQ(runs_.load(), 2);
}

using ReconnectDeathTest = ReconnectTest;

TEST_F(ReconnectDeathTest, ACompromisedDeviceLosesItsCacheAndEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            VantrelSDK::setDeviceIntegrityCheck([] { return true; });
            detail::reconnectSession();
            MainRunLoop::runUntil([] { return false; }, 20s);
        },
        "integrity");
}

TEST_F(ReconnectTest, ADeviceThatPassesItsCheckGoesOn) {
    std::atomic<int> checks{0};
    VantrelSDK::setDeviceIntegrityCheck([&] {
        ++checks;
        return false;
    });
    // Without a library version the reconnect stops right after the check was queued, signing out
    // in the background; the test ends only once that is done, so that no library thread is still
    // at work when the process exits.
    std::atomic<bool> announced{false};
    ScopedObserver unsupported(NotificationCenter::defaultCenter(), VantrelSDK::unsupportedAppVersionNotification,
                               [&](const Notification&) { announced = true; });
    const auto version = VantrelSDK::versionName();
    VantrelSDK::setVersionName(std::nullopt);
    detail::reconnectSession();
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return checks.load() == 1 && announced.load(); }, 10s));
    VantrelSDK::setVersionName(version);
    VantrelSDK::setDeviceIntegrityCheck({});
}

}  // namespace
}  // namespace vantrel
