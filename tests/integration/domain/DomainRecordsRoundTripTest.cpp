// Records through the reference backend: what the Parse JavaScript SDK saves, the typed accessors
// read as the record tables say (the server turns integral doubles into integers, keeps blanks
// around texts and sends links as pointers or included objects); and what the setters store, the
// JavaScript SDK reads.

#include "support/BackendFixture.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/domain/AppListItemEntity.hpp"
#include "vantrel/domain/CatalogEntity.hpp"
#include "vantrel/domain/CompanyEntity.hpp"
#include "vantrel/domain/ComponentEntity.hpp"
#include "vantrel/domain/MaterialEntity.hpp"
#include "vantrel/domain/ModelMeasuringUnitEntity.hpp"
#include "vantrel/domain/RecordClasses.hpp"
#include "vantrel/domain/SceneEntity.hpp"
#include "vantrel/domain/UserEntity.hpp"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using nlohmann::json;

json pointer(const std::string& className, const std::string& objectId) {
    return {{"__type", "Pointer"}, {"className", className}, {"objectId", objectId}};
}

class DomainRecordsRoundTrip : public test::BackendFixture {
protected:
    void SetUp() override {
        BackendFixture::SetUp();
        if (HasFatalFailure()) return;
        registerRecordClasses();
        data_ = seedCompany(json::array(
            {{{"alias", "unit"}, {"className", "ModelMeasuringUnit"}, {"fields", {{"name", " cm \n"}, {"factor", 2}}}},
             {{"alias", "bareUnit"}, {"className", "ModelMeasuringUnit"}, {"fields", {{"name", "mm"}}}}}));
        ASSERT_TRUE(data_.contains("catalog"));
        logIn(data_["manager"]["username"], data_["manager"]["password"]);
    }

    /// The object id of a seeded record.
    std::string seeded(const char* alias) const { return data_[alias].get<std::string>(); }

    std::string managerLogin() const {
        return data_["manager"]["username"].get<std::string>() + ":" + data_["manager"]["password"].get<std::string>();
    }

    /// Saves a catalogue record of `className` through the JavaScript SDK; its object id.
    std::string saveWithPeer(const std::string& className, json fields) {
        fields["catalog"] = pointer("Catalog", seeded("catalog"));
        auto id = peer({"--login", managerLogin(), "save", className, fields.dump()});
        EXPECT_FALSE(id.empty());
        return id;
    }

    /// Reads a record through our client, as its record class.
    template <class T>
    std::shared_ptr<T> read(const std::string& objectId, const std::vector<std::string>& includes = {}) {
        ParseQuery query(T::parseClassName());
        for (const auto& key : includes) query.includeKey(key);
        auto [object, error] = get(query, objectId);
        EXPECT_FALSE(error) << error->description();
        auto record = std::dynamic_pointer_cast<T>(object);
        EXPECT_TRUE(record) << T::parseClassName() << " did not arrive as its record class";
        return record;
    }

    /// The record as the JavaScript SDK reads it.
    json readWithPeer(const std::string& className, const std::string& objectId) {
        const auto text = peer({"--login", managerLogin(), "get", className, objectId});
        auto seen = json::parse(text, nullptr, false);
        EXPECT_TRUE(seen.is_object()) << text;
        return seen;
    }

    json data_;
};

