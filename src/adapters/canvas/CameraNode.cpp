#include "vantrel/adapters/CameraNode.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <glm/gtc/quaternion.hpp>

#include "vantrel/graph/SCNCamera.hpp"
#include "vantrel/graph/SCNLookAtConstraint.hpp"

namespace vantrel {
namespace {

constexpr float twoPi = 2.0f * std::numbers::pi_v<float>;

glm::quat toQuat(const SCNQuaternion& q) { return {q.w, q.x, q.y, q.z}; }
SCNQuaternion fromQuat(const glm::quat& q) { return {q.x, q.y, q.z, q.w}; }

glm::quat aboutX(float angle) { return {std::cos(angle / 2.0f), std::sin(angle / 2.0f), 0.0f, 0.0f}; }
glm::quat aboutY(float angle) { return {std::cos(angle / 2.0f), 0.0f, std::sin(angle / 2.0f), 0.0f}; }

// acos of a ratio that rounding (or an orbit that cannot reach the clearance) may push past ±1.
float safeAcos(float ratio) { return std::acos(std::clamp(ratio, -1.0f, 1.0f)); }

}  // namespace

CameraNode::CameraNode(Token) : cameraLens_(SCNNode::make()) {}

CameraNode::~CameraNode() = default;

std::shared_ptr<CameraNode> CameraNode::make() {
    auto rig = std::make_shared<CameraNode>(Token{});
    rig->setUp();
    return rig;
}

void CameraNode::setUp() {
    auto camera = SCNCamera::make();
    camera->setUsesOrthographicProjection(false);
    camera->setAutomaticallyAdjustsZRange(true);
    camera->setZNear(0.01);
    cameraLens_->setName("cameraLens");
    cameraLens_->setCamera(camera);
    const SCNVector3 lens = cameraLens_->position();
    cameraLens_->setPosition({lens.x, lens.y, initialDistance});
    cameraLens_->setConstraints({SCNLookAtConstraint::make(shared_from_this())});
    setName("cameraOrbit");
    addChildNode(cameraLens_);
    rotate(0.1f, 0.1f);
    setDistance(initialDistance);
}

void CameraNode::setDistance(float distance) {
    // A zero offset has no direction left to scale, so a distance of zero (the radius of an empty
    // canvas) would keep the lens on the centre for good; such a distance is not taken.
    if (!(distance > 0.0f) || !std::isfinite(distance)) return;
    cameraLens_->setPosition(cameraLens_->position().normalized() * distance);
}

float CameraNode::distance() const { return cameraLens_->position().length(); }

void CameraNode::moveCenter(const SCNVector3& position) {
    setPosition(position);
    if (const auto deficit = groundDeficit()) {
        SCNVector3 raised = this->position();
        raised.y += *deficit;
        setPosition(raised);
    }
}

void CameraNode::zoom(double scale) {
    const auto factor = static_cast<float>(scale);
    setDistance(distance() / factor);
    if (const auto correction = groundZoomCorrection()) {
        setDistance(distance() / *correction);
    }
}

void CameraNode::rotate(float x, float y) {
    const glm::quat q = toQuat(orientation());
    const glm::quat pitched = q * aboutX(-twoPi * x);
    const glm::quat turned = aboutY(-twoPi * y) * pitched;
    setOrientation(fromQuat(turned));
    // The correction is an angle in radians plus the clearance's share of a turn. It turns against
    // the drag, which lifts the camera on either side of the top of the orbit; without a drag the
    // direction is open, so the one that lifts is taken. A correction worked out from the orbit's
    // height alone may fall short when the centre is off the ground, so it is repeated (a few times at
    // most) until the camera clears.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const auto correction = groundPitchCorrection();
        if (!correction) break;
        const float angle = *correction + twoPi * pitchClearance;
        const glm::quat current = toQuat(orientation());
        const float before = cameraLens_->worldPosition().y;
        setOrientation(fromQuat(current * aboutX(x >= 0.0f ? angle : -angle)));
        if (cameraLens_->worldPosition().y < before) {
            setOrientation(fromQuat(current * aboutX(x >= 0.0f ? -angle : angle)));
        }
    }
}

std::optional<float> CameraNode::groundDeficit() const {
    if (!groundNode_) {
        return std::nullopt;
    }
    const float camera = cameraLens_->worldPosition().y;
    const float limit = groundNode_->worldPosition().y + groundClearance;
    if (!(camera < limit)) {
        return std::nullopt;
    }
    return limit - camera;
}

std::optional<float> CameraNode::groundPitchCorrection() const {
    const auto deficit = groundDeficit();
    if (!deficit) {
        return std::nullopt;
    }
    const float rig = worldPosition().y;
    const float radius = distance();
    if (radius <= 0.0f) {
        return std::nullopt;
    }
    const float result =
        rig > 0.0f ? safeAcos(rig / radius) - safeAcos((std::fabs(*deficit) + rig) / radius)
                   : safeAcos((std::fabs(rig) - std::fabs(*deficit)) / radius) - safeAcos(std::fabs(rig) / radius);
    return std::isfinite(result) ? std::optional<float>(result) : std::nullopt;
}

std::optional<float> CameraNode::groundZoomCorrection() const {
    const auto deficit = groundDeficit();
    if (!deficit) {
        return std::nullopt;
    }
    // Moving the camera along its line of sight towards the centre lifts it in proportion: the factor
    // that brings it exactly to the clearance, when the centre itself stands above the clearance.
    const float rig = worldPosition().y;
    const float camera = cameraLens_->worldPosition().y;
    const float limit = camera + *deficit;
    if (rig > limit && rig > camera) {
        return (rig - camera) / (rig - limit);
    }
    const float height = position().y;
    const float factor =
        rig > 0.0f ? 1.0f + *deficit / (*deficit + height) : 1.0f - *deficit / (std::fabs(height) - *deficit);
    // A factor that is not a finite positive number would put the lens at infinity or behind the
    // centre: leave the distance as the zoom set it.
    if (!std::isfinite(factor) || factor <= 0.0f) {
        return std::nullopt;
    }
    return factor;
}

}  // namespace vantrel
