// Shadows from the key light's shadow map: on the ground, on the casters themselves, and on shadow
// catchers that show only the shadow over what lies behind them.

#include <algorithm>
#include <cmath>
#include <vector>

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include "RenderTestSupport.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/graph/SCNFloor.hpp"
#include "vantrel/graph/SCNPlane.hpp"

namespace vantrel {
namespace {

using render_test::Pixel;
using render_test::pixelAt;

// A unit box standing on a grey floor at the origin, a sun from the upper right (60° high, rays
// going towards −X, so the shadow falls left of the box, from x −0.5 to x −1.08), some ambient
// light, a camera above the front looking down at 45°.
struct ShadowStage {
    std::shared_ptr<SCNScene> scene = SCNScene::make();
    std::shared_ptr<SCNNode> camera = SCNNode::make();
    std::shared_ptr<SCNLight> sun = SCNLight::make(SCNLightType::directional);
    std::shared_ptr<SCNNode> box;
    std::shared_ptr<SCNNode> ground;
    std::unique_ptr<SCNView> view;

    explicit ShadowStage(bool catcher = false) {
        camera->setCamera(SCNCamera::make());
        camera->setPosition({0.0f, 4.0f, 4.0f});
        camera->setEulerAngles({-static_cast<float>(M_PI) / 4.0f, 0.0f, 0.0f});
        scene->rootNode()->addChildNode(camera);
        sun->setCastsShadow(true);
        sun->setShadowMapSize(512);
        sun->setShadowRadius(24.0);  // edges about 7 cm wide: several pixels
        auto sunNode = SCNNode::make();
        sunNode->setLight(sun);
        sunNode->setEulerAngles({-static_cast<float>(M_PI) / 3.0f, static_cast<float>(M_PI) / 2.0f, 0.0f});
        scene->rootNode()->addChildNode(sunNode);
        auto fill = SCNLight::make(SCNLightType::ambient);
        fill->setIntensity(300.0);
        auto fillNode = SCNNode::make();
        fillNode->setLight(fill);
        scene->rootNode()->addChildNode(fillNode);

        box = SCNNode::make(SCNBox::make(1.0f, 1.0f, 1.0f));
        box->geometry()->setFirstMaterial(material(UIColor(0.8, 0.3, 0.2), SCNLightingModel::lambert));
        box->setPosition({0.0f, 0.5f, 0.0f});
        scene->rootNode()->addChildNode(box);
        if (catcher) {
            ground = SCNNode::make(SCNPlane::make(8.0f, 8.0f));
            ground->geometry()->setFirstMaterial(material(UIColor::whiteColor(), SCNLightingModel::shadowOnly));
            ground->setEulerAngles({-static_cast<float>(M_PI) / 2.0f, 0.0f, 0.0f});
            scene->background().setContents(UIColor(0.2, 0.5, 0.8));
        } else {
            auto floor = SCNFloor::make();
            floor->setReflectivity(0.0);
            floor->setFirstMaterial(material(UIColor(0.6, 0.6, 0.6), SCNLightingModel::lambert));
            ground = SCNNode::make(floor);
        }
        scene->rootNode()->addChildNode(ground);
        view = std::make_unique<SCNView>(CGRect(0, 0, 400, 300));
        view->setScene(scene);
        view->setPointOfView(camera);
    }

    static std::shared_ptr<SCNMaterial> material(const UIColor& color, SCNLightingModel model) {
        auto made = SCNMaterial::make();
        made->diffuse().setContents(color);
        made->setLightingModel(model);
        return made;
    }

