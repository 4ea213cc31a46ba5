// The LiveQuery client against a local stand-in server: the protocol, event delivery through the
// class registry, and the connection's life (loss, dead peers, back-off, explicit disconnects).

#include "support/BackendAwait.hpp"
#include "support/BackendFakeHttpServer.hpp"
#include "support/BackendFakeLiveQueryServer.hpp"
#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/backend/ParseError.hpp"
#include "vantrel/core/Clock.hpp"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using nlohmann::json;
using std::chrono::milliseconds;
using test::Collector;
using test::FakeLiveQueryServer;

class LiveTestRecord : public ParseObject {
public:
    static std::string parseClassName() { return "LiveTestRecord"; }
    LiveTestRecord() : ParseObject(parseClassName()) {}
};

struct Seen {
    Event event;
    std::shared_ptr<ParseObject> object;
    std::shared_ptr<ParseObject> original;
};

class LiveQueryClientTest : public testing::Test {
protected:
    void SetUp() override { ParseObject::registerSubclass<LiveTestRecord>(); }
    void TearDown() override {
        client_.reset();
        Clock::install(nullptr);
        ParseObject::unregisterSubclass(LiveTestRecord::parseClassName());
    }

    void makeClient(LiveQueryClientOptions options = {}) {
        if (options.backoffBase == LiveQueryClientOptions{}.backoffBase) {
            options.backoffBase = milliseconds(20);
            options.backoffCap = milliseconds(100);
        }
        client_ = std::make_unique<LiveQueryClient>(server_.url(), "app-id", "client-key", "", options);
        client_->setStateHandler([states = states_](LiveQueryState state) { states.add(state); });
    }

    std::shared_ptr<Subscription> subscribeAll() {
        ParseQuery query("LiveTestRecord");
        query.whereEqualTo("catalog", ParseObject::createWithoutData("Catalog", "c1"));
        auto subscription = client_->subscribe(query);
        subscription->handleSubscribe([subscribed = subscribed_](const ParseQuery&) { subscribed.add(1); });
        subscription->handleError([errors = errors_](const ParseQuery&, const Error& error) { errors.add(error); });
        subscription->handleEvent([events = events_](const ParseQuery&, Event event, auto object, auto original) {
            events.add(Seen{event, object, original});
        });
        return subscription;
    }

    bool waitForState(LiveQueryState state, std::size_t times = 1) {
        return states_.waitFor([&](const std::vector<LiveQueryState>& all) {
            return static_cast<std::size_t>(std::count(all.begin(), all.end(), state)) >= times;
        });
    }

    json event(const std::string& op, int requestId, const std::string& id, int n) {
        return {{"op", op},
                {"clientId", "fake-client"},
                {"requestId", requestId},
                {"object",
                 {{"className", "LiveTestRecord"},
                  {"objectId", id},
                  {"n", n},
                  {"catalog", {{"__type", "Pointer"}, {"className", "Catalog"}, {"objectId", "c1"}}},
                  {"updatedAt", "2024-01-01T00:00:00.000Z"}}}};
    }

    FakeLiveQueryServer server_;
    std::unique_ptr<LiveQueryClient> client_;
    Collector<LiveQueryState> states_;
    Collector<int> subscribed_;
    Collector<Error> errors_;
    Collector<Seen> events_;
};

TEST_F(LiveQueryClientTest, FirstSubscriptionConnectsAndSubscribes) {
    makeClient();
    EXPECT_EQ(client_->state(), LiveQueryState::idle);
    auto subscription = subscribeAll();
    ASSERT_TRUE(subscribed_.waitForCount(1));
    EXPECT_TRUE(client_->isConnected());
    EXPECT_FALSE(client_->isDisconnected());
    EXPECT_EQ(client_->connectionCount(), 1u);
    const auto frames = server_.frames();
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames[0], json::parse(R"({"op":"connect","applicationId":"app-id","clientKey":"client-key"})"));
    EXPECT_EQ(frames[1]["op"], "subscribe");
    EXPECT_EQ(frames[1]["requestId"], subscription->requestId());
    EXPECT_EQ(frames[1]["query"], subscription->query().liveQueryJSON());
}

