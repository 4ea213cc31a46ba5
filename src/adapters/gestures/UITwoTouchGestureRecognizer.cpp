#include "vantrel/adapters/UITwoTouchGestureRecognizer.hpp"

namespace vantrel {

void UITwoTouchGestureRecognizer::touchesBegan(const std::vector<UITouch>& touches) {
    for (const auto& touch : touches) {
        if (trackedTouches().size() >= 2) break;  // two fingers make the gesture; others are ignored
        trackTouch(touch);
        if (trackedTouches().size() == 2) pairFormed();
    }
}

void UITwoTouchGestureRecognizer::touchesMoved(const std::vector<UITouch>& touches) {
    bool moved = false;
    for (const auto& touch : touches) moved = moveTouch(touch) || moved;
    if (!moved || trackedTouches().size() < 2) return;
    const bool pastHysteresis = pairMoved();
    if (state() != UIGestureRecognizerState::possible)
        setState(UIGestureRecognizerState::changed);
    else if (pastHysteresis)
        setState(UIGestureRecognizerState::began);
}

void UITwoTouchGestureRecognizer::touchesEnded(const std::vector<UITouch>& touches) {
    if (untrackTouches(touches) == 0) return;
    if (state() != UIGestureRecognizerState::possible)
        setState(UIGestureRecognizerState::ended);
    else if (trackedTouches().empty())
        setState(UIGestureRecognizerState::failed);
}

CGPoint UITwoTouchGestureRecognizer::pairLine() const noexcept {
    const auto& touches = trackedTouches();
    return touches.size() < 2 ? CGPoint() : touches[1].location - touches[0].location;
}

}  // namespace vantrel
