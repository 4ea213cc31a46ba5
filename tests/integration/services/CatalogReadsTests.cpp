// The catalogue services against the reference backend: current-catalogue reads, list items and
// their order, product links with the company's parameters, variants, the thumbnail folder.

#include "support/ServicesBackendFixture.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/core/Strings.hpp"
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

#include <algorithm>
#include <set>

namespace vantrel {
namespace {

using nlohmann::json;
using test::Await;
template <class T>
using Listed = std::pair<std::vector<std::shared_ptr<T>>, OptionalError>;
template <class T>
using Single = std::pair<std::shared_ptr<T>, OptionalError>;
using Text = std::pair<std::optional<std::string>, OptionalError>;

template <class T>
std::vector<std::string> idsOf(const std::vector<std::shared_ptr<T>>& records) {
    std::vector<std::string> ids;
    for (const auto& record : records) ids.push_back(record->objectId().value_or(""));
    return ids;
}

class CatalogReadsTest : public test::ServicesBackendFixture {
protected:
    void SetUp() override {
        ServicesBackendFixture::SetUp();
        if (HasFatalFailure()) return;
        if (!data().is_object()) {
            const json catalog = {{"$ref", "catalog"}};
            const auto item = [&](const char* alias, const char* type, int index, std::optional<const char*> parent,
                                  std::optional<const char*> component) {
                json fields = {{"catalog", catalog}, {"type", type}, {"index", index}, {"label", alias}};
                if (parent) fields["parent"] = {{"$ref", *parent}};
                if (component) fields["component"] = {{"$ref", *component}};
                return json{{"alias", alias}, {"className", "MarketingListItem"}, {"fields", fields}};
            };
            data() = seedCompany(json::array({
                {{"alias", "sofa"},
                 {"className", "Component"},
                 {"fields",
                  {{"catalog", catalog},
                   {"name", "Sofa"},
                   {"productNumber", "SOFA-1"},
                   {"productLink", "https://shop.test/p?id=1"},
                   {"variances", {{"$relation", {"corner", "chair"}}}},
                   {"nodesToTags", json::array({{{"nodeName", "seat"}, {"tag", "fabric"}}})},
                   {"tagsToMaterials",
                    json::array({{{"tag", "fabric"}, {"materialIds", json::array({json{{"$id", "velvet"}}})}}})}}}},
                {{"alias", "corner"},
                 {"className", "Component"},
                 {"fields", {{"catalog", catalog}, {"name", "Corner"}, {"parent", {{"$ref", "sofa"}}}}}},
                {{"alias", "chair"},
                 {"className", "Component"},
                 {"fields", {{"catalog", catalog}, {"name", "Chair"}, {"productLink", "  \n"}}}},
                {{"alias", "lamp"},
                 {"className", "Component"},
                 {"fields", {{"catalog", catalog}, {"name", "Lamp"}, {"productLink", "not a link at all"}}}},
                {{"alias", "velvet"},
                 {"className", "Material"},
                 {"fields", {{"catalog", catalog}, {"name", "Velvet"}}}},
                {{"alias", "scene"}, {"className", "Scene"}, {"fields", {{"catalog", catalog}}}},
                {{"alias", "hook"},
                 {"className", "AnchorObject"},
                 {"fields", {{"catalog", catalog}, {"name", "Hook"}}}},
                {{"alias", "rail"},
                 {"className", "AnchorObject"},
                 {"fields", {{"catalog", catalog}, {"name", "Rail"}}}},
                {{"alias", "unit"},
                 {"className", "ModelMeasuringUnit"},
                 {"fields", {{"name", "cm"}, {"factor", 0.01}}}},
                item("nav", "NAVIGATION_ITEM", 2, std::nullopt, std::nullopt),
                item("overlay", "OVERLAY_IMAGE", 0, std::nullopt, std::nullopt),
                item("product", "MAIN_PRODUCT", 1, std::nullopt, "sofa"),
                item("childB", "MAIN_PRODUCT", 1, "nav", "chair"),
                item("childA", "OVERLAY_IMAGE", 0, "nav", std::nullopt),
            }));
            peer({"--master", "update", "Company", data()["company"],
                  json{{"extraProductUrlParams", "?a=1?b=2"}}.dump()});
        }
        ASSERT_TRUE(data().contains("sofa")) << data().dump();
        catalog_ = std::make_shared<CatalogEntity>();
        catalog_->setObjectId(id("catalog"));
        signInAs(data()["employee"]);
    }