TEST_F(LiveQueryClientTest, EveryEventKindReachesItsHandlerAsTheRegisteredClass) {
    makeClient();
    auto subscription = subscribeAll();
    Collector<std::string> byKind;
    const std::pair<Event, const char*> kinds[] = {{Event::created, "created"},
                                                   {Event::entered, "entered"},
                                                   {Event::updated, "updated"},
                                                   {Event::left, "left"},
                                                   {Event::deleted, "deleted"}};
    for (const auto& [kind, name] : kinds)
        subscription->handle(kind, [byKind, label = std::string(name)](const ParseQuery&, auto object) {
            byKind.add(label + ":" + object->objectId().value_or("?"));
        });
    ASSERT_TRUE(subscribed_.waitForCount(1));
    const int id = subscription->requestId();
    server_.send(event("create", id, "a", 1));
    server_.send(event("enter", id, "b", 1));
    auto update = event("update", id, "a", 2);
    update["original"] = {{"className", "LiveTestRecord"}, {"objectId", "a"}, {"n", 1}};
    server_.send(update);
    server_.send(event("leave", id, "b", 1));
    server_.send(event("delete", id, "a", 2));
    ASSERT_TRUE(events_.waitForCount(5));
    EXPECT_EQ(byKind.items(), (std::vector<std::string>{"created:a", "entered:b", "updated:a", "left:b", "deleted:a"}));
    const auto seen = events_.items();
    for (const auto& item : seen) EXPECT_NE(std::dynamic_pointer_cast<LiveTestRecord>(item.object), nullptr);
    EXPECT_EQ(seen[2].object->value("n").asInteger(), 2);
    ASSERT_NE(seen[2].original, nullptr);
    EXPECT_EQ(seen[2].original->value("n").asInteger(), 1);
    EXPECT_EQ(seen[0].original, nullptr);
    // Pointers arrive as stubs; plain date text is read as the update time.
    EXPECT_FALSE(seen[0].object->value("catalog").asObject()->isDataAvailable());
    EXPECT_TRUE(seen[0].object->updatedAt().has_value());
}

TEST_F(LiveQueryClientTest, SubscriptionFactoryMakesTheEventsObjects) {
    class Special : public LiveTestRecord {};
    makeClient();
    auto subscription = client_->subscribe<Special>(ParseQuery("LiveTestRecord"));
    Collector<std::shared_ptr<ParseObject>> objects;
    subscription->handle(Event::created, [objects](const ParseQuery&, auto object) { objects.add(object); });
    ASSERT_TRUE(server_.waitForOp("subscribe"));
    server_.send(event("create", subscription->requestId(), "z", 1));
    ASSERT_TRUE(objects.waitForCount(1));
    EXPECT_NE(std::dynamic_pointer_cast<Special>(objects.items()[0]), nullptr);
}

TEST_F(LiveQueryClientTest, EventsOfUnknownRequestsAreIgnored) {
    makeClient();
    auto subscription = subscribeAll();
    ASSERT_TRUE(subscribed_.waitForCount(1));
    server_.send(event("create", subscription->requestId() + 100, "ghost", 1));
    server_.send(json::parse(R"({"op":"create","requestId":1,"object":"not an object"})"));
    server_.send(event("create", subscription->requestId(), "real", 1));
    ASSERT_TRUE(events_.waitForCount(1));
    EXPECT_EQ(events_.items()[0].object->objectId(), "real");
}

TEST_F(LiveQueryClientTest, UnsubscribeIsConfirmedAndStopsEvents) {
    makeClient();
    auto subscription = subscribeAll();
    test::Await<bool> unsubscribed;
    subscription->handleUnsubscribe([unsubscribed](const ParseQuery&) { unsubscribed.set(true); });
    ASSERT_TRUE(subscribed_.waitForCount(1));
    client_->unsubscribe(subscription->query());
    ASSERT_TRUE(unsubscribed.get());
    EXPECT_EQ(client_->subscriptionCount(), 0u);
    const auto frames = server_.frames();
    EXPECT_EQ(frames.back(),
              json::parse(R"({"op":"unsubscribe","requestId":)" + std::to_string(subscription->requestId()) + "}"));
}

