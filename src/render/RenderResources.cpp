// Uploads and caches of a render context: meshes, images, programs, targets (environments: EnvironmentMaps.cpp).

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include <glm/geometric.hpp>

#include "render/RenderContextImpl.hpp"
#include "render/SceneFeatures.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/ResourceBundle.hpp"
#include "vantrel/render/RenderError.hpp"

namespace vantrel {
namespace detail {

GLint uniform(const GlFunctions& gl, GpuProgram& program, const char* name) {
    const auto it = program.locations.find(name);
    if (it != program.locations.end()) {
        return it->second;
    }
    const GLint location = gl.GetUniformLocation(program.program.id(), name);
    program.locations.emplace(name, location);
    return location;
}

namespace {

// Interleaved vertex: position, normal, two texture-coordinate sets.
struct Vertex {
    glm::vec3 position;
    glm::vec3 normal;
    glm::vec2 uv0;
    glm::vec2 uv1;
    glm::vec4 color;
};

// Normals for meshes that come without: each vertex gets the area-weighted sum of its faces'.
std::vector<glm::vec3> computeNormals(const SCNGeometrySource& source,
                                      const std::vector<SCNGeometryElement>& elements) {
    std::vector<glm::vec3> normals(source.vertices.size(), glm::vec3(0.0f));
    for (const auto& element : elements) {
        for (std::size_t i = 0; i + 2 < element.indices.size(); i += 3) {
            const auto a = element.indices[i];
            const auto b = element.indices[i + 1];
            const auto c = element.indices[i + 2];
            const glm::vec3 n =
                glm::cross(source.vertices[b] - source.vertices[a], source.vertices[c] - source.vertices[a]);
            normals[a] += n;
            normals[b] += n;
            normals[c] += n;
        }
    }
    for (auto& n : normals) {
        const float length = glm::length(n);
        n = length > 0.0f ? n / length : glm::vec3(0.0f, 1.0f, 0.0f);
    }
    return normals;
}

}  // namespace
}  // namespace detail

using namespace detail;

RenderContext::Impl::~Impl() {
    if (surface && surface->makeCurrent()) {
        releaseAll();
    }
}

void RenderContext::Impl::releaseAll() {
    meshes.clear();
    textures.clear();
    environments.clear();
    brdfLut = GlObject{};
    scenePrograms.clear();
    namedPrograms.clear();
    quadArray.reset();
    quadVertices.reset();
    overlayArray.reset();
    overlayVertices.reset();
    for (RenderTarget* target : {&sceneTarget, &colorTarget, &colorScratch, &reflectionTarget, &shadowTarget,
                                  &contactTarget, &contactScratch, &transmissionTarget}) {
        *target = RenderTarget{};
    }
    techniqueTargets.clear();
    techniqueScratch.clear();
}

void RenderContext::Impl::purge() {
    std::erase_if(meshes, [](const auto& entry) { return entry.second.source.expired(); });
    std::erase_if(textures, [](const auto& entry) { return entry.second.source.expired(); });
    std::erase_if(environments, [](const auto& entry) { return entry.second.source.expired(); });
}

GpuMesh& RenderContext::Impl::mesh(const SCNGeometry& geometry) {
    const auto& source = geometry.mesh();
    auto it = meshes.find(source.get());
    if (it != meshes.end() && !it->second.source.expired()) {
        return it->second;
    }
    // New, or a different mesh at the address of one that is gone.
    const auto& gl = device.gl();
    GpuMesh entry;
    entry.source = source;
    const SCNGeometrySource& data = geometry.source();
    const std::vector<glm::vec3> computed = data.normals.size() == data.vertices.size()
                                                ? std::vector<glm::vec3>{}
                                                : computeNormals(data, geometry.elements());
    const auto& normals = computed.empty() ? data.normals : computed;
    std::vector<Vertex> vertices(data.vertices.size());
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        vertices[i].position = data.vertices[i];
        vertices[i].normal = normals[i];
        if (!data.textureCoordinates.empty()) {
            vertices[i].uv0 = data.textureCoordinates[0][i];
            vertices[i].uv1 = data.textureCoordinates.size() > 1 ? data.textureCoordinates[1][i] : vertices[i].uv0;
        }
        vertices[i].color = data.colors.size() == vertices.size() ? data.colors[i] : glm::vec4(1.0f);
    }
    // 16-bit indices when every element allows them (half the memory and bandwidth), else 32-bit.
    const bool narrow = std::all_of(geometry.elements().begin(), geometry.elements().end(),
                                    [](const SCNGeometryElement& element) { return element.bytesPerIndex == 2; });
    std::vector<std::uint32_t> indices;
    for (const auto& element : geometry.elements()) {
        entry.elements.emplace_back(indices.size(), element.indices.size() / 3 * 3);
        indices.insert(indices.end(), element.indices.begin(),
                       element.indices.begin() + static_cast<std::ptrdiff_t>(element.indices.size() / 3 * 3));
    }
    std::vector<std::uint16_t> shortIndices;
    if (narrow) {
        shortIndices.assign(indices.begin(), indices.end());
    }
    entry.indexType = narrow ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT;
    entry.vertexArray = device.create(GlKind::vertexArray);
    entry.vertices = device.create(GlKind::buffer);
    entry.indices = device.create(GlKind::buffer);
    gl.BindVertexArray(entry.vertexArray.id());
    gl.BindBuffer(GL_ARRAY_BUFFER, entry.vertices.id());
    gl.BufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(Vertex)), vertices.data(),
                  GL_STATIC_DRAW);
    gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, entry.indices.id());
    if (narrow) {
        gl.BufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(shortIndices.size() * sizeof(std::uint16_t)),
                      shortIndices.data(), GL_STATIC_DRAW);
    } else {
        gl.BufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices.size() * sizeof(std::uint32_t)),
                      indices.data(), GL_STATIC_DRAW);
    }
    const auto attribute = [&](GLuint index, GLint size, std::size_t offset) {
        gl.EnableVertexAttribArray(index);
        gl.VertexAttribPointer(index, size, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<const void*>(offset));
    };
    attribute(0, 3, offsetof(Vertex, position));
    attribute(1, 3, offsetof(Vertex, normal));
    attribute(2, 2, offsetof(Vertex, uv0));
    attribute(3, 2, offsetof(Vertex, uv1));
    attribute(4, 4, offsetof(Vertex, color));
    gl.BindVertexArray(0);
    ++meshUploads;
    auto& slot = meshes[source.get()];
    slot = std::move(entry);
    return slot;
}

