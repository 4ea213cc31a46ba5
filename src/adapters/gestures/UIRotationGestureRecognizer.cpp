#include "vantrel/adapters/UIRotationGestureRecognizer.hpp"

#include <cmath>
#include <numbers>

namespace vantrel {

namespace {
constexpr CGFloat kTinyDistance = 1e-6;
}

UIRotationGestureRecognizer::UIRotationGestureRecognizer(Action action) : UIGestureRecognizer(std::move(action)) {}

CGFloat UIRotationGestureRecognizer::angle() const noexcept {
    const auto& touches = trackedTouches();
    const auto line = touches[1].location - touches[0].location;
    return std::atan2(line.y, line.x);
}

void UIRotationGestureRecognizer::setRotation(CGFloat rotation) {
    if (std::isfinite(rotation)) rotation_ = rotation;
}

void UIRotationGestureRecognizer::touchesBegan(const std::vector<UITouch>& touches) {
    for (const auto& touch : touches) {
        if (trackedTouches().size() >= 2) break;  // a rotation is two fingers; others are ignored
        trackTouch(touch);
        if (trackedTouches().size() == 2) {
            lastAngle_ = angle();
            turned_ = 0.0;
            rotation_ = 0.0;
            velocity_ = 0.0;
            lastMoveTime_ = nowSeconds();
        }
    }
}

void UIRotationGestureRecognizer::touchesMoved(const std::vector<UITouch>& touches) {
    bool moved = false;
    for (const auto& touch : touches) moved = moveTouch(touch) || moved;
    const auto& tracked = trackedTouches();
    if (!moved || tracked.size() < 2) return;
    // Fingers on one spot have no direction: keep the last one.
    if ((tracked[1].location - tracked[0].location).length() <= kTinyDistance) return;
    const auto current = angle();
    // The shortest turn from the last angle, so that turning past ±π keeps accumulating.
    const auto delta = std::remainder(current - lastAngle_, 2.0 * std::numbers::pi);
    lastAngle_ = current;
    turned_ += delta;
    rotation_ += delta;
    const auto now = nowSeconds();
    if (now > lastMoveTime_) velocity_ = delta / (now - lastMoveTime_);
    lastMoveTime_ = now;

    if (state() == UIGestureRecognizerState::possible) {
        if (std::abs(turned_) > hysteresis) setState(UIGestureRecognizerState::began);
    } else {
        setState(UIGestureRecognizerState::changed);
    }
}

void UIRotationGestureRecognizer::touchesEnded(const std::vector<UITouch>& touches) {
    if (untrackTouches(touches) == 0) return;
    if (state() != UIGestureRecognizerState::possible)
        setState(UIGestureRecognizerState::ended);
    else if (trackedTouches().empty())
        setState(UIGestureRecognizerState::failed);
}

void UIRotationGestureRecognizer::reset() {
    UIGestureRecognizer::reset();
    lastAngle_ = 0.0;
    turned_ = 0.0;
    rotation_ = 0.0;
    velocity_ = 0.0;
    lastMoveTime_ = 0.0;
}

}  // namespace vantrel
