#pragma once

#include <optional>

#include <glm/gtc/quaternion.hpp>
#include <glm/mat4x4.hpp>

namespace vantrel::detail {

/// Smooths a camera pose measured frame by frame: a One-Euro filter (Casiez, Roussel, Vogel 2012)
/// on the position and, with the same rule, a spherical blend on the orientation. A still camera's
/// measurement noise is smoothed away; as the camera moves faster the cut-off frequency rises, so a
/// moving camera is followed without noticeable lag; a jump larger than the reset limits (a new view
/// of the board after it was lost, a fast turn) is taken as measured.
class PoseFilter {
public:
    struct Settings {
        double minimumCutoff = 0.4;   ///< Hz, for a still camera.
        double speedCutoffGain = 25;  ///< Hz per metre per second.
        double turnCutoffGain = 0.1;  ///< Hz per degree per second.
        double speedCutoff = 1.0;     ///< Hz, smoothing of the speeds themselves.
        double resetDistance = 0.05;  ///< Metres.
        double resetDegrees = 5.0;
        double frameInterval = 1.0 / 30.0;  ///< Seconds, when timestamps do not advance.
    };

    PoseFilter() = default;
    explicit PoseFilter(Settings settings) : settings_(settings) {}

    /// The smoothed pose for `measured` (world from camera, rigid) taken at `timestamp` seconds.
    [[nodiscard]] glm::dmat4 apply(const glm::dmat4& measured, double timestamp);
    /// Forgets the past: the next pose is taken as measured.
    void reset() noexcept { state_.reset(); }

private:
    struct State {
        glm::dvec3 position{0.0};
        glm::dquat orientation{1.0, 0.0, 0.0, 0.0};
        double speed = 0.0;     // metres per second, smoothed
        double turnRate = 0.0;  // degrees per second, smoothed
        double timestamp = 0.0;
    };
    Settings settings_;
    std::optional<State> state_;
};

}  // namespace vantrel::detail
