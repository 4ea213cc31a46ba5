#include "vantrel/adapters/UITapGestureRecognizer.hpp"

#include <algorithm>

namespace vantrel {

UITapGestureRecognizer::UITapGestureRecognizer(Action action) : UIGestureRecognizer(std::move(action)) {}

void UITapGestureRecognizer::setNumberOfTapsRequired(std::size_t count) noexcept {
    tapsRequired_ = std::max<std::size_t>(count, 1);
}

void UITapGestureRecognizer::setNumberOfTouchesRequired(std::size_t count) noexcept {
    touchesRequired_ = std::max<std::size_t>(count, 1);
}

std::size_t UITapGestureRecognizer::numberOfTouches() const noexcept {
    return trackedTouches().empty() ? lastTapFingers_ : trackedTouches().size();
}

void UITapGestureRecognizer::touchesBegan(const std::vector<UITouch>& touches) {
    if (state() != UIGestureRecognizerState::possible) return;
    cancelTimer();  // the next tap came in time
    for (const auto& touch : touches) {
        if (tapsDone_ > 0 && (touch.location - firstTap_).length() > tapSlop) {
            setState(UIGestureRecognizerState::failed);
            return;
        }
        trackTouch(touch);
        ++fingersInTap_;
    }
    if (fingersInTap_ > touchesRequired_) setState(UIGestureRecognizerState::failed);
}

void UITapGestureRecognizer::touchesMoved(const std::vector<UITouch>& touches) {
    for (const auto& touch : touches) {
        if (!moveTouch(touch)) continue;
        const auto& tracked = trackedTouches();
        const auto found = std::find_if(tracked.begin(), tracked.end(),
                                        [&](const TrackedTouch& t) { return t.identifier == touch.identifier; });
        if ((found->location - found->start).length() > allowableMovement) {
            setState(UIGestureRecognizerState::failed);
            return;
        }
    }
}

void UITapGestureRecognizer::touchesEnded(const std::vector<UITouch>& touches) {
    if (untrackTouches(touches) == 0 || !trackedTouches().empty()) return;  // wait for every finger to lift
    if (fingersInTap_ != touchesRequired_) {
        setState(UIGestureRecognizerState::failed);
        return;
    }
    lastTapFingers_ = fingersInTap_;
    fingersInTap_ = 0;
    if (++tapsDone_ == 1) firstTap_ = centroid();
    if (tapsDone_ >= tapsRequired_) {
        setState(UIGestureRecognizerState::recognized);
        return;
    }
    scheduleTimer(tapInterval, [this] {
        if (state() == UIGestureRecognizerState::possible && trackedTouches().empty())
            setState(UIGestureRecognizerState::failed);
    });
}

void UITapGestureRecognizer::reset() {
    UIGestureRecognizer::reset();
    tapsDone_ = 0;
    fingersInTap_ = 0;
    lastTapFingers_ = 0;
    firstTap_ = {};
}

}  // namespace vantrel
