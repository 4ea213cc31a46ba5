// The canvas against the reference backend: products loaded from catalogue archives, pictures of the
// canvas in every environment with and without ground, and the canvas following records that the
// Parse JavaScript SDK changes (a component's model, a material, the scene's lighting, an anchor
// object's model).

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/ModelArchives.hpp"
#include "support/ServicesBackendFixture.hpp"
#include "support/ServicesTestSupport.hpp"
#include "support/TestPaths.hpp"
#include "vantrel/adapters/CanvasAdapter.hpp"
#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/core/MainRunLoop.hpp"
#include "vantrel/domain/MaterialEntity.hpp"
#include "vantrel/files/DownloadingService.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/render/SCNView.hpp"
#include "vantrel/scene/AnchorObjectModelNode.hpp"
#include "vantrel/scene/SnappingNode.hpp"
#include "vantrel/services/ComponentService.hpp"
#include "vantrel/services/MaterialService.hpp"
#include "vantrel/services/ModelLoaderService.hpp"

using namespace std::chrono_literals;
using nlohmann::json;

namespace vantrel {
namespace {

// The sofa module's width: the end module docks one width to the right of the middle one.
constexpr float kSofaWidth = 2.18844f;

class CanvasBackendTest : public test::ServicesBackendFixture {
protected:
    void SetUp() override {
        ServicesBackendFixture::SetUp();
        if (HasFatalFailure()) return;
        cache_ = std::filesystem::temp_directory_path() / ("vantrel-canvas-" + uniqueName("cache"));
        DownloadingService::sharedInstance().setLocalCacheHome(cache_);
        const auto p = uniqueName("canvas");
        seed({{"description", "canvas " + p},
              {"files", json::array({test::modelArchiveFile(p + "/sofa.zip", "GlamVelvetSofa"),
                                     test::modelArchiveFile(p + "/chair.zip", "SheenChair"),
                                     test::modelArchiveFile(p + "/box.zip", "Box")})}});
        chairKey_ = p + "/chair.zip";
        boxKey_ = p + "/box.zip";
        sofaKey_ = p + "/sofa.zip";
        const json catalog = {{"$ref", "catalog"}};
        const auto component = [&](const char* alias, const std::string& key, json extra = json::object()) {
            json fields = {{"catalog", catalog}, {"name", alias}, {"scnModelFilePath", key}};
            fields.update(extra);
            return json{{"alias", alias}, {"className", "Component"}, {"fields", fields}};
        };
        data_ = seedCompany(json::array({
            component("middle", sofaKey_),
            component("end", sofaKey_,
                      {{"snappingAreas", json::array({{{"connectToComponentId", {{"$id", "middle"}}},
                                                       {"offsetPosition", "2.18844, 0, 0"},
                                                       {"offsetRotation", "0,0,0,1"}}})}}),
            component("chair", chairKey_),
            component("anchored", boxKey_,
                      {{"anchorObjectConnections", json::array({{{"anchorObjectId", {{"$id", "handle"}}},
                                                                 {"offsetPosition", "0, 1.2, 0"},
                                                                 {"offsetRotation", "0, 0.3, 0, 0"},
                                                                 {"scale", "0.2, 0.2, 0.2"}}})}}),
            {{"alias", "handle"},
             {"className", "AnchorObject"},
             {"fields", {{"catalog", catalog}, {"name", "handle"}, {"scnModelFilePath", boxKey_}}}},
            {{"alias", "velvet"},
             {"className", "Material"},
             {"fields",
              {{"catalog", catalog},
               {"name", "velvet"},
               {"scnProperties", {{"diffuse", {{"rgbHexCode", "#aa3355"}}}}}}}},
        }));
    }

    void TearDown() override {
        adapter_.reset();
        ServicesBackendFixture::TearDown();
        LiveQueryClient::setShared(nullptr);
        client_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(cache_, ignored);
    }

    // Signs the employee in with a live-query client and waits until the server confirmed the
    // subscriptions the canvas depends on.
    void signInLive() {
        client_ = std::make_shared<LiveQueryClient>(liveQueryUrl(false), env().applicationId, env().clientKey,
                                                    env().caFile, LiveQueryClientOptions{});
        LiveQueryClient::setShared(client_);
        test::LogCapture log;
        signInAs(data_["employee"]);
        for (const char* label : {"Materials", "Components", "Scenes", "AnchorObjects"}) {
            const std::string line = std::string(label) + " - subscribed.";
            ASSERT_TRUE(test::eventually([&] { return log.count(line) >= 1; }, 60s)) << line;
        }
    }

