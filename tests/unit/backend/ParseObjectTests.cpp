#include "backend/JsonDocument.hpp"
#include "backend/QueryResults.hpp"
#include "vantrel/backend/ParseObject.hpp"
#include "vantrel/backend/ParseQuery.hpp"
#include "vantrel/backend/ParseRole.hpp"
#include "vantrel/backend/ParseUser.hpp"

#include "support/BackendAwait.hpp"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using nlohmann::json;

class ObjectTestRecord : public ParseObject {
public:
    static std::string parseClassName() { return "ObjectTestRecord"; }
    ObjectTestRecord() : ParseObject(parseClassName()) {}
    // Records compare by id, as the domain layer's records do.
    bool isEqual(const ParseObject& other) const override {
        const auto id = objectId();
        return id ? id == other.objectId() : this == &other;
    }
};

class ObjectTestUser : public ParseUser {
public:
    ObjectTestUser() = default;
};

class RegistryTest : public testing::Test {
protected:
    void TearDown() override {
        ParseObject::unregisterSubclass(ObjectTestRecord::parseClassName());
        ParseObject::unregisterSubclass(ParseUser::parseClassName());
    }
};

TEST(ParseObjectValues, SetNullRemoveAndAbsentAreDistinct) {
    auto object = ParseObject::create("Thing");
    EXPECT_TRUE(object->value("a").isAbsent());
    object->set("a", ParseValue::null());
    EXPECT_TRUE(object->value("a").isNull());
    EXPECT_TRUE(object->containsKey("a"));
    object->set("a", 2);
    EXPECT_EQ(object->value("a").asInteger(), 2);
    object->remove("a");
    EXPECT_TRUE(object->value("a").isAbsent());
    EXPECT_FALSE(object->containsKey("a"));
    EXPECT_TRUE(object->isDirty());
}

TEST(ParseObjectValues, ToJsonEncodesEveryValue) {
    auto object = ParseObject::create("Thing");
    object->set("int", 2);
    object->set("double", 2.0);
    object->set("null", ParseValue::null());
    object->set("pointer", ParseObject::createWithoutData("Other", "o1"));
    const auto encoded = object->toJSON();
    EXPECT_EQ(encoded["className"], "Thing");
    EXPECT_TRUE(encoded["int"].is_number_integer());
    EXPECT_TRUE(encoded["double"].is_number_float());
    EXPECT_TRUE(encoded["null"].is_null());
    EXPECT_EQ(encoded["pointer"]["objectId"], "o1");
    EXPECT_FALSE(encoded.contains("objectId"));
}

TEST(ParseObjectMerge, ServerDataFillsIdTimesAndValues) {
    auto object = ParseObject::createWithoutData("Thing", "t1");
    EXPECT_FALSE(object->isDataAvailable());
    object->mergeFromServer(json::parse(R"({"objectId":"t1","createdAt":"2024-01-01T00:00:00.000Z",
        "updatedAt":{"__type":"Date","iso":"2024-01-02T00:00:00.000Z"},"n":1.5,"s":"x"})"),
                            true);
    EXPECT_TRUE(object->isDataAvailable());
    EXPECT_EQ(formatParseDate(*object->createdAt()), "2024-01-01T00:00:00.000Z");
    EXPECT_EQ(formatParseDate(*object->updatedAt()), "2024-01-02T00:00:00.000Z");
    EXPECT_EQ(object->value("n").asDouble(), 1.5);
    EXPECT_FALSE(object->containsKey("createdAt"));  // times are not values
}

TEST(ParseObjectMerge, FullRecordDropsStaleKeysButKeepsUnsavedChanges) {
    auto object = ParseObject::createWithoutData("Thing", "t1");
    object->mergeFromServer(json::parse(R"({"a":1,"b":2})"), true);
    object->set("c", "local");
    object->mergeFromServer(json::parse(R"({"a":3})"), true);
    EXPECT_EQ(object->value("a").asInteger(), 3);
    EXPECT_TRUE(object->value("b").isAbsent());
    EXPECT_EQ(object->value("c").asString(), "local");
}

TEST(ParseObjectMerge, LocalChangeWinsOverServerValueUntilSaved) {
    auto object = ParseObject::createWithoutData("Thing", "t1");
    object->set("a", 10);
    object->mergeFromServer(json::parse(R"({"a":1})"), true);
    EXPECT_EQ(object->value("a").asInteger(), 10);
}

