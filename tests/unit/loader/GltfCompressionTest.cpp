// Compressed copies of the shared models (made by tests/data/models/make.sh with Draco, meshopt and
// WebP tools) read to the same shapes as the originals.

#include "support/ModelArchives.hpp"
#include "support/TestPaths.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNScene.hpp"
#include "vantrel/graph/SCNSceneSource.hpp"

#include <gtest/gtest.h>
#include <glm/geometric.hpp>

#include <set>

namespace {

struct Shape {
    std::size_t triangles = 0;
    std::set<std::string> names;
    vantrel::SCNBoundingBox box;
    std::vector<std::shared_ptr<vantrel::SCNMaterial>> materials;
};

Shape shapeOf(const std::filesystem::path& file) {
    Shape shape;
    vantrel::OptionalError error;
    const auto scene = vantrel::SCNSceneSource::make(file)->sceneWithOptions(std::nullopt, {}, &error);
    EXPECT_TRUE(scene) << (error ? error->message : "");
    if (!scene) return shape;
    for (const auto& node : scene->rootNode()->childNodesPassingTest([](const vantrel::SCNNode&, bool&) { return true; })) {
        if (!node->name().empty()) shape.names.insert(node->name());
        if (node->geometry()) {
            shape.triangles += node->geometry()->triangleCount();
            for (const auto& m : node->geometry()->materials()) shape.materials.push_back(m);
        }
    }
    shape.box = scene->rootNode()->boundingBox();
    return shape;
}

void expectSameShape(const std::string& compressed, const std::string& original) {
    SCOPED_TRACE(compressed);
    const auto made = shapeOf(vantrel::test::sourceDirectory() / "tests/data/models" / compressed);
    const auto expected = shapeOf(vantrel::test::modelFileOf(original));
    EXPECT_EQ(made.triangles, expected.triangles);
    for (const auto& name : expected.names) EXPECT_TRUE(made.names.count(name)) << name;
    const glm::vec3 low(expected.box.min.x, expected.box.min.y, expected.box.min.z);
    const glm::vec3 high(expected.box.max.x, expected.box.max.y, expected.box.max.z);
    const float tolerance = 1e-3f * glm::length(high - low);  // quantized to 16 bits
    EXPECT_NEAR(made.box.min.x, low.x, tolerance);
    EXPECT_NEAR(made.box.min.y, low.y, tolerance);
    EXPECT_NEAR(made.box.min.z, low.z, tolerance);
    EXPECT_NEAR(made.box.max.x, high.x, tolerance);
    EXPECT_NEAR(made.box.max.y, high.y, tolerance);
    EXPECT_NEAR(made.box.max.z, high.z, tolerance);
}

}  // namespace

TEST(GltfCompressionTest, DracoAndMeshoptSofasReadToTheShapeOfTheOriginal) {
    expectSameShape("GlamVelvetSofa-draco.glb", "GlamVelvetSofa");
    expectSameShape("GlamVelvetSofa-meshopt.glb", "GlamVelvetSofa");
}

TEST(GltfCompressionTest, TheChairWithWebpTexturesReadsWithItsTexturesDecoded) {
    expectSameShape("SheenChair-webp.glb", "SheenChair");
    const auto chair = shapeOf(vantrel::test::sourceDirectory() / "tests/data/models/SheenChair-webp.glb");
    std::size_t textured = 0;
    for (const auto& material : chair.materials) {
        const auto image = material->diffuse().contentsImage();
        if (!image) continue;
        ++textured;
        EXPECT_EQ(image->width(), 64);
        EXPECT_EQ(image->rgba().size(), 64u * 64u * 4u);
    }
    EXPECT_GT(textured, 0u);
}
