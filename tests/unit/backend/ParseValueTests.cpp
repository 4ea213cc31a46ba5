#include "vantrel/backend/ParseObject.hpp"
#include "vantrel/backend/ParseValue.hpp"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using nlohmann::json;

class ValueTestRecord : public ParseObject {
public:
    static std::string parseClassName() { return "ValueTestRecord"; }
    ValueTestRecord() : ParseObject(parseClassName()) {}
};

ParseValue decode(const char* text) { return ParseValue::fromJSON(json::parse(text)); }

TEST(ParseValueKinds, KeepsAbsentNullAndEachJsonTypeApart) {
    EXPECT_EQ(ParseValue().kind(), ParseValue::Kind::absent);
    EXPECT_EQ(ParseValue::null().kind(), ParseValue::Kind::null);
    EXPECT_EQ(ParseValue(true).kind(), ParseValue::Kind::boolean);
    EXPECT_EQ(ParseValue(2).kind(), ParseValue::Kind::integer);
    EXPECT_EQ(ParseValue(2.0).kind(), ParseValue::Kind::number);
    EXPECT_EQ(ParseValue("text").kind(), ParseValue::Kind::string);
    EXPECT_NE(ParseValue(), ParseValue::null());
    EXPECT_NE(ParseValue(2), ParseValue(2.0));
    EXPECT_NE(ParseValue(0), ParseValue(false));
    EXPECT_NE(ParseValue(""), ParseValue::null());
}

TEST(ParseValueKinds, IntegerAndDoubleStayDifferentThroughJsonText) {
    const auto integer = decode("2");
    const auto floating = decode("2.0");
    EXPECT_EQ(integer.kind(), ParseValue::Kind::integer);
    EXPECT_EQ(floating.kind(), ParseValue::Kind::number);
    EXPECT_EQ(decode("1e2").kind(), ParseValue::Kind::number);
    // Doubles are written with a fraction so that they read back as doubles.
    EXPECT_EQ(ParseValue(2.0).toJSON().dump(), "2.0");
    EXPECT_EQ(ParseValue(2).toJSON().dump(), "2");
    EXPECT_EQ(ParseValue::fromJSON(json::parse(ParseValue(2.0).toJSON().dump())).kind(), ParseValue::Kind::number);
}

TEST(ParseValueKinds, NumericReadersFollowTheRecordRules) {
    EXPECT_EQ(ParseValue(2).asDouble(), 2.0);  // a floating reader accepts a stored integer
    EXPECT_FALSE(ParseValue(2.5).asInteger().has_value());
    EXPECT_EQ(ParseValue(std::int64_t{9007199254740993}).asInteger(), 9007199254740993);
    EXPECT_FALSE(ParseValue("2").asDouble().has_value());
    EXPECT_FALSE(ParseValue::null().asBool().has_value());
    EXPECT_FALSE(ParseValue(1).asBool().has_value());
}

TEST(ParseValueKinds, HugeUnsignedNumbersBecomeDoubles) {
    const auto value = decode("18446744073709551615");
    EXPECT_EQ(value.kind(), ParseValue::Kind::number);
}

TEST(ParseValueEncoding, DatesRoundTripWithMilliseconds) {
    const auto value = decode(R"({"__type":"Date","iso":"2024-05-01T12:30:00.123Z"})");
    ASSERT_EQ(value.kind(), ParseValue::Kind::date);
    EXPECT_EQ(formatParseDate(*value.asDate()), "2024-05-01T12:30:00.123Z");
    EXPECT_EQ(value.toJSON(), json::parse(R"({"__type":"Date","iso":"2024-05-01T12:30:00.123Z"})"));
}

TEST(ParseValueEncoding, PlainIsoTextStaysTextButReadsAsDate) {
    const auto value = decode(R"("2024-05-01T12:30:00.000Z")");
    EXPECT_EQ(value.kind(), ParseValue::Kind::string);
    ASSERT_TRUE(value.asDate().has_value());
    EXPECT_FALSE(ParseValue("yesterday").asDate().has_value());
}