// A query's answer decoded straight from its text gives the records that decoding its JSON tree
// gives: same classes, ids, dates, values (special types, twins of a key: the last counts), and
// the same entries skipped.
TEST(ParseObjectMerge, RecordsDecodedFromAnAnswersTextAreThoseOfItsParsedTree) {
    const std::string answers[] = {
        R"({"results": [
            {"objectId": "a1", "createdAt": "2026-12-07T10:00:00.123Z", "updatedAt": "2026-12-08T11:00:00.000Z",
             "name": "Sofa", "price": 10.5, "rank": 3, "negative": -4, "huge": 18446744073709551615,
             "flag": true, "nothing": null, "tags": ["a", 1, {"k": [null, false]}],
             "catalog": {"__type": "Pointer", "className": "Catalog", "objectId": "k0"},
             "file": {"__type": "File", "name": "f.zip", "url": "https://files.invalid/f.zip"},
             "items": {"__type": "Relation", "className": "Item"},
             "when": {"__type": "Date", "iso": "2026-01-02T03:04:05.006Z"},
             "badDate": {"__type": "Date", "iso": "yesterday"},
             "embedded": {"__type": "Object", "className": "Material", "objectId": "m1", "color": "#FFF"},
             "oddType": {"__type": 7, "x": 1},
             "ACL": {"*": {"read": true}}}]})",
        // Twins: the later one counts, for plain keys, the id, the dates and the type of a value.
        R"({"results": [{"objectId": "gone"}],
            "results": [{"objectId": 5, "objectId": "b2", "name": "first", "name": "second",
            "createdAt": {"__type": "Date", "iso": "2026-12-07T10:00:00.000Z"}, "createdAt": 12,
            "v": {"__type": "Pointer", "__type": "File", "name": "n", "className": "C", "objectId": "o"}},
            {"objectId": "c3", "className": "Other", "updatedAt": "not a date", "createdAt": {"__type": 5}},
            4, "x", [], {}]})",
        R"({"results": [{"objectId": "u1", "sessionToken": "r:secret", "password": "p", "username": "ann"}]})",
        R"({"results": []})",
    };
    const std::string classes[] = {"Component", "Thing", "_User", "Thing"};
    for (std::size_t i = 0; i < std::size(answers); ++i) {
        SCOPED_TRACE(answers[i]);
        const auto tree = backend_detail::parseJsonDocument(answers[i]);
        ASSERT_TRUE(tree.is_object());
        std::vector<std::shared_ptr<ParseObject>> expected;
        for (const auto& item : tree["results"])
            if (auto object = ParseObject::fromJSON(item, classes[i])) expected.push_back(object);
        const auto decoded = backend_detail::decodeQueryResults(answers[i], classes[i]);
        ASSERT_TRUE(decoded.has_value());
        ASSERT_EQ(decoded->size(), expected.size());
        for (std::size_t r = 0; r < expected.size(); ++r) {
            const auto& a = *(*decoded)[r];
            const auto& b = *expected[r];
            EXPECT_EQ(typeid(a), typeid(b));
            EXPECT_EQ(a.className(), b.className());
            EXPECT_EQ(a.objectId(), b.objectId());
            EXPECT_EQ(a.createdAt(), b.createdAt());
            EXPECT_EQ(a.updatedAt(), b.updatedAt());
            EXPECT_EQ(a.toJSON().dump(), b.toJSON().dump());
            if (const auto* user = dynamic_cast<const ParseUser*>(&a)) {
                EXPECT_EQ(user->sessionToken(), dynamic_cast<const ParseUser&>(b).sessionToken());
                EXPECT_EQ(user->sessionToken(), "r:secret");
                EXPECT_FALSE(a.containsKey("password"));
            }
        }
    }
    const auto twins = backend_detail::decodeQueryResults(answers[1], "Thing");
    ASSERT_TRUE(twins && twins->size() == 3);
    EXPECT_EQ((*twins)[0]->objectId(), "b2");
    EXPECT_EQ((*twins)[0]->value("name").asString(), "second");
    EXPECT_TRUE((*twins)[0]->value("v").asFile().has_value());
    EXPECT_EQ((*twins)[1]->className(), "Other");
    EXPECT_FALSE((*twins)[1]->createdAt().has_value()) << "a date of no known form is no date";
    const auto first = backend_detail::decodeQueryResults(answers[0], "Component");
    ASSERT_TRUE(first && first->size() == 1);
    EXPECT_EQ((*first)[0]->value("huge").asDouble(), 18446744073709551615.0);
    EXPECT_TRUE((*first)[0]->value("catalog").asObject() != nullptr);
    EXPECT_TRUE((*first)[0]->value("embedded").asObject() != nullptr);

    // What the fast parser does not read, or an answer without results, is left to the general way.
    EXPECT_FALSE(backend_detail::decodeQueryResults(R"({"results": [{"n": 123456789012345678901234567890}]})", "T"));
    EXPECT_TRUE(
        backend_detail::parseJsonDocument(R"({"results": [{"n": 123456789012345678901234567890}]})").is_object());
    EXPECT_FALSE(backend_detail::decodeQueryResults(R"({"result": []})", "T"));
    EXPECT_FALSE(backend_detail::decodeQueryResults(R"([1, 2])", "T"));
    EXPECT_FALSE(backend_detail::decodeQueryResults(R"({"results": [)", "T"));
    EXPECT_FALSE(backend_detail::decodeQueryResults(std::string(300, '[') + std::string(300, ']'), "T"));
}

TEST(ParseObjectIdentity, DefaultEqualityIsIdentityAndRecordsMayOverride) {
    auto a = ParseObject::createWithoutData("Thing", "1");
    auto b = ParseObject::createWithoutData("Thing", "1");
    EXPECT_TRUE(a->isEqual(*a));
    EXPECT_FALSE(a->isEqual(*b));
    ObjectTestRecord r1, r2, r3;
    r1.setObjectId("same");
    r2.setObjectId("same");
    EXPECT_TRUE(r1.isEqual(r2));
    EXPECT_FALSE(r1.isEqual(r3));
    EXPECT_TRUE(r3.isEqual(r3));
}

