#include "vantrel/core/NotificationCenter.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using vantrel::Notification;
using vantrel::NotificationCenter;
using vantrel::ObserverToken;
using vantrel::ScopedObserver;

TEST(NotificationCenter, DeliversByNameOnThePostingThreadWithTheObject) {
    NotificationCenter center;
    std::thread::id seenOn;
    int seenObject = 0;
    int otherCalls = 0;
    center.addObserver("ComponentUpdatedNotification", [&](const Notification& n) {
        seenOn = std::this_thread::get_id();
        seenObject = std::any_cast<int>(n.object);
    });
    center.addObserver("SomethingElse", [&](const Notification&) { ++otherCalls; });

    std::thread poster([&] { center.post("ComponentUpdatedNotification", 42); });
    const auto posterId = poster.get_id();
    poster.join();
    EXPECT_EQ(seenOn, posterId);
    EXPECT_EQ(seenObject, 42);
    EXPECT_EQ(otherCalls, 0);
}

TEST(NotificationCenter, ObserversRunInRegistrationOrderAndAnEmptyNameSeesEverything) {
    NotificationCenter center;
    std::vector<std::string> calls;
    center.addObserver("A", [&](const Notification&) { calls.push_back("first"); });
    center.addObserver("", [&](const Notification& n) { calls.push_back("all:" + n.name); });
    center.addObserver("A", [&](const Notification&) { calls.push_back("second"); });
    center.post("A");
    center.post("B");
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "all:A", "second", "all:B"}));
}

TEST(NotificationCenter, RemovingInsideACallbackStopsLaterObserversOfTheSamePost) {
    NotificationCenter center;
    ObserverToken second = 0;
    int secondCalls = 0;
    int selfCalls = 0;
    ObserverToken self = 0;
    self = center.addObserver("N", [&](const Notification&) {
        ++selfCalls;
        center.removeObserver(second);
        center.removeObserver(self);  // removing oneself while running is fine
    });
    second = center.addObserver("N", [&](const Notification&) { ++secondCalls; });
    center.post("N");
    center.post("N");
    EXPECT_EQ(selfCalls, 1);
    EXPECT_EQ(secondCalls, 0);
    EXPECT_EQ(center.observerCount(), 0u);
}

TEST(NotificationCenter, AddingInsideACallbackTakesEffectFromTheNextPost) {
    NotificationCenter center;
    int added = 0;
    bool once = false;
    center.addObserver("N", [&](const Notification&) {
        if (once) return;
        once = true;
        center.addObserver("N", [&](const Notification&) { ++added; });
    });
    center.post("N");
    EXPECT_EQ(added, 0);
    center.post("N");
    EXPECT_EQ(added, 1);
}

TEST(NotificationCenter, ScopedObserverUnregistersAndUnknownTokensAreIgnored) {
    NotificationCenter center;
    int calls = 0;
    {
        ScopedObserver scoped(center, "N", [&](const Notification&) { ++calls; });
        center.post("N");
        ScopedObserver moved = std::move(scoped);
        center.post("N");
    }
    center.post("N");
    EXPECT_EQ(calls, 2);
    center.removeObserver(12345);
    EXPECT_EQ(center.observerCount(), 0u);
}

TEST(NotificationCenter, ConcurrentPostsAddsAndRemovesStayConsistent) {
    NotificationCenter center;
    std::atomic<int> delivered{0};
    center.addObserver("N", [&](const Notification&) { ++delivered; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                if (t % 2 == 0) {
                    center.post("N");
                } else {
                    auto token = center.addObserver("N", [](const Notification&) {});
                    center.removeObserver(token);
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(delivered.load(), 1000);
    EXPECT_EQ(center.observerCount(), 1u);
}
