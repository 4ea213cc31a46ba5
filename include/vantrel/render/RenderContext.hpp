#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <cstddef>
#include <memory>

#include "vantrel/core/Expected.hpp"
#include "vantrel/render/RenderSurface.hpp"

namespace vantrel {

/// The one owner of a GL context and of every GL object made in it: vertex and index buffers of the
/// meshes drawn, textures of the images shown, programs, render targets.
///
/// Uploads are cached by the identity of what they come from: a mesh (immutable once made) is
/// uploaded once however many nodes and frames show it, an image once per colour space; entries
/// whose mesh or image is gone are dropped at the next `purge` (and every few hundred frames).
/// Every GL object sits in a move-only handle and is deleted in one place; objects still alive when
/// the context goes are logged as leaks.
///
/// **Threads.** Use a context on the thread that owns the scenes it draws (normally the main
/// thread); it makes its surface current before each use.
class RenderContext {
public:
    /// A context on `surface`, or on a new offscreen (EGL surfaceless) surface when it is nullptr;
    /// an Error (domain "Render") when no context can be made or GL functions are missing.
    [[nodiscard]] static Expected<std::unique_ptr<RenderContext>> make(
        std::unique_ptr<RenderSurface> surface = nullptr);
    ~RenderContext();
    RenderContext(const RenderContext&) = delete;
    RenderContext& operator=(const RenderContext&) = delete;

    /// The surface frames are drawn for.
    [[nodiscard]] RenderSurface& surface() noexcept;

    /// What the context holds on the GPU, and how often it uploaded.
    struct ResourceUsage {
        std::size_t liveObjects = 0;     ///< GL objects alive (buffers, textures, programs, targets …).
        std::size_t cachedMeshes = 0;    ///< Meshes held on the GPU.
        std::size_t cachedTextures = 0;  ///< Images held on the GPU.
        std::size_t meshUploads = 0;     ///< Mesh uploads since the context was made.
        std::size_t textureUploads = 0;  ///< Image uploads since the context was made.
    };
    /// The current usage.
    [[nodiscard]] ResourceUsage resourceUsage() const noexcept;
    /// Drops the uploads whose mesh or image no longer exists.
    void purge();
    /// Drops every GL object the context made (the next frame makes what it needs again).
    void releaseAll();

    /// Private state of the renderer.
    struct Impl;
    [[nodiscard]] Impl& impl() noexcept { return *impl_; }

private:
    explicit RenderContext(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace vantrel

#pragma GCC visibility pop
