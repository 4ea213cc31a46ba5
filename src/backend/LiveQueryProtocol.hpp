#pragma once

#include "vantrel/backend/ParseQuery.hpp"
#include "vantrel/backend/Subscription.hpp"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace vantrel::backend_detail {

/// Where a LiveQuery server listens, taken apart from its URL.
struct WebSocketEndpoint {
    bool tls = true;
    std::string host;
    std::string port;
    std::string target = "/";
};

/// Reads "wss://host[:port][/path]" or "ws://..."; none for anything else.
std::optional<WebSocketEndpoint> parseWebSocketUrl(std::string_view url);

/// One frame from the LiveQuery server.
struct ServerMessage {
    enum class Op { connected, subscribed, unsubscribed, error, create, enter, update, leave, remove, unknown };
    Op op = Op::unknown;
    std::optional<int> requestId;
    std::string clientId;
    /// The object of an event (JSON object), null otherwise.
    nlohmann::json object;
    /// The object before the change, when the server sent it.
    nlohmann::json original;
    long errorCode = 0;
    std::string error;
    /// For errors: whether the server allows trying again.
    bool reconnect = true;
};

/// Parses a text frame; none when it is not a JSON object with an "op".
std::optional<ServerMessage> parseServerMessage(std::string_view text);
/// The event kind of an event frame, none for other frames.
std::optional<Event> eventOf(ServerMessage::Op op);

/// {"op":"connect", "applicationId", "clientKey"?, "sessionToken"?}
std::string encodeConnect(const std::string& applicationId, const std::string& clientKey,
                          const std::optional<std::string>& sessionToken);
/// {"op":"subscribe", "requestId", "query", "sessionToken"?}
std::string encodeSubscribe(int requestId, const ParseQuery& query, const std::optional<std::string>& sessionToken);
/// {"op":"unsubscribe", "requestId"}
std::string encodeUnsubscribe(int requestId);

}  // namespace vantrel::backend_detail
