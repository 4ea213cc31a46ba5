#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <memory>
#include <string>

#include <glm/mat4x4.hpp>

namespace vantrel {

/// A fixed place in the world that a session tracks: an identifier and a world transform
/// (column 3 = translation). Shared by reference; a session replaces an anchor's values when it
/// updates it, and its identifier never changes.
class ARAnchor {
public:
    ARAnchor(std::string identifier, const glm::mat4& transform)
        : identifier_(std::move(identifier)), transform_(transform) {}
    virtual ~ARAnchor() = default;
    ARAnchor(const ARAnchor&) = default;
    ARAnchor& operator=(const ARAnchor&) = default;

    /// The anchor's identifier (a UUID string), unique within a session.
    [[nodiscard]] const std::string& identifier() const noexcept { return identifier_; }
    /// World from anchor.
    [[nodiscard]] const glm::mat4& transform() const noexcept { return transform_; }
    /// Sets the transform (sessions do this when the anchor moves).
    void setTransform(const glm::mat4& transform) noexcept { transform_ = transform; }

private:
    std::string identifier_;
    glm::mat4 transform_;
};

}  // namespace vantrel

#pragma GCC visibility pop
