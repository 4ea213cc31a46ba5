#include "backend/Backoff.hpp"
#include "backend/LiveQueryProtocol.hpp"

#include <gtest/gtest.h>

namespace vantrel::backend_detail {
namespace {

using nlohmann::json;
using std::chrono::milliseconds;

TEST(LiveQueryUrl, TakesSchemeHostPortAndPathApart) {
    auto endpoint = parseWebSocketUrl("wss://localhost:28443/parse");
    ASSERT_TRUE(endpoint);
    EXPECT_TRUE(endpoint->tls);
    EXPECT_EQ(endpoint->host, "localhost");
    EXPECT_EQ(endpoint->port, "28443");
    EXPECT_EQ(endpoint->target, "/parse");
    endpoint = parseWebSocketUrl("ws://127.0.0.1");
    ASSERT_TRUE(endpoint);
    EXPECT_FALSE(endpoint->tls);
    EXPECT_EQ(endpoint->port, "80");
    EXPECT_EQ(endpoint->target, "/");
    endpoint = parseWebSocketUrl("wss://[::1]:9/x");
    ASSERT_TRUE(endpoint);
    EXPECT_EQ(endpoint->host, "::1");
    EXPECT_EQ(endpoint->port, "9");
    EXPECT_FALSE(parseWebSocketUrl("localhost:28443/parse"));
    EXPECT_FALSE(parseWebSocketUrl("ftp://host/"));
    EXPECT_FALSE(parseWebSocketUrl("wss://host:port/"));
    EXPECT_FALSE(parseWebSocketUrl("wss:///parse"));
}

TEST(LiveQueryFrames, ClientFramesCarryKeysAndSession) {
    EXPECT_EQ(json::parse(encodeConnect("app", "key", std::string("r:tok"))),
              json::parse(R"({"op":"connect","applicationId":"app","clientKey":"key","sessionToken":"r:tok"})"));
    EXPECT_EQ(json::parse(encodeConnect("app", "", std::nullopt)),
              json::parse(R"({"op":"connect","applicationId":"app"})"));
    ParseQuery query("Component");
    query.whereEqualTo("catalog", ParseObject::createWithoutData("Catalog", "c1"));
    const auto subscribe = json::parse(encodeSubscribe(7, query, std::string("r:tok")));
    EXPECT_EQ(subscribe["op"], "subscribe");
    EXPECT_EQ(subscribe["requestId"], 7);
    EXPECT_EQ(subscribe["query"]["className"], "Component");
    EXPECT_EQ(subscribe["query"]["where"]["catalog"]["objectId"], "c1");
    EXPECT_EQ(subscribe["sessionToken"], "r:tok");
    EXPECT_EQ(json::parse(encodeUnsubscribe(7)), json::parse(R"({"op":"unsubscribe","requestId":7})"));
}

TEST(LiveQueryFrames, EventFramesCarryObjectAndOriginal) {
    const auto message = parseServerMessage(
        R"({"op":"update","clientId":"c","requestId":3,"object":{"className":"Thing","objectId":"t","n":2},"original":{"className":"Thing","objectId":"t","n":1}})");
    ASSERT_TRUE(message);
    EXPECT_EQ(message->op, ServerMessage::Op::update);
    EXPECT_EQ(message->requestId, 3);
    EXPECT_EQ(message->object["n"], 2);
    EXPECT_EQ(message->original["n"], 1);
    EXPECT_EQ(eventOf(message->op), Event::updated);
}

TEST(LiveQueryFrames, EveryEventKindIsRecognized) {
    const std::pair<const char*, Event> kinds[] = {{"create", Event::created},
                                                   {"enter", Event::entered},
                                                   {"update", Event::updated},
                                                   {"leave", Event::left},
                                                   {"delete", Event::deleted}};
    for (const auto& [op, event] : kinds) {
        const auto message = parseServerMessage(json{{"op", op}, {"requestId", 1}, {"object", json::object()}}.dump());
        ASSERT_TRUE(message) << op;
        EXPECT_EQ(eventOf(message->op), event) << op;
    }
    EXPECT_FALSE(eventOf(parseServerMessage(R"({"op":"subscribed","requestId":1})")->op));
}

TEST(LiveQueryFrames, ErrorsAndOddFrames) {
    const auto error = parseServerMessage(R"({"op":"error","code":4,"error":"bad key","reconnect":false})");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->op, ServerMessage::Op::error);
    EXPECT_EQ(error->errorCode, 4);
    EXPECT_EQ(error->error, "bad key");
    EXPECT_FALSE(error->reconnect);
    EXPECT_FALSE(error->requestId);
    EXPECT_FALSE(parseServerMessage("not json"));
    EXPECT_FALSE(parseServerMessage("[1,2]"));
    EXPECT_FALSE(parseServerMessage(R"({"requestId":1})"));
    EXPECT_EQ(parseServerMessage(R"({"op":"something-new"})")->op, ServerMessage::Op::unknown);
    // A non-object "object" is ignored rather than trusted.
    EXPECT_TRUE(parseServerMessage(R"({"op":"create","requestId":1,"object":"x"})")->object.is_null());
}

TEST(ReconnectBackoff, DoublesFromTheBaseUpToTheCapWithJitter) {
    const milliseconds base(500), cap(30000);
    EXPECT_EQ(reconnectDelay(0, base, cap, 0.0), milliseconds(250));
    EXPECT_EQ(reconnectDelay(0, base, cap, 1.0), milliseconds(500));
    EXPECT_EQ(reconnectDelay(1, base, cap, 1.0), milliseconds(1000));
    EXPECT_EQ(reconnectDelay(3, base, cap, 0.5), milliseconds(3000));
    EXPECT_EQ(reconnectDelay(10, base, cap, 1.0), cap);
    EXPECT_EQ(reconnectDelay(10, base, cap, 0.0), cap / 2);
    EXPECT_EQ(reconnectDelay(4000000000u, base, cap, 1.0), cap);       // no overflow
    EXPECT_EQ(reconnectDelay(2, base, cap, 7.0), milliseconds(2000));  // out-of-range random clamped
    EXPECT_GE(reconnectDelay(0, milliseconds(0), milliseconds(0), 0.0), milliseconds(1));
}

TEST(ReconnectBackoff, EveryDelayLiesInItsJitterWindow) {
    for (unsigned attempt = 0; attempt < 12; ++attempt) {
        const auto full = std::min<long long>(500LL << attempt, 30000);
        for (double unit : {0.0, 0.25, 0.5, 0.75, 0.999}) {
            const auto delay = reconnectDelay(attempt, milliseconds(500), milliseconds(30000), unit).count();
            EXPECT_GE(delay, full / 2);
            EXPECT_LE(delay, full);
        }
    }
}

}  // namespace
}  // namespace vantrel::backend_detail
