#include "adapters/ar/PlaneShadows.hpp"

#include <algorithm>
#include <numbers>

#include "vantrel/graph/SCNLight.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNPlane.hpp"

namespace vantrel::detail {
namespace {

constexpr const char* catcherName = "ArAdapter.shadowCatcher";
constexpr const char* lightName = "ArAdapter.shadowLight";

// Half-dark at the darkest: the camera's picture of the floor already holds the room's light, and a
// real shadow under a piece of furniture leaves some of it.
constexpr double shadowStrength = 0.5;

constexpr float lightElevation = 65.0f * std::numbers::pi_v<float> / 180.0f;

}  // namespace

void catchShadows(SCNNode& planeNode, const ARPlaneAnchor& plane) {
    auto catcher = planeNode.childNodeWithName(catcherName, false);
    if (plane.alignment() != ARPlaneAnchorAlignment::horizontal) {
        if (catcher) catcher->removeFromParentNode();
        return;
    }
    if (!catcher) {
        auto material = SCNMaterial::make();
        material->setLightingModel(SCNLightingModel::shadowOnly);
        material->setDoubleSided(true);
        catcher = SCNNode::make();
        catcher->setName(catcherName);
        catcher->setCategoryBitMask(shadowCatcherCategory);
        catcher->setCastsShadow(false);
        // A plane stands in the node's XY plane: laid down onto the anchor's XZ plane.
        catcher->setEulerAngles({-std::numbers::pi_v<float> / 2.0f, 0.0f, 0.0f});
        auto geometry = SCNPlane::make(1.0f, 1.0f);
        geometry->setFirstMaterial(material);
        catcher->setGeometry(geometry);
        planeNode.addChildNode(catcher);
    }
    const glm::vec3 extent = plane.extent();
    const glm::vec3 centre = plane.center();
    catcher->setPosition({centre.x, centre.y, centre.z});
    catcher->setScale({std::max(extent.x, 1e-3f), std::max(extent.z, 1e-3f), 1.0f});
}

void ensureShadowLight(SCNNode& root) {
    if (root.childNodeWithName(lightName, false)) return;
    auto light = SCNLight::make(SCNLightType::directional);
    light->setIntensity(0.0);  // the models keep the light they have; this one only casts
    light->setCastsShadow(true);
    light->setCategoryBitMask(shadowCatcherCategory);
    light->setShadowColor(UIColor(0.0, 0.0, 0.0, shadowStrength));
    light->setShadowMapSize(512);
    light->setShadowRadius(10.0);
    auto node = SCNNode::make();
    node->setName(lightName);
    node->setLight(std::move(light));
    // From high up beyond the session's starting view (its −Z), so that the shadow falls a little
    // towards the user, in front of the model rather than hidden under and behind it. The light gives
    // no light, so nothing shows it comes from there.
    node->setEulerAngles({-lightElevation, std::numbers::pi_v<float>, 0.0f});
    root.addChildNode(std::move(node));
}

}  // namespace vantrel::detail
