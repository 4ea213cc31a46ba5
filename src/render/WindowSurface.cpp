#include <GLFW/glfw3.h>

#include <mutex>

#include "vantrel/render/RenderError.hpp"
#include "vantrel/render/RenderSurface.hpp"

namespace vantrel {
namespace {

// GLFW is initialised once per process for as long as a window exists.
std::mutex glfwMutex;
int glfwUsers = 0;

bool acquireGlfw(std::string& failure) {
    std::lock_guard lock(glfwMutex);
    if (glfwUsers == 0 && glfwInit() != GLFW_TRUE) {
        const char* description = nullptr;
        glfwGetError(&description);
        failure = description ? description : "GLFW could not start";
        return false;
    }
    ++glfwUsers;
    return true;
}

void releaseGlfw() {
    std::lock_guard lock(glfwMutex);
    if (--glfwUsers == 0) {
        glfwTerminate();
    }
}

}  // namespace

struct WindowSurface::Impl {
    GLFWwindow* window = nullptr;
    bool glfwHeld = false;
    std::string description;

    ~Impl() {
        if (window != nullptr) {
            if (glfwGetCurrentContext() == window) {
                glfwMakeContextCurrent(nullptr);
            }
            glfwDestroyWindow(window);
        }
        if (glfwHeld) {
            releaseGlfw();
        }
    }
};

Expected<std::unique_ptr<WindowSurface>> WindowSurface::make(int width, int height, const std::string& title) {
    auto impl = std::make_unique<Impl>();
    std::string failure;
    if (!acquireGlfw(failure)) {
        return makeRenderError(RenderErrorCode::displayUnavailable, failure);
    }
    impl->glfwHeld = true;
    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_CLIENT_API, GLFW_OPENGL_API);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_TRUE);
    impl->window = glfwCreateWindow(width > 0 ? width : 1, height > 0 ? height : 1, title.c_str(), nullptr, nullptr);
    if (impl->window == nullptr) {
        const char* description = nullptr;
        glfwGetError(&description);
        return makeRenderError(RenderErrorCode::contextCreationFailed,
                               description ? description : "the window could not be created");
    }
    glfwMakeContextCurrent(impl->window);
    glfwSwapInterval(0);
    using GetString = const unsigned char* (*)(unsigned int);
    if (auto getString = reinterpret_cast<GetString>(glfwGetProcAddress("glGetString"))) {
        const unsigned char* version = getString(0x1F02 /* GL_VERSION */);
        impl->description = version ? reinterpret_cast<const char*>(version) : "?";
    }
    return std::unique_ptr<WindowSurface>(new WindowSurface(std::move(impl)));
}

WindowSurface::WindowSurface(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
WindowSurface::~WindowSurface() = default;

bool WindowSurface::makeCurrent() {
    if (glfwGetCurrentContext() != impl_->window) {
        glfwMakeContextCurrent(impl_->window);
    }
    return glfwGetCurrentContext() == impl_->window;
}

void* WindowSurface::procAddress(const char* name) const { return reinterpret_cast<void*>(glfwGetProcAddress(name)); }

CGSize WindowSurface::drawableSize() const {
    int width = 0;
    int height = 0;
    glfwGetFramebufferSize(impl_->window, &width, &height);
    return {static_cast<double>(width), static_cast<double>(height)};
}

void WindowSurface::present() { glfwSwapBuffers(impl_->window); }

std::string WindowSurface::description() const { return impl_->description; }

bool WindowSurface::shouldClose() const { return glfwWindowShouldClose(impl_->window) == GLFW_TRUE; }

void WindowSurface::pollEvents() { glfwPollEvents(); }

void WindowSurface::waitEvents(std::chrono::duration<double> timeout) {
    if (timeout.count() > 0.0) {
        glfwWaitEventsTimeout(timeout.count());
    } else {
        glfwPollEvents();
    }
}

void* WindowSurface::nativeHandle() const noexcept { return impl_->window; }

}  // namespace vantrel