    static json& data() {
        static json seeded;
        return seeded;
    }
    static std::string id(const char* alias) { return data()[alias].get<std::string>(); }

    std::shared_ptr<ComponentEntity> component(const char* alias) {
        auto read = await<Single<ComponentEntity>>([alias](auto done) {
            ComponentService::sharedInstance().obtainComponentById(id(alias), [done](auto c, auto e) { done({c, e}); });
        });
        EXPECT_TRUE(read && read->first) << alias;
        return read ? read->first : nullptr;
    }

    Text productUrl(const std::shared_ptr<ComponentEntity>& c) {
        test::Collector<Text> answers;
        ComponentService::sharedInstance().obtainProductUrlByComponentOfCurrentCompany(c,
                                                                                       [answers](auto url, auto error) {
                                                                                           answers.add({url, error});
                                                                                       });
        EXPECT_TRUE(answers.waitForCount(1));
        EXPECT_EQ(answers.items().size(), 1u) << "the block runs exactly once";
        return answers.items().empty() ? Text{} : answers.items().front();
    }

    std::shared_ptr<CatalogEntity> catalog_;
};

TEST_F(CatalogReadsTest, TopLevelListItemsAreThoseWithoutParentByIndex) {
    auto top = await<Listed<AppListItemEntity>>([](auto done) {
        AppListItemService::sharedInstance().obtainAppListItemsByCurrentCatalog(nullptr, std::nullopt, std::nullopt,
                                                                                [done](auto items, auto error) {
                                                                                    done({items, error});
                                                                                });
    });
    ASSERT_TRUE(top);
    EXPECT_FALSE(top->second);
    EXPECT_EQ(idsOf(top->first), (std::vector<std::string>{id("overlay"), id("product"), id("nav")}));
    // The product's component arrives filled.
    const auto& product = top->first.at(1);
    ASSERT_TRUE(product->component());
    EXPECT_TRUE(product->component()->isDataAvailable());
    EXPECT_EQ(product->label(), "Sofa");

    auto children = await<Listed<AppListItemEntity>>([&](auto done) {
        AppListItemService::sharedInstance().obtainAppListItemsByCurrentCatalog(
            top->first.at(2), std::nullopt, std::nullopt, [done](auto items, auto error) {
                done({items, error});
            });
    });
    ASSERT_TRUE(children);
    EXPECT_EQ(idsOf(children->first), (std::vector<std::string>{id("childA"), id("childB")}));

    // Main products of every level: those under a parent first, then the top level's.
    auto products = await<Listed<AppListItemEntity>>([](auto done) {
        AppListItemService::sharedInstance().obtainProductsOnlyByCurrentCatalog(std::nullopt, std::nullopt,
                                                                                [done](auto items, auto error) {
                                                                                    done({items, error});
                                                                                });
    });
    ASSERT_TRUE(products);
    EXPECT_EQ(idsOf(products->first), (std::vector<std::string>{id("childB"), id("product")}));
}

TEST_F(CatalogReadsTest, ProductLinksTakeTheCompanysParametersInOrder) {
    auto sofa = component("sofa");
    ASSERT_TRUE(sofa);
    auto [url, error] = productUrl(sofa);
    EXPECT_FALSE(error);
    EXPECT_EQ(url, "https://shop.test/p?id=1&a=1&b=2");

    // A blank link answers at once, without the backend.
    auto chair = component("chair");
    test::RequestRecorder requests;
    auto [none, noError] = productUrl(chair);
    EXPECT_FALSE(none);
    EXPECT_FALSE(noError);
    EXPECT_TRUE(requests.requests().empty());
    // A link that is no URL gives nothing and no error, once.
    auto [bad, badError] = productUrl(component("lamp"));
    EXPECT_FALSE(bad);
    EXPECT_FALSE(badError);

    // Blank parameters leave the link unchanged.
    peer({"--master", "update", "Company", id("company"), json{{"extraProductUrlParams", "  "}}.dump()});
    auto [plain, plainError] = productUrl(sofa);
    EXPECT_FALSE(plainError);
    EXPECT_EQ(plain, "https://shop.test/p?id=1");
    peer({"--master", "update", "Company", id("company"), json{{"extraProductUrlParams", "?a=1?b=2"}}.dump()});
}

TEST_F(CatalogReadsTest, ComponentsOfTheCurrentCatalog) {
    auto all = await<Listed<ComponentEntity>>([](auto done) {
        ComponentService::sharedInstance().obtainAllComponentsByCurrentCatalog(std::nullopt, std::nullopt,
                                                                               [done](auto records, auto error) {
                                                                                   done({records, error});
                                                                               });
    });
    ASSERT_TRUE(all);
    EXPECT_FALSE(all->second);
    EXPECT_EQ(all->first.size(), 4u);
    for (const auto& c : all->first) {
        if (c->objectId() == id("corner")) {
            EXPECT_TRUE(c->parent() && c->parent()->isDataAvailable()) << "parent included";
        }
    }

    auto byNumber = await<Single<ComponentEntity>>([](auto done) {
        ComponentService::sharedInstance().obtainComponentByCurrentCatalogAndProductNr("SOFA-1",
                                                                                       [done](auto c, auto e) {
                                                                                           done({c, e});
                                                                                       });
    });
    ASSERT_TRUE(byNumber && byNumber->first);
    EXPECT_EQ(byNumber->first->objectId(), id("sofa"));

    auto missing = await<Single<ComponentEntity>>([this](auto done) {
        ComponentService::sharedInstance().obtainComponentByCatalogAndProductNr(catalog_, "NO-SUCH-NUMBER",
                                                                                [done](auto c, auto e) {
                                                                                    done({c, e});
                                                                                });
    });
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->first, nullptr);
    EXPECT_FALSE(missing->second) << "nothing found is no error";

