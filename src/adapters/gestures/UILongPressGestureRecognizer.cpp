#include "vantrel/adapters/UILongPressGestureRecognizer.hpp"

#include <algorithm>
#include <cmath>

namespace vantrel {

UILongPressGestureRecognizer::UILongPressGestureRecognizer(Action action) : UIGestureRecognizer(std::move(action)) {}

void UILongPressGestureRecognizer::setMinimumPressDuration(Duration duration) noexcept {
    minimumPressDuration_ = std::isfinite(duration.count()) && duration.count() > 0.0 ? duration : Duration(0.0);
}

void UILongPressGestureRecognizer::setAllowableMovement(CGFloat points) noexcept {
    allowableMovement_ = points > 0.0 ? points : 0.0;
}

void UILongPressGestureRecognizer::setNumberOfTouchesRequired(std::size_t count) noexcept {
    touchesRequired_ = std::max<std::size_t>(count, 1);
}

void UILongPressGestureRecognizer::touchesBegan(const std::vector<UITouch>& touches) {
    if (state() != UIGestureRecognizerState::possible) return;  // once pressing, extra fingers are ignored
    for (const auto& touch : touches) trackTouch(touch);
    if (trackedTouches().size() > touchesRequired_) {
        setState(UIGestureRecognizerState::failed);
    } else if (trackedTouches().size() == touchesRequired_) {
        // The duration runs from the moment all the fingers are down.
        const auto delay = std::chrono::duration_cast<std::chrono::nanoseconds>(minimumPressDuration_);
        scheduleTimer(delay, [this] { pressLasted(); });
    }
}

void UILongPressGestureRecognizer::pressLasted() {
    if (state() == UIGestureRecognizerState::possible && trackedTouches().size() == touchesRequired_)
        setState(UIGestureRecognizerState::began);
}

void UILongPressGestureRecognizer::touchesMoved(const std::vector<UITouch>& touches) {
    bool moved = false;
    for (const auto& touch : touches) moved = moveTouch(touch) || moved;
    if (!moved) return;
    if (state() != UIGestureRecognizerState::possible) {
        setState(UIGestureRecognizerState::changed);
        return;
    }
    const auto& tracked = trackedTouches();
    if (std::any_of(tracked.begin(), tracked.end(),
                    [&](const TrackedTouch& t) { return (t.location - t.start).length() > allowableMovement_; }))
        setState(UIGestureRecognizerState::failed);
}

void UILongPressGestureRecognizer::touchesEnded(const std::vector<UITouch>& touches) {
    if (untrackTouches(touches) == 0) return;
    setState(state() == UIGestureRecognizerState::possible ? UIGestureRecognizerState::failed
                                                           : UIGestureRecognizerState::ended);
}

}  // namespace vantrel
