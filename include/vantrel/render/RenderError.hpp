#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <string>

#include "vantrel/core/Error.hpp"

namespace vantrel {

/// Why the renderer could not do what was asked. Errors of the renderer carry the domain "Render"
/// and one of these as their code.
enum class RenderErrorCode : long {
    displayUnavailable = 1,     ///< No EGL display or no window system (no X server for a window).
    contextCreationFailed = 2,  ///< The driver refused an OpenGL 3.3 core context.
    functionsMissing = 3,       ///< The context lacks GL entry points the renderer needs.
    shaderFailed = 4,           ///< A shader did not load, compile or link.
    framebufferIncomplete = 5,  ///< A render target could not be made.
    fileWriteFailed = 6,        ///< An image file could not be written.
    invalidTechnique = 7,       ///< A technique dictionary is malformed.
};

/// The error domain of the renderer.
inline constexpr const char* kRenderErrorDomain = "Render";

/// A renderer error with `code` and a developer-facing `message`.
[[nodiscard]] inline Error makeRenderError(RenderErrorCode code, std::string message) {
    return Error(kRenderErrorDomain, static_cast<long>(code), std::move(message));
}

}  // namespace vantrel

#pragma GCC visibility pop
