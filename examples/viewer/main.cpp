// The viewer: a window over the canvas adapter. It signs in to the backend, loads the catalogue's
// models with progress on the terminal, places them on the canvas and hands the mouse and keyboard
// to the adapter's gestures; a record changed on the backend reloads live.
//
//   vantrel_viewer [--email E --password P] [--size WxH] [--script FILE] [--products A,B,…]
//                  [--full-quality] [--target-ms N]
//
// Mouse: left drag moves the selected model (or pans the camera), right drag orbits, the wheel
// zooms, a click selects, a double click snaps to the point under it or focuses, holding still is a
// long press. Keys: e environment, g ground, s sizes, h highlighting mode, c camera control,
// f focus, t statistics, q quit. With --script the viewer plays the file (see ViewerScript.hpp) and
// exits.
//
// The viewer draws only when the picture changes; while it changes, frames are drawn smaller (and
// shown scaled up) when full ones would take longer than the target frame time (33 ms, or
// --target-ms), and a full-quality frame follows once everything is still. --full-quality draws
// every frame at full quality. The statistics line shows the last frame's time and scale.

#include "Await.hpp"
#include "PointerInput.hpp"
#include "TerminalProgress.hpp"
#include "ViewerScript.hpp"

#include <vantrel/vantrel.hpp>

#include <GLFW/glfw3.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <thread>

namespace viewer {
namespace {

using vantrel::CGPoint;
using vantrel::OptionalError;

struct Options {
    std::string email = "emma.employee@nordhaven.test";
    std::string password = "emma-password-1";
    int width = 1280;
    int height = 720;
    std::optional<std::filesystem::path> script;
    std::vector<std::string> products;  // empty: every component with a model
    bool adaptiveQuality = true;
    double targetMs = 33.0;
};

// Set by signals: SIGUSR1 prints the number of frames drawn so far (to check that an idle viewer
// draws none), SIGINT and SIGTERM end the loop as the q key does.
volatile std::sig_atomic_t framesAsked = 0;
volatile std::sig_atomic_t stopAsked = 0;

void installSignals() {
    std::signal(SIGUSR1, [](int) { framesAsked = 1; });
    std::signal(SIGINT, [](int) { stopAsked = 1; });
    std::signal(SIGTERM, [](int) { stopAsked = 1; });
}

// How long the loop sleeps in the window system while there is nothing to draw: short while a
// full-quality frame is due after reduced ones, longer when all is still (the main queue's items
// from the library's threads wait at most this long).
constexpr std::chrono::milliseconds kSettlingWait{10};
constexpr std::chrono::milliseconds kIdleWait{50};

// Prints what the canvas reports, so a user (and the viewer's test) can follow along.
class PrintingDelegate final : public vantrel::CanvasManagementDelegate {
public:
    void onSceneSettingsFailure(const vantrel::Error& error) override {
        std::printf("scene settings failed: %s\n", error.description().c_str());
    }
    void onModelAdded(const std::string& modelId, const std::string&, const OptionalError& error) override {
        std::printf("added %s%s\n", modelId.c_str(), error ? (": " + error->description()).c_str() : "");
    }
    void onModelRemoved(const std::string& modelId, const std::string&) override {
        std::printf("removed %s\n", modelId.c_str());
    }
    void onModelSelected(const std::string& modelId, const std::string&) override {
        std::printf("selected %s\n", modelId.c_str());
    }
    void onModelDeselected() override { std::printf("deselected\n"); }
    void onEmptySpaceLongPressed() override { std::printf("long press on empty space\n"); }
};

class Viewer final : public ScriptHost {
public:
    explicit Viewer(Options options) : options_(std::move(options)) {}

    int run() {
        if (!signIn() || !loadModels() || !openWindow()) return 1;
        place();
        if (options_.script) return playScriptFile(*options_.script);
        while (!window().shouldClose() && !quit_ && !stopAsked) {
            frame();
            if (framesAsked) {
                framesAsked = 0;
                reportFrames();
            }
        }
        reportFrames();
        return 0;
    }

