// Pictures of small scenes, checked for what they mean: where things are, what colour they are.

#include <functional>

#include <gtest/gtest.h>

#include "RenderTestSupport.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/graph/SCNPlane.hpp"

namespace vantrel {
namespace {

using namespace render_test;

TEST(ScenePicture, RedBoxCoversThePixelsProjectPointGivesAndTheBackgroundFillsTheRest) {
    LitScene lit;
    auto box = lit.add(SCNBox::make(1.0f, 1.0f, 1.0f), UIColor(1, 0, 0));
    box->setPosition({0.8f, 0.3f, 0.0f});
    auto view = makeView(lit);
    view->setToneMapping(SCNToneMapping::none);  // exact colours, as lit
    const UIColor background(0.2, 0.4, 0.6);
    view->setBackgroundColor(background);
    auto image = picture(*view, "red_box");
    ASSERT_TRUE(image);

    // The box's front face, projected: its centre and points just inside its corners are red.
    const SCNVector3 centre = view->projectPoint({0.8f, 0.3f, 0.5f});
    const SCNVector3 lowLeft = view->projectPoint({0.35f, -0.15f, 0.5f});
    const SCNVector3 upRight = view->projectPoint({1.25f, 0.75f, 0.5f});
    for (const SCNVector3& p : {centre, lowLeft, upRight}) {
        const Pixel pixel = pixelAt(*image, static_cast<int>(p.x), static_cast<int>(p.y));
        EXPECT_GT(pixel.r, 120) << p.friendlyString();
        EXPECT_LT(pixel.g, 40) << p.friendlyString();
        EXPECT_LT(pixel.b, 40) << p.friendlyString();
    }
    // Everything left of the box and the whole top-left quarter is the background, exactly.
    const SCNVector3 leftEdge = view->projectPoint({0.3f - 0.2f, 0.0f, 0.5f});
    int red = 0;
    for (int y = 0; y < image->height(); ++y) {
        for (int x = 0; x < image->width(); ++x) {
            const Pixel pixel = pixelAt(*image, x, y);
            if (x < static_cast<int>(leftEdge.x) - 2) {
                ASSERT_TRUE(near(pixel, srgbByte(0.2), srgbByte(0.4), srgbByte(0.6), 1)) << x << "," << y;
                ASSERT_EQ(pixel.a, 255);
            }
            red += pixel.r > 120 && pixel.g < 40 ? 1 : 0;
        }
    }
    // The box's projected front face is about 0.9 × 0.9 units at 4.5 units: a fifth of the height.
    EXPECT_GT(red, 700);
}

struct BlendCase {
    const char* name;
    std::function<void(SCNNode& front, SCNNode& back)> setUp;
    int r, g, b;  // expected sRGB pixel at the centre
};

// A constant-lit green plane behind a constant-lit red plane, over a black background.
TEST(ScenePicture, HiddenNodesOpacityAndTransparencyShowWhatIsBehind) {
    const BlendCase cases[] = {
        {"opaque_front", [](SCNNode&, SCNNode&) {}, 255, 0, 0},
        {"hidden_front", [](SCNNode& front, SCNNode&) { front.setHidden(true); }, 0, 255, 0},
        {"both_hidden",
         [](SCNNode& front, SCNNode& back) {
             back.setHidden(true);
             front.setHidden(true);
         },
         0, 0, 0},
        // Half of each in linear light, written as sRGB: 0.5 → 188.
        {"half_opacity", [](SCNNode& front, SCNNode&) { front.setOpacity(0.5); }, 188, 188, 0},
        {"half_transparency", [](SCNNode& front, SCNNode&) { front.geometry()->firstMaterial()->setTransparency(0.5); },
         188, 188, 0},
        {"zero_opacity", [](SCNNode& front, SCNNode&) { front.setOpacity(0.0); }, 0, 255, 0},
        {"additive",
         [](SCNNode& front, SCNNode&) { front.geometry()->firstMaterial()->setBlendMode(SCNBlendMode::add); }, 255, 255,
         0},
    };
    for (const BlendCase& c : cases) {
        SCOPED_TRACE(c.name);
        LitScene lit;
        auto back = lit.add(SCNPlane::make(4.0f, 4.0f), UIColor(0, 1, 0), SCNLightingModel::constant);
        back->setPosition({0.0f, 0.0f, -1.0f});
        auto front = lit.add(SCNPlane::make(1.0f, 1.0f), UIColor(1, 0, 0), SCNLightingModel::constant);
        c.setUp(*front, *back);
        auto view = makeView(lit, 64, 48);
        view->setToneMapping(SCNToneMapping::none);  // exact blends of exact colours
        view->setBackgroundColor(UIColor::blackColor());
        auto image = picture(*view, std::string("blend_") + c.name);
        ASSERT_TRUE(image);
        const Pixel pixel = pixelAt(*image, 32, 24);
        EXPECT_TRUE(near(pixel, c.r, c.g, c.b, 3)) << pixel.r << " " << pixel.g << " " << pixel.b;
    }
}

// The middle pixel of two half-transparent planes, red in front of blue, added near first (with
// opaque nodes aside between them in the graph when `opaqueBetween`), over black.
Pixel transparentPlanes(bool opaqueBetween, const std::string& name) {
    LitScene lit;
    const auto aside = [&] {
        if (opaqueBetween) lit.add(SCNBox::make(0.2f, 0.2f, 0.2f), UIColor(0, 1, 0))->setPosition({-3.0f, 0.0f, 0.0f});
    };
    aside();
    auto nearPlane = lit.add(SCNPlane::make(2.0f, 2.0f), UIColor(1, 0, 0, 0.5), SCNLightingModel::constant);
    nearPlane->setPosition({0.0f, 0.0f, 1.0f});
    aside();
    lit.add(SCNPlane::make(2.0f, 2.0f), UIColor(0, 0, 1, 0.5), SCNLightingModel::constant);
    auto view = makeView(lit, 64, 48);
    view->setToneMapping(SCNToneMapping::none);  // exact blends of exact colours
    view->setBackgroundColor(UIColor::blackColor());
    auto image = picture(*view, name);
    EXPECT_TRUE(image);
    return image ? pixelAt(*image, 32, 24) : Pixel{};
}

TEST(ScenePicture, TransparentSurfacesAreDrawnFarToNear) {
    // Drawn in the order added, the far plane would be hidden by the depth of the near one.
    const Pixel pixel = transparentPlanes(false, "transparent_order");
    // Linear: blue 0.5 over black, then red 0.5 over it → (0.5, 0, 0.25).
    EXPECT_TRUE(near(pixel, 188, 0, 137, 3)) << pixel.r << " " << pixel.g << " " << pixel.b;
}

TEST(ScenePicture, TransparentSurfacesAreDrawnFarToNearWhateverOpaqueOnesLieBetweenThemInTheGraph) {
    const Pixel pixel = transparentPlanes(true, "transparent_order_between_opaque");
    EXPECT_TRUE(near(pixel, 188, 0, 137, 3)) << pixel.r << " " << pixel.g << " " << pixel.b;
}

TEST(ScenePicture, HitTestAndPictureAgreeOnWhatIsUnderEachPixel) {
    LitScene lit;
    auto red = lit.add(SCNBox::make(1.0f, 1.2f, 1.0f), UIColor(1, 0, 0), SCNLightingModel::constant);
    red->setPosition({-0.9f, 0.2f, 0.0f});
    red->setEulerAngles({0.3f, 0.6f, 0.0f});
    auto green = lit.add(SCNBox::make(1.4f, 0.8f, 0.6f), UIColor(0, 1, 0), SCNLightingModel::constant);
    green->setPosition({0.7f, -0.3f, -1.0f});
    green->setEulerAngles({-0.2f, -0.4f, 0.1f});
    auto view = makeView(lit, 160, 120);
    view->setAntialiasingMode(SCNAntialiasingMode::none);
    view->setBackgroundColor(UIColor::blackColor());
    auto image = picture(*view, "hit_test_agreement");
    ASSERT_TRUE(image);

    int checked = 0;
    int disagreements = 0;
    for (int y = 2; y < 120; y += 4) {
        for (int x = 2; x < 160; x += 4) {
            const auto hits = view->hitTest(CGPoint(x + 0.5, y + 0.5));
            const Pixel pixel = pixelAt(*image, x, y);
            const char seen = pixel.r > 200 ? 'r' : pixel.g > 200 ? 'g' : pixel.r + pixel.g + pixel.b < 10 ? '-' : '?';
            const char hit = hits.empty()                 ? '-'
                             : hits.front().node == red   ? 'r'
                             : hits.front().node == green ? 'g'
                                                          : '?';
            ++checked;
            disagreements += seen == hit ? 0 : 1;
        }
    }
    // Only pixels on an edge may fall either way.
    EXPECT_LE(disagreements, checked / 100) << disagreements << " of " << checked;
}

}  // namespace
}  // namespace vantrel
