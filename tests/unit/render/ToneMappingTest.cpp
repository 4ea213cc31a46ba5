// The view's tone mapping and exposure, seen in the colours of its pictures.

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "RenderTestSupport.hpp"
#include "vantrel/graph/SCNPlane.hpp"

namespace vantrel {
namespace {

using namespace render_test;

double srgbOf(double linear) {
    const double c = std::clamp(linear, 0.0, 1.0);
    return c <= 0.0031308 ? c * 12.92 : 1.055 * std::pow(c, 1.0 / 2.4) - 0.055;
}

Pixel expected(double r, double g, double b) { return {srgbByte(srgbOf(r)), srgbByte(srgbOf(g)), srgbByte(srgbOf(b)), 255}; }

// The centre of a view filled by a plane of `material`.
Pixel centreOf(const std::shared_ptr<SCNMaterial>& material, SCNToneMapping mapping, float exposure = 0.0f,
               const std::shared_ptr<UIImage>& environment = nullptr) {
    auto scene = SCNScene::make();
    if (environment) {
        scene->lightingEnvironment().setContents(environment);
    }
    auto plane = SCNPlane::make(4.0f, 4.0f);
    plane->setFirstMaterial(material);
    scene->rootNode()->addChildNode(SCNNode::make(plane));
    auto camera = SCNNode::make();
    camera->setCamera(SCNCamera::make());
    camera->setPosition({0.0f, 0.0f, 2.0f});
    scene->rootNode()->addChildNode(camera);
    SCNView view(CGRect(0, 0, 16, 12));
    view.setScene(scene);
    view.setPointOfView(camera);
    view.setToneMapping(mapping);
    view.setExposure(exposure);
    auto image = view.snapshot();
    EXPECT_TRUE(image.hasValue());
    return image.hasValue() ? pixelAt(**image, 8, 6) : Pixel{};
}

// An unlit colour of linear `r, g, b` times `scale`.
std::shared_ptr<SCNMaterial> constant(double r, double g, double b, double scale = 1.0) {
    auto material = SCNMaterial::make();
    material->setLightingModel(SCNLightingModel::constant);
    material->diffuse().setContents(UIColor(srgbOf(r), srgbOf(g), srgbOf(b)));
    material->diffuse().setIntensity(scale);
    return material;
}

bool near(const Pixel& a, const Pixel& b, int tolerance) { return render_test::near(a, b.r, b.g, b.b, tolerance); }

std::string text(const Pixel& p) { return std::to_string(p.r) + " " + std::to_string(p.g) + " " + std::to_string(p.b); }

TEST(ToneMapping, ANewViewMapsNeutrally) { EXPECT_EQ(SCNView().toneMapping(), SCNToneMapping::neutral); }

TEST(ToneMapping, NeutralGivesABaseColourBackBelowItsKnee) {
    // Neutral takes back the 0.04 that every dielectric reflects: a colour plus 0.04 comes out as the colour.
    const Pixel mapped = centreOf(constant(0.54, 0.24, 0.14), SCNToneMapping::neutral);
    EXPECT_TRUE(near(mapped, expected(0.5, 0.2, 0.1), 2)) << text(mapped);
    EXPECT_TRUE(near(centreOf(constant(0.54, 0.24, 0.14), SCNToneMapping::none), expected(0.54, 0.24, 0.14), 2));

    // A physically based base colour in a white furnace (uniform radiance 1) comes out as itself, to
    // within what the surface reflects before light enters it: that share (a few percent at this
    // roughness) is taken from the diffuse light and added back as reflection, and neutral's offset
    // takes 0.04 of it back.
    auto material = SCNMaterial::make();
    material->setLightingModel(SCNLightingModel::physicallyBased);
    material->diffuse().setContents(UIColor(srgbOf(0.5), srgbOf(0.3), srgbOf(0.2)));
    material->metalness().setContents(0.0);
    material->roughness().setContents(0.5);
    const auto furnace = UIImage::fromFloatPixels(8, 4, std::vector<float>(8 * 4 * 4, 1.0f));
    const Pixel lit = centreOf(material, SCNToneMapping::neutral, 0.0f, furnace);
    EXPECT_TRUE(near(lit, expected(0.5, 0.3, 0.2), 7)) << text(lit);
}

TEST(ToneMapping, NeutralAndAcesCompressHighlightsInsteadOfClipping) {
    // None clips a white of twice the light; neutral and ACES keep it below white, and brighter
    // light stays brighter up to eight times.
    EXPECT_TRUE(near(centreOf(constant(1, 1, 1, 2.0), SCNToneMapping::none), Pixel{255, 255, 255, 255}, 0));
    for (const auto mapping : {SCNToneMapping::neutral, SCNToneMapping::aces}) {
        SCOPED_TRACE(static_cast<int>(mapping));
        int previous = 0;
        for (const double scale : {0.5, 1.0, 2.0, 4.0, 8.0}) {
            const Pixel pixel = centreOf(constant(1, 1, 1, scale), mapping);
            EXPECT_LT(pixel.r, 255) << scale;
            EXPECT_GE(pixel.r, previous) << scale;
            previous = pixel.r;
        }
        // A saturated colour keeps its hue order and its lead channel below white.
        const Pixel orange = centreOf(constant(1.0, 0.3, 0.05, 2.0), mapping);
        EXPECT_LT(orange.r, 255) << text(orange);
        EXPECT_GT(orange.r, orange.g + 20) << text(orange);
        EXPECT_GT(orange.g, orange.b) << text(orange);
    }
}

TEST(ToneMapping, OneStopOfExposureDoublesTheLight) {
    EXPECT_TRUE(near(centreOf(constant(0.2, 0.1, 0.05), SCNToneMapping::none, 1.0f), expected(0.4, 0.2, 0.1), 2));
    EXPECT_TRUE(near(centreOf(constant(0.2, 0.1, 0.05), SCNToneMapping::none, -1.0f), expected(0.1, 0.05, 0.025), 2));
    // The exposure comes before the mapping: −1 stop of 1.08 is neutral's 0.5.
    EXPECT_TRUE(near(centreOf(constant(1.0, 1.0, 1.0, 1.08), SCNToneMapping::neutral, -1.0f), expected(0.5, 0.5, 0.5), 2));
}

}  // namespace
}  // namespace vantrel
