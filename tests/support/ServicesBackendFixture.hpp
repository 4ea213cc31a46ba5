#pragma once

// Data-service tests against the reference backend: the backend fixture plus the facade's
// settings for one test, the record classes, and blocking forms of the services' calls.

#include "support/BackendAwait.hpp"
#include "support/BackendFixture.hpp"
#include "support/ServicesTestSupport.hpp"
#include "vantrel/core/Error.hpp"
#include "vantrel/domain/UserEntity.hpp"

#include <nlohmann/json.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantrel::test {

class ServicesBackendFixture : public BackendFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    /// AuthService::signIn, waited for.
    std::pair<std::shared_ptr<UserEntity>, OptionalError> signIn(
        const std::optional<std::string>& email, const std::optional<std::string>& password,
        const std::optional<std::string>& appName = std::nullopt,
        const std::optional<std::string>& appVersion = std::nullopt);
    /// Signs in the seeded user `user` ({"username", "password"}); fails the test when refused.
    void signInAs(const nlohmann::json& user);
    /// Ends the current session on the server (as a revoked session would), keeping it locally.
    void revokeSessionOnServer();
    /// Installs a live-query client for the primary server as the shared one.
    void installLiveQueryClient();

    /// Calls `start` with a block and waits for the block's value.
    template <class T>
    static std::optional<T> await(const std::function<void(std::function<void(T)>)>& start) {
        Await<T> done;
        start(done.setter());
        return done.get();
    }

    ScopedSdkSettings settings_;
    std::string versionName_;
};

/// The message key of a library error, "<none>" without error, "" for backend errors.
std::string keyOf(const OptionalError& error);

}  // namespace vantrel::test
