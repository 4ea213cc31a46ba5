// One round of the library's side of bench/side-by-side.sh: the velvet sofa at 1280 × 720 in an
// SCNView at full quality (adaptive quality off, 4× multisampling, neutral tone mapping) on the
// offscreen (EGL) path, the camera turned about the sofa by a fixed step each frame, framed as
// bench/modelviewer/page.html frames it (vertical field of view 30°, 75° from straight up, at
// 1.15 × the box's half diagonal / sin 15° from the box's centre). Lit by a studio-like lighting
// environment made here and one sun that casts shadows onto a matte floor (SCNFloor) under the sofa;
// the sofa's materials as the file gives them (sheen included), its own light and camera removed.
//
// Prints one JSON line: the driver the context got, what a frame draws, and two times (ms) for each
// of --frames frames after --warm-up frames: `work`, one SCNView::draw (the frame and a glFinish),
// and `interval`, from one frame's start to the next's; and `cpuPerFrame`, the CPU time (ms) the
// process used a frame (llvmpipe's threads included) while the frames were measured.
//
//   vantrel_sofa_orbit [--frames N] [--warm-up N] [--step degrees] [--model <file.glb>]
//                      [--picture <file.png>] [--floor endless|footprint]
//
// --floor footprint makes the floor a rectangle 1.5 times the sofa's footprint, about the size of the
// web viewer's shadow plane, instead of the canvas's endless floor that fills the background.
//
// --picture writes the view turned 30° once the frames are timed (orbit.mjs --picture: the same).
//
// VANTREL_RENDER_PROFILE=1 in the environment makes the renderer print its passes' times.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <glm/gtc/matrix_transform.hpp>
#include <nlohmann/json.hpp>

#include "vantrel/graph/SCNCamera.hpp"
#include "vantrel/graph/SCNFloor.hpp"
#include "vantrel/graph/SCNLight.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNScene.hpp"
#include "vantrel/graph/SCNSceneSource.hpp"
#include "vantrel/render/RenderContext.hpp"
#include "vantrel/render/RenderSurface.hpp"
#include "vantrel/render/SCNView.hpp"

namespace {

using namespace vantrel;

constexpr double kPi = 3.14159265358979323846;
constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr double kFieldOfView = 30.0;  // degrees, vertical
constexpr double kPolar = 75.0;        // degrees from straight up

struct Options {
    int frames = 90;
    int warmUp = 15;
    double step = 0.0;  // degrees a frame; 0: one turn over the measured frames
    std::filesystem::path model =
        std::filesystem::path(VANTREL_BENCH_MODELS_DIR) / "GlamVelvetSofa" / "GlamVelvetSofa.glb";
    std::filesystem::path picture;
    bool endlessFloor = true;
};

[[noreturn]] void usage(const std::string& message) {
    std::fprintf(stderr, "vantrel_sofa_orbit: %s\n", message.c_str());
    std::fprintf(stderr,
                 "usage: vantrel_sofa_orbit [--frames N] [--warm-up N] [--step degrees] [--model <file.glb>] "
                 "[--picture <file.png>] [--floor endless|footprint]\n");
    std::exit(2);
}

Options parseArguments(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (i + 1 >= argc) {
            usage(std::string(argument) + " needs a value");
        }
        const char* value = argv[++i];
        if (argument == "--frames") {
            options.frames = std::atoi(value);
        } else if (argument == "--warm-up") {
            options.warmUp = std::atoi(value);
        } else if (argument == "--step") {
            options.step = std::atof(value);
        } else if (argument == "--model") {
            options.model = value;
        } else if (argument == "--picture") {
            options.picture = value;
        } else if (argument == "--floor") {
            if (std::string_view(value) != "endless" && std::string_view(value) != "footprint") {
                usage("--floor is endless or footprint");
            }
            options.endlessFloor = std::string_view(value) == "endless";
        } else {
            usage("unknown argument " + std::string(argument));
        }
    }
    if (options.frames < 1 || options.warmUp < 1) {
        usage("--frames and --warm-up need positive numbers");
    }
    if (options.step == 0.0) {
        options.step = 360.0 / options.frames;
    }
    return options;
}