TEST_F(RegistryTest, EveryFactoryPathMakesTheRegisteredClass) {
    ParseObject::registerSubclass<ObjectTestRecord>();
    EXPECT_TRUE(ParseObject::isSubclassRegistered("ObjectTestRecord"));
    EXPECT_NE(std::dynamic_pointer_cast<ObjectTestRecord>(ParseObject::create("ObjectTestRecord")), nullptr);
    EXPECT_NE(std::dynamic_pointer_cast<ObjectTestRecord>(ParseObject::createWithoutData("ObjectTestRecord", "1")),
              nullptr);
    EXPECT_NE(std::dynamic_pointer_cast<ObjectTestRecord>(
                  ParseObject::fromJSON(json::parse(R"({"className":"ObjectTestRecord","objectId":"1"})"))),
              nullptr);
    // Results of a query carry no className: the query's class decides.
    EXPECT_NE(std::dynamic_pointer_cast<ObjectTestRecord>(
                  ParseObject::fromJSON(json::parse(R"({"objectId":"1"})"), "ObjectTestRecord")),
              nullptr);
    EXPECT_EQ(ParseObject::fromJSON(json::parse(R"({"objectId":"1"})")), nullptr);
}

TEST_F(RegistryTest, BuiltInUserAndRoleClassesWithoutRegistration) {
    EXPECT_NE(std::dynamic_pointer_cast<ParseUser>(ParseObject::create("_User")), nullptr);
    EXPECT_NE(std::dynamic_pointer_cast<ParseRole>(ParseObject::create("_Role")), nullptr);
    ParseObject::registerSubclass<ObjectTestUser>();
    EXPECT_NE(std::dynamic_pointer_cast<ObjectTestUser>(ParseObject::create("_User")), nullptr);
    ParseObject::unregisterSubclass("_User");
    EXPECT_EQ(std::dynamic_pointer_cast<ObjectTestUser>(ParseObject::create("_User")), nullptr);
}

TEST_F(RegistryTest, FactoryOfAWrongClassFallsBackToAPlainObject) {
    ParseObject::registerSubclass("Mismatch", [] { return ParseObject::create("SomethingElse"); });
    auto object = ParseObject::create("Mismatch");
    EXPECT_EQ(object->className(), "Mismatch");
    ParseObject::unregisterSubclass("Mismatch");
}

TEST(ParseUserFields, SessionTokenIsKeptApartFromValuesAndPasswordIsNeverKept) {
    auto user = std::dynamic_pointer_cast<ParseUser>(ParseObject::fromJSON(json::parse(
        R"({"className":"_User","objectId":"u1","username":"ann","sessionToken":"r:abc","password":"x"})")));
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(user->sessionToken(), "r:abc");
    EXPECT_FALSE(user->containsKey("sessionToken"));
    EXPECT_FALSE(user->containsKey("password"));
    EXPECT_EQ(user->username(), "ann");
}

TEST(ParseRelations, QueryIsRelatedToTheParentAndChangesAreRecorded) {
    auto role = std::make_shared<ParseRole>("ROLE_X");
    role->setObjectId("r1");
    auto users = role->users();
    users.addObject(ParseObject::createWithoutData("_User", "u1"));
    EXPECT_EQ(users.targetClassName(), "_User");
    EXPECT_TRUE(role->value("users").asRelation().has_value());
    const auto where = users.query().whereJSON();
    EXPECT_EQ(users.query().className(), "_User");
    EXPECT_EQ(where["$relatedTo"]["key"], "users");
    EXPECT_EQ(where["$relatedTo"]["object"]["objectId"], "r1");
    EXPECT_EQ(where["$relatedTo"]["object"]["className"], "_Role");
}

TEST(ParseRelations, RelationOfAnObjectNotHeldBySharedPointerIsUnbound) {
    ParseObject plain("Thing");
    auto relation = plain.relation("items");
    EXPECT_EQ(relation.parent(), nullptr);
    relation.addObject(ParseObject::createWithoutData("Item", "i"));  // ignored, no crash
    EXPECT_FALSE(plain.isDirty());
}

TEST(ParseObjectPersistence, ObjectOutsideASharedPointerReportsAnErrorInsteadOfThrowing) {
    test::Await<OptionalError> saved, fetched;
    {
        ParseObject plain("Thing");
        plain.setObjectId("t1");
        plain.saveInBackground([saved](bool, OptionalError error) { saved.set(std::move(error)); });
        plain.fetchInBackground(
            [fetched](std::shared_ptr<ParseObject>, OptionalError error) { fetched.set(std::move(error)); });
    }
    ASSERT_TRUE(saved.get());
    ASSERT_TRUE(*saved.get());
    EXPECT_EQ((*saved.get())->domain, "Parse");
    ASSERT_TRUE(fetched.get() && *fetched.get());
}

}  // namespace
}  // namespace vantrel
