// Material and scene records turned into rendering materials, environment properties and
// palette swatches, with textures taken from the file cache.

#include "TestImages.hpp"
#include "support/ServicesTestSupport.hpp"
#include "unit/domain/RecordTestSupport.hpp"
#include "vantrel/core/MainRunLoop.hpp"
#include "vantrel/domain/MaterialEntity.hpp"
#include "vantrel/domain/SceneEntity.hpp"
#include "vantrel/files/DownloadingService.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <unistd.h>

using nlohmann::json;
using namespace vantrel;
using test::recordFromServer;

namespace {

constexpr const char* kRed = "#FF0000";
const UIColor kRedColor{1.0, 0.0, 0.0, 1.0};

// Textures in a file cache of the test's own: a 2×3 picture, bytes that are no image, and a key
// the cache refuses (a fetch that fails at once with an error).
class MaterialRendering : public ::testing::Test {
protected:
    void SetUp() override {
        previousHome_ = DownloadingService::sharedInstance().localCacheHome();
        home_ = std::filesystem::temp_directory_path() / ("vantrel-materials-" + std::to_string(::getpid()));
        DownloadingService::sharedInstance().setLocalCacheHome(home_);
        ASSERT_TRUE(
            DownloadingService::sharedInstance().addToLocalCache(kPicture, test::solidPng(2, 3, 0, 0, 255)).hasValue());
        ASSERT_TRUE(
            DownloadingService::sharedInstance().addToLocalCache(kNoImage, FileData{'n', 'o', 'p', 'e'}).hasValue());
        ASSERT_TRUE(DownloadingService::sharedInstance()
                        .addToLocalCache(kLinear, test::encodePng(1, 1, 3, 8, {9, 9, 9}, 100000))
                        .hasValue());
    }
    void TearDown() override {
        DownloadingService::sharedInstance().setLocalCacheHome(previousHome_);
        std::error_code ec;
        std::filesystem::remove_all(home_, ec);
    }

    static std::shared_ptr<MaterialEntity> material(const json& scnProperties, const std::string& name = "Velvet") {
        json fields{{"name", name}};
        if (!scnProperties.is_null()) fields["scnProperties"] = scnProperties;
        return recordFromServer<MaterialEntity>(fields);
    }

    // Runs an operation and waits for its one answer (at once for cached textures).
    template <class T, class Start>
    static T answer(Start&& start) {
        auto result = std::make_shared<std::optional<T>>();
        start([result](T value) { *result = std::move(value); });
        EXPECT_TRUE(MainRunLoop::runUntil([&] { return result->has_value(); }));
        return result->value_or(T{});
    }

    static std::shared_ptr<SCNMaterial> scnMaterial(const std::shared_ptr<MaterialEntity>& record) {
        return answer<std::shared_ptr<SCNMaterial>>([&](auto block) { record->getScnMaterial(block); });
    }

    static constexpr const char* kPicture = "textures/blue.png";
    static constexpr const char* kNoImage = "textures/garbage.png";
    static constexpr const char* kRefused = "../outside.png";
    static constexpr const char* kLinear = "textures/linear.png";

private:
    std::filesystem::path previousHome_;
    std::filesystem::path home_;
};

}  // namespace

