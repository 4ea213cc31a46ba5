#pragma once

#include "vantrel/backend/HttpClient.hpp"
#include "vantrel/backend/ParseClientConfiguration.hpp"
#include "vantrel/core/Error.hpp"

#include <nlohmann/json.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vantrel::backend_detail {

/// The REST side of the backend client: builds requests with the application's headers, posts
/// the network activity notifications, logs at debug level and turns answers into JSON or errors.
class RestClient {
public:
    using Completion = std::function<void(nlohmann::json result, OptionalError error)>;
    /// The answer as it came, for callers that decode it themselves; an error only for a failed
    /// exchange (the answer's status is the caller's to judge, with `interpret`).
    using ResponseCompletion = std::function<void(HttpResponse response, OptionalError error)>;

    explicit RestClient(ParseClientConfiguration configuration);

    /// Sends `method` to `<server>/<path>` with `body` (JSON) and the session token when given.
    void send(const std::string& method, const std::string& path, const std::optional<nlohmann::json>& body,
              const std::optional<std::string>& sessionToken, Completion completion);
    /// The same, with the answer left as it came.
    void sendForResponse(const std::string& method, const std::string& path, const std::optional<nlohmann::json>& body,
                         const std::optional<std::string>& sessionToken, ResponseCompletion completion);

    [[nodiscard]] const ParseClientConfiguration& configuration() const noexcept { return configuration_; }
    [[nodiscard]] HttpClient& http() noexcept { return *http_; }

    /// The outcome of an HTTP exchange: the parsed body of a 2xx answer, or the error the body
    /// describes ({"code", "error"}), or code 107 when the body is not JSON.
    static std::pair<nlohmann::json, OptionalError> interpret(const HttpResponse& response);

private:
    ParseClientConfiguration configuration_;
    std::unique_ptr<HttpClient> http_;
};

/// The client made by the last Parse::initialize, none before.
std::shared_ptr<RestClient> currentRestClient();
/// Replaces the current client (Parse::initialize).
void installRestClient(std::shared_ptr<RestClient> client);

/// Runs `method` on the current client with the current user's session token; without a
/// configured client the completion gets code 109 on a background thread.
void performRequest(const std::string& method, const std::string& path, const std::optional<nlohmann::json>& body,
                    RestClient::Completion completion);
/// Same, with an explicit session token (none sends no token).
void performRequestWithSession(const std::string& method, const std::string& path,
                               const std::optional<nlohmann::json>& body,
                               const std::optional<std::string>& sessionToken, RestClient::Completion completion);
/// `performRequest` with the answer left as it came (see RestClient::sendForResponse).
void performRequestForResponse(const std::string& method, const std::string& path,
                               const std::optional<nlohmann::json>& body, RestClient::ResponseCompletion completion);

/// The current user's session token, if any.
std::optional<std::string> currentSessionToken();

/// Percent-encodes one path segment (a class name, an object id, a function name).
std::string encodePathSegment(const std::string& segment);

}  // namespace vantrel::backend_detail