// A photo studio as a float equirectangular image: a dim grey room, brighter towards the ceiling,
// with two large soft boxes high on either side and a strip light overhead (linear radiance).
std::shared_ptr<UIImage> studioEnvironment() {
    constexpr int width = 256;
    constexpr int height = 128;
    std::vector<float> pixels(static_cast<std::size_t>(width) * height * 4);
    for (int row = 0; row < height; ++row) {
        const double latitude = (0.5 - (row + 0.5) / height) * kPi;  // row 0 looks straight up
        for (int column = 0; column < width; ++column) {
            const double longitude = ((column + 0.5) / width - 0.5) * 2.0 * kPi;
            double radiance = 0.25 + 0.35 * (0.5 + 0.5 * std::sin(latitude));
            const bool highUp = latitude > 0.35 && latitude < 0.9;
            if (highUp && (std::abs(longitude - 1.2) < 0.35 || std::abs(longitude + 1.6) < 0.35)) {
                radiance = 6.0;
            } else if (latitude > 1.25 && std::abs(longitude) < 1.0) {
                radiance = 4.0;
            }
            const std::size_t at = (static_cast<std::size_t>(row) * width + column) * 4;
            pixels[at] = pixels[at + 1] = pixels[at + 2] = static_cast<float>(radiance);
            pixels[at + 3] = 1.0f;
        }
    }
    return UIImage::fromFloatPixels(width, height, std::move(pixels));
}

struct Stage {
    std::shared_ptr<SCNScene> scene;
    std::shared_ptr<SCNNode> camera = SCNNode::make();
    glm::vec3 centre{0.0f};
    float radius = 1.0f;
    float distance = 1.0f;

    // Where the camera is after turning `degrees` about the vertical through the box's centre.
    void orbit(double degrees) const {
        const double theta = degrees * kPi / 180.0;
        const double phi = kPolar * kPi / 180.0;
        const glm::vec3 direction(static_cast<float>(std::sin(phi) * std::sin(theta)),
                                  static_cast<float>(std::cos(phi)),
                                  static_cast<float>(std::sin(phi) * std::cos(theta)));
        camera->setSimdTransform(
            glm::inverse(glm::lookAt(centre + direction * distance, centre, glm::vec3(0.0f, 1.0f, 0.0f))));
    }
};

std::optional<Stage> makeStage(const std::filesystem::path& file, bool endlessFloor, std::string& failure) {
    Stage stage;
    OptionalError error;
    stage.scene = SCNSceneSource::make(file)->sceneWithOptions(std::nullopt, {}, &error);
    if (!stage.scene) {
        failure = error ? error->description() : "the model could not be read";
        return std::nullopt;
    }
    for (const auto& node : stage.scene->rootNode()->childNodesPassingTest([](const SCNNode&, bool&) { return true; })) {
        node->setLight(nullptr);
        node->setCamera(nullptr);
    }
    const auto box = stage.scene->rootNode()->worldBoundingBox();
    const glm::vec3 low = box ? box->min.simd() : glm::vec3(-1.0f);
    const glm::vec3 high = box ? box->max.simd() : glm::vec3(1.0f);
    stage.centre = 0.5f * (low + high);
    stage.radius = 0.5f * glm::length(high - low);
    stage.distance = 1.15f * stage.radius / static_cast<float>(std::sin(kFieldOfView / 2.0 * kPi / 180.0));

    stage.camera->setCamera(SCNCamera::make());
    stage.camera->camera()->setFieldOfView(kFieldOfView);
    stage.camera->camera()->setZNear(stage.distance / 100.0f);
    stage.camera->camera()->setZFar(stage.distance * 100.0f);
    stage.scene->rootNode()->addChildNode(stage.camera);

    auto sun = SCNNode::make();
    auto light = SCNLight::make(SCNLightType::directional);
    light->setIntensity(2000.0 / kPi);
    light->setCastsShadow(true);
    sun->setLight(light);
    sun->setSimdTransform(glm::inverse(
        glm::lookAt(glm::normalize(glm::vec3(1.0f, 2.0f, 1.5f)), glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f))));
    stage.scene->rootNode()->addChildNode(sun);

    // A matte floor under the sofa to take its shadow; no mirror image (the web viewer has none).
    auto floor = SCNFloor::make();
    floor->setReflectivity(0.0);
    if (!endlessFloor) {
        floor->setWidth(1.5f * (high.x - low.x));
        floor->setLength(1.5f * (high.z - low.z));
    }
    floor->firstMaterial()->diffuse().setContents(UIColor(0.8, 0.8, 0.8));
    auto ground = SCNNode::make(floor);
    ground->setPosition({stage.centre.x, low.y, stage.centre.z});
    stage.scene->rootNode()->addChildNode(ground);

    stage.scene->lightingEnvironment().setContents(studioEnvironment());
    return stage;
}

