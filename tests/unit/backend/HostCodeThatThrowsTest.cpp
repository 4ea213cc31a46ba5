// Blocks and handlers are the host's code, run on the library's threads or from inside its work.
// One that throws must not end the process nor stop what comes after it: the exception is logged
// where the library called it, the same way everywhere.

#include "support/BackendAwait.hpp"
#include "support/BackendFakeHttpServer.hpp"
#include "support/BackendFakeLiveQueryServer.hpp"
#include "support/ServicesTestSupport.hpp"
#include "vantrel/backend/HttpClient.hpp"
#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/core/NotificationCenter.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

namespace vantrel {
namespace {

using nlohmann::json;
using test::Await;

TEST(HostCodeThatThrows, IsLoggedWhereTheLibraryCalledItAndEverythingAfterItStillRuns) {
    test::LogCapture log;
    test::FakeHttpServer server([](const test::FakeHttpRequest&) { return test::FakeHttpServer::response(200, "{}"); });
    HttpClientOptions options;
    options.completionThreads = 1;  // the follow-up must run on the very thread the throw happened on
    HttpClient client(options);
    auto request = [&](std::function<void()> onCompletion, std::function<void()> onProgress = {}) {
        HttpRequest r;
        r.url = server.url() + "/x";
        if (onProgress) r.progress = [onProgress](std::int64_t, std::int64_t) { onProgress(); };
        client.send(std::move(r), [onCompletion](HttpResponse, OptionalError) { onCompletion(); });
    };

    // Each place the library runs host code, with a std::exception and with anything else.
    const std::vector<std::pair<std::string, std::function<void(std::function<void()> thrower)>>> places = {
        {"completion block", [&](auto thrower) { request(thrower); }},
        {"progress block", [&](auto thrower) { request([] {}, thrower); }},
        {"observer",
         [&](auto thrower) {
             ScopedObserver first(NotificationCenter::defaultCenter(), "HostCodeThrowsNotification",
                                  [thrower](const Notification&) { thrower(); });
             Await<bool> second;
             ScopedObserver other(NotificationCenter::defaultCenter(), "HostCodeThrowsNotification",
                                  [second](const Notification&) { second.set(true); });
             NotificationCenter::defaultCenter().post("HostCodeThrowsNotification");
             EXPECT_TRUE(second.get()) << "the next observer of the same post still runs";
         }},
        {"queue item", [&](auto thrower) { DispatchQueue::global().async(thrower); }},
    };
    const std::vector<std::function<void()>> throwers = {[] { throw std::runtime_error("host failure"); },
                                                         [] { throw 42; }};
    std::size_t thrown = 0;
    for (const auto& [place, run] : places) {
        for (const auto& thrower : throwers) {
            Await<bool> reached;
            run([thrower, reached] {
                reached.set(true);
                thrower();
            });
            ASSERT_TRUE(reached.get()) << place;
            ++thrown;
            Await<bool> after;
            request([after] { after.set(true); });
            EXPECT_TRUE(after.get()) << "the completion thread survived the " << place;
        }
    }
    EXPECT_TRUE(test::eventually([&] { return log.count("Uncaught exception in ") >= thrown; }));
    EXPECT_GE(log.count(": host failure"), places.size());
}

TEST(HostCodeThatThrows, AThrowingSubscriptionHandlerLeavesTheOtherHandlersAndLaterEventsAlone) {
    test::LogCapture log;
    test::FakeLiveQueryServer server;
    LiveQueryClient client(server.url(), "app-id");
    auto subscription = client.subscribe(ParseQuery("Thing"));
    test::Collector<std::string> seen;
    subscription->handleSubscribe([](const ParseQuery&) { throw std::runtime_error("subscribe handler failure"); });
    subscription->handle(Event::created, [](const ParseQuery&, std::shared_ptr<ParseObject>) {
        throw std::runtime_error("event handler failure");
    });
    subscription->handleEvent([seen](const ParseQuery&, Event, std::shared_ptr<ParseObject> object,
                                     std::shared_ptr<ParseObject>) { seen.add(object->objectId().value_or("")); });
    ASSERT_TRUE(server.waitForOp("subscribe"));
    for (const char* id : {"t1", "t2"})
        server.send({{"op", "create"},
                     {"clientId", "c"},
                     {"requestId", subscription->requestId()},
                     {"object", {{"className", "Thing"}, {"objectId", id}}}});
    ASSERT_TRUE(seen.waitForCount(2));
    EXPECT_EQ(seen.items(), (std::vector<std::string>{"t1", "t2"}));
    EXPECT_TRUE(test::eventually([&] { return log.count("event handler failure") == 2; }));
}

}  // namespace
}  // namespace vantrel
