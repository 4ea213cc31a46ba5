#include "vantrel/adapters/UIPanGestureRecognizer.hpp"

#include <algorithm>

namespace vantrel {

UIPanGestureRecognizer::UIPanGestureRecognizer(Action action) : UIGestureRecognizer(std::move(action)) {}

CGPoint UIPanGestureRecognizer::translationInView(const SCNView* /*view*/) const { return translation_; }

void UIPanGestureRecognizer::setTranslation(CGPoint translation, const SCNView* /*view*/) {
    translation_ = translation;
    origin_ = centroid() - translation;
}

CGPoint UIPanGestureRecognizer::velocityInView(const SCNView* /*view*/) const { return velocity_; }

void UIPanGestureRecognizer::setMinimumNumberOfTouches(std::size_t count) noexcept {
    minimumTouches_ = std::max<std::size_t>(count, 1);
}

void UIPanGestureRecognizer::setMaximumNumberOfTouches(std::size_t count) noexcept {
    maximumTouches_ = std::max<std::size_t>(count, 1);
}

void UIPanGestureRecognizer::rebase(CGPoint before) noexcept {
    // A finger landed or lifted: the centroid jumped, the translation must not.
    origin_ += centroid() - before;
    lastCentroid_ = centroid();
}

void UIPanGestureRecognizer::touchesBegan(const std::vector<UITouch>& touches) {
    const bool first = trackedTouches().empty();
    const auto before = centroid();
    const bool active = state() != UIGestureRecognizerState::possible;
    for (const auto& touch : touches) {
        if (active && trackedTouches().size() >= maximumTouches_) break;  // extra fingers are ignored
        trackTouch(touch);
    }
    if (first) {
        origin_ = centroid();
        lastCentroid_ = origin_;
        lastMoveTime_ = nowSeconds();
    } else {
        rebase(before);
    }
}

void UIPanGestureRecognizer::touchesMoved(const std::vector<UITouch>& touches) {
    bool moved = false;
    for (const auto& touch : touches) moved = moveTouch(touch) || moved;
    if (!moved) return;
    const auto now = nowSeconds();
    const auto current = centroid();
    if (now > lastMoveTime_) velocity_ = (current - lastCentroid_) / (now - lastMoveTime_);
    lastMoveTime_ = now;
    lastCentroid_ = current;
    translation_ = current - origin_;

    if (state() == UIGestureRecognizerState::possible) {
        const auto count = trackedTouches().size();
        if (count >= minimumTouches_ && count <= maximumTouches_ && translation_.length() > hysteresis)
            setState(UIGestureRecognizerState::began);
    } else {
        setState(UIGestureRecognizerState::changed);
    }
}

void UIPanGestureRecognizer::touchesEnded(const std::vector<UITouch>& touches) {
    const auto before = centroid();
    if (untrackTouches(touches) == 0) return;
    if (state() == UIGestureRecognizerState::possible) {
        if (trackedTouches().empty())
            setState(UIGestureRecognizerState::failed);
        else
            rebase(before);
    } else if (trackedTouches().size() < minimumTouches_) {
        setState(UIGestureRecognizerState::ended);
    } else {
        rebase(before);
    }
}

void UIPanGestureRecognizer::reset() {
    UIGestureRecognizer::reset();
    origin_ = {};
    translation_ = {};
    velocity_ = {};
    lastCentroid_ = {};
    lastMoveTime_ = 0.0;
}

}  // namespace vantrel
