// A technique's passes over the resolved picture ("COLOR"): each draws the scene's matching nodes or a
// full-screen quad into a named target. A pass whose shaders say how far they reach runs only over
// the part of its target where its inputs hold something (see TechniqueBounds.hpp).

#include <cmath>
#include <map>

#include <glm/gtc/type_ptr.hpp>

#include "render/TechniqueBounds.hpp"
#include "render/passes/Passes.hpp"
#include "vantrel/render/SCNTechnique.hpp"

namespace vantrel::detail {
namespace {

// Where a pass may change its output and what its output holds afterwards.
struct PassExtent {
    std::optional<UnitRect> region;               // unset: everywhere
    UnitRect written = UnitRect::everything();    // where the output may hold anything but zeros
    const RenderTarget* passedThrough = nullptr;  // copied into the output before a bounded "over" pass
    bool skipped = false;                         // the pass cannot change its output
};

class TechniqueRun {
public:
    TechniqueRun(Frame& frame, const SCNTechnique& technique)
        : frame_(frame), context_(frame.context), gl_(frame.gl), technique_(technique) {}

    std::optional<Error> run() {
        for (const std::string& name : technique_.sequence()) {
            if (auto failure = runPass(technique_.passes().at(name))) {
                return failure;
            }
            frame_.profile.mark(name.c_str());
        }
        return std::nullopt;
    }

private:
    std::optional<Error> runPass(const SCNTechniquePass& step) {
        bool readsOutput = false;
        for (const auto& [input, source] : step.inputs) {
            readsOutput = readsOutput || source == step.output;
        }
        auto output = targetFor(step.output, readsOutput);
        if (!output) {
            return output.error();
        }
        RenderTarget& out = **output;
        auto program = context_.namedProgram(step.vertexShader, step.fragmentShader);
        if (!program) {
            return program.error();
        }
        auto extent = extentOf(step, readsOutput, out);
        if (!extent) {
            return extent.error();
        }
        if (extent->skipped) {
            return std::nullopt;  // the output stays as it is
        }
        contents_[step.output] = extent->written;
        if (extent->passedThrough != nullptr) {
            copyRaw(*extent->passedThrough, out);
        }
        gl_.BindFramebuffer(GL_FRAMEBUFFER, out.framebuffer.id());
        gl_.Viewport(0, 0, out.width, out.height);
        gl_.UseProgram((*program)->program.id());
        if (auto failure = bindInputs(step, **program)) {
            return failure;
        }
        if (auto failure = draw(step, **program, *extent, out)) {
            return failure;
        }
        if (readsOutput) {
            // The pass drew into the scratch copy of its output, which now becomes the output.
            const bool color = step.output == "COLOR";
            std::swap(color ? context_.colorScratch : context_.techniqueScratch[step.output],
                      color ? context_.colorTarget : context_.techniqueTargets[step.output]);
        }
        return std::nullopt;
    }

    // The target named `name` (its scratch copy when the pass reads what it writes), made or resized
    // as the technique declares it.
    Expected<RenderTarget*> targetFor(const std::string& name, bool scratch) {
        if (name == "COLOR") {
            if (!scratch) {
                return &context_.colorTarget;
            }
            if (auto failure =
                    context_.ensureTarget(context_.colorScratch, frame_.width, frame_.height, 1, kPictureFormat, false))
                return *failure;
            return &context_.colorScratch;
        }
        int w = frame_.width;
        int h = frame_.height;
        if (const auto declared = technique_.targets().find(name); declared != technique_.targets().end()) {
            if (declared->second.width > 0) {
                w = declared->second.width;
                h = declared->second.height;
            } else {
                w = std::max(1, static_cast<int>(frame_.width * declared->second.scaleFactor));
                h = std::max(1, static_cast<int>(frame_.height * declared->second.scaleFactor));
            }
        }
        RenderTarget& target = scratch ? context_.techniqueScratch[name] : context_.techniqueTargets[name];
        if (auto failure = context_.ensureTarget(target, w, h, 1, GL_RGBA8, true)) return *failure;
        return &target;
    }

    bool isTarget(const std::string& name) const {
        return name == "COLOR" || technique_.targets().count(name) != 0 || context_.techniqueTargets.count(name) != 0;
    }

    // Where a target may hold anything but zeros; a target not seen yet may hold anything anywhere.
    UnitRect contentOf(const std::string& name) const {
        const auto it = contents_.find(name);
        return it == contents_.end() ? UnitRect::everything() : it->second;
    }

    ShaderBounds boundsOf(const std::string& file) {
        const auto source = context_.shaderSource(file);
        return source ? shaderBounds(*source) : ShaderBounds{};
    }