GpuTexture* RenderContext::Impl::texture(const std::shared_ptr<UIImage>& image, bool srgb) {
    if (!image) {
        return nullptr;
    }
    const auto key = std::make_pair(static_cast<const void*>(image.get()), srgb);
    auto it = textures.find(key);
    if (it != textures.end() && !it->second.source.expired()) {
        return &it->second;
    }
    const std::size_t count = static_cast<std::size_t>(std::max(image->width(), 0)) *
                              static_cast<std::size_t>(std::max(image->height(), 0)) * 4;
    const bool floating = image->pixelFormat() == UIImagePixelFormat::rgba32Float;
    const auto& pixels = image->rgba();
    if (count == 0 || (floating ? image->rgbaFloat().size() : pixels.size()) < count) {
        return nullptr;
    }
    const auto& gl = device.gl();
    GpuTexture entry;
    entry.source = image;
    entry.texture = device.create(GlKind::texture);
    for (std::size_t i = 3; !floating && i < pixels.size(); i += 4) {
        if (pixels[i] != 255) {
            entry.hasAlpha = true;
            break;
        }
    }
    gl.BindTexture(GL_TEXTURE_2D, entry.texture.id());
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (floating) {
        // Linear light beyond 1 (float images): kept as it is, never sRGB-decoded.
        gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA16F, image->width(), image->height(), 0, GL_RGBA, GL_FLOAT,
                      image->rgbaFloat().data());
    } else {
        gl.TexImage2D(GL_TEXTURE_2D, 0, srgb ? GL_SRGB8_ALPHA8 : GL_RGBA8, image->width(), image->height(), 0, GL_RGBA,
                      GL_UNSIGNED_BYTE, pixels.data());
    }
    gl.GenerateMipmap(GL_TEXTURE_2D);
    entry.levels = 1 + static_cast<int>(std::floor(std::log2(std::max(image->width(), image->height()))));
    ++textureUploads;
    auto& slot = textures[key];
    slot = std::move(entry);
    return &slot;
}

