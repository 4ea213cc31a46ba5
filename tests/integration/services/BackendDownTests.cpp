// With the backend out of reach every read still answers, once, with the error: a server that
// refuses connections (what a stopped backend looks like to the client) and one that never
// answers. The shared reference backend keeps running for the other suites; the client is
// pointed away from it instead.

#include "backend/CurrentUserStore.hpp"
#include "support/BackendFakeHttpServer.hpp"
#include "support/ServicesBackendFixture.hpp"
#include "vantrel/backend/Parse.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/services/AnchorObjectService.hpp"
#include "vantrel/services/AppListItemService.hpp"
#include "vantrel/services/AuthService.hpp"
#include "vantrel/services/CatalogService.hpp"
#include "vantrel/services/CompanyService.hpp"
#include "vantrel/services/ComponentService.hpp"
#include "vantrel/services/MaterialService.hpp"
#include "vantrel/services/ModelMeasuringUnitService.hpp"
#include "vantrel/services/SceneService.hpp"

#include <gtest/gtest.h>

#include <map>

namespace vantrel {
namespace {

using nlohmann::json;

// One read: starts it and reports, per call of its block, whether an error came with it.
struct Probe {
    std::string name;
    std::function<void(std::function<void(bool hadError)>)> start;
};

class BackendDownTest : public test::ServicesBackendFixture {
protected:
    void SetUp() override {
        ServicesBackendFixture::SetUp();
        if (HasFatalFailure()) return;
        const json catalog = {{"$ref", "catalog"}};
        data_ = seedCompany(json::array({
            {{"alias", "sofa"},
             {"className", "Component"},
             {"fields", {{"catalog", catalog}, {"name", "Sofa"}, {"productLink", "https://shop.test/p?id=1"}}}},
        }));
        ASSERT_TRUE(data_.contains("sofa")) << data_.dump();
        signInAs(data_["manager"]);
        sofa_ = await<std::shared_ptr<ComponentEntity>>([this](auto done) {
                    ComponentService::sharedInstance().obtainComponentById(data_["sofa"],
                                                                           [done](auto c, auto) { done(c); });
                }).value_or(nullptr);
        ASSERT_TRUE(sofa_);
        catalog_ = std::make_shared<CatalogEntity>();
        catalog_->setObjectId(data_["catalog"].get<std::string>());
        company_ = std::make_shared<CompanyEntity>();
        company_->setObjectId(data_["company"].get<std::string>());
        item_ = std::make_shared<AppListItemEntity>();
        item_->setObjectId("someItem");
    }

    void TearDown() override {
        reinitialize();
        ServicesBackendFixture::TearDown();
    }

    std::vector<Probe> probes() {
        const auto one = [](auto& service, auto method, auto... arguments) {
            return [&service, method, arguments...](std::function<void(bool)> report) {
                (service.*method)(arguments..., [report](auto, OptionalError error) { report(error.has_value()); });
            };
        };
        const std::string id = "someId";
        const std::vector<std::string> ids = {"a", "b"};
        const std::optional<int> none;
        auto& components = ComponentService::sharedInstance();
        auto& materials = MaterialService::sharedInstance();
        auto& scenes = SceneService::sharedInstance();
        auto& anchors = AnchorObjectService::sharedInstance();
        auto& items = AppListItemService::sharedInstance();
        auto& catalogs = CatalogService::sharedInstance();
        auto& companies = CompanyService::sharedInstance();
        auto& units = ModelMeasuringUnitService::sharedInstance();
        return {
            {"obtainCatalogByCurrentCompany", one(catalogs, &CatalogService::obtainCatalogByCurrentCompany)},
            {"obtainCatalogByCompany", one(catalogs, &CatalogService::obtainCatalogByCompany, company_)},
            {"obtainCompanyById", one(companies, &CompanyService::obtainCompanyById, id)},
            {"obtainCompanyByName", one(companies, &CompanyService::obtainCompanyByName, std::string("Acme"))},
            {"obtainModelMeasuringUnitById", one(units, &ModelMeasuringUnitService::obtainModelMeasuringUnitById, id)},
            {"obtainComponentById", one(components, &ComponentService::obtainComponentById, id)},
            {"obtainAllComponentsByIds", one(components, &ComponentService::obtainAllComponentsByIds, ids, none, none)},
            {"obtainAllComponentsByCurrentCatalog",
             one(components, &ComponentService::obtainAllComponentsByCurrentCatalog, none, none)},
            {"obtainAllComponentsByCatalog",
             one(components, &ComponentService::obtainAllComponentsByCatalog, catalog_, none, none)},
            {"obtainComponentByCurrentCatalogAndProductNr",
             one(components, &ComponentService::obtainComponentByCurrentCatalogAndProductNr, std::string("SOFA-1"))},
            {"obtainComponentByCatalogAndProductNr",
             one(components, &ComponentService::obtainComponentByCatalogAndProductNr, catalog_, std::string("SOFA-1"))},
            {"obtainAllVariancesByComponent",
             one(components, &ComponentService::obtainAllVariancesByComponent, sofa_, none, none)},
            {"countVariancesByComponent", one(components, &ComponentService::countVariancesByComponent, sofa_)},
            {"getComponentThumbnailHome", one(components, &ComponentService::getComponentThumbnailHome, sofa_)},
            {"obtainProductUrlByComponentOfCurrentCompany",
             one(components, &ComponentService::obtainProductUrlByComponentOfCurrentCompany, sofa_)},
            {"obtainMaterialById", one(materials, &MaterialService::obtainMaterialById, id)},
            {"obtainAllMaterialsByIds", one(materials, &MaterialService::obtainAllMaterialsByIds, ids, none, none)},
            {"obtainAllMaterialsByCatalog",
             one(materials, &MaterialService::obtainAllMaterialsByCatalog, catalog_, none, none)},
            {"obtainSceneById", one(scenes, &SceneService::obtainSceneById, id)},
            {"obtainSceneByCurrentCatalog", one(scenes, &SceneService::obtainSceneByCurrentCatalog)},
            {"obtainSceneByCatalog", one(scenes, &SceneService::obtainSceneByCatalog, catalog_)},
            {"obtainAllScenesByCatalog", one(scenes, &SceneService::obtainAllScenesByCatalog, catalog_, none, none)},
            {"obtainAnchorObjectById", one(anchors, &AnchorObjectService::obtainAnchorObjectById, id)},
            {"obtainAllAnchorObjectsByIds",
             one(anchors, &AnchorObjectService::obtainAllAnchorObjectsByIds, ids, none, none)},
            {"obtainAllAnchorObjectsByCurrentCatalog",
             one(anchors, &AnchorObjectService::obtainAllAnchorObjectsByCurrentCatalog, none, none)},
            {"obtainAllAnchorObjectsByCatalog",
             one(anchors, &AnchorObjectService::obtainAllAnchorObjectsByCatalog, catalog_, none, none)},
            {"obtainAppListItemById", one(items, &AppListItemService::obtainAppListItemById, id)},
            {"obtainProductsOnlyByCurrentCatalog",
             one(items, &AppListItemService::obtainProductsOnlyByCurrentCatalog, none, none)},
            {"obtainAppListItemsByCurrentCatalog (top)",
             one(items, &AppListItemService::obtainAppListItemsByCurrentCatalog, std::shared_ptr<AppListItemEntity>(),
                 none, none)},
            {"obtainAppListItemsByCurrentCatalog (below)",
             one(items, &AppListItemService::obtainAppListItemsByCurrentCatalog, item_, none, none)},
            {"currentCompany",
             [](std::function<void(bool)> report) {
                 AuthService::sharedInstance().currentCompany(
                     [report](auto, OptionalError error) { report(error.has_value()); });
             }},
            {"isUserInRole",
             [](std::function<void(bool)> report) {
                 AuthService::sharedInstance().isUserInRole(
                     ParseUser::currentUser(), RoleEntity::SupportedRole::roleCompanyManager,
                     [report](bool, OptionalError error) { report(error.has_value()); });
             }},
        };
    }