    Expected<PassExtent> extentOf(const SCNTechniquePass& step, bool readsOutput, const RenderTarget& out) {
        const ShaderBounds vertexBounds = boundsOf(step.vertexShader + ".vert");
        const ShaderBounds fragmentBounds = boundsOf(step.fragmentShader + ".frag");
        const bool quad = step.draw == SCNTechniquePass::Draw::quad;
        const bool fullscreen = vertexBounds.kind == ShaderBounds::Kind::fullscreen;
        if (!quad && vertexBounds.kind == ShaderBounds::Kind::projected && !readsOutput) {
            return sceneExtent(step, out);
        }
        if (quad && fullscreen && fragmentBounds.kind == ShaderBounds::Kind::local) {
            return localExtent(step, fragmentBounds, out);
        }
        if (quad && fullscreen && fragmentBounds.kind == ShaderBounds::Kind::over &&
            hasTargetInput(step, fragmentBounds.base) && hasTargetInput(step, fragmentBounds.mask)) {
            return overExtent(step, fragmentBounds, out);
        }
        return PassExtent{};
    }

    bool hasTargetInput(const SCNTechniquePass& step, const std::string& input) const {
        const auto it = step.inputs.find(input);
        return it != step.inputs.end() && isTarget(it->second);
    }

    bool drawsItem(const SCNTechniquePass& step, const DrawItem& item) const {
        return (item.category & step.includeCategoryMask) != 0 && (item.category & step.excludeCategoryMask) == 0;
    }

    // A scene pass draws inside the projected boxes of the nodes it draws (a floor: everywhere).
    PassExtent sceneExtent(const SCNTechniquePass& step, const RenderTarget& out) const {
        const PassState& pass = frame_.plan.pass;
        UnitRect drawn = UnitRect::nothing();
        for (const DrawItem& item : frame_.plan.items) {
            if (drawsItem(step, item)) {
                drawn = drawn.united(item.floor != nullptr
                                         ? UnitRect::everything()
                                         : projectedRect(frame_.drawer.drawnGeometry(item),
                                                         pass.viewProjection * frame_.drawer.modelMatrix(item, pass)));
            }
        }
        drawn = drawn.grown(1.0f, out.width, out.height);
        PassExtent extent;
        extent.written = step.clearColor ? drawn : drawn.united(contentOf(step.output));
        return extent;
    }

    // A local filter reaches its inputs' content and its reach around it.
    Expected<PassExtent> localExtent(const SCNTechniquePass& step, const ShaderBounds& bounds,
                                     const RenderTarget& out) {
        UnitRect reach = UnitRect::nothing();
        for (const auto& [input, source] : step.inputs) {
            if (technique_.isVertexSymbol(source) || !isTarget(source)) {
                continue;
            }
            auto target = targetFor(source, false);
            if (!target) {
                return target.error();
            }
            // One texel more for the filtering between texels.
            reach = reach.united(contentOf(source).grown(bounds.reach + 1.0f, (*target)->width, (*target)->height));
        }
        reach = reach.grown(1.0f, out.width, out.height);
        PassExtent extent;
        if (!reach.isEverything()) {
            extent.region = reach;
            extent.written = reach;
        }
        return extent;
    }

    // An "over" pass changes its base only where its mask holds something.
    Expected<PassExtent> overExtent(const SCNTechniquePass& step, const ShaderBounds& bounds, const RenderTarget& out) {
        const std::string& base = step.inputs.at(bounds.base);
        const std::string& mask = step.inputs.at(bounds.mask);
        auto baseTarget = targetFor(base, false);
        auto maskTarget = targetFor(mask, false);
        if (!baseTarget || !maskTarget) {
            return baseTarget ? maskTarget.error() : baseTarget.error();
        }
        const UnitRect reach =
            contentOf(mask).grown(1.0f, (*maskTarget)->width, (*maskTarget)->height).grown(1.0f, out.width, out.height);
        PassExtent extent;
        if ((*baseTarget)->width != out.width || (*baseTarget)->height != out.height || reach.isEverything()) {
            return extent;
        }
        if (reach.isEmpty() && base == step.output) {
            extent.skipped = true;
            return extent;
        }
        extent.passedThrough = *baseTarget;
        extent.region = reach;
        extent.written = contentOf(base).united(reach);
        return extent;
    }