    // ScriptHost
    std::optional<CGPoint> resolve(const std::string& name) override {
        if (name == "snap") {
            for (const auto& model : adapter_->modelNodes())
                for (const auto& [owner, points] : model->snappingNodesDictionary())
                    for (const auto& point : points)
                        if (point && !point->isHidden())
                            return onScreen(point->convertPosition(point->boundingSphere().center, nullptr));
            return std::nullopt;
        }
        if (name.rfind("model:", 0) == 0) {
            const auto product = name.substr(6);
            for (const auto& model : adapter_->modelNodes())
                if (productOf(*model) == product) return pointOn(*model);
        }
        return std::nullopt;
    }
    void button(int button, bool pressed, CGPoint at) override { input_->button(button, pressed, at); }
    void moved(CGPoint at) override { input_->moved(at); }
    void wheel(double steps, CGPoint at) override { input_->wheel(steps, at); }
    void key(char key) override { onKey(key); }
    void pass(std::chrono::milliseconds duration) override {
        const auto until = std::chrono::steady_clock::now() + duration;
        do frame();
        while (std::chrono::steady_clock::now() < until);
    }
    bool screenshot(const std::filesystem::path& file) override {
        frame();
        const auto error = view_->writeSnapshot(file);
        if (error)
            std::fprintf(stderr, "viewer: %s\n", error->description().c_str());
        else
            std::printf("screenshot %s\n", file.c_str());
        return !error;
    }
    void print() override {
        for (const auto& model : adapter_->modelNodes()) {
            const auto p = model->position();
            std::printf("model %s at %.4f %.4f %.4f%s\n", productOf(*model).c_str(), p.x, p.y, p.z,
                        adapter_->selectedModel() == model ? " selected" : "");
        }
        std::fflush(stdout);
    }

private:
    bool signIn() {
        std::printf("Signing in as %s\n", options_.email.c_str());
        const auto answer = demo::await<std::shared_ptr<vantrel::UserEntity>, OptionalError>([&](auto block) {
            vantrel::AuthService::sharedInstance().signIn("VantrelViewer", vantrel::VantrelSDK::version(),
                                                          options_.email, options_.password, std::move(block));
        });
        if (answer && std::get<0>(*answer)) return true;
        std::fprintf(stderr, "viewer: sign-in failed: %s\n",
                     answer && std::get<1>(*answer) ? std::get<1>(*answer)->description().c_str() : "no answer");
        return false;
    }

    bool loadModels() {
        const auto answer =
            demo::await<std::vector<std::shared_ptr<vantrel::ComponentEntity>>, OptionalError>([](auto block) {
                vantrel::ComponentService::sharedInstance().obtainAllComponentsByCurrentCatalog(0, 100,
                                                                                                std::move(block));
            });
        if (!answer || std::get<1>(*answer)) {
            std::fprintf(stderr, "viewer: the catalogue cannot be read\n");
            return false;
        }
        for (const auto& component : std::get<0>(*answer)) {
            if (!component->scnModelFilePath()) continue;
            if (!options_.products.empty() && std::find(options_.products.begin(), options_.products.end(),
                                                        component->productNumber()) == options_.products.end())
                continue;
            demo::TerminalProgress bar(component->genericName());
            const auto loaded = demo::await<std::shared_ptr<vantrel::ModelNode>, OptionalError>(
                [&](auto block) {
                    vantrel::ModelLoaderService::sharedInstance().loadModelBy(
                        component, std::nullopt, std::move(block),
                        [&bar](vantrel::ProgressStatus, double fraction) { bar.update(fraction); });
                },
                std::chrono::minutes(5));
            if (!loaded || !std::get<0>(*loaded)) {
                bar.finish("failed");
                continue;
            }
            bar.finish("done");
            products_[component->objectId().value_or("")] = component->productNumber();
            models_.push_back(std::get<0>(*loaded));
        }
        if (models_.empty()) std::fprintf(stderr, "viewer: the catalogue has no model to show\n");
        return !models_.empty();
    }

    bool openWindow() {
        auto surface = vantrel::WindowSurface::make(options_.width, options_.height, "Vantrel viewer");
        if (!surface) {
            std::fprintf(stderr, "viewer: no window: %s\n", surface.error().description().c_str());
            return false;
        }
        window_ = surface->get();
        auto context = vantrel::RenderContext::make(std::move(surface).value());
        if (!context) {
            std::fprintf(stderr, "viewer: no OpenGL context: %s\n", context.error().description().c_str());
            return false;
        }
        view_ = std::make_shared<vantrel::SCNView>(vantrel::CGRect(0, 0, options_.width, options_.height),
                                                   std::move(context).value());
        view_->setAdaptsQuality(options_.adaptiveQuality);
        view_->setTargetFrameTime(std::chrono::duration<double, std::milli>(options_.targetMs));
        view_->setShowsStatistics(!options_.script);
        installCallbacks();
        return true;
    }

    void place() {
        adapter_ = vantrel::CanvasAdapter::make();
        adapter_->setManagementDelegate(delegate_);
        adapter_->setSceneView(view_);
        adapter_->setCameraControlEnabled(true);
        adapter_->setModelSelectionEnabled(true);
        adapter_->setGroundEnabled(true);
        for (const auto& model : models_)
            adapter_->addModel(model, std::nullopt, std::nullopt, false, std::nullopt, true);
        adapter_->focusToCenter(false, true, false);
        adapter_->setGesturesEnabled(true);
        input_ = std::make_unique<PointerInput>(*adapter_->touchDispatcher());
        frame();  // the gestures attach on the main queue
    }

