// The overlap test of one model against a showroom of others: how its cost grows from 100 to 1,000
// products.
//
// The products stand on a grid inside a room node, as the adapters hold them, and none of them
// touches the probe, so every test walks the whole list (the worst case; a hit ends the walk early).
// Two kinds of product: a plain box, and a product of eight parts with about 2,000 triangles between
// them, whose part transforms the test has to follow. A third run shows sizes on every product, so
// that the dimension display has to be passed over.
//
// Run: vantrel_bench --benchmark_filter=Overlap

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include <glm/gtc/constants.hpp>

#include "support/EllipsoidMesh.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/scene/ModelNode.hpp"

namespace {

using namespace vantrel;

enum class Product { box, mesh, meshWithSizes };

constexpr int kParts = 8;
constexpr int kRings = 12;
constexpr int kSegments = 12;  // 2·12·11 = 264 triangles a part, 2,112 a product

// A squashed sphere, one part of a product (a cushion, a leg, an arm rest).
std::shared_ptr<SCNGeometry> partMesh(float width, float height, float depth) {
    return vantrel_bench::ellipsoidMesh(width, height, depth, kRings, kSegments);
}

std::shared_ptr<ModelNode> makeProduct(Product kind, int index) {
    auto model = ModelNode::make();
    if (kind == Product::box) {
        model->add({SCNNode::make(SCNBox::make(1.6f, 0.8f, 0.9f))});
        return model;
    }
    std::vector<std::shared_ptr<SCNNode>> parts;
    for (int p = 0; p < kParts; ++p) {
        auto part = SCNNode::make(partMesh(0.4f + 0.05f * static_cast<float>((index + p) % 3), 0.3f, 0.4f));
        part->setPosition({-0.6f + 0.4f * static_cast<float>(p % 4), 0.25f + 0.3f * static_cast<float>(p / 4), 0.0f});
        part->setEulerAngles({0.0f, 0.3f * static_cast<float>(p), 0.0f});
        parts.push_back(std::move(part));
    }
    model->add(parts);
    if (kind == Product::meshWithSizes) {
        model->showSizes(UIColor::whiteColor(), UIColor::blackColor());
    }
    return model;
}

struct Showroom {
    std::shared_ptr<SCNNode> room = SCNNode::make();
    std::vector<std::shared_ptr<ModelNode>> models;
    std::shared_ptr<ModelNode> probe;

    Showroom(Product kind, int products) {
        const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(products))));
        const float spacing = 2.5f;
        for (int i = 0; i < products; ++i) {
            auto model = makeProduct(kind, i);
            model->setPosition(
                {static_cast<float>(i % columns) * spacing, 0.0f, -static_cast<float>(i / columns) * spacing});
            model->setEulerAngles({0.0f, static_cast<float>(i % 4) * glm::half_pi<float>(), 0.0f});
            room->addChildNode(model);
            models.push_back(std::move(model));
        }
        // In front of the first row, where a model being dragged in would be.
        probe = makeProduct(kind, products);
        probe->setPosition({0.0f, 0.0f, 3.0f});
        room->addChildNode(probe);
        models.push_back(probe);  // the adapters' list holds the moved model too
    }
};

Showroom& showroom(Product kind, int products) {
    static std::map<std::pair<Product, int>, std::unique_ptr<Showroom>> rooms;
    auto& room = rooms[{kind, products}];
    if (!room) {
        room = std::make_unique<Showroom>(kind, products);
    }
    return *room;
}

void runOverlap(benchmark::State& state, Product kind) {
    const int products = static_cast<int>(state.range(0));
    Showroom& room = showroom(kind, products);
    bool overlapped = false;
    for (auto _ : state) {
        overlapped = room.probe->isOverlapped(room.models);
        benchmark::DoNotOptimize(overlapped);
    }
    if (overlapped) {
        state.SkipWithError("the probe must stand free, or the walk ends early");
    }
    state.SetComplexityN(products);
    const double comparisons = static_cast<double>(products) * static_cast<double>(state.iterations());
    state.counters["per model"] =
        benchmark::Counter(comparisons, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_OverlapBox(benchmark::State& state) { runOverlap(state, Product::box); }
void BM_OverlapMesh(benchmark::State& state) { runOverlap(state, Product::mesh); }
void BM_OverlapMeshWithSizes(benchmark::State& state) { runOverlap(state, Product::meshWithSizes); }

void showroomSizes(benchmark::internal::Benchmark* bench) {
    bench->Arg(100)->Arg(300)->Arg(1000)->Complexity(benchmark::oN)->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_OverlapBox)->Apply(showroomSizes);
BENCHMARK(BM_OverlapMesh)->Apply(showroomSizes);
BENCHMARK(BM_OverlapMeshWithSizes)->Apply(showroomSizes);

}  // namespace
