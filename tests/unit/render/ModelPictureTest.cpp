// Every model of the shared test models, read by the scene reader and drawn under the canvas's
// basic lights, written as PNG files to look at.

#include <filesystem>

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include "RenderTestSupport.hpp"
#include "vantrel/graph/SCNSceneSource.hpp"
#include "support/TestPaths.hpp"

namespace vantrel {
namespace {

using namespace render_test;

std::vector<std::filesystem::path> modelFiles() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(vantrel::test::modelsDirectory())) {
        const auto extension = entry.path().extension();
        if (entry.is_regular_file() && (extension == ".glb" || extension == ".gltf")) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(ModelPicture, EveryModelIsDrawnInTheMiddleOfThePictureUnderTheCanvasLights) {
    const auto files = modelFiles();
    ASSERT_FALSE(files.empty());
    // One view, so one context: programs compiled for one model serve the next.
    constexpr int kWidth = 256;
    constexpr int kHeight = 192;
    SCNView view(CGRect(0, 0, kWidth, kHeight));
    view.setBackgroundColor(UIColor::whiteColor());
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        OptionalError error;
        auto scene = SCNSceneSource::make(file)->sceneWithOptions(std::nullopt, {}, &error);
        ASSERT_TRUE(scene) << (error ? error->description() : "");

        // The canvas's basic lights: two omni lights of 500 at ±10 radii from the content's centre.
        const SCNBoundingSphere sphere = scene->rootNode()->boundingSphere();
        const float radius = sphere.radius > 0.0f ? sphere.radius : 1.0f;
        const glm::vec3 centre = sphere.center.simd();
        for (float sign : {1.0f, -1.0f}) {
            auto light = SCNNode::make();
            auto omni = SCNLight::make(SCNLightType::omni);
            omni->setIntensity(500.0);
            light->setLight(omni);
            light->setPosition(SCNVector3(centre + glm::vec3(10.0f * sign * radius)));
            scene->rootNode()->addChildNode(light);
        }
        auto camera = SCNNode::make();
        camera->setCamera(SCNCamera::make());
        camera->camera()->setAutomaticallyAdjustsZRange(true);
        camera->camera()->setZNear(0.001);
        const glm::vec3 eye = centre + glm::vec3(0.8f, 0.6f, 2.2f) * radius;
        camera->setSimdTransform(glm::inverse(glm::lookAt(eye, centre, glm::vec3(0.0f, 1.0f, 0.0f))));
        scene->rootNode()->addChildNode(camera);

        view.setScene(scene);
        view.setPointOfView(camera);
        auto image = picture(view, "model_" + file.stem().string());
        ASSERT_TRUE(image);
        // The model covers the centre of the picture or pixels all around it.
        int covered = 0;
        for (int y = kHeight / 2 - 20; y < kHeight / 2 + 20; y += 4) {
            for (int x = kWidth / 2 - 20; x < kWidth / 2 + 20; x += 4) {
                covered += near(pixelAt(*image, x, y), 255, 255, 255, 2) ? 0 : 1;
            }
        }
        EXPECT_GT(covered, 0);
    }
}

}  // namespace
}  // namespace vantrel
