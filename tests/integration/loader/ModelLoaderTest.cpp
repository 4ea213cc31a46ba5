// The model loader against the reference backend: catalogue archives and plain models built from
// the shared test models, uploaded through the signed file route and loaded into model nodes.

#include "support/ModelArchives.hpp"
#include "support/ServicesBackendFixture.hpp"
#include "vantrel/core/MainRunLoop.hpp"
#include "vantrel/files/DownloadingService.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/scene/AnchorObjectModelNode.hpp"
#include "vantrel/services/ComponentService.hpp"
#include "vantrel/services/ModelLoaderService.hpp"

#include <gtest/gtest.h>

#include <fstream>

using namespace std::chrono_literals;
using nlohmann::json;

namespace vantrel {
namespace {

using Report = std::pair<ProgressStatus, double>;

struct Loaded {
    bool called = false;
    std::shared_ptr<ModelNode> model;
    OptionalError error;
    std::vector<Report> reports;
};

class ModelLoaderTest : public test::ServicesBackendFixture {
protected:
    void SetUp() override {
        ServicesBackendFixture::SetUp();
        if (HasFatalFailure()) return;
        if (!data().is_object()) seedCatalogue();
        ASSERT_TRUE(data().contains("chair")) << data().dump();
        cache_ = std::filesystem::temp_directory_path() / ("vantrel-loader-" + uniqueName("cache"));
        DownloadingService::sharedInstance().setLocalCacheHome(cache_);
        signInAs(data()["employee"]);
        MainRunLoop::drain();  // this thread is the main thread from here on
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(cache_, ec);
        ServicesBackendFixture::TearDown();
    }

    void seedCatalogue() {
        const auto p = uniqueName("models");
        prefix() = p;
        json files =
            json::array({test::modelArchiveFile(p + "/chair.zip", "SheenChair"),
                         test::modelArchiveFile(p + "/missing-asset.zip", "Box",
                                                json{{"model", "Box.glb"}, {"assets", {"not-in-archive.png"}}}),
                         test::modelArchiveFile(p + "/array.zip", "Box", json::array({"Box.glb"}))});
        std::vector<std::string> lampAssets, cameraAssets, boxAssets;
        for (auto& f : test::looseModelFiles(p + "/lamp", "LightsPunctualLamp", &lampAssets)) files.push_back(f);
        for (auto& f : test::looseModelFiles(p + "/cameras", "Cameras", &cameraAssets)) files.push_back(f);
        // The same cameras with the second one nested below the mesh node.
        std::ifstream in(test::modelFileOf("Cameras"));
        auto nested = json::parse(in);
        nested["nodes"][0]["children"] = json::array({2});
        nested["scenes"][0]["nodes"] = json::array({0, 1});
        files.push_back({{"key", p + "/cameras/Nested.gltf"}, {"json", nested}});
        for (auto& f : test::looseModelFiles(p + "/box", "Box", &boxAssets)) files.push_back(f);
        seed({{"description", "model loader " + p}, {"files", files}});

        const json catalog = {{"$ref", "catalog"}};
        const auto component = [&](const char* alias, json fields) {
            fields["catalog"] = catalog;
            fields["name"] = alias;
            return json{{"alias", alias}, {"className", "Component"}, {"fields", fields}};
        };
        data() = seedCompany(json::array({
            {{"alias", "cm"}, {"className", "ModelMeasuringUnit"}, {"fields", {{"name", "cm"}, {"factor", 0.01}}}},
            component("chair", {{"scnModelFilePath", p + "/chair.zip"}, {"isFloating", true}}),
            component("missingAsset", {{"scnModelFilePath", p + "/missing-asset.zip"}}),
            component("arrayManifest", {{"scnModelFilePath", p + "/array.zip"}}),
            component("lamp", {{"scnModelFilePath", p + "/lamp/LightsPunctualLamp.gltf"},
                               {"scnModelAssetFilePaths", lampAssets}}),
            component("cameras",
                      {{"scnModelFilePath", p + "/cameras/Nested.gltf"}, {"scnModelAssetFilePaths", cameraAssets}}),
            component("box", {{"scnModelFilePath", p + "/box/Box.glb"}}),
            component("boxCm", {{"scnModelFilePath", p + "/box/Box.glb"}, {"scnModelMeasuringUnit", {{"$ref", "cm"}}}}),
            component("noModel", json::object()),
            component("anchored", {{"scnModelFilePath", p + "/box/Box.glb"},
                                   {"anchorObjectConnections",
                                    json::array({{{"anchorObjectId", {{"$id", "handle"}}},
                                                  {"offsetPosition", "1,0,0"},
                                                  {"offsetRotation", "0,0,0,1"},
                                                  {"scale", "2"}},
                                                 {{"anchorObjectId", {{"$id", "handle"}}}, {"offsetPosition", "9,9,9"}},
                                                 {{"anchorObjectId", {{"$id", "broken"}}}}})}}),
            {{"alias", "handle"},
             {"className", "AnchorObject"},
             {"fields", {{"catalog", catalog}, {"name", "Handle"}, {"scnModelFilePath", p + "/box/Box.glb"}}}},
            {{"alias", "broken"},
             {"className", "AnchorObject"},
             {"fields", {{"catalog", catalog}, {"name", "Broken"}, {"scnModelFilePath", p + "/nowhere/none.glb"}}}},
        }));
    }