TEST_F(DomainRecordsRoundTrip, ComponentWrittenByTheJavaScriptSdk) {
    const auto id = saveWithPeer(
        "Component",
        {{"name", " Sofa SF-1 \n"},
         {"appName", "   "},
         {"productNumber", " P-1 "},
         {"price", 12},
         {"description", nullptr},
         {"isFloating", true},
         {"inDraftBy", "  "},
         {"thumbnailFilePath", " thumbs/sofa.png "},
         {"scnModelFilePath", "models/sofa.zip"},
         {"scnModelAssetFilePaths", {"tex/a.png", "tex/b.png"}},
         {"fileSizes", {{{"filePath", "models/sofa.zip"}, {"size", 100}}, {{"filePath", "tex/a.png"}, {"size", 20}}}},
         {"snappingAreas",
          {{{"connectToComponentId", "c9"}, {"offsetPosition", "0.5, 0 ,1"}, {"offsetRotation", "0,1,0"}}}},
         {"anchorObjectConnections", {{{"anchorObjectId", "a1"}, {"scale", "2"}, {"offsetPosition", "abc,2"}}}},
         {"nodesToTags",
          {{{"nodeName", "cushion"}, {"nodeId", "n1"}, {"tag", "seat"}}, {{"nodeName", "leg"}, {"tag", "legs"}}}},
         {"tagsToMaterials",
          {{{"tag", "seat"}, {"materialIds", {"m1", "m2"}}}, {{"tag", "seat"}, {"materialIds", {"m3"}}}}},
         {"combinations", {{{"name", "Dark"}, {"combinationItems", {{{"tag", "seat"}, {"materialId", "m2"}}}}}}},
         {"productLink", " https://shop.example/sofa?id=1 "},
         {"images", {{"frame", {{"original", " o.png "}, {"small", "  "}}}, {"frame360", {{"large", {"l1", "l2"}}}}}},
         {"scnModelMeasuringUnit", pointer("ModelMeasuringUnit", seeded("unit"))}});

    const auto component = read<ComponentEntity>(id, {"scnModelMeasuringUnit"});
    ASSERT_TRUE(component);
    EXPECT_EQ(component->name(), "Sofa SF-1");
    EXPECT_EQ(component->genericName(), "Sofa SF-1");
    EXPECT_EQ(component->productNumber(), "P-1");
    EXPECT_EQ(component->value("price").kind(), ParseValue::Kind::integer);
    EXPECT_DOUBLE_EQ(component->price(), 12.0);
    EXPECT_EQ(component->desc(), "");
    EXPECT_TRUE(component->isFloating());
    EXPECT_FALSE(component->isInDraft());
    ASSERT_TRUE(component->catalog());
    EXPECT_EQ(component->catalog()->id(), seeded("catalog"));
    EXPECT_EQ(component->parent(), nullptr);

    EXPECT_EQ(component->thumbnailFilePath(), "thumbs/sofa.png");
    EXPECT_TRUE(component->isModelFileZip());
    const std::vector<std::string> keys{"thumbs/sofa.png", "models/sofa.zip", "models/sofa.zip.extracted", "tex/a.png",
                                        "tex/b.png"};
    EXPECT_EQ(component->cachedFileKeys(), keys);
    EXPECT_EQ(component->totalSize(), 120);

    const auto areas = component->snappingAreas();
    ASSERT_EQ(areas.size(), 1u);
    EXPECT_EQ(areas[0]->connectToComponentId(), "c9");
    EXPECT_EQ(areas[0]->offsetPosition(), SCNVector3(0.5f, 0.0f, 1.0f));
    EXPECT_EQ(areas[0]->offsetOrientation(), SCNVector4(0.0f, 1.0f, 0.0f, 0.0f));
    const auto connections = component->anchorObjectConnections();
    ASSERT_EQ(connections.size(), 1u);
    EXPECT_EQ(connections[0]->scale(), SCNVector3(2.0f, 1.0f, 1.0f));
    EXPECT_EQ(connections[0]->offsetPosition(), SCNVector3(0.0f, 2.0f, 0.0f));

    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(component->getNodeNamesOrNodeIdsByTag("seat"), (Pairs{{"cushion", "n1"}}));
    EXPECT_EQ(component->getNodeNamesOrNodeIdsByTag("legs"), (Pairs{{"leg", ""}}));
    EXPECT_EQ(component->getMaterialIdsByTag("seat"), (std::vector<std::string>{"m1", "m2"}));
    EXPECT_TRUE(component->isMaterialAssigned("m3"));
    ASSERT_TRUE(component->isCombinationsExist());
    EXPECT_EQ(component->combinations()[0]->combinationItems()[0]->materialId(), "m2");
    EXPECT_EQ(component->productLinkUrl(), "https://shop.example/sofa?id=1");

    const auto images = component->images();
    EXPECT_EQ(images->frame()->original(), "o.png");
    EXPECT_EQ(images->frame()->small(), std::nullopt);
    EXPECT_EQ(images->frame360()->large(), (std::vector<std::string>{"l1", "l2"}));

    const auto unit = component->scnModelMeasuringUnit();
    ASSERT_TRUE(unit);
    EXPECT_EQ(unit->name(), "cm");
    EXPECT_DOUBLE_EQ(unit->factor(), 2.0);
    EXPECT_DOUBLE_EQ(read<ModelMeasuringUnitEntity>(seeded("bareUnit"))->factor(), 1.0);
}

