// Queries of every form against the reference backend: constraints, includes, selected keys,
// order, paging, counts, relations, the role check, error codes and the query cache.

#include "support/BackendFixture.hpp"
#include "vantrel/backend/Parse.hpp"
#include "vantrel/backend/ParseError.hpp"
#include "vantrel/backend/ParseRole.hpp"
#include "vantrel/backend/ParseUser.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace vantrel {
namespace {

using nlohmann::json;

class QueryTestComponent : public ParseObject {
public:
    static std::string parseClassName() { return "Component"; }
    QueryTestComponent() : ParseObject(parseClassName()) {}
};

class BackendQueryTest : public test::BackendFixture {
protected:
    void SetUp() override {
        BackendFixture::SetUp();
        if (HasFatalFailure()) return;
        ParseObject::registerSubclass<QueryTestComponent>();
        if (!data().is_object()) {
            const json catalog = {{"$ref", "catalog"}};
            data() = seedCompany(json::array({
                {{"alias", "sofa"},
                 {"className", "Component"},
                 {"fields",
                  {{"catalog", catalog},
                   {"name", "Sofa"},
                   {"appName", "A"},
                   {"price", 2},
                   {"isFloating", false},
                   {"variances", {{"$relation", {"corner", "chair"}}}}}}},
                {{"alias", "chair"},
                 {"className", "Component"},
                 {"fields",
                  {{"catalog", catalog},
                   {"name", "Chair"},
                   {"appName", "B"},
                   {"price", 2.5},
                   {"isFloating", true},
                   {"parent", {{"$ref", "sofa"}}}}}},
                {{"alias", "draft"},
                 {"className", "Component"},
                 {"fields", {{"catalog", catalog}, {"name", "Draft"}, {"appName", "A"}, {"inDraftBy", "someone"}}}},
                {{"alias", "corner"},
                 {"className", "Component"},
                 {"fields", {{"catalog", catalog}, {"name", "Corner"}, {"parent", {{"$ref", "sofa"}}}}}},
                {{"alias", "materials"},
                 {"className", "Material"},
                 {"repeat", 250},
                 {"fields", {{"catalog", catalog}, {"name", "Material {i}"}}}},
            }));
        }
        ASSERT_TRUE(data().contains("catalog")) << data().dump();
        logIn(data()["manager"]["username"], data()["manager"]["password"]);
    }

    void TearDown() override {
        ParseObject::unregisterSubclass(QueryTestComponent::parseClassName());
        BackendFixture::TearDown();
    }

    // Seeded once for the suite: 250 materials take a moment.
    static json& data() {
        static json seeded;
        return seeded;
    }

    std::shared_ptr<ParseObject> catalog() const {
        return ParseObject::createWithoutData("Catalog", data()["catalog"]);
    }

    ParseQuery components() const {
        ParseQuery query("Component");
        query.whereEqualTo("catalog", catalog());
        return query;
    }

    static std::vector<std::string> names(const std::vector<std::shared_ptr<ParseObject>>& objects) {
        std::vector<std::string> out;
        for (const auto& object : objects) out.push_back(object->value("name").asString().value_or("?"));
        return out;
    }
};

TEST_F(BackendQueryTest, EqualToPointerFindsTheCatalogsRecordsAsTheRegisteredClass) {
    const auto [objects, error] = find(components());
    ASSERT_FALSE(error) << error->description();
    EXPECT_EQ(objects.size(), 4u);
    for (const auto& object : objects) {
        EXPECT_NE(std::dynamic_pointer_cast<QueryTestComponent>(object), nullptr);
        EXPECT_TRUE(object->createdAt().has_value());
        EXPECT_TRUE(object->updatedAt().has_value());
    }
}

TEST_F(BackendQueryTest, ContainedInAndDoesNotExist) {
    auto query = components();
    query.whereContainedIn("name", {ParseValue("Sofa"), ParseValue("Chair"), ParseValue("Nothing")});
    auto found = names(find(query).first);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"Chair", "Sofa"}));

    auto published = components();
    published.whereDoesNotExist("inDraftBy");
    found = names(find(published).first);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"Chair", "Corner", "Sofa"}));
}

