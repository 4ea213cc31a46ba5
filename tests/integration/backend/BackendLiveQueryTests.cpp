// The LiveQuery client against the reference backend: every event kind from changes made by the
// Parse JavaScript SDK, a restart of the server while subscribed, an event crossing from one
// server process to the other through Redis, and our changes reaching the JavaScript SDK.

#include "support/BackendFixture.hpp"
#include "support/BackendPeerListener.hpp"
#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/backend/ParseUser.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace vantrel {
namespace {

using nlohmann::json;
using std::chrono::milliseconds;

class LiveComponent : public ParseObject {
public:
    static std::string parseClassName() { return "Component"; }
    LiveComponent() : ParseObject(parseClassName()) {}
};

struct LiveEvent {
    Event event;
    std::shared_ptr<ParseObject> object;
    std::shared_ptr<ParseObject> original;
};

class BackendLiveQueryTest : public test::BackendFixture {
protected:
    void SetUp() override {
        BackendFixture::SetUp();
        if (HasFatalFailure()) return;
        ParseObject::registerSubclass<LiveComponent>();
        data_ = seedCompany();
        ASSERT_TRUE(data_.contains("catalog"));
        logIn(data_["manager"]["username"], data_["manager"]["password"]);
    }

    void TearDown() override {
        client_.reset();
        ParseObject::unregisterSubclass(LiveComponent::parseClassName());
        BackendFixture::TearDown();
    }

    void connect(bool second = false) {
        LiveQueryClientOptions options;
        options.backoffBase = milliseconds(200);
        options.backoffCap = milliseconds(2000);
        client_ = std::make_shared<LiveQueryClient>(liveQueryUrl(second), env().applicationId, env().clientKey,
                                                    env().caFile, options);
        client_->setShouldPrintWebSocketLog(true);
        LiveQueryClient::setShared(client_);
    }

    ParseQuery catalogComponents() const {
        ParseQuery query("Component");
        query.whereEqualTo("catalog", ParseObject::createWithoutData("Catalog", data_["catalog"]));
        return query;
    }

    std::shared_ptr<Subscription> subscribe(const ParseQuery& query) {
        auto subscription = client_->subscribe(query);
        subscription->handleSubscribe([subscribed = subscribed_](const ParseQuery&) { subscribed.add(1); });
        subscription->handleError(
            [errors = errors_](const ParseQuery&, const Error& error) { errors.add(error.description()); });
        subscription->handleEvent([events = events_](const ParseQuery&, Event event, auto object, auto original) {
            events.add(LiveEvent{event, object, original});
        });
        return subscription;
    }

    std::string managerLogin() const {
        return data_["manager"]["username"].get<std::string>() + ":" + data_["manager"]["password"].get<std::string>();
    }

    json componentFields(const std::string& name, bool floating) const {
        return {{"catalog", {{"__type", "Pointer"}, {"className", "Catalog"}, {"objectId", data_["catalog"]}}},
                {"name", name},
                {"isFloating", floating}};
    }

    bool waitForEvent(Event kind, const std::string& objectId) {
        return events_.waitFor([&](const std::vector<LiveEvent>& all) {
            return std::any_of(all.begin(), all.end(),
                               [&](const LiveEvent& e) { return e.event == kind && e.object->objectId() == objectId; });
        });
    }

    LiveEvent eventOf(Event kind, const std::string& objectId) {
        for (const auto& e : events_.items())
            if (e.event == kind && e.object->objectId() == objectId) return e;
        return {};
    }