TEST(ParseValueEncoding, DateParserAcceptsOffsetsAndRejectsGarbage) {
    EXPECT_EQ(formatParseDate(*parseParseDate("2024-05-01T14:30:00+02:00")), "2024-05-01T12:30:00.000Z");
    EXPECT_EQ(formatParseDate(*parseParseDate("2024-05-01T12:30:00.5Z")), "2024-05-01T12:30:00.500Z");
    EXPECT_FALSE(parseParseDate("2024-13-01T12:30:00Z"));
    EXPECT_FALSE(parseParseDate("2024-02-30T12:30:00Z"));
    EXPECT_FALSE(parseParseDate("2024-05-01T12:30:00"));
    EXPECT_FALSE(parseParseDate("2024-05-01T12:30:00Zjunk"));
}

TEST(ParseValueEncoding, PointersBecomeStubsOfTheRegisteredClass) {
    ParseObject::registerSubclass<ValueTestRecord>();
    const auto value = decode(R"({"__type":"Pointer","className":"ValueTestRecord","objectId":"abc"})");
    auto record = value.asObject<ValueTestRecord>();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->objectId(), "abc");
    EXPECT_FALSE(record->isDataAvailable());
    EXPECT_EQ(value.toJSON(), json::parse(R"({"__type":"Pointer","className":"ValueTestRecord","objectId":"abc"})"));
    ParseObject::unregisterSubclass(ValueTestRecord::parseClassName());
}

TEST(ParseValueEncoding, IncludedObjectsArriveFilled) {
    ParseObject::registerSubclass<ValueTestRecord>();
    const auto value = decode(
        R"({"__type":"Object","className":"ValueTestRecord","objectId":"x1","name":"Sofa","createdAt":"2024-01-01T00:00:00.000Z"})");
    auto record = value.asObject<ValueTestRecord>();
    ASSERT_NE(record, nullptr);
    EXPECT_TRUE(record->isDataAvailable());
    EXPECT_EQ(record->value("name").asString(), "Sofa");
    EXPECT_TRUE(record->createdAt().has_value());
    ParseObject::unregisterSubclass(ValueTestRecord::parseClassName());
}

TEST(ParseValueEncoding, PointersInsideArraysAndDictionariesAreDecoded) {
    const auto value = decode(R"({"list":[{"__type":"Pointer","className":"Thing","objectId":"t1"}, 3, null]})");
    ASSERT_NE(value.object(), nullptr);
    const auto& list = value.object()->at("list");
    ASSERT_NE(list.array(), nullptr);
    ASSERT_EQ(list.array()->size(), 3u);
    EXPECT_EQ(list.array()->at(0).asObject()->className(), "Thing");
    EXPECT_EQ(list.array()->at(1).asInteger(), 3);
    EXPECT_TRUE(list.array()->at(2).isNull());
}

TEST(ParseValueEncoding, RelationsFilesAndUnknownTypes) {
    const auto relation = decode(R"({"__type":"Relation","className":"_User"})");
    ASSERT_TRUE(relation.asRelation());
    EXPECT_EQ(relation.asRelation()->targetClassName(), "_User");
    const auto file = decode(R"({"__type":"File","name":"a.zip","url":"https://x/a.zip"})");
    ASSERT_TRUE(file.asFile());
    EXPECT_EQ(file.asFile()->name, "a.zip");
    EXPECT_EQ(file.toJSON()["url"], "https://x/a.zip");
    // Types the client has no own kind for stay dictionaries and encode back unchanged.
    const auto geo = json::parse(R"({"__type":"GeoPoint","latitude":1.5,"longitude":2.5})");
    const auto value = ParseValue::fromJSON(geo);
    EXPECT_EQ(value.kind(), ParseValue::Kind::object);
    EXPECT_EQ(value.toJSON(), geo);
}

TEST(ParseValueEquality, ObjectsCompareByClassAndIdOrIdentity) {
    auto a = ParseObject::createWithoutData("Thing", "1");
    auto b = ParseObject::createWithoutData("Thing", "1");
    auto c = ParseObject::createWithoutData("Other", "1");
    EXPECT_EQ(ParseValue(a), ParseValue(b));
    EXPECT_NE(ParseValue(a), ParseValue(c));
    auto unsaved1 = ParseObject::create("Thing");
    auto unsaved2 = ParseObject::create("Thing");
    EXPECT_EQ(ParseValue(unsaved1), ParseValue(unsaved1));
    EXPECT_NE(ParseValue(unsaved1), ParseValue(unsaved2));
    EXPECT_TRUE(ParseValue(std::shared_ptr<ParseObject>()).isNull());
}

}  // namespace
}  // namespace vantrel
