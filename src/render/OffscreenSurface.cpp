#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdlib>
#include <mutex>

#include "vantrel/core/Log.hpp"
#include "vantrel/render/RenderError.hpp"
#include "vantrel/render/RenderSurface.hpp"

namespace vantrel {
namespace {

// The EGL display is one per process; every offscreen surface shares it, and the last one to go
// terminates it.
struct SharedDisplay {
    std::mutex mutex;
    EGLDisplay display = EGL_NO_DISPLAY;
    int users = 0;
};

SharedDisplay& sharedDisplay() {
    static SharedDisplay shared;
    return shared;
}

EGLDisplay acquireDisplay(std::string& failure) {
    SharedDisplay& shared = sharedDisplay();
    std::lock_guard lock(shared.mutex);
    if (shared.users == 0) {
        // Without a platform, Mesa would look for X or Wayland first; surfaceless needs neither.
        setenv("EGL_PLATFORM", "surfaceless", 0);
        EGLDisplay display = EGL_NO_DISPLAY;
        const auto getPlatformDisplay =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (getPlatformDisplay != nullptr) {
            display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        }
        if (display == EGL_NO_DISPLAY) {
            display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
        }
        EGLint major = 0;
        EGLint minor = 0;
        if (display == EGL_NO_DISPLAY || eglInitialize(display, &major, &minor) != EGL_TRUE) {
            failure = "no EGL display (error 0x" + std::to_string(eglGetError()) + ")";
            return EGL_NO_DISPLAY;
        }
        shared.display = display;
    }
    ++shared.users;
    return shared.display;
}

void releaseDisplay() {
    SharedDisplay& shared = sharedDisplay();
    std::lock_guard lock(shared.mutex);
    if (--shared.users == 0) {
        eglTerminate(shared.display);
        shared.display = EGL_NO_DISPLAY;
    }
}

}  // namespace

struct OffscreenSurface::Impl {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    std::string description;

    ~Impl() {
        if (display == EGL_NO_DISPLAY) {
            return;
        }
        if (context != EGL_NO_CONTEXT) {
            if (eglGetCurrentContext() == context) {
                eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            }
            eglDestroyContext(display, context);
        }
        releaseDisplay();
    }
};

Expected<std::unique_ptr<OffscreenSurface>> OffscreenSurface::make() {
    auto impl = std::make_unique<Impl>();
    std::string failure;
    impl->display = acquireDisplay(failure);
    if (impl->display == EGL_NO_DISPLAY) {
        return makeRenderError(RenderErrorCode::displayUnavailable, failure);
    }
    if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) {
        return makeRenderError(RenderErrorCode::contextCreationFailed, "EGL has no desktop OpenGL");
    }
    // Surfaceless displays offer no window configurations: ask for any surface type.
    const EGLint configAttributes[] = {EGL_SURFACE_TYPE, 0, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (eglChooseConfig(impl->display, configAttributes, &config, 1, &count) != EGL_TRUE || count == 0) {
        return makeRenderError(RenderErrorCode::contextCreationFailed, "no EGL configuration for desktop OpenGL");
    }
    const EGLint contextAttributes[] = {
        EGL_CONTEXT_MAJOR_VERSION,           3,       EGL_CONTEXT_MINOR_VERSION, 3, EGL_CONTEXT_OPENGL_PROFILE_MASK,
        EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
    impl->context = eglCreateContext(impl->display, config, EGL_NO_CONTEXT, contextAttributes);
    if (impl->context == EGL_NO_CONTEXT) {
        return makeRenderError(RenderErrorCode::contextCreationFailed, "the driver refused an OpenGL 3.3 core context");
    }
    if (eglMakeCurrent(impl->display, EGL_NO_SURFACE, EGL_NO_SURFACE, impl->context) != EGL_TRUE) {
        return makeRenderError(RenderErrorCode::contextCreationFailed,
                               "the context cannot be made current without a surface");
    }
    using GetString = const unsigned char* (*)(unsigned int);
    if (auto getString = reinterpret_cast<GetString>(eglGetProcAddress("glGetString"))) {
        const unsigned char* version = getString(0x1F02 /* GL_VERSION */);
        const unsigned char* renderer = getString(0x1F01 /* GL_RENDERER */);
        impl->description = std::string(version ? reinterpret_cast<const char*>(version) : "?") + " on " +
                            (renderer ? reinterpret_cast<const char*>(renderer) : "?");
    }
    return std::unique_ptr<OffscreenSurface>(new OffscreenSurface(std::move(impl)));
}

OffscreenSurface::OffscreenSurface(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
OffscreenSurface::~OffscreenSurface() = default;

bool OffscreenSurface::makeCurrent() {
    if (eglGetCurrentContext() == impl_->context) {
        return true;
    }
    return eglMakeCurrent(impl_->display, EGL_NO_SURFACE, EGL_NO_SURFACE, impl_->context) == EGL_TRUE;
}

void* OffscreenSurface::procAddress(const char* name) const { return reinterpret_cast<void*>(eglGetProcAddress(name)); }

std::string OffscreenSurface::description() const { return impl_->description; }

}  // namespace vantrel
