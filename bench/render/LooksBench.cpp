// What each look costs at 1280 × 720 on the offscreen (EGL) path: the sofa (the vase for
// transmission) framed as the reference pictures frame it, on a matte floor, under a sky image and
// one shadow-casting sun, neutral tone mapping, 4× multisampling — and the same with one look off:
//
//   Looks/0  image-based light   the sky as the scene's lighting environment, or none
//   Looks/1  sheen               the file's sheen colours, or black
//   Looks/2  transmission        the vase's transmission as in the file, or 0
//   Looks/3  shadows             the sun casts shadows, or not
//   Looks/4  tone mapping        neutral, or none
//
// Each iteration draws one frame with the look on and one with it off (two views of two copies of
// the scene, alternating, so that both see the same machine load). The time is the frame with the
// look on; counters: off_ms (the frame without it) and cost_ms (the difference).
//
// Run: vantrel_bench --benchmark_filter=Looks

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <vector>

#include <glm/gtc/matrix_transform.hpp>

#include "vantrel/graph/SCNCamera.hpp"
#include "vantrel/graph/SCNFloor.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/graph/SCNLight.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNScene.hpp"
#include "vantrel/graph/SCNSceneSource.hpp"
#include "vantrel/render/SCNView.hpp"

namespace {

using namespace vantrel;

constexpr double kPi = 3.14159265358979323846;

enum class Look { imageBasedLight = 0, sheen = 1, transmission = 2, shadows = 3, toneMapping = 4 };
constexpr const char* kLookNames[] = {"image-based light", "sheen", "transmission", "shadows", "tone mapping"};

// The reference pictures' sky: grey whose radiance depends on height only.
std::shared_ptr<UIImage> skyImage() {
    std::vector<float> pixels(256 * 128 * 4);
    for (int row = 0; row < 128; ++row) {
        const auto radiance = static_cast<float>(0.3 + 0.7 * (0.5 + 0.5 * std::sin((0.5 - (row + 0.5) / 128.0) * kPi)));
        for (std::size_t at = static_cast<std::size_t>(row) * 256 * 4; at < static_cast<std::size_t>(row + 1) * 256 * 4;
             at += 4) {
            pixels[at] = pixels[at + 1] = pixels[at + 2] = radiance;
            pixels[at + 3] = 1.0f;
        }
    }
    return UIImage::fromFloatPixels(256, 128, std::move(pixels));
}

std::vector<std::shared_ptr<SCNMaterial>> materialsOf(const SCNNode& root) {
    std::vector<std::shared_ptr<SCNMaterial>> materials;
    for (const auto& node :
         root.childNodesPassingTest([](const SCNNode&n, bool&) { return n.geometry() != nullptr; })) {
        for (const auto& material : node->geometry()->materials()) {
            materials.push_back(material);
        }
    }
    return materials;
}

// One copy of the model in its set-up, with `look` on or off, and a view of it.
struct Stage {
    std::shared_ptr<SCNScene> scene;
    std::unique_ptr<SCNView> view;

