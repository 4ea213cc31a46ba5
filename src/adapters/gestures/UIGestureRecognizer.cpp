#include "vantrel/adapters/UIGestureRecognizer.hpp"

#include <algorithm>
#include <stdexcept>

#include "adapters/gestures/TouchDispatcherCore.hpp"
#include "vantrel/core/Clock.hpp"
#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/render/SCNView.hpp"

namespace vantrel {

namespace {

bool isTerminal(UIGestureRecognizerState state) {
    return state == UIGestureRecognizerState::ended || state == UIGestureRecognizerState::cancelled ||
           state == UIGestureRecognizerState::failed;
}

bool startsRecognition(UIGestureRecognizerState state) {
    return state == UIGestureRecognizerState::began || state == UIGestureRecognizerState::ended;
}

}  // namespace

UIGestureRecognizer::UIGestureRecognizer(Action action) {
    if (action) actions_.push_back(std::move(action));
}

UIGestureRecognizer::~UIGestureRecognizer() = default;

std::size_t UIGestureRecognizer::numberOfTouches() const noexcept { return touches_.size(); }

CGPoint UIGestureRecognizer::convert(CGPoint point, const SCNView* target) const {
    if (target == nullptr) return point;
    auto core = dispatcher_.lock();
    auto own = core ? core->view.lock() : nullptr;
    if (!own || own.get() == target) return point;
    return point + own->frame().origin - target->frame().origin;
}

CGPoint UIGestureRecognizer::locationInView(const SCNView* view) const { return convert(centroid(), view); }

CGPoint UIGestureRecognizer::locationOfTouch(std::size_t index, const SCNView* view) const {
    if (index >= touches_.size()) throw std::out_of_range("UIGestureRecognizer::locationOfTouch: no such touch");
    return convert(touches_[index].location, view);
}

std::shared_ptr<SCNView> UIGestureRecognizer::view() const {
    auto core = dispatcher_.lock();
    return core ? core->view.lock() : nullptr;
}

void UIGestureRecognizer::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    if (enabled) {
        enabled_ = true;
        return;
    }
    if (isActive())
        commitState(UIGestureRecognizerState::cancelled);
    else if (state_ == UIGestureRecognizerState::possible)
        commitState(UIGestureRecognizerState::failed);
    enabled_ = false;
    returnToPossible();
}

void UIGestureRecognizer::requireGestureRecognizerToFail(const std::shared_ptr<UIGestureRecognizer>& other) {
    if (!other || other.get() == this) return;
    requirements_.push_back(other);
    other->dependents_.push_back(weak_from_this());
}

void UIGestureRecognizer::addTarget(Action action) {
    if (action) actions_.push_back(std::move(action));
}

bool UIGestureRecognizer::canRecognizeSimultaneously(const UIGestureRecognizer& other) const {
    const bool byDefault = isTransformGesture() && other.isTransformGesture();
    const bool mine = simultaneousRule_ ? simultaneousRule_(other) : byDefault;
    const bool theirs = other.simultaneousRule_ ? other.simultaneousRule_(*this) : byDefault;
    return mine || theirs;
}

void UIGestureRecognizer::touchesCancelled(const std::vector<UITouch>& touches) {
    if (untrackTouches(touches) == 0) return;
    if (isActive())
        setState(UIGestureRecognizerState::cancelled);
    else if (state_ == UIGestureRecognizerState::possible)
        setState(UIGestureRecognizerState::failed);
}

void UIGestureRecognizer::reset() {}

bool UIGestureRecognizer::isActive() const noexcept {
    return state_ == UIGestureRecognizerState::began || state_ == UIGestureRecognizerState::changed;
}

bool UIGestureRecognizer::isEligibleForTouches() const noexcept {
    return enabled_ && !heldState_ && (state_ == UIGestureRecognizerState::possible || isActive());
}

bool UIGestureRecognizer::countsAsFailedRequirement() const noexcept {
    return state_ == UIGestureRecognizerState::failed || !enabled_ || dispatcher_.expired();
}

void UIGestureRecognizer::setState(UIGestureRecognizerState state) {
    if (!enabled_ || (state == state_ && state != UIGestureRecognizerState::changed)) return;
    if (state_ == UIGestureRecognizerState::possible && startsRecognition(state)) {
        if (heldState_) return;
        if (auto core = dispatcher_.lock()) {
            for (const auto& other : core->recognizers)
                if (other.get() != this && other->isActive() && !canRecognizeSimultaneously(*other)) {
                    commitState(UIGestureRecognizerState::failed);
                    return;
                }
        }
        bool wait = false;
        for (const auto& weak : requirements_) {
            auto required = weak.lock();
            if (!required || required->countsAsFailedRequirement()) continue;
            if (required->state_ != UIGestureRecognizerState::possible) {
                commitState(UIGestureRecognizerState::failed);  // it recognized first: this gesture lost
                return;
            }
            wait = true;
        }
        if (wait) {
            heldState_ = state;
            cancelTimer();
            return;
        }
    }
    commitState(state);
}