TEST_F(LiveQueryClientTest, LostConnectionIsReopenedAndEverySubscriptionSentAgain) {
    makeClient();
    auto first = subscribeAll();
    auto second = client_->subscribe(ParseQuery("Other"));
    ASSERT_TRUE(server_.waitForOp("subscribe", 2));
    server_.dropConnections();
    ASSERT_TRUE(server_.waitForOp("subscribe", 4));
    ASSERT_TRUE(server_.waitForOp("connect", 2));
    EXPECT_GE(client_->connectionCount(), 2u);
    // One error reaches the handlers for the loss, then events flow again.
    ASSERT_TRUE(errors_.waitForCount(1));
    EXPECT_EQ(errors_.items()[0].code, ParseErrorCode::connectionFailed);
    ASSERT_TRUE(subscribed_.waitForCount(2));
    server_.send(event("create", first->requestId(), "after", 1));
    ASSERT_TRUE(events_.waitForCount(1));
}

TEST_F(LiveQueryClientTest, ReconnectWaitsForTheBackoffOnTheLibraryClock) {
    auto clock = std::make_shared<ManualClock>();
    Clock::install(clock);
    LiveQueryClientOptions options;
    options.backoffBase = milliseconds(1000);
    options.backoffCap = milliseconds(1000);
    makeClient(options);
    subscribeAll();
    ASSERT_TRUE(subscribed_.waitForCount(1));
    server_.dropConnections();
    ASSERT_TRUE(waitForState(LiveQueryState::waitingToReconnect));
    // Time stands still: no attempt can have been made.
    EXPECT_EQ(server_.connectionCount(), 1u);
    EXPECT_EQ(client_->state(), LiveQueryState::waitingToReconnect);
    clock->advance(milliseconds(1000));  // the longest delay the jitter allows
    ASSERT_TRUE(server_.waitForConnections(2));
    ASSERT_TRUE(subscribed_.waitForCount(2));
}

TEST_F(LiveQueryClientTest, SilentPeerIsDetectedByPingsAndReplaced) {
    server_.goSilentAfterConnect(1);
    LiveQueryClientOptions options;
    options.idleTimeout = milliseconds(600);
    makeClient(options);
    subscribeAll();
    // The first connection never answers "subscribe" nor pings; the second one does.
    ASSERT_TRUE(subscribed_.waitForCount(1));
    EXPECT_EQ(server_.connectionCount(), 2u);
    ASSERT_TRUE(errors_.waitForCount(1));
    EXPECT_EQ(errors_.items()[0].code, ParseErrorCode::timeout);
}

TEST_F(LiveQueryClientTest, DisconnectStaysDisconnectedUntilReconnect) {
    makeClient();
    subscribeAll();
    ASSERT_TRUE(subscribed_.waitForCount(1));
    client_->disconnect();
    EXPECT_TRUE(client_->isDisconnected());
    ASSERT_TRUE(waitForState(LiveQueryState::disconnected));
    EXPECT_EQ(client_->subscriptionCount(), 1u);  // kept for the reconnect
    client_->reconnect();
    EXPECT_FALSE(client_->isDisconnected());
    ASSERT_TRUE(subscribed_.waitForCount(2));
    EXPECT_EQ(server_.connectionCount(), 2u);
}

TEST_F(LiveQueryClientTest, SubscribingWhileDisconnectedWaitsForReconnect) {
    makeClient();
    client_->disconnect();
    auto subscription = subscribeAll();
    ASSERT_TRUE(waitForState(LiveQueryState::disconnected));
    client_->reconnect();
    ASSERT_TRUE(subscribed_.waitForCount(1));
    EXPECT_EQ(server_.connectionCount(), 1u);
}

