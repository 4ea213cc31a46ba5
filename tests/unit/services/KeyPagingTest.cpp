// Reads ordered by object id page by key: after the first page each request asks for the records
// after the last one served, and a caller that pages with offsets goes on from where its previous
// read ended. The stand-in server answers as PostgreSQL does for such a request (rows in object-id
// order, the key's bound, then skip and limit) and can add rows between two pages.

#include "support/ServicesFakeBackend.hpp"
#include "support/ServicesTestSupport.hpp"
#include "vantrel/domain/RecordClasses.hpp"
#include "vantrel/services/ComponentService.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <set>

namespace vantrel {
namespace {

using nlohmann::json;
using test::Await;
using test::ServicesFakeBackend;

std::string idOf(int i) {
    char id[16];
    std::snprintf(id, sizeof id, "m%03d", i);
    return id;
}

// The rows of the stand-in; `added` joins them once the request numbered `addAfter` was answered.
struct Rows {
    std::mutex mutex;
    std::set<std::string> ids;
    std::vector<std::string> added;
    std::size_t addAfter = 0;
    std::size_t answered = 0;

    std::optional<std::string> answer(const test::FakeParseRequest& request) {
        if (request.path != "classes/Component") return std::nullopt;
        std::lock_guard lock(mutex);
        const auto bound = request.body.value("where", json::object()).value("objectId", json::object());
        int skip = request.body.value("skip", 0);
        const int limit = request.body.value("limit", 100);
        json page = json::array();
        for (const auto& id : ids) {  // a set: object-id order
            if (bound.contains("$gt") && id <= bound["$gt"].get<std::string>()) continue;
            if (skip > 0) {
                --skip;
                continue;
            }
            if (static_cast<int>(page.size()) < limit) page.push_back({{"objectId", id}});
        }
        if (++answered == addAfter) ids.insert(added.begin(), added.end());
        return ServicesFakeBackend::results(page);
    }
};

std::vector<std::string> read(const std::string& catalogId, std::optional<int> offset, std::optional<int> max) {
    auto catalog = std::make_shared<CatalogEntity>();
    catalog->setObjectId(catalogId);
    Await<std::vector<std::string>> done;
    ComponentService::sharedInstance().obtainAllComponentsByCatalog(
        catalog, offset, max, [done](std::vector<std::shared_ptr<ComponentEntity>> records, OptionalError) {
            std::vector<std::string> ids;
            for (const auto& record : records) ids.push_back(record->objectId().value_or(""));
            done.set(ids);
        });
    return done.get().value_or(std::vector<std::string>{});
}

struct Case {
    std::string name;
    // The reads, as (offset, max below a page: one request each); their results are concatenated.
    std::vector<std::pair<std::optional<int>, std::optional<int>>> reads;
    // Rows added once this many requests were answered (0: none).
    std::size_t addAfter;
    // Requests that went by skip (the rest went by key or were first pages).
    std::size_t bySkip;
};

TEST(KeyPagingTest, PagesReadByKeyJoinIntoTheWholeListWithoutGapsOrRepeatsEvenWhenRowsArriveBetweenThem) {
    registerRecordClasses();
    test::ScopedSdkSettings settings;
    ServicesFakeBackend backend;
    auto rows = std::make_shared<Rows>();
    backend.setRoute([rows](const test::FakeParseRequest& request) { return rows->answer(request); });

    const std::vector<Case> cases = {
        {"one read of every page", {{std::nullopt, std::nullopt}}, 0, 0},
        {"offsets that follow on", {{0, 99}, {99, 99}, {198, 99}}, 0, 0},
        {"one read, rows added after its first page", {{std::nullopt, std::nullopt}}, 1, 0},
        {"offsets that follow on, rows added between them", {{0, 99}, {99, 99}, {198, 99}}, 1, 0},
        {"an offset that follows no earlier read goes by skip", {{100, 99}, {199, 99}}, 0, 1},
    };
    int number = 0;
    for (const auto& c : cases) {
        const std::string catalog = "cat" + std::to_string(++number);  // a query no earlier read knows
        std::vector<std::string> whole;
        {
            std::lock_guard lock(rows->mutex);
            rows->ids.clear();
            for (int i = 0; i < 250; ++i) rows->ids.insert(idOf(2 * i + 1));
            // One row behind the first page's last key and one ahead of it: skip paging would serve a
            // row of the first page again, and the row ahead belongs to what follows.
            rows->added = {idOf(0), idOf(400)};
            rows->addAfter = c.addAfter;
            rows->answered = 0;
            whole.assign(rows->ids.begin(), rows->ids.end());
        }
        const auto before = backend.requests("classes/Component").size();
        std::vector<std::string> joined;
        for (const auto& [offset, max] : c.reads) {
            const auto page = read(catalog, offset, max);
            joined.insert(joined.end(), page.begin(), page.end());
        }
        if (c.addAfter > 0) {
            whole.push_back(idOf(400));  // after the first key: served; idOf(0) is behind it
            std::sort(whole.begin(), whole.end());
        }
        if (c.reads.front().first.value_or(0) > 0) whole.erase(whole.begin(), whole.begin() + 100);
        EXPECT_EQ(joined, whole) << c.name;
        const auto sent = backend.requests("classes/Component");
        const auto bySkip = std::count_if(sent.begin() + static_cast<std::ptrdiff_t>(before), sent.end(),
                                          [](const auto& r) { return r.body.value("skip", 0) > 0; });
        EXPECT_EQ(static_cast<std::size_t>(bySkip), c.bySkip) << c.name;
    }
}

}  // namespace
}  // namespace vantrel