    static json& data() {
        static json seeded;
        return seeded;
    }
    static std::string& prefix() {
        static std::string value;
        return value;
    }

    std::shared_ptr<ComponentEntity> component(const char* alias) {
        using Single = std::pair<std::shared_ptr<ComponentEntity>, OptionalError>;
        auto read = await<Single>([alias](auto done) {
            ComponentService::sharedInstance().obtainComponentById(data()[alias].get<std::string>(),
                                                                   [done](auto c, auto e) {
                                                                       done({c, e});
                                                                   });
        });
        EXPECT_TRUE(read && read->first) << alias;
        return read ? read->first : nullptr;
    }

    static Loaded load(const std::shared_ptr<ComponentEntity>& component,
                       std::optional<std::string> modelId = std::nullopt) {
        auto loaded = std::make_shared<Loaded>();
        ModelLoaderService::sharedInstance().loadModelBy(
            component, std::move(modelId),
            [loaded](std::shared_ptr<ModelNode> model, OptionalError error) {
                EXPECT_TRUE(MainRunLoop::isMainThread()) << "models are delivered on the main queue";
                EXPECT_FALSE(loaded->called) << "the block runs once";
                loaded->called = true;
                loaded->model = std::move(model);
                loaded->error = std::move(error);
            },
            [loaded](ProgressStatus status, double fraction) {
                EXPECT_TRUE(MainRunLoop::isMainThread()) << "progress is reported on the main queue";
                EXPECT_FALSE(loaded->called) << "no progress after the block";
                loaded->reports.emplace_back(status, fraction);
            });
        EXPECT_TRUE(MainRunLoop::runUntil([&] { return loaded->called; }, 120s));
        return *loaded;
    }

    static void expectMonotone(const std::vector<Report>& reports) {
        for (std::size_t i = 1; i < reports.size(); ++i)
            EXPECT_GE(reports[i].second + 1e-12, reports[i - 1].second) << "report " << i << " goes back";
        ASSERT_FALSE(reports.empty());
        EXPECT_EQ(reports.back(), (Report{ProgressStatus::done, 1.0}));
    }

