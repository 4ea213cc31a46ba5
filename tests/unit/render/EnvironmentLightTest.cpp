// Image-based light: the prefiltered radiance, the irradiance and the split-sum table, and what a
// surface shows under them.

#include <cmath>
#include <numbers>

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include "RenderTestSupport.hpp"
#include "render/EnvironmentMaps.hpp"
#include "render/RenderContextImpl.hpp"
#include "vantrel/graph/SCNPlane.hpp"
#include "vantrel/render/RenderContext.hpp"

namespace vantrel {
namespace {

using namespace render_test;

constexpr float kPi = std::numbers::pi_v<float>;

// A float equirectangular image whose radiance is `radiance(direction)`.
template <typename Radiance>
std::shared_ptr<UIImage> environmentImage(int width, int height, Radiance radiance) {
    std::vector<float> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    for (int y = 0; y < height; ++y) {
        const float theta = (static_cast<float>(y) + 0.5f) / static_cast<float>(height) * kPi;
        for (int x = 0; x < width; ++x) {
            const float phi = ((static_cast<float>(x) + 0.5f) / static_cast<float>(width) - 0.5f) * 2.0f * kPi;
            const glm::vec3 d(std::sin(theta) * std::sin(phi), std::cos(theta), -std::sin(theta) * std::cos(phi));
            const glm::vec3 value = radiance(d);
            float* pixel = &pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                    static_cast<std::size_t>(x)) *
                                   4];
            pixel[0] = value.r;
            pixel[1] = value.g;
            pixel[2] = value.b;
            pixel[3] = 1.0f;
        }
    }
    return UIImage::fromFloatPixels(width, height, std::move(pixels));
}

glm::vec3 irradianceAt(const detail::PrefilteredEnvironment& e, const glm::vec3& n) {
    const auto& c = e.irradiance;
    return c[0] + c[1] * n.y + c[2] * n.z + c[3] * n.x + c[4] * (n.x * n.y) + c[5] * (n.y * n.z) +
           c[6] * (3.0f * n.z * n.z - 1.0f) + c[7] * (n.x * n.z) + c[8] * (n.x * n.x - n.y * n.y);
}

int srgbOf(float linear) {
    const float c = std::clamp(linear, 0.0f, 1.0f);
    return srgbByte(c <= 0.0031308f ? c * 12.92f : 1.055f * std::pow(c, 1.0f / 2.4f) - 0.055f);
}

// A plane of `material` through the origin facing `normal`, seen from `eye`, under `environment`.
std::shared_ptr<UIImage> drawPlane(const std::shared_ptr<UIImage>& environment, const std::shared_ptr<SCNMaterial>& material,
                                   const glm::vec3& eye, const glm::vec3& normal, const std::string& name,
                                   float exposure = 0.0f) {
    auto scene = SCNScene::make();
    scene->lightingEnvironment().setContents(environment);
    auto plane = SCNPlane::make(2.0f, 2.0f);
    plane->setFirstMaterial(material);
    auto node = SCNNode::make(plane);
    // The plane faces +z; turn it to face `normal`.
    const glm::vec3 axis = glm::cross(glm::vec3(0.0f, 0.0f, 1.0f), normal);
    if (glm::length(axis) > 1e-4f) {
        const float angle = std::acos(std::clamp(normal.z, -1.0f, 1.0f));
        node->setSimdTransform(glm::rotate(glm::mat4(1.0f), angle, glm::normalize(axis)));
    }
    scene->rootNode()->addChildNode(node);
    auto camera = SCNNode::make();
    camera->setCamera(SCNCamera::make());
    const glm::vec3 up = std::abs(eye.y) > 0.99f * glm::length(eye) ? glm::vec3(0.0f, 0.0f, -1.0f) : glm::vec3(0.0f, 1.0f, 0.0f);
    camera->setSimdTransform(glm::inverse(glm::lookAt(eye, glm::vec3(0.0f), up)));
    scene->rootNode()->addChildNode(camera);
    SCNView view(CGRect(0, 0, 64, 48));
    view.setScene(scene);
    view.setPointOfView(camera);
    view.setToneMapping(SCNToneMapping::none);
    view.setExposure(exposure);
    return picture(view, name);
}

std::shared_ptr<SCNMaterial> pbr(const UIColor& color, double metalness, double roughness) {
    auto material = SCNMaterial::make();
    material->setLightingModel(SCNLightingModel::physicallyBased);
    material->diffuse().setContents(color);
    material->metalness().setContents(metalness);
    material->roughness().setContents(roughness);
    return material;
}

