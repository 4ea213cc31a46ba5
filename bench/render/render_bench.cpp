// Frame times of the renderer at 1280 × 720 on the offscreen (EGL) path.
//
// - SofaFullFrame vs SofaBareFrame: the sofa model drawn as the canvas shows it when selected (its
//   own materials under an image-based environment, the glow technique on, a reflective floor, 4×
//   multisampling) and the same meshes as a bare draw with one trivial shader (one constant-colour
//   material, no floor, no technique, one sample). The ratio is the cost of the looks.
// - Products/1, /10, /50: the full frame as the number of products grows.
// - FirstFrame: a frame that must first upload a freshly made product mesh (about 32k triangles).
//
// Run: vantrel_bench --benchmark_filter=Render

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>

#include "support/EllipsoidMesh.hpp"
#include "vantrel/core/ResourceBundle.hpp"
#include "vantrel/graph/SCNCamera.hpp"
#include "vantrel/graph/SCNFloor.hpp"
#include "vantrel/graph/SCNLight.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNScene.hpp"
#include "vantrel/graph/SCNSceneSource.hpp"
#include "vantrel/render/SCNTechnique.hpp"
#include "vantrel/render/SCNView.hpp"

namespace {

using namespace vantrel;

constexpr int kRings = 128;
constexpr int kSegments = 128;  // 2·128·127 ≈ 32.5k triangles per product

std::shared_ptr<SCNGeometry> productMesh(int seed) {
    return vantrel_bench::ellipsoidMesh(1.8f, 0.8f, 0.9f, kRings, kSegments, [seed](float phi, float theta) {
        return 1.0f + 0.05f * std::sin(5.0f * theta + static_cast<float>(seed)) * std::sin(3.0f * phi);
    });
}

std::shared_ptr<SCNTechnique> glowTechnique() {
    const auto bundle = ResourceBundle::locate();
    std::ifstream in(bundle->path("shaders/glow.json"));
    auto technique = SCNTechnique::techniqueWithDictionary(nlohmann::json::parse(in, nullptr, false));
    (*technique)->setValue(SCNVector3(0.0f, 0.0f, 1.0f), "glowColorSymbol");
    return *technique;
}

struct Showroom {
    std::shared_ptr<SCNScene> scene = SCNScene::make();
    std::shared_ptr<SCNNode> camera = SCNNode::make();
    std::vector<std::shared_ptr<SCNNode>> products;
};

// `count` products on a grid, lit as the canvas lights them; `full` chooses the canvas looks.
Showroom showroom(int count, bool full) {
    Showroom room;
    const int side = std::max(1, static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count)))));
    for (int i = 0; i < count; ++i) {
        auto material = SCNMaterial::make();
        material->diffuse().setContents(UIColor(0.55, 0.35, 0.25));
        material->setLightingModel(full ? SCNLightingModel::physicallyBased : SCNLightingModel::constant);
        material->roughness().setContents(0.6);
        auto geometry = productMesh(i);
        geometry->setFirstMaterial(material);
        auto node = SCNNode::make(geometry);
        node->setPosition(
            {(static_cast<float>(i % side) - (side - 1) * 0.5f) * 2.2f, 0.45f, -static_cast<float>(i / side) * 2.2f});
        node->setCategoryBitMask(full && i == 0 ? 2 : 1);  // the first product is selected: it glows
        room.scene->rootNode()->addChildNode(node);
        room.products.push_back(node);
    }
    const float extent = static_cast<float>(side) * 2.2f;
    room.camera->setCamera(SCNCamera::make());
    room.camera->camera()->setZFar(200.0);
    room.camera->setPosition({0.0f, extent * 0.6f + 1.0f, extent * 0.9f + 2.5f});
    room.camera->setEulerAngles({-0.45f, 0.0f, 0.0f});
    room.scene->rootNode()->addChildNode(room.camera);
    for (int sign : {1, -1}) {
        auto light = SCNNode::make();
        auto omni = SCNLight::make(SCNLightType::omni);
        omni->setIntensity(500.0);
        light->setLight(omni);
        light->setPosition({10.0f * sign * extent, 10.0f * sign * extent, 10.0f * sign * extent});
        room.scene->rootNode()->addChildNode(light);
    }
    if (full) {
        std::vector<std::uint8_t> sky(256 * 128 * 4);
        for (std::size_t i = 0; i < sky.size(); i += 4) {
            const bool above = i < sky.size() / 2;
            sky[i] = above ? 200 : 90;
            sky[i + 1] = above ? 210 : 80;
            sky[i + 2] = above ? 230 : 70;
            sky[i + 3] = 255;
        }
        room.scene->lightingEnvironment().setContents(std::make_shared<UIImage>(256, 128, std::move(sky)));
        auto floor = SCNFloor::make();
        floor->setReflectivity(0.25);
        floor->setReflectionFalloffEnd(20.0);
        floor->firstMaterial()->diffuse().setContents(UIColor(0.75, 0.75, 0.75));
        room.scene->rootNode()->addChildNode(SCNNode::make(floor));
    }
    return room;
}

std::unique_ptr<SCNView> viewOf(const Showroom& room, bool full) {
    auto view = std::make_unique<SCNView>(CGRect(0, 0, 1280, 720));
    view->setScene(room.scene);
    view->setPointOfView(room.camera);
    if (full) {
        view->setTechnique(glowTechnique());
    } else {
        view->setAntialiasingMode(SCNAntialiasingMode::none);
    }
    return view;
}

