// The scene reader against every shared test model: what it builds must match what the glTF files
// themselves declare. The expectations are computed here from the files' JSON alone (accessor
// bounds and counts, node names, transforms), never through the importer.

#include "unit/loader/SceneLoading.hpp"
#include "support/ModelArchives.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNScene.hpp"
#include "vantrel/graph/SCNSceneSource.hpp"

#include <gtest/gtest.h>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <glm/gtx/transform.hpp>
#include <nlohmann/json.hpp>

#include <fstream>
#include <map>
#include <set>

using nlohmann::json;
using vantrel::SCNNode;
using vantrel::SCNSceneSource;

namespace {

/// The JSON of a .gltf file, or the JSON chunk of a .glb.
json gltfJson(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.compare(0, 4, "glTF") != 0) return json::parse(bytes);
    std::uint32_t length = 0;
    std::memcpy(&length, bytes.data() + 12, 4);
    return json::parse(bytes.substr(20, length));
}

struct Box {
    glm::vec3 min{std::numeric_limits<float>::max()};
    glm::vec3 max{-std::numeric_limits<float>::max()};
    [[nodiscard]] bool empty() const { return min.x > max.x; }
    void add(const glm::vec3& p) {
        min = glm::min(min, p);
        max = glm::max(max, p);
    }
    void add(const Box& b, const glm::mat4& transform) {
        if (b.empty()) return;
        for (int i = 0; i < 8; ++i) {
            const glm::vec3 corner((i & 1) ? b.max.x : b.min.x, (i & 2) ? b.max.y : b.min.y,
                                   (i & 4) ? b.max.z : b.min.z);
            add(glm::vec3(transform * glm::vec4(corner, 1.0f)));
        }
    }
};

/// What a glTF file declares, walked as the scene graph bounds a tree: each node's box is its
/// mesh's accessor box plus its children's boxes carried through their transforms.
struct Declared {
    explicit Declared(json document) : gltf(std::move(document)) {
        const auto& scenes = gltf["scenes"];
        const auto& roots = scenes[gltf.value("scene", 0)]["nodes"];
        for (const auto& index : roots) box.add(walk(index.get<int>()), local(gltf["nodes"][index.get<int>()]));
    }

    static glm::mat4 local(const json& node) {
        if (node.contains("matrix")) {
            std::vector<float> m = node["matrix"].get<std::vector<float>>();
            return glm::make_mat4(m.data());
        }
        glm::vec3 t(0), s(1);
        glm::quat r(1, 0, 0, 0);
        if (node.contains("translation")) t = {node["translation"][0], node["translation"][1], node["translation"][2]};
        if (node.contains("scale")) s = {node["scale"][0], node["scale"][1], node["scale"][2]};
        if (node.contains("rotation"))
            r = glm::quat(node["rotation"][3].get<float>(), node["rotation"][0].get<float>(),
                          node["rotation"][1].get<float>(), node["rotation"][2].get<float>());
        return glm::translate(t) * glm::mat4_cast(r) * glm::scale(s);
    }

    Box walk(int index) {
        const auto& node = gltf["nodes"][index];
        if (node.contains("name")) ++names[node["name"].get<std::string>()];
        Box result;
        if (node.contains("mesh")) {
            for (const auto& primitive : gltf["meshes"][node["mesh"].get<int>()]["primitives"]) {
                if (primitive.value("mode", 4) != 4) continue;
                if (primitive.contains("material")) usedMaterials.insert(primitive["material"].get<int>());
                colors = colors || primitive["attributes"].contains("COLOR_0");
                tangents = tangents || primitive["attributes"].contains("TANGENT");
                const auto& position = gltf["accessors"][primitive["attributes"]["POSITION"].get<int>()];
                result.add(glm::vec3(position["min"][0], position["min"][1], position["min"][2]));
                result.add(glm::vec3(position["max"][0], position["max"][1], position["max"][2]));
                const int counted = primitive.contains("indices")
                                        ? gltf["accessors"][primitive["indices"].get<int>()]["count"].get<int>()
                                        : position["count"].get<int>();
                triangles += counted / 3;
            }
        }
        for (const auto& child : node.value("children", json::array()))
            result.add(walk(child.get<int>()), local(gltf["nodes"][child.get<int>()]));
        return result;
    }

    json gltf;
    Box box;
    std::size_t triangles = 0;
    std::map<std::string, int> names;
    std::set<int> usedMaterials;
    bool colors = false;
    bool tangents = false;
};

struct Built {
    std::size_t triangles = 0;
    std::map<std::string, int> names;
    std::vector<std::shared_ptr<vantrel::SCNMaterial>> materials;
    bool colors = false;
    bool tangents = false;
};

Built describe(const vantrel::SCNScene& scene) {
    Built built;
    for (const auto& node : scene.rootNode()->childNodesPassingTest([](const SCNNode&, bool&) { return true; })) {
        if (!node->name().empty()) ++built.names[node->name()];
        if (const auto& geometry = node->geometry()) {
            built.triangles += geometry->triangleCount();
            for (const auto& m : geometry->materials()) built.materials.push_back(m);
            built.colors = built.colors || !geometry->source().colors.empty();
            built.tangents = built.tangents || !geometry->source().tangents.empty();
        }
    }
    return built;
}

