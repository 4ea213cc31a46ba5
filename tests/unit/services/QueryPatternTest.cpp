// The shared read pattern: result processors, the session-error rule and the page loop's
// faults that the reference backend cannot produce on demand (a later page failing).

#include "services/QueryPattern.hpp"
#include "support/ServicesFakeBackend.hpp"
#include "support/ServicesTestSupport.hpp"
#include "vantrel/backend/ParseError.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/domain/RecordClasses.hpp"
#include "vantrel/services/MaterialService.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <set>

namespace vantrel {
namespace {

using nlohmann::json;
using test::Await;
using test::ServicesFakeBackend;
using Objects = std::pair<std::vector<std::shared_ptr<ParseObject>>, OptionalError>;
using Materials = std::pair<std::vector<std::shared_ptr<MaterialEntity>>, OptionalError>;

Error parseError(long code) { return makeParseError(code, "scripted " + std::to_string(code)); }

TEST(ResultProcessorTest, NotFoundIsNothingOtherErrorsAreLoggedAndPassedOn) {
    test::LogCapture log;
    for (long code : {101L, 120L}) {
        Await<OptionalError> one, count;
        services_detail::processResult(nullptr, parseError(code), [one](auto, auto error) { one.set(error); });
        services_detail::processCountResult(7, parseError(code),
                                            [count](int n, auto error) { count.set(n == 0 ? error : parseError(-2)); });
        std::vector<std::shared_ptr<ParseObject>> gathered{std::make_shared<ParseObject>("Material")};
        Await<Objects> all;
        services_detail::processAllResult({}, parseError(code), gathered, [all](auto objects, auto error) {
            all.set({objects, error});
        });
        EXPECT_FALSE(*one.get()) << code;
        EXPECT_FALSE(*count.get()) << code;
        EXPECT_EQ(all.get()->first.size(), 1u) << "what was gathered is the answer";
        EXPECT_FALSE(all.get()->second);
    }
    EXPECT_EQ(log.count("process"), 0u);

    Await<OptionalError> one;
    services_detail::processResult(nullptr, parseError(100), [one](auto, auto error) { one.set(error); });
    EXPECT_EQ((*one.get())->code, 100);
    std::vector<std::shared_ptr<ParseObject>> gathered{std::make_shared<ParseObject>("Material")};
    Await<Objects> all;
    // An error without a backend code is one more error like any other.
    services_detail::processAllResult({}, Error("Other", -1, "no code"), gathered, [all](auto objects, auto error) {
        all.set({objects, error});
    });
    EXPECT_TRUE(all.get()->first.empty()) << "an error gives an empty list, not what was gathered";
    EXPECT_EQ(all.get()->second->message, "no code");
    EXPECT_EQ(log.count("processResult: [100] scripted 100"), 1u);
    EXPECT_EQ(log.count("processAllResult: no code"), 1u);
}

TEST(ResultProcessorTest, OnlyTheSessionCodesEndTheSessionAndAnnounceIt) {
    for (long code : {119L, 140L, 155L, 206L, 209L, 251L})
        EXPECT_TRUE(services_detail::isSessionError(parseError(code))) << code;
    for (long code : {-1L, 1L, 100L, 101L, 120L, 124L, 141L, 208L})
        EXPECT_FALSE(services_detail::isSessionError(parseError(code))) << code;

    ServicesFakeBackend backend;
    backend.signIn({{"objectId", "u1"}, {"username", "ann"}, {"sessionToken", "r:1"}});
    test::NotificationCounter signOuts(VantrelSDK::signOutNotification);
    Await<OptionalError> count;
    services_detail::processCountResult(0, parseError(209), [count](int, auto error) { count.set(error); });
    EXPECT_EQ((*count.get())->code, 209);
    ASSERT_TRUE(signOuts.waitFor(1));
    EXPECT_TRUE(signOuts.allWithoutObject());
    EXPECT_EQ(ParseUser::currentUser(), nullptr);
}

// 250 records answered page by page as the server would (in object-id order, after the key a
// request names, from its skip on), with a scripted fault on one request.
class PageLoopTest : public testing::Test {
protected:
    void SetUp() override {
        registerRecordClasses();
        catalog_->setObjectId("cat1");
        backend_.setRoute([this](const test::FakeParseRequest& request) -> std::optional<std::string> {
            if (request.path != "classes/Material") return std::nullopt;
            if (++answered_ == failOnRequest_)
                return ServicesFakeBackend::error(failCode_ == 101 ? 404 : 500, failCode_);
            const auto bound = request.body.value("where", json::object()).value("objectId", json::object());
            int skip = request.body.value("skip", 0);
            const int limit = request.body.value("limit", 100);
            json page = json::array();
            for (int i = 0; i < 250 && static_cast<int>(page.size()) < limit; ++i) {
                char id[16];
                std::snprintf(id, sizeof id, "m%03d", i);
                if (bound.contains("$gt") && id <= bound["$gt"].get<std::string>()) continue;
                if (skip > 0 && skip--) continue;
                page.push_back({{"objectId", id}});
            }
            return ServicesFakeBackend::results(page);
        });
    }

