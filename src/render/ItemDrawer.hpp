#pragma once

// The draws every pass makes: an item with the scene program, an item's bare element under a
// pass's own program, a full-screen quad, flat-coloured lines and triangles. Private to the renderer.

#include <optional>
#include <vector>

#include "render/FramePlan.hpp"

namespace vantrel::detail {

/// Draws for one frame, counting draw calls and triangles into the frame's result.
struct ItemDrawer {
    RenderContext::Impl& context;
    const GlFunctions& gl;
    FrameResult& result;

    /// The model matrix of an item; endless floors are a large square centred under the camera.
    [[nodiscard]] glm::mat4 modelMatrix(const DrawItem& item, const PassState& pass) const;
    /// The geometry drawn for an item (an endless floor's is a unit quad).
    [[nodiscard]] const SCNGeometry& drawnGeometry(const DrawItem& item) const;

    /// Draws an item with its material through the scene program; `reflectionPass` draws it into a
    /// floor's mirror image (clipped at the floor).
    [[nodiscard]] std::optional<Error> drawItem(const DrawItem& item, const PassState& pass, bool reflectionPass);
    /// Draws an item's element with whatever program and state are set.
    [[nodiscard]] std::optional<Error> drawElement(const DrawItem& item);
    /// Draws a quad over the whole target with whatever program is set.
    void drawQuad();
    /// Draws `points` (pairs for lines, triples for triangles) in one flat colour through
    /// `viewProjection`.
    [[nodiscard]] std::optional<Error> drawFlat(const std::vector<glm::vec3>& points, GLenum mode,
                                                const glm::mat4& viewProjection, const glm::vec4& color);

private:
    [[nodiscard]] LightList lightsFor(const DrawItem& item, const glm::mat4& model, const PassState& pass) const;
    void setTransform(GpuProgram& p, const glm::mat4& model, const PassState& pass);
    void setSurface(GpuProgram& p, const DrawItem& item);
    void setLights(GpuProgram& p, const LightList& lights);
    void setSlots(GpuProgram& p, const DrawItem& item);
    void bindMap(GpuProgram& p, std::size_t slot, const SCNMaterialProperty& property, const GpuTexture& map);
    void setLayers(GpuProgram& p, const DrawItem& item, FeatureBits features);
    void setEnvironment(GpuProgram& p, const PassState& pass);
    void setReflection(GpuProgram& p, const DrawItem& item, const PassState& pass);
    void setClipPlane(GpuProgram& p, const PassState& pass);
    void applyFixedFunction(const DrawItem& item, const PassState& pass);
};

}  // namespace vantrel::detail
