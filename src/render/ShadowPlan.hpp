#pragma once

// The shadow map of a frame: which light casts it, how that light sees the items that cast shadows,
// and what the scene program needs to read it. Private to the renderer.
//
// One light casts per frame: the first light that casts shadows and reaches an item (a product's key
// light). Its map is fitted to the bounds of the casting items as the light sees them:
//
//   directional  an orthographic view along the light's rays
//   spot         a perspective view from the light's position towards the casters
//   omni         an orthographic view from the light's position towards the casters' centre: a point
//                light well above a product sends nearly parallel rays over it, and one map is far
//                cheaper than the six of a cube map
//
// Floors and shadow catchers receive shadows but cast none; every other item casts unless its node
// says otherwise.

#include <cstddef>
#include <vector>

#include "render/FramePlan.hpp"

namespace vantrel::detail {

/// The shadow map of one frame.
struct ShadowPlan {
    const SCNLight* light = nullptr;    ///< the light casting the shadows
    glm::vec4 lightVector{0.0f};        ///< as the light list holds it (finds the light in a draw's list)
    glm::mat4 viewProjection{1.0f};     ///< world to the map's clip space
    int size = 2048;                    ///< texels along each side of the map
    float radius = 3.0f;                ///< of the edge filter, in texels
    float texelSize = 0.0f;             ///< world size of a texel at the casters
    float depthPerWorld = 0.0f;         ///< map depth per world unit along the rays (0 for a perspective map)
    glm::vec4 color{0.0f, 0.0f, 0.0f, 1.0f};  ///< linear shadow colour; alpha the share of light it takes away
    std::vector<std::size_t> casters;   ///< indices of the casting items in the frame's plan
    std::size_t signature = 0;          ///< of what the map shows: equal signatures, equal maps
    GLuint texture = 0;                 ///< the depth texture holding the map
};

/// Whether `item` casts shadows (floors and shadow catchers never do).
[[nodiscard]] bool castsShadow(const DrawItem& item);

/// The world corners of the bounding boxes of the items of `plan` at `casters`.
[[nodiscard]] std::vector<glm::vec3> casterCorners(const FramePlan& plan, const std::vector<std::size_t>& casters);

/// Plans the shadow map of `plan` into `shadow`; false when no light that casts shadows reaches an
/// item or no item casts one.
[[nodiscard]] bool planShadow(const FramePlan& plan, ShadowPlan& shadow);

/// The feature bits the shadows add to a draw of `item` in `pass`: the shadow map for every item
/// outside the floor's mirror image in a frame that has one; the shadow-only bit for shadow catchers.
[[nodiscard]] FeatureBits shadowFeatures(const DrawItem& item, const PassState& pass, bool reflectionPass);

/// Binds the shadow map of `pass` and sets the scene program's shadow uniforms for a draw with
/// `lights` (the draw's own list).
void setShadow(const GlFunctions& gl, GpuProgram& program, const LightList& lights, const PassState& pass);

}  // namespace vantrel::detail
