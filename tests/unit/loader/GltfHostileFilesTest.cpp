// Hostile glTF files, made here by mutating small valid ones: each must end in a typed error (or,
// for textures, in a model without the texture) without a crash, without taking memory for what
// the file only claims, and without a look outside the model's folder.

#include "support/GltfTestFiles.hpp"
#include "support/ModelArchives.hpp"
#include "unit/materials/TestImages.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNScene.hpp"

#include "graph/import/ImportedScene.hpp"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <fstream>

using nlohmann::json;
using vantrel::SCNSceneSource;
using vantrel::SCNSceneSourceError;
using vantrel::SCNSceneSourceOptions;
using vantrel::test::ScratchFolder;

namespace {

std::string bytesOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void expectRefused(const std::filesystem::path& file, SCNSceneSourceError expected,
                   const SCNSceneSourceOptions& options = {}) {
    SCOPED_TRACE(file.filename().string());
    std::optional<vantrel::Error> reported;
    const auto result = vantrel::test::readScene(
        file, options, [&](double, vantrel::SCNSceneSourceStatus status, const vantrel::OptionalError& error, bool&) {
            if (status == vantrel::SCNSceneSourceStatus::error) reported = error;
        });
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().domain, SCNSceneSource::errorDomain);
    EXPECT_EQ(result.error().code, static_cast<long>(expected)) << result.error().message;
    ASSERT_TRUE(reported) << "the status handler hears of the failure";
    EXPECT_EQ(reported->code, result.error().code);
}

/// Peak resident memory of this process so far.
std::uint64_t peakResidentBytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;
}

}  // namespace

TEST(GltfHostileFilesTest, ContainerAndJsonThatLieAboutTheirSizesAreRefusedBeforeAllocation) {
    ScratchFolder folder("gltf-container");
    const auto box = bytesOf(vantrel::test::modelFileOf("Box"));

    auto hugeJsonChunk = box;  // the JSON chunk claims 0xfffffff0 bytes of a small file
    hugeJsonChunk.replace(12, 4, std::string("\xf0\xff\xff\xff", 4));
    expectRefused(folder.write("json-chunk.glb", hugeJsonChunk), SCNSceneSourceError::invalidScene);

    expectRefused(folder.write("truncated.glb", box.substr(0, box.size() / 2)), SCNSceneSourceError::invalidScene);
    expectRefused(folder.write("header-only.glb", box.substr(0, 14)), SCNSceneSourceError::invalidScene);

    auto hugeBinaryChunk = box;  // the binary chunk's length runs past the end
    std::uint32_t jsonLength = 0;
    std::memcpy(&jsonLength, box.data() + 12, 4);
    hugeBinaryChunk.replace(20 + jsonLength, 4, std::string("\x00\x00\x00\x7f", 4));
    expectRefused(folder.write("bin-chunk.glb", hugeBinaryChunk), SCNSceneSourceError::invalidScene);

    SCNSceneSourceOptions small;
    small.maxJsonBytes = 64;
    expectRefused(folder.write("box.glb", box), SCNSceneSourceError::limitExceeded, small);

    expectRefused(folder.write("not-json.gltf", "{\"asset\": {\"version\": \"2.0\"}, \"nodes\": [}"),
                  SCNSceneSourceError::invalidScene);
    expectRefused(folder.write("version-1.gltf", R"({"asset":{"version":"1.0"}})"), SCNSceneSourceError::invalidScene);
    EXPECT_LT(peakResidentBytes(), std::uint64_t{1} << 30);
}

TEST(GltfHostileFilesTest, AccessorsThatReachBeyondTheirDataAreRefused) {
    ScratchFolder folder("gltf-accessors");
    folder.write("triangle.bin", vantrel::test::triangleBuffer());

    // 695 bytes of JSON that ask for a sparse accessor of 100 million positions.
    auto sparse = vantrel::test::triangleDocument("triangle.bin");
    sparse["accessors"][0] = {{"componentType", 5126},
                              {"count", 100'000'000},
                              {"type", "VEC3"},
                              {"sparse",
                               {{"count", 100'000'000},
                                {"indices", {{"bufferView", 1}, {"componentType", 5123}}},
                                {"values", {{"bufferView", 0}}}}}};
    expectRefused(folder.write("sparse.gltf", sparse.dump()), SCNSceneSourceError::limitExceeded);

    // Within the vertex budget, but the sparse part claims more than its views hold.
    sparse["accessors"][0]["count"] = 1000;
    sparse["accessors"][0]["sparse"]["count"] = 1000;
    expectRefused(folder.write("sparse-short.gltf", sparse.dump()), SCNSceneSourceError::invalidScene);

    auto beyond = vantrel::test::triangleDocument("triangle.bin");
    beyond["accessors"][0]["byteOffset"] = 4;  // the third position runs past the 36-byte view
    expectRefused(folder.write("beyond-view.gltf", beyond.dump()), SCNSceneSourceError::invalidScene);

    auto viewBeyondBuffer = vantrel::test::triangleDocument("triangle.bin");
    viewBeyondBuffer["bufferViews"][0]["byteLength"] = 4'000'000'000u;
    expectRefused(folder.write("view-beyond.gltf", viewBeyondBuffer.dump()), SCNSceneSourceError::invalidScene);

    auto badIndex = vantrel::test::triangleDocument("triangle.bin");
    folder.write("bad-index.bin", vantrel::test::triangleBuffer().replace(40, 2, std::string("\x07\x00", 2)));
    badIndex["buffers"][0]["uri"] = "bad-index.bin";
    expectRefused(folder.write("bad-index.gltf", badIndex.dump()), SCNSceneSourceError::invalidScene);

    auto longer = vantrel::test::triangleDocument("triangle.bin");
    longer["buffers"][0]["byteLength"] = 1'000'000;  // the file holds 44 bytes
    expectRefused(folder.write("short-buffer.gltf", longer.dump()), SCNSceneSourceError::invalidScene);

    auto missing = vantrel::test::triangleDocument("triangle.bin");
    missing["nodes"][0]["mesh"] = 7;
    expectRefused(folder.write("missing-mesh.gltf", missing.dump()), SCNSceneSourceError::invalidScene);
    EXPECT_LT(peakResidentBytes(), std::uint64_t{1} << 30);
}

