#pragma once

// The fault-injection suite's fixture: the services' backend fixture pointed at the suite's own
// backend (scripts/fault.sh run starts it, with its own state directory, ports, PostgreSQL and
// Redis, usually in a network namespace of its own), plus the means to hurt it: kill the server
// process, stop and start PostgreSQL and Redis, slow down and drop packets on the loopback, run
// SQL on its database. Every test leaves the backend running and unimpaired for the next one.
//
// The tests refuse to run against any other backend: without VANTREL_FAULT_NETNS in the
// environment (set by scripts/fault.sh, empty when no namespace could be made) they skip.

#include "support/BackendAwait.hpp"
#include "support/ServicesBackendFixture.hpp"
#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/backend/ParseQuery.hpp"

#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

namespace vantrel::test {

class FaultFixture : public ServicesBackendFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    /// `scripts/backend.sh <command>` for the suite's backend; fails the test when it fails. Any
    /// command but "status" marks the backend as disturbed, so TearDown brings everything back.
    void backend(const std::string& command);
    /// SIGKILL of the primary server process: no goodbye to its clients.
    void killServer();
    /// SIGSTOP of the primary server process: its connections stay open and nothing comes.
    void freezeServer();
    /// SIGCONT after `freezeServer` (TearDown does it too).
    void thawServer();
    /// The primary server's port.
    [[nodiscard]] int serverPort() const;

    /// True when the suite runs in a network namespace of its own.
    [[nodiscard]] static bool ownNetwork();
    /// Delays and drops the packets of the server's port on the namespace's loopback; what could
    /// be applied: "netem" (delay and loss) or "loss" (loss only, the kernel has no netem).
    std::string impair(int delayMilliseconds, int lossPercent);
    /// Removes every impairment.
    void clearImpairments();

    /// Runs `statement` on the suite's database (as the postgres user); its output, trimmed.
    std::string sql(const std::string& statement);

    /// A file of `size` bytes in the backend's file store under `key` (the bytes a function of
    /// their offset and `seed`, so that a copy can be checked whole); the bytes.
    std::string storeBackendFile(const std::string& key, std::size_t size, unsigned seed);

    /// The configuration with another request limit, applied with the signed-in session kept.
    void useRequestTimeout(std::chrono::milliseconds timeout);

    /// Seeds a company with `records` besides its own, keeps what was made in `data_` and signs in
    /// as its manager.
    void seedAndSignIn(const nlohmann::json& records = nlohmann::json::array());
    /// "username:password" of the seeded manager, for the JavaScript peer.
    [[nodiscard]] std::string managerLogin() const;
    /// The components of the seeded catalogue.
    [[nodiscard]] ParseQuery catalogComponents() const;

    /// A LiveQuery client of its own watching `catalogComponents()`: each subscription confirmed
    /// and the id of each component created.
    struct WatchedComponents {
        std::shared_ptr<LiveQueryClient> client;
        std::shared_ptr<Subscription> subscription;
        Collector<int> subscribed;
        Collector<std::string> created;
    };
    /// Starts watching and waits for the first subscription (a fatal failure when it never comes).
    [[nodiscard]] WatchedComponents watchComponents(const LiveQueryClientOptions& options);

    /// A scratch directory of this test, removed afterwards.
    [[nodiscard]] std::filesystem::path scratch() const { return scratch_; }

    /// What `seedAndSignIn` made (aliases to object ids, the manager's login).
    nlohmann::json data_;

private:
    [[nodiscard]] int serverPid() const;

    bool disturbed_ = false;
    bool frozen_ = false;
    bool impaired_ = false;
    std::filesystem::path scratch_;
};

}  // namespace vantrel::test
