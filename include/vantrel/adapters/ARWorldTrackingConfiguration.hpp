#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <cstdint>

namespace vantrel {

/// Which kinds of planes a session looks for, combined as bits.
enum class ARPlaneDetection : std::uint32_t {
    none = 0,
    horizontal = 1u << 0,  ///< Floors, tables.
    vertical = 1u << 1,    ///< Walls.
};
[[nodiscard]] constexpr ARPlaneDetection operator|(ARPlaneDetection a, ARPlaneDetection b) {
    return static_cast<ARPlaneDetection>(static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b));
}
[[nodiscard]] constexpr bool contains(ARPlaneDetection set, ARPlaneDetection option) {
    return (static_cast<std::uint32_t>(set) & static_cast<std::uint32_t>(option)) != 0;
}

/// How a session builds the environment's reflections.
enum class AREnvironmentTexturing {
    none = 0,
    manual = 1,
    automatic = 2,
};

/// Options of `ARSession::runWithConfiguration`, combined as bits.
enum class ARSessionRunOptions : std::uint32_t {
    none = 0,
    resetTracking = 1u << 0,          ///< Start tracking again from the first frame or a new origin.
    removeExistingAnchors = 1u << 1,  ///< Remove every anchor (each removal is reported).
};
[[nodiscard]] constexpr ARSessionRunOptions operator|(ARSessionRunOptions a, ARSessionRunOptions b) {
    return static_cast<ARSessionRunOptions>(static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b));
}
[[nodiscard]] constexpr bool contains(ARSessionRunOptions set, ARSessionRunOptions option) {
    return (static_cast<std::uint32_t>(set) & static_cast<std::uint32_t>(option)) != 0;
}

/// What a world-tracking session is asked to do: which planes to detect, whether to estimate the
/// light and how to texture the environment. A plain value.
struct ARWorldTrackingConfiguration {
    /// True when this build can track the world at all: every build can, through the replay and the
    /// marker sessions. Whether a given session can on this machine is `ARSession::isSupported`.
    [[nodiscard]] static bool isSupported() noexcept { return true; }

    ARPlaneDetection planeDetection = ARPlaneDetection::none;
    bool lightEstimationEnabled = true;
    AREnvironmentTexturing environmentTexturing = AREnvironmentTexturing::none;

    void setPlaneDetection(ARPlaneDetection detection) noexcept { planeDetection = detection; }
    void setLightEstimationEnabled(bool enabled) noexcept { lightEstimationEnabled = enabled; }
    void setEnvironmentTexturing(AREnvironmentTexturing texturing) noexcept { environmentTexturing = texturing; }
};

}  // namespace vantrel

#pragma GCC visibility pop
