#include "DemoStudio.hpp"

#include <vantrel/core/ResourceBundle.hpp>
#include <vantrel/graph/SCNCamera.hpp>
#include <vantrel/graph/SCNFloor.hpp>
#include <vantrel/graph/SCNLight.hpp>
#include <vantrel/graph/SCNLookAtConstraint.hpp>
#include <vantrel/graph/SCNMaterial.hpp>
#include <vantrel/render/SCNTechnique.hpp>

#include <cmath>
#include <fstream>

#include <nlohmann/json.hpp>

namespace demo {

using vantrel::SCNNode;
using vantrel::SCNVector3;
using vantrel::UIColor;

namespace {

std::shared_ptr<SCNNode> lightNode(vantrel::SCNLightType type) {
    auto node = SCNNode::make();
    node->setLight(vantrel::SCNLight::make(type));
    return node;
}

}  // namespace

DemoStudio::DemoStudio(std::shared_ptr<vantrel::SCNScene> scene, int width, int height)
    : scene_(std::move(scene)), view_(vantrel::CGRect(0, 0, width, height)) {
    const auto root = scene_->rootNode();
    const auto box = root->boundingBox();
    const SCNVector3 centre = (box.min + box.max) * 0.5f;
    const float radius = std::max(0.5f, (box.max - box.min).length() * 0.5f);

    key_ = lightNode(vantrel::SCNLightType::directional);
    key_->setEulerAngles({-0.9f, 0.5f, 0.0f});
    fill_ = lightNode(vantrel::SCNLightType::omni);
    fill_->setPosition({centre.x - radius * 2.0f, centre.y + radius * 1.5f, centre.z + radius * 2.0f});
    ambient_ = lightNode(vantrel::SCNLightType::ambient);
    for (const auto& light : {key_, fill_, ambient_}) root->addChildNode(light);

    auto floor = vantrel::SCNFloor::make();
    floor->setReflectivity(0.15);
    floor_ = SCNNode::make(floor);
    floor_->setPosition({centre.x, box.min.y, centre.z});
    root->addChildNode(floor_);

    // The camera looks down on the arrangement from the front left, far enough to frame it.
    auto target = SCNNode::make();
    target->setPosition({centre.x, box.min.y + (box.max.y - box.min.y) * 0.35f, centre.z});
    root->addChildNode(target);
    camera_ = SCNNode::make();
    auto camera = vantrel::SCNCamera::make();
    camera->setFieldOfView(45.0);
    camera_->setCamera(camera);
    camera_->setPosition({centre.x - radius * 0.45f, centre.y + radius * 0.75f, centre.z + radius * 1.45f});
    camera_->setConstraints({vantrel::SCNLookAtConstraint::make(target)});
    root->addChildNode(camera_);

    view_.setScene(scene_);
    view_.setPointOfView(camera_);
}

const std::vector<StudioMood>& DemoStudio::moods() {
    static const std::vector<StudioMood> moods = {
        {"daylight", UIColor{0.93, 0.95, 0.98, 1.0}, UIColor{1.0, 0.98, 0.94, 1.0}, 1400.0, 500.0, 350.0},
        {"evening", UIColor{0.20, 0.17, 0.22, 1.0}, UIColor{1.0, 0.78, 0.55, 1.0}, 1100.0, 250.0, 150.0},
        {"studio", UIColor{0.55, 0.57, 0.60, 1.0}, UIColor{1.0, 1.0, 1.0, 1.0}, 1200.0, 700.0, 300.0},
    };
    return moods;
}

void DemoStudio::apply(const StudioMood& mood) {
    view_.setBackgroundColor(mood.background);
    key_->light()->setColor(mood.keyColor);
    key_->light()->setIntensity(mood.keyIntensity);
    fill_->light()->setIntensity(mood.fillIntensity);
    ambient_->light()->setIntensity(mood.ambientIntensity);
    if (auto floor = floor_->geometry(); floor && !floor->materials().empty())
        floor->materials().front()->diffuse().setContents(mood.background);
}

void DemoStudio::setFloorShown(bool shown) { floor_->setHidden(!shown); }

std::optional<std::string> DemoStudio::setGlow(bool on, const UIColor& color) {
    if (!on) {
        view_.setTechnique(nullptr);
        return std::nullopt;
    }
    const auto bundle = vantrel::ResourceBundle::locate();
    if (!bundle) return "the library's resource bundle cannot be found";
    std::ifstream in(bundle->path("shaders/glow.json"));
    const auto dictionary = nlohmann::json::parse(in, nullptr, false);
    if (dictionary.is_discarded()) return "the glow technique's dictionary cannot be read";
    auto technique = vantrel::SCNTechnique::techniqueWithDictionary(dictionary);
    if (!technique) return technique.error().description();
    (*technique)
        ->setValue(SCNVector3{static_cast<float>(color.red()), static_cast<float>(color.green()),
                              static_cast<float>(color.blue())},
                   "glowColorSymbol");
    view_.setTechnique(*technique);
    return std::nullopt;
}

std::optional<std::string> DemoStudio::write(const std::filesystem::path& file) {
    if (auto error = view_.writeSnapshot(file)) return error->description();
    return std::nullopt;
}

}  // namespace demo
