// Snapping points for one selected sofa module among 50, 100 and 200 modules it can join, with four
// snapping areas: building the points (a half-transparent preview on each of four places of every
// module, then a first refresh) and refreshing them after a move. The refresh runs at the end of every
// move, so it has to fit into one frame at 60 Hz (16.7 ms) with room to spare.
//
// The modules stand on a grid in a room node as the adapters hold them; every fourth one has a stool
// beside it, in the way of one of its places, so that both the free and the blocked answer are given.
// A module is a product of eight parts with about 2,000 triangles between them.
//
// Run: vantrel_bench --benchmark_filter=Snapping

#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/EllipsoidMesh.hpp"
#include "vantrel/backend/ParseValue.hpp"
#include "vantrel/domain/SnappingAreaEntity.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/scene/Docking.hpp"
#include "vantrel/scene/ModelNode.hpp"
#include "vantrel/scene/SnappingNode.hpp"

namespace {

using namespace vantrel;

constexpr int kParts = 8;
constexpr float kSpacing = 3.0f;

std::shared_ptr<ModelNode> makeModule(const std::string& id) {
    auto model = ModelNode::make(id, "module");
    std::vector<std::shared_ptr<SCNNode>> parts;
    for (int p = 0; p < kParts; ++p) {
        auto part = SCNNode::make(vantrel_bench::ellipsoidMesh(0.35f, 0.3f, 0.8f, 12, 12));
        part->setPosition({-0.4f + 0.25f * static_cast<float>(p % 4), 0.15f + 0.3f * static_cast<float>(p / 4), 0.0f});
        parts.push_back(std::move(part));
    }
    model->add(parts);
    return model;
}

std::shared_ptr<SnappingAreaEntity> area(const char* position, const char* rotation) {
    const nlohmann::json fields{
        {"connectToComponentId", "module"}, {"offsetPosition", position}, {"offsetRotation", rotation}};
    const ParseValue value = ParseValue::fromJSON(fields);
    return SnappingAreaEntity::fromDictionary(*value.object());
}

struct Showroom {
    std::shared_ptr<SCNNode> room = SCNNode::make();
    std::vector<std::shared_ptr<ModelNode>> models;
    std::shared_ptr<ModelNode> selected;

    explicit Showroom(int carriers) {
        const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(carriers))));
        for (int i = 0; i < carriers; ++i) {
            auto model = makeModule("module" + std::to_string(i));
            const SCNVector3 at{static_cast<float>(i % columns) * kSpacing, 0.0f,
                                -static_cast<float>(i / columns) * kSpacing};
            model->setPosition(at);
            room->addChildNode(model);
            models.push_back(std::move(model));
            if (i % 4 == 0) {
                auto stool = ModelNode::make("stool" + std::to_string(i), "stool");
                stool->add({SCNNode::make(SCNBox::make(0.4f, 0.4f, 0.4f))});
                stool->setPosition(at + SCNVector3(1.2f, 0.0f, 0.0f));
                room->addChildNode(stool);
                models.push_back(std::move(stool));
            }
        }
        selected = makeModule("selected");
        selected->setPosition({0.0f, 0.0f, 4.0f});
        selected->snappingAreas() = {area("1.05,0,0", "0,0,0,1"), area("-1.05,0,0", "0,0,0,1"),
                                     area("0,0,1", "0,1,0,0"), area("0,0,-1", "0,0.7071,0,0.7071")};
        room->addChildNode(selected);
        models.push_back(selected);
    }
};

Showroom& showroom(int carriers) {
    static std::map<int, std::unique_ptr<Showroom>> rooms;
    auto& room = rooms[carriers];
    if (!room) {
        room = std::make_unique<Showroom>(carriers);
    }
    return *room;
}

void report(benchmark::State& state, int carriers) {
    state.SetComplexityN(carriers);
    state.counters["per carrier"] =
        benchmark::Counter(static_cast<double>(carriers) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_SnappingBuild(benchmark::State& state) {
    const int carriers = static_cast<int>(state.range(0));
    Showroom& room = showroom(carriers);
    std::size_t points = 0;
    for (auto _ : state) {
        points = docking::buildSnappingNodes(room.selected, room.models).size();
        state.PauseTiming();
        docking::removeSnappingNodes(room.models);
        state.ResumeTiming();
    }
    if (points != static_cast<std::size_t>(4 * carriers)) {
        state.SkipWithError("every carrier must get four points");
    }
    report(state, carriers);
}

void BM_SnappingRefresh(benchmark::State& state) {
    const int carriers = static_cast<int>(state.range(0));
    Showroom& room = showroom(carriers);
    const auto built = docking::buildSnappingNodes(room.selected, room.models);
    for (auto _ : state) {
        docking::refreshSnappingNodes(room.models, room.selected.get());
    }
    int hidden = 0;
    for (const auto& point : built) {
        hidden += point->isHidden() ? 1 : 0;
    }
    if (hidden == 0 || hidden == static_cast<int>(built.size())) {
        state.SkipWithError("the stools must block some places and leave the others free");
    }
    state.counters["hidden"] = hidden;
    docking::removeSnappingNodes(room.models);
    report(state, carriers);
}

void carrierCounts(benchmark::internal::Benchmark* bench) {
    bench->Arg(50)->Arg(100)->Arg(200)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_SnappingBuild)->Apply(carrierCounts);
BENCHMARK(BM_SnappingRefresh)->Apply(carrierCounts);

}  // namespace
