// Rendering materials built from material records of the reference backend, with textures that
// went up and come down through signed URLs.

#include "support/ModelArchives.hpp"
#include "support/ServicesBackendFixture.hpp"
#include "vantrel/core/MainRunLoop.hpp"
#include "vantrel/files/DownloadingService.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/services/ComponentService.hpp"
#include "vantrel/services/MaterialService.hpp"
#include "vantrel/services/ModelLoaderService.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include "support/TestPaths.hpp"

using namespace std::chrono_literals;

namespace vantrel {
namespace {

using nlohmann::json;
using Parts = std::vector<std::pair<std::string, std::string>>;

const std::filesystem::path kChair = vantrel::test::modelsDirectory() / "SheenChair";

class FirstMaterialsBackendTest : public test::ServicesBackendFixture {
protected:
    void SetUp() override {
        ServicesBackendFixture::SetUp();
        if (HasFatalFailure()) return;
        cache_ = std::filesystem::temp_directory_path() / ("vantrel-materials-" + uniqueName("cache"));
        previousHome_ = DownloadingService::sharedInstance().localCacheHome();
        DownloadingService::sharedInstance().setLocalCacheHome(cache_);
        MainRunLoop::drain();  // this thread is the main thread from here on
    }
    void TearDown() override {
        DownloadingService::sharedInstance().setLocalCacheHome(previousHome_);
        std::error_code ec;
        std::filesystem::remove_all(cache_, ec);
        ServicesBackendFixture::TearDown();
    }

    // Uploads a file of the chair under `key` through our client's signed upload.
    static void upload(const std::string& file, const std::string& key) {
        std::optional<OptionalError> uploaded;
        DownloadingService::sharedInstance().upload(kChair / file, key, [&](OptionalError error) { uploaded = error; });
        ASSERT_TRUE(MainRunLoop::runUntil([&] { return uploaded.has_value(); }, 60s)) << key;
        ASSERT_FALSE(*uploaded) << (*uploaded)->description();
    }

    std::shared_ptr<ComponentEntity> component(const std::string& id) {
        auto read = await<std::shared_ptr<ComponentEntity>>([&](auto done) {
            ComponentService::sharedInstance().obtainComponentById(id, [done](auto c, auto) { done(c); });
        });
        EXPECT_TRUE(read && *read) << id;
        return read ? *read : nullptr;
    }

    // Downloads finish on the main queue, which this thread serves while it waits.
    static std::vector<FirstMaterialOfTag> firstMaterials(const std::shared_ptr<ComponentEntity>& of) {
        test::Await<std::pair<std::vector<FirstMaterialOfTag>, OptionalError>> done;
        MaterialService::sharedInstance().obtainFirstMaterialsOfComponent(of, [done](auto found, auto error) {
            done.set({std::move(found), std::move(error)});
        });
        EXPECT_TRUE(MainRunLoop::runUntil([&] { return done.get(std::chrono::milliseconds(0)).has_value(); }, 120s));
        const auto answer = done.get(std::chrono::milliseconds(0));
        EXPECT_TRUE(answer && !answer->second);
        return answer ? answer->first : std::vector<FirstMaterialOfTag>{};
    }

    static std::shared_ptr<ModelNode> load(const std::shared_ptr<ComponentEntity>& of, const std::string& modelId) {
        std::shared_ptr<ModelNode> model;
        bool called = false;
        ModelLoaderService::sharedInstance().loadModelBy(of, modelId,
                                                         [&](std::shared_ptr<ModelNode> m, OptionalError error) {
                                                             EXPECT_FALSE(error) << error->description();
                                                             model = std::move(m);
                                                             called = true;
                                                         },
                                                         {});
        EXPECT_TRUE(MainRunLoop::runUntil([&] { return called; }, 120s));
        return model;
    }

