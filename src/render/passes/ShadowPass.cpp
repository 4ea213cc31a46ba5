// The key light's shadow map: the depth of the casting items as the light sees them, in a depth
// texture that the scene program reads with hardware comparison. Drawn before the scene, and only
// when what it shows changed since the frame that drew it last.

#include <algorithm>

#include <glm/gtc/type_ptr.hpp>

#include "render/ShadowPlan.hpp"
#include "render/passes/Passes.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/render/RenderError.hpp"

namespace vantrel::detail {
namespace {

// A framebuffer with a square depth texture and no colour. Comparing filters the taps (each lookup
// is a bilinear blend of four comparisons); outside the map everything is lit.
// `created` tells a new (empty) map.
std::optional<Error> ensureShadowTarget(RenderContext::Impl& context, int size, bool& created) {
    RenderTarget& target = context.shadowTarget;
    created = !(target.framebuffer && target.width == size);
    if (!created) return std::nullopt;
    const auto& gl = context.device.gl();
    target = RenderTarget{};
    target.width = size;
    target.height = size;
    target.samples = 1;
    target.format = GL_DEPTH_COMPONENT24;
    target.framebuffer = context.device.create(GlKind::framebuffer);
    target.depth = context.device.create(GlKind::texture);
    gl.BindTexture(GL_TEXTURE_2D, target.depth.id());
    gl.TexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, size, size, 0, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, nullptr);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_BORDER);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_BORDER);
    const float farthest[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    gl.TexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, farthest);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_REF_TO_TEXTURE);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_FUNC, GL_LEQUAL);
    gl.BindFramebuffer(GL_FRAMEBUFFER, target.framebuffer.id());
    gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, target.depth.id(), 0);
    const GLenum none = GL_NONE;
    gl.DrawBuffers(1, &none);
    gl.ReadBuffer(GL_NONE);
    const GLenum status = gl.CheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        target = RenderTarget{};
        return makeRenderError(RenderErrorCode::framebufferIncomplete,
                               "shadow map " + std::to_string(size) + " is incomplete (status 0x" +
                                   std::to_string(status) + ")");
    }
    return std::nullopt;
}

std::optional<Error> drawCasters(Frame& frame, const ShadowPlan& shadow) {
    const auto& gl = frame.gl;
    auto program = frame.context.namedProgram("shadow_depth", "shadow_depth");
    if (!program) return program.error();
    GpuProgram& p = **program;
    gl.BindFramebuffer(GL_FRAMEBUFFER, frame.context.shadowTarget.framebuffer.id());
    gl.Viewport(0, 0, shadow.size, shadow.size);
    gl.DepthMask(GL_TRUE);
    gl.Clear(GL_DEPTH_BUFFER_BIT);
    gl.Enable(GL_DEPTH_TEST);
    gl.DepthFunc(GL_LESS);
    gl.Disable(GL_BLEND);
    // Both faces: open meshes (a chair's seat, a lamp's shade) must block light from either side.
    gl.Disable(GL_CULL_FACE);
    gl.UseProgram(p.program.id());
    const GLint transform = uniform(gl, p, "uLightTransform");
    for (const std::size_t index : shadow.casters) {
        const DrawItem& item = frame.plan.items[index];
        const glm::mat4 matrix = shadow.viewProjection * item.world;
        gl.UniformMatrix4fv(transform, 1, GL_FALSE, glm::value_ptr(matrix));
        if (auto failure = frame.drawer.drawElement(item)) return failure;
    }
    gl.DepthFunc(GL_LEQUAL);
    return std::nullopt;
}

}  // namespace

std::optional<Error> drawShadowMap(Frame& frame) {
    auto& context = frame.context;
    auto& items = frame.plan.items;
    context.contactShadowReady = false;
    ShadowPlan next;
    if (contactShadowsChosen() || !planShadow(frame.plan, next)) {
        // Shadow catchers show nothing without a shadow.
        std::erase_if(items, [](const DrawItem& item) {
            return item.material->lightingModel() == SCNLightingModel::shadowOnly;
        });
        return contactShadowsChosen() ? prepareContactShadow(frame) : std::nullopt;
    }
    bool created = false;
    if (auto failure = ensureShadowTarget(context, next.size, created)) return failure;
    next.texture = context.shadowTarget.depth.id();
    const bool current = !created && context.shadowPlan && context.shadowPlan->signature == next.signature;
    if (!current) {
        if (!context.shadowPlan) context.shadowPlan = std::make_shared<ShadowPlan>();
        context.shadowPlan->signature = 0;  // until the map is drawn
        if (auto failure = drawCasters(frame, next)) return failure;
    }
    *context.shadowPlan = std::move(next);
    frame.plan.pass.shadow = context.shadowPlan.get();
    frame.profile.mark("shadow");
    return std::nullopt;
}

}  // namespace vantrel::detail