    std::shared_ptr<ModelNode> load(const char* alias) {
        using Single = std::pair<std::shared_ptr<ComponentEntity>, OptionalError>;
        auto read = await<Single>([this, alias](auto done) {
            ComponentService::sharedInstance().obtainComponentById(data_[alias].get<std::string>(),
                                                                   [done](auto c, auto e) {
                                                                       done({c, e});
                                                                   });
        });
        EXPECT_TRUE(read && read->first) << alias;
        if (!read || !read->first) return nullptr;
        std::shared_ptr<ModelNode> model;
        bool called = false;
        ModelLoaderService::sharedInstance().loadModelBy(read->first, std::nullopt,
                                                         [&](std::shared_ptr<ModelNode> loaded, OptionalError error) {
                                                             EXPECT_FALSE(error) << alias;
                                                             model = std::move(loaded);
                                                             called = true;
                                                         });
        EXPECT_TRUE(MainRunLoop::runUntil([&] { return called; }, 120s));
        return model;
    }

    // The arrangement of the pictures: two docked sofa modules and a chair beside them.
    void arrange() {
        adapter_ = CanvasAdapter::make();
        view_ = std::make_shared<SCNView>(CGRect(0, 0, 800, 600));
        adapter_->setSceneView(view_);
        adapter_->setModelSelectionEnabled(true);
        middle_ = load("middle");
        end_ = load("end");
        chair_ = load("chair");
        ASSERT_TRUE(middle_ && end_ && chair_);
        adapter_->addModel(middle_, SCNVector3{0.0f, 0.0f, 0.0f});
        adapter_->addModel(end_, SCNVector3{kSofaWidth, 0.0f, 0.0f});
        adapter_->addModel(chair_, std::nullopt, SCNVector4{0.0f, 1.0f, 0.0f, -0.6f});
        adapter_->selectModelById(chair_->id());
    }

    std::string managerLogin() const {
        return data_["manager"]["username"].get<std::string>() + ":" + data_["manager"]["password"].get<std::string>();
    }

    json data_;
    std::string sofaKey_;
    std::string chairKey_;
    std::string boxKey_;
    std::filesystem::path cache_;
    std::shared_ptr<LiveQueryClient> client_;
    std::shared_ptr<CanvasAdapter> adapter_;
    std::shared_ptr<SCNView> view_;
    std::shared_ptr<ModelNode> middle_, end_, chair_;
};

TEST_F(CanvasBackendTest, PicturesOfDockedSofasAndAGlowingChairInEveryEnvironment) {
    signInAs(data_["employee"]);
    arrange();
    if (HasFatalFailure()) return;
    // The end module sits on the point its selection makes on the middle module (which hides it).
    adapter_->selectModelById(end_->id());
    const auto& points = middle_->snappingNodesDictionary();
    ASSERT_EQ(points.count(end_->id()), 1u);
    EXPECT_TRUE(points.at(end_->id()).front()->isSnappingModelInside()) << "docked arm to arm";
    EXPECT_TRUE(points.at(end_->id()).front()->isHidden());
    adapter_->selectModelById(chair_->id());
    EXPECT_FALSE(chair_->isOverlapped(adapter_->modelNodes()));
    adapter_->setShowSizes(true);

    const auto folder = test::binaryDirectory() / "test-output" / "canvas";
    std::filesystem::create_directories(folder);
    for (const bool ground : {false, true}) {
        adapter_->setGroundEnabled(ground);
        for (const auto environment : allSceneEnvironments) {
            adapter_->setSceneEnvironment(environment);
            adapter_->focusToCenter(false, true, true);
            adapter_->cameraRotate(0.0f, -0.05f);
            const auto file =
                folder / (std::string(caseName(environment)) + (ground ? "-ground" : "-no-ground") + ".png");
            const auto error = view_->writeSnapshot(file);
            ASSERT_FALSE(error) << error->description();
            EXPECT_GT(std::filesystem::file_size(file), 10000u) << file;
        }
    }
}

TEST_F(CanvasBackendTest, RecordsChangedByTheJavaScriptSdkReachTheCanvas) {
    signInLive();
    if (HasFatalFailure()) return;
    arrange();
    if (HasFatalFailure()) return;
    const auto chairId = chair_->id();
    const auto chairPosition = chair_->position();

    // The chair's component now shows the sofa: it is reloaded where it stood and stays selected.
    peer({"--login", managerLogin(), "update", "Component", data_["chair"].get<std::string>(),
          json{{"scnModelFilePath", sofaKey_}}.dump()});
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return adapter_->selectedModel() != chair_; }, 120s));
    const auto reloaded = adapter_->selectedModel();
    ASSERT_TRUE(reloaded);
    EXPECT_EQ(reloaded->id(), chairId);
    EXPECT_EQ(reloaded->position(), chairPosition);
    EXPECT_EQ(adapter_->modelNodes().size(), 3u);
    EXPECT_TRUE(reloaded->isHighlighted());
    EXPECT_GT(reloaded->boundingBox().max.x - reloaded->boundingBox().min.x, 2.0f) << "a sofa now";

    // A material recorded on the middle module's parts follows its record.
    std::vector<std::pair<std::string, std::string>> parts;
    for (const auto& node : middle_->contentNode()->childNodesPassingTest(
             [](const SCNNode&node, bool&) { return node.geometry() && !node.name().empty(); })) {
        parts.emplace_back(node->name(), "");
    }
    ASSERT_FALSE(parts.empty());
    const auto velvet = data_["velvet"].get<std::string>();
    adapter_->assignMaterialToModel(middle_->id(), parts, velvet, SCNMaterial::make());
    peer({"--login", managerLogin(), "update", "Material", velvet,
          json{{"scnProperties", {{"diffuse", {{"rgbHexCode", "#00ff00"}}}}}}.dump()});
    const auto partNode = middle_->contentNode()->childNodeWithName(parts.front().first, true);
    ASSERT_TRUE(MainRunLoop::runUntil(
        [&] {
            const auto& materials = partNode->geometry()->materials();
            return !materials.empty() && materials.front()->diffuse().contentsColor() == UIColor(0.0, 1.0, 0.0, 1.0);
        },
        60s));

    // A scene record of the catalogue gives the scene its lighting environment.
    peer({"--login", managerLogin(), "save", "Scene",
          json{{"catalog", {{"__type", "Pointer"}, {"className", "Catalog"}, {"objectId", data_["catalog"]}}},
               {"lightingEnvironment", {{"rgbHexCode", "#204060"}, {"intensity", 1.5}}}}
              .dump()});
    ASSERT_TRUE(MainRunLoop::runUntil(
        [&] { return adapter_->scene()->lightingEnvironment().contentsColor().has_value(); }, 60s));
    EXPECT_EQ(adapter_->scene()->lightingEnvironment().intensity(), 1.5);
}