Expected<std::string> RenderContext::Impl::shaderSource(const std::string& file, int depth) {
    const auto cached = shaderSources.find(file);
    if (cached != shaderSources.end()) {
        return cached->second;
    }
    const auto bundle = ResourceBundle::locate();
    if (!bundle) {
        return makeRenderError(RenderErrorCode::shaderFailed, "no resource bundle holds the shaders");
    }
    if (file.find("..") != std::string::npos || file.find('/') != std::string::npos) {
        return makeRenderError(RenderErrorCode::shaderFailed, "shader names are plain file names: " + file);
    }
    std::ifstream in(bundle->path("shaders/" + file), std::ios::binary);
    if (!in) {
        return makeRenderError(RenderErrorCode::shaderFailed, "shader resource not found: " + file);
    }
    std::ostringstream text;
    text << in.rdbuf();
    auto expanded = expandIncludes(text.str(), depth);
    if (!expanded) {
        return expanded.error();
    }
    shaderSources.emplace(file, *expanded);
    return *expanded;
}

// Replaces each line `#include "name"` with that resource's text (itself expanded), so that shader
// files can share pieces; GLSL has no includes of its own.
Expected<std::string> RenderContext::Impl::expandIncludes(const std::string& source, int depth) {
    constexpr int kMaxIncludeDepth = 4;
    constexpr std::string_view kDirective = "#include \"";
    std::string out;
    std::size_t at = 0;
    while (at < source.size()) {
        std::size_t end = source.find('\n', at);
        end = end == std::string::npos ? source.size() : end + 1;
        const std::string_view line(source.data() + at, end - at);
        if (line.starts_with(kDirective)) {
            const std::size_t close = line.find('"', kDirective.size());
            if (close == std::string_view::npos || depth >= kMaxIncludeDepth) {
                return makeRenderError(RenderErrorCode::shaderFailed, "bad include: " + std::string(line));
            }
            auto included = shaderSource(std::string(line.substr(kDirective.size(), close - kDirective.size())), depth + 1);
            if (!included) {
                return included.error();
            }
            out += *included;
            if (!out.empty() && out.back() != '\n') {
                out += '\n';
            }
        } else {
            out.append(line);
        }
        at = end;
    }
    return out;
}

Expected<GpuProgram*> RenderContext::Impl::namedProgram(const std::string& vertex, const std::string& fragment) {
    const std::string key = vertex + "|" + fragment;
    if (auto it = namedPrograms.find(key); it != namedPrograms.end()) {
        return &it->second;
    }
    auto vertexSource = shaderSource(vertex + ".vert");
    if (!vertexSource) {
        return vertexSource.error();
    }
    auto fragmentSource = shaderSource(fragment + ".frag");
    if (!fragmentSource) {
        return fragmentSource.error();
    }
    const std::string header = "#version 330 core\n";
    auto linked = device.program(header + *vertexSource, header + *fragmentSource, key);
    if (!linked) {
        return linked.error();
    }
    GpuProgram& program = namedPrograms[key];
    program.program = std::move(linked).value();
    return &program;
}

Expected<GpuProgram*> RenderContext::Impl::sceneProgram(std::uint64_t features) {
    if (auto it = scenePrograms.find(features); it != scenePrograms.end()) {
        return &it->second;
    }
    auto vertexSource = shaderSource("scene.vert");
    if (!vertexSource) {
        return vertexSource.error();
    }
    auto fragmentSource = shaderSource("scene.frag");
    if (!fragmentSource) {
        return fragmentSource.error();
    }
    const std::string header = "#version 330 core\n" + featureDefines(features);
    auto linked = device.program(header + *vertexSource, header + *fragmentSource, "scene " + std::to_string(features));
    if (!linked) {
        return linked.error();
    }
    GpuProgram& program = scenePrograms[features];
    program.program = std::move(linked).value();
    return &program;
}