TEST_F(BackendQueryTest, IncludedPointersArriveFilledOthersAsStubs) {
    auto query = components();
    query.whereEqualTo("name", "Chair");
    auto [plain, error] = first(query);
    ASSERT_FALSE(error) << error->description();
    auto stub = plain->value("parent").asObject<QueryTestComponent>();
    ASSERT_NE(stub, nullptr);
    EXPECT_FALSE(stub->isDataAvailable());
    EXPECT_TRUE(stub->value("name").isAbsent());

    query.includeKey("parent");
    auto [included, error2] = first(query);
    ASSERT_FALSE(error2);
    auto parent = included->value("parent").asObject<QueryTestComponent>();
    ASSERT_NE(parent, nullptr);
    EXPECT_TRUE(parent->isDataAvailable());
    EXPECT_EQ(parent->value("name").asString(), "Sofa");
}

TEST_F(BackendQueryTest, SelectedKeysLimitTheValues) {
    auto query = components();
    query.whereEqualTo("name", "Sofa").selectKeys({"name"});
    const auto [object, error] = first(query);
    ASSERT_FALSE(error);
    EXPECT_EQ(object->value("name").asString(), "Sofa");
    EXPECT_TRUE(object->value("price").isAbsent());
    EXPECT_TRUE(object->objectId().has_value());
}

TEST_F(BackendQueryTest, OrderByAscendingThenAddAscendingOrder) {
    auto query = components();
    query.orderByAscending("appName").addAscendingOrder("name");
    // PostgreSQL sorts records without the key last.
    EXPECT_EQ(names(find(query).first), (std::vector<std::string>{"Draft", "Sofa", "Chair", "Corner"}));
    query.orderByDescending("name");
    EXPECT_EQ(names(find(query).first), (std::vector<std::string>{"Sofa", "Draft", "Corner", "Chair"}));
}

TEST_F(BackendQueryTest, PagesOfOneHundredCoverEveryRecordOnce) {
    ParseQuery materials("Material");
    materials.whereEqualTo("catalog", catalog()).orderByAscending("name").setLimit(100);
    std::set<std::string> ids;
    std::vector<std::size_t> pages;
    for (int skip = 0;; skip += 100) {
        materials.setSkip(skip);
        const auto [page, error] = find(materials);
        ASSERT_FALSE(error) << error->description();
        pages.push_back(page.size());
        for (const auto& object : page) ids.insert(*object->objectId());
        if (page.size() < 100) break;
    }
    EXPECT_EQ(pages, (std::vector<std::size_t>{100, 100, 50}));
    EXPECT_EQ(ids.size(), 250u);
    materials.setLimit(20).setSkip(0);
    EXPECT_EQ(find(materials).first.size(), 20u);
    // Without a limit the server answers its default page.
    ParseQuery unlimited("Material");
    unlimited.whereEqualTo("catalog", catalog());
    EXPECT_EQ(find(unlimited).first.size(), 100u);
}

TEST_F(BackendQueryTest, CountsIgnorePaging) {
    ParseQuery materials("Material");
    materials.whereEqualTo("catalog", catalog()).setLimit(10).setSkip(5);
    const auto [n, error] = count(materials);
    ASSERT_FALSE(error) << error->description();
    EXPECT_EQ(n, 250);
    EXPECT_EQ(count(components()).first, 4);
}

TEST_F(BackendQueryTest, GetObjectFindsByIdAndReports101ForUnknownIds) {
    const std::string sofaId = data()["sofa"];
    auto [object, error] = get(ParseQuery("Component"), sofaId);
    ASSERT_FALSE(error);
    EXPECT_EQ(object->value("name").asString(), "Sofa");
    auto [missing, notFound] = get(ParseQuery("Component"), "doesNotExist1");
    EXPECT_EQ(missing, nullptr);
    ASSERT_TRUE(notFound);
    EXPECT_EQ(notFound->code, ParseErrorCode::objectNotFound);
    auto none = components();
    none.whereEqualTo("name", "Nothing");
    EXPECT_EQ(first(none).second->code, ParseErrorCode::objectNotFound);
}