TEST(EnvironmentLight, TheIrradianceIsTheCosineWeightedRadianceOverPi) {
    // Uniform radiance 1: a white Lambert surface gets 1 whichever way it faces.
    const auto uniform = detail::prefilterEnvironment(*environmentImage(64, 32, [](glm::vec3) { return glm::vec3(1.0f); }));
    for (const glm::vec3 n : {glm::vec3(0, 1, 0), glm::vec3(0, -1, 0), glm::vec3(1, 0, 0), glm::vec3(0.6f, 0.0f, -0.8f)}) {
        EXPECT_NEAR(irradianceAt(uniform, n).g, 1.0f, 0.005f);
    }
    // The reference sky, 0.65 + 0.35 y: over π, the irradiance facing up is 0.65 + 0.35 × 2/3, facing
    // down 0.65 − 0.35 × 2/3, sideways 0.65 (nine harmonics hold a linear sky exactly).
    const auto sky = detail::prefilterEnvironment(
        *environmentImage(256, 128, [](glm::vec3 d) { return glm::vec3(0.3f + 0.7f * (0.5f + 0.5f * d.y)); }));
    EXPECT_NEAR(irradianceAt(sky, {0, 1, 0}).r, 0.65f + 0.35f * 2.0f / 3.0f, 0.004f);
    EXPECT_NEAR(irradianceAt(sky, {0, -1, 0}).r, 0.65f - 0.35f * 2.0f / 3.0f, 0.004f);
    EXPECT_NEAR(irradianceAt(sky, {0, 0, 1}).r, 0.65f, 0.004f);
}

TEST(EnvironmentLight, PrefilteredLevelsBlurMoreWithRoughnessAndKeepTheLight) {
    // A small bright light on a dim room.
    const auto image = environmentImage(256, 128, [](glm::vec3 d) {
        return glm::vec3(glm::dot(d, glm::normalize(glm::vec3(0.3f, 0.5f, -0.8f))) > 0.995f ? 50.0f : 0.1f);
    });
    const auto prefiltered = detail::prefilterEnvironment(*image);
    ASSERT_EQ(prefiltered.levels.size(), static_cast<std::size_t>(detail::kRadianceLevels));
    float previousPeak = std::numeric_limits<float>::max();
    float firstMean = 0.0f;
    for (std::size_t level = 0; level < prefiltered.levels.size(); ++level) {
        SCOPED_TRACE(level);
        const int w = prefiltered.levelWidth(static_cast<int>(level));
        const int h = prefiltered.levelHeight(static_cast<int>(level));
        const auto& texels = prefiltered.levels[level];
        ASSERT_EQ(texels.size(), static_cast<std::size_t>(w * h * 4));
        float peak = 0.0f;
        float mean = 0.0f;
        float weights = 0.0f;
        for (int y = 0; y < h; ++y) {
            const float weight = std::sin((static_cast<float>(y) + 0.5f) / static_cast<float>(h) * kPi);
            for (int x = 0; x < w; ++x) {
                const float value = texels[(static_cast<std::size_t>(y) * w + x) * 4];
                EXPECT_TRUE(std::isfinite(value));
                peak = std::max(peak, value);
                mean += value * weight;
                weights += weight;
            }
        }
        mean /= weights;
        if (level == 0) {
            firstMean = mean;
        }
        EXPECT_LT(peak, previousPeak) << "each rougher level spreads the light further";
        // The light is spread, not lost or made: the mean over the sphere stays within a fifth.
        EXPECT_NEAR(mean, firstMean, 0.2f * firstMean);
        previousPeak = peak;
    }
    // The roughest level is still brightest towards the light.
    const int last = static_cast<int>(prefiltered.levels.size()) - 1;
    const auto& roughest = prefiltered.levels.back();
    const int w = prefiltered.levelWidth(last);
    const int h = prefiltered.levelHeight(last);
    const auto towards = [&](glm::vec3 d) {
        const float u = std::atan2(d.x, -d.z) / (2.0f * kPi) + 0.5f;
        const float v = std::acos(d.y) / kPi;
        const int x = std::min(w - 1, static_cast<int>(u * static_cast<float>(w)));
        const int y = std::min(h - 1, static_cast<int>(v * static_cast<float>(h)));
        return roughest[(static_cast<std::size_t>(y) * w + x) * 4];
    };
    EXPECT_GT(towards(glm::normalize(glm::vec3(0.3f, 0.5f, -0.8f))), 2.0f * towards(glm::vec3(0.0f, -0.5f, 0.87f)));
}

TEST(EnvironmentLight, TheSplitSumTableMatchesKnownValues) {
    const auto table = detail::environmentBrdfTable(detail::kBrdfTableSize);
    const int n = detail::kBrdfTableSize;
    const auto at = [&](int column, int row) { return glm::vec2(table[(row * n + column) * 2], table[(row * n + column) * 2 + 1]); };
    // Smooth and seen head-on: all light reflected, F0 passes unchanged.
    EXPECT_NEAR(at(n - 1, 0).x + at(n - 1, 0).y, 1.0f, 0.02f);
    EXPECT_NEAR(at(n - 1, 0).y, 0.0f, 0.01f);
    // Rough: energy lost to single scattering (the scale falls well below 1).
    EXPECT_LT(at(n - 1, n - 1).x + at(n - 1, n - 1).y, 0.85f);
    // At grazing angles the bias (Fresnel) grows.
    EXPECT_GT(at(0, n / 4).y, at(n - 1, n / 4).y);
    for (float value : table) {
        EXPECT_TRUE(value >= 0.0f && value <= 1.0f) << value;
    }
}

