// Every shared model drawn by the library and by a reference renderer (three.js in headless
// Chromium, tests/reference) under one light and camera, compared by the mean colour and the area
// of the model's pixels.
//
// The reference set-up, which tests/reference/page.html draws the same way (README.md there):
// - 640×480, 4× multisampling, sRGB output.
// - Camera: perspective, 35° vertical field of view, aimed at the centre of the model's world box
//   from the direction normalize(0.6, 0.45, 1.0), at 1.15 × radius / sin(17.5°) (radius: half the
//   box's diagonal); near = distance / 100, far = distance × 100.
// - Lighting environment: a 256×128 equirectangular float image of linear grey whose radiance
//   depends on height only, L(y) = 0.3 + 0.7 (0.5 + 0.5 y), intensity 1.
// - One sun: directional, shining from normalize(1, 2, 1.5), white, intensity 2000/π (three.js 2).
// - The model's own lights and cameras removed.
// - Set-up A: no tone mapping, exposure 0 stops. Set-up B: neutral tone mapping, exposure 0 stops.
// - Mask: each set-up is drawn over grey (sRGB 128) and over black; the model's pixels are those
//   where the two pictures agree within 2 levels in every channel. The mean sRGB of those pixels
//   in the grey picture and their number are compared.
//
// The reference pictures and their figures come from
//   node tests/reference/render.mjs <folder>
// which ctest runs first (the fixture in tests/CMakeLists.txt) and names in VANTREL_REFERENCE_DIR.
// Run directly without that variable, the test says so and skips.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "RenderTestSupport.hpp"
#include "vantrel/graph/SCNSceneSource.hpp"

namespace vantrel {
namespace {

using namespace render_test;
using nlohmann::json;

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr double kFieldOfView = 35.0;
constexpr int kGrey = 128;
constexpr int kMaskTolerance = 2;
constexpr double kPi = 3.14159265358979323846;

// Held for every model: mean colour within 12 levels per channel, area within 5 %.
constexpr double kColourGoal = 12.0;
constexpr double kAreaGoal = 0.05;

struct LookSetup {
    const char* name;
    SCNToneMapping toneMapping;
};
constexpr LookSetup kSetups[] = {{"A", SCNToneMapping::none}, {"B", SCNToneMapping::neutral}};

struct Masked {
    std::array<double, 3> mean{};
    long covered = 0;
};

// The pixels that agree between the picture over grey and the one over black: the model's.
Masked maskedMean(const UIImage& grey, const UIImage& black) {
    const auto& a = grey.rgba();
    const auto& b = black.rgba();
    std::array<double, 3> sum{};
    Masked masked;
    for (std::size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4) {
        bool agree = true;
        for (std::size_t c = 0; c < 3; ++c) {
            agree = agree && std::abs(int(a[i + c]) - int(b[i + c])) <= kMaskTolerance;
        }
        if (agree) {
            for (std::size_t c = 0; c < 3; ++c) {
                sum[c] += a[i + c];
            }
            ++masked.covered;
        }
    }
    for (std::size_t c = 0; c < 3; ++c) {
        masked.mean[c] = masked.covered > 0 ? sum[c] / static_cast<double>(masked.covered) : 0.0;
    }
    return masked;
}

// The sky of the set-up: rows from the top, so row 0 looks straight up.
std::shared_ptr<UIImage> skyImage() {
    constexpr int kSkyWidth = 256;
    constexpr int kSkyHeight = 128;
    std::vector<float> pixels(static_cast<std::size_t>(kSkyWidth * kSkyHeight * 4));
    for (int row = 0; row < kSkyHeight; ++row) {
        const double y = std::sin((0.5 - (row + 0.5) / kSkyHeight) * kPi);
        const auto radiance = static_cast<float>(0.3 + 0.7 * (0.5 + 0.5 * y));
        for (int x = 0; x < kSkyWidth; ++x) {
            const std::size_t at = static_cast<std::size_t>(row * kSkyWidth + x) * 4;
            pixels[at] = pixels[at + 1] = pixels[at + 2] = radiance;
            pixels[at + 3] = 1.0f;
        }
    }
    return UIImage::fromFloatPixels(kSkyWidth, kSkyHeight, std::move(pixels));
}

// Reads the model and sets the reference's light and camera around it; returns the camera node.
std::shared_ptr<SCNNode> stageModel(SCNScene& scene, const std::shared_ptr<UIImage>& sky) {
    for (const auto& node : scene.rootNode()->childNodesPassingTest([](const SCNNode&, bool&) { return true; })) {
        node->setLight(nullptr);
        node->setCamera(nullptr);
    }
    const auto box = scene.rootNode()->worldBoundingBox();
    const glm::vec3 low = box ? box->min.simd() : glm::vec3(-1.0f);
    const glm::vec3 high = box ? box->max.simd() : glm::vec3(1.0f);
    const glm::vec3 centre = 0.5f * (low + high);
    const double radius = 0.5 * glm::length(high - low);
    const double distance = 1.15 * radius / std::sin(kFieldOfView / 2.0 * kPi / 180.0);

    auto camera = SCNNode::make();
    camera->setCamera(SCNCamera::make());
    camera->camera()->setFieldOfView(kFieldOfView);
    camera->camera()->setAutomaticallyAdjustsZRange(false);
    camera->camera()->setZNear(distance / 100.0);
    camera->camera()->setZFar(distance * 100.0);
    const glm::vec3 eye = centre + glm::normalize(glm::vec3(0.6f, 0.45f, 1.0f)) * static_cast<float>(distance);
    camera->setSimdTransform(glm::inverse(glm::lookAt(eye, centre, glm::vec3(0.0f, 1.0f, 0.0f))));
    scene.rootNode()->addChildNode(camera);

    auto sun = SCNNode::make();
    auto light = SCNLight::make(SCNLightType::directional);
    light->setIntensity(2000.0 / kPi);
    light->setColor(UIColor::whiteColor());
    sun->setLight(light);
    // The light shines down its −Z: from the sun's direction towards the origin.
    const glm::vec3 towardsSun = glm::normalize(glm::vec3(1.0f, 2.0f, 1.5f));
    sun->setSimdTransform(glm::inverse(glm::lookAt(towardsSun, glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f))));
    scene.rootNode()->addChildNode(sun);

