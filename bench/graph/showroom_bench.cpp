// A showroom of 200 products of about 200 nodes each, as a canvas, snapping and the gestures use it:
// a tap's hit test, the scene's bounding box, every node's world transform, one model's overlap check
// against all others, and a frame (update plus the traversal a renderer makes).
//
// Each product is a ModelNode whose content holds 10 parts of 20 pieces (small meshes shared within
// the product, as model files share them), 231 nodes with the groups. Products stand on a grid, each
// turned about y. The hit tests tap the screen point of the front-centre product, in the full room
// and in a room holding only that product: the ratio of the two says how much the rest of the room
// costs a tap (BM_ShowroomTap/1 against /200).
//
// Run: vantrel_bench --benchmark_filter=Showroom

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "support/EllipsoidMesh.hpp"
#include "support/RoomCache.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/graph/SCNCamera.hpp"
#include "vantrel/graph/SCNScene.hpp"
#include "vantrel/graph/SCNViewProjection.hpp"
#include "vantrel/graph/SceneClock.hpp"
#include "vantrel/scene/ModelNode.hpp"

namespace {

using namespace vantrel;

constexpr int kParts = 10;
constexpr int kPiecesPerPart = 20;

std::shared_ptr<ModelNode> product(int seed) {
    auto model = ModelNode::make();
    const auto piece = vantrel_bench::ellipsoidMesh(0.16f, 0.08f, 0.09f, 8, 8);
    const auto frame = SCNBox::make(0.05f, 0.8f, 0.05f);
    for (int p = 0; p < kParts; ++p) {
        auto part = SCNNode::make(frame);
        part->setPosition({-0.8f + 0.16f * static_cast<float>(p), 0.0f, 0.0f});
        for (int i = 0; i < kPiecesPerPart; ++i) {
            auto leaf = SCNNode::make(piece);
            leaf->setPosition(
                {0.0f, -0.4f + 0.04f * static_cast<float>(i), 0.3f * std::sin(static_cast<float>(i + seed))});
            leaf->setEulerAngles({0.0f, 0.3f * static_cast<float>(i), 0.0f});
            part->addChildNode(leaf);
        }
        model->add({part});
    }
    return model;
}

struct Showroom {
    std::shared_ptr<SCNScene> scene = SCNScene::make();
    std::vector<std::shared_ptr<ModelNode>> models;
    std::shared_ptr<SCNNode> eye = SCNNode::make();
    std::unique_ptr<SCNViewProjection> projection;
    CGPoint tap;
    std::size_t nodes = 0;

    // `products` of the full room's grid, from the front-centre product on.
    explicit Showroom(int products) {
        constexpr int kColumns = 15;
        constexpr float kSpacing = 2.5f;
        for (int i = 0; i < 200 && static_cast<int>(models.size()) < products; ++i) {
            // Start at the front-centre product so that the one-product room holds the tapped one.
            const int slot = (i + 7) % 200;
            auto model = product(slot);
            model->setPosition({(static_cast<float>(slot % kColumns) - 7.0f) * kSpacing, 0.4f,
                                -static_cast<float>(slot / kColumns) * kSpacing - 3.0f});
            model->setEulerAngles({0.0f, 0.4f * static_cast<float>(slot), 0.0f});
            scene->rootNode()->addChildNode(model);
            models.push_back(model);
        }
        nodes = scene->rootNode()->childNodesPassingTest([](const SCNNode&, bool&) { return true; }).size();
        eye->setCamera(SCNCamera::make());
        eye->camera()->setAutomaticallyAdjustsZRange(true);
        eye->setPosition({0.0f, 1.6f, 2.0f});
        scene->rootNode()->addChildNode(eye);
        projection = std::make_unique<SCNViewProjection>(*eye, CGRect(0, 0, 1024, 768));
        const SCNVector3 centre = projection->projectPoint(models.front()->worldPosition());
        tap = CGPoint(centre.x, centre.y);
        // Build the triangle hierarchies and fill the caches before timing.
        benchmark::DoNotOptimize(projection->hitTest(*scene->rootNode(), tap));
    }
};

Showroom& showroom(int products) { return vantrel_bench::cachedRoom<Showroom>(products); }

void BM_ShowroomTap(benchmark::State& state) {
    Showroom& room = showroom(static_cast<int>(state.range(0)));
    std::size_t hits = 0;
    for (auto _ : state) {
        const auto results = room.projection->hitTest(*room.scene->rootNode(), room.tap);
        hits += results.size();
        benchmark::DoNotOptimize(results.data());
    }
    state.counters["nodes"] = static_cast<double>(room.nodes);
    state.counters["hits/test"] = static_cast<double>(hits) / static_cast<double>(state.iterations());
}

void BM_ShowroomBoundingBox(benchmark::State& state) {
    Showroom& room = showroom(200);
    for (auto _ : state) {
        benchmark::DoNotOptimize(room.scene->rootNode()->boundingBox());
    }
}

// One product moved between reads: what a drag costs the next read of the scene's box.
void BM_ShowroomBoundingBoxAfterAMove(benchmark::State& state) {
    Showroom& room = showroom(200);
    const SCNVector3 home = room.models[5]->position();
    float x = 0.0f;
    for (auto _ : state) {
        room.models[5]->setPosition({x, 0.4f, -3.0f});
        x = x > 1.0f ? 0.0f : x + 0.01f;
        benchmark::DoNotOptimize(room.scene->rootNode()->boundingBox());
    }
    room.models[5]->setPosition(home);
}

void BM_ShowroomEveryWorldTransform(benchmark::State& state) {
    Showroom& room = showroom(200);
    const auto all = room.scene->rootNode()->childNodesPassingTest([](const SCNNode&, bool&) { return true; });
    for (auto _ : state) {
        float sum = 0.0f;
        for (const auto& node : all) {
            sum += node->simdWorldTransform()[3].x;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.counters["nodes"] = static_cast<double>(all.size());
}

// The front-centre product overlaps none of the others, so every one of them is compared.
void BM_ShowroomOverlapOneAgainstAll(benchmark::State& state) {
    Showroom& room = showroom(200);
    bool overlapped = false;
    for (auto _ : state) {
        overlapped = room.models.front()->isOverlapped(room.models);
        benchmark::DoNotOptimize(overlapped);
    }
    state.counters["overlapped"] = overlapped ? 1.0 : 0.0;
}

// A frame: advance the animations (one product levitates) and yield every visible node.
void BM_ShowroomFrame(benchmark::State& state) {
    Showroom& room = showroom(200);
    room.models[3]->highlight(ModelHighlightingMode::levitation);
    for (auto _ : state) {
        room.scene->update(SceneClock::now());
        std::size_t visible = 0;
        room.scene->rootNode()->enumerateVisibleNodes(
            [&visible](const SCNNode&, const glm::mat4& world, double opacity) { visible += world[3].x > opacity; });
        benchmark::DoNotOptimize(visible);
    }
    room.models[3]->unhighlight();
}

BENCHMARK(BM_ShowroomTap)->Arg(1)->Arg(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ShowroomBoundingBox)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ShowroomBoundingBoxAfterAMove)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ShowroomEveryWorldTransform)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ShowroomOverlapOneAgainstAll)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ShowroomFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