TEST_F(BackendQueryTest, RelationQueryListsTheRelatedRecords) {
    auto sofa = ParseObject::createWithoutData("Component", data()["sofa"]);
    ASSERT_FALSE(fetch(sofa).second);
    auto variances = sofa->relation("variances");
    EXPECT_EQ(variances.targetClassName(), "Component");
    auto found = names(find(variances.query()).first);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"Chair", "Corner"}));
}

TEST_F(BackendQueryTest, RoleQueryByNameAndMembership) {
    auto manager = ParseObject::createWithoutData("_User", data()["manager"]["objectId"]);
    auto employee = ParseObject::createWithoutData("_User", data()["employee"]["objectId"]);
    ParseQuery managers("_Role");
    managers.whereEqualTo("name", "ROLE_COMPANY_MANAGER").whereEqualTo("users", manager);
    const auto [n, error] = count(managers);
    ASSERT_FALSE(error) << error->description();
    EXPECT_EQ(n, 1);
    auto role = first(managers).first;
    EXPECT_NE(std::dynamic_pointer_cast<ParseRole>(role), nullptr);
    ParseQuery notManager("_Role");
    notManager.whereEqualTo("name", "ROLE_COMPANY_MANAGER").whereEqualTo("users", employee);
    EXPECT_EQ(count(notManager).first, 0);
}

TEST_F(BackendQueryTest, SessionAndPermissionErrorsKeepTheirCodes) {
    auto record = std::make_shared<QueryTestComponent>();
    record->set("catalog", catalog());
    record->set("name", "Employee's attempt");
    ParseUser::logOut();
    logIn(data()["employee"]["username"], data()["employee"]["password"]);
    const auto [ok, forbidden] = save(record);
    EXPECT_FALSE(ok);
    ASSERT_TRUE(forbidden);
    EXPECT_EQ(forbidden->code, ParseErrorCode::operationForbidden) << forbidden->description();

    OptionalError invalid;
    EXPECT_EQ(ParseUser::become("r:not-a-session-token", &invalid), nullptr);
    ASSERT_TRUE(invalid);
    EXPECT_EQ(invalid->code, ParseErrorCode::invalidSessionToken);
}

TEST_F(BackendQueryTest, AnonymousReadsOfCatalogueClassesAreRefused) {
    ParseUser::logOut();
    const auto [objects, error] = find(components());
    ASSERT_TRUE(error);
    EXPECT_TRUE(objects.empty());
    // The class needs a signed-in user; the server answers "Permission denied" as code 101.
    EXPECT_EQ(error->code, ParseErrorCode::objectNotFound) << error->description();
}

TEST_F(BackendQueryTest, CacheElseNetworkAnswersFromTheCacheUntilCleared) {
    const std::string cornerId = data()["corner"];
    auto query = components();
    query.whereEqualTo("objectId", cornerId).setCachePolicy(CachePolicy::cacheElseNetwork);
    ASSERT_EQ(names(find(query).first), std::vector<std::string>{"Corner"});
    const auto renamed = uniqueName("Corner");
    peer({"--master", "update", "Component", cornerId, json{{"name", renamed}}.dump()});
    EXPECT_EQ(names(find(query).first), std::vector<std::string>{"Corner"});  // the cached answer
    query.setCachePolicy(CachePolicy::networkOnly);
    EXPECT_EQ(names(find(query).first), std::vector<std::string>{renamed});  // refreshes the cache too
    query.setCachePolicy(CachePolicy::cacheElseNetwork);
    EXPECT_EQ(names(find(query).first), std::vector<std::string>{renamed});
    peer({"--master", "update", "Component", cornerId, R"({"name":"Corner"})"});
    ParseQuery::clearAllCachedResults();
    EXPECT_EQ(names(find(query).first), std::vector<std::string>{"Corner"});
    // Another session never sees this session's cached answers.
    ParseUser::logOut();
    query.setCachePolicy(CachePolicy::cacheOnly);
    EXPECT_EQ(find(query).second->code, ParseErrorCode::cacheMiss);
}

}  // namespace
}  // namespace vantrel
