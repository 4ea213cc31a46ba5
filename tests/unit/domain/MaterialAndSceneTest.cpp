// Material descriptions and the scene's lighting environment.

#include "RecordTestSupport.hpp"

#include "vantrel/domain/MaterialEntity.hpp"
#include "vantrel/domain/SceneEntity.hpp"

#include <gtest/gtest.h>

using nlohmann::json;
using namespace vantrel;
using test::recordFromServer;

TEST(MaterialRecord, AnEmptyDescriptionReadsAsThePlatformDefaults) {
    const auto material = recordFromServer<MaterialEntity>({{"scnProperties", json::object()}});
    const auto properties = material->scnProperties();
    ASSERT_TRUE(properties);
    EXPECT_DOUBLE_EQ(properties->shininess(), 1.0);
    EXPECT_DOUBLE_EQ(properties->fresnelExponent(), 0.0);
    EXPECT_TRUE(properties->locksAmbientWithDiffuse());
    EXPECT_DOUBLE_EQ(properties->transparency(), 1.0);
    EXPECT_EQ(properties->transparencyMode(), SCNTransparencyMode::aOne);
    EXPECT_EQ(properties->blendMode(), SCNBlendMode::alpha);
    EXPECT_EQ(properties->lightingModel(), SCNLightingModel::blinn);
    for (const auto name : ScnMaterialPropertiesEntity::propertyNames)
        EXPECT_EQ(properties->property(std::string(name)), nullptr);
    EXPECT_TRUE(material->textureFilePaths().empty());

    EXPECT_EQ(recordFromServer<MaterialEntity>({})->scnProperties(), nullptr);
    EXPECT_EQ(recordFromServer<MaterialEntity>({{"scnProperties", "diffuse"}})->scnProperties(), nullptr);
}

TEST(MaterialRecord, PropertyDefaultsAndStoredSettings) {
    const auto material = recordFromServer<MaterialEntity>(
        {{"scnProperties",
          {{"lightingModel", "physicallyBased"},
           {"transparencyMode", "dualLayer"},
           {"metalness", {{"floatValue", 0.3}, {"intensity", 0.5}}},
           {"diffuse", {{"scaleX", 2}, {"wrapS", "repeat"}, {"rotation", 1.5}, {"magnificationFilter", "nearest"}}},
           {"normal", "not a dictionary"}}}});
    const auto properties = material->scnProperties();
    EXPECT_EQ(properties->lightingModel(), SCNLightingModel::physicallyBased);
    EXPECT_EQ(properties->transparencyMode(), SCNTransparencyMode::dualLayer);
    EXPECT_EQ(properties->normal(), nullptr);

    const auto metalness = properties->metalness();
    ASSERT_TRUE(metalness);
    EXPECT_FLOAT_EQ(metalness->floatValue(), 0.3f);
    EXPECT_FLOAT_EQ(metalness->intensity(), 0.5f);

    const auto diffuse = properties->diffuse();
    ASSERT_TRUE(diffuse);
    EXPECT_FLOAT_EQ(diffuse->scaleX(), 2.0f);
    EXPECT_FLOAT_EQ(diffuse->scaleY(), 1.0f);
    EXPECT_FLOAT_EQ(diffuse->offsetX(), 0.0f);
    EXPECT_FLOAT_EQ(diffuse->rotation(), 1.5f);
    EXPECT_FLOAT_EQ(diffuse->maxAnisotropy(), 1.0f);
    EXPECT_FLOAT_EQ(diffuse->floatValue(), 1.0f);
    EXPECT_EQ(diffuse->mappingChannel(), 0);
    EXPECT_EQ(diffuse->wrapS(), SCNWrapMode::repeat);
    EXPECT_EQ(diffuse->wrapT(), SCNWrapMode::clamp);
    EXPECT_EQ(diffuse->minificationFilter(), SCNFilterMode::linear);
    EXPECT_EQ(diffuse->magnificationFilter(), SCNFilterMode::nearest);
    EXPECT_EQ(diffuse->mipFilter(), SCNFilterMode::nearest);
}

TEST(MaterialRecord, TexturesAndColoursAreListedForPropertiesThatHaveThem) {
    const auto material = recordFromServer<MaterialEntity>(
        {{"scnProperties",
          {{"diffuse", {{"rgbHexCode", " #ff8000 "}, {"textureFilePath", " tex/d.png "}}},
           {"roughness", {{"textureFilePath", "  "}, {"rgbHexCode", ""}}},
           {"specular", {{"rgbHexCode", "00FF00"}}},
           {"unknownProperty", {{"textureFilePath", "tex/u.png"}}}}}});
    EXPECT_EQ(material->textureFilePaths(), (std::map<std::string, std::string>{{"diffuse", "tex/d.png"}}));
    EXPECT_EQ(material->rgbHexCodes(),
              (std::map<std::string, std::string>{{"diffuse", "#ff8000"}, {"specular", "00FF00"}}));
    const auto colors = material->uiColors();
    ASSERT_EQ(colors.size(), 2u);
    EXPECT_EQ(colors.at("diffuse"), UIColor(1.0, 128.0 / 255.0, 0.0, 1.0));
    EXPECT_EQ(colors.at("specular"), UIColor(0.0, 1.0, 0.0, 1.0));
}

TEST(SceneRecord, LightingEnvironmentIsStoredAsItsDictionaryAndClearedAsNull) {
    auto scene = recordFromServer<SceneEntity>({});
    EXPECT_EQ(scene->lightingEnvironment(), nullptr);
    EXPECT_TRUE(scene->textureFilePaths().empty());
    EXPECT_TRUE(scene->uiColors().empty());

    auto environment = std::make_shared<ScnMaterialPropertyEntity>();
    environment->dictionary["textureFilePath"] = ParseValue(" env/hdr.png ");
    environment->dictionary["rgbHexCode"] = ParseValue("#0000ff");
    environment->dictionary["intensity"] = ParseValue(2);
    scene->setLightingEnvironment(environment);

    ASSERT_TRUE(scene->lightingEnvironment());
    EXPECT_FLOAT_EQ(scene->lightingEnvironment()->intensity(), 2.0f);
    EXPECT_EQ(scene->textureFilePaths(), (std::map<std::string, std::string>{{"lightingEnvironment", "env/hdr.png"}}));
    EXPECT_EQ(scene->rgbHexCodes(), (std::map<std::string, std::string>{{"lightingEnvironment", "#0000ff"}}));
    EXPECT_EQ(scene->uiColors().at("lightingEnvironment"), UIColor(0.0, 0.0, 1.0, 1.0));
    EXPECT_EQ(scene->toJSON()["lightingEnvironment"]["intensity"], 2);

    scene->setLightingEnvironment(nullptr);
    EXPECT_TRUE(scene->value("lightingEnvironment").isNull());
    EXPECT_EQ(scene->lightingEnvironment(), nullptr);
}
