#pragma once

// Helpers shared by the renderer's picture tests: scenes with a camera and light, pixel reads.

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "vantrel/graph/SCNCamera.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/graph/SCNLight.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNScene.hpp"
#include "vantrel/graph/UIImage.hpp"
#include "vantrel/render/SCNView.hpp"
#include "support/TestPaths.hpp"

namespace vantrel::render_test {

/// An 8-bit sRGB pixel.
struct Pixel {
    int r = 0;
    int g = 0;
    int b = 0;
    int a = 0;
};

inline Pixel pixelAt(const UIImage& image, int x, int y) {
    const auto& rgba = image.rgba();
    const std::size_t at =
        (static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width()) + static_cast<std::size_t>(x)) * 4;
    return {rgba[at], rgba[at + 1], rgba[at + 2], rgba[at + 3]};
}

/// The 8-bit sRGB value a colour component is written as.
inline int srgbByte(double c) { return static_cast<int>(std::lround(c * 255.0)); }

inline bool near(const Pixel& p, int r, int g, int b, int tolerance) {
    return std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance && std::abs(p.b - b) <= tolerance;
}

/// A folder for the pictures tests write; look at them.
inline std::filesystem::path outputFolder() {
    const std::filesystem::path folder = vantrel::test::binaryDirectory() / "test-output" / "render";
    std::filesystem::create_directories(folder);
    return folder;
}

/// A scene with a camera at (0, 0, 5) looking down −Z and a directional light from the camera's
/// side (plus a little ambient light).
struct LitScene {
    std::shared_ptr<SCNScene> scene = SCNScene::make();
    std::shared_ptr<SCNNode> camera = SCNNode::make();

    LitScene() {
        camera->setCamera(SCNCamera::make());
        camera->setPosition({0.0f, 0.0f, 5.0f});
        scene->rootNode()->addChildNode(camera);
        auto sun = SCNNode::make();
        auto light = SCNLight::make(SCNLightType::directional);
        sun->setLight(light);
        sun->setEulerAngles({-0.3f, 0.2f, 0.0f});
        scene->rootNode()->addChildNode(sun);
        auto ambient = SCNNode::make();
        auto fill = SCNLight::make(SCNLightType::ambient);
        fill->setIntensity(200.0);
        ambient->setLight(fill);
        scene->rootNode()->addChildNode(ambient);
    }

    /// Adds a node showing `geometry` with a material of `color` under `model`.
    std::shared_ptr<SCNNode> add(std::shared_ptr<SCNGeometry> geometry, const UIColor& color,
                                 SCNLightingModel model = SCNLightingModel::blinn) {
        auto material = SCNMaterial::make();
        material->diffuse().setContents(color);
        material->setLightingModel(model);
        geometry->setFirstMaterial(material);
        auto node = SCNNode::make(std::move(geometry));
        scene->rootNode()->addChildNode(node);
        return node;
    }
};

/// A view of `scene` through `camera`, drawn offscreen.
inline std::unique_ptr<SCNView> makeView(const LitScene& lit, double width = 200, double height = 150) {
    auto view = std::make_unique<SCNView>(CGRect(0, 0, width, height));
    view->setScene(lit.scene);
    view->setPointOfView(lit.camera);
    return view;
}

/// Draws a frame and writes it under `name` in the output folder; fails the test when drawing fails.
inline std::shared_ptr<UIImage> picture(SCNView& view, const std::string& name) {
    auto image = view.snapshot();
    EXPECT_TRUE(image.hasValue()) << (image.hasValue() ? "" : image.error().description());
    if (!image.hasValue()) {
        return nullptr;
    }
    EXPECT_FALSE(writePNG(**image, outputFolder() / (name + ".png")).has_value());
    return *image;
}

}  // namespace vantrel::render_test