TEST_F(DomainRecordsRoundTrip, MaterialAndSceneWrittenByTheJavaScriptSdk) {
    const auto materialId = saveWithPeer("Material", {{"name", " Oak "},
                                                      {"inDraftBy", " someone "},
                                                      {"scnProperties",
                                                       {{"shininess", 2},
                                                        {"transparency", 0.5},
                                                        {"locksAmbientWithDiffuse", false},
                                                        {"lightingModel", "physicallyBased"},
                                                        {"blendMode", "Add"},
                                                        {"diffuse",
                                                         {{"rgbHexCode", " #FF8000 "},
                                                          {"textureFilePath", "tex/oak.png"},
                                                          {"scaleX", 2},
                                                          {"wrapS", "Repeat"},
                                                          {"wrapT", "mirror"}}},
                                                        {"metalness", {{"floatValue", 0.3}, {"mappingChannel", 1}}},
                                                        {"roughness", {{"textureFilePath", "  "}}}}}});
    const auto material = read<MaterialEntity>(materialId);
    ASSERT_TRUE(material);
    EXPECT_EQ(material->name(), "Oak");
    EXPECT_TRUE(material->isInDraft());
    const auto properties = material->scnProperties();
    ASSERT_TRUE(properties);
    EXPECT_DOUBLE_EQ(properties->shininess(), 2.0);
    EXPECT_DOUBLE_EQ(properties->transparency(), 0.5);
    EXPECT_FALSE(properties->locksAmbientWithDiffuse());
    EXPECT_EQ(properties->lightingModel(), SCNLightingModel::physicallyBased);
    EXPECT_EQ(properties->blendMode(), SCNBlendMode::alpha);
    EXPECT_EQ(properties->transparencyMode(), SCNTransparencyMode::aOne);
    ASSERT_TRUE(properties->diffuse());
    EXPECT_FLOAT_EQ(properties->diffuse()->scaleX(), 2.0f);
    EXPECT_EQ(properties->diffuse()->wrapS(), SCNWrapMode::clamp);
    EXPECT_EQ(properties->diffuse()->wrapT(), SCNWrapMode::mirror);
    EXPECT_FLOAT_EQ(properties->metalness()->floatValue(), 0.3f);
    EXPECT_EQ(properties->metalness()->mappingChannel(), 1);
    EXPECT_EQ(material->textureFilePaths(), (std::map<std::string, std::string>{{"diffuse", "tex/oak.png"}}));
    EXPECT_EQ(material->uiColors().at("diffuse"), UIColor(1.0, 128.0 / 255.0, 0.0, 1.0));

    const auto sceneId =
        saveWithPeer("Scene", {{"lightingEnvironment", {{"textureFilePath", " env/studio.hdr "}, {"intensity", 2}}}});
    const auto scene = read<SceneEntity>(sceneId);
    ASSERT_TRUE(scene);
    ASSERT_TRUE(scene->lightingEnvironment());
    EXPECT_FLOAT_EQ(scene->lightingEnvironment()->intensity(), 2.0f);
    EXPECT_EQ(scene->textureFilePaths(),
              (std::map<std::string, std::string>{{"lightingEnvironment", "env/studio.hdr"}}));
    EXPECT_TRUE(scene->uiColors().empty());
}

TEST_F(DomainRecordsRoundTrip, ListItemsAndCompanyWrittenByTheJavaScriptSdk) {
    peer({"--master", "update", "Company", seeded("company"),
          json{{"watermarkPosition", " bottom_left "},
               {"watermarkPoweredbyPosition", "top"},
               {"watermarkWidthFactor", 1},
               {"watermarkAlpha", 0.25},
               {"logoFilePath", "  "},
               {"orderAbility", true}}
              .dump()});
    const auto company = read<CompanyEntity>(seeded("company"));
    ASSERT_TRUE(company);
    EXPECT_EQ(company->watermarkPosition(), CompanyEntity::WatermarkPosition::bottomLeft);
    EXPECT_EQ(company->watermarkPoweredbyPosition(), CompanyEntity::WatermarkPosition::bottomRight);
    EXPECT_FLOAT_EQ(company->watermarkWidthFactor(), 1.0f);
    EXPECT_FLOAT_EQ(company->watermarkAlpha(), 0.25f);
    EXPECT_FLOAT_EQ(company->watermarkPoweredbyAlpha(), 1.0f);
    EXPECT_EQ(company->logoFilePath(), std::nullopt);
    EXPECT_TRUE(company->orderAbility());
    EXPECT_FALSE(company->conceptAbility());

    const auto componentId =
        saveWithPeer("Component", {{"name", "SF-1"}, {"appName", " Sofa "}, {"thumbnailFilePath", "thumbs/sofa.png"}});
    const auto mainId = saveWithPeer("MarketingListItem", {{"type", "main_product "},
                                                           {"label", "Sale"},
                                                           {"index", 3},
                                                           {"textColor", " #102030 "},
                                                           {"component", pointer("Component", componentId)}});
    const auto main = read<AppListItemEntity>(mainId, {"component"});
    ASSERT_TRUE(main);
    EXPECT_TRUE(main->isMainProduct());
    EXPECT_EQ(main->label(), "Sofa");
    EXPECT_EQ(main->imagePath(), "thumbs/sofa.png");
    EXPECT_EQ(main->index(), 3);
    EXPECT_TRUE(main->enabled());
    EXPECT_TRUE(main->showPreview());
    EXPECT_EQ(main->textColor(), UIColor(16.0 / 255.0, 32.0 / 255.0, 48.0 / 255.0, 1.0));

    const auto overlayId = saveWithPeer(
        "MarketingListItem",
        {{"type", "OVERLAY_IMAGE"}, {"label", " Sale "}, {"enabled", false}, {"imagePath", " banners/sale.png "}});
    const auto overlay = read<AppListItemEntity>(overlayId);
    ASSERT_TRUE(overlay);
    EXPECT_EQ(overlay->label(), "Sale");
    EXPECT_FALSE(overlay->enabled());
    EXPECT_EQ(overlay->cachedFileKeys(), (std::vector<std::string>{"banners/sale.png"}));
}