    std::filesystem::path cache_;
    std::filesystem::path previousHome_;
};

// Every geometry-bearing part of a model, in search order, with its materials.
using PartMaterials = std::vector<std::pair<std::string, std::vector<std::shared_ptr<SCNMaterial>>>>;
PartMaterials materialsByPart(const ModelNode& model) {
    PartMaterials parts;
    for (const auto& node : model.childNodesPassingTest([](const SCNNode&n, bool&) { return n.geometry() != nullptr; }))
        parts.emplace_back(node->name(), node->geometry()->materials());
    return parts;
}

TEST_F(FirstMaterialsBackendTest, AComponentWithThreeTagsGetsThreeMaterialsWithTheirTexturesDecoded) {
    const std::string prefix = uniqueName("materials") + "/";
    const json catalog = {{"$ref", "catalog"}};
    const auto material = [&](const char* alias, json scnProperties) {
        return json{{"alias", alias},
                    {"className", "Material"},
                    {"fields", {{"catalog", catalog}, {"name", alias}, {"scnProperties", std::move(scnProperties)}}}};
    };
    const auto ids = [](std::initializer_list<const char*> aliases) {
        json list = json::array();
        for (const auto* alias : aliases) list.push_back({{"$id", alias}});
        return list;
    };
    const auto seeded = seedCompany(json::array({
        material("velvet", {{"lightingModel", "physicallyBased"},
                            {"diffuse", {{"textureFilePath", prefix + "fabric_albedo.png"}, {"rgbHexCode", "#336699"}}},
                            {"normal", {{"textureFilePath", prefix + "fabric_normal.png"}}},
                            {"roughness", {{"floatValue", 0.8}}}}),
        material("oak", {{"diffuse",
                          {{"textureFilePath", prefix + "wood_albedo.png"},
                           {"scaleX", 2},
                           {"scaleY", 2},
                           {"wrapS", "repeat"},
                           {"wrapT", "repeat"}}}}),
        material("paper",
                 {{"diffuse", {{"textureFilePath", prefix + "label.png"}}},
                  {"specular", {{"textureFilePath", prefix + "never-uploaded.png"}, {"rgbHexCode", "#FFFFFF"}}}}),
        material("spare", {{"diffuse", {{"rgbHexCode", "#FF0000"}}}}),
        {{"alias", "chair"},
         {"className", "Component"},
         {"fields",
          {{"catalog", catalog},
           {"name", "Chair"},
           {"nodesToTags", json::array({{{"nodeName", "Fabric"}, {"tag", "fabric"}},
                                        {{"nodeName", "Frame"}, {"nodeId", "w1"}, {"tag", "wood"}},
                                        {{"nodeName", "Label"}, {"tag", "label"}},
                                        {{"nodeName", "Cushion"}, {"tag", "fabric"}}})},
           {"tagsToMaterials", json::array({{{"tag", "fabric"}, {"materialIds", ids({"velvet", "spare"})}},
                                            {{"tag", "wood"}, {"materialIds", ids({"oak"})}},
                                            {{"tag", "label"}, {"materialIds", ids({"paper", "spare"})}}})}}}},
    }));
    signInAs(seeded["employee"]);
    upload("chair_fabric_albedo.png", prefix + "fabric_albedo.png");
    upload("chair_fabric_normal.png", prefix + "fabric_normal.png");
    upload("chair_wood_albedo.png", prefix + "wood_albedo.png");
    upload("chair_label.png", prefix + "label.png");
    if (HasFatalFailure()) return;
    DownloadingService::sharedInstance().cleanLocalCache();  // every texture comes down again

    const auto chair = component(seeded["chair"].get<std::string>());
    ASSERT_TRUE(chair);

    // The last tag's textures are cached by then, so the answer may come on the backend client's
    // thread rather than the main queue.
    const auto pairs = firstMaterials(chair);

    // Tags in order of the tagged parts: fabric (its two parts), wood, label, fabric again.
    ASSERT_EQ(pairs.size(), 4u);
    const auto& velvet = *pairs[0].material;
    EXPECT_EQ(pairs[0].nodeNamesOrNodeIds, (Parts{{"Fabric", ""}, {"Cushion", ""}}));
    EXPECT_EQ(velvet.lightingModel(), SCNLightingModel::physicallyBased);
    ASSERT_TRUE(velvet.diffuse().contentsImage());
    EXPECT_EQ(velvet.diffuse().contentsImage()->width(), 512);
    ASSERT_TRUE(velvet.normal().contentsImage());
    EXPECT_EQ(velvet.normal().contentsImage()->width(), 1024);
    EXPECT_NEAR(velvet.roughness().contentsNumber().value_or(0), 0.8, 1e-6);

    const auto& oak = *pairs[1].material;
    EXPECT_EQ(pairs[1].nodeNamesOrNodeIds, (Parts{{"Frame", "w1"}}));
    ASSERT_TRUE(oak.diffuse().contentsImage());
    EXPECT_EQ(oak.diffuse().wrapS(), SCNWrapMode::repeat);
    const glm::vec4 corner = oak.diffuse().contentsTransform() * glm::vec4(1, 1, 0, 1);
    EXPECT_NEAR(corner.x, 2.0f, 1e-5);
    EXPECT_NEAR(corner.y, 2.0f, 1e-5);

    const auto& paper = *pairs[2].material;
    ASSERT_TRUE(paper.diffuse().contentsImage());
    EXPECT_EQ(paper.diffuse().contentsImage()->width(), 1024);
    EXPECT_EQ(paper.diffuse().contentsImage()->height(), 512);
    EXPECT_EQ(paper.diffuse().contentsImage()->rgba().size(), 1024u * 512u * 4u);
    EXPECT_EQ(paper.specular().contentsColor(), (UIColor{1, 1, 1, 1}))
        << "a texture that is not there gives way to the colour";

    EXPECT_EQ(pairs[3].material->diffuse().contentsImage()->width(), 512)
        << "the repeated tag builds its material again";
}

TEST_F(FirstMaterialsBackendTest, RecolouringOneTagOfALoadedChairChangesOnlyThatPlacementsPartsUntilRestored) {
    const std::string prefix = uniqueName("recolour");
    seed({{"description", "recolouring " + prefix},
          {"files", json::array({test::modelArchiveFile(prefix + "/chair.zip", "SheenChair")})}});
    const json catalog = {{"$ref", "catalog"}};
    const auto seeded = seedCompany(json::array({
        {{"alias", "peacock"},
         {"className", "Material"},
         {"fields",
          {{"catalog", catalog},
           {"name", "Peacock"},
           {"scnProperties", {{"lightingModel", "physicallyBased"}, {"diffuse", {{"rgbHexCode", "#1D5C63"}}}}}}}},
        {{"alias", "chair"},
         {"className", "Component"},
         {"fields",
          {{"catalog", catalog},
           {"name", "Chair"},
           {"scnModelFilePath", prefix + "/chair.zip"},
           {"nodesToTags",
            json::array({{{"nodeName", "fabric"}, {"tag", "upholstery"}}, {{"nodeName", "wood"}, {"tag", "frame"}}})},
           {"tagsToMaterials",
            json::array({{{"tag", "upholstery"}, {"materialIds", json::array({json{{"$id", "peacock"}}})}}})}}}},
    }));
    signInAs(seeded["employee"]);

    const auto chair = component(seeded["chair"].get<std::string>());
    ASSERT_TRUE(chair);
    const auto first = load(chair, "placement-1");
    const auto second = load(chair, "placement-2");
    ASSERT_TRUE(first && second);
    const auto firstBefore = materialsByPart(*first);
    const auto secondBefore = materialsByPart(*second);
    ASSERT_GE(firstBefore.size(), 4u) << "fabric, wood, metal and label";

    const auto pairs = firstMaterials(chair);
    ASSERT_EQ(pairs.size(), 1u) << "only the upholstery tag has a material";
    const auto peacock = pairs[0].material;
    EXPECT_EQ(peacock->diffuse().contentsColor(), UIColor::fromHexRgbString("#1D5C63"));

    first->assignMaterial(peacock, pairs[0].nodeNamesOrNodeIds);
    const auto firstAfter = materialsByPart(*first);
    ASSERT_EQ(firstAfter.size(), firstBefore.size());
    std::size_t recoloured = 0;
    for (std::size_t i = 0; i < firstAfter.size(); ++i) {
        const auto& [name, materials] = firstAfter[i];
        auto expected = firstBefore[i].second;
        if (name.ends_with("_fabric")) {
            expected.insert(expected.begin(), peacock);
            ++recoloured;
        }
        EXPECT_EQ(materials, expected) << name;
    }
    EXPECT_EQ(recoloured, 1u) << "the chair has one fabric part";
    EXPECT_EQ(materialsByPart(*second), secondBefore) << "the other placement keeps its colours";

    first->assignMaterial(nullptr, pairs[0].nodeNamesOrNodeIds);
    EXPECT_EQ(materialsByPart(*first), firstBefore) << "restoring brings back the very same materials";
}

}  // namespace
}  // namespace vantrel
