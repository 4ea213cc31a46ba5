// What the glTF reader makes of the data it is given: attribute encodings (quantized, sparse,
// interleaved), primitive modes, generated normals, texture coordinates as the file has them,
// linear colour factors, progress and stopping.

#include "support/GltfTestFiles.hpp"
#include "support/ModelArchives.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNScene.hpp"

#include "graph/import/ImportedScene.hpp"

#include <gtest/gtest.h>

using nlohmann::json;
using vantrel::SCNSceneSourceStatus;
using vantrel::test::ScratchFolder;

namespace {

const vantrel::SCNGeometrySource& onlySource(const vantrel::SCNSceneSource::Prepared& prepared) {
    EXPECT_EQ(prepared.geometries.size(), 1u);
    return prepared.geometries.front().geometry->source();
}

}  // namespace

TEST(GltfReaderTest, QuantizedInterleavedAndSparseAttributesReadAsTheirValues) {
    ScratchFolder folder("gltf-encodings");
    // Interleaved: per vertex a normalized signed-short position (padded to 8 bytes) and a
    // normalized unsigned-byte texture coordinate (padded to 4): a 12-byte stride.
    std::string bytes;
    const std::int16_t positions[3][3] = {{0, 0, 0}, {32767, 0, 0}, {0, -32767, 16384}};
    const std::uint8_t uvs[3][2] = {{0, 0}, {255, 0}, {0, 255}};
    for (int v = 0; v < 3; ++v) {
        for (auto c : positions[v]) vantrel::test::appendLittleEndian(bytes, static_cast<std::uint16_t>(c), 2);
        vantrel::test::appendLittleEndian(bytes, 0, 2);
        bytes += static_cast<char>(uvs[v][0]);
        bytes += static_cast<char>(uvs[v][1]);
        vantrel::test::appendLittleEndian(bytes, 0, 2);
    }
    // Sparse: the third texture coordinate replaced by (0.5, 0.25) as floats, at index 2.
    const auto sparseIndexAt = bytes.size();
    vantrel::test::appendLittleEndian(bytes, 2, 4);
    const auto sparseValueAt = bytes.size();
    vantrel::test::appendFloat(bytes, 0.5f);
    vantrel::test::appendFloat(bytes, 0.25f);
    json document = {
        {"asset", {{"version", "2.0"}}},
        {"extensionsUsed", {"KHR_mesh_quantization"}},
        {"extensionsRequired", {"KHR_mesh_quantization"}},
        {"scenes", {{{"nodes", {0}}}}},
        {"nodes", {{{"mesh", 0}}}},
        {"meshes", {{{"primitives", {{{"attributes", {{"POSITION", 0}, {"TEXCOORD_0", 1}, {"TEXCOORD_1", 2}}}}}}}}},
        {"accessors",
         {{{"bufferView", 0}, {"componentType", 5122}, {"normalized", true}, {"count", 3}, {"type", "VEC3"}},
          {{"bufferView", 0}, {"byteOffset", 8}, {"componentType", 5121}, {"normalized", true}, {"count", 3},
           {"type", "VEC2"}},
          {{"componentType", 5126},
           {"count", 3},
           {"type", "VEC2"},
           {"sparse",
            {{"count", 1},
             {"indices", {{"bufferView", 1}, {"byteOffset", sparseIndexAt - 36}, {"componentType", 5125}}},
             {"values", {{"bufferView", 1}, {"byteOffset", sparseValueAt - 36}}}}}}}},
        {"bufferViews",
         {{{"buffer", 0}, {"byteLength", 36}, {"byteStride", 12}}, {{"buffer", 0}, {"byteOffset", 36}, {"byteLength", 12}}}},
        {"buffers", {{{"byteLength", bytes.size()}, {"uri", "data:;base64," + vantrel::test::base64(bytes)}}}},
    };
    const auto result = vantrel::test::readScene(folder.write("quantized.gltf", document.dump()));
    ASSERT_TRUE(result) << result.error().message;
    const auto& source = onlySource(**result);
    ASSERT_EQ(source.vertices.size(), 3u);
    EXPECT_FLOAT_EQ(source.vertices[1].x, 1.0f);
    EXPECT_FLOAT_EQ(source.vertices[2].y, -1.0f);
    EXPECT_NEAR(source.vertices[2].z, 0.5f, 1e-4f);
    ASSERT_EQ(source.textureCoordinates.size(), 2u);
    EXPECT_FLOAT_EQ(source.textureCoordinates[0][1].x, 1.0f);
    EXPECT_FLOAT_EQ(source.textureCoordinates[0][2].y, 1.0f) << "v as the file has it: rows run from the top";
    EXPECT_FLOAT_EQ(source.textureCoordinates[1][0].x, 0.0f);
    EXPECT_FLOAT_EQ(source.textureCoordinates[1][2].x, 0.5f);
    EXPECT_FLOAT_EQ(source.textureCoordinates[1][2].y, 0.25f);
    // No normals in the file: flat ones, facing the triangle's front.
    ASSERT_EQ(source.normals.size(), 3u);
    const auto expected = glm::normalize(glm::cross(source.vertices[1] - source.vertices[0],
                                                    source.vertices[2] - source.vertices[0]));
    EXPECT_NEAR(glm::dot(source.normals[0], expected), 1.0f, 1e-5f);
}

