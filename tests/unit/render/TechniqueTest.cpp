// Techniques from dictionaries: the glow highlight drawn, and malformed dictionaries refused.

#include <fstream>
#include <utility>

#include <gtest/gtest.h>

#include "RenderTestSupport.hpp"
#include "vantrel/core/ResourceBundle.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/render/RenderError.hpp"
#include "vantrel/render/SCNTechnique.hpp"

namespace vantrel {
namespace {

using namespace render_test;

// The glow highlight as the canvas and AR views install it, kept in the resource bundle.
nlohmann::json glowDictionary() {
    const auto bundle = ResourceBundle::locate();
    EXPECT_TRUE(bundle.has_value());
    std::ifstream in(bundle->path("shaders/glow.json"));
    return nlohmann::json::parse(in, nullptr, false);
}

TEST(Technique, GlowDrawsAHaloOfTheGlowColourAroundModelsInTheMaskCategoryOnly) {
    auto technique = SCNTechnique::techniqueWithDictionary(glowDictionary());
    ASSERT_TRUE(technique.hasValue()) << technique.error().description();
    (*technique)->setValue(SCNVector3(0.0f, 0.0f, 1.0f), "glowColorSymbol");

    // Two grey boxes side by side; only the left one is in category 2.
    LitScene lit;
    auto glowing = lit.add(SCNBox::make(1.0f, 1.0f, 1.0f), UIColor(0.5, 0.5, 0.5));
    glowing->setPosition({-1.2f, 0.0f, 0.0f});
    glowing->setCategoryBitMask(2);
    auto plain = lit.add(SCNBox::make(1.0f, 1.0f, 1.0f), UIColor(0.5, 0.5, 0.5));
    plain->setPosition({1.2f, 0.0f, 0.0f});
    auto view = makeView(lit, 240, 160);
    view->setBackgroundColor(UIColor(0.8, 0.8, 0.8));
    view->setTechnique(*technique);
    auto image = picture(*view, "glow");
    ASSERT_TRUE(image);

    // Just above each box's top edge: blue over the glowing one, the plain background over the other.
    const SCNVector3 aboveGlowing = view->projectPoint({-1.2f, 0.5f, 0.5f});
    const SCNVector3 abovePlain = view->projectPoint({1.2f, 0.5f, 0.5f});
    const Pixel halo = pixelAt(*image, static_cast<int>(aboveGlowing.x), static_cast<int>(aboveGlowing.y) - 2);
    const Pixel clear = pixelAt(*image, static_cast<int>(abovePlain.x), static_cast<int>(abovePlain.y) - 2);
    EXPECT_GT(halo.b, halo.r + 20) << halo.r << " " << halo.g << " " << halo.b;
    EXPECT_TRUE(near(clear, srgbByte(0.8), srgbByte(0.8), srgbByte(0.8), 1))
        << clear.r << " " << clear.g << " " << clear.b;
    // Far from both boxes the glow has faded out.
    EXPECT_TRUE(near(pixelAt(*image, 120, 5), srgbByte(0.8), srgbByte(0.8), srgbByte(0.8), 1));

    // It is a halo, not a tint: inside the silhouette the glowing box keeps the colour it has without
    // the technique.
    view->setTechnique(nullptr);
    const auto untinted = view->snapshot();
    ASSERT_TRUE(untinted.hasValue());
    const SCNVector3 centre = view->projectPoint({-1.2f, 0.0f, 0.5f});
    for (const auto& [dx, dy] : {std::pair{0, 0}, std::pair{0, -8}, std::pair{-8, 0}}) {
        const int x = static_cast<int>(centre.x) + dx;
        const int y = static_cast<int>(centre.y) + dy;
        const Pixel glowingFace = pixelAt(*image, x, y);
        const Pixel ownFace = pixelAt(**untinted, x, y);
        EXPECT_TRUE(near(glowingFace, ownFace.r, ownFace.g, ownFace.b, 2))
            << x << "," << y << ": " << glowingFace.r << " " << glowingFace.g << " " << glowingFace.b << " vs "
            << ownFace.r << " " << ownFace.g << " " << ownFace.b;
    }
}

TEST(Technique, MalformedDictionariesAreRefusedWithATypedError) {
    auto withoutSequence = glowDictionary();
    withoutSequence.erase("sequence");
    auto unknownPass = glowDictionary();
    unknownPass["sequence"].push_back("pass_missing");
    auto unknownDraw = glowDictionary();
    unknownDraw["passes"]["pass_blur_h"]["draw"] = "DRAW_NODE";
    auto badSize = glowDictionary();
    badSize["targets"]["MASK"]["size"] = "512 by 512";
    auto hugeSize = glowDictionary();
    hugeSize["targets"]["MASK"]["size"] = "100000x100000";
    for (const auto& dictionary : {nlohmann::json::array(), nlohmann::json::object(), withoutSequence, unknownPass,
                                   unknownDraw, badSize, hugeSize}) {
        const auto technique = SCNTechnique::techniqueWithDictionary(dictionary);
        ASSERT_FALSE(technique.hasValue()) << dictionary.dump();
        EXPECT_EQ(technique.error().domain, kRenderErrorDomain);
        EXPECT_EQ(technique.error().code, static_cast<long>(RenderErrorCode::invalidTechnique));
    }
}

TEST(Technique, APassNamingAShaderThatIsNotAResourceFailsTheFrameWithAnError) {
    auto dictionary = glowDictionary();
    dictionary["passes"]["pass_combine"]["metalFragmentShader"] = "../../etc/passwd";
    auto technique = SCNTechnique::techniqueWithDictionary(dictionary);
    ASSERT_TRUE(technique.hasValue());
    LitScene lit;
    auto view = makeView(lit, 32, 32);
    view->setTechnique(*technique);
    const auto image = view->snapshot();
    ASSERT_FALSE(image.hasValue());
    EXPECT_EQ(image.error().code, static_cast<long>(RenderErrorCode::shaderFailed));
}

}  // namespace
}  // namespace vantrel