    scene.lightingEnvironment().setContents(sky);
    scene.lightingEnvironment().setIntensity(1.0);
    return camera;
}

// The reference's picture on the left, ours on the right, to look at side by side.
void writeSideBySide(const std::filesystem::path& referenceFile, const UIImage& ours,
                     const std::filesystem::path& out) {
    const auto theirs = UIImage::fromFile(referenceFile);
    if (!theirs || theirs->width() != ours.width() || theirs->height() != ours.height()) {
        ADD_FAILURE() << "cannot read " << referenceFile << " at " << ours.width() << "x" << ours.height();
        return;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(ours.width()) * 4;
    std::vector<std::uint8_t> both(rowBytes * 2 * static_cast<std::size_t>(ours.height()));
    for (std::size_t y = 0; y < static_cast<std::size_t>(ours.height()); ++y) {
        std::copy_n(theirs->rgba().begin() + static_cast<std::ptrdiff_t>(y * rowBytes), rowBytes,
                    both.begin() + static_cast<std::ptrdiff_t>(2 * y * rowBytes));
        std::copy_n(ours.rgba().begin() + static_cast<std::ptrdiff_t>(y * rowBytes), rowBytes,
                    both.begin() + static_cast<std::ptrdiff_t>((2 * y + 1) * rowBytes));
    }
    EXPECT_FALSE(writePNG(UIImage(ours.width() * 2, ours.height(), std::move(both)), out).has_value());
}

json readReference(const std::filesystem::path& folder) {
    std::ifstream in(folder / "reference.json");
    if (!in) {
        return {};
    }
    return json::parse(in, nullptr, false);
}

TEST(ReferencePicture, EveryModelLooksAsTheReferenceRendererDrawsItWithAndWithoutToneMapping) {
    const char* variable = std::getenv("VANTREL_REFERENCE_DIR");
    if (variable == nullptr || *variable == '\0') {
        GTEST_SKIP() << "VANTREL_REFERENCE_DIR is not set: run `node tests/reference/render.mjs <folder>` and set it "
                        "to that folder (ctest does both)";
    }
    const std::filesystem::path folder(variable);
    const json reference = readReference(folder);
    ASSERT_TRUE(reference.is_object() && reference.contains("pictures"))
        << "no readable reference.json in " << folder << ": run node tests/reference/render.mjs " << folder;
    ASSERT_EQ(reference.value("width", 0), kWidth);
    ASSERT_EQ(reference.value("height", 0), kHeight);

    // The reference's figures by model and set-up.
    std::map<std::pair<std::string, std::string>, const json*> expected;
    std::vector<std::pair<std::string, std::string>> models;  // name, file below the models folder
    for (const json& picture : reference["pictures"]) {
        const std::string model = picture.at("model");
        expected[{model, picture.at("setup").get<std::string>()}] = &picture;
        if (models.empty() || models.back().first != model) {
            models.emplace_back(model, picture.at("file").get<std::string>());
        }
    }
    ASSERT_EQ(models.size(), 9u) << "the reference should hold every shared model";

    SCNView view(CGRect(0, 0, kWidth, kHeight));
    view.setExposure(0.0f);
    const auto sky = skyImage();
    const UIColor grey(kGrey / 255.0, kGrey / 255.0, kGrey / 255.0);

    // The figures, printed and written beside the pictures as comparison.txt.
    std::string table;
    const auto row = [&table](const char* format, auto... values) {
        char line[256];
        std::snprintf(line, sizeof line, format, values...);
        table += line;
        std::fputs(line, stdout);
    };
    row("%-19s %-2s %-19s %-19s %6s %8s %8s %6s  %s\n", "model", "", "reference r, g, b", "ours r, g, b", "diff",
        "area ref", "ours", "area", "");
    for (const auto& [model, file] : models) {
        SCOPED_TRACE(model);
        OptionalError error;
        auto scene =
            SCNSceneSource::make(vantrel::test::modelsDirectory() / file)->sceneWithOptions(std::nullopt, {}, &error);
        ASSERT_TRUE(scene) << (error ? error->description() : "");
        auto camera = stageModel(*scene, sky);
        view.setScene(scene);
        view.setPointOfView(camera);

        for (const LookSetup& setup : kSetups) {
            SCOPED_TRACE(setup.name);
            const auto found = expected.find({model, setup.name});
            ASSERT_NE(found, expected.end()) << "no reference for set-up " << setup.name;
            const json& theirs = *found->second;
            view.setToneMapping(setup.toneMapping);
            std::shared_ptr<UIImage> pictures[2];
            for (int i = 0; i < 2; ++i) {
                view.setBackgroundColor(i == 0 ? grey : UIColor::blackColor());
                auto image = view.snapshot();
                ASSERT_TRUE(image.hasValue()) << image.error().description();
                pictures[i] = *image;
                const std::string name = model + "_" + setup.name + (i == 0 ? "_grey" : "_black") + "_vantrel.png";
                EXPECT_FALSE(writePNG(*pictures[i], folder / name).has_value());
            }
            // The corner shows the background as given: the mask relies on it.
            EXPECT_TRUE(near(pixelAt(*pictures[0], 0, 0), kGrey, kGrey, kGrey, 1));
            writeSideBySide(folder / theirs.at("pictures").at("grey").get<std::string>(), *pictures[0],
                            folder / (model + "_" + setup.name + "_side_by_side.png"));

            const Masked ours = maskedMean(*pictures[0], *pictures[1]);
            const auto theirMean = theirs.at("mean").get<std::array<double, 3>>();
            const long theirArea = theirs.at("covered").get<long>();
            double colour = 0.0;
            for (std::size_t c = 0; c < 3; ++c) {
                colour = std::max(colour, std::abs(ours.mean[c] - theirMean[c]));
            }
            const double area = theirArea > 0 ? std::abs(double(ours.covered - theirArea)) / double(theirArea) : 1.0;
            const bool meetsGoal = colour <= kColourGoal && area <= kAreaGoal;
            const char* status = meetsGoal ? "ok" : "MISS";
            row("%-19s %-2s %5.1f, %5.1f, %5.1f  %5.1f, %5.1f, %5.1f  %6.1f %8ld %8ld %5.1f%%  %s\n", model.c_str(),
                setup.name, theirMean[0], theirMean[1], theirMean[2], ours.mean[0], ours.mean[1], ours.mean[2], colour,
                theirArea, ours.covered, 100.0 * area, status);
            EXPECT_LE(colour, kColourGoal)
                << "mean sRGB " << ours.mean[0] << ", " << ours.mean[1] << ", " << ours.mean[2]
                << " against the reference's " << theirMean[0] << ", " << theirMean[1] << ", " << theirMean[2];
            EXPECT_LE(area, kAreaGoal) << ours.covered << " pixels against the reference's " << theirArea;
        }
    }
    std::fflush(stdout);
    std::ofstream(folder / "comparison.txt") << table;
}

}  // namespace
}  // namespace vantrel
