#pragma once

// The OpenGL entry points the renderer uses, loaded at run time through the surface's loader
// (eglGetProcAddress or glfwGetProcAddress). Private to the renderer.

#include <GL/glcorearb.h>

#include <functional>
#include <string>
#include <vector>

namespace vantrel::detail {

#define VANTREL_GL_FUNCTIONS(X)                                                \
    X(PFNGLGETERRORPROC, GetError)                                             \
    X(PFNGLGETSTRINGPROC, GetString)                                           \
    X(PFNGLGETINTEGERVPROC, GetIntegerv)                                       \
    X(PFNGLGETFLOATVPROC, GetFloatv)                                           \
    X(PFNGLENABLEPROC, Enable)                                                 \
    X(PFNGLDISABLEPROC, Disable)                                               \
    X(PFNGLVIEWPORTPROC, Viewport)                                             \
    X(PFNGLCLEARCOLORPROC, ClearColor)                                         \
    X(PFNGLCLEARPROC, Clear)                                                   \
    X(PFNGLDEPTHMASKPROC, DepthMask)                                           \
    X(PFNGLDEPTHFUNCPROC, DepthFunc)                                           \
    X(PFNGLBLENDFUNCSEPARATEPROC, BlendFuncSeparate)                           \
    X(PFNGLBLENDEQUATIONPROC, BlendEquation)                                   \
    X(PFNGLCULLFACEPROC, CullFace)                                             \
    X(PFNGLFRONTFACEPROC, FrontFace)                                           \
    X(PFNGLCOLORMASKPROC, ColorMask)                                           \
    X(PFNGLLINEWIDTHPROC, LineWidth)                                           \
    X(PFNGLFINISHPROC, Finish)                                                 \
    X(PFNGLSCISSORPROC, Scissor)                                               \
    X(PFNGLGENBUFFERSPROC, GenBuffers)                                         \
    X(PFNGLDELETEBUFFERSPROC, DeleteBuffers)                                   \
    X(PFNGLBINDBUFFERPROC, BindBuffer)                                         \
    X(PFNGLBUFFERDATAPROC, BufferData)                                         \
    X(PFNGLGENVERTEXARRAYSPROC, GenVertexArrays)                               \
    X(PFNGLDELETEVERTEXARRAYSPROC, DeleteVertexArrays)                         \
    X(PFNGLBINDVERTEXARRAYPROC, BindVertexArray)                               \
    X(PFNGLENABLEVERTEXATTRIBARRAYPROC, EnableVertexAttribArray)               \
    X(PFNGLVERTEXATTRIBPOINTERPROC, VertexAttribPointer)                       \
    X(PFNGLVERTEXATTRIB4FPROC, VertexAttrib4f)                                 \
    X(PFNGLGENTEXTURESPROC, GenTextures)                                       \
    X(PFNGLDELETETEXTURESPROC, DeleteTextures)                                 \
    X(PFNGLBINDTEXTUREPROC, BindTexture)                                       \
    X(PFNGLACTIVETEXTUREPROC, ActiveTexture)                                   \
    X(PFNGLTEXIMAGE2DPROC, TexImage2D)                                         \
    X(PFNGLTEXPARAMETERIPROC, TexParameteri)                                   \
    X(PFNGLTEXPARAMETERFPROC, TexParameterf)                                   \
    X(PFNGLTEXPARAMETERFVPROC, TexParameterfv)                                 \
    X(PFNGLGENERATEMIPMAPPROC, GenerateMipmap)                                 \
    X(PFNGLPIXELSTOREIPROC, PixelStorei)                                       \
    X(PFNGLGENFRAMEBUFFERSPROC, GenFramebuffers)                               \
    X(PFNGLDELETEFRAMEBUFFERSPROC, DeleteFramebuffers)                         \
    X(PFNGLBINDFRAMEBUFFERPROC, BindFramebuffer)                               \
    X(PFNGLFRAMEBUFFERTEXTURE2DPROC, FramebufferTexture2D)                     \
    X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, FramebufferRenderbuffer)               \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, CheckFramebufferStatus)                 \
    X(PFNGLBLITFRAMEBUFFERPROC, BlitFramebuffer)                               \
    X(PFNGLDRAWBUFFERSPROC, DrawBuffers)                                       \
    X(PFNGLREADBUFFERPROC, ReadBuffer)                                         \
    X(PFNGLREADPIXELSPROC, ReadPixels)                                         \
    X(PFNGLGENRENDERBUFFERSPROC, GenRenderbuffers)                             \
    X(PFNGLDELETERENDERBUFFERSPROC, DeleteRenderbuffers)                       \
    X(PFNGLBINDRENDERBUFFERPROC, BindRenderbuffer)                             \
    X(PFNGLRENDERBUFFERSTORAGEMULTISAMPLEPROC, RenderbufferStorageMultisample) \
    X(PFNGLCREATESHADERPROC, CreateShader)                                     \
    X(PFNGLSHADERSOURCEPROC, ShaderSource)                                     \
    X(PFNGLCOMPILESHADERPROC, CompileShader)                                   \
    X(PFNGLGETSHADERIVPROC, GetShaderiv)                                       \
    X(PFNGLGETSHADERINFOLOGPROC, GetShaderInfoLog)                             \
    X(PFNGLDELETESHADERPROC, DeleteShader)                                     \
    X(PFNGLCREATEPROGRAMPROC, CreateProgram)                                   \
    X(PFNGLATTACHSHADERPROC, AttachShader)                                     \
    X(PFNGLBINDATTRIBLOCATIONPROC, BindAttribLocation)                         \
    X(PFNGLLINKPROGRAMPROC, LinkProgram)                                       \
    X(PFNGLGETPROGRAMIVPROC, GetProgramiv)                                     \
    X(PFNGLGETPROGRAMINFOLOGPROC, GetProgramInfoLog)                           \
    X(PFNGLDELETEPROGRAMPROC, DeleteProgram)                                   \
    X(PFNGLUSEPROGRAMPROC, UseProgram)                                         \
    X(PFNGLGETUNIFORMLOCATIONPROC, GetUniformLocation)                         \
    X(PFNGLUNIFORM1IPROC, Uniform1i)                                           \
    X(PFNGLUNIFORM1FPROC, Uniform1f)                                           \
    X(PFNGLUNIFORM2FPROC, Uniform2f)                                           \
    X(PFNGLUNIFORM3FPROC, Uniform3f)                                           \
    X(PFNGLUNIFORM4FPROC, Uniform4f)                                           \
    X(PFNGLUNIFORM3FVPROC, Uniform3fv)                                         \
    X(PFNGLUNIFORM4FVPROC, Uniform4fv)                                         \
    X(PFNGLUNIFORMMATRIX3FVPROC, UniformMatrix3fv)                             \
    X(PFNGLUNIFORMMATRIX4FVPROC, UniformMatrix4fv)                             \
    X(PFNGLDRAWELEMENTSPROC, DrawElements)                                     \
    X(PFNGLDRAWARRAYSPROC, DrawArrays)

/// A table of GL entry points. Every member is filled by `load`, or the load fails.
struct GlFunctions {
#define VANTREL_GL_MEMBER(type, name) type name = nullptr;
    VANTREL_GL_FUNCTIONS(VANTREL_GL_MEMBER)
#undef VANTREL_GL_MEMBER

    /// Looks up a GL function by its full name ("glGenBuffers"); nullptr when unknown.
    using Loader = std::function<void*(const char* name)>;

    /// Fills the table; returns the names the loader did not know (empty on success).
    std::vector<std::string> load(const Loader& loader);
};

}  // namespace vantrel::detail