    // A raw copy: the bytes as they are, not decoded and encoded again.
    void copyRaw(const RenderTarget& from, const RenderTarget& to) {
        gl_.Disable(GL_FRAMEBUFFER_SRGB);
        gl_.BindFramebuffer(GL_READ_FRAMEBUFFER, from.framebuffer.id());
        gl_.BindFramebuffer(GL_DRAW_FRAMEBUFFER, to.framebuffer.id());
        gl_.BlitFramebuffer(0, 0, to.width, to.height, 0, 0, to.width, to.height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        gl_.Enable(GL_FRAMEBUFFER_SRGB);
    }

    // Targets bound to texture units in the order of the inputs; symbols set as uniforms.
    std::optional<Error> bindInputs(const SCNTechniquePass& step, GpuProgram& p) {
        GLint unit = 0;
        for (const auto& [input, source] : step.inputs) {
            if (technique_.isVertexSymbol(source)) {
                continue;
            }
            auto location = p.namedLocations.find(input);
            if (location == p.namedLocations.end()) {
                location = p.namedLocations.emplace(input, gl_.GetUniformLocation(p.program.id(), input.c_str())).first;
            }
            if (!isTarget(source)) {
                setSymbol(location->second, source);
                continue;
            }
            auto target = targetFor(source, false);
            if (!target) {
                return target.error();
            }
            gl_.ActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
            gl_.BindTexture(GL_TEXTURE_2D, (*target)->color.id());
            gl_.Uniform1i(location->second, unit++);
        }
        return std::nullopt;
    }

    void setSymbol(GLint location, const std::string& symbol) {
        const auto value = technique_.valueForKeyPath(symbol);
        if (!value) {
            return;
        }
        if (const auto* number = std::get_if<double>(&*value)) {
            gl_.Uniform1f(location, static_cast<float>(*number));
        } else if (const auto* v3 = std::get_if<SCNVector3>(&*value)) {
            gl_.Uniform3f(location, v3->x, v3->y, v3->z);
        } else if (const auto* v4 = std::get_if<SCNVector4>(&*value)) {
            gl_.Uniform4f(location, v4->x, v4->y, v4->z, v4->w);
        } else if (const auto* m = std::get_if<glm::mat4>(&*value)) {
            gl_.UniformMatrix4fv(location, 1, GL_FALSE, glm::value_ptr(*m));
        }
    }

    std::optional<Error> draw(const SCNTechniquePass& step, GpuProgram& p, const PassExtent& extent,
                              const RenderTarget& out) {
        if (step.draw == SCNTechniquePass::Draw::scene) {
            return drawScene(step, p);
        }
        if (!extent.region) {
            if (step.clearColor) {
                clear();
            }
            frame_.drawer.drawQuad();
            return std::nullopt;
        }
        if (extent.passedThrough == nullptr) {
            clear();  // outside the region a "local" pass writes zeros
        }
        drawQuadIn(*extent.region, out);
        return std::nullopt;
    }

    std::optional<Error> drawScene(const SCNTechniquePass& step, GpuProgram& p) {
        const PassState& pass = frame_.plan.pass;
        gl_.ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        gl_.DepthMask(GL_TRUE);
        gl_.Clear((step.clearColor ? GL_COLOR_BUFFER_BIT : 0u) | GL_DEPTH_BUFFER_BIT);
        gl_.Enable(GL_DEPTH_TEST);
        gl_.Disable(GL_CULL_FACE);
        gl_.UniformMatrix4fv(uniform(gl_, p, "uViewProjection"), 1, GL_FALSE, glm::value_ptr(pass.viewProjection));
        for (const DrawItem& item : frame_.plan.items) {
            if (!drawsItem(step, item)) {
                continue;
            }
            const glm::mat4 model = frame_.drawer.modelMatrix(item, pass);
            gl_.UniformMatrix4fv(uniform(gl_, p, "uModel"), 1, GL_FALSE, glm::value_ptr(model));
            if (auto failure = frame_.drawer.drawElement(item)) return failure;
        }
        gl_.Disable(GL_DEPTH_TEST);
        return std::nullopt;
    }

    void clear() {
        gl_.ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        gl_.Clear(GL_COLOR_BUFFER_BIT);
    }

    void drawQuadIn(const UnitRect& region, const RenderTarget& out) {
        if (region.isEmpty()) {
            return;
        }
        const auto x0 = static_cast<GLint>(std::floor(region.lo.x * static_cast<float>(out.width)));
        const auto y0 = static_cast<GLint>(std::floor(region.lo.y * static_cast<float>(out.height)));
        const auto x1 = static_cast<GLint>(std::ceil(region.hi.x * static_cast<float>(out.width)));
        const auto y1 = static_cast<GLint>(std::ceil(region.hi.y * static_cast<float>(out.height)));
        gl_.Enable(GL_SCISSOR_TEST);
        gl_.Scissor(x0, y0, x1 - x0, y1 - y0);
        frame_.drawer.drawQuad();
        gl_.Disable(GL_SCISSOR_TEST);
    }

    Frame& frame_;
    RenderContext::Impl& context_;
    const GlFunctions& gl_;
    const SCNTechnique& technique_;
    std::map<std::string, UnitRect> contents_;
};

}  // namespace

std::optional<Error> runTechnique(Frame& frame, const SCNTechnique& technique) {
    return TechniqueRun(frame, technique).run();
}

}  // namespace vantrel::detail
