// The contact shadow, the alternative to the shadow map (chosen with
// VANTREL_SHADOWS=contact, for comparing the two; the shadow map is the default): the casting items
// seen from under the ground into a small texture, each texel as dark as the nearest caster above
// it is close to the ground, blurred, and laid on the ground under them after the opaque scene.
// It needs no light: it darkens the ground under a product, most where the product touches it.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string_view>

#include <glm/geometric.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "render/ShadowPlan.hpp"
#include "render/passes/Passes.hpp"

namespace vantrel::detail {
namespace {

constexpr int kContactMapSize = 128;
constexpr float kContactStrength = 0.9f;  // darkness under a product
constexpr float kContactBorder = 0.45f;  // of the casters' extent, around them, for the blur to spread into

const DrawItem* groundOf(const FramePlan& plan) {
    const auto found = std::find_if(plan.items.begin(), plan.items.end(),
                                    [](const DrawItem& item) { return item.floor != nullptr; });
    return found == plan.items.end() ? nullptr : &*found;
}

std::optional<Error> blur(Frame& frame, RenderTarget& from, RenderTarget& to, const glm::vec2& step) {
    const auto& gl = frame.gl;
    auto program = frame.context.namedProgram("blur_vertex", "contact_blur");
    if (!program) return program.error();
    GpuProgram& p = **program;
    gl.BindFramebuffer(GL_FRAMEBUFFER, to.framebuffer.id());
    gl.UseProgram(p.program.id());
    gl.ActiveTexture(GL_TEXTURE0);
    gl.BindTexture(GL_TEXTURE_2D, from.color.id());
    gl.Uniform1i(uniform(gl, p, "uMap"), 0);
    gl.Uniform2f(uniform(gl, p, "uStep"), step.x, step.y);
    frame.drawer.drawQuad();
    return std::nullopt;
}

}  // namespace

bool contactShadowsChosen() {
    const char* chosen = std::getenv("VANTREL_SHADOWS");
    return chosen != nullptr && std::string_view(chosen) == "contact";
}

std::optional<Error> prepareContactShadow(Frame& frame) {
    auto& context = frame.context;
    context.contactShadowReady = false;
    const DrawItem* ground = groundOf(frame.plan);
    if (ground == nullptr) return std::nullopt;
    std::vector<std::size_t> casters;
    for (std::size_t index = 0; index < frame.plan.items.size(); ++index) {
        if (castsShadow(frame.plan.items[index])) casters.push_back(index);
    }
    if (casters.empty()) return std::nullopt;

    // The ground's frame: origin, up, and two axes along it.
    const glm::vec3 origin(ground->world[3]);
    const glm::vec3 up = glm::normalize(glm::vec3(ground->world[1]));
    const glm::vec3 across = glm::normalize(glm::vec3(ground->world[0]));
    const glm::vec3 along = glm::cross(across, up);
    glm::vec3 low(std::numeric_limits<float>::infinity());
    glm::vec3 high(-std::numeric_limits<float>::infinity());
    for (const glm::vec3& corner : casterCorners(frame.plan, casters)) {
        const glm::vec3 local(glm::dot(corner - origin, across), glm::dot(corner - origin, along),
                              glm::dot(corner - origin, up));
        low = glm::min(low, local);
        high = glm::max(high, local);
    }
    if (high.z <= 0.0f) return std::nullopt;
    const float extent = std::max(high.x - low.x, high.y - low.y);
    const glm::vec2 middle((low.x + high.x) * 0.5f, (low.y + high.y) * 0.5f);
    const float half = extent * (0.5f + kContactBorder);
    const float height = high.z;
    // From under the ground, looking up: depth 0 at the ground, 1 at the casters' top.
    const glm::vec3 below = origin + across * middle.x + along * middle.y;
    const glm::mat4 view = glm::lookAt(below, below + up, along);
    const glm::mat4 viewProjection = glm::ortho(-half, half, -half, half, 0.0f, height) * view;

    for (RenderTarget* target : {&context.contactTarget, &context.contactScratch}) {
        if (auto failure = context.ensureTarget(*target, kContactMapSize, kContactMapSize, 1, GL_RGBA8, true))
            return failure;
    }
    const auto& gl = frame.gl;
    auto program = context.namedProgram("shadow_depth", "contact_depth");
    if (!program) return program.error();
    GpuProgram& p = **program;
    gl.BindFramebuffer(GL_FRAMEBUFFER, context.contactTarget.framebuffer.id());
    gl.Viewport(0, 0, kContactMapSize, kContactMapSize);
    gl.ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    gl.DepthMask(GL_TRUE);
    gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gl.Enable(GL_DEPTH_TEST);
    gl.DepthFunc(GL_LESS);
    gl.Disable(GL_BLEND);
    gl.Disable(GL_CULL_FACE);
    gl.UseProgram(p.program.id());
    for (const std::size_t index : casters) {
        const DrawItem& item = frame.plan.items[index];
        gl.UniformMatrix4fv(uniform(gl, p, "uLightTransform"), 1, GL_FALSE,
                            glm::value_ptr(viewProjection * item.world));
        if (auto failure = frame.drawer.drawElement(item)) return failure;
    }
    gl.Disable(GL_DEPTH_TEST);
    // Seen from below, a product covers only its footprint: the blur spreads it out from under the
    // product (three rounds of a nine-tap Gaussian four texels apart, both ways).
    const float texel = 4.0f / static_cast<float>(kContactMapSize);
    for (int round = 0; round < 3; ++round) {
        if (auto failure = blur(frame, context.contactTarget, context.contactScratch, {texel, 0.0f}))
            return failure;
        if (auto failure = blur(frame, context.contactScratch, context.contactTarget, {0.0f, texel}))
            return failure;
    }
    // The ground quad (−1…1 in its XZ plane) over the map's square, raised a hair above the ground.
    context.contactShadowQuad = glm::mat4(glm::vec4(across * half, 0.0f), glm::vec4(up, 0.0f),
                                          glm::vec4(along * half, 0.0f),
                                          glm::vec4(below + up * (height * 1e-2f), 1.0f));
    context.contactShadowMap = viewProjection;
    context.contactShadowReady = true;
    frame.profile.mark("contact shadow");
    return std::nullopt;
}

std::optional<Error> drawContactShadow(Frame& frame) {
    auto& context = frame.context;
    if (!context.contactShadowReady) return std::nullopt;
    const auto& gl = frame.gl;
    auto program = context.namedProgram("contact_shadow", "contact_shadow");
    if (!program) return program.error();
    GpuProgram& p = **program;
    gl.UseProgram(p.program.id());
    gl.UniformMatrix4fv(uniform(gl, p, "uModel"), 1, GL_FALSE, glm::value_ptr(context.contactShadowQuad));
    gl.UniformMatrix4fv(uniform(gl, p, "uViewProjection"), 1, GL_FALSE,
                        glm::value_ptr(frame.plan.pass.viewProjection));
    gl.UniformMatrix4fv(uniform(gl, p, "uMapTransform"), 1, GL_FALSE, glm::value_ptr(context.contactShadowMap));
    gl.Uniform1f(uniform(gl, p, "uStrength"), kContactStrength);
    gl.ActiveTexture(GL_TEXTURE0 + kShadowUnit);
    gl.BindTexture(GL_TEXTURE_2D, context.contactTarget.color.id());
    gl.Uniform1i(uniform(gl, p, "uMap"), kShadowUnit);
    gl.Enable(GL_DEPTH_TEST);
    gl.DepthFunc(GL_LEQUAL);
    gl.DepthMask(GL_FALSE);
    gl.Disable(GL_CULL_FACE);
    gl.Enable(GL_BLEND);
    gl.BlendEquation(GL_FUNC_ADD);
    gl.BlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);
    DrawItem quad;
    quad.geometry = context.floorQuad.get();
    if (auto failure = frame.drawer.drawElement(quad)) return failure;
    gl.Disable(GL_BLEND);
    gl.DepthMask(GL_TRUE);
    return std::nullopt;
}

}  // namespace vantrel::detail
