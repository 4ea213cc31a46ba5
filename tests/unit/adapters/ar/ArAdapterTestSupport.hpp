#pragma once

// An AR adapter over a replayed session written by the test, on a manual clock, with a delegate that
// writes every callback down as one line.

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ArTestSupport.hpp"
#include "unit/adapters/canvas/CanvasTestSupport.hpp"
#include "vantrel/adapters/ARReplaySession.hpp"
#include "vantrel/adapters/ARSCNView.hpp"
#include "vantrel/adapters/ArAdapter.hpp"
#include "vantrel/core/Clock.hpp"
#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/core/MainRunLoop.hpp"
#include "vantrel/scene/AnchorObjectModelNode.hpp"
#include "vantrel/domain/AnchorObjectEntity.hpp"
#include "vantrel/domain/ComponentEntity.hpp"

namespace vantrel::ar_adapter_test {

using canvas_test::drainMain;
using nlohmann::json;

inline std::string text(const SCNVector3& v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2f,%.2f,%.2f", v.x, v.y, v.z);
    return buffer;
}

class RecordingDelegate : public ArManagementDelegate {
public:
    std::vector<std::string> calls;

    void onError(const Error& error) override { calls.push_back("error " + error.localizedDescription()); }
    void onModelAdded(const std::string& modelId, const std::string&, const OptionalError& error) override {
        calls.push_back("added " + modelId + (error ? " " + error->localizedDescription() : ""));
    }
    void onModelRemoved(const std::string& modelId, const std::string&) override {
        calls.push_back("removed " + modelId);
    }
    void onModelTransformChanged(const std::string& modelId, const std::string&, const SCNVector3&,
                                 const SCNVector4&) override {
        calls.push_back("moved " + modelId);
    }
    void onModelSelected(const std::string& modelId, const std::string&) override {
        calls.push_back("selected " + modelId);
    }
    void onModelDeselected() override { calls.push_back("deselected"); }
    void onShowHelpMessage(ArHelpMessageType type, const std::string& message) override {
        static const char* names[] = {"scan", "scan-extended", "model-selected"};
        const auto lines = 1 + std::count(message.begin(), message.end(), '\n');
        calls.push_back(std::string("show ") + names[static_cast<int>(type)] + " " + std::to_string(lines));
    }
    void onHideHelpMessage() override { calls.push_back("hide"); }
    void onArSessionStarted(bool restarted) override { calls.push_back(restarted ? "restarted" : "started"); }
    void onArSessionPaused() override { calls.push_back("paused"); }
    void onFirstPlaneDetected(const SCNVector3& position) override { calls.push_back("first plane " + text(position)); }

    std::vector<std::string> take() { return std::exchange(calls, {}); }
};

// The camera stands 1.5 m above the floor at the origin and looks 45° down towards −Z, so the ray
// through the view's centre meets the floor at (0, 0, −1.5).
inline glm::mat4 lookingDown() {
    const float c = std::sqrt(0.5f);
    glm::mat4 pose(1.0f);
    pose[1] = glm::vec4(0.0f, c, -c, 0.0f);
    pose[2] = glm::vec4(0.0f, c, c, 0.0f);
    pose[3] = glm::vec4(0.0f, 1.5f, 0.0f, 1.0f);
    return pose;
}

inline json frame(double time, json extra = json::object()) {
    json result{{"timestamp", time},
                {"camera",
                 {{"transform", ar_test::numbers(lookingDown())},
                  {"intrinsics", ar_test::numbers(ARCamera::intrinsicsFor(CGSize(320, 240), 60.0))},
                  {"imageResolution", {320, 240}}}}};
    result.update(extra);
    return result;
}

inline json plane(const std::string& id, const std::string& alignment, const glm::mat4& transform, float size) {
    return {{"identifier", id},
            {"transform", ar_test::numbers(transform)},
            {"plane", {{"alignment", alignment}, {"center", {0, 0, 0}}, {"extent", {size, 0, size}}}}};
}

// A 4 m floor centred under the view's centre.
inline json floorPlane() { return plane("floor", "horizontal", glm::translate(glm::mat4(1.0f), {0, 0, -1.5f}), 4.0f); }

// A wall across the view 1 m ahead, with surface points where the centre ray meets it.
inline json wallPlane() {
    glm::mat4 wall = glm::rotate(glm::mat4(1.0f), static_cast<float>(M_PI / 2), glm::vec3(1.0f, 0.0f, 0.0f));
    wall[3] = glm::vec4(0.0f, 0.0f, -1.0f, 1.0f);
    return plane("wall", "vertical", wall, 4.0f);
}
inline json wallPoints() { return json::array({{0.01, 0.5, -1.0}, {-0.01, 0.51, -1.0}, {0.0, 0.49, -1.0}}); }
inline json floorPoints() { return json::array({{0.01, 0.0, -1.5}, {-0.01, 0.0, -1.49}, {0.0, 0.0, -1.51}}); }

struct Stage {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<ARReplaySession> session;
    std::shared_ptr<ARSCNView> view = std::make_shared<ARSCNView>(CGRect(0, 0, 320, 240));
    std::shared_ptr<ArAdapter> adapter;
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    // Models that reloads of a component give (their first part copied), by component id; an anchor
    // object's reload gives an empty model with the id "reloaded".
    std::map<std::string, std::shared_ptr<ModelNode>> reloads;

