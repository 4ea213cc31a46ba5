// Materials, texture transforms and images.

#include <cstdint>
#include <filesystem>
#include <unistd.h>
#include <fstream>
#include <string>
#include <vector>

#include <glm/gtc/constants.hpp>
#include <gtest/gtest.h>

#include "GraphTestSupport.hpp"
#include "unit/materials/TestImages.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNMatrix4.hpp"
#include "vantrel/graph/SCNScene.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/UIImage.hpp"

namespace vantrel {
namespace {

using graph_test::apply;
using graph_test::near;

TEST(Material, EnumerationsCarryThePlatformNumbers) {
    EXPECT_EQ(static_cast<int>(SCNTransparencyMode::dualLayer), 3);
    EXPECT_EQ(static_cast<int>(SCNBlendMode::max), 6);
    EXPECT_EQ(static_cast<int>(SCNWrapMode::clamp), 1);
    EXPECT_EQ(static_cast<int>(SCNWrapMode::mirror), 4);
    EXPECT_EQ(static_cast<int>(SCNFilterMode::none), 0);
    EXPECT_EQ(static_cast<int>(SCNFilterMode::linear), 2);
}

TEST(Material, PropertiesByNameAndCopiesAreIndependent) {
    const auto material = SCNMaterial::make();
    for (const char* name : {"diffuse", "metalness", "roughness", "normal", "displacement", "selfIllumination",
                             "ambientOcclusion", "ambient", "specular", "reflective", "multiply", "transparent"}) {
        EXPECT_NE(material->propertyNamed(name), nullptr) << name;
    }
    EXPECT_EQ(material->propertyNamed("Diffuse"), nullptr);
    EXPECT_EQ(material->propertyNamed("diffuse"), &material->diffuse());

    material->propertyNamed("metalness")->setContents(0.3);
    EXPECT_EQ(material->metalness().contentsNumber(), 0.3);
    EXPECT_EQ(material->diffuse().contentsColor(), UIColor::whiteColor());
    material->diffuse().setContents(UIColor::fromHexRgbString("#ff0000"));
    const auto copy = material->copy();
    copy->diffuse().setContents(UIColor::blueColor());
    EXPECT_EQ(material->diffuse().contentsColor(), UIColor(1, 0, 0, 1));
    EXPECT_EQ(copy->diffuse().contentsImage(), nullptr);
}

TEST(Matrix4, MultTranslatesThenScalesThenRotates) {
    const SCNMatrix4 t = SCNMatrix4MakeTranslation(1, 0, 0);
    const SCNMatrix4 s = SCNMatrix4MakeScale(2, 2, 1);
    const SCNMatrix4 r = SCNMatrix4MakeRotation(glm::half_pi<float>(), 0, 0, 1);
    const SCNMatrix4 m = SCNMatrix4Mult(SCNMatrix4Mult(t, s), r);
    // (0,0) → translate (1,0) → scale (2,0) → quarter turn (0,2).
    EXPECT_TRUE(near(apply(m, {0, 0, 0}), {0, 2, 0}));
    EXPECT_TRUE(SCNMatrix4IsIdentity(SCNMatrix4MakeRotation(1.0f, 0, 0, 0))) << "no axis: no rotation";
    EXPECT_TRUE(near(apply(SCNMatrix4Mult(SCNMatrix4Identity, s), {1, 1, 1}), {2, 2, 1}));
    EXPECT_EQ(SCNMatrix4Invert(SCNMatrix4MakeScale(0, 1, 1)), SCNMatrix4MakeScale(0, 1, 1));
}

TEST(Scene, HasARootAndEmptyEnvironmentProperties) {
    const auto scene = SCNScene::make();
    ASSERT_NE(scene->rootNode(), nullptr);
    EXPECT_TRUE(scene->lightingEnvironment().isEmpty());
    EXPECT_EQ(scene->lightingEnvironment().intensity(), 1.0);
    scene->rootNode()->addChildNode(SCNNode::make());
    EXPECT_EQ(scene->rootNode()->childNodes().size(), 1u);
}

std::vector<std::uint8_t> png(int width, int height, const std::vector<std::uint16_t>& rgb) {
    return test::encodePng(width, height, 3, 8, rgb);
}

TEST(Image, DecodesBytesAndRefusesJunkAndOversizedHeaders) {
    const auto image = UIImage::decode(png(2, 1, {255, 0, 0, 0, 0, 255}));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width(), 2);
    EXPECT_EQ(image->height(), 1);
    EXPECT_EQ(image->rgba(), (std::vector<std::uint8_t>{255, 0, 0, 255, 0, 0, 255, 255}));

    const std::vector<std::uint8_t> junk{1, 2, 3, 4, 5};
    EXPECT_EQ(UIImage::decode(junk), nullptr);
    EXPECT_EQ(UIImage::decode({}), nullptr);
    EXPECT_EQ(UIImage::decode(test::pngHeaderOnly(100000, 100000)), nullptr) << "no 40 GB allocation";
}

TEST(Image, FileBackedImagesDecodeOnFirstUseAndFilledOnesHaveTheColour) {
    const auto path =
        std::filesystem::temp_directory_path() / ("vantrel-graph-image-" + std::to_string(::getpid()) + ".png");
    {
        const auto bytes = png(1, 2, {0, 255, 0, 10, 20, 30});
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    const auto image = UIImage::fromFile(path);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->filePath(), path);
    EXPECT_EQ(image->height(), 2);
    EXPECT_EQ(image->rgba().size(), 8u);
    EXPECT_EQ(image->rgba()[5], 20);
    std::filesystem::remove(path);
    EXPECT_EQ(UIImage::fromFile(path), nullptr);

    const auto swatch = UIImage::filled(UIColor(1, 0.5, 0, 1));
    EXPECT_EQ(swatch->rgba(), (std::vector<std::uint8_t>{255, 128, 0, 255}));
    const UIImage cut(2, 2, {1, 2, 3});
    EXPECT_EQ(cut.rgba().size(), 16u) << "short pixel data is padded to the size";
}

}  // namespace
}  // namespace vantrel
