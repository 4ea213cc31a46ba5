#pragma once

// A fingerprint of everything a view's picture depends on, so that a view draws only when it would
// draw something new. Private to the renderer.

#include <cstdint>
#include <cstring>

#include <glm/mat4x4.hpp>

namespace vantrel {
class SCNNode;
class SCNScene;
}  // namespace vantrel

namespace vantrel::detail {

/// A running 64-bit hash (FNV-1a over the bytes given).
class FrameSignature {
public:
    /// Adds the bytes of a plain value.
    template <typename T>
    FrameSignature& add(const T& value) noexcept {
        unsigned char bytes[sizeof(T)];
        std::memcpy(bytes, &value, sizeof(T));
        for (unsigned char byte : bytes) {
            hash_ = (hash_ ^ byte) * 1099511628211ull;
        }
        return *this;
    }
    /// Adds what a scene shows from `pointOfView`: every shown node's presented world transform,
    /// opacity and category, and the change stamps of its geometry, materials, light and camera, plus
    /// the scene's environment and background.
    FrameSignature& addScene(const SCNScene& scene, const SCNNode* pointOfView);

    [[nodiscard]] std::uint64_t value() const noexcept { return hash_; }

private:
    std::uint64_t hash_ = 14695981039346656037ull;
};

}  // namespace vantrel::detail