TEST_F(DomainRecordsRoundTrip, WhatTheSettersStoreTheJavaScriptSdkReads) {
    const auto parentId = saveWithPeer("Component", {{"name", "SF"}});
    const auto componentId = saveWithPeer("Component", {{"name", "SF-1"}, {"parent", pointer("Component", parentId)}});
    const auto component = read<ComponentEntity>(componentId);
    ASSERT_TRUE(component);
    auto images = component->images();
    auto frame = images->frame();
    frame->setOriginal("pictures/o.png");
    images->setFrame(frame);
    component->setImages(images);
    component->setParent(nullptr);
    component->setPricePrefix("from");
    ASSERT_TRUE(save(component).first);

    const auto seenComponent = readWithPeer("Component", componentId);
    EXPECT_EQ(seenComponent["images"], (json{{"frame", {{"original", "pictures/o.png"}}}}));
    EXPECT_TRUE(!seenComponent.contains("parent") || seenComponent["parent"].is_null()) << seenComponent.dump();
    EXPECT_FALSE(seenComponent.contains("pricePrefix"));

    auto item = std::make_shared<AppListItemEntity>();
    item->set("catalog", ParseObject::createWithoutData("Catalog", seeded("catalog")));
    item->setType(AppListItemType::navigationItem);
    item->setLabel("Living room");
    item->setTextColor(UIColor(1.0, 128.0 / 255.0, 0.0));
    item->setImagePath(std::nullopt);
    item->setIndex(5);
    item->setComponent(component);
    ASSERT_TRUE(save(item).first);
    const auto seenItem = readWithPeer("MarketingListItem", *item->id());
    EXPECT_EQ(seenItem["type"], "NAVIGATION_ITEM");
    EXPECT_EQ(seenItem["label"], "Living room");
    EXPECT_EQ(seenItem["textColor"], "#FF8000");
    EXPECT_EQ(seenItem["index"], 5);
    EXPECT_EQ(seenItem["component"]["objectId"], componentId);
    EXPECT_TRUE(!seenItem.contains("imagePath") || seenItem["imagePath"].is_null()) << seenItem.dump();

    const auto copy = read<AppListItemEntity>(*item->id(), {"component"});
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->textColor(), UIColor(1.0, 128.0 / 255.0, 0.0, 1.0));
    EXPECT_EQ(copy->type(), AppListItemType::navigationItem);
    EXPECT_TRUE(copy->isEqual(*item));

    auto scene = std::make_shared<SceneEntity>();
    scene->set("catalog", ParseObject::createWithoutData("Catalog", seeded("catalog")));
    auto environment = std::make_shared<ScnMaterialPropertyEntity>();
    environment->dictionary["rgbHexCode"] = ParseValue("#336699");
    scene->setLightingEnvironment(environment);
    ASSERT_TRUE(save(scene).first);
    EXPECT_EQ(readWithPeer("Scene", *scene->id())["lightingEnvironment"], (json{{"rgbHexCode", "#336699"}}));
    scene->setLightingEnvironment(nullptr);
    ASSERT_TRUE(save(scene).first);
    EXPECT_EQ(read<SceneEntity>(*scene->id())->lightingEnvironment(), nullptr);
}

TEST_F(DomainRecordsRoundTrip, TheSignedInUserIsAUserRecord) {
    const auto user = std::dynamic_pointer_cast<UserEntity>(ParseUser::currentUser());
    ASSERT_TRUE(user) << "the current user is not a UserEntity";
    EXPECT_EQ(user->fullName(), "Manager");
    ASSERT_TRUE(user->company());
    EXPECT_EQ(user->company()->id(), seeded("company"));
    EXPECT_TRUE(user->emailVerified());
}

}  // namespace
}  // namespace vantrel