TEST(GltfReaderTest, StripsAndFansBecomeTrianglesAndPrimitivesWithoutAMaterialGetTheDefault) {
    ScratchFolder folder("gltf-modes");
    folder.write("triangle.bin", vantrel::test::triangleBuffer());
    auto document = vantrel::test::triangleDocument("triangle.bin");
    auto strip = document["meshes"][0]["primitives"][0];
    strip["mode"] = 5;
    auto points = strip;
    points["mode"] = 0;
    document["meshes"][0]["primitives"].push_back(strip);
    document["meshes"][0]["primitives"].push_back(points);
    const auto result = vantrel::test::readScene(folder.write("modes.gltf", document.dump()));
    ASSERT_TRUE(result) << result.error().message;
    const auto& geometry = *(*result)->geometries.front().geometry;
    EXPECT_EQ(geometry.elements().size(), 2u) << "points are not drawn";
    EXPECT_EQ(geometry.triangleCount(), 2u);
    const auto& materials = (*result)->materials;
    ASSERT_EQ(materials.size(), 1u);
    EXPECT_EQ(materials.front().metalness, 1.0) << "glTF's default material";
    EXPECT_EQ((*result)->geometries.front().materialIndices, (std::vector<std::size_t>{0, 0}));
}

TEST(GltfReaderTest, ColourFactorsStayLinearAndSaySo) {
    const auto scene = vantrel::SCNSceneSource::make(vantrel::test::modelFileOf("Box"))
                           ->sceneWithOptions(std::nullopt, {}, nullptr);
    ASSERT_TRUE(scene);
    const auto parts =
        scene->rootNode()->childNodesPassingTest([](const vantrel::SCNNode& node, bool&) { return !!node.geometry(); });
    ASSERT_EQ(parts.size(), 1u);
    const auto red = parts.front()->geometry()->firstMaterial();
    ASSERT_TRUE(red);
    const auto color = red->diffuse().contentsColor();
    ASSERT_TRUE(color);
    EXPECT_NEAR(color->red(), 0.8, 1e-6) << "not converted as if it were sRGB";
    EXPECT_EQ(red->diffuse().colorContentsSpace(), vantrel::SCNColorSpace::linear);
    EXPECT_EQ(red->lightingModel(), vantrel::SCNLightingModel::physicallyBased);
}

TEST(GltfReaderTest, ProgressRisesToTheEndAndAStopEndsTheReadWithCancelled) {
    const auto file = vantrel::test::modelFileOf("GlamVelvetSofa");
    std::vector<double> fractions;
    const auto full = vantrel::test::readScene(file, {}, [&](double p, SCNSceneSourceStatus status,
                                                              const vantrel::OptionalError&, bool&) {
        if (status != SCNSceneSourceStatus::error) fractions.push_back(p);
    });
    ASSERT_TRUE(full);
    ASSERT_GT(fractions.size(), 3u);
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    EXPECT_GT(fractions.back(), 0.9);

    // Stopping at each point the reader asks gives a cancelled error and no further calls.
    for (std::size_t stopAt = 0; stopAt < fractions.size(); stopAt += std::max<std::size_t>(1, fractions.size() / 6)) {
        SCOPED_TRACE(stopAt);
        std::size_t calls = 0;
        std::size_t callsAfterStop = 0;
        bool stopped = false;
        const auto result = vantrel::test::readScene(
            file, {}, [&](double, SCNSceneSourceStatus status, const vantrel::OptionalError&, bool& stop) {
                if (stopped && status != SCNSceneSourceStatus::error) ++callsAfterStop;
                if (calls++ == stopAt) stop = stopped = true;
            });
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().code, static_cast<long>(vantrel::SCNSceneSourceError::cancelled));
        EXPECT_EQ(callsAfterStop, 0u);
    }
}
