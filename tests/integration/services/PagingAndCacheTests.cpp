// The shared read pattern against the reference backend: pages over 250 seeded records, a
// revoked session, and the access period with a wall clock the test moves.

#include "support/ServicesBackendFixture.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/domain/CatalogEntity.hpp"
#include "vantrel/services/CompanyService.hpp"
#include "vantrel/services/ComponentService.hpp"
#include "vantrel/services/MaterialService.hpp"

#include <gtest/gtest.h>

#include <set>

namespace vantrel {
namespace {

using nlohmann::json;
using Materials = std::pair<std::vector<std::shared_ptr<MaterialEntity>>, OptionalError>;

class PagingAndCacheTest : public test::ServicesBackendFixture {
protected:
    void SetUp() override {
        ServicesBackendFixture::SetUp();
        if (HasFatalFailure()) return;
        if (!data().is_object()) {
            const json catalog = {{"$ref", "catalog"}};
            data() = seedCompany(json::array({
                {{"alias", "materials"},
                 {"className", "Material"},
                 {"repeat", 250},
                 {"fields", {{"catalog", catalog}, {"name", "Material {i}"}}}},
                {{"alias", "sofa"}, {"className", "Component"}, {"fields", {{"catalog", catalog}, {"name", "Sofa"}}}},
            }));
        }
        ASSERT_TRUE(data().contains("catalog")) << data().dump();
        catalog_ = std::make_shared<CatalogEntity>();
        catalog_->setObjectId(data()["catalog"].get<std::string>());
        signInAs(data()["manager"]);
    }

    static json& data() {
        static json seeded;
        return seeded;
    }

    Materials materials(std::optional<int> offset, std::optional<int> max) {
        test::Await<Materials> done;
        MaterialService::sharedInstance().obtainAllMaterialsByCatalog(
            catalog_, offset, max, [done](auto records, auto error) {
                done.set({std::move(records), std::move(error)});
            });
        auto result = done.get();
        EXPECT_TRUE(result) << "the read never completed";
        return result.value_or(Materials{});
    }

    // Where each request started ("skip N", or "after ID" for one that goes on by key) and its limit.
    static std::vector<std::pair<std::string, int>> pages(const test::RequestRecorder& requests) {
        std::vector<std::pair<std::string, int>> seen;
        for (const auto& request : requests.requests("classes/Material")) {
            const auto bound = request.body.value("where", json::object()).value("objectId", json::object());
            seen.emplace_back(bound.contains("$gt") ? "after " + bound["$gt"].get<std::string>()
                                                    : "skip " + std::to_string(request.body.value("skip", 0)),
                              request.body.value("limit", -1));
        }
        return seen;
    }

    static std::string after(const Materials& read, std::size_t index) {
        return "after " + read.first.at(index)->objectId().value_or("");
    }

    std::shared_ptr<CatalogEntity> catalog_;
};

TEST_F(PagingAndCacheTest, WithoutMaxThreeRequestsBringAll250) {
    test::RequestRecorder requests;
    const auto read = materials(std::nullopt, std::nullopt);
    const auto& [records, error] = read;
    EXPECT_FALSE(error);
    ASSERT_EQ(records.size(), 250u);
    // Pages after the first go on from the last record served rather than skipping to it.
    EXPECT_EQ(pages(requests), (std::vector<std::pair<std::string, int>>{
                                   {"skip 0", 100}, {after(read, 99), 100}, {after(read, 199), 100}}));
    std::set<std::string> ids;
    for (const auto& record : records) ids.insert(record->objectId().value_or(""));
    EXPECT_EQ(ids.size(), 250u);
}

TEST_F(PagingAndCacheTest, Max20ReadsOnePage) {
    test::RequestRecorder requests;
    auto [records, error] = materials(std::nullopt, 20);
    EXPECT_FALSE(error);
    EXPECT_EQ(records.size(), 20u);
    EXPECT_EQ(pages(requests), (std::vector<std::pair<std::string, int>>{{"skip 0", 20}}));
}

TEST_F(PagingAndCacheTest, Max150AsksAgainAfterThe150thRecord) {
    test::RequestRecorder requests;
    const auto read = materials(std::nullopt, 150);
    const auto& [records, error] = read;
    EXPECT_FALSE(error);
    ASSERT_EQ(records.size(), 250u);
    const auto seen = pages(requests);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0], (std::pair<std::string, int>{"skip 0", 150}));
    EXPECT_EQ(seen[1], (std::pair<std::string, int>{after(read, 149), 150}));
}

