// Objects against the reference backend: saving, fetching and deleting, how each kind of value
// comes back, and interoperability with the Parse JavaScript SDK (backend/peer/peer.mjs).

#include "support/BackendAwait.hpp"
#include "support/BackendFixture.hpp"
#include "vantrel/backend/ParseError.hpp"
#include "vantrel/backend/ParseUser.hpp"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using nlohmann::json;

class ObjectTestComponent : public ParseObject {
public:
    static std::string parseClassName() { return "Component"; }
    ObjectTestComponent() : ParseObject(parseClassName()) {}
};

class BackendObjectTest : public test::BackendFixture {
protected:
    void SetUp() override {
        BackendFixture::SetUp();
        if (HasFatalFailure()) return;
        ParseObject::registerSubclass<ObjectTestComponent>();
        data_ = seedCompany(json::array({{{"alias", "unit"},
                                          {"className", "ModelMeasuringUnit"},
                                          {"fields", {{"name", "cm"}, {"factor", 0.01}}}}}));
        ASSERT_TRUE(data_.contains("catalog"));
        logIn(data_["manager"]["username"], data_["manager"]["password"]);
    }
    void TearDown() override {
        ParseObject::unregisterSubclass(ObjectTestComponent::parseClassName());
        BackendFixture::TearDown();
    }

    std::shared_ptr<ObjectTestComponent> newComponent(const std::string& name) {
        auto component = std::make_shared<ObjectTestComponent>();
        component->set("catalog", ParseObject::createWithoutData("Catalog", data_["catalog"]));
        component->set("name", name);
        return component;
    }

    std::shared_ptr<ParseObject> reread(const std::string& id) {
        auto [object, error] = get(ParseQuery("Component"), id);
        EXPECT_FALSE(error) << error->description();
        return object;
    }

    std::string managerLogin() const {
        return data_["manager"]["username"].get<std::string>() + ":" + data_["manager"]["password"].get<std::string>();
    }

    json data_;
};

TEST_F(BackendObjectTest, SaveUpdateFetchAndDelete) {
    auto component = newComponent("Lamp");
    auto [ok, error] = save(component);
    ASSERT_TRUE(ok) << error->description();
    ASSERT_TRUE(component->objectId());
    EXPECT_TRUE(component->createdAt());
    const auto id = *component->objectId();

    component->set("description", "bright");
    std::tie(ok, error) = save(component);
    ASSERT_TRUE(ok);
    EXPECT_GE(*component->updatedAt(), *component->createdAt());

    auto copy = ParseObject::createWithoutData("Component", id);
    auto [fetched, fetchError] = fetch(copy);
    ASSERT_FALSE(fetchError);
    EXPECT_EQ(fetched->value("description").asString(), "bright");
    EXPECT_NE(std::dynamic_pointer_cast<ObjectTestComponent>(copy), nullptr);

    std::tie(ok, error) = remove(component);
    ASSERT_TRUE(ok) << error->description();
    EXPECT_EQ(fetch(ParseObject::createWithoutData("Component", id)).second->code, ParseErrorCode::objectNotFound);
}

TEST_F(BackendObjectTest, EachKindOfValueComesBack) {
    auto component = newComponent("Kinds");
    component->set("price", 2.5);
    component->set("isFloating", true);
    component->set("scnModelMeasuringUnit", ParseObject::createWithoutData("ModelMeasuringUnit", data_["unit"]));
    const auto date = *parseParseDate("2024-05-01T12:30:00.123Z");
    component->set("snappingAreas",
                   ParseValue::Array{ParseValue(ParseValue::Object{{"offsetPosition", "1,0,0"}, {"weight", 3}}),
                                     ParseValue(1.5), ParseValue(7)});
    component->set("images", ParseValue::Object{{"when", date}, {"count", 2}, {"ratio", 0.75}});
    ASSERT_TRUE(save(component).first);

    auto back = reread(*component->objectId());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->value("price").kind(), ParseValue::Kind::number);
    EXPECT_EQ(back->value("price").asDouble(), 2.5);
    EXPECT_EQ(back->value("isFloating").asBool(), true);
    auto unit = back->value("scnModelMeasuringUnit").asObject();
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->className(), "ModelMeasuringUnit");
    const auto areasValue = back->value("snappingAreas");
    const auto* areas = areasValue.array();
    ASSERT_NE(areas, nullptr);
    ASSERT_EQ(areas->size(), 3u) << back->toJSON().dump();
    ASSERT_NE(areas->at(0).object(), nullptr) << back->toJSON().dump();
    EXPECT_EQ(areas->at(0).object()->at("weight").asInteger(), 3);
    EXPECT_EQ(areas->at(1).kind(), ParseValue::Kind::number);
    EXPECT_EQ(areas->at(2).kind(), ParseValue::Kind::integer);
    const auto imagesValue = back->value("images");
    const auto* images = imagesValue.object();
    ASSERT_NE(images, nullptr);
    EXPECT_EQ(images->at("when").asDate(), date);
    EXPECT_EQ(images->at("count").kind(), ParseValue::Kind::integer);
    EXPECT_EQ(images->at("ratio").asDouble(), 0.75);
}

