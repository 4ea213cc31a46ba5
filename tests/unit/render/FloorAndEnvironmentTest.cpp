// The floor's mirror image and image-based lighting from the scene's lighting environment.

#include <string>

#include <gtest/gtest.h>

#include "RenderTestSupport.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/graph/SCNCylinder.hpp"
#include "vantrel/graph/SCNFloor.hpp"
#include "vantrel/graph/SCNLight.hpp"
#include "vantrel/graph/SCNPlane.hpp"

namespace vantrel {
namespace {

using namespace render_test;

TEST(FloorAndEnvironment, TheFloorMirrorsAModelAboveItAsMuchAsItsReflectivitySays) {
    struct Case {
        const char* name;
        double reflectivity;
        double falloffEnd;
        float height;
        bool expectRed;
        bool mirrored;  // the mirror image is drawn at all
    };
    const Case cases[] = {{"floor_reflects", 0.5, 0.0, 1.5f, true, true},
                          {"floor_matte", 0.0, 0.0, 1.5f, false, false},
                          // The box stands 1 to 2 units above the floor; a fall-off ending at 0.5 hides it,
                          // so the mirror image is not drawn at all.
                          {"floor_faded", 0.5, 0.5, 1.5f, false, false},
                          // Nothing above the floor: nothing to mirror.
                          {"floor_nothing_above", 0.5, 0.0, -1.5f, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LitScene lit;
        lit.camera->setPosition({0.0f, 1.0f, 6.0f});
        auto box = lit.add(SCNBox::make(1.0f, 1.0f, 1.0f), UIColor(1, 0, 0), SCNLightingModel::constant);
        box->setPosition({0.0f, c.height, 0.0f});
        auto floor = SCNFloor::make();
        floor->setReflectivity(c.reflectivity);
        floor->setReflectionFalloffEnd(c.falloffEnd);
        auto ground = lit.add(floor, UIColor(0.5, 0.5, 0.5), SCNLightingModel::constant);
        auto view = makeView(lit, 160, 120);
        view->setToneMapping(SCNToneMapping::none);  // the floor's exact grey
        view->setBackgroundColor(UIColor::blackColor());
        auto image = picture(*view, c.name);
        ASSERT_TRUE(image);
        // Where the box's mirror image lies: its front face's centre mirrored under the floor.
        const SCNVector3 mirrored = view->projectPoint({0.0f, -1.5f, 0.5f});
        const Pixel pixel = pixelAt(*image, static_cast<int>(mirrored.x), static_cast<int>(mirrored.y));
        const Pixel grey = pixelAt(*image, 5, image->height() - 3);
        EXPECT_TRUE(near(grey, srgbByte(0.5), srgbByte(0.5), srgbByte(0.5), 2))
            << grey.r << " " << grey.g << " " << grey.b;
        if (c.expectRed) {
            EXPECT_GT(pixel.r, grey.r + 20) << pixel.r << " " << pixel.g << " " << pixel.b;
            EXPECT_LT(pixel.g, grey.g - 20);
        } else {
            EXPECT_TRUE(near(pixel, grey.r, grey.g, grey.b, 2)) << pixel.r << " " << pixel.g << " " << pixel.b;
        }
        const std::size_t drawCalls = view->statistics().drawCalls;
        floor->setReflectivity(0.0);
        ASSERT_FALSE(view->draw().has_value());
        // Each face of the box is one draw call of the mirror image, or none.
        EXPECT_EQ(drawCalls - view->statistics().drawCalls, c.mirrored ? box->geometry()->elements().size() : 0u);
    }
}

// The floor is lit like any flat surface facing up at the same place, whatever lights reach it and
// however they fall: directional light from above, grazing or from below, with an omni light or a
// spot beside it, on matte Lambert and Blinn materials.
TEST(FloorAndEnvironment, TheFloorIsLitLikeAFlatSurfaceInItsPlace) {
    struct Case {
        const char* name;
        SCNVector3 sunAngles;  // of the directional light (it shines down its −Z)
        SCNLightType second;   // another light above the middle of the floor
        SCNLightingModel model;
    };
    const float pi = 3.14159265f;
    const Case cases[] = {{"above", {-pi / 3.0f, 0.4f, 0.0f}, SCNLightType::ambient, SCNLightingModel::blinn},
                          {"grazing", {-0.05f, 1.2f, 0.0f}, SCNLightType::omni, SCNLightingModel::lambert},
                          {"below", {pi / 3.0f, 0.0f, 0.0f}, SCNLightType::omni, SCNLightingModel::blinn},
                          {"spot", {-pi / 4.0f, -0.7f, 0.0f}, SCNLightType::spot, SCNLightingModel::phong}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pixel seen[2][3];
        for (int flat = 0; flat < 2; ++flat) {
            LitScene lit;
            lit.camera->setPosition({0.0f, 2.0f, 6.0f});
            lit.camera->setEulerAngles({-0.35f, 0.0f, 0.0f});
            auto sun = SCNNode::make();
            sun->setLight(SCNLight::make(SCNLightType::directional));
            sun->setEulerAngles(c.sunAngles);
            lit.scene->rootNode()->addChildNode(sun);
            auto second = SCNNode::make();
            auto light = SCNLight::make(c.second);
            light->setIntensity(600.0);
            second->setLight(light);
            second->setPosition({1.0f, 1.5f, 0.0f});
            second->setEulerAngles({-pi / 2.0f, 0.0f, 0.0f});
            lit.scene->rootNode()->addChildNode(second);
            if (flat == 0) {
                lit.add(SCNFloor::make(), UIColor(0.6, 0.5, 0.4), c.model);
            } else {
                lit.add(SCNPlane::make(20.0f, 20.0f), UIColor(0.6, 0.5, 0.4), c.model)
                    ->setEulerAngles({-pi / 2.0f, 0.0f, 0.0f});
            }
            auto view = makeView(lit, 160, 120);
            auto image = picture(*view, std::string("floor_lit_") + (flat == 0 ? "floor_" : "plane_") + c.name);
            ASSERT_TRUE(image);
            const SCNVector3 places[3] = {{0.0f, 0.0f, 0.0f}, {-1.5f, 0.0f, 1.5f}, {1.2f, 0.0f, -1.0f}};
            for (int i = 0; i < 3; ++i) {
                const SCNVector3 at = view->projectPoint(places[i]);
                seen[flat][i] = pixelAt(*image, static_cast<int>(at.x), static_cast<int>(at.y));
            }
        }
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(near(seen[0][i], seen[1][i].r, seen[1][i].g, seen[1][i].b, 1))
                << i << ": " << seen[0][i].r << " " << seen[0][i].g << " " << seen[0][i].b << " vs " << seen[1][i].r
                << " " << seen[1][i].g << " " << seen[1][i].b;
        }
    }
}

TEST(FloorAndEnvironment, AMetallicSurfaceTakesTheTintOfTheLightingEnvironment) {
    struct Case {
        const char* name;
        SCNMaterialContents environment;
        bool orange;  // else blue
    };
    // An image environment: orange above the horizon, blue below; the camera looks level, so the
    // shiny cylinder's side reflects both, and its top (facing up) mostly the orange sky.
    std::vector<std::uint8_t> sky(64 * 32 * 4);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 64; ++x) {
            const std::size_t at = static_cast<std::size_t>(y * 64 + x) * 4;
            const bool above = y < 16;
            sky[at] = above ? 255 : 0;
            sky[at + 1] = above ? 128 : 0;
            sky[at + 2] = above ? 0 : 255;
            sky[at + 3] = 255;
        }
    }
    const Case cases[] = {{"environment_orange", UIColor(1.0, 0.5, 0.0), true},
                          {"environment_blue", UIColor(0.0, 0.2, 1.0), false},
                          {"environment_image", std::make_shared<UIImage>(64, 32, sky), true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto scene = SCNScene::make();
        auto camera = SCNNode::make();
        camera->setCamera(SCNCamera::make());
        camera->setPosition({0.0f, 2.0f, 4.0f});
        camera->setEulerAngles({-0.45f, 0.0f, 0.0f});
        scene->rootNode()->addChildNode(camera);
        scene->lightingEnvironment().setContents(c.environment);
        auto material = SCNMaterial::make();
        material->setLightingModel(SCNLightingModel::physicallyBased);
        material->diffuse().setContents(UIColor::whiteColor());
        material->metalness().setContents(1.0);
        material->roughness().setContents(0.2);
        auto cylinder = SCNCylinder::make(1.0f, 1.0f);
        cylinder->setFirstMaterial(material);
        scene->rootNode()->addChildNode(SCNNode::make(cylinder));
        SCNView view(CGRect(0, 0, 120, 90));
        view.setScene(scene);
        view.setPointOfView(camera);
        view.setBackgroundColor(UIColor(0.5, 0.5, 0.5));
        auto image = picture(view, c.name);
        ASSERT_TRUE(image);
        const SCNVector3 top = view.projectPoint({0.0f, 0.5f, 0.0f});
        const Pixel pixel = pixelAt(*image, static_cast<int>(top.x), static_cast<int>(top.y));
        if (c.orange) {
            EXPECT_GT(pixel.r, pixel.g + 30) << pixel.r << " " << pixel.g << " " << pixel.b;
            EXPECT_GT(pixel.g, pixel.b + 30) << pixel.r << " " << pixel.g << " " << pixel.b;
        } else {
            EXPECT_GT(pixel.b, pixel.r + 60) << pixel.r << " " << pixel.g << " " << pixel.b;
        }
    }
}

}  // namespace
}  // namespace vantrel
