// Sofa modules loaded from catalogue archives through the model loader, joined by their snapping
// areas: where the point appears, docking by a drop near it, and a module standing in the way.

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "support/ModelArchives.hpp"
#include "support/ServicesBackendFixture.hpp"
#include "vantrel/core/MainRunLoop.hpp"
#include "vantrel/files/DownloadingService.hpp"
#include "vantrel/scene/Docking.hpp"
#include "vantrel/scene/SnappingNode.hpp"
#include "vantrel/services/ComponentService.hpp"
#include "vantrel/services/ModelLoaderService.hpp"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#include "support/TestPaths.hpp"

using namespace std::chrono_literals;
using nlohmann::json;

namespace vantrel {
namespace {

using Models = std::vector<std::shared_ptr<ModelNode>>;

// The sofa's seat runs from x = −1.11397 to 1.07447 m: the next module's origin stands one width
// further along x, so that the two meet arm to arm.
constexpr float kSofaWidth = 2.18844f;

class ModularSofaTest : public test::ServicesBackendFixture {
protected:
    void SetUp() override {
        ServicesBackendFixture::SetUp();
        if (HasFatalFailure()) return;
        cache_ = std::filesystem::temp_directory_path() / ("vantrel-snapping-" + uniqueName("cache"));
        DownloadingService::sharedInstance().setLocalCacheHome(cache_);

        const auto p = uniqueName("sofas");
        const json files = json::array({test::modelArchiveFile(p + "/sofa.zip", "GlamVelvetSofa")});
        seed({{"description", "modular sofa " + p}, {"files", files}});
        const json catalog = {{"$ref", "catalog"}};
        // The end module docks to the right of a middle module; both show the same sofa.
        data_ = seedCompany(json::array({
            {{"alias", "middle"},
             {"className", "Component"},
             {"fields", {{"catalog", catalog}, {"name", "Middle module"}, {"scnModelFilePath", p + "/sofa.zip"}}}},
            {{"alias", "end"},
             {"className", "Component"},
             {"fields",
              {{"catalog", catalog},
               {"name", "End module"},
               {"scnModelFilePath", p + "/sofa.zip"},
               {"snappingAreas", json::array({{{"connectToComponentId", {{"$id", "middle"}}},
                                               {"offsetPosition", "2.18844, 0, 0"},
                                               {"offsetRotation", "0,0,0,1"}}})}}}},
        }));
        signInAs(data_["employee"]);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(cache_, ec);
        ServicesBackendFixture::TearDown();
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
        ModelLoaderService::sharedInstance().loadModelBy(
            read->first, std::nullopt,
            [&](std::shared_ptr<ModelNode> loaded, OptionalError error) {
                EXPECT_FALSE(error) << alias;
                model = std::move(loaded);
                called = true;
            },
            nullptr);
        EXPECT_TRUE(MainRunLoop::runUntil([&] { return called; }, 120s));
        EXPECT_NE(model, nullptr) << alias;
        return model;
    }

    json data_;
    std::filesystem::path cache_;
};

// Top view of the floor: products grey, shown points green, hidden points red; x to the right, z down.
void writeTopView(const std::filesystem::path& path, const Models& models) {
    constexpr std::array<unsigned char, 3> kRed{220, 30, 30};
    constexpr std::array<unsigned char, 3> kGreen{30, 170, 60};
    constexpr int kSize = 480;
    constexpr float kMetres = 10.0f;
    std::vector<unsigned char> pixels(kSize * kSize * 3, 255);
    const auto fill = [&](const SCNBoundingBox& box, const std::array<unsigned char, 3>& rgb, bool outline) {
        const auto px = [](float metres) { return int(std::lround((metres + kMetres / 2) / kMetres * kSize)); };
        const int x0 = std::clamp(px(box.min.x), 0, kSize - 1), x1 = std::clamp(px(box.max.x), 0, kSize - 1);
        const int y0 = std::clamp(px(box.min.z), 0, kSize - 1), y1 = std::clamp(px(box.max.z), 0, kSize - 1);
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                if (outline && x > x0 + 2 && x < x1 - 2 && y > y0 + 2 && y < y1 - 2) continue;
                std::copy(rgb.begin(), rgb.end(), &pixels[std::size_t(y * kSize + x) * 3]);
            }
        }
    };
    for (const auto& model : models) {
        fill(model->overlapBoundingBox(), {150, 150, 150}, false);
    }
    for (const auto& model : models) {
        for (const auto& [key, points] : model->snappingNodesDictionary()) {
            for (const auto& point : points) {
                fill(point->overlapBoundingBox(), point->isHidden() ? kRed : kGreen, true);
            }
        }
    }
    ASSERT_NE(stbi_write_png(path.c_str(), kSize, kSize, 3, pixels.data(), kSize * 3), 0);
}

}  // namespace

