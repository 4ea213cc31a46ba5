#pragma once

// What a render context holds: the device, the upload caches, the programs and the frame targets.
// Private to the renderer.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <glm/mat4x4.hpp>

#include "render/GlDevice.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/graph/SCNViewProjection.hpp"
#include "vantrel/graph/UIColor.hpp"
#include "vantrel/graph/UIImage.hpp"
#include "vantrel/render/RenderContext.hpp"
#include "vantrel/render/SCNView.hpp"

namespace vantrel {

class SCNScene;
class SCNMaterial;
class SCNMaterialProperty;

namespace detail {

/// A mesh on the GPU: interleaved vertices, one index buffer, one range per element.
struct GpuMesh {
    std::weak_ptr<const SCNGeometry::Mesh> source;
    GlObject vertexArray;
    GlObject vertices;
    GlObject indices;
    std::vector<std::pair<std::size_t, std::size_t>> elements;  // first index, index count
    GLenum indexType = GL_UNSIGNED_INT;
};

/// An image on the GPU.
struct GpuTexture {
    std::weak_ptr<UIImage> source;
    GlObject texture;
    bool hasAlpha = false;
    int levels = 1;
};

/// A lighting environment made ready once per image (EnvironmentMaps.cpp): the radiance prefiltered
/// per roughness in the texture's mip levels (perceptual roughness = lod / maxLod) and the irradiance.
struct GpuEnvironment {
    std::weak_ptr<UIImage> source;
    GlObject texture;
    float maxLod = 0.0f;
    glm::vec3 irradiance[9]{};
};

/// A linked program and its uniform locations, looked up once per name.
struct GpuProgram {
    GlObject program;
    std::unordered_map<const char*, GLint> locations;
    std::unordered_map<std::string, GLint> namedLocations;
};

/// A colour texture with a framebuffer and (optionally) a depth buffer.
struct RenderTarget {
    GlObject framebuffer;
    GlObject color;
    GlObject depth;
    int width = 0;
    int height = 0;
    int samples = 0;
    GLenum format = 0;
};

/// What one frame draws and how.
struct FrameRequest {
    const SCNScene* scene = nullptr;
    const SCNNode* pointOfView = nullptr;
    const SCNViewProjection* projection = nullptr;
    int width = 1;
    int height = 1;
    UIColor background;
    const SCNTechnique* technique = nullptr;
    int samples = 4;
    SCNDebugOptions debugOptions = SCNDebugOptions::none;
    SCNToneMapping toneMapping = SCNToneMapping::neutral;
    float exposure = 0.0f;  // stops
    bool showsStatistics = false;
    bool defaultLighting = false;
    bool toWindow = false;
    SCNRenderStatistics previous;
    int reflectionDivisor = 2;    // a floor's mirror image is drawn at 1/divisor of the picture's size
    float overlayDotSize = 2.0f;  // pixels of one dot of the statistics' font
};

struct ShadowPlan;

/// What one frame cost.
struct FrameResult {
    std::size_t drawCalls = 0;
    std::size_t triangles = 0;
};

}  // namespace detail

struct RenderContext::Impl {
    std::unique_ptr<RenderSurface> surface;
    detail::GlDevice device;
    std::size_t meshUploads = 0;
    std::size_t textureUploads = 0;
    std::uint64_t frames = 0;
    float maxAnisotropy = 1.0f;
    GLint maxSamples = 1;

    std::unordered_map<const void*, detail::GpuMesh> meshes;
    std::map<std::pair<const void*, bool>, detail::GpuTexture> textures;
    std::unordered_map<const void*, detail::GpuEnvironment> environments;
    detail::GlObject brdfLut;  // the split-sum table, made on first use
    std::unordered_map<std::uint64_t, detail::GpuProgram> scenePrograms;
    std::map<std::string, detail::GpuProgram> namedPrograms;
    std::map<std::string, std::string> shaderSources;
    std::shared_ptr<SCNGeometry> floorQuad;
    std::shared_ptr<SCNGeometry> unitCube;
    detail::GlObject quadArray;
    detail::GlObject quadVertices;
    detail::GlObject overlayArray;
    detail::GlObject overlayVertices;

    // Colour targets store sRGB-encoded bytes and are read and blended in linear light
    // (GL_FRAMEBUFFER_SRGB): 8-bit unorm targets are what software rasterisers draw fastest, and the
    // finished picture needs no encoding pass of its own.
    detail::RenderTarget sceneTarget;       // multisampled colour + depth (only with more than one sample)
    detail::RenderTarget colorTarget;       // the picture ("COLOR"); with one sample the scene is drawn into it
    detail::RenderTarget colorScratch;      // "COLOR" while a pass reads and writes it
    detail::RenderTarget reflectionTarget;  // the mirrored scene under a floor
    detail::RenderTarget transmissionTarget;  // the opaque picture, mipmapped, for transmissive items
    std::map<std::string, detail::RenderTarget> techniqueTargets;
    std::map<std::string, detail::RenderTarget> techniqueScratch;

    ~Impl();
    /// Drops every GL object (the context must be current).
    void releaseAll();
    /// Drops uploads whose source is gone.
    void purge();

    [[nodiscard]] std::optional<Error> renderFrame(const detail::FrameRequest& request, detail::FrameResult& result);
    [[nodiscard]] std::shared_ptr<UIImage> readBack(int width, int height);

    // Pieces of a frame (FrameRenderer.cpp).
    detail::GpuMesh& mesh(const SCNGeometry& geometry);
    detail::GpuTexture* texture(const std::shared_ptr<UIImage>& image, bool srgb);
    detail::GpuEnvironment* environment(const std::shared_ptr<UIImage>& image);
    /// The split-sum table of the environment BRDF (RG16F), made once per context.
    GLuint environmentBrdfLut();
    Expected<detail::GpuProgram*> sceneProgram(std::uint64_t features);
    Expected<detail::GpuProgram*> namedProgram(const std::string& vertex, const std::string& fragment);
    /// The text of a shader resource with its `#include "name"` lines expanded.
    Expected<std::string> shaderSource(const std::string& file, int depth = 0);
    Expected<std::string> expandIncludes(const std::string& source, int depth);
    std::optional<Error> ensureTarget(detail::RenderTarget& target, int width, int height, int samples, GLenum format,
                                      bool depth);

    // Shadows (ShadowPass.cpp): the key light's depth map (a depth texture in `depth`, no colour),
    // and the plan it holds, which spares drawing it again while nothing it shows changes.
    detail::RenderTarget shadowTarget;
    std::shared_ptr<detail::ShadowPlan> shadowPlan;
    // The contact shadow instead (ContactShadowPass.cpp): its map and a scratch target for the blur,
    // the ground quad's model matrix, the map's view and whether this frame has one.
    detail::RenderTarget contactTarget;
    detail::RenderTarget contactScratch;
    glm::mat4 contactShadowQuad{1.0f};
    glm::mat4 contactShadowMap{1.0f};
    bool contactShadowReady = false;
};

namespace detail {
/// The location of uniform `name` (a string literal: cached by its address).
GLint uniform(const GlFunctions& gl, GpuProgram& program, const char* name);
}  // namespace detail

}  // namespace vantrel
