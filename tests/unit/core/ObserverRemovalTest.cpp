// Removing an observer while another thread is inside its callback: the removal returns only
// after that call ended, so a host object that unregisters in its destructor is never called once
// it is gone. Meant to run under ThreadSanitizer too (the tsan preset), where a callback touching
// its object after the destructor shows as a race.

#include "vantrel/core/NotificationCenter.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vantrel {
namespace {

// A one-shot signal between two threads.
class Latch {
public:
    void open() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        changed_.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
};

TEST(ObserverRemoval, WaitsForTheCallRunningOnAnotherThread) {
    NotificationCenter center;
    Latch entered, release;
    std::atomic<bool> callEnded{false};
    const auto token = center.addObserver("Ping", [&](const Notification&) {
        entered.open();
        release.wait();
        callEnded = true;
    });
    std::thread poster([&] { center.post("Ping"); });
    entered.wait();

    Latch removing;
    std::atomic<bool> endedWhenRemoved{false};
    std::thread remover([&] {
        removing.open();
        center.removeObserver(token);
        endedWhenRemoved = callEnded.load();
    });
    removing.wait();
    release.open();
    remover.join();
    poster.join();
    EXPECT_TRUE(endedWhenRemoved) << "removeObserver returned while its callback still ran";
}

TEST(ObserverRemoval, FromInsideItsOwnCallbackDoesNotWaitForItself) {
    NotificationCenter center;
    ObserverToken token = 0;
    int calls = 0;
    token = center.addObserver("Ping", [&](const Notification&) {
        ++calls;
        center.removeObserver(token);
    });
    ScopedObserver scoped;
    scoped = ScopedObserver(center, "Ping", [&](const Notification&) { scoped.reset(); });
    center.post("Ping");
    center.post("Ping");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(center.observerCount(), 0u);
}

// Host objects come and go on one thread while another posts: none is called after its
// destructor unregistered it.
TEST(ObserverRemoval, PostingWhileObserversComeAndGoNeverReachesADestroyedObserver) {
    NotificationCenter center;
    struct Host {
        Host(NotificationCenter& center, std::shared_ptr<std::atomic<int>> late)
            : lateCalls(std::move(late)), observer(center, "Tick", [this](const Notification&) {
                  ++calls;  // plain member: a call racing the destructor is a data race
                  entered = true;
                  for (int i = 0; i < 50; ++i) std::this_thread::yield();
                  if (!alive.load()) lateCalls->fetch_add(1);
              }) {}
        ~Host() {
            observer.reset();
            alive = false;
            calls = -1;
        }
        const std::shared_ptr<std::atomic<int>> lateCalls;
        std::atomic<bool> alive{true};
        std::atomic<bool> entered{false};
        int calls = 0;
        ScopedObserver observer;  // last: registered once everything it reads exists
    };
    auto lateCalls = std::make_shared<std::atomic<int>>(0);
    std::atomic<bool> stop{false};
    std::thread poster([&] {
        while (!stop) center.post("Tick");
    });
    // Destroyed hosts stay allocated until the end, so that a late call is counted, not a crash.
    using Storage = std::aligned_storage_t<sizeof(Host), alignof(Host)>;
    std::vector<std::unique_ptr<Storage>> graveyard;
    for (int i = 0; i < 2000; ++i) {
        graveyard.push_back(std::make_unique<Storage>());
        auto* host = new (graveyard.back().get()) Host(center, lateCalls);
        for (int spin = 0; spin < 20 && !host->entered; ++spin) std::this_thread::yield();
        host->~Host();
    }
    stop = true;
    poster.join();
    EXPECT_EQ(lateCalls->load(), 0);
    EXPECT_EQ(center.observerCount(), 0u);
}

}  // namespace
}  // namespace vantrel