void drawFrames(benchmark::State& state, SCNView& view) {
    if (auto failure = view.draw()) {  // warm-up: uploads and programs
        state.SkipWithError(failure->description().c_str());
        return;
    }
    for (auto _ : state) {
        if (auto failure = view.draw()) {
            state.SkipWithError(failure->description().c_str());
            return;
        }
    }
    state.counters["triangles"] = static_cast<double>(view.statistics().triangles);
    state.counters["drawCalls"] = static_cast<double>(view.statistics().drawCalls);
}

// The sofa in a showroom of its own: the same light, camera and environment as the products.
Showroom sofaRoom(bool full) {
    Showroom room = showroom(0, full);
    OptionalError error;
    auto sofa =
        SCNSceneSource::make(std::filesystem::path(VANTREL_BENCH_MODELS_DIR) / "GlamVelvetSofa" / "GlamVelvetSofa.glb")
            ->sceneWithOptions(std::nullopt, {}, &error);
    if (!sofa) {
        return room;
    }
    auto trivial = SCNMaterial::make();
    trivial->setLightingModel(SCNLightingModel::constant);
    trivial->diffuse().setContents(UIColor(0.4, 0.4, 0.45));
    auto content = SCNNode::make();
    for (const auto& child : sofa->rootNode()->childNodes()) {
        content->addChildNode(child->clone());
    }
    const auto nodes =
        content->childNodesPassingTest([](const SCNNode& node, bool&) { return node.geometry() != nullptr; });
    for (const auto& node : nodes) {
        if (full) {
            node->setCategoryBitMask(2);  // selected: it glows
        } else {
            auto geometry = node->geometry()->copy();
            geometry->setMaterials({trivial});
            node->setGeometry(geometry);
        }
    }
    room.scene->rootNode()->addChildNode(content);
    const SCNBoundingSphere sphere = content->boundingSphere();
    room.camera->setPosition(
        {sphere.center.x, sphere.center.y + sphere.radius * 0.8f, sphere.center.z + sphere.radius * 2.2f});
    room.camera->setEulerAngles({-0.35f, 0.0f, 0.0f});
    room.products.push_back(content);
    return room;
}

void BM_RenderSofaFullFrame(benchmark::State& state) {
    const Showroom room = sofaRoom(true);
    auto view = viewOf(room, true);
    drawFrames(state, *view);
    (void)view->writeSnapshot("render_sofa_full_frame.png");
}
BENCHMARK(BM_RenderSofaFullFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RenderSofaBareFrame(benchmark::State& state) {
    const Showroom room = sofaRoom(false);
    auto view = viewOf(room, false);
    drawFrames(state, *view);
    (void)view->writeSnapshot("render_sofa_bare_frame.png");
}
BENCHMARK(BM_RenderSofaBareFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

// Where the looks cost: the bare sofa with one look added — 1 multisampling, 2 the glow technique,
// 3 the reflective floor, 4 its own materials under the environment.
void BM_RenderSofaOneLook(benchmark::State& state) {
    const int look = static_cast<int>(state.range(0));
    const Showroom full = sofaRoom(true);
    const Showroom bare = sofaRoom(false);
    const Showroom& room = look == 4 ? full : bare;
    auto view = viewOf(room, false);
    if (look == 1) {
        view->setAntialiasingMode(SCNAntialiasingMode::multisampling4X);
    } else if (look == 2) {
        view->setTechnique(glowTechnique());
        for (const auto& node :
             room.products[0]->childNodesPassingTest([](const SCNNode&n, bool&) { return n.geometry() != nullptr; })) {
            node->setCategoryBitMask(2);
        }
    } else if (look == 3) {
        auto floor = SCNFloor::make();
        floor->setReflectivity(0.25);
        room.scene->rootNode()->addChildNode(SCNNode::make(floor));
    } else if (look == 4) {
        // The full room's materials and environment, without its floor, technique or samples.
        for (const auto& node : room.scene->rootNode()->childNodes()) {
            if (node->geometry() && dynamic_cast<SCNFloor*>(node->geometry().get()) != nullptr) {
                node->setHidden(true);
            }
        }
    }
    drawFrames(state, *view);
}
BENCHMARK(BM_RenderSofaOneLook)->DenseRange(1, 4)->Unit(benchmark::kMillisecond)->UseRealTime();

// The full frame with one look taken away — 1 multisampling, 2 the technique, 3 the floor.
void BM_RenderSofaAllButOne(benchmark::State& state) {
    const int look = static_cast<int>(state.range(0));
    const Showroom room = sofaRoom(true);
    auto view = viewOf(room, true);
    if (look == 1) {
        view->setAntialiasingMode(SCNAntialiasingMode::none);
    } else if (look == 2) {
        view->setTechnique(nullptr);
    } else {
        for (const auto& node : room.scene->rootNode()->childNodes()) {
            if (node->geometry() && dynamic_cast<SCNFloor*>(node->geometry().get()) != nullptr) {
                node->setHidden(true);
            }
        }
    }
    drawFrames(state, *view);
}
BENCHMARK(BM_RenderSofaAllButOne)->DenseRange(1, 3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RenderProducts(benchmark::State& state) {
    const Showroom room = showroom(static_cast<int>(state.range(0)), true);
    auto view = viewOf(room, true);
    drawFrames(state, *view);
}
BENCHMARK(BM_RenderProducts)->Arg(1)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RenderFirstFrame(benchmark::State& state) {
    Showroom room = showroom(1, true);
    auto view = viewOf(room, true);
    (void)view->draw();
    int seed = 100;
    for (auto _ : state) {
        state.PauseTiming();
        room.products[0]->setGeometry(productMesh(seed++));
        auto material = SCNMaterial::make();
        material->setLightingModel(SCNLightingModel::physicallyBased);
        room.products[0]->geometry()->setFirstMaterial(material);
        state.ResumeTiming();
        (void)view->draw();
    }
}
BENCHMARK(BM_RenderFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
