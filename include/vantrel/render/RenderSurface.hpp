#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <chrono>
#include <memory>
#include <string>

#include "vantrel/core/Expected.hpp"
#include "vantrel/graph/CGSize.hpp"

namespace vantrel {

/// Where a renderer's OpenGL context comes from, and where finished frames go.
///
/// A surface owns one OpenGL 3.3 (or later) core context. The renderer always draws into its own
/// framebuffers; a window surface then shows the finished frame, an offscreen surface only keeps it
/// for reading back. Surfaces hold foreign handles (EGL display and context, GLFW window): they are
/// move-less and destroyed through their owner, normally a `RenderContext`.
///
/// **Threads.** A context is current on one thread at a time; use a surface (and the view that owns
/// it) on the thread that owns the scene, normally the main thread.
class RenderSurface {
public:
    virtual ~RenderSurface() = default;
    RenderSurface(const RenderSurface&) = delete;
    RenderSurface& operator=(const RenderSurface&) = delete;

    /// Makes the surface's context current on the calling thread; false when the driver refuses.
    virtual bool makeCurrent() = 0;
    /// The address of a GL function of this context ("glGenBuffers"), or nullptr.
    [[nodiscard]] virtual void* procAddress(const char* name) const = 0;
    /// True when frames are only read back, never shown.
    [[nodiscard]] virtual bool isOffscreen() const noexcept = 0;
    /// Size in pixels of the default framebuffer that `present` shows; (0, 0) offscreen.
    [[nodiscard]] virtual CGSize drawableSize() const = 0;
    /// Shows the default framebuffer (swaps buffers); nothing offscreen.
    virtual void present() {}
    /// A short description of the driver's context, for logs ("4.5 (Core Profile) Mesa …").
    [[nodiscard]] virtual std::string description() const = 0;

protected:
    RenderSurface() = default;
};

/// A context without any window through EGL's surfaceless platform (Mesa): works on servers and in
/// CI with no display. Sets EGL_PLATFORM=surfaceless for the process when it is not set.
class OffscreenSurface final : public RenderSurface {
public:
    /// A new context; an Error (domain "Render") when EGL or the driver cannot give one.
    [[nodiscard]] static Expected<std::unique_ptr<OffscreenSurface>> make();
    ~OffscreenSurface() override;

    bool makeCurrent() override;
    [[nodiscard]] void* procAddress(const char* name) const override;
    [[nodiscard]] bool isOffscreen() const noexcept override { return true; }
    [[nodiscard]] CGSize drawableSize() const override { return {}; }
    [[nodiscard]] std::string description() const override;

    struct Impl;

private:
    explicit OffscreenSurface(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

/// A window of the window system through GLFW (needs an X server; Xvfb in tests).
class WindowSurface final : public RenderSurface {
public:
    /// A new visible window of `width` × `height` pixels with `title`; an Error (domain "Render")
    /// when there is no window system or the driver refuses the context.
    [[nodiscard]] static Expected<std::unique_ptr<WindowSurface>> make(int width, int height, const std::string& title);
    ~WindowSurface() override;

    bool makeCurrent() override;
    [[nodiscard]] void* procAddress(const char* name) const override;
    [[nodiscard]] bool isOffscreen() const noexcept override { return false; }
    [[nodiscard]] CGSize drawableSize() const override;
    void present() override;
    [[nodiscard]] std::string description() const override;

    /// True once the user asked to close the window.
    [[nodiscard]] bool shouldClose() const;
    /// Handles pending window-system events (input, resizes, close requests) without waiting.
    void pollEvents();
    /// Handles window-system events, waiting up to `timeout` for the first one: a host loop that
    /// has nothing to draw sleeps here instead of spinning.
    void waitEvents(std::chrono::duration<double> timeout);
    /// The GLFW window, for hosts that install their own input callbacks.
    [[nodiscard]] void* nativeHandle() const noexcept;

    struct Impl;

private:
    explicit WindowSurface(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace vantrel

#pragma GCC visibility pop
