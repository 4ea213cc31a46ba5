#include "render/GlDevice.hpp"

#include <numeric>

#include "vantrel/core/Log.hpp"
#include "vantrel/render/RenderError.hpp"

namespace vantrel::detail {
namespace {

constexpr const char* kKindNames[] = {"buffers",      "vertex arrays", "textures",
                                      "framebuffers", "renderbuffers", "programs"};

std::string shaderLog(const GlFunctions& gl, GLuint shader) {
    GLint length = 0;
    gl.GetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    std::string text(static_cast<std::size_t>(std::max(length, 1)), '\0');
    gl.GetShaderInfoLog(shader, length, nullptr, text.data());
    return text;
}

}  // namespace

GlDevice::~GlDevice() {
    if (liveCount() == 0) {
        return;
    }
    std::string leaks;
    for (std::size_t kind = 0; kind < live_.size(); ++kind) {
        if (live_[kind] != 0) {
            leaks += (leaks.empty() ? "" : ", ") + std::to_string(live_[kind]) + " " + kKindNames[kind];
        }
    }
    VLOG_WARNING("GL objects outlive their render context: " + leaks);
}

std::optional<Error> GlDevice::load(const GlFunctions::Loader& loader) {
    const std::vector<std::string> missing = gl_.load(loader);
    if (missing.empty()) {
        return std::nullopt;
    }
    std::string names;
    for (std::size_t i = 0; i < missing.size() && i < 5; ++i) {
        names += (i ? ", " : "") + missing[i];
    }
    return makeRenderError(RenderErrorCode::functionsMissing, "missing GL functions: " + names);
}

GlObject GlDevice::create(GlKind kind) {
    GLuint id = 0;
    switch (kind) {
        case GlKind::buffer: gl_.GenBuffers(1, &id); break;
        case GlKind::vertexArray: gl_.GenVertexArrays(1, &id); break;
        case GlKind::texture: gl_.GenTextures(1, &id); break;
        case GlKind::framebuffer: gl_.GenFramebuffers(1, &id); break;
        case GlKind::renderbuffer: gl_.GenRenderbuffers(1, &id); break;
        case GlKind::program: id = gl_.CreateProgram(); break;
        case GlKind::count: break;
    }
    if (id != 0) {
        ++live_[static_cast<std::size_t>(kind)];
    }
    return GlObject(this, kind, id);
}

void GlDevice::destroy(GlKind kind, GLuint id) noexcept {
    switch (kind) {
        case GlKind::buffer: gl_.DeleteBuffers(1, &id); break;
        case GlKind::vertexArray: gl_.DeleteVertexArrays(1, &id); break;
        case GlKind::texture: gl_.DeleteTextures(1, &id); break;
        case GlKind::framebuffer: gl_.DeleteFramebuffers(1, &id); break;
        case GlKind::renderbuffer: gl_.DeleteRenderbuffers(1, &id); break;
        case GlKind::program: gl_.DeleteProgram(id); break;
        case GlKind::count: return;
    }
    --live_[static_cast<std::size_t>(kind)];
}

std::size_t GlDevice::liveCount() const noexcept { return std::accumulate(live_.begin(), live_.end(), std::size_t{0}); }

Expected<GlObject> GlDevice::program(const std::string& vertexSource, const std::string& fragmentSource,
                                     const std::string& label) {
    GLuint shaders[2] = {gl_.CreateShader(GL_VERTEX_SHADER), gl_.CreateShader(GL_FRAGMENT_SHADER)};
    const std::string* sources[2] = {&vertexSource, &fragmentSource};
    std::string failure;
    for (int i = 0; i < 2 && failure.empty(); ++i) {
        const char* text = sources[i]->c_str();
        gl_.ShaderSource(shaders[i], 1, &text, nullptr);
        gl_.CompileShader(shaders[i]);
        GLint ok = GL_FALSE;
        gl_.GetShaderiv(shaders[i], GL_COMPILE_STATUS, &ok);
        if (ok != GL_TRUE) {
            failure =
                std::string(i == 0 ? "vertex" : "fragment") + " shader of " + label + ": " + shaderLog(gl_, shaders[i]);
        }
    }
    GlObject program = create(GlKind::program);
    if (failure.empty()) {
        gl_.AttachShader(program.id(), shaders[0]);
        gl_.AttachShader(program.id(), shaders[1]);
        gl_.BindAttribLocation(program.id(), 0, "aPosition");
        gl_.BindAttribLocation(program.id(), 0, "aPos");
        gl_.BindAttribLocation(program.id(), 1, "aNormal");
        gl_.BindAttribLocation(program.id(), 2, "aTexCoord0");
        gl_.BindAttribLocation(program.id(), 3, "aTexCoord1");
        gl_.BindAttribLocation(program.id(), 4, "aColor");
        gl_.LinkProgram(program.id());
        GLint ok = GL_FALSE;
        gl_.GetProgramiv(program.id(), GL_LINK_STATUS, &ok);
        if (ok != GL_TRUE) {
            GLint length = 0;
            gl_.GetProgramiv(program.id(), GL_INFO_LOG_LENGTH, &length);
            std::string text(static_cast<std::size_t>(std::max(length, 1)), '\0');
            gl_.GetProgramInfoLog(program.id(), length, nullptr, text.data());
            failure = "program " + label + ": " + text;
        }
    }
    gl_.DeleteShader(shaders[0]);
    gl_.DeleteShader(shaders[1]);
    if (!failure.empty()) {
        return makeRenderError(RenderErrorCode::shaderFailed, failure);
    }
    return program;
}

}  // namespace vantrel::detail
