#include "vantrel/render/SCNView.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb_image_write.h>

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

SCNView::SCNView(const CGRect& frame, std::unique_ptr<RenderContext> context)
    : frame_(frame), context_(std::move(context)) {}

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
    return needsDisplay_ || (scene_ && scene_->isAnimating());
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

std::optional<Error> SCNView::render(bool readBack, std::shared_ptr<UIImage>* image) {
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
    const int width = pixels(frame_.size.width);
    const int height = pixels(frame_.size.height);
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
    request.samples = sampleCount(antialiasingMode_);
    request.debugOptions = debugOptions_;
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
    ++statistics_.framesDrawn;
    return std::nullopt;
}

std::optional<Error> SCNView::draw() { return render(false, nullptr); }

Expected<std::shared_ptr<UIImage>> SCNView::snapshot() {
    std::shared_ptr<UIImage> image;
    if (auto failure = render(true, &image)) {
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