TEST_F(MaterialRendering, AnEmptyDescriptionGivesTheDefaultsAndTouchesNoProperty) {
    EXPECT_FALSE(scnMaterial(material(nullptr))) << "no scnProperties, no material";
    EXPECT_FALSE(scnMaterial(material("not a dictionary")));

    const auto built = scnMaterial(material(json::object()));
    ASSERT_TRUE(built);
    EXPECT_EQ(built->shininess(), 1.0);
    EXPECT_EQ(built->fresnelExponent(), 0.0);
    EXPECT_TRUE(built->locksAmbientWithDiffuse());
    EXPECT_EQ(built->transparency(), 1.0);
    EXPECT_EQ(built->transparencyMode(), SCNTransparencyMode::aOne);
    EXPECT_EQ(built->blendMode(), SCNBlendMode::alpha);
    EXPECT_EQ(built->lightingModel(), SCNLightingModel::blinn);
    const SCNMaterial fresh;
    for (const auto name : ScnMaterialPropertiesEntity::propertyNames) {
        EXPECT_EQ(built->propertyNamed(name)->contents(), fresh.propertyNamed(name)->contents()) << name;
        EXPECT_EQ(built->propertyNamed(name)->intensity(), 1.0) << name;
    }

    const auto tuned = scnMaterial(material({{"shininess", 0.5},
                                             {"fresnelExponent", 2},
                                             {"locksAmbientWithDiffuse", false},
                                             {"transparency", 0.25},
                                             {"transparencyMode", "dualLayer"},
                                             {"blendMode", "screen"},
                                             {"lightingModel", "physicallyBased"}}));
    ASSERT_TRUE(tuned);
    EXPECT_EQ(tuned->shininess(), 0.5);
    EXPECT_EQ(tuned->fresnelExponent(), 2.0);
    EXPECT_FALSE(tuned->locksAmbientWithDiffuse());
    EXPECT_EQ(tuned->transparency(), 0.25);
    EXPECT_EQ(tuned->transparencyMode(), SCNTransparencyMode::dualLayer);
    EXPECT_EQ(tuned->blendMode(), SCNBlendMode::screen);
    EXPECT_EQ(tuned->lightingModel(), SCNLightingModel::physicallyBased);
}

TEST_F(MaterialRendering, ATextureWinsOverItsColourAndAFailedFetchFallsBackToTheColourLoggedOnce) {
    struct Case {
        std::string name;
        std::string texture;
        bool showsTexture;
        std::size_t logLines;
    };
    const std::vector<Case> cases{
        {"fetchable texture", kPicture, true, 0},
        {"fetch fails", kRefused, false, 1},
        {"bytes are no image", kNoImage, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::LogCapture log;
        const auto built = scnMaterial(material(
            {{"diffuse", {{"rgbHexCode", kRed}, {"textureFilePath", c.texture}}}, {"normal", {{"intensity", 0.5}}}},
            "Velvet " + c.name));
        ASSERT_TRUE(built);
        const auto image = built->diffuse().contentsImage();
        if (c.showsTexture) {
            ASSERT_TRUE(image);
            EXPECT_EQ(image->width(), 2);
            EXPECT_EQ(image->height(), 3);
        } else {
            EXPECT_FALSE(image);
            EXPECT_EQ(built->diffuse().contentsColor(), kRedColor);
        }
        EXPECT_EQ(log.count("Unable to obtain 'diffuse' texture of 'Velvet " + c.name + "' material due error: "),
                  c.logLines);
        // A property without texture or colour keeps its contents and still takes its settings.
        EXPECT_TRUE(built->normal().isEmpty());
        EXPECT_EQ(built->normal().intensity(), 0.5);
    }
}

TEST_F(MaterialRendering, MetalnessAndRoughnessAreNumbersAndNothingElse) {
    const auto built = scnMaterial(material({{"metalness",
                                              {{"floatValue", 0.3},
                                               {"intensity", 0.2},
                                               {"wrapS", "repeat"},
                                               {"rgbHexCode", kRed},
                                               {"textureFilePath", kPicture}}},
                                             {"roughness", json::object()}}));
    ASSERT_TRUE(built);
    EXPECT_NEAR(built->metalness().contentsNumber().value_or(-1), 0.3, 1e-6);
    EXPECT_EQ(built->metalness().intensity(), 1.0);
    EXPECT_EQ(built->metalness().wrapS(), SCNWrapMode::clamp);
    EXPECT_EQ(built->roughness().contentsNumber(), 1.0) << "a missing floatValue counts as 1";
}

TEST_F(MaterialRendering, SamplingSettingsMatchTheirNamesExactly) {
    struct Case {
        json property;
        SCNWrapMode wrapS;
        SCNWrapMode wrapT;
        SCNFilterMode minification;
        SCNFilterMode mip;
    };
    const std::vector<Case> cases{
        {json::object(), SCNWrapMode::clamp, SCNWrapMode::clamp, SCNFilterMode::linear, SCNFilterMode::nearest},
        {{{"wrapS", "repeat"}, {"wrapT", "mirror"}, {"minificationFilter", "none"}, {"mipFilter", "linear"}},
         SCNWrapMode::repeat,
         SCNWrapMode::mirror,
         SCNFilterMode::none,
         SCNFilterMode::linear},
        {{{"wrapS", "Repeat"}, {"wrapT", " repeat"}, {"minificationFilter", "Nearest"}, {"mipFilter", 2}},
         SCNWrapMode::clamp,
         SCNWrapMode::clamp,
         SCNFilterMode::linear,
         SCNFilterMode::nearest},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.property.dump());
        const auto built = scnMaterial(material({{"lightingModel", "Phong"}, {"specular", c.property}}));
        ASSERT_TRUE(built);
        EXPECT_EQ(built->lightingModel(), SCNLightingModel::blinn);
        EXPECT_EQ(built->specular().wrapS(), c.wrapS);
        EXPECT_EQ(built->specular().wrapT(), c.wrapT);
        EXPECT_EQ(built->specular().minificationFilter(), c.minification);
        EXPECT_EQ(built->specular().mipFilter(), c.mip);
    }
}