TEST_F(ModularSofaTest, TheEndModuleDocksBesideTheMiddleOneUnlessAThirdStandsThere) {
    auto room = SCNNode::make();
    const auto middle = load("middle");
    const auto end = load("end");
    const auto other = load("middle");
    ASSERT_TRUE(middle && end && other);
    ASSERT_EQ(end->snappingAreas().size(), 1u);
    room->addChildNode(middle);
    room->addChildNode(end);
    room->addChildNode(other);
    middle->setPosition({-2.0f, 0.0f, 0.0f});
    end->setPosition({0.5f, 0.0f, 2.5f});
    other->setPosition({-1.0f, 0.0f, -2.5f});
    Models models{middle, end, other};

    // The point stands where the end module fits: one sofa width to the right, the preview as wide
    // and deep as the sofa, on both middle modules.
    const auto points = docking::buildSnappingNodes(end, models);
    ASSERT_EQ(points.size(), 2u);
    const auto& beside = points[0];
    EXPECT_EQ(beside->connectToModel(), middle);
    EXPECT_FALSE(beside->isHidden());
    EXPECT_FALSE(points[1]->isHidden());
    const SCNBoundingBox preview = beside->overlapBoundingBox();
    const SCNBoundingBox sofa = middle->overlapBoundingBox();
    EXPECT_NEAR(preview.min.x, sofa.max.x, 1e-4f) << "arm to arm";
    EXPECT_NEAR(preview.max.x - preview.min.x, sofa.max.x - sofa.min.x, 1e-4f);
    EXPECT_NEAR(preview.min.z, sofa.min.z, 1e-4f);
    writeTopView(vantrel::test::binaryDirectory() / "snapping-free.png", models);

    // Dropped near the point (a hand's width off), the end module docks exactly and stands free.
    end->setPosition(beside->worldPosition() + SCNVector3(0.12f, 0.0f, -0.08f));
    ASSERT_TRUE(docking::snapToOccupiedNode(*end, models));
    EXPECT_NEAR((end->worldPosition() - (middle->worldPosition() + SCNVector3(kSofaWidth, 0, 0))).length(), 0.0f,
                1e-5f);
    EXPECT_FALSE(end->isOverlapped(models));
    docking::refreshSnappingNodes(models, end.get());
    EXPECT_TRUE(beside->isHidden()) << "occupied";

    // Moved away, and a third module put where the end module would go: the point stays hidden.
    end->setPosition({0.5f, 0.0f, 2.5f});
    other->setPosition(middle->position() + SCNVector3(kSofaWidth + 0.6f, 0.0f, 0.1f));
    docking::refreshSnappingNodes(models, end.get());
    EXPECT_TRUE(beside->isHidden()) << "blocked";
    EXPECT_FALSE(points[1]->isHidden()) << "the third module's own point is free";
    EXPECT_EQ(docking::occupiedSnappingNode(*end, models), nullptr);
    writeTopView(vantrel::test::binaryDirectory() / "snapping-blocked.png", models);
}

}  // namespace vantrel
