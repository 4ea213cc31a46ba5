// Every shared model as the canvas shows it under each of its environments: light and dark
// materials keep their detail (few clipped, few black pixels). Writes a contact sheet to look at.

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>

#include <gtest/gtest.h>

#include "services/ModelLoaderSteps.hpp"
#include "support/TestPaths.hpp"
#include "unit/adapters/canvas/CanvasTestSupport.hpp"
#include "vantrel/graph/SCNSceneSource.hpp"
#include "vantrel/graph/UIImage.hpp"

namespace vantrel {
namespace {

using canvas_test::Canvas;
using canvas_test::drainMain;

constexpr const char* kModels[] = {"Box",         "BoxVertexColors",    "Cameras",      "GlamVelvetSofa", "GlassVaseFlowers",
                                   "LightsPunctualLamp", "SheenChair", "SimpleMeshes", "ToyCar"};

std::filesystem::path modelFile(const std::string& name) {
    const auto folder = test::modelsDirectory() / name;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const auto extension = entry.path().extension();
        if (entry.is_regular_file() && (extension == ".glb" || extension == ".gltf")) {
            return entry.path();
        }
    }
    return {};
}

// The model as the loader gives it to the canvas: its own cameras and lights removed.
std::shared_ptr<ModelNode> loadModel(const std::string& name) {
    const auto file = modelFile(name);
    if (file.empty()) {
        return nullptr;
    }
    OptionalError error;
    auto scene = SCNSceneSource::make(file)->sceneWithOptions(std::nullopt, {}, &error);
    if (!scene) {
        return nullptr;
    }
    detail::cleanScene(*scene);
    auto model = ModelNode::make(name, name);
    const auto children = scene->rootNode()->childNodes();
    for (const auto& child : children) {
        child->removeFromParentNode();
    }
    model->add(children);
    return model;
}

struct Tally {
    int covered = 0;
    int clipped = 0;
    int black = 0;
};

// The model's pixels are those where the pictures over two backgrounds agree.
Tally tally(const UIImage& over, const UIImage& overBlack) {
    Tally t;
    const auto& a = over.rgba();
    const auto& b = overBlack.rgba();
    for (std::size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4) {
        bool agree = true;
        for (std::size_t c = 0; c < 3; ++c) {
            agree = agree && std::abs(int{a[i + c]} - int{b[i + c]}) <= 2;
        }
        if (!agree) {
            continue;
        }
        ++t.covered;
        t.clipped += a[i] == 255 || a[i + 1] == 255 || a[i + 2] == 255 ? 1 : 0;
        t.black += a[i] <= 5 && a[i + 1] <= 5 && a[i + 2] <= 5 ? 1 : 0;
    }
    return t;
}

// Copies `picture`, halved, into the sheet at tile (column, row).
void placeTile(std::vector<std::uint8_t>& sheet, int sheetWidth, const UIImage& picture, int column, int row) {
    const int w = picture.width() / 2;
    const int h = picture.height() / 2;
    const auto& rgba = picture.rgba();
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < 4; ++c) {
                int sum = 0;
                for (int j = 0; j < 2; ++j) {
                    for (int i = 0; i < 2; ++i) {
                        sum += rgba[((static_cast<std::size_t>(y * 2 + j) * picture.width()) + x * 2 + i) * 4 + c];
                    }
                }
                sheet[((static_cast<std::size_t>(row * h + y) * sheetWidth) + column * w + x) * 4 + c] =
                    static_cast<std::uint8_t>(sum / 4);
            }
        }
    }
}

std::filesystem::path looksFolder() {
    const char* chosen = std::getenv("VANTREL_LOOKS_DIR");
    std::filesystem::path folder = chosen != nullptr && *chosen != '\0'
                                       ? std::filesystem::path(chosen)
                                       : std::filesystem::temp_directory_path() / "vantrel-looks";
    std::filesystem::create_directories(folder);
    return folder;
}

TEST(CanvasLooks, EverySharedModelKeepsItsLightAndDarkDetailUnderEachEnvironment) {
    std::vector<std::shared_ptr<ModelNode>> models;
    for (const char* name : kModels) {
        models.push_back(loadModel(name));
        ASSERT_TRUE(models.back()) << name;
    }
    Canvas canvas;
    const int width = static_cast<int>(canvas.view->bounds().size.width);
    const int height = static_cast<int>(canvas.view->bounds().size.height);
    const int columns = static_cast<int>(std::size(kModels));
    const int sheetWidth = columns * (width / 2);
    std::vector<std::uint8_t> sheet(static_cast<std::size_t>(sheetWidth) * (height / 2) * allSceneEnvironments.size() * 4, 0);
    std::ostringstream figures;
    int row = 0;
    for (const auto environment : allSceneEnvironments) {
        canvas.adapter->setSceneEnvironment(environment);
        for (std::size_t m = 0; m < models.size(); ++m) {
            SCOPED_TRACE(std::string(caseName(environment)) + " " + kModels[m]);
            canvas.adapter->addModel(models[m], std::nullopt, std::nullopt, false, std::nullopt, false);
            canvas.adapter->focusToCenter(false, true, true);
            drainMain();
            const UIColor background = canvas.view->backgroundColor();
            auto shown = canvas.view->snapshot();
            canvas.view->setBackgroundColor(UIColor::blackColor());
            auto overBlack = canvas.view->snapshot();
            canvas.view->setBackgroundColor(background);
            canvas.adapter->removeModels();
            ASSERT_TRUE(shown.hasValue() && overBlack.hasValue());
            placeTile(sheet, sheetWidth, **shown, static_cast<int>(m), row);
            const Tally t = tally(**shown, **overBlack);
            ASSERT_GT(t.covered, width * height / 100) << "the model fills a fair part of the picture";
            const double clipped = 100.0 * t.clipped / t.covered;
            const double black = 100.0 * t.black / t.covered;
            figures << caseName(environment) << " " << kModels[m] << ": " << t.covered << " px, clipped " << clipped
                    << " %, black " << black << " %\n";
            EXPECT_LT(clipped, 2.0);
            EXPECT_LT(black, 2.0);
        }
        ++row;
    }
    const auto path = looksFolder() / "canvas-looks.png";
    EXPECT_FALSE(writePNG(UIImage(sheetWidth, (height / 2) * row, std::move(sheet)), path).has_value());
    std::cout << "Contact sheet (rows basicLight, basicDark, studio; columns Box, BoxVertexColors, Cameras, "
                 "GlamVelvetSofa, GlassVaseFlowers, LightsPunctualLamp, SheenChair, SimpleMeshes, ToyCar): "
              << path.string() << "\n"
              << figures.str();
}

}  // namespace
}  // namespace vantrel
