#include "vantrel/render/SCNView.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb_image_write.h>

#include "render/AdaptiveQuality.hpp"
#include "render/FrameSignature.hpp"
#include "render/RenderContextImpl.hpp"
#include "vantrel/graph/SCNCamera.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNScene.hpp"
#include "vantrel/graph/SCNViewProjection.hpp"
#include "vantrel/graph/SceneClock.hpp"
#include "vantrel/render/RenderError.hpp"

namespace vantrel {
namespace {

int sampleCount(SCNAntialiasingMode mode) {
    switch (mode) {
        case SCNAntialiasingMode::none: return 1;
        case SCNAntialiasingMode::multisampling2X: return 2;
        case SCNAntialiasingMode::multisampling4X: return 4;
    }
    return 1;
}

int pixels(double extent) { return std::clamp(static_cast<int>(std::lround(extent)), 1, 16384); }

// With VANTREL_SNAPSHOT_DIR set, every snapshot the process takes is also written there, numbered in
// the order taken (snapshot-0001.png …): a change to the renderer can then be checked picture by
// picture against the pictures of the commit before it.
void keepSnapshot(const UIImage& image) {
    static const char* folder = std::getenv("VANTREL_SNAPSHOT_DIR");
    static int taken = 0;
    if (folder == nullptr || *folder == '\0') {
        return;
    }
    char name[32];
    std::snprintf(name, sizeof name, "snapshot-%04d.png", ++taken);
    (void)writePNG(image, std::filesystem::path(folder) / name);
}

}  // namespace

// What frames on demand and adaptive quality keep between frames.
struct SCNView::Quality {
    detail::AdaptiveQuality controller;
    std::optional<std::uint64_t> drawn;  // the signature of the last frame `draw` drew
};

SCNView::SCNView(const CGRect& frame, std::unique_ptr<RenderContext> context)
    : frame_(frame), context_(std::move(context)), quality_(std::make_unique<Quality>()) {}

SCNView::~SCNView() = default;

void SCNView::setScene(std::shared_ptr<SCNScene> scene) {
    scene_ = std::move(scene);
    defaultPointOfView_.reset();
    needsDisplay_ = true;
}

void SCNView::setPointOfView(std::shared_ptr<SCNNode> pointOfView) {
    pointOfView_ = std::move(pointOfView);
    needsDisplay_ = true;
}

void SCNView::setTechnique(std::shared_ptr<SCNTechnique> technique) {
    technique_ = std::move(technique);
    needsDisplay_ = true;
}

void SCNView::setBackgroundColor(const UIColor& color) {
    backgroundColor_ = color;
    needsDisplay_ = true;
}

void SCNView::setShowsStatistics(bool shows) {
    showsStatistics_ = shows;
    needsDisplay_ = true;
}

void SCNView::setDebugOptions(SCNDebugOptions options) {
    debugOptions_ = options;
    needsDisplay_ = true;
}

void SCNView::setAntialiasingMode(SCNAntialiasingMode mode) {
    antialiasingMode_ = mode;
    needsDisplay_ = true;
}

void SCNView::setToneMapping(SCNToneMapping mapping) {
    toneMapping_ = mapping;
    needsDisplay_ = true;
}

void SCNView::setExposure(float stops) {
    exposure_ = stops;
    needsDisplay_ = true;
}

void SCNView::setAutoenablesDefaultLighting(bool enables) {
    autoenablesDefaultLighting_ = enables;
    needsDisplay_ = true;
}

void SCNView::setFrame(const CGRect& frame) {
    frame_ = frame;
    needsDisplay_ = true;
}

bool SCNView::needsDisplay() const {
    // Asked for, or something still moves (a transaction or an action).
    if (needsDisplay_ || (scene_ && scene_->isAnimating())) {
        return true;
    }
    if (quality_->controller.fullFrameDue(SceneClock::now())) {
        return true;
    }
    return quality_->drawn != signature();
}

Expected<bool> SCNView::drawIfNeeded() {
    if (!needsDisplay()) {
        return false;
    }
    if (auto failure = draw()) {
        return *failure;
    }
    return true;
}

bool SCNView::adaptsQuality() const noexcept { return quality_->controller.enabled(); }

void SCNView::setAdaptsQuality(bool adapts) { quality_->controller.setEnabled(adapts); }

std::chrono::duration<double, std::milli> SCNView::targetFrameTime() const noexcept {
    return std::chrono::duration<double, std::milli>(quality_->controller.targetMilliseconds());
}

void SCNView::setTargetFrameTime(std::chrono::duration<double, std::milli> target) {
    quality_->controller.setTargetMilliseconds(target.count());
}

std::uint64_t SCNView::signature() const {
    detail::FrameSignature signature;
    const auto pov = effectivePointOfView();
    signature.add(scene_.get()).add(pov.get()).add(frame_.size.width).add(frame_.size.height);
    signature.add(technique_.get()).add(technique_ ? technique_->revision() : 0);
    signature.add(backgroundColor_.red()).add(backgroundColor_.green()).add(backgroundColor_.blue());
    signature.add(backgroundColor_.alpha()).add(showsStatistics_).add(debugOptions_).add(antialiasingMode_).add(toneMapping_).add(exposure_);
    signature.add(autoenablesDefaultLighting_);
    if (pov) {
        signature.add(pov->presentationWorldTransform()).add(pov->camera() ? pov->camera()->revision() : 0);
    }
    if (scene_) {
        signature.addScene(*scene_, pov.get());
    }
    return signature.value();
}

std::shared_ptr<SCNNode> SCNView::effectivePointOfView() const {
    if (pointOfView_) {
        return pointOfView_;
    }
    if (!scene_) {
        return nullptr;
    }
    const auto withCamera = scene_->rootNode()->childNodesPassingTest([](const SCNNode& node, bool& stop) {
        stop = node.camera() != nullptr;
        return stop;
    });
    if (!withCamera.empty()) {
        return withCamera.front();
    }
    // A camera on the +Z side of the scene that frames its bounding sphere.
    if (!defaultPointOfView_) {
        defaultPointOfView_ = SCNNode::make();
        auto camera = SCNCamera::make();
        camera->setAutomaticallyAdjustsZRange(true);
        camera->setZNear(0.01);
        defaultPointOfView_->setCamera(camera);
    }
    const SCNBoundingSphere sphere = scene_->rootNode()->boundingSphere();
    const float radius = sphere.radius > 0.0f ? sphere.radius : 1.0f;
    const float distance = radius / std::tan(static_cast<float>(M_PI) / 6.0f) * 1.1f;
    defaultPointOfView_->setPosition({sphere.center.x, sphere.center.y, sphere.center.z + distance});
    // The default camera belongs to no tree, so an automatic z range could not see the scene.
    defaultPointOfView_->camera()->setAutomaticallyAdjustsZRange(false);
    defaultPointOfView_->camera()->setZNear(std::max(0.01, static_cast<double>(distance - radius) * 0.5));
    defaultPointOfView_->camera()->setZFar(static_cast<double>(distance + radius) * 2.0);
    return defaultPointOfView_;
}

std::vector<SCNHitTestResult> SCNView::hitTest(const CGPoint& point, const SCNHitTestOptions& options) const {
    const auto pov = effectivePointOfView();
    if (!scene_ || !pov) {
        return {};
    }
    return SCNViewProjection(*pov, bounds()).hitTest(*scene_->rootNode(), point, options);
}

SCNVector3 SCNView::projectPoint(const SCNVector3& point) const {
    const auto pov = effectivePointOfView();
    if (!pov) {
        return {};
    }
    return SCNViewProjection(*pov, bounds()).projectPoint(point);
}

SCNVector3 SCNView::unprojectPoint(const SCNVector3& point) const {
    const auto pov = effectivePointOfView();
    if (!pov) {
        return {};
    }
    return SCNViewProjection(*pov, bounds()).unprojectPoint(point);
}

Expected<RenderContext*> SCNView::renderContext() {
    if (!context_) {
        auto made = RenderContext::make();
        if (!made) {
            return made.error();
        }
        context_ = std::move(made).value();
    }
    return context_.get();
}

std::optional<Error> SCNView::render(bool readBack, std::shared_ptr<UIImage>* image,
                                     const detail::FrameQuality& quality) {
    const auto started = std::chrono::steady_clock::now();
    auto context = renderContext();
    if (!context) {
        return context.error();
    }
    RenderContext::Impl& impl = (*context)->impl();
    if (scene_) {
        // The frame clock: animations advance to now once, then the frame reads without side effects.
        scene_->update(SceneClock::now());
    }
    const int width = pixels(frame_.size.width * quality.scale);
    const int height = pixels(frame_.size.height * quality.scale);
    auto pov = effectivePointOfView();
    const auto fallback = pov ? nullptr : SCNNode::make();
    const SCNViewProjection projection(pov ? *pov : *fallback, CGRect(0, 0, width, height));

    detail::FrameRequest request;
    request.scene = scene_.get();
    request.pointOfView = pov.get();
    request.projection = &projection;
    request.width = width;
    request.height = height;
    request.background = backgroundColor_;
    request.technique = technique_.get();
    request.samples = quality.reduced ? 1 : sampleCount(antialiasingMode_);
    request.reflectionDivisor = quality.reduced ? 4 : 2;
    request.overlayDotSize = std::max(1.0f, std::round(2.0f * static_cast<float>(quality.scale)));
    request.debugOptions = debugOptions_;
    request.toneMapping = toneMapping_;
    request.exposure = exposure_;
    request.showsStatistics = showsStatistics_;
    request.defaultLighting = autoenablesDefaultLighting_;
    request.toWindow = !impl.surface->isOffscreen() && !readBack;
    request.previous = statistics_;
    detail::FrameResult result;
    if (auto failure = impl.renderFrame(request, result)) {
        return failure;
    }
    if (readBack) {
        *image = impl.readBack(width, height);
    } else {
        impl.device.gl().Finish();
    }
    needsDisplay_ = false;
    statistics_.drawCalls = result.drawCalls;
    statistics_.triangles = result.triangles;
    statistics_.frameTime = std::chrono::steady_clock::now() - started;
    statistics_.renderScale = quality.scale;
    statistics_.reducedQuality = quality.reduced;
    ++statistics_.framesDrawn;
    return std::nullopt;
}

std::optional<Error> SCNView::draw() {
    const double now = SceneClock::now();
    if (scene_) {
        scene_->update(now);
    }
    // A frame that shows something else than the last one means the scene changes: the user moves
    // something, or an animation runs.
    const std::uint64_t current = signature();
    auto& controller = quality_->controller;
    if (quality_->drawn && (*quality_->drawn != current || (scene_ && scene_->isAnimating()))) {
        controller.changed(now);
    }
    const detail::FrameQuality quality = controller.next(now);
    if (auto failure = render(false, nullptr, quality)) {
        return failure;
    }
    controller.drawn(quality, statistics_.frameTime.count());
    quality_->drawn = current;
    return std::nullopt;
}

Expected<std::shared_ptr<UIImage>> SCNView::snapshot() {
    std::shared_ptr<UIImage> image;
    if (auto failure = render(true, &image, {})) {
        return *failure;
    }
    keepSnapshot(*image);
    return image;
}

std::optional<Error> SCNView::writeSnapshot(const std::filesystem::path& path) {
    auto image = snapshot();
    if (!image) {
        return image.error();
    }
    return writePNG(**image, path);
}

std::optional<Error> writePNG(const UIImage& image, const std::filesystem::path& path) {
    if (stbi_write_png(path.string().c_str(), image.width(), image.height(), 4, image.rgba().data(),
                       image.width() * 4) == 0) {
        return makeRenderError(RenderErrorCode::fileWriteFailed, "cannot write " + path.string());
    }
    return std::nullopt;
}

}  // namespace vantrel