TEST(GltfHostileFilesTest, DeepOrTangledNodeTreesAreRefusedWithoutRecursion) {
    ScratchFolder folder("gltf-nodes");
    folder.write("triangle.bin", vantrel::test::triangleBuffer());
    auto deep = vantrel::test::triangleDocument("triangle.bin");
    json nodes = json::array();
    for (int i = 0; i < 20'000; ++i) nodes.push_back(i + 1 < 20'000 ? json{{"children", {i + 1}}} : json{{"mesh", 0}});
    deep["nodes"] = nodes;
    expectRefused(folder.write("deep.gltf", deep.dump()), SCNSceneSourceError::limitExceeded);

    // 1,024 levels are allowed; the host can lower the budget.
    deep["nodes"] = json::array();
    for (int i = 0; i < 1024; ++i) deep["nodes"].push_back(i + 1 < 1024 ? json{{"children", {i + 1}}} : json{{"mesh", 0}});
    const auto allowed = folder.write("allowed.gltf", deep.dump());
    EXPECT_TRUE(vantrel::test::readScene(allowed));
    SCNSceneSourceOptions shallow;
    shallow.maxNodeDepth = 16;
    expectRefused(allowed, SCNSceneSourceError::limitExceeded, shallow);

    auto cycle = vantrel::test::triangleDocument("triangle.bin");
    cycle["nodes"] = {{{"children", {1}}}, {{"children", {0}}, {"mesh", 0}}};
    expectRefused(folder.write("cycle.gltf", cycle.dump()), SCNSceneSourceError::invalidScene);

    auto twoParents = vantrel::test::triangleDocument("triangle.bin");
    twoParents["scenes"][0]["nodes"] = {0, 1};
    twoParents["nodes"] = {{{"children", {2}}}, {{"children", {2}}}, {{"mesh", 0}}};
    expectRefused(folder.write("two-parents.gltf", twoParents.dump()), SCNSceneSourceError::invalidScene);
}

TEST(GltfHostileFilesTest, BuffersComeOnlyFromInsideTheModelsFolder) {
    ScratchFolder folder("gltf-paths");
    folder.write("outside.bin", vantrel::test::triangleBuffer());
    const auto inner = folder.path() / "model";
    for (const std::string& uri : {std::string("../../../../etc/passwd"), std::string("/etc/passwd"),
                                   std::string("../outside.bin"), std::string("file:///etc/passwd")}) {
        SCOPED_TRACE(uri);
        auto document = vantrel::test::triangleDocument(uri);
        expectRefused(folder.write("model/model.gltf", document.dump()), SCNSceneSourceError::forbiddenPath);
    }
    // The same file inside the folder, and a percent-encoded name, read fine.
    folder.write("model/tri angle.bin", vantrel::test::triangleBuffer());
    EXPECT_TRUE(vantrel::test::readScene(folder.write("model/ok.gltf", vantrel::test::triangleDocument("tri%20angle.bin").dump())));
}

