// Saved designs against the reference backend: the components and materials a concept refers to,
// and its order page, rendered by a real browser.

#include "unit/store/StoreTestSupport.hpp"
#include "support/ServicesBackendFixture.hpp"
#include "vantrel/services/ConceptService.hpp"
#include "vantrel/services/OrderService.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include "support/TestPaths.hpp"

namespace vantrel {
namespace {

using nlohmann::json;

class ConceptOrderTest : public test::ServicesBackendFixture {
protected:
    void SetUp() override {
        ServicesBackendFixture::SetUp();
        if (HasFatalFailure()) return;
        if (!data().is_object()) {
            const json catalog = {{"$ref", "catalog"}};
            data() = seedCompany(json::array({
                {{"alias", "chair"},
                 {"className", "Component"},
                 {"fields",
                  {{"catalog", catalog},
                   {"name", "Armchair"},
                   {"productNumber", "AC-100"},
                   {"description", "Oak frame, linen seat"},
                   {"price", 10.5}}}},
                {{"alias", "lamp"},
                 {"className", "Component"},
                 {"fields",
                  {{"catalog", catalog},
                   {"name", "Lamp <Brass>"},
                   {"productNumber", "LP-7"},
                   {"description", "Dimmable & warm"},
                   {"price", 2}}}},
                {{"alias", "velvet"},
                 {"className", "Material"},
                 {"fields", {{"catalog", catalog}, {"name", "Velvet"}}}},
            }));
        }
        ASSERT_TRUE(data().contains("chair")) << data().dump();
        signInAs(data()["employee"]);
    }

    static json& data() {
        static json seeded;
        return seeded;
    }
    static std::string id(const char* alias) { return data()[alias].get<std::string>(); }

    std::shared_ptr<ConceptEntity> design(const std::string& name, const std::vector<std::string>& componentIds) {
        auto concept_ = ConceptService::sharedInstance().spawnConcept("user-1", name);
        for (const auto& componentId : componentIds) {
            concept_->addToConceptItems(
                ConceptService::sharedInstance().spawnConceptItem(componentId, {}, {0, 0, 0, 1}));
        }
        return concept_;
    }

    test::ScopedConceptStore store_;
};

TEST_F(ConceptOrderTest, ComponentsAndMaterialsOfADesignComeFromTheBackend) {
    auto concept_ = design("room", {id("chair"), id("lamp"), id("chair")});
    using Listed = std::pair<std::vector<std::string>, OptionalError>;
    auto components = await<Listed>([&](auto done) {
        concept_->obtainComponents([done](auto found, auto error) {
            std::vector<std::string> ids;
            for (const auto& c : found) ids.push_back(c->objectId().value_or(""));
            std::sort(ids.begin(), ids.end());
            done({ids, error});
        });
    });
    ASSERT_TRUE(components);
    EXPECT_FALSE(components->second);
    auto expected = std::vector<std::string>{id("chair"), id("lamp")};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(components->first, expected) << "three items, two distinct components";

    // A tag without material and one whose material no longer exists.
    auto item = concept_->conceptItems().front();
    item->assignMaterial("A", std::nullopt);
    item->assignMaterial("B", "NoSuchMat01");
    using Triples = std::pair<std::vector<AssignedMaterialTriple>, OptionalError>;
    auto triples = await<Triples>([&](auto done) {
        item->getAssignedMaterials([done](auto t, auto e) { done({t, e}); });
    });
    ASSERT_TRUE(triples);
    EXPECT_FALSE(triples->second);
    EXPECT_EQ(triples->first,
              (std::vector<AssignedMaterialTriple>{{"A", std::nullopt, nullptr}, {"B", std::nullopt, nullptr}}));
}

// The page and its screenshot are kept under the build tree for a person to look at.
std::filesystem::path outputDirectory() {
    const auto directory = vantrel::test::binaryDirectory() / "test-output" / "order";
    std::filesystem::create_directories(directory);
    return directory;
}

// A 120×40 logo: a blue bar over a grey one.
std::shared_ptr<UIImage> logo() {
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 120; ++x) {
            const bool top = y < 20;
            rgba.insert(rgba.end(),
                        {static_cast<std::uint8_t>(top ? 30 : 180), static_cast<std::uint8_t>(top ? 90 : 180),
                         static_cast<std::uint8_t>(top ? 200 : 180), 255});
        }
    }
    return std::make_shared<UIImage>(120, 40, std::move(rgba));
}

