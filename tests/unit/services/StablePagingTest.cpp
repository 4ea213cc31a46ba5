// List reads page by skip; the server keeps no order of its own between requests, so a page
// boundary only means something over a total order. The stand-in server here answers as
// PostgreSQL may: rows in an order that changes from request to request unless the request's
// order ends with the object id.

#include "services/QueryPattern.hpp"
#include "support/ServicesFakeBackend.hpp"
#include "support/ServicesTestSupport.hpp"
#include "vantrel/domain/RecordClasses.hpp"
#include "vantrel/services/AnchorObjectService.hpp"
#include "vantrel/services/ComponentService.hpp"
#include "vantrel/services/MaterialService.hpp"
#include "vantrel/services/SceneService.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace vantrel {
namespace {

using nlohmann::json;
using test::Await;
using test::ServicesFakeBackend;

constexpr int kRecords = 250;

// The rows of one class, all with the same "index" (every order of the services has ties).
json rowsInStorageOrder() {
    json rows = json::array();
    for (int i = 0; i < kRecords; ++i) {
        char id[16];
        std::snprintf(id, sizeof id, "r%03d", (i * 37) % kRecords);
        rows.push_back({{"objectId", id}, {"index", 1}});
    }
    return rows;
}

std::optional<std::string> answerLikePostgres(const test::FakeParseRequest& request) {
    if (!request.path.starts_with("classes/")) return std::nullopt;
    json rows = rowsInStorageOrder();
    const std::string order = request.body.value("order", "");
    const bool total = order == "objectId" || order.ends_with(",objectId");
    if (total) {
        std::sort(rows.begin(), rows.end(), [](const json& a, const json& b) { return a["objectId"] < b["objectId"]; });
    } else if (request.body.value("skip", 0) % 200 != 0) {
        // Another plan for another offset: the same rows, read the other way round.
        std::reverse(rows.begin(), rows.end());
    }
    // A read that goes on by key names the last object id it has.
    const auto bound = request.body.value("where", json::object()).value("objectId", json::object());
    if (bound.contains("$gt")) {
        json after = json::array();
        for (const auto& row : rows)
            if (row["objectId"] > bound["$gt"]) after.push_back(row);
        rows = std::move(after);
    }
    const int size = static_cast<int>(rows.size());
    const int skip = request.body.value("skip", 0), limit = request.body.value("limit", 100);
    json page = json::array();
    for (int i = skip; i < std::min(size, skip + limit); ++i) page.push_back(rows[static_cast<std::size_t>(i)]);
    return ServicesFakeBackend::results(page);
}

template <class Record>
using ReadAll = std::function<void(const std::shared_ptr<CatalogEntity>&, RecordsResultBlock<Record>)>;

template <class Record>
std::vector<std::string> idsRead(const ReadAll<Record>& read, const std::shared_ptr<CatalogEntity>& catalog) {
    Await<std::vector<std::string>> done;
    read(catalog, [done](std::vector<std::shared_ptr<Record>> records, OptionalError) {
        std::vector<std::string> ids;
        for (const auto& record : records) ids.push_back(record->objectId().value_or(""));
        done.set(ids);
    });
    return done.get().value_or(std::vector<std::string>{});
}

TEST(StablePagingTest, EveryServiceReadsEachRecordOnceOverPagesOfAnUnorderedServer) {
    registerRecordClasses();
    test::ScopedSdkSettings settings;
    ServicesFakeBackend backend;
    backend.setRoute(answerLikePostgres);
    auto catalog = std::make_shared<CatalogEntity>();
    catalog->setObjectId("cat1");

    const std::vector<std::pair<std::string, std::function<std::vector<std::string>()>>> reads = {
        {"Component",
         [&] {
             return idsRead<ComponentEntity>(
                 [](auto c, auto b) {
                     ComponentService::sharedInstance().obtainAllComponentsByCatalog(c, std::nullopt, std::nullopt, b);
                 },
                 catalog);
         }},
        {"Material",
         [&] {
             return idsRead<MaterialEntity>(
                 [](auto c, auto b) {
                     MaterialService::sharedInstance().obtainAllMaterialsByCatalog(c, std::nullopt, std::nullopt, b);
                 },
                 catalog);
         }},
        {"Scene",
         [&] {
             return idsRead<SceneEntity>(
                 [](auto c, auto b) {
                     SceneService::sharedInstance().obtainAllScenesByCatalog(c, std::nullopt, std::nullopt, b);
                 },
                 catalog);
         }},
        {"AnchorObject",
         [&] {
             return idsRead<AnchorObjectEntity>(
                 [](auto c, auto b) {
                     AnchorObjectService::sharedInstance().obtainAllAnchorObjectsByCatalog(c, std::nullopt,
                                                                                           std::nullopt, b);
                 },
                 catalog);
         }},
    };
    for (const auto& [className, read] : reads) {
        const auto ids = read();
        const std::set<std::string> distinct(ids.begin(), ids.end());
        EXPECT_EQ(ids.size(), static_cast<std::size_t>(kRecords)) << className;
        EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kRecords))
            << className << ": a record read twice or missed";
        const auto sent = backend.requests("classes/" + className);
        ASSERT_FALSE(sent.empty()) << className;
        EXPECT_EQ(sent.back().body.value("order", ""), "objectId") << className;
    }
}

TEST(StablePagingTest, TheServicesOwnOrderStaysFirstAndTheIdIsNotRepeated) {
    registerRecordClasses();
    test::ScopedSdkSettings settings;
    ServicesFakeBackend backend;
    backend.setRoute(answerLikePostgres);
    auto catalog = std::make_shared<CatalogEntity>();
    catalog->setObjectId("cat1");
    const std::vector<std::pair<std::function<void(ParseQuery&)>, std::string>> cases = {
        {[](ParseQuery& q) { q.orderByAscending("parent").addAscendingOrder("index"); }, "parent,index,objectId"},
        {[](ParseQuery& q) { q.orderByAscending("index"); }, "index,objectId"},
        {[](ParseQuery& q) { q.orderByAscending("objectId"); }, "objectId"},
        {[](ParseQuery& q) { q.orderByAscending("index").addDescendingOrder("objectId"); }, "index,-objectId"},
    };
    for (const auto& [orderOf, expected] : cases) {
        ParseQuery query("MarketingListItem");
        orderOf(query);
        Await<bool> done;
        services_detail::findAllObjects(query, std::nullopt, 20, "AppListItemService",
                                        [done](auto, auto) { done.set(true); });
        ASSERT_TRUE(done.get());
        EXPECT_EQ(backend.requests("classes/MarketingListItem").back().body.value("order", ""), expected);
    }
}

}  // namespace
}  // namespace vantrel