    int playScriptFile(const std::filesystem::path& file) {
        std::vector<ScriptStep> steps;
        auto error = readScript(file, steps);
        if (!error) error = playScript(steps, *this);
        if (error) std::fprintf(stderr, "viewer: script %s\n", error->c_str());
        return error ? 1 : 0;
    }

    void onKey(char key) {
        using vantrel::SceneEnvironment;
        switch (key) {
            case 'e': {
                const auto& all = vantrel::allSceneEnvironments;
                auto it = std::find(all.begin(), all.end(), adapter_->sceneEnvironment());
                const auto next = (it == all.end() || it + 1 == all.end()) ? all.front() : *(it + 1);
                adapter_->setSceneEnvironment(next);
                std::printf("environment %s\n", std::string(vantrel::caseName(next)).c_str());
                break;
            }
            case 'g': adapter_->setGroundEnabled(!adapter_->groundEnabled()); break;
            case 's': adapter_->setShowSizes(!adapter_->showSizes()); break;
            case 'h':
                adapter_->setModelHighlightingMode(adapter_->modelHighlightingMode() ==
                                                           vantrel::ModelHighlightingMode::glow
                                                       ? vantrel::ModelHighlightingMode::levitation
                                                       : vantrel::ModelHighlightingMode::glow);
                break;
            case 'c': adapter_->setCameraControlEnabled(!adapter_->cameraControlEnabled()); break;
            case 'f': adapter_->focusToCenter(true, true, true); break;
            case 't': view_->setShowsStatistics(!view_->showsStatistics()); break;
            case 'q': quit_ = true; break;
            default: break;
        }
        adapter_->refresh();
    }

    void installCallbacks() {
        auto* handle = static_cast<GLFWwindow*>(window().nativeHandle());
        glfwSetWindowUserPointer(handle, this);
        glfwSetMouseButtonCallback(handle, [](GLFWwindow* w, int button, int action, int) {
            auto* self = static_cast<Viewer*>(glfwGetWindowUserPointer(w));
            if (!self->input_) return;  // events before the canvas is up
            if (button == GLFW_MOUSE_BUTTON_LEFT || button == GLFW_MOUSE_BUTTON_RIGHT)
                self->input_->button(button == GLFW_MOUSE_BUTTON_LEFT ? 0 : 1, action == GLFW_PRESS, self->cursor(w));
        });
        glfwSetCursorPosCallback(handle, [](GLFWwindow* w, double, double) {
            auto* self = static_cast<Viewer*>(glfwGetWindowUserPointer(w));
            if (self->input_) self->input_->moved(self->cursor(w));
        });
        glfwSetScrollCallback(handle, [](GLFWwindow* w, double, double dy) {
            auto* self = static_cast<Viewer*>(glfwGetWindowUserPointer(w));
            if (self->input_) self->input_->wheel(dy, self->cursor(w));
        });
        glfwSetCharCallback(handle, [](GLFWwindow* w, unsigned int codepoint) {
            auto* self = static_cast<Viewer*>(glfwGetWindowUserPointer(w));
            if (self->adapter_ && codepoint < 128) self->onKey(static_cast<char>(codepoint));
        });
    }

    // The pointer in view points (the window's screen coordinates; the view fills the window).
    CGPoint cursor(GLFWwindow* w) const {
        double x = 0, y = 0;
        glfwGetCursorPos(w, &x, &y);
        return CGPoint(x, y);
    }

    void reportFrames() {
        std::printf("frames drawn %llu\n", static_cast<unsigned long long>(view_->statistics().framesDrawn));
        std::fflush(stdout);
    }

    // One turn of the loop: window events (waiting for them while the last turn drew nothing), the
    // main queue, and a frame only when the picture changes.
    void frame() {
        const auto wait = drew_ ? std::chrono::milliseconds(0)
                                : view_->statistics().reducedQuality ? kSettlingWait : kIdleWait;
        window().waitEvents(wait);
        vantrel::MainRunLoop::drain();
        const auto drew = view_->drawIfNeeded();
        if (!drew) std::fprintf(stderr, "viewer: drawing failed: %s\n", drew.error().description().c_str());
        drew_ = drew && *drew;
        if (drew_) std::this_thread::sleep_for(std::chrono::milliseconds(1));  // yield to the library's threads
    }