TEST_F(LiveQueryClientTest, UnsubscribeWhileDisconnectedEndsAtOnce) {
    makeClient();
    client_->disconnect();
    auto subscription = subscribeAll();
    test::Await<bool> unsubscribed;
    subscription->handleUnsubscribe([unsubscribed](const ParseQuery&) { unsubscribed.set(true); });
    client_->unsubscribe(subscription);
    ASSERT_TRUE(unsubscribed.get());
    EXPECT_EQ(server_.connectionCount(), 0u);
}

TEST_F(LiveQueryClientTest, FinalRefusalOfTheConnectionStopsRetrying) {
    server_.refuseNextConnect(
        json::parse(R"({"op":"error","code":4,"error":"Key in request is not valid","reconnect":false})"));
    makeClient();
    subscribeAll();
    ASSERT_TRUE(errors_.waitForCount(1));
    EXPECT_EQ(errors_.items()[0].code, 4);
    EXPECT_EQ(errors_.items()[0].message, "Key in request is not valid");
    ASSERT_TRUE(waitForState(LiveQueryState::disconnected));
    EXPECT_TRUE(client_->isDisconnected());
}

TEST_F(LiveQueryClientTest, SubscriptionErrorsGoToThatSubscription) {
    makeClient();
    auto subscription = subscribeAll();
    auto other = client_->subscribe(ParseQuery("Other"));
    Collector<Error> otherErrors;
    other->handleError([otherErrors](const ParseQuery&, const Error& error) { otherErrors.add(error); });
    ASSERT_TRUE(server_.waitForOp("subscribe", 2));
    server_.send({{"op", "error"},
                  {"requestId", subscription->requestId()},
                  {"code", 119},
                  {"error", "denied"},
                  {"reconnect", true}});
    ASSERT_TRUE(errors_.waitForCount(1));
    EXPECT_EQ(errors_.items()[0].code, 119);
    EXPECT_TRUE(otherErrors.items().empty());
    EXPECT_TRUE(client_->isConnected());
}

TEST_F(LiveQueryClientTest, TlsToAPlainServerFailsWithATlsError) {
    LiveQueryClientOptions options;
    options.backoffBase = milliseconds(60000);
    options.backoffCap = milliseconds(60000);
    test::FakeHttpServer plain;
    plain.setMode(test::FakeHttpServer::Mode::plainGreeting);
    client_ = std::make_unique<LiveQueryClient>("wss://127.0.0.1:" + std::to_string(plain.port()) + "/parse", "app-id",
                                                "", "", options);
    subscribeAll();
    ASSERT_TRUE(errors_.waitForCount(1));
    EXPECT_EQ(errors_.items()[0].code, ParseErrorCode::connectionFailed);
    EXPECT_EQ(errors_.items()[0].userInfo["transport"], "tls");
}

TEST_F(LiveQueryClientTest, HandlerSetLateStillHearsTheConfirmation) {
    makeClient();
    auto subscription = client_->subscribe(ParseQuery("LiveTestRecord"));
    ASSERT_TRUE(server_.waitForOp("subscribe"));
    ASSERT_TRUE(waitForState(LiveQueryState::connected));
    subscription->handleSubscribe([subscribed = subscribed_](const ParseQuery&) { subscribed.add(1); });
    ASSERT_TRUE(subscribed_.waitForCount(1));
}

TEST_F(LiveQueryClientTest, UnusableUrlIsReportedNotThrown) {
    client_ = std::make_unique<LiveQueryClient>("localhost:1/parse", "app-id");
    subscribeAll();
    ASSERT_TRUE(errors_.waitForCount(1));
    EXPECT_EQ(errors_.items()[0].code, ParseErrorCode::connectionFailed);
}

TEST(LiveQueryClientShared, SharedClientIsReplaceable) {
    auto client = std::make_shared<LiveQueryClient>("ws://127.0.0.1:9/parse", "app");
    LiveQueryClient::setShared(client);
    EXPECT_EQ(LiveQueryClient::shared(), client);
    LiveQueryClient::setShared(nullptr);
    EXPECT_EQ(LiveQueryClient::shared(), nullptr);
}

}  // namespace
}  // namespace vantrel