TEST_F(MaterialRendering, TheContentsTransformMovesThenScalesThenTurnsTextureCoordinates) {
    struct Case {
        std::string name;
        json placement;
        glm::vec2 from;
        glm::vec2 to;
    };
    const float quarterTurn = std::numbers::pi_v<float> / 2;
    const std::vector<Case> cases{
        {"2×2 scale", {{"scaleX", 2}, {"scaleY", 2}}, {1, 0.5f}, {2, 1}},
        {"offset then scale", {{"offsetX", 0.5}, {"offsetY", 0.25}, {"scaleX", 2}, {"scaleY", 4}}, {0, 0}, {1, 1}},
        {"scale then quarter turn", {{"scaleX", 3}, {"rotation", quarterTurn}}, {1, 0}, {0, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        json diffuse = c.placement;
        diffuse["textureFilePath"] = kPicture;
        const auto built =
            scnMaterial(material({{"diffuse", diffuse}, {"multiply", {{"rgbHexCode", kRed}, {"scaleX", 5}}}}));
        ASSERT_TRUE(built);
        const glm::vec4 moved = built->diffuse().contentsTransform() * glm::vec4(c.from, 0, 1);
        EXPECT_NEAR(moved.x, c.to.x, 1e-5);
        EXPECT_NEAR(moved.y, c.to.y, 1e-5);
        EXPECT_TRUE(SCNMatrix4IsIdentity(built->multiply().contentsTransform())) << "a colour is never transformed";
    }
}

TEST_F(MaterialRendering, TexturesAreSampledInTheirRolesColourSpaceUnlessTheFileDeclaresLinearValues) {
    const auto built = scnMaterial(material({{"diffuse", {{"textureFilePath", kPicture}}},
                                             {"selfIllumination", {{"textureFilePath", kLinear}}},
                                             {"normal", {{"textureFilePath", kPicture}}},
                                             {"ambientOcclusion", {{"textureFilePath", kLinear}}}}));
    ASSERT_TRUE(built);
    EXPECT_EQ(built->diffuse().colorSpace(), SCNColorSpace::sRGB);
    EXPECT_EQ(built->selfIllumination().colorSpace(), SCNColorSpace::linear);
    EXPECT_EQ(built->normal().colorSpace(), SCNColorSpace::linear) << "a data map stays linear";
    EXPECT_EQ(built->ambientOcclusion().colorSpace(), SCNColorSpace::linear);
}

TEST_F(MaterialRendering, ThePaletteShowsTheDiffuseTextureElseItsColourElseNothing) {
    struct Case {
        std::string name;
        json scnProperties;
        int width;  // 0: no image
        std::array<std::uint8_t, 4> firstPixel;
    };
    const std::vector<Case> cases{
        {"texture and colour",
         {{"diffuse", {{"rgbHexCode", kRed}, {"textureFilePath", kPicture}}}},
         2,
         {0, 0, 255, 255}},
        {"colour only", {{"diffuse", {{"rgbHexCode", kRed}}}}, 1, {255, 0, 0, 255}},
        {"texture that fails",
         {{"diffuse", {{"rgbHexCode", kRed}, {"textureFilePath", kRefused}}}},
         1,
         {255, 0, 0, 255}},
        {"neither", {{"diffuse", {{"intensity", 0.5}}}, {"specular", {{"rgbHexCode", kRed}}}}, 0, {}},
        {"no description", nullptr, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto record = material(c.scnProperties);
        const auto image = answer<std::shared_ptr<UIImage>>([&](auto block) { record->getPaletteImage(block); });
        if (c.width == 0) {
            EXPECT_FALSE(image);
            continue;
        }
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width(), c.width);
        const auto& rgba = image->rgba();
        EXPECT_EQ((std::array<std::uint8_t, 4>{rgba[0], rgba[1], rgba[2], rgba[3]}), c.firstPixel);
    }
}

TEST_F(MaterialRendering, BytesAreCollectedForEveryTextureAndOnlyImagesDecode) {
    const auto record = material({{"diffuse", {{"textureFilePath", kPicture}}},
                                  {"normal", {{"textureFilePath", kNoImage}}},
                                  {"specular", {{"textureFilePath", kRefused}}}});
    const auto datas = answer<std::map<std::string, FileData>>([&](auto block) { record->getTextureFileDatas(block); });
    EXPECT_EQ(datas.size(), 2u);
    EXPECT_EQ(datas.at("normal"), (FileData{'n', 'o', 'p', 'e'}));
    const auto images =
        answer<std::map<std::string, std::shared_ptr<UIImage>>>([&](auto block) { record->getTextureImages(block); });
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images.at("diffuse")->height(), 3);
}

TEST_F(MaterialRendering, TheSceneEnvironmentWorksLikeOneMaterialPropertyWithoutTransform) {
    const auto environment = [](const std::shared_ptr<SceneEntity>& scene) {
        return answer<SCNMaterialProperty>([&](auto block) { scene->getScnLightingEnvironment(block); });
    };
    const auto bare = environment(recordFromServer<SceneEntity>({}));
    EXPECT_TRUE(bare.isEmpty());
    EXPECT_EQ(bare.intensity(), 1.0);

    const auto textured = environment(recordFromServer<SceneEntity>({{"lightingEnvironment",
                                                                      {{"textureFilePath", kPicture},
                                                                       {"rgbHexCode", kRed},
                                                                       {"intensity", 2},
                                                                       {"wrapT", "repeat"},
                                                                       {"mappingChannel", 1},
                                                                       {"scaleX", 4}}}}));
    ASSERT_TRUE(textured.contentsImage());
    EXPECT_EQ(textured.contentsImage()->width(), 2);
    EXPECT_EQ(textured.intensity(), 2.0);
    EXPECT_EQ(textured.wrapT(), SCNWrapMode::repeat);
    EXPECT_EQ(textured.mappingChannel(), 1);
    EXPECT_TRUE(SCNMatrix4IsIdentity(textured.contentsTransform()));

    test::LogCapture log;
    const auto scene =
        recordFromServer<SceneEntity>({{"lightingEnvironment", {{"textureFilePath", kRefused}, {"rgbHexCode", kRed}}}});
    EXPECT_EQ(environment(scene).contentsColor(), kRedColor);
    EXPECT_EQ(log.count("Unable to obtain 'lightingEnvironment' texture of scene due error: "), 1u);

    const auto palette = answer<std::shared_ptr<UIImage>>([&](auto block) { scene->getPaletteImage(block); });
    ASSERT_TRUE(palette);
    EXPECT_EQ(palette->width(), 1);
    EXPECT_EQ(palette->rgba()[0], 255);
    const auto datas = answer<std::map<std::string, FileData>>([&](auto block) { scene->getTextureDatas(block); });
    EXPECT_TRUE(datas.empty());
}
