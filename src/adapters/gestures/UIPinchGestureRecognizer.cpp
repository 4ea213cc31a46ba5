#include "vantrel/adapters/UIPinchGestureRecognizer.hpp"

#include <cmath>

namespace vantrel {

namespace {
constexpr CGFloat kTinyDistance = 1e-6;
}

UIPinchGestureRecognizer::UIPinchGestureRecognizer(Action action) : UIGestureRecognizer(std::move(action)) {}

CGFloat UIPinchGestureRecognizer::distance() const noexcept {
    const auto& touches = trackedTouches();
    return touches.size() < 2 ? 0.0 : (touches[1].location - touches[0].location).length();
}

void UIPinchGestureRecognizer::setScale(CGFloat scale) {
    if (!(scale > 0.0) || !std::isfinite(scale)) return;
    scale_ = scale;
    if (const auto d = distance(); d > kTinyDistance) referenceDistance_ = d / scale;
}

void UIPinchGestureRecognizer::touchesBegan(const std::vector<UITouch>& touches) {
    for (const auto& touch : touches) {
        if (trackedTouches().size() >= 2) break;  // a pinch is two fingers; others are ignored
        trackTouch(touch);
        if (trackedTouches().size() == 2) {
            startDistance_ = distance();
            referenceDistance_ = startDistance_;
            scale_ = 1.0;
            velocity_ = 0.0;
            lastMoveTime_ = nowSeconds();
        }
    }
}

void UIPinchGestureRecognizer::touchesMoved(const std::vector<UITouch>& touches) {
    bool moved = false;
    for (const auto& touch : touches) moved = moveTouch(touch) || moved;
    if (!moved || trackedTouches().size() < 2) return;
    const auto d = distance();
    // Fingers that went down on one spot have no reference yet: the first distance apart becomes it.
    if (referenceDistance_ <= kTinyDistance) referenceDistance_ = d / scale_;
    if (referenceDistance_ <= kTinyDistance) return;
    const auto scale = d / referenceDistance_;
    const auto now = nowSeconds();
    if (now > lastMoveTime_) velocity_ = (scale - scale_) / (now - lastMoveTime_);
    lastMoveTime_ = now;
    scale_ = scale;

    if (state() == UIGestureRecognizerState::possible) {
        if (std::abs(d - startDistance_) > hysteresis) setState(UIGestureRecognizerState::began);
    } else {
        setState(UIGestureRecognizerState::changed);
    }
}

void UIPinchGestureRecognizer::touchesEnded(const std::vector<UITouch>& touches) {
    if (untrackTouches(touches) == 0) return;
    if (state() != UIGestureRecognizerState::possible)
        setState(UIGestureRecognizerState::ended);
    else if (trackedTouches().empty())
        setState(UIGestureRecognizerState::failed);
}

void UIPinchGestureRecognizer::reset() {
    UIGestureRecognizer::reset();
    startDistance_ = 0.0;
    referenceDistance_ = 0.0;
    scale_ = 1.0;
    velocity_ = 0.0;
    lastMoveTime_ = 0.0;
}

}  // namespace vantrel