TEST_F(CanvasBackendTest, AnAnchorObjectChangedByTheJavaScriptSdkIsSwappedOnItsModelOrRemoved) {
    signInLive();
    if (HasFatalFailure()) return;
    adapter_ = CanvasAdapter::make();
    const auto model = load("anchored");
    ASSERT_TRUE(model);
    adapter_->addModel(model);
    ASSERT_EQ(model->anchorObjectModels().size(), 1u);
    const auto old = model->anchorObjectModels().front();
    const auto placement = old->simdTransform();
    const auto handle = data_["handle"].get<std::string>();
    const auto update = [&](const std::string& key) {
        peer({"--login", managerLogin(), "update", "AnchorObject", handle, json{{"scnModelFilePath", key}}.dump()});
    };

    // The handle now shows the sofa: a new node takes the old one's place and transform.
    update(sofaKey_);
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return model->anchorObjectModels().front() != old; }, 120s));
    ASSERT_EQ(model->anchorObjectModels().size(), 1u);
    const auto swapped = model->anchorObjectModels().front();
    EXPECT_NE(swapped->id(), old->id());
    EXPECT_EQ(swapped->anchorObjectId(), handle);
    EXPECT_EQ(swapped->simdTransform(), placement);
    EXPECT_EQ(swapped->parentNode(), model);
    EXPECT_EQ(old->parentNode(), nullptr);
    const auto box = swapped->contentNode()->boundingBox();
    EXPECT_GT(box.max.x - box.min.x, 2.0f) << "a sofa now";

    // A model file that is not there: the failure is logged and the sofa stays.
    test::LogCapture log;
    update(sofaKey_ + ".missing.zip");
    ASSERT_TRUE(MainRunLoop::runUntil(
        [&] { return log.count("unable to reload 3D model of 'handle' anchorObject due error") >= 1; }, 60s));
    EXPECT_EQ(model->anchorObjectModels(), (std::vector{swapped}));
    EXPECT_EQ(swapped->parentNode(), model);

    // A deleted anchor object leaves the model.
    peer({"--login", managerLogin(), "delete", "AnchorObject", handle});
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return model->anchorObjectModels().empty(); }, 60s));
    EXPECT_EQ(swapped->parentNode(), nullptr);
}

}  // namespace
}  // namespace vantrel
