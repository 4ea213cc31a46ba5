#include "vantrel/backend/ParseQuery.hpp"
#include "vantrel/backend/ParseUser.hpp"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using nlohmann::json;

TEST(ParseQueryEncoding, ConstraintsBuildTheWhereObject) {
    ParseQuery query("Component");
    query.whereEqualTo("catalog", ParseObject::createWithoutData("Catalog", "c1"))
        .whereContainedIn("type", {ParseValue("A"), ParseValue("B")})
        .whereDoesNotExist("inDraftBy")
        .whereGreaterThan("index", 2)
        .whereLessThanOrEqualTo("index", 10);
    const auto& where = query.whereJSON();
    EXPECT_EQ(where["catalog"], json::parse(R"({"__type":"Pointer","className":"Catalog","objectId":"c1"})"));
    EXPECT_EQ(where["type"], json::parse(R"({"$in":["A","B"]})"));
    EXPECT_EQ(where["inDraftBy"], json::parse(R"({"$exists":false})"));
    EXPECT_EQ(where["index"], json::parse(R"({"$gt":2,"$lte":10})"));
}

TEST(ParseQueryEncoding, EqualityReplacesOperatorsAndOperatorsReplaceEquality) {
    ParseQuery query("Thing");
    query.whereEqualTo("a", 1).whereGreaterThan("a", 0);
    EXPECT_EQ(query.whereJSON()["a"], json::parse(R"({"$gt":0})"));
    query.whereEqualTo("a", 5);
    EXPECT_EQ(query.whereJSON()["a"], 5);
    // An encoded value is not an operator map: adding an operator replaces it.
    query.whereEqualTo("p", ParseObject::createWithoutData("X", "1")).whereExists("p");
    EXPECT_EQ(query.whereJSON()["p"], json::parse(R"({"$exists":true})"));
}

TEST(ParseQueryEncoding, RoleMembershipIsEqualityOnTheRelationKey) {
    auto user = ParseObject::createWithoutData("_User", "u1");
    ParseQuery query("_Role");
    query.whereEqualTo("name", "ROLE_COMPANY_MANAGER").whereEqualTo("users", user);
    EXPECT_EQ(
        query.whereJSON(),
        json::parse(
            R"({"name":"ROLE_COMPANY_MANAGER","users":{"__type":"Pointer","className":"_User","objectId":"u1"}})"));
}

TEST(ParseQueryEncoding, FindParametersCarryShapeAndPaging) {
    ParseQuery query("MarketingListItem");
    query.includeKey("component").includeKey("component").includeKey("parent.catalog");
    query.selectKeys({"name", "index"});
    query.orderByAscending("parent").addAscendingOrder("index").addDescendingOrder("updatedAt");
    query.setLimit(100).setSkip(200);
    const auto params = query.findParameters();
    EXPECT_EQ(params["include"], "component,parent.catalog");
    EXPECT_EQ(params["keys"], "name,index");
    EXPECT_EQ(params["order"], "parent,index,-updatedAt");
    EXPECT_EQ(params["limit"], 100);
    EXPECT_EQ(params["skip"], 200);
    query.orderByDescending("name");
    EXPECT_EQ(query.findParameters()["order"], "-name");
}

TEST(ParseQueryEncoding, DefaultsSendNoLimitOrSkip) {
    const auto params = ParseQuery("Thing").findParameters();
    EXPECT_FALSE(params.contains("limit"));
    EXPECT_FALSE(params.contains("skip"));
    EXPECT_EQ(params["where"], json::object());
    EXPECT_EQ(ParseQuery("Thing").setSkip(-5).skip(), 0);
}

TEST(ParseQueryEncoding, CountParametersIgnorePaging) {
    ParseQuery query("Thing");
    query.whereEqualTo("a", 1).setLimit(5).setSkip(3);
    EXPECT_EQ(query.countParameters(), json::parse(R"({"where":{"a":1},"count":1,"limit":0})"));
}

TEST(ParseQueryEncoding, RelatedToNamesParentAndKey) {
    auto parent = ParseObject::createWithoutData("_Role", "r1");
    ParseQuery query("_User");
    query.whereRelatedTo(parent, "users");
    EXPECT_EQ(query.whereJSON()["$relatedTo"],
              json::parse(R"({"object":{"__type":"Pointer","className":"_Role","objectId":"r1"},"key":"users"})"));
}

TEST(ParseQueryEncoding, LiveQueryFormHasClassWhereAndKeys) {
    ParseQuery query("Component");
    query.whereEqualTo("catalog", ParseObject::createWithoutData("Catalog", "c1")).includeKey("parent");
    EXPECT_EQ(
        query.liveQueryJSON(),
        json::parse(
            R"({"className":"Component","where":{"catalog":{"__type":"Pointer","className":"Catalog","objectId":"c1"}}})"));
    query.selectKeys({"name"});
    EXPECT_EQ(query.liveQueryJSON()["keys"], json::parse(R"(["name"])"));
}

TEST(ParseQueryCacheKey, DiffersByEveryPartOfTheRequestAndTheSession) {
    ParseQuery base("Thing");
    base.whereEqualTo("a", 1);
    const auto key = base.cacheKey(base.findParameters(), "s1");
    EXPECT_EQ(key, ParseQuery(base).cacheKey(base.findParameters(), "s1"));
    EXPECT_NE(key, base.cacheKey(base.findParameters(), "s2"));
    EXPECT_NE(key, ParseQuery("Other").whereEqualTo("a", 1).cacheKey(base.findParameters(), "s1"));
    auto variants = std::vector<ParseQuery>(6, base);
    variants[0].setLimit(10);
    variants[1].setSkip(10);
    variants[2].includeKey("p");
    variants[3].selectKeys({"a"});
    variants[4].orderByAscending("a");
    variants[5].whereEqualTo("a", 1.0);  // a double 1.0 is not the integer 1
    for (const auto& variant : variants) EXPECT_NE(key, variant.cacheKey(variant.findParameters(), "s1"));
    EXPECT_NE(key, base.cacheKey(base.countParameters(), "s1"));
}

TEST(ParseQueryCacheKey, ConstraintOrderDoesNotMatter) {
    ParseQuery first("Thing"), second("Thing");
    first.whereEqualTo("a", 1).whereEqualTo("b", 2);
    second.whereEqualTo("b", 2).whereEqualTo("a", 1);
    EXPECT_EQ(first.cacheKey(first.findParameters(), ""), second.cacheKey(second.findParameters(), ""));
    EXPECT_TRUE(first == second);
}

}  // namespace
}  // namespace vantrel
