#include "vantrel/graph/SCNCamera.hpp"

#include <algorithm>
#include <cmath>

#include <glm/gtc/matrix_transform.hpp>

namespace vantrel {

void SCNCamera::setProjectionTransform(const glm::dmat4& projection) {
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            if (!std::isfinite(projection[c][r])) {
                return;
            }
        }
    }
    override_ = projection;
    revision_.bump();
}

glm::dmat4 SCNCamera::projectionTransform(double aspect, double zNear, double zFar) const {
    if (override_) {
        return *override_;
    }
    if (!(aspect > 0.0) || !std::isfinite(aspect)) {
        aspect = 1.0;
    }
    if (!(zNear > 0.0) || !std::isfinite(zNear)) {
        zNear = 0.001;
    }
    if (!(zFar > zNear) || !std::isfinite(zFar)) {
        zFar = zNear * 1000.0;
    }
    if (orthographic_) {
        const double halfHeight =
            (orthographicScale_ > 0.0 && std::isfinite(orthographicScale_)) ? orthographicScale_ : 1.0;
        const double halfWidth = halfHeight * aspect;
        return glm::ortho(-halfWidth, halfWidth, -halfHeight, halfHeight, zNear, zFar);
    }
    double degrees = fieldOfView_;
    if (!(degrees > 0.0 && degrees < 180.0)) {
        degrees = 60.0;
    }
    const double angle = glm::radians(degrees);
    // The field of view spans the height; for a horizontal one convert it to the vertical angle.
    const double vertical =
        direction_ == SCNCameraProjectionDirection::vertical ? angle : 2.0 * std::atan(std::tan(angle * 0.5) / aspect);
    return glm::perspective(vertical, aspect, zNear, zFar);
}

}  // namespace vantrel
