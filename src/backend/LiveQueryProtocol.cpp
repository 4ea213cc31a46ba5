#include "backend/LiveQueryProtocol.hpp"

#include "backend/JsonDocument.hpp"
#include <algorithm>
#include <cctype>

namespace vantrel::backend_detail {

using nlohmann::json;

std::optional<WebSocketEndpoint> parseWebSocketUrl(std::string_view url) {
    WebSocketEndpoint endpoint;
    const auto scheme = url.find("://");
    if (scheme == std::string_view::npos) return std::nullopt;
    std::string name(url.substr(0, scheme));
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name == "wss" || name == "https")
        endpoint.tls = true;
    else if (name == "ws" || name == "http")
        endpoint.tls = false;
    else
        return std::nullopt;
    std::string_view rest = url.substr(scheme + 3);
    const auto slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    if (slash != std::string_view::npos) endpoint.target = std::string(rest.substr(slash));
    if (authority.empty()) return std::nullopt;
    if (authority.front() == '[') {  // [::1]:port
        const auto close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        endpoint.host = std::string(authority.substr(1, close - 1));
        authority.remove_prefix(close + 1);
        if (!authority.empty() && authority.front() == ':') endpoint.port = std::string(authority.substr(1));
    } else {
        const auto colon = authority.rfind(':');
        endpoint.host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) endpoint.port = std::string(authority.substr(colon + 1));
    }
    if (endpoint.host.empty()) return std::nullopt;
    if (endpoint.port.empty()) endpoint.port = endpoint.tls ? "443" : "80";
    if (!std::all_of(endpoint.port.begin(), endpoint.port.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    return endpoint;
}

std::optional<ServerMessage> parseServerMessage(std::string_view text) {
    const json frame = parseJsonDocument(text);
    if (!frame.is_object()) return std::nullopt;
    const auto op = frame.find("op");
    if (op == frame.end() || !op->is_string()) return std::nullopt;
    ServerMessage message;
    const auto& name = op->get_ref<const std::string&>();
    if (name == "connected")
        message.op = ServerMessage::Op::connected;
    else if (name == "subscribed")
        message.op = ServerMessage::Op::subscribed;
    else if (name == "unsubscribed")
        message.op = ServerMessage::Op::unsubscribed;
    else if (name == "error")
        message.op = ServerMessage::Op::error;
    else if (name == "create")
        message.op = ServerMessage::Op::create;
    else if (name == "enter")
        message.op = ServerMessage::Op::enter;
    else if (name == "update")
        message.op = ServerMessage::Op::update;
    else if (name == "leave")
        message.op = ServerMessage::Op::leave;
    else if (name == "delete")
        message.op = ServerMessage::Op::remove;

    if (auto it = frame.find("requestId"); it != frame.end() && it->is_number_integer())
        message.requestId = it->get<int>();
    if (auto it = frame.find("clientId"); it != frame.end() && it->is_string())
        message.clientId = it->get<std::string>();
    if (auto it = frame.find("object"); it != frame.end() && it->is_object()) message.object = *it;
    if (auto it = frame.find("original"); it != frame.end() && it->is_object()) message.original = *it;
    if (auto it = frame.find("code"); it != frame.end() && it->is_number_integer()) message.errorCode = it->get<long>();
    if (auto it = frame.find("error"); it != frame.end())
        message.error = it->is_string() ? it->get<std::string>() : it->dump();
    if (auto it = frame.find("reconnect"); it != frame.end() && it->is_boolean()) message.reconnect = it->get<bool>();
    return message;
}

std::optional<Event> eventOf(ServerMessage::Op op) {
    switch (op) {
        case ServerMessage::Op::create: return Event::created;
        case ServerMessage::Op::enter: return Event::entered;
        case ServerMessage::Op::update: return Event::updated;
        case ServerMessage::Op::leave: return Event::left;
        case ServerMessage::Op::remove: return Event::deleted;
        default: return std::nullopt;
    }
}

std::string encodeConnect(const std::string& applicationId, const std::string& clientKey,
                          const std::optional<std::string>& sessionToken) {
    json frame = {{"op", "connect"}, {"applicationId", applicationId}};
    if (!clientKey.empty()) frame["clientKey"] = clientKey;
    if (sessionToken && !sessionToken->empty()) frame["sessionToken"] = *sessionToken;
    return frame.dump();
}

std::string encodeSubscribe(int requestId, const ParseQuery& query, const std::optional<std::string>& sessionToken) {
    json frame = {{"op", "subscribe"}, {"requestId", requestId}, {"query", query.liveQueryJSON()}};
    if (sessionToken && !sessionToken->empty()) frame["sessionToken"] = *sessionToken;
    return frame.dump();
}

std::string encodeUnsubscribe(int requestId) { return json{{"op", "unsubscribe"}, {"requestId", requestId}}.dump(); }

}  // namespace vantrel::backend_detail
