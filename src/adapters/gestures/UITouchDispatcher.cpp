#include "vantrel/adapters/UITouchDispatcher.hpp"

#include <algorithm>

#include "adapters/gestures/TouchDispatcherCore.hpp"

namespace vantrel {

namespace detail {

namespace {

bool sameTouch(const UITouch& a, const UITouch& b) { return a.identifier == b.identifier; }

}  // namespace

void TouchDispatcherCore::dispatch(UITouchPhase phase, const std::vector<UITouch>& touches) {
    // Keep the list of touches down; drop events that contradict it.
    std::vector<UITouch> began;
    std::vector<UITouch> moved;
    std::vector<UITouch> left;
    for (auto touch : touches) {
        auto found = std::find_if(active.begin(), active.end(), [&](const UITouch& t) { return sameTouch(t, touch); });
        if (phase == UITouchPhase::began) {
            touch.phase = found == active.end() ? UITouchPhase::began : UITouchPhase::moved;
            if (found == active.end()) {
                active.push_back(touch);
                began.push_back(touch);
            } else {
                found->location = touch.location;
                moved.push_back(touch);
            }
        } else if (found != active.end()) {
            touch.phase = phase;
            if (phase == UITouchPhase::moved) {
                found->location = touch.location;
                moved.push_back(touch);
            } else {
                active.erase(found);
                left.push_back(touch);
            }
        }
    }

    ++dispatching_;
    const auto feed = [&](const std::vector<UITouch>& batch,
                          void (UIGestureRecognizer::*hook)(const std::vector<UITouch>&), UITouchPhase batchPhase) {
        if (batch.empty()) return;
        const auto snapshot = recognizers;
        for (const auto& recognizer : snapshot)
            if (recognizer->isEligibleForTouches() && recognizer->dispatcher_.lock().get() == this)
                ((*recognizer).*hook)(batch);
        deliverToView(batchPhase, batch);
    };
    feed(began, &UIGestureRecognizer::touchesBegan, UITouchPhase::began);
    feed(moved, &UIGestureRecognizer::touchesMoved, UITouchPhase::moved);
    if (phase == UITouchPhase::cancelled)
        feed(left, &UIGestureRecognizer::touchesCancelled, UITouchPhase::cancelled);
    else
        feed(left, &UIGestureRecognizer::touchesEnded, UITouchPhase::ended);
    --dispatching_;
    settle();
}

void TouchDispatcherCore::settle() {
    if (dispatching_ > 0 || !active.empty()) return;
    viewCut_ = false;
    const auto snapshot = recognizers;
    for (const auto& recognizer : snapshot) {
        const auto state = recognizer->state();
        if (state == UIGestureRecognizerState::ended || state == UIGestureRecognizerState::cancelled ||
            state == UIGestureRecognizerState::failed)
            recognizer->returnToPossible();
    }
}

void TouchDispatcherCore::didRecognize(UIGestureRecognizer& recognizer) {
    // The view loses the touches first, so that the failures below do not hand it the held ones.
    if (recognizer.cancelsTouchesInView() || recognizer.delaysTouchesBegan()) {
        held_.clear();
        std::vector<UITouch> cancelled;
        for (const auto& touch : active)
            if (std::find(viewTouches_.begin(), viewTouches_.end(), touch.identifier) != viewTouches_.end())
                cancelled.push_back({touch.identifier, touch.location, UITouchPhase::cancelled});
        viewTouches_.clear();
        if (!cancelled.empty() && viewHandler) viewHandler(UITouchPhase::cancelled, cancelled);
        // The rest of the sequence (the event being fed included) stays away from the view.
        if (!active.empty() || dispatching_ > 0) viewCut_ = true;
    }
    const auto snapshot = recognizers;
    for (const auto& other : snapshot)
        if (other.get() != &recognizer && other->state() == UIGestureRecognizerState::possible &&
            !recognizer.canRecognizeSimultaneously(*other))
            other->commitState(UIGestureRecognizerState::failed);
}

void TouchDispatcherCore::didFail() {
    if (!viewIsDelayed()) flushHeld();
}

bool TouchDispatcherCore::viewIsDelayed() const noexcept {
    return std::any_of(recognizers.begin(), recognizers.end(), [](const auto& r) {
        return r->isEnabled() && r->delaysTouchesBegan() && r->state() == UIGestureRecognizerState::possible;
    });
}

void TouchDispatcherCore::deliverToView(UITouchPhase phase, const std::vector<UITouch>& touches) {
    if (!viewHandler || viewCut_) return;
    if (viewIsDelayed()) {
        held_.emplace_back(phase, touches);
        return;
    }
    flushHeld();
    sendToView(phase, touches);
}

void TouchDispatcherCore::flushHeld() {
    auto held = std::move(held_);
    held_.clear();
    for (const auto& [phase, touches] : held) sendToView(phase, touches);
}

void TouchDispatcherCore::sendToView(UITouchPhase phase, const std::vector<UITouch>& touches) {
    if (!viewHandler) return;
    for (const auto& touch : touches) {
        if (phase == UITouchPhase::began)
            viewTouches_.push_back(touch.identifier);
        else if (phase == UITouchPhase::ended || phase == UITouchPhase::cancelled)
            std::erase(viewTouches_, touch.identifier);
    }
    viewHandler(phase, touches);
}

void TouchDispatcherCore::detach(const std::shared_ptr<UIGestureRecognizer>& recognizer) {
    auto found = std::find(recognizers.begin(), recognizers.end(), recognizer);
    if (found == recognizers.end()) return;
    if (recognizer->isActive())
        recognizer->commitState(UIGestureRecognizerState::cancelled);
    else if (recognizer->state() == UIGestureRecognizerState::possible)
        recognizer->commitState(UIGestureRecognizerState::failed);
    std::erase(recognizers, recognizer);
    recognizer->dispatcher_.reset();
    recognizer->returnToPossible();
    // Those waiting for it to fail stop waiting: a detached recognizer counts as failed.
    const auto dependents = recognizer->dependents_;
    for (const auto& weak : dependents)
        if (auto dependent = weak.lock()) dependent->requirementResolved();
    if (!viewIsDelayed()) flushHeld();
}

void TouchDispatcherCore::attach(std::shared_ptr<UIGestureRecognizer> recognizer) {
    auto current = recognizer->dispatcher_.lock();
    if (current.get() == this) return;
    if (current) current->detach(recognizer);
    recognizer->dispatcher_ = weak_from_this();
    recognizers.push_back(std::move(recognizer));
}

void TouchDispatcherCore::releaseAll() noexcept {
    for (const auto& recognizer : recognizers) {
        recognizer->dispatcher_.reset();
        recognizer->returnToPossible();
    }
    recognizers.clear();
}

}  // namespace detail

UITouchDispatcher::UITouchDispatcher(std::weak_ptr<SCNView> view)
    : core_(std::make_shared<detail::TouchDispatcherCore>(std::move(view))) {}

UITouchDispatcher::~UITouchDispatcher() { core_->releaseAll(); }

std::shared_ptr<SCNView> UITouchDispatcher::view() const { return core_->view.lock(); }

void UITouchDispatcher::addGestureRecognizer(std::shared_ptr<UIGestureRecognizer> recognizer) {
    if (recognizer) core_->attach(std::move(recognizer));
}

void UITouchDispatcher::removeGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer) {
    if (recognizer) core_->detach(recognizer);
}

