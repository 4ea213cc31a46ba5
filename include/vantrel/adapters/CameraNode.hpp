#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <memory>
#include <optional>

#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNVector3.hpp"

namespace vantrel {

/// The orbiting camera rig of the canvas.
///
/// The rig's position is the point the camera looks at and orbits; its orientation is the orbit.
/// `cameraLens`, its only child, carries a perspective camera at a distance from that centre and is
/// constrained to look at the rig. Turning the rig orbits the camera, scaling the lens offset zooms
/// and moving the rig pans. While a `groundNode` is set, the rig keeps the camera at least
/// `groundClearance` above the ground's world height; there are no other limits (no minimum or
/// maximum distance, no pitch range).
///
/// Create it with `make`. Like every node it belongs to the main thread; the canvas adapter owns it.
class CameraNode : public SCNNode {
    struct Token {};

public:
    /// Lowest allowed height of the camera above the ground node.
    static constexpr float groundClearance = 0.05f;
    /// Share of a turn added to the pitch correction after an orbit step.
    static constexpr float pitchClearance = 0.02f;
    /// Camera distance of a new rig.
    static constexpr float initialDistance = 1.3f;

    /// Use `make`: the lens's look-at constraint needs the rig owned by a std::shared_ptr.
    explicit CameraNode(Token);
    ~CameraNode() override;

    /// A new rig named "cameraOrbit": its lens "cameraLens" 1.3 from the centre, turned by a tenth of
    /// a turn in pitch and in yaw, looking at the centre.
    [[nodiscard]] static std::shared_ptr<CameraNode> make();

    /// The child that carries the camera; its local position is the camera's offset from the centre.
    [[nodiscard]] const std::shared_ptr<SCNNode>& cameraLens() const noexcept { return cameraLens_; }
    /// The ground the camera must stay above, or nullptr.
    [[nodiscard]] const std::shared_ptr<SCNNode>& groundNode() const noexcept { return groundNode_; }
    /// Sets or clears the ground constraint; nothing moves until the next operation.
    void setGroundNode(std::shared_ptr<SCNNode> ground) { groundNode_ = std::move(ground); }

    /// Sets the camera's distance from the centre, keeping the viewing direction (a lens at the centre
    /// stays there). A distance that is not positive is ignored: it would leave no direction to keep.
    void setDistance(float distance);
    /// The camera's distance from the centre.
    [[nodiscard]] float distance() const;
    /// Moves the orbit centre to `position` (in the rig's parent coordinates), then raises the rig when
    /// the camera would be under the ground clearance.
    void moveCenter(const SCNVector3& position);
    /// Divides the camera distance by `scale` (a pinch scale, which must be positive), and further
    /// when the camera would end under the ground clearance.
    void zoom(double scale);
    /// Orbits by fractions of a full turn (positive values turn in the negative sense): `x` about the
    /// rig's own horizontal axis (pitch), `y` about the parent's vertical axis (yaw); then lifts the
    /// camera back above the ground clearance by a pitch correction when needed.
    void rotate(float x, float y);

    /// The extra pitch, in radians, that lifts the camera by its deficit under the ground clearance;
    /// nothing without a ground or when the camera is high enough.
    [[nodiscard]] std::optional<float> groundPitchCorrection() const;
    /// The further factor to divide the distance by so the camera clears the ground; nothing without
    /// a ground or when the camera is high enough.
    [[nodiscard]] std::optional<float> groundZoomCorrection() const;

private:
    void setUp();
    /// How far the camera is under the ground clearance; nothing when it is not (or without ground).
    [[nodiscard]] std::optional<float> groundDeficit() const;

    std::shared_ptr<SCNNode> cameraLens_;
    std::shared_ptr<SCNNode> groundNode_;
};

}  // namespace vantrel

#pragma GCC visibility pop