    auto byIds = await<Listed<ComponentEntity>>([](auto done) {
        ComponentService::sharedInstance().obtainAllComponentsByIds({id("chair"), id("lamp"), "unknown"}, std::nullopt,
                                                                    std::nullopt, [done](auto r, auto e) {
                                                                        done({r, e});
                                                                    });
    });
    ASSERT_TRUE(byIds);
    EXPECT_EQ(byIds->first.size(), 2u);
}

TEST_F(CatalogReadsTest, VariantsThroughTheRelation) {
    auto sofa = component("sofa");
    ASSERT_TRUE(sofa);
    auto variants = await<Listed<ComponentEntity>>([&](auto done) {
        ComponentService::sharedInstance().obtainAllVariancesByComponent(sofa, std::nullopt, std::nullopt,
                                                                         [done](auto r, auto e) {
                                                                             done({r, e});
                                                                         });
    });
    ASSERT_TRUE(variants);
    EXPECT_FALSE(variants->second);
    auto ids = idsOf(variants->first);
    std::sort(ids.begin(), ids.end());
    auto expected = std::vector<std::string>{id("corner"), id("chair")};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ids, expected);

    auto count = await<std::pair<int, OptionalError>>([&](auto done) {
        ComponentService::sharedInstance().countVariancesByComponent(sofa, [done](int n, auto e) { done({n, e}); });
    });
    ASSERT_TRUE(count);
    EXPECT_EQ(count->first, 2);