    // A view point where the first thing hit is `model` (a curved sofa's centre may be open floor):
    // the projected centre if it hits, else the first hit of a grid over the projected box.
    std::optional<CGPoint> pointOn(const vantrel::ModelNode& model) const {
        const auto hits = [&](CGPoint at) {
            const auto results = view_->hitTest(at, {});
            if (results.empty()) return false;
            for (auto node = results.front().node; node; node = node->parentNode())
                if (node.get() == &model) return true;
            return false;
        };
        const auto centre = onScreen(model.convertPosition(model.boundingSphere().center, nullptr));
        if (centre && hits(*centre)) return centre;
        const auto box = model.boundingBox();
        double left = 1e9, top = 1e9, right = -1e9, bottom = -1e9;
        for (int corner = 0; corner < 8; ++corner) {
            const vantrel::SCNVector3 local{(corner & 1) ? box.max.x : box.min.x, (corner & 2) ? box.max.y : box.min.y,
                                            (corner & 4) ? box.max.z : box.min.z};
            const auto p = view_->projectPoint(model.convertPosition(local, nullptr));
            left = std::min(left, double(p.x)), right = std::max(right, double(p.x));
            top = std::min(top, double(p.y)), bottom = std::max(bottom, double(p.y));
        }
        constexpr int kSteps = 12;
        for (int row = 1; row < kSteps; ++row)
            for (int column = 1; column < kSteps; ++column) {
                const CGPoint at(left + (right - left) * column / kSteps, top + (bottom - top) * row / kSteps);
                if (onScreen(view_->unprojectPoint({float(at.x), float(at.y), 0.5f})) && hits(at)) return at;
            }
        return std::nullopt;
    }

    std::optional<CGPoint> onScreen(const vantrel::SCNVector3& world) const {
        const auto p = view_->projectPoint(world);
        const auto bounds = view_->bounds();
        if (p.z < 0 || p.z > 1 || p.x < 0 || p.y < 0 || p.x > bounds.size.width || p.y > bounds.size.height)
            return std::nullopt;
        return CGPoint(p.x, p.y);
    }

    std::string productOf(const vantrel::ModelNode& model) const {
        const auto it = products_.find(model.componentId());
        return it == products_.end() ? model.componentId() : it->second;
    }

    vantrel::WindowSurface& window() { return *window_; }

    Options options_;
    std::vector<std::shared_ptr<vantrel::ModelNode>> models_;
    std::map<std::string, std::string> products_;  // component id → product number
    vantrel::WindowSurface* window_ = nullptr;     // owned by the view's render context
    std::shared_ptr<vantrel::SCNView> view_;
    std::shared_ptr<vantrel::CanvasAdapter> adapter_;
    std::shared_ptr<PrintingDelegate> delegate_ = std::make_shared<PrintingDelegate>();
    std::unique_ptr<PointerInput> input_;
    bool quit_ = false;
    bool drew_ = true;  // the last turn drew a frame: look for the next at once
};

std::optional<Options> parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--email" && hasValue) {
            options.email = argv[++i];
        } else if (arg == "--password" && hasValue) {
            options.password = argv[++i];
        } else if (arg == "--script" && hasValue) {
            options.script = argv[++i];
        } else if (arg == "--products" && hasValue) {
            std::istringstream list(argv[++i]);
            for (std::string product; std::getline(list, product, ',');) options.products.push_back(product);
        } else if (arg == "--full-quality") {
            options.adaptiveQuality = false;
        } else if (arg == "--target-ms" && hasValue) {
            options.targetMs = std::atof(argv[++i]);
        } else if (arg == "--size" && hasValue) {
            if (std::sscanf(argv[++i], "%dx%d", &options.width, &options.height) != 2 || options.width <= 0 ||
                options.height <= 0)
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    return options;
}

}  // namespace
}  // namespace viewer

int main(int argc, char** argv) {
    viewer::installSignals();
    const auto options = viewer::parse(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: %s [--email E --password P] [--size WxH] [--script FILE] [--products A,B] "
                     "[--full-quality] [--target-ms N]\n",
                     argv[0]);
        return 2;
    }
    vantrel::Paths::setHostApplicationName("VantrelViewer");
    vantrel::VantrelSDK::initialize({{vantrel::SdkInitializeOption::variant, vantrel::SdkVariant::B2B}});
    if (!vantrel::MainRunLoop::runUntil([] { return vantrel::VantrelSDK::isInitialized(); },
                                        std::chrono::seconds(10))) {
        std::fprintf(stderr, "viewer: the library did not finish initializing\n");
        return 1;
    }
    const int status = viewer::Viewer(*options).run();
    vantrel::VantrelSDK::shutdown();
    return status;
}
