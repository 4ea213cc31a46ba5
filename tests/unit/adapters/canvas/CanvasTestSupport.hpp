#pragma once

// A canvas with box models, a recording delegate and stand-ins for the services it calls.

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/DispatchQueueImpl.hpp"
#include "vantrel/adapters/CanvasAdapter.hpp"
#include "vantrel/core/MainRunLoop.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/scene/AnchorObjectModelNode.hpp"
#include "vantrel/render/SCNView.hpp"
#include "vantrel/scene/ModelNode.hpp"

namespace vantrel::canvas_test {

/// Every callback as one line ("selected m1"), in the order received.
class RecordingDelegate : public CanvasManagementDelegate {
public:
    std::vector<std::string> calls;

    void onSceneSettingsFailure(const Error& error) override { calls.push_back("failure " + error.description()); }
    void onModelAdded(const std::string& modelId, const std::string&, const OptionalError&) override {
        calls.push_back("added " + modelId);
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
    void onEmptySpaceLongPressed() override { calls.push_back("empty long press"); }

    /// The calls so far, forgotten.
    std::vector<std::string> take() { return std::exchange(calls, {}); }
};

/// A model of `componentId` whose content is one box of `size` standing on the model's origin.
inline std::shared_ptr<ModelNode> boxModel(const std::string& id, const std::string& componentId = "sofa",
                                           SCNVector3 size = {1.0f, 1.0f, 1.0f}) {
    auto model = ModelNode::make(id, componentId);
    auto box = SCNNode::make(SCNBox::make(size.x, size.y, size.z));
    box->setName("seat");
    box->setPosition({0.0f, size.y / 2.0f, 0.0f});
    model->add({box});
    return model;
}

/// Runs the main queue until nothing is left to run now.
inline void drainMain() {
    while (MainRunLoop::drain() > 0) {
    }
}

/// An adapter whose scene settings are absent and whose reloads and materials come from the test.
struct Canvas {
    std::shared_ptr<SCNMaterial> builtMaterial = SCNMaterial::make();
    std::map<std::string, std::shared_ptr<ModelNode>> reloads;  // by component id
    // Anchor-object reloads as asked (on a global queue), for the test to answer in any order.
    std::mutex anchorLoadsMutex;
    std::vector<ModelLoaderService::AnchorObjectModelBlock> anchorLoads;
    std::shared_ptr<CanvasAdapter> adapter = CanvasAdapter::make(dependencies());
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    std::shared_ptr<SCNView> view = std::make_shared<SCNView>(CGRect(0, 0, 400, 300));

    Canvas() {
        adapter->setManagementDelegate(delegate);
        adapter->setSceneView(view);
        drainMain();
    }
    // Reloads run on a global queue and read `reloads`: the canvas outlives every one of them.
    ~Canvas() {
        detail::waitUntilGlobalQueueIdle(std::chrono::seconds(10));
        drainMain();
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    CanvasAdapter::Dependencies dependencies() {
        CanvasAdapter::Dependencies d;
        d.obtainSceneSettings = [](RecordResultBlock<SceneEntity> block) { block(nullptr, std::nullopt); };
        d.loadModel = [this](const std::shared_ptr<ComponentEntity>& component, const std::string& modelId,
                             ModelLoaderService::ModelBlock block) {
            const auto found = reloads.find(component->objectId().value_or(""));
            if (found == reloads.end()) return block(nullptr, Error{});
            auto model = ModelNode::make(modelId, found->first);
            model->add({found->second->contentNode()->childNodes().front()->clone()});
            block(model, std::nullopt);
        };
        d.loadAnchorObjectModel = [this](const std::shared_ptr<AnchorObjectEntity>&,
                                         ModelLoaderService::AnchorObjectModelBlock block) {
            const std::lock_guard lock(anchorLoadsMutex);
            anchorLoads.push_back(std::move(block));
        };
        d.buildMaterial = [this](const std::shared_ptr<MaterialEntity>&,
                                 std::function<void(std::shared_ptr<SCNMaterial>)> block) { block(builtMaterial); };
        return d;
    }

    std::size_t anchorLoadsAsked() {
        const std::lock_guard lock(anchorLoadsMutex);
        return anchorLoads.size();
    }

    /// Answers the `index`th anchor-object reload with `model`.
    void answerAnchorLoad(std::size_t index, std::shared_ptr<AnchorObjectModelNode> model) {
        ModelLoaderService::AnchorObjectModelBlock block;
        {
            const std::lock_guard lock(anchorLoadsMutex);
            block = anchorLoads.at(index);
        }
        block(std::move(model), std::nullopt);
    }
};

}  // namespace vantrel::canvas_test