TEST_F(PagingAndCacheTest, OffsetsThatFollowOnGoOnByKeyAndJoinIntoTheWholeList) {
    const auto whole = materials(std::nullopt, std::nullopt);
    ASSERT_EQ(whole.first.size(), 250u);
    test::RequestRecorder requests;
    std::vector<std::string> joined;
    for (const int offset : {0, 99, 198})
        for (const auto& record : materials(offset, 99).first) joined.push_back(record->objectId().value_or(""));
    std::vector<std::string> expected;
    for (const auto& record : whole.first) expected.push_back(record->objectId().value_or(""));
    EXPECT_EQ(joined, expected);
    EXPECT_EQ(pages(requests), (std::vector<std::pair<std::string, int>>{
                                   {"skip 0", 99}, {after(whole, 98), 99}, {after(whole, 197), 99}}));
}

TEST_F(PagingAndCacheTest, ARevokedSessionGivesNothingTheErrorAndASignOut) {
    revokeSessionOnServer();
    test::NotificationCounter signOuts(VantrelSDK::signOutNotification);
    auto [records, error] = materials(std::nullopt, std::nullopt);
    EXPECT_TRUE(records.empty());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 209);
    ASSERT_TRUE(signOuts.waitFor(1));
    EXPECT_TRUE(signOuts.allWithoutObject());
    EXPECT_EQ(ParseUser::currentUser(), nullptr);
}

TEST_F(PagingAndCacheTest, WithinTheAccessPeriodTheCacheAnswersExceptForCompanies) {
    test::ScopedWallClock clock;
    settings_.setDbAccessPeriod(60);
    test::RequestRecorder requests;
    const std::string sofaId = data()["sofa"];
    const auto readSofa = [&] {
        return await<std::shared_ptr<ComponentEntity>>([&](auto done) {
            ComponentService::sharedInstance().obtainComponentById(
                sofaId, [done](auto component, auto) { done(std::move(component)); });
        });
    };

    auto first = readSofa();
    ASSERT_TRUE(first && *first);
    EXPECT_EQ(requests.requests("classes/Component").size(), 1u) << "the first read goes to the network";
    EXPECT_DOUBLE_EQ(VantrelSDK::lastDbAccessTime("ComponentService"), clock.now());

    clock.advance(10);
    // Another service in between is on its own clock: network.
    auto [some, error] = materials(std::nullopt, 5);
    EXPECT_FALSE(error);
    EXPECT_EQ(requests.requests("classes/Material").size(), 1u);

    auto second = readSofa();
    ASSERT_TRUE(second && *second);
    EXPECT_EQ((*second)->objectId(), sofaId);
    EXPECT_EQ(requests.requests("classes/Component").size(), 1u) << "ten seconds later the cache answers";

    // Companies always come from the network, even within the period.
    const std::string companyId = data()["company"];
    for (int i = 0; i < 2; ++i) {
        auto company = await<std::shared_ptr<CompanyEntity>>([&](auto done) {
            CompanyService::sharedInstance().obtainCompanyById(companyId, [done](auto c, auto) { done(std::move(c)); });
        });
        ASSERT_TRUE(company && *company);
    }
    EXPECT_EQ(requests.requests("classes/Company").size(), 2u);

    clock.advance(51);
    (void)readSofa();
    EXPECT_EQ(requests.requests("classes/Component").size(), 2u) << "after the period the network again";
}

}  // namespace
}  // namespace vantrel