std::optional<Error> RenderContext::Impl::ensureTarget(RenderTarget& target, int width, int height, int samples,
                                                       GLenum format, bool depth) {
    if (target.framebuffer && target.width == width && target.height == height && target.samples == samples &&
        target.format == format && static_cast<bool>(target.depth) == depth) {
        return std::nullopt;
    }
    const auto& gl = device.gl();
    target = RenderTarget{};
    target.width = width;
    target.height = height;
    target.samples = samples;
    target.format = format;
    target.framebuffer = device.create(GlKind::framebuffer);
    gl.BindFramebuffer(GL_FRAMEBUFFER, target.framebuffer.id());
    if (samples > 1) {
        target.color = device.create(GlKind::renderbuffer);
        gl.BindRenderbuffer(GL_RENDERBUFFER, target.color.id());
        gl.RenderbufferStorageMultisample(GL_RENDERBUFFER, samples, format, width, height);
        gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, target.color.id());
    } else {
        target.color = device.create(GlKind::texture);
        gl.BindTexture(GL_TEXTURE_2D, target.color.id());
        const bool floating = format == GL_RGBA16F;
        gl.TexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), width, height, 0, GL_RGBA,
                      floating ? GL_HALF_FLOAT : GL_UNSIGNED_BYTE, nullptr);
        gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target.color.id(), 0);
    }
    if (depth) {
        target.depth = device.create(GlKind::renderbuffer);
        gl.BindRenderbuffer(GL_RENDERBUFFER, target.depth.id());
        gl.RenderbufferStorageMultisample(GL_RENDERBUFFER, samples > 1 ? samples : 0, GL_DEPTH_COMPONENT24, width,
                                          height);
        gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, target.depth.id());
    }
    const GLenum status = gl.CheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        target = RenderTarget{};
        return makeRenderError(RenderErrorCode::framebufferIncomplete,
                               "render target " + std::to_string(width) + "x" + std::to_string(height) +
                                   " is incomplete (status 0x" + std::to_string(status) + ")");
    }
    return std::nullopt;
}

// ----- RenderContext -----

Expected<std::unique_ptr<RenderContext>> RenderContext::make(std::unique_ptr<RenderSurface> surface) {
    if (!surface) {
        auto offscreen = OffscreenSurface::make();
        if (!offscreen) {
            return offscreen.error();
        }
        surface = std::move(offscreen).value();
    }
    auto impl = std::make_unique<Impl>();
    impl->surface = std::move(surface);
    if (!impl->surface->makeCurrent()) {
        return makeRenderError(RenderErrorCode::contextCreationFailed, "the surface's context cannot be made current");
    }
    RenderSurface* raw = impl->surface.get();
    if (auto failure = impl->device.load([raw](const char* name) { return raw->procAddress(name); })) {
        return *failure;
    }
    const auto& gl = impl->device.gl();
    gl.GetIntegerv(GL_MAX_SAMPLES, &impl->maxSamples);
    GLfloat anisotropy = 1.0f;
    gl.GetFloatv(0x84FF /* GL_MAX_TEXTURE_MAX_ANISOTROPY */, &anisotropy);
    gl.GetError();  // a context without anisotropic filtering reports an invalid enum here
    impl->maxAnisotropy = std::max(1.0f, anisotropy);
    VLOG_DEBUG("render context: " + impl->surface->description());
    return std::unique_ptr<RenderContext>(new RenderContext(std::move(impl)));
}

RenderContext::RenderContext(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
RenderContext::~RenderContext() = default;

RenderSurface& RenderContext::surface() noexcept { return *impl_->surface; }

RenderContext::ResourceUsage RenderContext::resourceUsage() const noexcept {
    return {impl_->device.liveCount(), impl_->meshes.size(), impl_->textures.size(), impl_->meshUploads,
            impl_->textureUploads};
}

void RenderContext::purge() {
    if (impl_->surface->makeCurrent()) {
        impl_->purge();
    }
}

void RenderContext::releaseAll() {
    if (impl_->surface->makeCurrent()) {
        impl_->releaseAll();
    }
}

}  // namespace vantrel