    Stage(const char* model, Look look, bool on) {
        OptionalError error;
        const auto file = std::filesystem::path(VANTREL_BENCH_MODELS_DIR) / model / (std::string(model) + ".glb");
        scene = SCNSceneSource::make(file)->sceneWithOptions(std::nullopt, {}, &error);
        if (!scene) {
            return;
        }
        for (const auto& node : scene->rootNode()->childNodesPassingTest([](const SCNNode&, bool&) { return true; })) {
            node->setLight(nullptr);
            node->setCamera(nullptr);
        }
        const auto box = scene->rootNode()->worldBoundingBox();
        const glm::vec3 low = box ? box->min.simd() : glm::vec3(-1.0f);
        const glm::vec3 high = box ? box->max.simd() : glm::vec3(1.0f);
        const glm::vec3 centre = 0.5f * (low + high);
        const float distance =
            1.15f * 0.5f * glm::length(high - low) / std::sin(static_cast<float>(17.5 * kPi / 180.0));

        auto camera = SCNNode::make();
        camera->setCamera(SCNCamera::make());
        camera->camera()->setFieldOfView(35.0);
        camera->camera()->setZNear(distance / 100.0f);
        camera->camera()->setZFar(distance * 100.0f);
        const glm::vec3 eye = centre + glm::normalize(glm::vec3(0.6f, 0.45f, 1.0f)) * distance;
        camera->setSimdTransform(glm::inverse(glm::lookAt(eye, centre, glm::vec3(0.0f, 1.0f, 0.0f))));
        scene->rootNode()->addChildNode(camera);

        auto sun = SCNNode::make();
        auto light = SCNLight::make(SCNLightType::directional);
        light->setIntensity(2000.0 / kPi);
        light->setCastsShadow(look != Look::shadows || on);
        sun->setLight(light);
        sun->setSimdTransform(glm::inverse(
            glm::lookAt(glm::normalize(glm::vec3(1.0f, 2.0f, 1.5f)), glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f))));
        scene->rootNode()->addChildNode(sun);

        // A matte floor under the model, as the canvas has, to take its shadow.
        auto floor = SCNFloor::make();
        floor->setReflectivity(0.0);
        floor->firstMaterial()->diffuse().setContents(UIColor(0.8, 0.8, 0.8));
        auto ground = SCNNode::make(floor);
        ground->setPosition({0.0f, low.y, 0.0f});
        scene->rootNode()->addChildNode(ground);

        if (look != Look::imageBasedLight || on) {
            scene->lightingEnvironment().setContents(skyImage());
        }
        if (!on && (look == Look::sheen || look == Look::transmission)) {
            for (const auto& material : materialsOf(*scene->rootNode())) {
                if (look == Look::sheen) {
                    material->sheen().setContents(UIColor::blackColor());
                } else {
                    material->transmission().setContents(0.0);
                }
            }
        }

        view = std::make_unique<SCNView>(CGRect(0, 0, 1280, 720));
        view->setScene(scene);
        view->setPointOfView(camera);
        view->setAdaptsQuality(false);
        view->setToneMapping(look != Look::toneMapping || on ? SCNToneMapping::neutral : SCNToneMapping::none);
    }
};

void BM_Looks(benchmark::State& state) {
    const auto look = static_cast<Look>(state.range(0));
    const char* model = look == Look::transmission ? "GlassVaseFlowers" : "GlamVelvetSofa";
    Stage on(model, look, true);
    Stage off(model, look, false);
    if (!on.scene || !off.scene) {
        state.SkipWithError("the model could not be read");
        return;
    }
    state.SetLabel(kLookNames[state.range(0)]);
    // Warm-up: uploads, programs and whatever each look prepares once.
    for (Stage* stage : {&on, &off}) {
        if (auto failure = stage->view->draw()) {
            state.SkipWithError(failure->description().c_str());
            return;
        }
    }
    using Clock = std::chrono::steady_clock;
    std::chrono::duration<double, std::milli> onTotal{0.0};
    std::chrono::duration<double, std::milli> offTotal{0.0};
    for (auto _ : state) {
        const auto start = Clock::now();
        (void)on.view->draw();
        const auto middle = Clock::now();
        (void)off.view->draw();
        const auto end = Clock::now();
        onTotal += middle - start;
        offTotal += end - middle;
        state.SetIterationTime(std::chrono::duration<double>(middle - start).count());
    }
    const auto frames = static_cast<double>(state.iterations());
    state.counters["on_ms"] = onTotal.count() / frames;
    state.counters["off_ms"] = offTotal.count() / frames;
    state.counters["cost_ms"] = (onTotal - offTotal).count() / frames;
}
BENCHMARK(BM_Looks)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(1.0);

}  // namespace
