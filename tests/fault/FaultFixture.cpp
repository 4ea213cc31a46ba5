#include "FaultFixture.hpp"

#include "backend/CurrentUserStore.hpp"
#include "vantrel/backend/Parse.hpp"
#include "vantrel/backend/ParseUser.hpp"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace vantrel::test {

namespace {

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

}  // namespace

void FaultFixture::SetUp() {
    if (std::getenv("VANTREL_FAULT_NETNS") == nullptr)
        GTEST_SKIP() << "the fault suite runs against a backend of its own: scripts/fault.sh run";
    ServicesBackendFixture::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_NE(env().stateDirectory, std::filesystem::path("/var/tmp/vantrel-backend"))
        << "refusing to hurt the shared reference backend";
    scratch_ = std::filesystem::temp_directory_path() / uniqueName("vantrel-fault");
    std::filesystem::create_directories(scratch_);
}

void FaultFixture::TearDown() {
    thawServer();
    if (impaired_) clearImpairments();
    // Whatever a test stopped comes back before the next one (start is idempotent).
    if (disturbed_) {
        const auto started = runCommand({"bash", "scripts/backend.sh", "start"});
        EXPECT_EQ(started.exitCode, 0) << "the suite's backend did not come back: " << started.err;
    }
    if (!scratch_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(scratch_, ec);
    }
    if (std::getenv("VANTREL_FAULT_NETNS") != nullptr) ServicesBackendFixture::TearDown();
}

void FaultFixture::backend(const std::string& command) {
    if (command != "status") disturbed_ = true;
    const auto result = runCommand({"bash", "scripts/backend.sh", command});
    ASSERT_EQ(result.exitCode, 0) << "backend.sh " << command << ": " << result.err << result.out;
}

int FaultFixture::serverPid() const {
    std::ifstream in(env().stateDirectory / "run" / "primary.pid");
    pid_t pid = 0;
    in >> pid;
    return pid;
}

void FaultFixture::killServer() {
    disturbed_ = true;
    const auto pid = serverPid();
    ASSERT_GT(pid, 0) << "no pid file of the primary server";
    ASSERT_EQ(::kill(pid, SIGKILL), 0) << "the primary server (pid " << pid << ") is not ours to kill";
}

void FaultFixture::freezeServer() {
    const auto pid = serverPid();
    ASSERT_GT(pid, 0) << "no pid file of the primary server";
    frozen_ = true;
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
}

void FaultFixture::thawServer() {
    if (!frozen_) return;
    frozen_ = false;
    EXPECT_EQ(::kill(serverPid(), SIGCONT), 0);
}

int FaultFixture::serverPort() const {
    const auto& server = env().server;  // host:port/path
    const auto colon = server.find(':');
    return colon == std::string::npos ? 0 : std::atoi(server.c_str() + colon + 1);
}

bool FaultFixture::ownNetwork() {
    const char* netns = std::getenv("VANTREL_FAULT_NETNS");
    return netns != nullptr && *netns != '\0';
}

std::string FaultFixture::impair(int delayMilliseconds, int lossPercent) {
    impaired_ = true;
    const auto result = runCommand({"bash", "scripts/fault.sh", "impair", std::to_string(serverPort()),
                                    std::to_string(delayMilliseconds), std::to_string(lossPercent)});
    EXPECT_EQ(result.exitCode, 0) << "fault.sh impair: " << result.err;
    return trimmed(result.out);
}

void FaultFixture::clearImpairments() {
    impaired_ = false;
    const auto result = runCommand({"bash", "scripts/fault.sh", "clear"});
    EXPECT_EQ(result.exitCode, 0) << "fault.sh clear: " << result.err;
}

std::string FaultFixture::sql(const std::string& statement) {
    const auto socket = (env().stateDirectory / "pg" / "sock").string();
    const auto result =
        runCommand({"su", "postgres", "-s", "/bin/sh", "-c",
                    "psql -h " + shellQuote(socket) + " -p \"$VANTREL_PG_PORT\" -U postgres -d vantrel -qtAc " +
                        shellQuote(statement)});
    EXPECT_EQ(result.exitCode, 0) << "psql: " << result.err;
    return trimmed(result.out);
}

std::string FaultFixture::storeBackendFile(const std::string& key, std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    const auto file = env().stateDirectory / "files" / key;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

void FaultFixture::useRequestTimeout(std::chrono::milliseconds timeout) {
    auto changed = configuration();
    changed.requestTimeout = timeout;
    const auto user = ParseUser::currentUser();
    Parse::initialize(changed);
    CurrentUserStore::set(user);
}

void FaultFixture::seedAndSignIn(const nlohmann::json& records) {
    data_ = seedCompany(records);
    ASSERT_TRUE(data_.contains("catalog")) << data_.dump();
    signInAs(data_["manager"]);
}

std::string FaultFixture::managerLogin() const {
    return data_["manager"]["username"].get<std::string>() + ":" + data_["manager"]["password"].get<std::string>();
}

ParseQuery FaultFixture::catalogComponents() const {
    ParseQuery query("Component");
    query.whereEqualTo("catalog", ParseObject::createWithoutData("Catalog", data_["catalog"]));
    query.setLimit(1000);
    return query;
}

FaultFixture::WatchedComponents FaultFixture::watchComponents(const LiveQueryClientOptions& options) {
    WatchedComponents watched;
    watched.client = std::make_shared<LiveQueryClient>(liveQueryUrl(), env().applicationId, env().clientKey,
                                                       env().caFile, options);
    watched.subscription = watched.client->subscribe(catalogComponents());
    watched.subscription->handleSubscribe([subscribed = watched.subscribed](const ParseQuery&) { subscribed.add(1); });
    watched.subscription->handleEvent([created = watched.created](const ParseQuery&, Event event, auto object, auto) {
        if (event == Event::created && object && object->objectId()) created.add(*object->objectId());
    });
    EXPECT_TRUE(watched.subscribed.waitForCount(1)) << "the subscription did not open";
    return watched;
}

}  // namespace vantrel::test