TEST(EnvironmentLight, AWhiteRoughDielectricInAUniformEnvironmentComesOutWhite) {
    const auto environment = environmentImage(64, 32, [](glm::vec3) { return glm::vec3(1.0f); });
    // One stop down, so that the few per cent of specular light above 1 do not clip.
    const auto image = drawPlane(environment, pbr(UIColor::whiteColor(), 0.0, 1.0), {0.0f, 0.0f, 3.0f}, {0.0f, 0.0f, 1.0f},
                                 "environment_furnace", -1.0f);
    ASSERT_TRUE(image);
    const auto table = detail::environmentBrdfTable(detail::kBrdfTableSize);
    const std::size_t corner = (static_cast<std::size_t>(detail::kBrdfTableSize) * detail::kBrdfTableSize - 1) * 2;
    const float expected = 0.5f * (1.0f + 0.04f * table[corner] + table[corner + 1]);
    const Pixel pixel = pixelAt(*image, 32, 24);
    EXPECT_TRUE(near(pixel, srgbOf(expected), srgbOf(expected), srgbOf(expected), 3))
        << pixel.r << " " << pixel.g << " " << pixel.b << " vs " << srgbOf(expected);
}

TEST(EnvironmentLight, AMirrorShowsTheEnvironmentAndARoughMetalItsBlur) {
    // Red sky, blue ground.
    const auto environment = environmentImage(128, 64, [](glm::vec3 d) {
        return d.y > 0.0f ? glm::vec3(0.8f, 0.1f, 0.1f) : glm::vec3(0.1f, 0.1f, 0.8f);
    });
    // Looked at from 45° above, a mirror facing up shows the sky at 45°; from below, facing down, the ground.
    const auto sky = drawPlane(environment, pbr(UIColor::whiteColor(), 1.0, 0.0), {0.0f, 2.0f, 2.0f}, {0.0f, 1.0f, 0.0f},
                               "environment_mirror_up");
    const auto ground = drawPlane(environment, pbr(UIColor::whiteColor(), 1.0, 0.0), {0.0f, -2.0f, 2.0f},
                                  {0.0f, -1.0f, 0.0f}, "environment_mirror_down");
    const auto rough = drawPlane(environment, pbr(UIColor::whiteColor(), 1.0, 1.0), {0.0f, 2.0f, 2.0f}, {0.0f, 1.0f, 0.0f},
                                 "environment_rough_up");
    ASSERT_TRUE(sky && ground && rough);
    const Pixel up = pixelAt(*sky, 32, 24);
    const Pixel down = pixelAt(*ground, 32, 24);
    const Pixel blurred = pixelAt(*rough, 32, 24);
    EXPECT_TRUE(near(up, srgbOf(0.8f), srgbOf(0.1f), srgbOf(0.1f), 8)) << up.r << " " << up.g << " " << up.b;
    EXPECT_TRUE(near(down, srgbOf(0.1f), srgbOf(0.1f), srgbOf(0.8f), 8)) << down.r << " " << down.g << " " << down.b;
    // The rough lobe reaches below the horizon too: still reddish, but less so.
    EXPECT_GT(blurred.r, blurred.b);
    EXPECT_LT(blurred.r - blurred.b, up.r - up.b - 20) << blurred.r << " " << blurred.b;
}

TEST(EnvironmentLight, AnEnvironmentIsPreparedOncePerImage) {
    auto environment = environmentImage(64, 32, [](glm::vec3 d) { return glm::vec3(0.5f + 0.5f * d.y); });
    auto scene = SCNScene::make();
    scene->lightingEnvironment().setContents(environment);
    auto plane = SCNPlane::make(1.0f, 1.0f);
    plane->setFirstMaterial(pbr(UIColor::whiteColor(), 0.0, 0.5));
    scene->rootNode()->addChildNode(SCNNode::make(plane));
    auto camera = SCNNode::make();
    camera->setCamera(SCNCamera::make());
    camera->setPosition({0.0f, 0.0f, 2.0f});
    scene->rootNode()->addChildNode(camera);
    SCNView view(CGRect(0, 0, 32, 24));
    view.setScene(scene);
    view.setPointOfView(camera);
    ASSERT_FALSE(view.draw().has_value());
    auto context = view.renderContext();
    ASSERT_TRUE(context.hasValue());
    const std::size_t uploads = (**context).resourceUsage().textureUploads;
    scene->lightingEnvironment().setIntensity(2.0);  // a new frame, the same image
    ASSERT_FALSE(view.draw().has_value());
    EXPECT_EQ((**context).resourceUsage().textureUploads, uploads);
    EXPECT_EQ((**context).impl().environments.size(), 1u);

    // Another image is prepared anew; the first is dropped once it is gone.
    auto other = environmentImage(64, 32, [](glm::vec3) { return glm::vec3(0.7f); });
    scene->lightingEnvironment().setContents(other);
    ASSERT_FALSE(view.draw().has_value());
    EXPECT_EQ((**context).resourceUsage().textureUploads, uploads + 1);
    environment.reset();
    (**context).purge();
    EXPECT_EQ((**context).impl().environments.size(), 1u);
}

}  // namespace
}  // namespace vantrel
