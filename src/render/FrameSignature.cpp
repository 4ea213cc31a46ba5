#include "render/FrameSignature.hpp"

#include "vantrel/graph/SCNCamera.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/graph/SCNLight.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNScene.hpp"

namespace vantrel::detail {

FrameSignature& FrameSignature::addScene(const SCNScene& scene, const SCNNode* pointOfView) {
    add(scene.lightingEnvironment().revision()).add(scene.background().revision());
    scene.rootNode()->enumerateVisibleNodes(
        [&](const SCNNode& node, const glm::mat4& world, double opacity) {
            add(&node).add(world).add(opacity).add(node.categoryBitMask());
            if (const auto& geometry = node.geometry()) {
                add(geometry.get()).add(geometry->revision());
                for (const auto& material : geometry->materials()) {
                    add(material.get()).add(material ? material->revision() : 0);
                }
            }
            if (const auto& light = node.light()) {
                add(light.get()).add(light->revision());
            }
            if (const auto& camera = node.camera()) {
                add(camera.get()).add(camera->revision());
            }
        },
        pointOfView);
    return *this;
}

}  // namespace vantrel::detail
