// Hit tests into a showroom of product-sized meshes: how the cost grows from 100 to 1,000 products.
//
// Each product is its own mesh of about 2,000 triangles (a lumpy, sofa-sized sphere), standing on a
// grid; the camera stands at the front at eye height, so that taps in the lower part of the view
// meet products and rays towards the back pass over many of them. Rays go through a fixed set of screen
// points, as taps would. The triangle hierarchies are built before timing (the first hit test that
// reaches a mesh builds its hierarchy; BM_BuildTriangleHierarchy reports that cost separately).
//
// Run: vantrel_bench --benchmark_filter=HitTest

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include <glm/gtc/constants.hpp>

#include "support/EllipsoidMesh.hpp"
#include "support/RoomCache.hpp"
#include "vantrel/graph/SCNCamera.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/graph/SCNLookAtConstraint.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNViewProjection.hpp"

namespace {

using namespace vantrel;

constexpr int kRings = 32;
constexpr int kSegments = 32;  // 2·32·31 = 1,984 triangles per product

// A sphere squashed and dented per product, so that no two meshes are alike.
std::shared_ptr<SCNGeometry> productMesh(int seed) {
    const float width = 1.6f + 0.3f * std::sin(static_cast<float>(seed));
    return vantrel_bench::ellipsoidMesh(width, 0.8f, 0.9f, kRings, kSegments, [seed](float phi, float theta) {
        return 1.0f + 0.05f * std::sin(5.0f * theta + static_cast<float>(seed)) * std::sin(3.0f * phi);
    });
}

struct Showroom {
    std::shared_ptr<SCNNode> root = SCNNode::make();
    std::shared_ptr<SCNNode> eye = SCNNode::make();
    std::unique_ptr<SCNViewProjection> projection;
    std::vector<CGPoint> taps;
    std::size_t triangles = 0;

    explicit Showroom(int products) {
        const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(products))));
        const float spacing = 2.0f;
        const float extent = static_cast<float>(columns) * spacing;
        for (int i = 0; i < products; ++i) {
            auto product = SCNNode::make(productMesh(i));
            product->setPosition({(static_cast<float>(i % columns) + 0.5f) * spacing - extent / 2, 0.4f,
                                  -(static_cast<float>(i / columns) + 0.5f) * spacing});
            product->setEulerAngles({0, static_cast<float>(i) * 0.7f, 0});
            triangles += product->geometry()->triangleCount();
            root->addChildNode(product);
        }
        // Eye height at the front of the room, looking a few rows in: the view of someone standing there.
        auto centre = SCNNode::make();
        centre->setPosition({0, 0.4f, -6.0f});
        root->addChildNode(centre);
        eye->setCamera(SCNCamera::make());
        eye->camera()->setAutomaticallyAdjustsZRange(true);
        eye->camera()->setZNear(0.01);
        eye->setPosition({0, 2.2f, 2.0f});
        eye->setConstraints({SCNLookAtConstraint::make(centre)});
        root->addChildNode(eye);
        projection = std::make_unique<SCNViewProjection>(*eye, CGRect(0, 0, 1024, 768));
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                taps.emplace_back(64.0 + 128.0 * x, 48.0 + 96.0 * y);
            }
        }
        // Build the hierarchies of every mesh the taps reach.
        for (const auto& tap : taps) {
            benchmark::DoNotOptimize(projection->hitTest(*root, tap));
        }
    }
};

Showroom& showroom(int products) { return vantrel_bench::cachedRoom<Showroom>(products); }

void runHitTests(benchmark::State& state, SCNHitTestSearchMode mode) {
    const int products = static_cast<int>(state.range(0));
    Showroom& room = showroom(products);
    SCNHitTestOptions options;
    options.searchMode = mode;
    std::size_t tap = 0;
    std::size_t hits = 0;
    for (auto _ : state) {
        const auto results = room.projection->hitTest(*room.root, room.taps[tap++ % room.taps.size()], options);
        hits += results.size();
        benchmark::DoNotOptimize(results.data());
    }
    state.SetComplexityN(products);
    state.counters["triangles"] = static_cast<double>(room.triangles);
    state.counters["hits/test"] = static_cast<double>(hits) / static_cast<double>(state.iterations());
}

void BM_HitTestAll(benchmark::State& state) { runHitTests(state, SCNHitTestSearchMode::all); }
void BM_HitTestClosest(benchmark::State& state) { runHitTests(state, SCNHitTestSearchMode::closest); }

// A hit test that meets nothing but still walks every product's bounding box.
void BM_HitTestMiss(benchmark::State& state) {
    Showroom& room = showroom(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(room.projection->hitTest(*room.root, CGPoint(512, 1)));
    }
    state.SetComplexityN(state.range(0));
}

// The lazily built triangle hierarchy of one product: paid once per mesh, on the first hit test.
void BM_BuildTriangleHierarchy(benchmark::State& state) {
    int seed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto scene = SCNNode::make();
        scene->addChildNode(SCNNode::make(productMesh(seed++)));
        state.ResumeTiming();
        benchmark::DoNotOptimize(scene->hitTestWithSegment({0, 5, 0}, {0, -5, 0}));
    }
}

BENCHMARK(BM_HitTestAll)->Arg(100)->Arg(1000)->Complexity();
BENCHMARK(BM_HitTestClosest)->Arg(100)->Arg(1000)->Complexity();
BENCHMARK(BM_HitTestMiss)->Arg(100)->Arg(1000)->Complexity();
BENCHMARK(BM_BuildTriangleHierarchy)->Unit(benchmark::kMicrosecond);

}  // namespace
