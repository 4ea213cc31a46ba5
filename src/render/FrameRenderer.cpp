// One frame of a scene. The graph is read once into the frame's plan; then the passes run in order:
//
//   shadow map         the key light's view of what casts shadows (when that changed)
//   floor reflection   the mirror image under a reflective floor, into a target of its own
//   opaque scene       into the scene target (multisampled, or "COLOR" itself with one sample)
//   transparent scene  far to near over the opaque surfaces
//   debug overlay      boxes and markers, into the scene picture
//   resolve            the samples averaged into "COLOR"
//   technique passes   the view's technique over "COLOR"
//   statistics         over the finished picture's bytes
//   present            to the window (or the caller reads "COLOR" back)
//
// Passes that need the lights' view of the scene (shadows) go before the opaque scene; a copy of the
// opaque picture for refractive materials (transmission) between the opaque and the transparent
// scene; tone mapping, which needs the picture in a wider format than "COLOR", between resolve and
// the technique passes.

#include <algorithm>

#include "render/passes/Passes.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/render/RenderError.hpp"

namespace vantrel {

using namespace detail;

namespace {

std::shared_ptr<SCNGeometry> makeFloorQuad() {
    SCNGeometrySource source;
    source.vertices = {{-1, 0, -1}, {1, 0, -1}, {1, 0, 1}, {-1, 0, 1}};
    source.normals = {{0, 1, 0}, {0, 1, 0}, {0, 1, 0}, {0, 1, 0}};
    source.textureCoordinates = {{{0, 0}, {1, 0}, {1, 1}, {0, 1}}};
    return SCNGeometry::make(std::move(source), {SCNGeometryElement{{0, 2, 1, 0, 3, 2}}});
}

// The scene target (multisampled colour and depth) and "COLOR" at the frame's size. A frame with one
// sample leaves the scene target as it is: reduced frames while the user interacts are followed by
// a full one that needs it again.
std::optional<Error> prepareTargets(Frame& frame, int samples) {
    auto& context = frame.context;
    if (frame.multisampled) {
        if (auto failure =
                context.ensureTarget(context.sceneTarget, frame.width, frame.height, samples, kPictureFormat, true))
            return failure;
    }
    return context.ensureTarget(context.colorTarget, frame.width, frame.height, 1, kPictureFormat, !frame.multisampled);
}

// The opaque and transparent scene into the scene target, over the background.
std::optional<Error> drawScene(Frame& frame) {
    const auto& gl = frame.gl;
    const RenderTarget& target = frame.multisampled ? frame.context.sceneTarget : frame.context.colorTarget;
    const glm::vec4& clear = frame.plan.clearColor;
    gl.BindFramebuffer(GL_FRAMEBUFFER, target.framebuffer.id());
    gl.Viewport(0, 0, frame.width, frame.height);
    gl.ClearColor(clear.r, clear.g, clear.b, clear.a);
    gl.DepthMask(GL_TRUE);
    gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gl.DepthFunc(GL_LEQUAL);
    if (auto failure = drawOpaque(frame.drawer, frame.plan.items, frame.plan.pass, false)) return failure;
    if (auto failure = drawContactShadow(frame)) return failure;
    if (auto failure = captureTransmission(frame)) return failure;
    if (auto failure = drawTransparent(frame.drawer, frame.plan.items, frame.plan.pass, false)) return failure;
    frame.profile.mark("scene");
    return std::nullopt;
}

// The passes that work in linear light, up to the finished "COLOR".
std::optional<Error> drawPicture(Frame& frame) {
    const auto& gl = frame.gl;
    // Shaders write linear light; the targets encode it (and blend in linear light).
    gl.Enable(GL_FRAMEBUFFER_SRGB);
    if (auto failure = drawShadowMap(frame)) return failure;
    if (auto failure = drawFloorReflection(frame)) return failure;
    if (auto failure = drawScene(frame)) return failure;
    if (auto failure = drawDebugOverlay(frame)) return failure;
    resolveSamples(frame);
    gl.Disable(GL_DEPTH_TEST);
    gl.Disable(GL_CULL_FACE);
    gl.Disable(GL_BLEND);
    if (frame.request.technique != nullptr) {
        if (auto failure = runTechnique(frame, *frame.request.technique)) return failure;
    }
    return std::nullopt;
}

}  // namespace

std::optional<Error> RenderContext::Impl::renderFrame(const FrameRequest& request, FrameResult& result) {
    if (!surface->makeCurrent()) {
        return makeRenderError(RenderErrorCode::contextCreationFailed, "the context cannot be made current");
    }
    const auto& gl = device.gl();
    PassProfile profile(gl);
    if (++frames % 300 == 0) {
        purge();
    }
    if (!floorQuad) {
        floorQuad = makeFloorQuad();
    }
    ItemDrawer drawer{*this, gl, result};
    FramePlan plan;
    planFrame(request, *this, plan);
    profile.mark("walk");
    const int samples = std::clamp(request.samples, 1, std::max(1, maxSamples));
    Frame frame{*this,      gl, request, plan, drawer, profile, std::max(1, request.width), std::max(1, request.height),
                samples > 1};
    if (auto failure = prepareTargets(frame, samples)) return failure;
    if (auto failure = drawPicture(frame)) return failure;

    // "COLOR" is the finished picture. What follows works on its stored bytes: overlays blend over
    // them as they are shown, and copies take them as they are.
    gl.Disable(GL_FRAMEBUFFER_SRGB);
    gl.BindFramebuffer(GL_FRAMEBUFFER, colorTarget.framebuffer.id());
    gl.Viewport(0, 0, frame.width, frame.height);
    if (auto failure = drawStatistics(frame)) return failure;
    present(frame);
    gl.BindVertexArray(0);
    gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
    if (const GLenum error = gl.GetError(); error != GL_NO_ERROR) {
        VLOG_WARNING("GL error 0x" + std::to_string(error) + " in a frame");
    }
    return std::nullopt;
}

}  // namespace vantrel
