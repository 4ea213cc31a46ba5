#pragma once

// A scripted Parse server for the data-service unit tests: the backend client is configured
// against it, and each test decides per request what it answers. Faults that the reference
// backend cannot produce on demand (a later page failing, a function answering without "path",
// a login answer without a session) come from here.

#include "support/BackendFakeHttpServer.hpp"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::test {

/// One request as the scripted server saw it: the path after "/parse/" and the JSON body.
struct FakeParseRequest {
    std::string method;
    std::string path;
    nlohmann::json body;
};

class ServicesFakeBackend {
public:
    /// The raw HTTP answer for a request; none gives the default answer (an empty result list,
    /// or an empty object for anything that is not a query).
    using Route = std::function<std::optional<std::string>(const FakeParseRequest& request)>;

    ServicesFakeBackend();
    ~ServicesFakeBackend();
    ServicesFakeBackend(const ServicesFakeBackend&) = delete;
    ServicesFakeBackend& operator=(const ServicesFakeBackend&) = delete;

    /// Replaces the route.
    void setRoute(Route route);
    /// Requests received so far whose path starts with `pathPrefix`.
    [[nodiscard]] std::vector<FakeParseRequest> requests(const std::string& pathPrefix = {}) const;
    /// Configures the backend client against this server (again).
    void initialize();
    /// Configures the backend client against a port where nothing listens, keeping the saved
    /// session: what the client meets when the server has stopped.
    void initializeUnreachable();
    /// Makes `userJson` (objectId, username, sessionToken, fields...) the signed-in user by
    /// answering one login with it.
    void signIn(const nlohmann::json& userJson);

    /// 200 with {"results": objects}.
    static std::string results(const nlohmann::json& objects);
    /// 200 with {"count": n}.
    static std::string count(int n);
    /// 200 with {"result": value} (a backend function's answer).
    static std::string functionResult(const nlohmann::json& value);
    /// An error answer with HTTP `status` and Parse `code`.
    static std::string error(int status, int code, const std::string& message = "scripted failure");

private:
    std::string answer(const FakeHttpRequest& request);

    std::unique_ptr<FakeHttpServer> server_;
    std::filesystem::path persistence_;
    mutable std::mutex mutex_;
    Route route_;
    std::vector<FakeParseRequest> requests_;
};

}  // namespace vantrel::test