// What the server keeps of integral doubles and nulls (see ParseValue's documentation).
TEST_F(BackendObjectTest, IntegralDoubleInANumberColumnReadsBackAsInteger) {
    auto component = newComponent("Numbers");
    component->set("price", 2.0);
    component->set("snappingAreas", ParseValue::Array{ParseValue(2.0), ParseValue(2)});
    ASSERT_TRUE(save(component).first);
    EXPECT_EQ(component->value("price").kind(), ParseValue::Kind::number);  // unchanged here
    auto back = reread(*component->objectId());
    // A Number column is double precision; the server prints an integral double as "2".
    EXPECT_EQ(back->value("price").kind(), ParseValue::Kind::integer);
    EXPECT_EQ(back->value("price").asDouble(), 2.0);
    // Inside an Array (JSON) column the server's JSON writer does the same.
    EXPECT_EQ(back->value("snappingAreas").asArray()->at(0).kind(), ParseValue::Kind::integer);
}

TEST_F(BackendObjectTest, NullStoredOnTheServerReadsBackAsAbsent) {
    auto component = newComponent("Nulls");
    component->set("description", "text");
    ASSERT_TRUE(save(component).first);
    component->set("description", ParseValue::null());
    ASSERT_TRUE(save(component).first);
    EXPECT_TRUE(component->value("description").isNull());  // kept apart locally
    auto back = reread(*component->objectId());
    // PostgreSQL keeps no difference between a null column and a missing one.
    EXPECT_TRUE(back->value("description").isAbsent());
    EXPECT_TRUE(back->value("productLink").isAbsent());
}

TEST_F(BackendObjectTest, FetchIfNeededFillsAStubPointer) {
    auto component = newComponent("WithUnit");
    component->set("scnModelMeasuringUnit", ParseObject::createWithoutData("ModelMeasuringUnit", data_["unit"]));
    ASSERT_TRUE(save(component).first);
    auto stub = reread(*component->objectId())->value("scnModelMeasuringUnit").asObject();
    ASSERT_FALSE(stub->isDataAvailable());
    test::Await<One> done;
    stub->fetchIfNeededInBackground([done](auto object, auto error) { done.set({object, error}); });
    const auto result = done.get();
    ASSERT_TRUE(result);
    ASSERT_FALSE(result->second);
    EXPECT_EQ(result->first, stub);
    EXPECT_EQ(stub->value("factor").asDouble(), 0.01);
}

TEST_F(BackendObjectTest, WhatTheJavaScriptSdkWritesWeRead) {
    const json fields = {{"catalog", {{"__type", "Pointer"}, {"className", "Catalog"}, {"objectId", data_["catalog"]}}},
                         {"name", "From JS"},
                         {"price", 12.75},
                         {"isFloating", false},
                         {"snappingAreas", {{{"offsetPosition", "0,1,0"}, {"n", 4}}}},
                         {"images", {{"when", {{"__type", "Date"}, {"iso", "2023-03-04T05:06:07.089Z"}}}}},
                         {"scnModelMeasuringUnit",
                          {{"__type", "Pointer"}, {"className", "ModelMeasuringUnit"}, {"objectId", data_["unit"]}}}};
    const auto id = peer({"--login", managerLogin(), "save", "Component", fields.dump()});
    ASSERT_FALSE(id.empty());
    auto object = reread(id);
    ASSERT_NE(std::dynamic_pointer_cast<ObjectTestComponent>(object), nullptr);
    EXPECT_EQ(object->value("name").asString(), "From JS");
    EXPECT_EQ(object->value("price").asDouble(), 12.75);
    EXPECT_EQ(object->value("isFloating").asBool(), false);
    EXPECT_EQ(object->value("snappingAreas").asArray()->at(0).asDictionary()->at("n").asInteger(), 4);
    EXPECT_EQ(formatParseDate(*object->value("images").asDictionary()->at("when").asDate()),
              "2023-03-04T05:06:07.089Z");
    EXPECT_EQ(object->value("scnModelMeasuringUnit").asObject()->objectId(), data_["unit"]);
    EXPECT_EQ(object->value("catalog").asObject()->objectId(), data_["catalog"]);
}

TEST_F(BackendObjectTest, WhatWeWriteTheJavaScriptSdkReads) {
    auto component = newComponent("From C++");
    component->set("price", 3.25);
    component->set("isFloating", true);
    component->set("images", ParseValue::Object{{"when", *parseParseDate("2022-01-02T03:04:05.006Z")}, {"n", 5}});
    component->set("scnModelMeasuringUnit", ParseObject::createWithoutData("ModelMeasuringUnit", data_["unit"]));
    ASSERT_TRUE(save(component).first);
    const auto text = peer({"--login", managerLogin(), "get", "Component", *component->objectId()});
    const json seen = json::parse(text, nullptr, false);
    ASSERT_TRUE(seen.is_object()) << text;
    EXPECT_EQ(seen["name"], "From C++");
    EXPECT_EQ(seen["price"], 3.25);
    EXPECT_EQ(seen["isFloating"], true);
    EXPECT_EQ(seen["images"]["n"], 5);
    EXPECT_EQ(seen["images"]["when"], json::parse(R"({"__type":"Date","iso":"2022-01-02T03:04:05.006Z"})"));
    EXPECT_EQ(seen["scnModelMeasuringUnit"]["__type"], "Pointer");
    EXPECT_EQ(seen["scnModelMeasuringUnit"]["objectId"], data_["unit"]);
    EXPECT_EQ(seen["catalog"]["objectId"], data_["catalog"]);
}

}  // namespace
}  // namespace vantrel
