#pragma once

// Integration tests against the reference backend (scripts/backend.sh start): reads backend.env,
// configures the client against it, and runs the seed tool and the JavaScript peer. A backend
// that cannot be reached fails the test with a message saying how to start it.

#include "vantrel/backend/ParseClientConfiguration.hpp"
#include "vantrel/backend/ParseObject.hpp"
#include "vantrel/backend/ParseQuery.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::test {

/// The values of backend.env.
struct BackendEnvironment {
    std::string server;        // host:port/path of the primary
    std::string secondServer;  // host:port/path of the second process
    std::string applicationId;
    std::string clientKey;
    std::string masterKey;
    std::string caFile;
    std::filesystem::path stateDirectory;

    /// `${VANTREL_BACKEND_STATE:-/var/tmp/vantrel-backend}`.
    static std::filesystem::path defaultStateDirectory();
    /// Reads backend.env; none (with the reason in `why`) when it is missing or incomplete.
    static std::optional<BackendEnvironment> load(std::string* why);
};

/// What a command printed and how it ended.
struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

/// Quotes `argument` for /bin/sh.
std::string shellQuote(const std::string& argument);
/// Runs `argv` (no shell interpretation of the arguments) in the repository root, with
/// backend.env's variables set; bounded by the command's own timeouts.
CommandResult runCommand(const std::vector<std::string>& argv, const std::string& input = {});

class BackendFixture : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    /// The environment of the running backend.
    [[nodiscard]] const BackendEnvironment& env() const { return env_; }
    /// Client configuration for the primary (or the second) server.
    [[nodiscard]] ParseClientConfiguration configuration(bool second = false) const;
    /// Parse::initialize again (what a restart of the host amounts to).
    void reinitialize(bool second = false);
    /// "wss://" URL of the primary's (or the second's) LiveQuery server.
    [[nodiscard]] std::string liveQueryUrl(bool second = false) const;

    /// `seed.mjs apply` of `fixture`; the alias map. Fails the test on error.
    nlohmann::json seed(const nlohmann::json& fixture);
    /// `peer.mjs` with `arguments`; stdout trimmed. Fails the test on error.
    std::string peer(const std::vector<std::string>& arguments);
    /// A name no other test run uses.
    [[nodiscard]] static std::string uniqueName(const std::string& prefix);
    /// A company with one catalog, a manager and an employee (both verified and signed in by the
    /// seed), under unique names. Keys: company, catalog, manager, employee (user objects with
    /// username, password, sessionToken).
    nlohmann::json seedCompany(const nlohmann::json& extraRecords = nlohmann::json::array());

    /// Signs in through our client; fails the test on error.
    void logIn(const std::string& username, const std::string& password);

    // Blocking forms of the client's calls (bounded waits), for test bodies.
    using Objects = std::pair<std::vector<std::shared_ptr<ParseObject>>, OptionalError>;
    using One = std::pair<std::shared_ptr<ParseObject>, OptionalError>;
    static Objects find(const ParseQuery& query);
    static std::pair<int, OptionalError> count(const ParseQuery& query);
    static One first(const ParseQuery& query);
    static One get(const ParseQuery& query, const std::string& objectId);
    static std::pair<bool, OptionalError> save(const std::shared_ptr<ParseObject>& object);
    static std::pair<bool, OptionalError> remove(const std::shared_ptr<ParseObject>& object);
    static One fetch(const std::shared_ptr<ParseObject>& object);
    static std::pair<nlohmann::json, OptionalError> call(const std::string& function, const nlohmann::json& parameters);

    BackendEnvironment env_;
    std::filesystem::path persistence_;
};

}  // namespace vantrel::test