TEST(GltfHostileFilesTest, EmbeddedDataIsBoundedAndRequiredExtensionsMustBeKnown) {
    ScratchFolder folder("gltf-data");
    const auto uri = "data:application/octet-stream;base64," + vantrel::test::base64(vantrel::test::triangleBuffer());
    const auto embedded = folder.write("embedded.gltf", vantrel::test::triangleDocument(uri).dump());
    EXPECT_TRUE(vantrel::test::readScene(embedded));
    SCNSceneSourceOptions small;
    small.maxDataUriBytes = 16;
    expectRefused(embedded, SCNSceneSourceError::limitExceeded, small);
    SCNSceneSourceOptions noBuffers;
    noBuffers.maxBufferBytes = 16;
    expectRefused(embedded, SCNSceneSourceError::limitExceeded, noBuffers);

    auto required = vantrel::test::triangleDocument(uri);
    required["extensionsUsed"] = {"KHR_texture_basisu"};
    required["extensionsRequired"] = {"KHR_texture_basisu"};
    expectRefused(folder.write("required.gltf", required.dump()), SCNSceneSourceError::unsupportedExtension);
    required["extensionsRequired"] = {"KHR_mesh_quantization", "KHR_texture_transform"};
    EXPECT_TRUE(vantrel::test::readScene(folder.write("known.gltf", required.dump())));
}

TEST(GltfHostileFilesTest, TheTriangleBudgetRefusesAModelBeyondItBeforeReadingItsMeshes) {
    SCNSceneSourceOptions options;
    options.maxTriangles = 1000;
    expectRefused(vantrel::test::modelFileOf("GlamVelvetSofa"), SCNSceneSourceError::limitExceeded, options);
    options = {};
    options.maxVertices = 1000;
    expectRefused(vantrel::test::modelFileOf("GlamVelvetSofa"), SCNSceneSourceError::limitExceeded, options);
}

TEST(GltfHostileFilesTest, ImagesThatClaimHugeSizesAreLeftOutAndTheModelStillLoads) {
    ScratchFolder folder("gltf-images");
    auto document = vantrel::test::triangleDocument("");
    std::string binary = vantrel::test::triangleBuffer();
    document["images"] = json::array();
    document["textures"] = json::array();
    document["materials"] = json::array();
    // Eight images that claim 8192² pixels and one that claims 100,000² (beyond what is ever decoded).
    for (int i = 0; i < 9; ++i) {
        const auto size = i < 8 ? 8192u : 100'000u;
        const auto png = vantrel::test::pngHeaderOnly(size, size);
        while (binary.size() % 4) binary += '\0';
        document["bufferViews"].push_back({{"buffer", 0}, {"byteOffset", binary.size()}, {"byteLength", png.size()}});
        binary.append(png.begin(), png.end());
        document["images"].push_back({{"bufferView", document["bufferViews"].size() - 1}, {"mimeType", "image/png"}});
        document["textures"].push_back({{"source", i}});
        document["materials"].push_back({{"pbrMetallicRoughness", {{"baseColorTexture", {{"index", i}}}}}});
    }
    document["buffers"][0]["byteLength"] = binary.size();
    document["meshes"][0]["primitives"][0]["material"] = 8;
    const auto result = vantrel::test::readScene(folder.write("images.glb", vantrel::test::glbOf(document, binary)));
    ASSERT_TRUE(result) << result.error().message;
    for (const auto& material : (*result)->materials) EXPECT_FALSE(material.diffuseTexture);
    EXPECT_LT(peakResidentBytes(), std::uint64_t{1} << 30);
}

TEST(GltfHostileFilesTest, TexturesBeyondTheBudgetAreScaledDownAsASet) {
    ScratchFolder folder("gltf-budget");
    folder.write("triangle.bin", vantrel::test::triangleBuffer());
    auto document = vantrel::test::triangleDocument("triangle.bin");
    const auto big = vantrel::test::solidPng(256, 256, 200, 100, 50);
    const auto small = vantrel::test::solidPng(16, 16, 10, 20, 30);
    folder.write("big.png", big);
    folder.write("small.png", small);
    document["images"] = {{{"uri", "big.png"}}, {{"uri", "small.png"}}};
    document["textures"] = {{{"source", 0}}, {{"source", 1}}};
    document["materials"] = {{{"pbrMetallicRoughness", {{"baseColorTexture", {{"index", 0}}}}},
                              {"normalTexture", {{"index", 1}}}}};
    document["meshes"][0]["primitives"][0]["material"] = 0;
    const auto file = folder.write("budget.gltf", document.dump());

    SCNSceneSourceOptions options;
    options.maxTextureBytes = 64 * 64 * 4 + 16 * 16 * 4;  // the big one must shrink to 64², the small one stays
    const auto result = vantrel::test::readScene(file, options);
    ASSERT_TRUE(result) << result.error().message;
    const auto& material = (*result)->materials.front();
    ASSERT_TRUE(material.diffuseTexture && material.normalTexture);
    EXPECT_EQ(material.diffuseTexture->image->width(), 64);
    EXPECT_EQ(material.diffuseTexture->image->height(), 64);
    EXPECT_EQ(material.normalTexture->image->width(), 16);
    const auto& pixels = material.diffuseTexture->image->rgba();
    EXPECT_EQ(pixels[0], 200) << "a flat colour stays that colour";
    EXPECT_EQ(pixels[1], 100);

    const auto full = vantrel::test::readScene(file);
    ASSERT_TRUE(full);
    EXPECT_EQ((*full)->materials.front().diffuseTexture->image->width(), 256) << "the default budget leaves it";
}