    std::filesystem::path cache_;
};

bool contains(const std::vector<Report>& reports, ProgressStatus status, double fraction) {
    return std::any_of(reports.begin(), reports.end(),
                       [&](const Report& r) { return r.first == status && std::abs(r.second - fraction) < 1e-9; });
}

std::size_t triangles(const SCNNode& node) {
    std::size_t count = node.geometry() ? node.geometry()->triangleCount() : 0;
    for (const auto& child : node.childNodes()) count += triangles(*child);
    return count;
}

}  // namespace

TEST_F(ModelLoaderTest, AZippedModelLoadsOnceAndIsReadFromItsUnpackedDirectoryAfterwards) {
    const auto chair = component("chair");
    const auto first = load(chair, "model-1");
    ASSERT_FALSE(first.error) << first.error->description();
    ASSERT_TRUE(first.model);
    EXPECT_EQ(first.model->id(), "model-1");
    EXPECT_EQ(first.model->componentId(), data()["chair"]);
    EXPECT_TRUE(first.model->isFloating());
    EXPECT_GT(triangles(*first.model->contentNode()), 0u);
    expectMonotone(first.reports);
    // The fixed points of the sequence: archive third (downloading), unpacking third, then the
    // scene third made of assets, model file and reading; every half of the whole load is doubled.
    const auto& r = first.reports;
    EXPECT_EQ(r.front(), (Report{ProgressStatus::downloading, 0.0}));
    EXPECT_TRUE(contains(r, ProgressStatus::loading, 1.0 / 6)) << "archive fetched";
    EXPECT_TRUE(contains(r, ProgressStatus::loading, 2.0 / 6)) << "archive unpacked";
    EXPECT_TRUE(contains(r, ProgressStatus::processing, 2.0 / 6 + 2.0 / 18))
        << "the scene's reading starts after assets and model file";
    EXPECT_EQ(r[r.size() - 2], (Report{ProgressStatus::loading, 0.5})) << "the main model's done goes on as loading";
    EXPECT_TRUE(std::filesystem::is_regular_file(cache_ / prefix() / "chair.zip.extracted" / "metadata.json"));

    // Second load: the unpacked directory answers, even with the archive gone; nothing is fetched.
    std::filesystem::remove(cache_ / prefix() / "chair.zip");
    const auto second = load(chair);
    ASSERT_FALSE(second.error) << second.error->description();
    EXPECT_EQ(triangles(*second.model->contentNode()), triangles(*first.model->contentNode()));
    for (const auto& report : second.reports) EXPECT_NE(report.first, ProgressStatus::downloading);
    EXPECT_FALSE(std::filesystem::exists(cache_ / prefix() / "chair.zip")) << "no transfer";
    const auto assets = test::assetNamesOf("SheenChair").size();
    // Manifest straight away: the scene's three thirds, the assets one after another (loading
    // after each, all cached), then the model file, the reading and done.
    std::vector<Report> expected{{ProgressStatus::loading, 0.0}, {ProgressStatus::loading, 0.0}};
    for (std::size_t i = 1; i <= assets; ++i)
        expected.emplace_back(ProgressStatus::loading, (1.0 * i / assets) / 3 / 2);
    expected.insert(expected.end(), {{ProgressStatus::loading, 1.0 / 6},
                                     {ProgressStatus::loading, 1.0 / 6},
                                     {ProgressStatus::loading, 2.0 / 6},
                                     {ProgressStatus::loading, 2.0 / 6},
                                     {ProgressStatus::processing, 2.0 / 6},
                                     {ProgressStatus::loading, 0.5},
                                     {ProgressStatus::loading, 0.5},
                                     {ProgressStatus::done, 1.0}});
    std::vector<Report> fixed;
    for (const auto& report : second.reports)
        if (report.first != ProgressStatus::processing || report.second == 2.0 / 6) fixed.push_back(report);
    ASSERT_EQ(fixed.size(), expected.size());
    for (std::size_t i = 0; i < fixed.size(); ++i) {
        EXPECT_EQ(fixed[i].first, expected[i].first) << i;
        EXPECT_NEAR(fixed[i].second, expected[i].second, 1e-9) << i;
    }
}

TEST_F(ModelLoaderTest, APlainModelFetchesItsLooseAssetsAndLosesItsTopLevelLightsButNotANestedCamera) {
    const auto lamp = load(component("lamp"));
    ASSERT_FALSE(lamp.error) << lamp.error->description();
    expectMonotone(lamp.reports);
    EXPECT_EQ(lamp.reports.front(), (Report{ProgressStatus::loading, 0.0}));
    EXPECT_TRUE(contains(lamp.reports, ProgressStatus::loading, 1.0 / 6)) << "assets fetched";
    for (const auto& top : lamp.model->contentNode()->childNodes()) EXPECT_FALSE(top->light()) << top->name();

    const auto cameras = load(component("cameras"));
    ASSERT_FALSE(cameras.error) << cameras.error->description();
    for (const auto& top : cameras.model->contentNode()->childNodes()) EXPECT_FALSE(top->camera()) << top->name();
    const auto nestedCameras = cameras.model->contentNode()->childNodesPassingTest(
        [](const SCNNode& n, bool&) { return n.camera() != nullptr; });
    EXPECT_EQ(nestedCameras.size(), 1u) << "the camera below the mesh node stays";
    EXPECT_EQ(cameras.model->contentNode()->childNodes().size(), 1u) << "only the mesh node is left at the top";
}

TEST_F(ModelLoaderTest, ArchiveAndManifestFaultsAreWarningsOrTheirOwnErrors) {
    const test::LogCapture log;
    const auto missing = load(component("missingAsset"));
    ASSERT_FALSE(missing.error) << missing.error->description();
    EXPECT_TRUE(missing.model);
    EXPECT_EQ(
        log.count("Unable to obtain 3D model asset '" + prefix() + "/missing-asset.zip.extracted/not-in-archive.png'"),
        1u);

    const auto array = load(component("arrayManifest"));
    ASSERT_TRUE(array.error);
    EXPECT_EQ(array.error->message, "Unable to load 3D model due no 'model' field in metadata.json");
    EXPECT_EQ(array.reports.back(), (Report{ProgressStatus::done, 1.0}));

    const auto none = load(component("noModel"));
    ASSERT_TRUE(none.error);
    EXPECT_EQ(test::keyOf(none.error), "modelLoaderService_error_scn_model_file_nil");
    EXPECT_EQ(none.reports, (std::vector<Report>{{ProgressStatus::loading, 0.5}, {ProgressStatus::done, 1.0}}));
}

TEST_F(ModelLoaderTest, TheMeasuringUnitScalesTheModelToMeters) {
    const auto plain = load(component("box"));
    const auto centi = load(component("boxCm"));
    ASSERT_FALSE(plain.error);
    ASSERT_FALSE(centi.error);
    const auto a = plain.model->contentNode()->boundingBox();
    const auto b = centi.model->contentNode()->boundingBox();
    EXPECT_NEAR(a.max.x - a.min.x, 1.0, 1e-5) << "no unit: the file's own size";
    EXPECT_NEAR(b.max.x - b.min.x, 0.01, 1e-7);
    EXPECT_NEAR(b.max.y, a.max.y * 0.01, 1e-7);
}

TEST_F(ModelLoaderTest, ManyComponentsAreLoadedInTurnAndAFailingOneIsReportedBesideTheOthers) {
    std::map<std::string, ModelResult> results;
    bool called = false;
    std::vector<Report> reports;
    ModelLoaderService::sharedInstance().loadModelsBy(
        {component("noModel"), component("box")},
        [&](std::map<std::string, ModelResult> r) {
            results = std::move(r);
            called = true;
        },
        [&](ProgressStatus s, double f) { reports.emplace_back(s, f); });
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return called; }, 120s));
    ASSERT_EQ(results.size(), 2u);
    EXPECT_TRUE(results.at(data()["noModel"]).error);
    EXPECT_FALSE(results.at(data()["noModel"]).model);
    EXPECT_TRUE(results.at(data()["box"]).model);
    EXPECT_NE(results.at(data()["box"]).model->id(), "");
    expectMonotone(reports);
    EXPECT_EQ(reports.front(), (Report{ProgressStatus::loading, 0.0}));
    EXPECT_TRUE(contains(reports, ProgressStatus::loading, 0.5));
}

