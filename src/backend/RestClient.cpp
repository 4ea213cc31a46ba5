#include "backend/RestClient.hpp"

#include "backend/JsonDocument.hpp"
#include "backend/GlobalInit.hpp"
#include "core/LogRedaction.hpp"
#include "vantrel/backend/Parse.hpp"
#include "vantrel/backend/ParseError.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/NetworkActivity.hpp"
#include "vantrel/core/NotificationCenter.hpp"

#include <cctype>
#include <mutex>

namespace vantrel::backend_detail {

using nlohmann::json;

namespace {

// Built on first use, after the transport libraries; never destroyed: the client's exit stop ends
// its threads at exit, and completions may reach the slot until then.
struct InstalledClient {
    InstalledClient() { initializeTransportLibraries(); }
    std::mutex mutex;
    std::shared_ptr<RestClient> client;
};

InstalledClient& installed() {
    static auto* slot = new InstalledClient();
    return *slot;
}

// What a request meets before Parse::initialize made a client.
Error notConfigured() {
    return makeParseError(ParseErrorCode::notInitialized,
                          "The backend client is not configured: call Parse::initialize first.");
}

std::string joinUrl(const std::string& server, const std::string& path) {
    std::string url = server;
    while (!url.empty() && url.back() == '/') url.pop_back();
    return url + "/" + path;
}

}  // namespace

RestClient::RestClient(ParseClientConfiguration configuration) : configuration_(std::move(configuration)) {
    HttpClientOptions options;
    options.trustedCertificatesFile = configuration_.trustedCertificatesFile;
    options.userAgent = "vantrel-backend/1";
    http_ = std::make_unique<HttpClient>(std::move(options));
}

void RestClient::send(const std::string& method, const std::string& path, const std::optional<json>& body,
                      const std::optional<std::string>& sessionToken, Completion completion) {
    sendForResponse(method, path, body, sessionToken,
                    [completion = std::move(completion)](HttpResponse response, OptionalError error) {
                        if (error) return completion(json(), std::move(error));
                        auto [result, failure] = interpret(response);
                        completion(std::move(result), std::move(failure));
                    });
}

void RestClient::sendForResponse(const std::string& method, const std::string& path, const std::optional<json>& body,
                                 const std::optional<std::string>& sessionToken, ResponseCompletion completion) {
    HttpRequest request;
    request.method = method;
    request.url = joinUrl(configuration_.server, path);
    request.timeout = configuration_.requestTimeout;
    request.connectTimeout = configuration_.connectTimeout;
    // The whole exchange is bounded by `timeout`; REST answers are small, so no stall rule.
    request.stallTimeout = std::chrono::milliseconds(0);
    // The headers carry the session token: no redirect may take them elsewhere.
    request.redirects = HttpRedirects::none;
    request.maximumBodyBytes = configuration_.maximumResponseBytes;
    request.headers["X-Parse-Application-Id"] = configuration_.applicationId;
    if (!configuration_.clientKey.empty()) request.headers["X-Parse-Client-Key"] = configuration_.clientKey;
    if (sessionToken && !sessionToken->empty()) request.headers["X-Parse-Session-Token"] = *sessionToken;
    request.headers["Accept"] = "application/json";
    if (body) {
        request.headers["Content-Type"] = "application/json; charset=utf-8";
        request.body = body->dump(-1, ' ', false, json::error_handler_t::replace);
    }

    auto& center = NotificationCenter::defaultCenter();
    const bool notify = center.observerCount() > 0;
    if (notify) {
        HttpRequestRecord record{request.method, request.url, request.headers,
                                 body ? std::optional<std::string>(request.body) : std::nullopt};
        center.post(Notification{kNetworkWillSendURLRequestNotification, {}, {{kNetworkRequestUserInfoKey, record}}});
    }
    if (Parse::logLevel() >= 4) {
        // Credentials stay out of log files: passwords and tokens are withheld, long bodies cut.
        VLOG_DEBUG("Parse request: " + request.method + " " + request.url +
                   (body ? " " + detail::loggableBody(request.body) : std::string()));
    }

    const std::string url = request.url;
    http_->send(
        std::move(request), [url, completion = std::move(completion)](HttpResponse response, OptionalError error) {
            if (NotificationCenter::defaultCenter().observerCount() > 0 && !error) {
                HttpResponseRecord record{
                    response.statusCode, response.effectiveUrl.empty() ? url : response.effectiveUrl, response.headers};
                NotificationCenter::defaultCenter().post(Notification{
                    kNetworkDidReceiveURLResponseNotification,
                    {},
                    {{kNetworkResponseUserInfoKey, record}, {kNetworkResponseBodyUserInfoKey, response.body}}});
            }
            if (error) {
                if (Parse::logLevel() >= 2)
                    VLOG_WARNING("Parse request to " + url + " failed: " + error->description());
                completion(std::move(response), std::move(error));
                return;
            }
            if (Parse::logLevel() >= 4)
                VLOG_DEBUG("Parse response: " + std::to_string(response.statusCode) + " " + url + " " +
                           detail::loggableBody(response.body));
            completion(std::move(response), std::nullopt);
        });
}

std::pair<json, OptionalError> RestClient::interpret(const HttpResponse& response) {
    const bool ok = response.statusCode >= 200 && response.statusCode < 300;
    json body = response.body.empty() ? json::object() : parseJsonDocument(response.body);
    if (body.is_discarded()) {
        return {json(), makeParseError(
                            ParseErrorCode::invalidJSON,
                            "The server's answer is not valid JSON (HTTP " + std::to_string(response.statusCode) + ").",
                            {{"transport", "json"}, {"status", response.statusCode}})};
    }
    if (ok) return {std::move(body), std::nullopt};
    long code = response.statusCode >= 500 ? ParseErrorCode::internalServer : ParseErrorCode::otherCause;
    std::string message = "The server answered with HTTP " + std::to_string(response.statusCode) + ".";
    if (body.is_object()) {
        if (auto it = body.find("code"); it != body.end() && it->is_number_integer()) code = it->get<long>();
        if (auto it = body.find("error"); it != body.end() && it->is_string()) message = it->get<std::string>();
    }
    return {json(), makeParseError(code, std::move(message), {{"status", response.statusCode}})};
}

std::shared_ptr<RestClient> currentRestClient() {
    auto& slot = installed();
    std::lock_guard lock(slot.mutex);
    return slot.client;
}

void installRestClient(std::shared_ptr<RestClient> client) {
    auto& slot = installed();
    std::shared_ptr<RestClient> previous;
    {
        std::lock_guard lock(slot.mutex);
        previous = std::move(slot.client);
        slot.client = std::move(client);
    }
    // `previous` goes here, outside the lock: its requests still running end as cancelled.
}

void performRequestWithSession(const std::string& method, const std::string& path, const std::optional<json>& body,
                               const std::optional<std::string>& sessionToken, RestClient::Completion completion) {
    auto client = currentRestClient();
    if (!client) {
        DispatchQueue::global().async([completion = std::move(completion)] { completion(json(), notConfigured()); });
        return;
    }
    client->send(method, path, body, sessionToken, std::move(completion));
}

void performRequest(const std::string& method, const std::string& path, const std::optional<json>& body,
                    RestClient::Completion completion) {
    performRequestWithSession(method, path, body, currentSessionToken(), std::move(completion));
}

void performRequestForResponse(const std::string& method, const std::string& path, const std::optional<json>& body,
                               RestClient::ResponseCompletion completion) {
    auto client = currentRestClient();
    if (!client) {
        DispatchQueue::global().async(
            [completion = std::move(completion)] { completion(HttpResponse(), notConfigured()); });
        return;
    }
    client->sendForResponse(method, path, body, currentSessionToken(), std::move(completion));
}

std::optional<std::string> currentSessionToken() {
    if (auto user = ParseUser::currentUser()) return user->sessionToken();
    return std::nullopt;
}

std::string encodePathSegment(const std::string& segment) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : segment) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

}  // namespace vantrel::backend_detail