    // `answersSceneSettings` false: the scene settings never arrive.
    Stage(const std::string& name, const json& frames, bool answersSceneSettings = true)
        : Stage(ar_test::writeRecording(ar_test::outputFolder("adapter-" + name), frames), answersSceneSettings) {}

    // Over the recording in `directory`.
    explicit Stage(const std::filesystem::path& directory, bool answersSceneSettings = true) {
        Clock::install(clock);
        auto opened = ARReplaySession::open(directory, clock);
        EXPECT_TRUE(opened.hasValue()) << (opened ? "" : opened.error().description());
        session = *opened;
        view->setSession(session);
        ArAdapter::Dependencies dependencies;
        dependencies.obtainSceneSettings = [answersSceneSettings](RecordResultBlock<SceneEntity> block) {
            if (answersSceneSettings) block(nullptr, std::nullopt);
        };
        dependencies.loadModel = [this](const std::shared_ptr<ComponentEntity>& component, const std::string& modelId,
                                        ModelLoaderService::ModelBlock block) {
            const auto found = reloads.find(component->objectId().value_or(""));
            if (found == reloads.end()) return block(nullptr, Error{});
            auto model = ModelNode::make(modelId, found->first);
            model->add({found->second->contentNode()->childNodes().front()->clone()});
            block(model, std::nullopt);
        };
        dependencies.loadAnchorObjectModel = [](const std::shared_ptr<AnchorObjectEntity>& anchorObject,
                                                ModelLoaderService::AnchorObjectModelBlock block) {
            block(AnchorObjectModelNode::make("reloaded", anchorObject->objectId().value_or("")), std::nullopt);
        };
        adapter = ArAdapter::make(dependencies);
        adapter->setManagementDelegate(delegate);
        adapter->setSceneView(view);
        if (answersSceneSettings) {
            EXPECT_TRUE(MainRunLoop::runUntil([this] { return adapter->defaultIntensity().has_value(); }));
        }
        settle();
    }
    // Reloads run on a global queue and read `reloads`: the stage outlives every one of them.
    ~Stage() {
        detail::waitUntilGlobalQueueIdle(std::chrono::seconds(10));
        drainMain();
        Clock::install(nullptr);
    }
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    // Runs the main queue and the timers that are due.
    void settle() {
        bool arrived = false;
        DispatchQueue::main().asyncAfter(std::chrono::nanoseconds(0), [&arrived] { arrived = true; });
        EXPECT_TRUE(MainRunLoop::runUntil([&] { return arrived; }));
        drainMain();
    }

    // Moves the clock and runs what became due.
    void wait(std::chrono::nanoseconds by) {
        clock->advance(by);
        settle();
    }

    // Plays the next recorded frame and lets the first-plane check run.
    void play() {
        session->advance();
        // Whatever the plane queue had, it has handed to the main queue once this returns.
        adapter->firstPlaneQueue()->sync([] {});
        settle();
    }
};

}  // namespace vantrel::ar_adapter_test