void UIGestureRecognizer::commitState(UIGestureRecognizerState state) {
    const auto previous = state_;
    state_ = state;
    heldState_.reset();
    if (isTerminal(state)) cancelTimer();
    // Keep this recognizer alive through actions that might detach it.
    auto self = weak_from_this().lock();
    auto core = dispatcher_.lock();

    if (previous == UIGestureRecognizerState::possible && startsRecognition(state) && core) core->didRecognize(*this);

    if (state != UIGestureRecognizerState::failed && state != UIGestureRecognizerState::possible) {
        const auto actions = actions_;
        for (const auto& action : actions) action(*this);
    }

    if (state == UIGestureRecognizerState::failed || startsRecognition(state)) {
        const auto dependents = dependents_;
        for (const auto& weak : dependents)
            if (auto dependent = weak.lock(); dependent && dependent->heldState_) {
                if (state == UIGestureRecognizerState::failed)
                    dependent->requirementResolved();
                else
                    dependent->commitState(UIGestureRecognizerState::failed);
            }
    }
    if (state == UIGestureRecognizerState::failed && core) core->didFail();

    if (isTerminal(state_) && (!core || (!core->isDispatching() && core->active.empty()))) returnToPossible();
}

void UIGestureRecognizer::requirementResolved() {
    if (!heldState_) return;
    for (const auto& weak : requirements_) {
        auto required = weak.lock();
        if (!required || required->countsAsFailedRequirement()) continue;
        if (required->state_ != UIGestureRecognizerState::possible) {
            commitState(UIGestureRecognizerState::failed);
            return;
        }
        return;  // still waiting for it
    }
    const auto state = *heldState_;
    heldState_.reset();
    setState(state);
}

void UIGestureRecognizer::returnToPossible() {
    state_ = UIGestureRecognizerState::possible;
    heldState_.reset();
    cancelTimer();
    touches_.clear();
    reset();
}

void UIGestureRecognizer::scheduleTimer(std::chrono::nanoseconds delay, std::function<void()> fire) {
    const auto generation = ++timerGeneration_;
    std::weak_ptr<UIGestureRecognizer> weak = weak_from_this();
    DispatchQueue::main().asyncAfter(delay, [weak, generation, fire = std::move(fire)] {
        auto self = weak.lock();
        if (!self || self->timerGeneration_ != generation || !self->enabled_ || self->dispatcher_.expired()) return;
        fire();
    });
}

void UIGestureRecognizer::trackTouch(const UITouch& touch) {
    if (isTracking(touch.identifier)) return;
    touches_.push_back({touch.identifier, touch.location, touch.location});
    lastLocation_ = centroid();
}

bool UIGestureRecognizer::moveTouch(const UITouch& touch) {
    auto found = std::find_if(touches_.begin(), touches_.end(),
                              [&](const TrackedTouch& t) { return t.identifier == touch.identifier; });
    if (found == touches_.end()) return false;
    found->location = touch.location;
    lastLocation_ = centroid();
    return true;
}

std::size_t UIGestureRecognizer::untrackTouches(const std::vector<UITouch>& touches) {
    const auto before = centroid();
    const auto count = touches_.size();
    std::erase_if(touches_, [&](const TrackedTouch& t) {
        return std::any_of(touches.begin(), touches.end(),
                           [&](const UITouch& u) { return u.identifier == t.identifier; });
    });
    lastLocation_ = touches_.empty() ? before : centroid();
    return count - touches_.size();
}

bool UIGestureRecognizer::isTracking(std::uint64_t identifier) const noexcept {
    return std::any_of(touches_.begin(), touches_.end(),
                       [&](const TrackedTouch& t) { return t.identifier == identifier; });
}

CGPoint UIGestureRecognizer::centroid() const noexcept {
    if (touches_.empty()) return lastLocation_;
    CGPoint sum;
    for (const auto& touch : touches_) sum += touch.location;
    return sum / static_cast<CGFloat>(touches_.size());
}

double UIGestureRecognizer::nowSeconds() {
    return std::chrono::duration<double>(Clock::current()->now().time_since_epoch()).count();
}

}  // namespace vantrel
