// Techniques from dictionaries: the glow highlight drawn, and malformed dictionaries refused.

#include <filesystem>
#include <fstream>
#include <string>
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

// The resource bundle copied under `folder`, with a twin "plain_<name>" of every shader the glow
// names that lacks the line saying how far the shader reaches.
std::filesystem::path bundleWithPlainGlowShaders(const std::filesystem::path& folder) {
    const auto bundle = ResourceBundle::locate();
    std::filesystem::remove_all(folder);
    std::filesystem::copy(bundle->directory(), folder, std::filesystem::copy_options::recursive);
    for (const auto& entry : std::filesystem::directory_iterator(folder / "shaders")) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("blur_") || name.starts_with("mask_") || name.starts_with("combine_")) {
            std::ifstream in(entry.path());
            std::ofstream out(folder / "shaders" / ("plain_" + name));
            for (std::string line; std::getline(in, line);) {
                if (!line.starts_with("//! bounds:")) out << line << "\n";
            }
        }
    }
    return folder;
}

// Where the glow's passes are bounded by their content, the picture is the one the passes drawn over
// the whole screen give: a small model, one across the picture's edge, one behind the camera, none.
TEST(Technique, PassesBoundedByTheirContentDrawWhatWholeScreenPassesDraw) {
    const auto original = ResourceBundle::locate()->directory();
    ResourceBundle::setSearchPath(bundleWithPlainGlowShaders(outputFolder() / "bundle-with-plain-glow"));
    auto bounded = SCNTechnique::techniqueWithDictionary(glowDictionary());
    auto plainDictionary = glowDictionary();
    for (auto& [name, pass] : plainDictionary["passes"].items()) {
        for (const char* stage : {"metalVertexShader", "metalFragmentShader"}) {
            pass[stage] = "plain_" + pass[stage].get<std::string>();
        }
    }
    auto plain = SCNTechnique::techniqueWithDictionary(plainDictionary);
    ASSERT_TRUE(bounded.hasValue() && plain.hasValue());

    struct Case {
        const char* name;
        SCNVector3 position;
        std::uint64_t category;
        int haloPixels;  // at least this many pixels of the glow colour
    };
    for (const Case& c : {Case{"small", {-1.6f, 0.8f, -3.0f}, 2, 20}, Case{"edge", {4.3f, 0.0f, 0.0f}, 2, 20},
                          Case{"behind", {0.0f, 0.0f, 4.5f}, 2, 0}, Case{"none", {0.0f, 0.0f, 0.0f}, 1, 0}}) {
        LitScene lit;
        auto box = lit.add(SCNBox::make(0.6f, 0.6f, 0.6f), UIColor(0.5, 0.5, 0.5));
        box->setPosition(c.position);
        box->setCategoryBitMask(c.category);
        lit.add(SCNBox::make(0.5f, 0.5f, 0.5f), UIColor(0.9, 0.2, 0.2))->setPosition({0.5f, -0.5f, 0.0f});
        std::shared_ptr<UIImage> images[2];
        for (int i = 0; i < 2; ++i) {
            auto view = makeView(lit, 240, 160);
            view->setBackgroundColor(UIColor(0.8, 0.8, 0.8));
            (i == 0 ? *bounded : *plain)->setValue(SCNVector3(0.0f, 0.0f, 1.0f), "glowColorSymbol");
            view->setTechnique(i == 0 ? *bounded : *plain);
            images[i] = picture(*view, std::string("glow_") + (i == 0 ? "bounded_" : "plain_") + c.name);
            ASSERT_TRUE(images[i]);
        }
        int differing = 0;
        int halo = 0;
        for (int y = 0; y < 160; ++y) {
            for (int x = 0; x < 240; ++x) {
                const Pixel a = pixelAt(*images[0], x, y);
                const Pixel b = pixelAt(*images[1], x, y);
                differing += near(a, b.r, b.g, b.b, 1) && std::abs(a.a - b.a) <= 1 ? 0 : 1;
                halo += a.b > a.r + 40 ? 1 : 0;
            }
        }
        EXPECT_EQ(differing, 0) << c.name;
        EXPECT_GE(halo, c.haloPixels) << c.name;
        if (c.haloPixels == 0) {
            EXPECT_EQ(halo, 0) << c.name;
        }
    }
    ResourceBundle::setSearchPath(original);
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