const std::vector<std::shared_ptr<UIGestureRecognizer>>& UITouchDispatcher::gestureRecognizers() const {
    return core_->recognizers;
}

void UITouchDispatcher::touchesBegan(const std::vector<UITouch>& touches) {
    core_->dispatch(UITouchPhase::began, touches);
}

void UITouchDispatcher::touchesMoved(const std::vector<UITouch>& touches) {
    core_->dispatch(UITouchPhase::moved, touches);
}

void UITouchDispatcher::touchesEnded(const std::vector<UITouch>& touches) {
    core_->dispatch(UITouchPhase::ended, touches);
}

void UITouchDispatcher::touchesCancelled(const std::vector<UITouch>& touches) {
    core_->dispatch(UITouchPhase::cancelled, touches);
}

void UITouchDispatcher::handleTouches(const std::vector<UITouch>& touches) {
    // Consecutive touches of one phase make one event.
    std::vector<UITouch> run;
    for (const auto& touch : touches) {
        if (touch.phase == UITouchPhase::stationary) continue;
        if (!run.empty() && run.front().phase != touch.phase) {
            core_->dispatch(run.front().phase, run);
            run.clear();
        }
        run.push_back(touch);
    }
    if (!run.empty()) core_->dispatch(run.front().phase, run);
}

std::size_t UITouchDispatcher::numberOfActiveTouches() const noexcept { return core_->active.size(); }

void UITouchDispatcher::setViewTouchHandler(TouchHandler handler) { core_->viewHandler = std::move(handler); }

}  // namespace vantrel