    Materials read(std::optional<int> offset) {
        Await<Materials> done;
        MaterialService::sharedInstance().obtainAllMaterialsByCatalog(catalog_, offset, std::nullopt,
                                                                      [done](auto records, auto error) {
                                                                          done.set({records, error});
                                                                      });
        return done.get().value_or(Materials{{}, Error("Test", 0, "never answered")});
    }

    // Where each request started: "skip N", or "after ID" for a request that goes on by key.
    std::vector<std::string> starts() const {
        std::vector<std::string> seen;
        for (const auto& request : backend_.requests("classes/Material")) {
            const auto bound = request.body.value("where", json::object()).value("objectId", json::object());
            seen.push_back(bound.contains("$gt") ? "after " + bound["$gt"].get<std::string>()
                                                 : "skip " + std::to_string(request.body.value("skip", 0)));
        }
        return seen;
    }

    test::ScopedSdkSettings settings_;
    ServicesFakeBackend backend_;
    std::shared_ptr<CatalogEntity> catalog_ = std::make_shared<CatalogEntity>();
    std::atomic<int> answered_{0};
    int failOnRequest_ = -1;
    int failCode_ = 101;
};

TEST_F(PageLoopTest, ALaterPageNotFoundEndsWithWhatWasGathered) {
    failOnRequest_ = 2;
    auto [records, error] = read(std::nullopt);
    EXPECT_FALSE(error);
    EXPECT_EQ(records.size(), 100u);
    EXPECT_EQ(starts(), (std::vector<std::string>{"skip 0", "after m099"}));
}

TEST_F(PageLoopTest, ALaterPageFailingOtherwiseGivesNothingAndTheError) {
    failOnRequest_ = 3;
    failCode_ = 1;
    auto [records, error] = read(std::nullopt);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 1);
    EXPECT_TRUE(records.empty());
}

TEST_F(PageLoopTest, AnOffsetIsKeptWhenTurningPages) {
    auto [records, error] = read(50);
    EXPECT_FALSE(error);
    // The offset is skipped once; the pages after it go on from the last record served.
    EXPECT_EQ(starts(), (std::vector<std::string>{"skip 50", "after m149", "after m249"}));
    std::set<std::string> ids;
    for (const auto& record : records) ids.insert(record->objectId().value_or(""));
    EXPECT_EQ(records.size(), 200u);
    EXPECT_EQ(ids.size(), 200u) << "no record may come twice";
}

TEST_F(PageLoopTest, AnUnsavedCatalogOrAnEmptyIdAsksNothing) {
    Await<Materials> none;
    MaterialService::sharedInstance().obtainAllMaterialsByCatalog(std::make_shared<CatalogEntity>(), std::nullopt,
                                                                  std::nullopt, [none](auto records, auto error) {
                                                                      none.set({records, error});
                                                                  });
    EXPECT_TRUE(none.get()->first.empty());
    EXPECT_FALSE(none.get()->second);
    Await<std::shared_ptr<MaterialEntity>> byId;
    MaterialService::sharedInstance().obtainMaterialById("", [byId](auto record, auto) { byId.set(record); });
    EXPECT_EQ(byId.get(), nullptr);
    EXPECT_TRUE(backend_.requests().empty()) << "neither may turn into a query of the whole class";
}

}  // namespace
}  // namespace vantrel
