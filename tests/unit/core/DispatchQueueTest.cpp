#include "vantrel/core/Clock.hpp"
#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/core/MainRunLoop.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using vantrel::DispatchQueue;
using vantrel::MainRunLoop;

namespace {
/// Installs a manual clock for the test's lifetime.
struct ManualClockScope {
    std::shared_ptr<vantrel::ManualClock> clock = std::make_shared<vantrel::ManualClock>();
    ManualClockScope() { vantrel::Clock::install(clock); }
    ~ManualClockScope() { vantrel::Clock::install(nullptr); }
};
}  // namespace

TEST(SerialQueue, RunsItemsOneAtATimeInOrder) {
    auto queue = DispatchQueue::makeSerial("test.serial");
    std::vector<int> order;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    for (int i = 0; i < 200; ++i) {
        queue->async([&, i] {
            if (running.fetch_add(1) != 0) overlapped = true;
            order.push_back(i);
            running.fetch_sub(1);
        });
    }
    queue->sync([] {});
    ASSERT_EQ(order.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    EXPECT_FALSE(overlapped);
    EXPECT_EQ(queue->label(), "test.serial");
}

TEST(SerialQueue, SyncFromItsOwnItemRunsInlineInsteadOfDeadlocking) {
    auto queue = DispatchQueue::makeSerial("test.reentrant");
    bool inner = false;
    queue->sync([&] {
        EXPECT_TRUE(queue->isCurrent());
        queue->sync([&] { inner = true; });
    });
    EXPECT_TRUE(inner);
    EXPECT_FALSE(queue->isCurrent());
}

TEST(SerialQueue, SyncPassesExceptionsToTheCallerAndKeepsTheQueueAlive) {
    auto queue = DispatchQueue::makeSerial("test.throwing");
    EXPECT_THROW(queue->sync([] { throw std::runtime_error("boom"); }), std::runtime_error);
    queue->async([] { throw std::runtime_error("dropped"); });
    bool ran = false;
    queue->sync([&] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST(SerialQueue, ItemsSubmittedBeforeTheQueueGoesAwayStillRun) {
    std::atomic<int> ran{0};
    {
        auto queue = DispatchQueue::makeSerial("test.dying");
        for (int i = 0; i < 50; ++i) queue->async([&] { ++ran; });
    }
    EXPECT_EQ(ran.load(), 50);
}

TEST(GlobalQueue, RunsItemsConcurrently) {
    // Two items that each wait for the other can only finish when they run at the same time.
    std::atomic<int> arrived{0};
    std::atomic<int> finished{0};
    for (int i = 0; i < 2; ++i) {
        DispatchQueue::global().async([&] {
            ++arrived;
            const auto deadline = std::chrono::steady_clock::now() + 10s;
            while (arrived.load() < 2 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
            ++finished;
        });
    }
    EXPECT_TRUE(MainRunLoop::runUntil([&] { return finished.load() == 2; }, 15s));
    EXPECT_EQ(arrived.load(), 2);
}

TEST(MainQueue, RunsOnlyWhenPumpedOnThePumpingThread) {
    std::thread::id ranOn;
    std::thread([&] { DispatchQueue::main().async([&] { ranOn = std::this_thread::get_id(); }); }).join();
    EXPECT_EQ(DispatchQueue::main().pendingCount(), 1u);
    EXPECT_EQ(MainRunLoop::drain(), 1u);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_TRUE(MainRunLoop::isMainThread());
    EXPECT_TRUE(DispatchQueue::main().isCurrent());
}

TEST(MainQueue, SyncFromABackgroundThreadWaitsForThePump) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        int value = 0;
        DispatchQueue::main().sync([&] { value = 7; });
        done = value == 7;
    });
    EXPECT_TRUE(MainRunLoop::runUntil([&] { return done.load(); }, 10s));
    worker.join();
}

TEST(MainQueue, RunUntilGivesUpAfterTheTimeout) {
    EXPECT_FALSE(MainRunLoop::runUntil([] { return false; }, 30ms));
}

TEST(MainRunLoopRun, ServesUntilStopped) {
    std::vector<int> seen;
    DispatchQueue::main().async([&] { seen.push_back(1); });
    DispatchQueue::main().async([&] {
        seen.push_back(2);
        MainRunLoop::stop();
    });
    MainRunLoop::run();
    EXPECT_EQ(seen, (std::vector<int>{1, 2}));
}

TEST(AsyncAfter, FiresOnlyWhenTheInjectedClockReachesTheDelay) {
    ManualClockScope scope;
    auto queue = DispatchQueue::makeSerial("test.timer");
    std::atomic<int> fired{0};
    queue->asyncAfter(5s, [&] { fired = 1; });
    queue->asyncAfter(10s, [&] { fired = 2; });

    scope.clock->advance(4999ms);
    queue->sync([] {});
    // Give the timer thread a chance to run something it should not: fire a later marker and wait for it.
    std::atomic<bool> marker{false};
    DispatchQueue::global().asyncAfter(0s, [&] { marker = true; });
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return marker.load(); }, 5s));
    queue->sync([] {});
    EXPECT_EQ(fired.load(), 0);

    scope.clock->advance(1ms);
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return fired.load() == 1; }, 5s));
    scope.clock->advance(5s);
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return fired.load() == 2; }, 5s));
}

TEST(AsyncAfter, EqualDeadlinesFireInSubmissionOrder) {
    ManualClockScope scope;
    auto queue = DispatchQueue::makeSerial("test.timer.order");
    std::mutex mutex;
    std::vector<int> order;
    for (int i = 0; i < 20; ++i)
        queue->asyncAfter(1s, [&, i] {
            std::lock_guard lock(mutex);
            order.push_back(i);
        });
    scope.clock->advance(1s);
    ASSERT_TRUE(MainRunLoop::runUntil(
        [&] {
            std::lock_guard lock(mutex);
            return order.size() == 20;
        },
        5s));
    for (int i = 0; i < 20; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
}
