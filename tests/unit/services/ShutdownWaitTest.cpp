// Shutting down waits for the global queue to run dry, which the host's own items share: an item
// that never ends there holds the wait only until its deadline, on the library's clock.

#include "core/DispatchQueueImpl.hpp"
#include "support/BackendAwait.hpp"
#include "vantrel/core/Clock.hpp"
#include "vantrel/core/DispatchQueue.hpp"

#include <gtest/gtest.h>

#include <future>

namespace vantrel {
namespace {

using namespace std::chrono_literals;

TEST(ShutdownWaitTest, AGlobalItemThatNeverEndsHoldsTheWaitOnlyUntilItsDeadline) {
    auto clock = std::make_shared<ManualClock>();
    Clock::install(clock);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    test::Await<bool> started;
    DispatchQueue::global().async([started, released] {
        started.set(true);
        released.wait();  // a host item that does not end by itself
    });
    ASSERT_TRUE(started.get());

    auto waited = std::async(std::launch::async, [] { return detail::waitUntilGlobalQueueIdle(2s); });
    // Time moves only when the test moves it; the wait gives up once its deadline passed.
    while (waited.wait_for(10ms) != std::future_status::ready) clock->advance(1s);
    EXPECT_FALSE(waited.get()) << "the wait reports that the queue was still busy";

    // Once the item ends, the same wait sees the queue idle without any time passing.
    release.set_value();
    EXPECT_TRUE(detail::waitUntilGlobalQueueIdle(2s));
    Clock::install(nullptr);
}

}  // namespace
}  // namespace vantrel