TEST_F(ModelLoaderTest, AnchorObjectsAreAttachedByTheirFirstConnectionAndAFailingQueryStillDeliversTheModel) {
    const test::LogCapture log;
    const auto anchored = component("anchored");
    const auto loaded = load(anchored);
    ASSERT_FALSE(loaded.error) << loaded.error->description();
    ASSERT_EQ(loaded.model->anchorObjectModels().size(), 1u) << "one per anchor object; the broken one is left out";
    const auto& handle = loaded.model->anchorObjectModels().front();
    EXPECT_EQ(handle->anchorObjectId(), data()["handle"]);
    EXPECT_EQ(handle->parentNode().get(), loaded.model.get());
    EXPECT_EQ(handle->position(), (SCNVector3{1, 0, 0}));
    EXPECT_EQ(handle->orientation(), (SCNVector4{0, 0, 0, 2})) << "rest orientation plus the offset, component-wise";
    EXPECT_EQ(handle->scale(), (SCNVector3{2, 1, 1}));
    EXPECT_GT(triangles(*handle->contentNode()), 0u);
    EXPECT_EQ(log.count("Failed loading of 3D model of AnchorObject[" + data()["broken"].get<std::string>() + "]"), 1u);
    expectMonotone(loaded.reports);

    // The model's files are cached now; with the session gone the anchor query fails, and the model
    // still comes, without anchors.
    revokeSessionOnServer();
    const auto again = load(anchored);
    ASSERT_FALSE(again.error) << again.error->description();
    ASSERT_TRUE(again.model);
    EXPECT_TRUE(again.model->anchorObjectModels().empty());
    EXPECT_EQ(log.count("Unable to obtain anchor objects of 'anchored' component due error"), 1u);
}

}  // namespace vantrel
