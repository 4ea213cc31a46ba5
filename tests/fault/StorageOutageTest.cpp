// The server's own stores taken away under it: PostgreSQL stopped and started again while the
// client reads and writes, Redis (the LiveQuery fan-out and the server's cache) stopped and started
// under a live subscription. The client sees errors or answers within its limits, never a hang,
// and once the store is back everything saved is there exactly once and events flow again.

#include "FaultFixture.hpp"

#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/backend/ParseError.hpp"
#include "vantrel/backend/ParseQuery.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace vantrel {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

class StorageOutageTest : public test::FaultFixture {
protected:
    void SetUp() override {
        FaultFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        json records = json::array();
        for (int i = 0; i < 5; ++i)
            records.push_back({{"alias", "c" + std::to_string(i)},
                               {"className", "Component"},
                               {"fields", {{"catalog", {{"$ref", "catalog"}}}, {"name", "Seeded " + std::to_string(i)}}}});
        seedAndSignIn(records);
        ASSERT_TRUE(data_.contains("c4")) << data_.dump();
        // Outages answer within this, or the request gives up with its timeout.
        useRequestTimeout(10s);
    }

    std::shared_ptr<ParseObject> newComponent(const std::string& name) const {
        auto object = ParseObject::create("Component");
        object->set("catalog", ParseObject::createWithoutData("Catalog", data_["catalog"]));
        object->set("name", name);
        return object;
    }

    // The names of the catalogue's components, once a read succeeds again (bounded: the server's
    // pool may need a moment to find the database again).
    std::multiset<std::string> namesOnceReadable() {
        std::multiset<std::string> names;
        const bool readable = test::eventually(
            [&] {
                auto [objects, error] = find(catalogComponents());
                if (error) return false;
                names.clear();
                for (const auto& o : objects) names.insert(o->value("name").asString().value_or("?"));
                return true;
            },
            60s);
        EXPECT_TRUE(readable) << "reads never succeeded again";
        return names;
    }

};

TEST_F(StorageOutageTest, WithoutTheDatabaseReadsAndWritesFailAndAfterItNothingIsLostOrDoubled) {
    auto [before, error] = find(catalogComponents());
    ASSERT_FALSE(error) << error->description();
    ASSERT_EQ(before.size(), 5u);

    backend("stop-postgres");
    auto [during, down] = find(catalogComponents());
    ASSERT_TRUE(down) << "a read without the database is an error";
    EXPECT_TRUE(during.empty());
    auto pending = newComponent("Written during the outage");
    auto [saved, refused] = save(pending);
    EXPECT_FALSE(saved);
    ASSERT_TRUE(refused) << "a write without the database is an error";
    EXPECT_FALSE(pending->objectId()) << "a refused save leaves the object new";
    auto [count, countError] = this->count(catalogComponents());
    EXPECT_TRUE(countError);
    EXPECT_EQ(count, 0);

    backend("start-postgres");
    auto names = namesOnceReadable();
    EXPECT_EQ(names.size(), 5u) << "every record saved before the outage is there";
    EXPECT_EQ(names.count("Written during the outage"), 0u) << "the refused save wrote nothing";

    // The refused object, saved again, arrives once.
    auto [retried, retryError] = save(pending);
    EXPECT_TRUE(retried) << (retryError ? retryError->description() : "");
    EXPECT_TRUE(pending->objectId());
    names = namesOnceReadable();
    EXPECT_EQ(names.size(), 6u);
    EXPECT_EQ(names.count("Written during the outage"), 1u);
}

TEST_F(StorageOutageTest, LiveEventsResumeAfterRedisIsStoppedAndStartedAgain) {
    LiveQueryClientOptions options;
    options.backoffBase = 200ms;
    options.backoffCap = 1000ms;
    options.idleTimeout = 4000ms;
    auto watched = watchComponents(options);
    ASSERT_FALSE(HasFailure());
    const auto& client = watched.client;
    const auto& created = watched.created;

    backend("stop-redis");
    // The REST side answers (from the database) or gives up within the request limit: no hang.
    auto [during, error] = find(catalogComponents());
    if (error) {
        EXPECT_EQ(error->code, ParseErrorCode::timeout) << error->description();
    }
    backend("start-redis");

    // Events published after Redis is back reach the subscription. The server's Redis clients
    // come back on their own back-off, so a few changes may be needed before one gets through.
    std::vector<std::string> written;
    const bool resumed = test::eventually(
        [&] {
            written.push_back(peer({"--login", managerLogin(), "save", "Component",
                                    json{{"catalog", {{"__type", "Pointer"}, {"className", "Catalog"},
                                                      {"objectId", data_["catalog"]}}},
                                         {"name", "After Redis " + std::to_string(written.size())}}
                                        .dump()}));
            return created.waitFor(
                [&](const std::vector<std::string>& ids) {
                    return std::find(ids.begin(), ids.end(), written.back()) != ids.end();
                },
                3s);
        },
        60s);
    EXPECT_TRUE(resumed) << written.size() << " changes after Redis came back, " << created.items().size()
                         << " events; connections: " << client->connectionCount();
}

}  // namespace
}  // namespace vantrel
