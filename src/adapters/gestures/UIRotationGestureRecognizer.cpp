#include "vantrel/adapters/UIRotationGestureRecognizer.hpp"

#include <cmath>
#include <numbers>

namespace vantrel {

namespace {
constexpr CGFloat kTinyDistance = 1e-6;
}

UIRotationGestureRecognizer::UIRotationGestureRecognizer(Action action)
    : UITwoTouchGestureRecognizer(std::move(action)) {}

void UIRotationGestureRecognizer::setRotation(CGFloat rotation) {
    if (std::isfinite(rotation)) rotation_ = rotation;
}

void UIRotationGestureRecognizer::pairFormed() {
    const auto line = pairLine();
    lastAngle_ = std::atan2(line.y, line.x);
    turned_ = 0.0;
    rotation_ = 0.0;
    velocity_ = 0.0;
    lastMoveTime_ = nowSeconds();
}

bool UIRotationGestureRecognizer::pairMoved() {
    const auto line = pairLine();
    // Fingers on one spot have no direction: keep the last one.
    if (line.length() > kTinyDistance) {
        const auto current = std::atan2(line.y, line.x);
        // The shortest turn from the last angle, so that turning past ±π keeps accumulating.
        const auto delta = std::remainder(current - lastAngle_, 2.0 * std::numbers::pi);
        lastAngle_ = current;
        turned_ += delta;
        rotation_ += delta;
        const auto now = nowSeconds();
        if (now > lastMoveTime_) velocity_ = delta / (now - lastMoveTime_);
        lastMoveTime_ = now;
    }
    return std::abs(turned_) > hysteresis;
}

void UIRotationGestureRecognizer::reset() {
    UITwoTouchGestureRecognizer::reset();
    lastAngle_ = 0.0;
    turned_ = 0.0;
    rotation_ = 0.0;
    velocity_ = 0.0;
    lastMoveTime_ = 0.0;
}

}  // namespace vantrel
