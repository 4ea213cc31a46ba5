// A gesture-driven move of one product among 50 on the canvas: the time of one input event, from
// the touch to the next picture (the pan handler moving the model, a hit test at the finger, the
// snapping points refreshed, the overlap check and a frame drawn offscreen), against the 16.7 ms a
// frame has at 60 Hz. Runs: 0 leaves the frame out (what the adapter itself costs per event); 1 draws
// the frame as a host would (ground with its reflection, 4× multisampling, glow); 2 draws a plainer
// frame (no ground, no multisampling) to show how much of the frame is the renderer's extras.
//
// CanvasDrag is the same move as a user sees it at 1280 × 720 among 10 or 50 products, with the
// view's adaptive quality on (target 33 ms): frames on demand, reduced while the product moves. It
// reports the 50th and 95th percentile of the frame times and of the whole events, the scale the
// frames ended at, and how long after the finger lifts the full-quality frame is there.
//
// Run: vantrel_bench --benchmark_filter='CanvasMove|CanvasDrag'

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/EllipsoidMesh.hpp"
#include "vantrel/adapters/CanvasAdapter.hpp"
#include "vantrel/adapters/UITouch.hpp"
#include "vantrel/adapters/UITouchDispatcher.hpp"
#include "vantrel/core/Clock.hpp"
#include "vantrel/core/MainRunLoop.hpp"
#include "vantrel/domain/SnappingAreaEntity.hpp"
#include "vantrel/render/SCNView.hpp"
#include "vantrel/scene/Docking.hpp"

namespace {

using namespace vantrel;
using namespace std::chrono_literals;

constexpr int kProducts = 50;
constexpr double kFrameBudgetMs = 1000.0 / 60.0;

// A product of eight squashed spheres (about 2,100 triangles) whose one snapping area joins the
// others of its kind on its right.
std::shared_ptr<ModelNode> product(int index) {
    auto model = ModelNode::make("p" + std::to_string(index), "module");
    std::vector<std::shared_ptr<SCNNode>> parts;
    for (int p = 0; p < 8; ++p) {
        auto part = SCNNode::make(vantrel_bench::ellipsoidMesh(0.4f, 0.3f, 0.4f, 12, 12));
        part->setPosition({-0.6f + 0.4f * static_cast<float>(p % 4), 0.15f + 0.3f * static_cast<float>(p / 4), 0.0f});
        parts.push_back(std::move(part));
    }
    model->add(parts);
    EmbeddedEntity::Dictionary area;
    area["connectToComponentId"] = ParseValue("module");
    area["offsetPosition"] = ParseValue("1.8,0,0");
    model->snappingAreas() = {SnappingAreaEntity::fromDictionary(area)};
    return model;
}

void drain() {
    while (MainRunLoop::drain() > 0) {
    }
}

// A canvas of `products` products in rows of ten, with the ground, in a view of `width` × `height`.
std::shared_ptr<CanvasAdapter> canvas(int products, const std::shared_ptr<SCNView>& view, bool ground) {
    CanvasAdapter::Dependencies dependencies;
    dependencies.obtainSceneSettings = [](RecordResultBlock<SceneEntity> block) { block(nullptr, std::nullopt); };
    auto adapter = CanvasAdapter::make(dependencies);
    adapter->setSceneView(view);
    adapter->setModelSelectionEnabled(true);
    adapter->setGroundEnabled(ground);
    for (int index = 0; index < products; ++index) {
        adapter->addModel(product(index), SCNVector3{2.0f * static_cast<float>(index % 10), 0.0f,
                                                     2.0f * static_cast<float>(index / 10)});
    }
    adapter->focusToCenter(false, true, true);
    adapter->setGesturesEnabled(true);
    drain();
    return adapter;
}

double percentile(std::vector<double> values, double share) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

void CanvasDrag(benchmark::State& state) {
    const int products = static_cast<int>(state.range(0));
    constexpr int kEvents = 90;
    auto clock = std::make_shared<ManualClock>();
    Clock::install(clock);
    auto view = std::make_shared<SCNView>(CGRect(0, 0, 1280, 720));
    auto adapter = canvas(products, view, true);
    const auto moved = adapter->modelNodes()[static_cast<std::size_t>(products / 2)];
    adapter->selectModelById(moved->id());
    for (int warm = 0; warm < 2; ++warm) {  // uploads and programs, then a full frame to measure
        if (view->draw()) {
            state.SkipWithError("no offscreen context");
            return;
        }
    }
    const double fullFrameMs = view->statistics().frameTime.count();
    auto& touches = *adapter->touchDispatcher();
    const auto start = view->projectPoint(moved->position());
    const CGPoint from{start.x, start.y};
    std::vector<double> frames, events;
    double settleMs = 0.0;
    for (auto _ : state) {
        touches.touchesBegan({{1, from, UITouchPhase::began}});
        drain();
        for (int event = 1; event <= kEvents; ++event) {
            const auto began = std::chrono::steady_clock::now();
            clock->advance(16ms);
            const double offset = 2.0 * static_cast<double>(event <= kEvents / 2 ? event : kEvents - event);
            touches.touchesMoved({{1, CGPoint{from.x + offset, from.y}, UITouchPhase::moved}});
            drain();
            auto drew = view->drawIfNeeded();
            if (drew && *drew) frames.push_back(view->statistics().frameTime.count());
            events.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count());
        }
        touches.touchesEnded({{1, from, UITouchPhase::ended}});
        drain();
        // A host loop: turns every 5 ms until the full-quality frame is drawn.
        const auto lifted = std::chrono::steady_clock::now();
        for (;;) {
            auto drew = view->drawIfNeeded();
            if (drew && *drew && !view->statistics().reducedQuality) break;
            if (std::chrono::steady_clock::now() - lifted > 5s) break;
            std::this_thread::sleep_for(5ms);
        }
        settleMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - lifted).count();
    }
    state.counters["full_frame_ms"] = fullFrameMs;
    state.counters["frame_p50_ms"] = percentile(frames, 0.5);
    state.counters["frame_p95_ms"] = percentile(frames, 0.95);
    state.counters["event_p95_ms"] = percentile(events, 0.95);
    state.counters["frames"] = static_cast<double>(frames.size());
    state.counters["end_scale"] = view->statistics().renderScale;
    state.counters["settle_ms"] = settleMs;
    Clock::install(nullptr);
}
BENCHMARK(CanvasDrag)->Arg(10)->Arg(50)->ArgName("products")->Unit(benchmark::kMillisecond)->Iterations(1);

