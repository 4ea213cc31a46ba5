#include "SceneLights.hpp"

#include <numbers>
#include <string>

#include "vantrel/graph/SCNLight.hpp"
#include "vantrel/graph/SCNLookAtConstraint.hpp"
#include "vantrel/graph/SCNNode.hpp"

namespace vantrel::detail {
namespace {

constexpr float pi = std::numbers::pi_v<float>;

struct LightPlacement {
    const char* name;
    std::optional<SCNLightType> type;
    double intensity;
    SCNVector3 offset;  // in content radii
    std::optional<SCNVector3> eulerAngles;
    bool key = false;  // casts the products' shadows onto the ground
};

// The key light's shadow: a 1024² map over the products with a wide filter, soft enough to read as
// the shadow of a studio's large light source rather than of a point; it takes away most of the key
// light, not all: a studio's walls and the floor itself send some light back under a product.
constexpr int keyShadowMapSize = 1024;
constexpr double keyShadowRadius = 12.0;
constexpr double keyShadowStrength = 0.8;

const std::vector<LightPlacement>& placementsOf(SceneEnvironment environment) {
    static const std::vector<LightPlacement> basic = {
        {"lightNode_omni_1", SCNLightType::omni, 500.0, {10.0f, 10.0f, 10.0f}, std::nullopt, true},
        {"lightNode_omni_2", SCNLightType::omni, 500.0, {-10.0f, -10.0f, -10.0f}, std::nullopt},
    };
    static const std::vector<LightPlacement> studio = {
        {"lightsLookAtCenterNode", std::nullopt, 0.0, {0.0f, 0.0f, 0.0f}, std::nullopt},
        {"lightNode_main",
         SCNLightType::directional,
         600.0,
         {0.0f, 1.0f, 4.0f},
         SCNVector3{-pi / 8.0f, 0.0f, 0.0f},
         true},
        {"lightNode_fill",
         SCNLightType::directional,
         400.0,
         {-4.0f, 1.0f, 0.0f},
         SCNVector3{-pi / 8.0f, -pi / 2.0f, 0.0f}},
        {"lightNode_back_1", SCNLightType::directional, 300.0, {4.0f, 0.0f, 0.0f}, SCNVector3{0.0f, pi / 2.0f, 0.0f}},
        {"lightNode_back_2", SCNLightType::directional, 300.0, {0.0f, 0.0f, -4.0f}, SCNVector3{pi, 0.0f, 0.0f}},
    };
    return environment == SceneEnvironment::studio ? studio : basic;
}

}  // namespace

std::vector<std::shared_ptr<SCNNode>> makeSceneLights(SceneEnvironment environment) {
    std::vector<std::shared_ptr<SCNNode>> lights;
    for (const auto& placement : placementsOf(environment)) {
        auto node = SCNNode::make();
        node->setName(placement.name);
        if (placement.type) {
            auto light = SCNLight::make(*placement.type);
            light->setIntensity(placement.intensity);
            if (placement.key) {
                light->setCastsShadow(true);
                light->setShadowMapSize(keyShadowMapSize);
                light->setShadowRadius(keyShadowRadius);
                light->setShadowColor(UIColor(0.0, 0.0, 0.0, keyShadowStrength));
            }
            node->setLight(std::move(light));
        }
        lights.push_back(std::move(node));
    }
    return lights;
}

void laySceneLights(SceneEnvironment environment, const std::vector<std::shared_ptr<SCNNode>>& lights,
                    const SCNBoundingSphere& content) {
    const auto& placements = placementsOf(environment);
    for (std::size_t index = 0; index < lights.size() && index < placements.size(); ++index) {
        const auto& light = lights[index];
        light->setPosition(content.center + placements[index].offset * content.radius);
        if (environment != SceneEnvironment::studio) {
            continue;
        }
        if (placements[index].eulerAngles) {
            light->setEulerAngles(*placements[index].eulerAngles);
        }
        if (index > 0) {
            light->setConstraints({SCNLookAtConstraint::make(lights.front())});
        }
    }
}

std::optional<UIColor> sceneBackground(SceneEnvironment environment) {
    if (environment == SceneEnvironment::basicDark) {
        return UIColor::lightGrayColor();
    }
    return std::nullopt;
}

std::pair<UIColor, UIColor> sizeColors(SceneEnvironment environment) {
    if (environment == SceneEnvironment::basicDark) {
        return {UIColor::whiteColor(), UIColor::blackColor()};
    }
    return {UIColor::lightGrayColor(), UIColor::whiteColor()};
}

}  // namespace vantrel::detail