    json data_;
    std::shared_ptr<LiveQueryClient> client_;
    test::Collector<int> subscribed_;
    test::Collector<std::string> errors_;
    test::Collector<LiveEvent> events_;
};

TEST_F(BackendLiveQueryTest, EveryEventKindFromChangesOfTheJavaScriptSdk) {
    connect();
    auto floating = catalogComponents();
    floating.whereEqualTo("isFloating", true);
    subscribe(floating);
    ASSERT_TRUE(subscribed_.waitForCount(1)) << "errors: " << errors_.items().size();

    const auto id = peer({"--login", managerLogin(), "save", "Component", componentFields("Live", true).dump()});
    ASSERT_TRUE(waitForEvent(Event::created, id));
    peer({"--login", managerLogin(), "update", "Component", id, R"({"name":"Live 2"})"});
    ASSERT_TRUE(waitForEvent(Event::updated, id));
    peer({"--login", managerLogin(), "update", "Component", id, R"({"isFloating":false})"});
    ASSERT_TRUE(waitForEvent(Event::left, id));
    peer({"--login", managerLogin(), "update", "Component", id, R"({"isFloating":true})"});
    ASSERT_TRUE(waitForEvent(Event::entered, id));
    peer({"--login", managerLogin(), "delete", "Component", id});
    ASSERT_TRUE(waitForEvent(Event::deleted, id));

    const auto created = eventOf(Event::created, id);
    EXPECT_NE(std::dynamic_pointer_cast<LiveComponent>(created.object), nullptr);
    EXPECT_EQ(created.object->value("name").asString(), "Live");
    EXPECT_EQ(created.object->value("catalog").asObject()->objectId(), data_["catalog"]);
    EXPECT_FALSE(created.object->value("catalog").asObject()->isDataAvailable());
    EXPECT_TRUE(created.object->createdAt().has_value());
    const auto updated = eventOf(Event::updated, id);
    EXPECT_EQ(updated.object->value("name").asString(), "Live 2");
    ASSERT_NE(updated.original, nullptr);
    EXPECT_EQ(updated.original->value("name").asString(), "Live");
    EXPECT_EQ(eventOf(Event::left, id).object->value("isFloating").asBool(), false);
    EXPECT_NE(eventOf(Event::entered, id).original, nullptr);
}

TEST_F(BackendLiveQueryTest, ServerRestartIsSurvivedAndEventsFlowAgain) {
    connect();
    subscribe(catalogComponents());
    ASSERT_TRUE(subscribed_.waitForCount(1));
    const auto restart = test::runCommand({"bash", "scripts/backend.sh", "restart-primary"});
    ASSERT_EQ(restart.exitCode, 0) << restart.err;
    // The client notices the loss, comes back with its back-off and subscribes again.
    ASSERT_TRUE(subscribed_.waitForCount(2)) << "no re-subscription; connections: " << client_->connectionCount();
    EXPECT_GE(client_->connectionCount(), 2u);
    const auto id =
        peer({"--login", managerLogin(), "save", "Component", componentFields("After restart", false).dump()});
    ASSERT_TRUE(waitForEvent(Event::created, id));
}

TEST_F(BackendLiveQueryTest, EventWrittenThroughOneServerReachesASubscriberOfTheOther) {
    // Leave the second process as we found it.
    const bool wasRunning = test::runCommand({"curl", "-sf", "--max-time", "5", "--cacert", env().caFile,
                                              "https://" + env().secondServer + "/health"})
                                .exitCode == 0;
    const auto second = test::runCommand({"bash", "scripts/backend.sh", "start-second"});
    ASSERT_EQ(second.exitCode, 0) << second.err;
    struct StopSecond {
        bool stop;
        ~StopSecond() {
            if (stop) test::runCommand({"bash", "scripts/backend.sh", "stop-second"});
        }
    } stopSecond{!wasRunning};
    connect(/*second=*/true);
    subscribe(catalogComponents());
    ASSERT_TRUE(subscribed_.waitForCount(1));
    // Written by our REST client through the primary.
    auto component = std::make_shared<LiveComponent>();
    component->set("catalog", ParseObject::createWithoutData("Catalog", data_["catalog"]));
    component->set("name", "Across");
    ASSERT_TRUE(save(component).first);
    ASSERT_TRUE(waitForEvent(Event::created, *component->objectId()));
}

TEST_F(BackendLiveQueryTest, OurChangesReachTheJavaScriptSdksSubscription) {
    const json where = {{"catalog", {{"__type", "Pointer"}, {"className", "Catalog"}, {"objectId", data_["catalog"]}}}};
    test::PeerListener listener({"--login", managerLogin()}, "Component", where.dump(), 2);
    ASSERT_TRUE(listener.waitUntilSubscribed());
    auto component = std::make_shared<LiveComponent>();
    component->set("catalog", ParseObject::createWithoutData("Catalog", data_["catalog"]));
    component->set("name", "From C++");
    component->set("price", 4.5);
    ASSERT_TRUE(save(component).first);
    component->set("name", "From C++ 2");
    ASSERT_TRUE(save(component).first);
    ASSERT_TRUE(listener.lines().waitFor([](const std::vector<std::string>& lines) {
        return std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("{", 0) == 0; }) >=
               2;
    }));
    std::vector<json> events;
    for (const auto& line : listener.lines().items())
        if (line.rfind("{", 0) == 0) events.push_back(json::parse(line));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0]["event"], "create");
    EXPECT_EQ(events[0]["object"]["name"], "From C++");
    EXPECT_EQ(events[0]["object"]["price"], 4.5);
    EXPECT_EQ(events[1]["event"], "update");
    EXPECT_EQ(events[1]["object"]["name"], "From C++ 2");
}

TEST_F(BackendLiveQueryTest, AnonymousSubscriptionIsRefusedWithAnError) {
    ParseUser::logOut();
    connect();
    subscribe(catalogComponents());
    ASSERT_TRUE(errors_.waitForCount(1));
    EXPECT_TRUE(subscribed_.items().empty());
}

}  // namespace
}  // namespace vantrel