    // Points the client at `server` (a stand-in for the backend being down) with the session
    // signed in so far. A saved session is restored only for the server that issued it, so it
    // is handed over here rather than read again.
    static void faceServerWithTheSession(const ParseClientConfiguration& server) {
        const auto user = ParseUser::currentUser();
        Parse::initialize(server);
        CurrentUserStore::set(user);
    }

    // Runs every probe at once and checks that each block ran once, with an error.
    void expectEveryReadFailsOnce() {
        auto list = probes();
        test::Collector<std::pair<std::string, bool>> calls;
        for (const auto& probe : list)
            probe.start([calls, name = probe.name](bool hadError) { calls.add({name, hadError}); });
        ASSERT_TRUE(calls.waitForCount(list.size(), std::chrono::seconds(60))) << "some reads never answered";
        std::map<std::string, std::pair<int, int>> perProbe;  // calls, errors
        for (const auto& [name, hadError] : calls.items()) {
            ++perProbe[name].first;
            perProbe[name].second += hadError ? 1 : 0;
        }
        for (const auto& probe : list) {
            EXPECT_EQ(perProbe[probe.name].first, 1) << probe.name << " must answer exactly once";
            EXPECT_EQ(perProbe[probe.name].second, 1) << probe.name << " must answer with the error";
        }
    }

    json data_;
    std::shared_ptr<ComponentEntity> sofa_;
    std::shared_ptr<CatalogEntity> catalog_;
    std::shared_ptr<CompanyEntity> company_;
    std::shared_ptr<AppListItemEntity> item_;
};

TEST_F(BackendDownTest, ARefusedConnectionReachesEveryBlockAsAnError) {
    auto unreachable = configuration();
    unreachable.server = "https://127.0.0.1:" + std::to_string(test::unusedLoopbackPort()) + "/parse";
    faceServerWithTheSession(unreachable);
    ASSERT_TRUE(ParseUser::currentUser());
    test::NotificationCounter signOuts(VantrelSDK::signOutNotification);
    expectEveryReadFailsOnce();
    EXPECT_EQ(signOuts.count(), 0u) << "an unreachable backend says nothing about the session";
    EXPECT_TRUE(ParseUser::currentUser());

    // Signing in cannot happen; the version gate lets it try, and the login's error comes back.
    auto [user, error] = signIn("someone@test.invalid", "pw");
    EXPECT_EQ(user, nullptr);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 100);
}

TEST_F(BackendDownTest, AServerThatNeverAnswersEndsInTimeouts) {
    test::FakeHttpServer silent;
    silent.setMode(test::FakeHttpServer::Mode::silent);
    auto hung = configuration();
    hung.server = silent.url() + "/parse";
    hung.requestTimeout = std::chrono::milliseconds(1500);
    faceServerWithTheSession(hung);
    expectEveryReadFailsOnce();
}

}  // namespace
}  // namespace vantrel