    auto unsaved = await<std::pair<int, OptionalError>>([](auto done) {
        ComponentService::sharedInstance().countVariancesByComponent(std::make_shared<ComponentEntity>(),
                                                                     [done](int n, auto e) {
                                                                         done({n, e});
                                                                     });
    });
    ASSERT_TRUE(unsaved && unsaved->second);
    EXPECT_EQ(unsaved->first, 0);
    EXPECT_EQ(unsaved->second->message, Strings::localized("common_internal_error"));
}

TEST_F(CatalogReadsTest, TheOtherRecordsOfTheCatalog) {
    auto catalog = await<Single<CatalogEntity>>([](auto done) {
        CatalogService::sharedInstance().obtainCatalogByCurrentCompany([done](auto c, auto e) { done({c, e}); });
    });
    ASSERT_TRUE(catalog && catalog->first);
    EXPECT_EQ(catalog->first->objectId(), id("catalog"));

    auto scene = await<Single<SceneEntity>>([](auto done) {
        SceneService::sharedInstance().obtainSceneByCurrentCatalog([done](auto s, auto e) { done({s, e}); });
    });
    ASSERT_TRUE(scene && scene->first);
    EXPECT_EQ(scene->first->objectId(), id("scene"));

    auto anchors = await<Listed<AnchorObjectEntity>>([](auto done) {
        AnchorObjectService::sharedInstance().obtainAllAnchorObjectsByCurrentCatalog(std::nullopt, std::nullopt,
                                                                                     [done](auto r, auto e) {
                                                                                         done({r, e});
                                                                                     });
    });
    ASSERT_TRUE(anchors);
    EXPECT_EQ(anchors->first.size(), 2u);

    auto unit = await<Single<ModelMeasuringUnitEntity>>([](auto done) {
        ModelMeasuringUnitService::sharedInstance().obtainModelMeasuringUnitById(id("unit"), [done](auto u, auto e) {
            done({u, e});
        });
    });
    ASSERT_TRUE(unit && unit->first);
    EXPECT_EQ(unit->first->name(), "cm");

    auto materials = await<Listed<MaterialEntity>>([](auto done) {
        MaterialService::sharedInstance().obtainAllMaterialsByIds({id("velvet")}, std::nullopt, std::nullopt,
                                                                  [done](auto r, auto e) {
                                                                      done({r, e});
                                                                  });
    });
    ASSERT_TRUE(materials);
    EXPECT_EQ(idsOf(materials->first), (std::vector<std::string>{id("velvet")}));

    auto byName = await<Single<CompanyEntity>>([](auto done) {
        CompanyService::sharedInstance().obtainCompanyByName("no company is called this", [done](auto c, auto e) {
            done({c, e});
        });
    });
    ASSERT_TRUE(byName);
    EXPECT_EQ(byName->first, nullptr);
    EXPECT_FALSE(byName->second);
}

TEST_F(CatalogReadsTest, WithoutUserCurrentCatalogReadsEndEmptyAfterASignOut) {
    Await<bool> out;
    AuthService::sharedInstance().signOut(false, [out] { out.set(true); });
    ASSERT_TRUE(out.get());
    test::NotificationCounter signOuts(VantrelSDK::signOutNotification);
    test::RequestRecorder requests;
    auto all = await<Listed<ComponentEntity>>([](auto done) {
        ComponentService::sharedInstance().obtainAllComponentsByCurrentCatalog(std::nullopt, std::nullopt,
                                                                               [done](auto r, auto e) {
                                                                                   done({r, e});
                                                                               });
    });
    ASSERT_TRUE(all);
    EXPECT_TRUE(all->first.empty());
    EXPECT_FALSE(all->second);
    EXPECT_EQ(signOuts.count(), 1u);
    EXPECT_TRUE(requests.requests("classes/").empty());
}

}  // namespace
}  // namespace vantrel
