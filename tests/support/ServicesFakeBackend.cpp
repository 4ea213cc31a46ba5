#include "support/ServicesFakeBackend.hpp"

#include "support/BackendAwait.hpp"
#include "support/ServicesTestSupport.hpp"
#include "vantrel/backend/Parse.hpp"
#include "vantrel/backend/ParseClientConfiguration.hpp"
#include "vantrel/backend/ParseQuery.hpp"
#include "vantrel/backend/ParseUser.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>

namespace vantrel::test {

using nlohmann::json;

namespace {

ParseClientConfiguration fakeConfiguration(const std::string& server, const std::filesystem::path& persistence) {
    ParseClientConfiguration configuration;
    configuration.server = server + "/parse";
    configuration.applicationId = "services-app";
    configuration.clientKey = "services-client-key";
    configuration.requestTimeout = std::chrono::milliseconds(3000);
    configuration.connectTimeout = std::chrono::milliseconds(2000);
    configuration.persistenceDirectory = persistence.string();
    return configuration;
}

}  // namespace

ServicesFakeBackend::ServicesFakeBackend() {
    static std::atomic<int> counter{0};
    persistence_ = std::filesystem::temp_directory_path() /
                   ("vantrel-services-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)));
    std::filesystem::remove_all(persistence_);
    server_ = std::make_unique<FakeHttpServer>([this](const FakeHttpRequest& request) { return answer(request); });
    initialize();
    ParseUser::logOut();
    ParseQuery::clearAllCachedResults();
}

ServicesFakeBackend::~ServicesFakeBackend() {
    ParseUser::logOut();
    ParseQuery::clearAllCachedResults();
    // The server's threads call back into this object: they end before its members go.
    server_.reset();
    std::error_code ec;
    std::filesystem::remove_all(persistence_, ec);
}

void ServicesFakeBackend::setRoute(Route route) {
    std::lock_guard lock(mutex_);
    route_ = std::move(route);
}

std::vector<FakeParseRequest> ServicesFakeBackend::requests(const std::string& pathPrefix) const {
    std::lock_guard lock(mutex_);
    std::vector<FakeParseRequest> matching;
    for (const auto& request : requests_)
        if (request.path.rfind(pathPrefix, 0) == 0) matching.push_back(request);
    return matching;
}

void ServicesFakeBackend::initialize() { Parse::initialize(fakeConfiguration(server_->url(), persistence_)); }

void ServicesFakeBackend::initializeUnreachable() {
    Parse::initialize(fakeConfiguration("http://127.0.0.1:" + std::to_string(unusedLoopbackPort()), persistence_));
}

void ServicesFakeBackend::signIn(const json& userJson) {
    Route previous;
    {
        std::lock_guard lock(mutex_);
        previous = route_;
        route_ = [userJson, previous](const FakeParseRequest& request) -> std::optional<std::string> {
            if (request.path == "login") return FakeHttpServer::response(200, userJson.dump());
            return previous ? previous(request) : std::nullopt;
        };
    }
    Await<bool> done;
    ParseUser::logInWithUsernameInBackground(
        userJson.value("username", "user"), "password",
        [done](std::shared_ptr<ParseUser> user, OptionalError error) { done.set(user != nullptr && !error); });
    EXPECT_TRUE(done.get().value_or(false)) << "scripted login failed";
    setRoute(previous);
}

std::string ServicesFakeBackend::results(const json& objects) {
    return FakeHttpServer::response(200, json{{"results", objects}}.dump());
}

std::string ServicesFakeBackend::count(int n) {
    return FakeHttpServer::response(200, json{{"results", json::array()}, {"count", n}}.dump());
}

std::string ServicesFakeBackend::functionResult(const json& value) {
    return FakeHttpServer::response(200, json{{"result", value}}.dump());
}

std::string ServicesFakeBackend::error(int status, int code, const std::string& message) {
    return FakeHttpServer::response(status, json{{"code", code}, {"error", message}}.dump());
}

std::string ServicesFakeBackend::answer(const FakeHttpRequest& request) {
    FakeParseRequest parsed;
    parsed.method = request.method;
    parsed.path = request.target.rfind("/parse/", 0) == 0 ? request.target.substr(7) : request.target;
    parsed.body = request.body.empty() ? json() : json::parse(request.body, nullptr, false);
    if (parsed.body.is_discarded()) parsed.body = json();
    Route route;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(parsed);
        route = route_;
    }
    if (route)
        if (auto response = route(parsed)) return *response;
    if (parsed.path.rfind("classes/", 0) == 0 && parsed.body.is_object() && parsed.body.contains("count"))
        return count(0);
    if (parsed.path.rfind("classes/", 0) == 0) return results(json::array());
    return FakeHttpServer::response(200, "{}");
}

}  // namespace vantrel::test
