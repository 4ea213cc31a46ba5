#include "adapters/ar/markers/PoseFilter.hpp"

#include <algorithm>
#include <cmath>

#include <glm/glm.hpp>

namespace vantrel::detail {
namespace {

// The blend weight of a first-order low-pass filter of cut-off `hertz` over `seconds`.
double smoothing(double hertz, double seconds) {
    const double tau = 1.0 / (2.0 * M_PI * hertz);
    return 1.0 / (1.0 + tau / seconds);
}

double degreesBetween(const glm::dquat& a, const glm::dquat& b) {
    return glm::degrees(2.0 * std::acos(std::min(1.0, std::abs(glm::dot(a, b)))));
}

}  // namespace

glm::dmat4 PoseFilter::apply(const glm::dmat4& measured, double timestamp) {
    const glm::dvec3 position(measured[3]);
    const glm::dquat orientation = glm::normalize(glm::quat_cast(glm::dmat3(measured)));
    if (state_) {
        double seconds = timestamp - state_->timestamp;
        if (!(seconds > 0.0) || seconds > 1.0) seconds = settings_.frameInterval;
        const double moved = glm::length(position - state_->position);
        const double turned = degreesBetween(orientation, state_->orientation);
        if (moved <= settings_.resetDistance && turned <= settings_.resetDegrees) {
            State& s = *state_;
            const double rates = smoothing(settings_.speedCutoff, seconds);
            s.speed += rates * (moved / seconds - s.speed);
            s.turnRate += rates * (turned / seconds - s.turnRate);
            const double cutoff =
                settings_.minimumCutoff + settings_.speedCutoffGain * s.speed + settings_.turnCutoffGain * s.turnRate;
            const double weight = smoothing(cutoff, seconds);
            s.position += weight * (position - s.position);
            s.orientation = glm::normalize(glm::slerp(s.orientation, orientation, weight));
            s.timestamp = timestamp;
            glm::dmat4 out = glm::mat4_cast(s.orientation);
            out[3] = glm::dvec4(s.position, 1.0);
            return out;
        }
    }
    state_ = State{position, orientation, 0.0, 0.0, timestamp};
    return measured;
}

}  // namespace vantrel::detail