    // The pixel showing world point (x, y, z).
    [[nodiscard]] Pixel at(const UIImage& image, float x, float y, float z) const {
        const SCNVector3 p = view->projectPoint({x, y, z});
        return pixelAt(image, static_cast<int>(std::lround(p.x)), static_cast<int>(std::lround(p.y)));
    }
};

int luminance(const Pixel& p) { return (p.r * 2126 + p.g * 7152 + p.b * 722) / 10000; }

TEST(Shadow, TheGroundUnderABoxIsDarkWithASoftEdgeAndLitBeyondIt) {
    ShadowStage stage;
    const auto image = render_test::picture(*stage.view, "shadow-box");
    ASSERT_TRUE(image);
    const int inside = luminance(stage.at(*image, -0.8f, 0.0f, 0.0f));
    const int far = luminance(stage.at(*image, -2.5f, 0.0f, 0.0f));
    const int farFront = luminance(stage.at(*image, 1.5f, 0.0f, 1.5f));
    EXPECT_LT(inside, far - 60) << "the shadow left of the box";
    EXPECT_NEAR(far, farFront, 2) << "the lit ground is the same everywhere";

    // Across the far edge (x −1.08) the ground goes from dark to lit over several pixels, never
    // (beyond the filter's noise) getting darker outwards.
    std::vector<int> row;
    for (float x = -0.85f; x > -1.35f; x -= 0.01f) row.push_back(luminance(stage.at(*image, x, 0.0f, 0.0f)));
    const auto between = std::count_if(row.begin(), row.end(), [&](int v) { return v > inside + 8 && v < far - 8; });
    EXPECT_GE(between, 3) << "a soft edge: " << testing::PrintToString(row);
    EXPECT_NEAR(row.front(), inside, 6);
    EXPECT_NEAR(row.back(), far, 3);
    for (std::size_t i = 4; i < row.size(); ++i) EXPECT_GE(row[i] + 12, row[i - 4]) << "at step " << i;
}

TEST(Shadow, NothingCastsWhenTheNodeOrTheLightSaysNo) {
    for (const bool nodeCasts : {false, true}) {
        SCOPED_TRACE(nodeCasts ? "the light casts none" : "the box casts none");
        ShadowStage stage;
        stage.box->setCastsShadow(nodeCasts);
        stage.sun->setCastsShadow(!nodeCasts);
        const auto image = render_test::picture(*stage.view, nodeCasts ? "shadow-light-off" : "shadow-node-off");
        ASSERT_TRUE(image);
        EXPECT_NEAR(luminance(stage.at(*image, -0.8f, 0.0f, 0.0f)), luminance(stage.at(*image, -2.5f, 0.0f, 0.0f)), 2);
    }
}

TEST(Shadow, TheMapIsDrawnAgainOnlyWhenWhatItShowsChanges) {
    ShadowStage stage;
    const auto drawCalls = [&] {
        EXPECT_FALSE(stage.view->draw().has_value());
        return stage.view->statistics().drawCalls;
    };
    const std::size_t first = drawCalls();
    const std::size_t still = drawCalls();
    EXPECT_EQ(first - still, 6u) << "the box's six faces into the map, once";
    stage.box->setPosition({0.2f, 0.5f, 0.0f});
    EXPECT_EQ(drawCalls(), first) << "moved: drawn again";
    EXPECT_EQ(drawCalls(), still);
    stage.sun->setShadowMapSize(1024);
    EXPECT_EQ(drawCalls(), first) << "a finer map";
}

TEST(Shadow, LitFacesOfTheCasterShowNoAcne) {
    ShadowStage stage;
    stage.camera->setSimdTransform(
        glm::inverse(glm::lookAt(glm::vec3(3.0f, 2.5f, 3.0f), glm::vec3(0.0f, 0.5f, 0.0f), glm::vec3(0, 1, 0))));
    const auto image = render_test::picture(*stage.view, "shadow-box-faces");
    stage.sun->setCastsShadow(false);
    const auto unshadowed = render_test::picture(*stage.view, "shadow-box-faces-without");
    ASSERT_TRUE(image && unshadowed);
    // Inside the edges of the top (the light 60° over it) and of the right side (the light 30° over
    // it): as lit as without shadows, all over.
    const struct {
        const char* name;
        glm::vec3 corner, across, along;
    } faces[] = {
        {"top", {-0.4f, 1.0f, -0.4f}, {0.8f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.8f}},
        {"right", {0.5f, 0.1f, -0.4f}, {0.0f, 0.8f, 0.0f}, {0.0f, 0.0f, 0.8f}},
    };
    for (const auto& face : faces) {
        SCOPED_TRACE(face.name);
        int worst = 0;
        for (int i = 0; i <= 10; ++i) {
            for (int j = 0; j <= 10; ++j) {
                const glm::vec3 p = face.corner + face.across * (i / 10.0f) + face.along * (j / 10.0f);
                const Pixel with = stage.at(*image, p.x, p.y, p.z);
                const Pixel without = stage.at(*unshadowed, p.x, p.y, p.z);
                worst = std::max({worst, std::abs(with.r - without.r), std::abs(with.g - without.g),
                                  std::abs(with.b - without.b)});
            }
        }
        EXPECT_LE(worst, 1);
    }
}

TEST(Shadow, AShadowCatcherShowsTheBackgroundUnchangedSaveForTheShadow) {
    ShadowStage stage(true);
    const auto image = render_test::picture(*stage.view, "shadow-catcher");
    ASSERT_TRUE(image);
    const Pixel background = pixelAt(*image, 5, 5);
    const Pixel away = stage.at(*image, -2.5f, 0.0f, 1.0f);
    const Pixel under = stage.at(*image, -0.8f, 0.0f, 0.0f);
    const Pixel expected{render_test::srgbByte(0.2), render_test::srgbByte(0.5), render_test::srgbByte(0.8), 255};
    EXPECT_TRUE(render_test::near(background, expected.r, expected.g, expected.b, 1));
    EXPECT_TRUE(render_test::near(away, expected.r, expected.g, expected.b, 1)) << away.r << "," << away.g << "," << away.b;
    // Black over the background at the shadow's strength (a full shadow of an opaque black colour).
    EXPECT_LT(luminance(under), luminance(away) / 4) << under.r << "," << under.g << "," << under.b;
}

}  // namespace
}  // namespace vantrel
