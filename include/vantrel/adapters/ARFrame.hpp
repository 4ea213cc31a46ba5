#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <memory>
#include <optional>
#include <vector>

#include <glm/vec3.hpp>

#include "vantrel/adapters/ARAnchor.hpp"
#include "vantrel/adapters/ARCamera.hpp"
#include "vantrel/graph/UIImage.hpp"

namespace vantrel {

/// The light a session estimates from a frame.
struct ARLightEstimate {
    /// Ambient intensity in lumens; 1000 is neutral (a well-lit room), 0 is black.
    double ambientIntensity = 1000.0;
    /// Colour temperature in kelvin; 6500 is neutral white.
    double ambientColorTemperature = 6500.0;
};

/// One captured moment of a session: the picture, the camera that took it, the light estimate when
/// light estimation is on, the world points the session tracks and the anchors known at that time.
/// Immutable once a session has delivered it; shared by reference.
struct ARFrame {
    /// Seconds since the session's clock origin.
    double timestamp = 0.0;
    /// The camera picture (RGBA, rows from the top), or nullptr when the session keeps none.
    std::shared_ptr<UIImage> capturedImage;
    /// The camera of this frame.
    ARCamera camera;
    /// The light estimate, when light estimation is on and the session has one.
    std::optional<ARLightEstimate> lightEstimate;
    /// World positions of surface points seen in this frame (for estimated planes in hit tests).
    std::vector<glm::vec3> rawFeaturePoints;
    /// The anchors the session tracks at this frame.
    std::vector<std::shared_ptr<ARAnchor>> anchors;
};

}  // namespace vantrel

#pragma GCC visibility pop
