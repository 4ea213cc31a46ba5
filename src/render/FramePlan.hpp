#pragma once

// A frame's plan: what the scene graph holds for one frame, read once, in the order it is drawn.
// Every pass of the frame works from the plan. Private to the renderer.

#include <cstdint>
#include <vector>

#include <glm/mat4x4.hpp>
#include <glm/vec2.hpp>
#include <glm/vec3.hpp>
#include <glm/vec4.hpp>

#include "render/RenderContextImpl.hpp"
#include "render/SceneFeatures.hpp"

namespace vantrel {
class SCNFloor;
class SCNLight;
}

namespace vantrel::detail {

constexpr int kMaxLights = 8;

/// The lights of a frame (or of one draw), ready for the scene program's uniforms.
struct LightList {
    int count = 0;
    glm::vec4 vector[kMaxLights];  // direction towards the light (w 0) or position (w 1)
    glm::vec3 color[kMaxLights];
    glm::vec4 spot[kMaxLights];   // spot direction and cosine of the outer angle; w −2 for no spot
    // cosine of the inner angle, attenuation start (−1: inverse-square fall-off), end, falloff
    glm::vec4 shape[kMaxLights];
    std::uint64_t mask[kMaxLights];
    const SCNLight* source[kMaxLights]{};  // the graph's light (none for the default light)
    glm::vec3 ambient{0.0f};
    std::uint64_t ambientMask = ~std::uint64_t{0};

    /// The lights that reach nodes of `category`.
    [[nodiscard]] LightList reaching(std::uint64_t category) const;
    /// These lights on a flat surface facing `normal`, with the directional ones added to the
    /// ambient light: what they give a surface without highlights does not depend on the place.
    /// Lights that cast shadows stay apart: their shadows do depend on it.
    [[nodiscard]] LightList foldingDirectional(const glm::vec3& normal) const;
    /// Adds light `i` of `from`.
    void append(const LightList& from, int i);
};

/// One element of one node's geometry, as the frame draws it.
struct DrawItem {
    const SCNGeometry* geometry = nullptr;
    const SCNMaterial* material = nullptr;
    MaterialKey key;
    std::size_t element = 0;
    glm::mat4 world{1.0f};
    float opacity = 1.0f;
    std::uint64_t category = 1;
    float depth = 0.0f;  // of the box's centre along the view direction (negative in front)
    bool transparent = false;
    bool castsShadow = true;  // the node's
    bool transmissive = false;  // shows the opaque picture behind it: drawn after the opaque items
    const SCNFloor* floor = nullptr;
};

struct ShadowPlan;

/// What every draw of the scene program in one pass shares besides the item itself.
struct PassState {
    glm::mat4 viewProjection{1.0f};
    glm::vec3 camera{0.0f};
    const LightList* lights = nullptr;
    GpuEnvironment* environment = nullptr;
    glm::vec3 environmentColor{0.0f};
    float environmentIntensity = 1.0f;
    bool mirrored = false;
    glm::vec4 clipPlane{0.0f};
    glm::vec2 falloff{0.0f};
    bool reflectionReady = false;
    glm::vec2 viewport{1.0f};
    float floorExtent = 100.0f;
    std::uint64_t toneMappingBits = 0;  // the view's tone mapping, in the scene program's feature bits
    float exposure = 1.0f;              // linear factor applied before tone mapping
    const ShadowPlan* shadow = nullptr;  // the key light's shadow map, when the frame has one
    bool transmissionReady = false;     // the opaque picture is copied for transmissive items
};

/// One frame of a scene, read from the graph.
struct FramePlan {
    FramePlan() = default;
    FramePlan(const FramePlan&) = delete;
    FramePlan& operator=(const FramePlan&) = delete;

    /// Opaque items in the order of the graph, then the transparent and transmissive ones from far
    /// to near.
    std::vector<DrawItem> items;
    LightList lights;
    std::vector<glm::mat4> cameras;       // world transforms of the camera nodes
    std::vector<glm::mat4> lightMarkers;  // world transforms of the light nodes
    glm::mat4 view{1.0f};
    glm::mat4 projection{1.0f};
    PassState pass;              // of the scene pass; others derive theirs from it
    glm::vec4 clearColor{0.0f};  // the background, in linear light
};

/// Reads the frame `request` asks for from its scene into `plan` (empty; it stays where it is, as its
/// pass points at its lights). Uploads the materials' images on first use.
void planFrame(const FrameRequest& request, RenderContext::Impl& context, FramePlan& plan);

}  // namespace vantrel::detail
