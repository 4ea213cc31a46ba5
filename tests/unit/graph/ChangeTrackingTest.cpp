// What renderers and loaders build on: change stamps, stable ids, mesh attributes, hit-test
// preparation off the main thread, projections from outside and float images.

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include "GraphTestSupport.hpp"
#include "unit/materials/TestImages.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/graph/SCNCamera.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/graph/SCNLight.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNViewProjection.hpp"
#include "vantrel/graph/UIImage.hpp"

namespace vantrel {
namespace {

using graph_test::near;

struct Change {
    std::string what;
    std::function<std::uint64_t()> revision;
    std::function<void()> change;
};

TEST(ChangeTracking, EveryKindOfChangeTakesANewerStamp) {
    const auto material = SCNMaterial::make();
    const auto geometry = SCNBox::make(1, 1, 1);
    const auto light = SCNLight::make();
    const auto camera = SCNCamera::make();
    SCNMaterialProperty property;
    const auto materialRevision = [&] { return material->revision(); };
    const std::vector<Change> changes{
        {"property contents", [&] { return property.revision(); }, [&] { property.setContents(UIColor(1, 0, 0)); }},
        {"property colour space", [&] { return property.revision(); },
         [&] { property.setColorSpace(SCNColorSpace::linear); }},
        {"material setting", materialRevision, [&] { material->setAlphaMode(SCNAlphaMode::mask); }},
        {"material's property", materialRevision, [&] { material->normal().setIntensity(0.5); }},
        // An older property assigned in: the material must still count it as a change.
        {"material's property replaced", materialRevision, [&] { material->specular() = SCNMaterialProperty(); }},
        {"geometry mesh", [&] { return geometry->revision(); }, [&] { geometry->setWidth(2); }},
        {"geometry materials", [&] { return geometry->revision(); }, [&] { geometry->setMaterials({material}); }},
        {"light", [&] { return light->revision(); }, [&] { light->setSpotOuterAngle(30); }},
        {"camera", [&] { return camera->revision(); }, [&] { camera->setProjectionTransform(glm::dmat4(1.0)); }},
    };
    for (const auto& entry : changes) {
        const std::uint64_t before = entry.revision();
        entry.change();
        EXPECT_GT(entry.revision(), before) << entry.what;
    }
}

TEST(ChangeTracking, GeometryIdsStayWithTheGeometryAndMeshIdsWithTheMesh) {
    const auto original = SCNBox::make(1, 1, 1);
    const auto copy = original->copy();
    EXPECT_NE(copy->geometryID(), original->geometryID());
    EXPECT_EQ(copy->meshID(), original->meshID()) << "copies share the mesh";
    const auto meshBefore = original->meshID();
    const auto idBefore = original->geometryID();
    original->setHeight(2);
    EXPECT_NE(original->meshID(), meshBefore);
    EXPECT_EQ(original->geometryID(), idBefore);
}

TEST(GeometryMesh, KeepsTangentsColoursAndNarrowIndicesOnlyWhenTheyFit) {
    SCNGeometrySource source;
    source.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    source.tangents = {{1, 0, 0, 1}, {1, 0, 0, 1}, {1, 0, 0, -1}};
    source.colors = {{1, 0, 0, 1}, {0, 1, 0, 1}};  // one short: dropped
    SCNGeometryElement narrow{{0, 1, 2}, 2};
    SCNGeometryElement odd{{0, 1, 2}, 3};
    const auto geometry = SCNGeometry::make(source, {narrow, odd});
    EXPECT_EQ(geometry->source().tangents.size(), 3u);
    EXPECT_TRUE(geometry->source().colors.empty());
    EXPECT_EQ(geometry->elements()[0].bytesPerIndex, 2);
    EXPECT_EQ(geometry->elements()[1].bytesPerIndex, 4);

    source.vertices.resize(70000, glm::vec3(0.5f));
    source.tangents.clear();
    const auto wide = SCNGeometry::make(source, {SCNGeometryElement{{0, 1, 69999}, 2}});
    EXPECT_EQ(wide->elements()[0].bytesPerIndex, 4) << "an index beyond 16 bits widens the element";
}

TEST(ChangeTracking, HitTestPreparationRunsOffTheMainThread) {
    const auto geometry = SCNBox::make(1, 1, 1);
    std::thread loader([&] { geometry->prepareForHitTesting(); });
    loader.join();
    const auto root = SCNNode::make();
    root->addChildNode(SCNNode::make(geometry));
    EXPECT_EQ(root->hitTestWithSegment({0, 5, 0}, {0, -5, 0}).size(), 1u);
}

TEST(ViewProjection, ProjectionFromOutsideIsUsedAsItIs) {
    const auto eye = SCNNode::make();
    eye->setCamera(SCNCamera::make());
    const glm::dmat4 device = glm::perspective(glm::radians(40.0), 0.75, 0.05, 20.0);
    eye->camera()->setProjectionTransform(device);
    const SCNViewProjection projection(*eye, CGRect(0, 0, 300, 400));
    EXPECT_NEAR(projection.zNear(), 0.05, 1e-6);
    EXPECT_NEAR(projection.zFar(), 20.0, 1e-4);
    const glm::dvec4 clip = device * glm::dvec4(0.3, 0.2, -2.0, 1.0);
    const SCNVector3 screen = projection.projectPoint({0.3f, 0.2f, -2.0f});
    EXPECT_NEAR(screen.x, (clip.x / clip.w + 1.0) * 150.0, 1e-3);
    EXPECT_NEAR(screen.y, (1.0 - clip.y / clip.w) * 200.0, 1e-3);
}

TEST(ViewProjection, AutomaticZRangeOfACameraInsideTheSceneStartsCloseInFront) {
    const auto room = SCNNode::make();
    room->addChildNode(SCNNode::make(SCNBox::make(20, 3, 20)));
    const auto eye = SCNNode::make();
    eye->setCamera(SCNCamera::make());
    eye->camera()->setAutomaticallyAdjustsZRange(true);
    eye->setPosition({0, 1.6f, 0});
    room->addChildNode(eye);
    const SCNViewProjection projection(*eye, CGRect(0, 0, 400, 300));
    EXPECT_LT(projection.zNear(), 0.05) << "a chair half a metre away is not clipped";
    EXPECT_GT(projection.zFar(), 14.0);
    EXPECT_LT(projection.projectPoint({0, 1.6f, -0.5f}).z, 1.0f);
    EXPECT_GT(projection.projectPoint({0, 1.6f, -0.5f}).z, 0.0f);
}

TEST(Image, FloatImagesKeepLinearLightAndOfferClampedBytes) {
    const auto made = UIImage::fromFloatPixels(2, 1, {4.0f, 0.5f, NAN, 1.0f, 0.0f, 0.0f, 0.0f});
    const UIImage& image = *made;
    ASSERT_EQ(image.pixelFormat(), UIImagePixelFormat::rgba32Float);
    EXPECT_EQ(image.rgbaFloat(), (std::vector<float>{4.0f, 0.5f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f}));
    EXPECT_EQ(image.rgba()[0], 255) << "bright light clamps to white";
    EXPECT_NEAR(image.rgba()[1], 186, 1) << "mid grey shown with the display curve";

    // Colours of an sRGB file come back to linear light; a file that declares itself linear keeps them.
    const auto decoded = UIImage::decodeHighDynamicRange(test::encodePng(1, 1, 4, 8, {255, 128, 0, 128}));
    ASSERT_NE(decoded, nullptr);
    EXPECT_FLOAT_EQ(decoded->rgbaFloat()[0], 1.0f);
    EXPECT_NEAR(decoded->rgbaFloat()[1], 0.2195f, 1e-3f);
    EXPECT_NEAR(decoded->rgbaFloat()[3], 128.0f / 255.0f, 1e-6f) << "alpha stays linear";
    const auto linear = UIImage::decodeHighDynamicRange(test::encodePng(1, 1, 3, 8, {51, 0, 0}, 100000));
    ASSERT_NE(linear, nullptr);
    EXPECT_FLOAT_EQ(linear->rgbaFloat()[0], 0.2f);
    // Radiance files are refused with every other format from outside.
    const std::string header = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 1 +X 1\n";
    std::vector<std::uint8_t> file(header.begin(), header.end());
    file.insert(file.end(), {128, 128, 128, 130});
    EXPECT_EQ(UIImage::decodeHighDynamicRange(file), nullptr);
    EXPECT_EQ(UIImage::decodeHighDynamicRange(std::vector<std::uint8_t>{1, 2, 3}), nullptr);
}

}  // namespace
}  // namespace vantrel
