#pragma once

// The GL functions of one context and the single owner of every GL object made in it. Private to
// the renderer.

#include <array>
#include <cstddef>
#include <string>

#include "render/GlFunctions.hpp"
#include "vantrel/core/Expected.hpp"

namespace vantrel::detail {

class GlDevice;

/// Kinds of GL objects, each deleted by its own GL call.
enum class GlKind : std::size_t { buffer, vertexArray, texture, framebuffer, renderbuffer, program, count };

/// A move-only handle on one GL object. Destroying (or resetting) it hands the object back to the
/// device that made it, which alone deletes GL objects. A handle must not outlive its device.
class GlObject {
public:
    GlObject() = default;
    GlObject(GlDevice* device, GlKind kind, GLuint id) noexcept : device_(device), kind_(kind), id_(id) {}
    GlObject(GlObject&& other) noexcept { swap(other); }
    GlObject& operator=(GlObject&& other) noexcept {
        if (this != &other) {
            reset();
            swap(other);
        }
        return *this;
    }
    GlObject(const GlObject&) = delete;
    GlObject& operator=(const GlObject&) = delete;
    ~GlObject() { reset(); }

    [[nodiscard]] GLuint id() const noexcept { return id_; }
    explicit operator bool() const noexcept { return id_ != 0; }
    /// Deletes the object now.
    void reset() noexcept;

private:
    void swap(GlObject& other) noexcept {
        std::swap(device_, other.device_);
        std::swap(kind_, other.kind_);
        std::swap(id_, other.id_);
    }

    GlDevice* device_ = nullptr;
    GlKind kind_ = GlKind::buffer;
    GLuint id_ = 0;
};

/// The functions of one GL context and the count of the objects alive in it. The device logs the
/// objects still alive when it is destroyed: a leak in the renderer's bookkeeping.
class GlDevice {
public:
    GlDevice() = default;
    GlDevice(const GlDevice&) = delete;
    GlDevice& operator=(const GlDevice&) = delete;
    ~GlDevice();

    /// Loads the functions; an Error (functionsMissing) names the first missing ones.
    [[nodiscard]] std::optional<Error> load(const GlFunctions::Loader& loader);

    [[nodiscard]] const GlFunctions& gl() const noexcept { return gl_; }

    /// A new object of `kind` (programs are made by `program`).
    [[nodiscard]] GlObject create(GlKind kind);
    /// Compiles and links a program from vertex and fragment source; attribute locations are bound
    /// to the names aPosition 0, aNormal 1, aTexCoord0 2, aTexCoord1 3, aColor 4, aPos 0.
    [[nodiscard]] Expected<GlObject> program(const std::string& vertexSource, const std::string& fragmentSource,
                                             const std::string& label);
    /// The one place that deletes GL objects.
    void destroy(GlKind kind, GLuint id) noexcept;

    /// Objects of `kind` alive now.
    [[nodiscard]] std::size_t liveCount(GlKind kind) const noexcept { return live_[static_cast<std::size_t>(kind)]; }
    /// Objects of every kind alive now.
    [[nodiscard]] std::size_t liveCount() const noexcept;

private:
    GlFunctions gl_;
    std::array<std::size_t, static_cast<std::size_t>(GlKind::count)> live_{};
};

inline void GlObject::reset() noexcept {
    if (id_ != 0 && device_ != nullptr) {
        device_->destroy(kind_, id_);
    }
    id_ = 0;
    device_ = nullptr;
}

}  // namespace vantrel::detail
