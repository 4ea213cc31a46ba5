// A bad network between the client and the server, made on the suite's own loopback: 200 ms of
// latency with 5 % of the packets lost, under which a paged read must still return every record
// once; and a path that drops everything, which must end requests with a timeout and let a live
// subscription notice, then recover once the path is clear again.
//
// Latency and loss come from netem where the kernel has it. Without netem, packets are dropped by
// nftables and the latency comes from a relay that holds every chunk for the same time.

#include "DelayRelay.hpp"
#include "FaultFixture.hpp"

#include "backend/CurrentUserStore.hpp"
#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/backend/Parse.hpp"
#include "vantrel/backend/ParseError.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/domain/CatalogEntity.hpp"
#include "vantrel/services/ComponentService.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace vantrel {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

constexpr int kRecords = 250;  // three pages of the services' page size

class NetworkImpairmentTest : public test::FaultFixture {
protected:
    void SetUp() override {
        FaultFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        if (!ownNetwork())
            GTEST_SKIP() << "no network namespace of the suite's own: latency and loss would reach every "
                            "other user of this loopback";
    }

};

TEST_F(NetworkImpairmentTest, APagedReadUnderLatencyAndLossReturnsEveryRecordOnce) {
    json records = json::array();
    for (int i = 0; i < kRecords; ++i)
        records.push_back({{"alias", "c" + std::to_string(i)},
                           {"className", "Component"},
                           {"fields", {{"catalog", {{"$ref", "catalog"}}}, {"name", "Part " + std::to_string(i)}}}});
    seedAndSignIn(records);
    ASSERT_TRUE(data_.contains("c" + std::to_string(kRecords - 1)));

    const auto applied = impair(200, 5);
    ASSERT_TRUE(applied == "netem" || applied == "loss") << applied;
    std::unique_ptr<test::DelayRelay> relay;
    if (applied == "loss") {
        relay = std::make_unique<test::DelayRelay>(serverPort(), 200ms);
        auto slow = configuration();
        slow.server = "https://localhost:" + std::to_string(relay->port()) + "/parse";
        const auto user = ParseUser::currentUser();
        Parse::initialize(slow);
        CurrentUserStore::set(user);
    }

    auto catalog = std::make_shared<CatalogEntity>();
    catalog->setObjectId(data_["catalog"].get<std::string>());
    using Result = std::pair<std::vector<std::shared_ptr<ComponentEntity>>, OptionalError>;
    test::Await<Result> done;
    ComponentService::sharedInstance().obtainAllComponentsByCatalog(
        catalog, std::nullopt, std::nullopt, [done](auto components, auto error) { done.set({components, error}); });
    const auto result = done.get(120s);
    ASSERT_TRUE(result) << "the read never ended";
    ASSERT_FALSE(result->second) << result->second->description();
    std::set<std::string> ids;
    for (const auto& component : result->first) ids.insert(component->objectId().value_or(""));
    EXPECT_EQ(result->first.size(), static_cast<std::size_t>(kRecords)) << "every record, nothing twice";
    EXPECT_EQ(ids.size(), static_cast<std::size_t>(kRecords));
    for (int i = 0; i < kRecords; ++i)
        EXPECT_EQ(ids.count(data_["c" + std::to_string(i)].get<std::string>()), 1u) << "record " << i;
}

TEST_F(NetworkImpairmentTest, APathThatDropsEverythingEndsInTimeoutsAndRecoversWhenClear) {
    seedAndSignIn();
    ASSERT_FALSE(HasFatalFailure());
    LiveQueryClientOptions options;
    options.backoffBase = 200ms;
    options.backoffCap = 1000ms;
    options.connectTimeout = 3000ms;
    options.idleTimeout = 3000ms;
    auto watched = watchComponents(options);
    const auto& client = watched.client;
    const auto& subscribed = watched.subscribed;
    const auto& created = watched.created;
    ASSERT_FALSE(HasFailure());

    useRequestTimeout(3s);
    const auto applied = impair(0, 100);
    ASSERT_TRUE(applied == "netem" || applied == "loss") << applied;
    auto [objects, error] = find(catalogComponents());
    ASSERT_TRUE(error) << "nothing gets through, so the read cannot succeed";
    EXPECT_EQ(error->code, ParseErrorCode::timeout) << error->description();
    EXPECT_TRUE(objects.empty());
    // The subscription's pings go unanswered: the connection is given up, not waited on forever.
    EXPECT_TRUE(test::eventually([&] { return !client->isConnected(); }, 20s)) << "the dead link went unnoticed";

    clearImpairments();
    ASSERT_TRUE(subscribed.waitForCount(2)) << "no new subscription; connections: " << client->connectionCount();
    auto [after, recovered] = find(catalogComponents());
    EXPECT_FALSE(recovered) << recovered->description();
    const auto id = peer({"--login", managerLogin(), "save", "Component",
                          json{{"catalog", {{"__type", "Pointer"}, {"className", "Catalog"}, {"objectId", data_["catalog"]}}},
                               {"name", "After the outage"}}
                              .dump()});
    EXPECT_TRUE(created.waitFor([&](const std::vector<std::string>& ids) {
        return std::find(ids.begin(), ids.end(), id) != ids.end();
    })) << "the change made after the path cleared never arrived";
}

}  // namespace
}  // namespace vantrel