TEST_F(ConceptOrderTest, TheOrderPageListsTheDesignAndOpensInABrowser) {
    auto concept_ = design("Reading corner <2>", {id("chair"), id("chair"), id("lamp"), id("chair")});
    using Page = std::pair<std::string, OptionalError>;
    auto page = await<Page>([&](auto done) {
        OrderService::sharedInstance().generateOrderAsHtml(concept_, logo(), [done](auto html, auto error) {
            done({html, error});
        });
    });
    ASSERT_TRUE(page);
    ASSERT_FALSE(page->second) << page->second->description();
    const auto& html = page->first;
    EXPECT_NE(
        html.find("<td>AC-100</td>\n    <td>Armchair</td>\n    <td>Oak frame, linen seat</td>\n    <td>3</td>\n    "
                  "<td>10.50</td>\n    <td>31.50</td>"),
        std::string::npos);
    EXPECT_NE(
        html.find(
            "<td>LP-7</td>\n    <td>Lamp &lt;Brass&gt;</td>\n    <td>Dimmable &amp; warm</td>\n    <td>1</td>\n    "
            "<td>2.00</td>\n    <td>2.00</td>"),
        std::string::npos);
    EXPECT_NE(html.find("<td>33.50</td></tr>"), std::string::npos);
    EXPECT_NE(html.find("<title>ORDER #Reading corner &lt;2&gt;</title>"), std::string::npos);

    const auto directory = outputDirectory();
    const auto htmlFile = directory / "order.html";
    const auto pngFile = directory / "order.png";
    std::ofstream(htmlFile, std::ios::binary) << html;
    std::filesystem::remove(pngFile);
    if (!std::filesystem::exists("/usr/bin/chromium"))
        GTEST_SKIP() << "chromium is not installed (scripts/install-deps.sh installs it)";
    const auto profile = directory / "chromium-profile";
    std::filesystem::remove_all(profile);
    const auto run =
        test::runCommand({"timeout", "120", "/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu",
                          "--disable-background-networking", "--disable-component-update", "--disable-sync",
                          "--no-first-run", "--user-data-dir=" + profile.string(), "--screenshot=" + pngFile.string(),
                          "--window-size=1024,900", "file://" + htmlFile.string()});
    std::filesystem::remove_all(profile);
    ASSERT_TRUE(std::filesystem::exists(pngFile)) << run.err;
    const auto shot = UIImage::fromFile(pngFile);
    ASSERT_TRUE(shot);
    EXPECT_EQ(shot->width(), 1024);
    EXPECT_EQ(shot->height(), 900);
    // The header's blue, the logo's blue and the total row's dark rules are on the picture.
    const auto& pixels = shot->rgba();
    const auto countOf = [&](int r, int g, int b) {
        std::size_t n = 0;
        for (std::size_t i = 0; i + 3 < pixels.size(); i += 4) {
            n += std::abs(pixels[i] - r) <= 2 && std::abs(pixels[i + 1] - g) <= 2 && std::abs(pixels[i + 2] - b) <= 2;
        }
        return n;
    };
    EXPECT_GT(countOf(0x67, 0x88, 0xA5), 10000u) << "header";
    EXPECT_GE(countOf(30, 90, 200), 120u * 20u) << "logo";
    EXPECT_GT(countOf(0x33, 0x33, 0x33), 400u) << "total row rules";
}

}  // namespace
}  // namespace vantrel
