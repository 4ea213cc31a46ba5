// The server process killed (SIGKILL, no goodbye) in the middle of a transfer and of a live
// subscription, then started again: what was in flight ends in an error, nothing half-done is
// kept, and the next request and the subscription work again without the host doing anything.
// And the server frozen (SIGSTOP) mid-transfer: the transfer ends with a timeout, not a hang.

#include "FaultFixture.hpp"

#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/backend/ParseError.hpp"
#include "vantrel/backend/ParseQuery.hpp"
#include "vantrel/core/MainRunLoop.hpp"
#include "vantrel/files/DownloadingService.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace vantrel {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

std::size_t regularFilesBelow(const std::filesystem::path& directory) {
    std::size_t files = 0;
    if (std::filesystem::exists(directory))
        for (const auto& entry : std::filesystem::recursive_directory_iterator(directory))
            files += entry.is_regular_file() ? 1 : 0;
    return files;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ServerDeathTest : public test::FaultFixture {
protected:
    void SetUp() override {
        FaultFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        seedAndSignIn();
        if (HasFatalFailure()) return;
        DownloadingService::sharedInstance().setLocalCacheHome(scratch() / "cache");
    }

    json component(const std::string& name) const {
        return {{"catalog", {{"__type", "Pointer"}, {"className", "Catalog"}, {"objectId", data_["catalog"]}}},
                {"name", name}};
    }

    struct Download {
        std::optional<std::filesystem::path> url;
        OptionalError error;
    };

    // obtainFileFromLocalCache, with the main queue pumped until it answers; `onBytes` runs once,
    // on the main queue, when the first bytes of the file itself have arrived.
    std::optional<Download> download(const std::string& key, const std::function<void()>& onBytes = {}) {
        std::optional<Download> answer;
        bool fired = false;
        DownloadingService::sharedInstance().obtainFileFromLocalCache(
            key, true, [&](auto url, auto error) { answer = Download{std::move(url), std::move(error)}; },
            [&](ProgressStatus status, double fraction) {
                // Past one half the signed URL is there and the transfer itself moves.
                if (onBytes && !fired && status == ProgressStatus::downloading && fraction > 0.5) {
                    fired = true;
                    onBytes();
                }
            });
        EXPECT_TRUE(MainRunLoop::runUntil([&] { return answer.has_value(); }, 90s)) << "the download never ended";
        if (onBytes) {
            EXPECT_TRUE(fired) << "no bytes arrived before the download ended";
        }
        return answer;
    }

};

TEST_F(ServerDeathTest, ADownloadCutByTheServersDeathFailsKeepsNothingAndSucceedsAfterTheRestart) {
    const auto key = "fault/" + uniqueName("big") + "/model.zip";
    // Large enough that the transfer is still running when the kill lands.
    const auto bytes = storeBackendFile(key, std::size_t{64} << 20, 7);

    const auto cut = download(key, [this] { killServer(); });
    ASSERT_TRUE(cut);
    EXPECT_FALSE(cut->url) << "a cut transfer is not a file";
    ASSERT_TRUE(cut->error) << "a cut transfer is an error";
    EXPECT_EQ(cut->error->code, ParseErrorCode::connectionFailed) << cut->error->description();
    EXPECT_FALSE(DownloadingService::sharedInstance().isExistsInLocalCache(key));
    EXPECT_EQ(regularFilesBelow(scratch() / "cache"), 0u) << "no partial file anywhere in the cache";

    // While the server is away every request ends at once with the connection error.
    auto [objects, down] = find(catalogComponents());
    ASSERT_TRUE(down);
    EXPECT_EQ(down->code, ParseErrorCode::connectionFailed) << down->description();

    backend("restart-primary");
    auto [after, error] = find(catalogComponents());
    EXPECT_FALSE(error) << error->description();

    const auto whole = download(key);
    ASSERT_TRUE(whole);
    ASSERT_FALSE(whole->error) << whole->error->description();
    ASSERT_TRUE(whole->url);
    EXPECT_TRUE(readFile(*whole->url) == bytes) << "the cached copy is the file, byte for byte";
}

TEST_F(ServerDeathTest, ADownloadFromAServerThatFreezesMidTransferEndsInATimeoutNotAHang) {
    const auto key = "fault/" + uniqueName("frozen") + "/model.zip";
    const auto bytes = storeBackendFile(key, std::size_t{64} << 20, 11);

    // The connection stays open and silent: only the transfer's stall limit (a minute) ends it.
    const auto stalled = download(key, [this] { freezeServer(); });
    ASSERT_TRUE(stalled);
    EXPECT_FALSE(stalled->url);
    ASSERT_TRUE(stalled->error) << "a stalled transfer is an error";
    EXPECT_EQ(stalled->error->code, ParseErrorCode::timeout) << stalled->error->description();
    EXPECT_EQ(regularFilesBelow(scratch() / "cache"), 0u) << "no partial file anywhere in the cache";

    thawServer();
    const auto whole = download(key);
    ASSERT_TRUE(whole);
    ASSERT_FALSE(whole->error) << whole->error->description();
    EXPECT_TRUE(whole->url && readFile(*whole->url) == bytes);
}

TEST_F(ServerDeathTest, ALiveSubscriptionComesBackAfterTheServerIsKilledAndRestarted) {
    LiveQueryClientOptions options;
    options.backoffBase = 200ms;
    options.backoffCap = 1000ms;
    auto watched = watchComponents(options);
    const auto& client = watched.client;
    const auto& subscribed = watched.subscribed;
    const auto& created = watched.created;
    ASSERT_FALSE(HasFailure());
    const auto before = peer({"--login", managerLogin(), "save", "Component", component("Before").dump()});
    ASSERT_TRUE(created.waitForCount(1));

    killServer();
    // The loss is noticed without the host doing anything.
    ASSERT_TRUE(test::eventually([&] { return !client->isConnected(); }, 20s)) << "the death went unnoticed";
    backend("restart-primary");
    ASSERT_TRUE(subscribed.waitForCount(2)) << "no new subscription; connections: " << client->connectionCount();
    EXPECT_GE(client->connectionCount(), 2u);

    const auto after = peer({"--login", managerLogin(), "save", "Component", component("After").dump()});
    ASSERT_TRUE(created.waitFor([&](const std::vector<std::string>& ids) {
        return std::find(ids.begin(), ids.end(), after) != ids.end();
    })) << "the change made after the restart never arrived";
    const auto ids = created.items();
    EXPECT_EQ(std::count(ids.begin(), ids.end(), before), 1) << "an event arrives once, even across a reconnect";
}

}  // namespace
}  // namespace vantrel