// A sheen the material asks for: an image, or a colour that is not black.
bool hasSheen(const SCNMaterial& material) {
    const auto colour = material.sheen().contentsColor();
    return material.sheen().contentsImage() != nullptr ||
           (colour && (colour->red() > 0.0 || colour->green() > 0.0 || colour->blue() > 0.0));
}

// The drawn nodes' names (SCNFloor for the floor), marked where a material asks for sheen.
std::vector<std::string> meshNames(const SCNNode& root) {
    std::vector<std::string> names;
    for (const auto& node :
         root.childNodesPassingTest([](const SCNNode& n, bool&) { return n.geometry() != nullptr; })) {
        const auto& geometry = *node->geometry();
        std::string name = dynamic_cast<const SCNFloor*>(&geometry) != nullptr ? "SCNFloor"
                           : !node->name().empty()                         ? node->name()
                                                                           : "geometry";
        const auto& materials = geometry.materials();
        if (std::any_of(materials.begin(), materials.end(), [](const auto& m) { return m && hasSheen(*m); })) {
            name += " (sheen)";
        }
        names.push_back(std::move(name));
    }
    return names;
}

// CPU milliseconds the process used so far, every thread's (llvmpipe rasterises on threads of its own).
double cpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parseArguments(argc, argv);
    std::string failure;
    auto stage = makeStage(options.model, options.endlessFloor, failure);
    if (!stage) {
        std::fprintf(stderr, "vantrel_sofa_orbit: %s: %s\n", options.model.c_str(), failure.c_str());
        return 1;
    }
    SCNView view(CGRect(0, 0, kWidth, kHeight));
    view.setScene(stage->scene);
    view.setPointOfView(stage->camera);
    view.setBackgroundColor(UIColor::whiteColor());
    view.setAdaptsQuality(false);
    view.setAntialiasingMode(SCNAntialiasingMode::multisampling4X);
    view.setToneMapping(SCNToneMapping::neutral);
    auto context = view.renderContext();
    if (!context) {
        std::fprintf(stderr, "vantrel_sofa_orbit: %s\n", context.error().description().c_str());
        return 1;
    }

    using Clock = std::chrono::steady_clock;
    using Milliseconds = std::chrono::duration<double, std::milli>;
    std::vector<double> work;
    std::vector<double> interval;
    double theta = 0.0;
    std::optional<Clock::time_point> last;
    double cpuStart = 0.0;
    double cpuEnd = 0.0;
    // One frame more than measured: the last measured frame's interval ends where it starts.
    for (int frame = 0; frame < options.warmUp + options.frames + 1; ++frame) {
        stage->orbit(theta);
        const auto start = Clock::now();
        if (frame > options.warmUp) {
            interval.push_back(Milliseconds(start - *last).count());
        }
        if (frame == options.warmUp) {
            cpuStart = cpuMilliseconds();
        }
        if (frame == options.warmUp + options.frames) {
            cpuEnd = cpuMilliseconds();
            break;
        }
        if (auto drawn = view.draw()) {
            std::fprintf(stderr, "vantrel_sofa_orbit: %s\n", drawn->description().c_str());
            return 1;
        }
        if (frame >= options.warmUp) {
            work.push_back(Milliseconds(Clock::now() - start).count());
        }
        last = start;
        theta += options.step;
    }
    const SCNRenderStatistics statistics = view.statistics();
    if (!options.picture.empty()) {
        stage->orbit(30.0);
        if (auto written = view.writeSnapshot(options.picture)) {
            std::fprintf(stderr, "vantrel_sofa_orbit: %s\n", written->description().c_str());
            return 1;
        }
    }

    nlohmann::json result{
        {"side", "vantrel"},
        {"renderer", (*context)->surface().description()},
        {"samples", 4},
        {"drawingBuffer", {kWidth, kHeight}},
        {"renderScale", statistics.renderScale},
        {"reducedQuality", statistics.reducedQuality},
        {"toneMapping", "neutral"},
        {"lights", {"DirectionalLight (casts shadows)"}},
        {"meshes", meshNames(*stage->scene->rootNode())},
        {"floor", options.endlessFloor ? "endless" : "footprint"},
        {"environment", "studio (256 x 128 float equirect made in code)"},
        {"framing",
         {{"centre", {stage->centre.x, stage->centre.y, stage->centre.z}},
          {"radius", stage->radius},
          {"distance", stage->distance}}},
        {"step", options.step},
        {"perFrame", {{"draws", statistics.drawCalls}, {"triangles", statistics.triangles}}},
        {"cpuPerFrame", (cpuEnd - cpuStart) / options.frames},
        {"work", work},
        {"interval", interval},
    };
    std::printf("%s\n", result.dump().c_str());
    return 0;
}