void CanvasMove(benchmark::State& state) {
    const bool drawFrames = state.range(0) != 0;
    const bool plainFrames = state.range(0) == 2;
    auto clock = std::make_shared<ManualClock>();
    Clock::install(clock);
    auto view = std::make_shared<SCNView>(CGRect(0, 0, 640, 480));
    view->setAdaptsQuality(false);  // every frame full, as this benchmark has always measured them
    if (plainFrames) view->setAntialiasingMode(SCNAntialiasingMode::none);
    auto adapter = canvas(kProducts, view, !plainFrames);
    const auto moved = adapter->modelNodes()[22];
    adapter->selectModelById(moved->id());
    if (drawFrames && view->draw()) {
        state.SkipWithError("no offscreen context");
        return;
    }
    auto& touches = *adapter->touchDispatcher();
    const auto start = view->projectPoint(moved->position());
    const CGPoint from{start.x, start.y};
    touches.touchesBegan({{1, from, UITouchPhase::began}});
    drain();
    double offset = 0.0;
    double direction = 1.0;
    for (auto _ : state) {
        // Back and forth over 120 points, in 2-point steps.
        offset += 2.0 * direction;
        if (offset > 120.0 || offset < 0.0) direction = -direction;
        clock->advance(8ms);
        const CGPoint at{from.x + offset, from.y};
        touches.touchesMoved({{1, at, UITouchPhase::moved}});
        drain();
        benchmark::DoNotOptimize(adapter->modelByHit(at));
        docking::refreshSnappingNodes(adapter->modelNodes(), moved.get());
        benchmark::DoNotOptimize(moved->isOverlapped(adapter->modelNodes()));
        if (drawFrames) benchmark::DoNotOptimize(view->draw());
    }
    touches.touchesEnded({{1, from, UITouchPhase::ended}});
    drain();
    state.counters["budget_ms"] = kFrameBudgetMs;
    state.counters["events"] = static_cast<double>(state.iterations());
    Clock::install(nullptr);
}

BENCHMARK(CanvasMove)->Arg(0)->Arg(1)->Arg(2)->ArgName("frame")->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
