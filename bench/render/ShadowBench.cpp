// What the key light's shadow costs a frame at 1280 × 720: the sofa on a reflective floor under the
// canvas's two omni lights and an environment, 4× multisampling (every frame at full quality), with
// the upper light casting or not.
//
//   /0  no shadow
//   /1  shadow map 1024², drawn once (nothing moves: later frames reuse it)
//   /2  shadow map 2048², drawn once
//   /3  shadow map 1024², drawn every frame (the sofa moves a little each frame)
//   /4  shadow map 2048², drawn every frame
//   /5  contact shadow instead (VANTREL_SHADOWS=contact): 256² from under the ground, blurred, drawn
//       every frame
//
// Run: vantrel_bench --benchmark_filter=Shadow

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "vantrel/graph/SCNCamera.hpp"
#include "vantrel/graph/SCNFloor.hpp"
#include "vantrel/graph/SCNLight.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNScene.hpp"
#include "vantrel/graph/SCNSceneSource.hpp"
#include "vantrel/render/SCNView.hpp"

namespace {

using namespace vantrel;

struct Stage {
    std::shared_ptr<SCNScene> scene = SCNScene::make();
    std::shared_ptr<SCNNode> camera = SCNNode::make();
    std::shared_ptr<SCNNode> content = SCNNode::make();
    std::shared_ptr<SCNLight> key;
};

Stage sofaStage() {
    Stage stage;
    OptionalError error;
    auto sofa =
        SCNSceneSource::make(std::filesystem::path(VANTREL_BENCH_MODELS_DIR) / "GlamVelvetSofa" / "GlamVelvetSofa.glb")
            ->sceneWithOptions(std::nullopt, {}, &error);
    if (sofa) {
        for (const auto& child : sofa->rootNode()->childNodes()) {
            if (child->light() == nullptr && child->camera() == nullptr) stage.content->addChildNode(child->clone());
        }
    }
    stage.scene->rootNode()->addChildNode(stage.content);
    const SCNBoundingSphere sphere = stage.content->boundingSphere();
    const float radius = std::max(sphere.radius, 0.1f);
    for (int sign : {1, -1}) {
        auto node = SCNNode::make();
        auto omni = SCNLight::make(SCNLightType::omni);
        omni->setIntensity(500.0);
        node->setLight(omni);
        node->setPosition(sphere.center + SCNVector3{10.0f, 10.0f, 10.0f} * (radius * static_cast<float>(sign)));
        stage.scene->rootNode()->addChildNode(node);
        if (sign > 0) stage.key = omni;
    }
    stage.scene->lightingEnvironment().setContents(UIColor(0.6, 0.6, 0.6));
    auto floor = SCNFloor::make();
    floor->setReflectivity(0.25);
    floor->setReflectionFalloffEnd(20.0);
    stage.scene->rootNode()->addChildNode(SCNNode::make(floor));
    stage.camera->setCamera(SCNCamera::make());
    stage.camera->setPosition({sphere.center.x, sphere.center.y + radius * 0.8f, sphere.center.z + radius * 2.2f});
    stage.camera->setEulerAngles({-0.35f, 0.0f, 0.0f});
    stage.scene->rootNode()->addChildNode(stage.camera);
    return stage;
}

void BM_RenderShadow(benchmark::State& state) {
    const int variant = static_cast<int>(state.range(0));
    Stage stage = sofaStage();
    stage.key->setCastsShadow(variant > 0);
    stage.key->setShadowMapSize(variant == 1 || variant == 3 ? 1024 : 2048);
    stage.key->setShadowRadius(8.0);
    const bool moving = variant == 3 || variant == 4;
    if (variant == 5) setenv("VANTREL_SHADOWS", "contact", 1);
    auto view = std::make_unique<SCNView>(CGRect(0, 0, 1280, 720));
    view->setScene(stage.scene);
    view->setPointOfView(stage.camera);
    view->setAdaptsQuality(false);  // every frame at full quality, moving or not
    if (auto failure = view->draw()) {  // warm-up: uploads, programs and the first map
        state.SkipWithError(failure->description().c_str());
        return;
    }
    float nudge = 0.0f;
    for (auto _ : state) {
        if (moving) {
            nudge = nudge > 0.0f ? 0.0f : 1e-3f;
            stage.content->setPosition({nudge, 0.0f, 0.0f});
        }
        if (auto failure = view->draw()) {
            state.SkipWithError(failure->description().c_str());
            return;
        }
    }
    state.counters["drawCalls"] = static_cast<double>(view->statistics().drawCalls);
    (void)view->writeSnapshot("render_shadow_" + std::to_string(variant) + ".png");
    unsetenv("VANTREL_SHADOWS");
}
BENCHMARK(BM_RenderShadow)->DenseRange(0, 5)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