using vantrel::loader_test::load;

void expectNear(const glm::vec3& actual, const glm::vec3& expected, float tolerance) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

}  // namespace

TEST(SceneSourceTest, EveryModelLoadsWithTheBoundsNamesAndTrianglesItsFileDeclares) {
    const std::vector<std::string> folders{
        "Box",        "BoxVertexColors", "Cameras", "GlamVelvetSofa", "GlassVaseFlowers", "LightsPunctualLamp",
        "SheenChair", "SimpleMeshes",    "ToyCar"};
    for (const auto& folder : folders) {
        SCOPED_TRACE(folder);
        const auto file = vantrel::test::modelFileOf(folder);
        Declared declared(gltfJson(file));
        const auto scene = load(file);
        ASSERT_TRUE(scene);
        const auto built = describe(*scene);
        EXPECT_EQ(built.triangles, declared.triangles);
        for (const auto& [name, count] : declared.names)
            EXPECT_EQ(built.names.count(name) ? built.names.at(name) : 0, count) << name;
        const auto box = scene->rootNode()->boundingBox();
        const float tolerance = 1e-4f * std::max(1.0f, glm::length(declared.box.max - declared.box.min));
        expectNear(glm::vec3(box.min.x, box.min.y, box.min.z), declared.box.min, tolerance);
        expectNear(glm::vec3(box.max.x, box.max.y, box.max.z), declared.box.max, tolerance);

        EXPECT_EQ(built.colors, declared.colors) << "vertex colours come along";
        EXPECT_EQ(built.tangents, declared.tangents) << "the file's tangents come along";

        // The drawn materials keep their alpha mode and sides, and every texture they name was found
        // (beside the file or embedded) and decoded.
        for (int index : declared.usedMaterials) {
            const auto& material = declared.gltf["materials"][index];
            if (!material.contains("name")) continue;
            const auto name = material["name"].get<std::string>();
            const auto found = std::find_if(built.materials.begin(), built.materials.end(),
                                            [&](const auto& m) { return m->name() == name; });
            ASSERT_NE(found, built.materials.end()) << name;
            const std::map<std::string, vantrel::SCNAlphaMode> modes{{"OPAQUE", vantrel::SCNAlphaMode::opaque},
                                                                     {"MASK", vantrel::SCNAlphaMode::mask},
                                                                     {"BLEND", vantrel::SCNAlphaMode::blend}};
            EXPECT_EQ((*found)->alphaMode(), modes.at(material.value("alphaMode", "OPAQUE"))) << name;
            EXPECT_EQ((*found)->isDoubleSided(), material.value("doubleSided", false)) << name;
            if (!material.contains("pbrMetallicRoughness") ||
                !material["pbrMetallicRoughness"].contains("baseColorTexture"))
                continue;
            const auto image = (*found)->diffuse().contentsImage();
            ASSERT_TRUE(image) << name;
            EXPECT_GT(image->width(), 0);
            EXPECT_EQ(image->rgba().size(), static_cast<std::size_t>(image->width()) * image->height() * 4)
                << "decoded while reading, not on first draw";
        }
    }
}

TEST(SceneSourceTest, TheUnitFactorScalesTheWholeSceneToMeters) {
    const auto file = vantrel::test::modelFileOf("SheenChair");
    const auto full = load(file)->rootNode()->boundingBox();
    const auto centi = load(file, 0.01)->rootNode()->boundingBox();
    expectNear(glm::vec3(centi.min.x, centi.min.y, centi.min.z), glm::vec3(full.min.x, full.min.y, full.min.z) * 0.01f,
               1e-6f);
    expectNear(glm::vec3(centi.max.x, centi.max.y, centi.max.z), glm::vec3(full.max.x, full.max.y, full.max.z) * 0.01f,
               1e-6f);
}

TEST(SceneSourceTest, BrokenAndMissingFilesGiveTypedErrors) {
    const auto dir = std::filesystem::temp_directory_path() / ("vantrel-scene-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    struct Case {
        std::filesystem::path file;
        std::string content;
        vantrel::SCNSceneSourceError expected;
    };
    const std::vector<Case> cases{
        {dir / "missing.glb", "", vantrel::SCNSceneSourceError::unreadableFile},
        {dir / "garbage.glb", "glTF\x02\0\0\0garbage", vantrel::SCNSceneSourceError::invalidScene},
        {dir / "broken.gltf", R"({"asset":{"version":"2.0"},"scenes":[{"nodes":[0]}],"nodes":[{"mesh":7}]})",
         vantrel::SCNSceneSourceError::invalidScene},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.filename().string());
        if (!c.content.empty()) std::ofstream(c.file, std::ios::binary) << c.content;
        auto prepared = SCNSceneSource::make(c.file)->read();
        ASSERT_FALSE(prepared);
        EXPECT_EQ(prepared.error().domain, SCNSceneSource::errorDomain);
        EXPECT_EQ(prepared.error().code, static_cast<long>(c.expected)) << prepared.error().message;
    }
    std::filesystem::remove_all(dir);
}
