#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "vantrel/adapters/UITouch.hpp"
#include "vantrel/graph/CGPoint.hpp"

namespace vantrel {

class SCNView;
class UITouchDispatcher;

namespace detail {
class TouchDispatcherCore;
}

/// The states of a gesture recognizer.
///
/// Discrete gestures (taps) go possible → ended (`recognized`) or possible → failed. Continuous ones
/// (pan, pinch, rotation, long press) go possible → began → changed… → ended or cancelled, or possible
/// → failed. After ended, cancelled or failed a recognizer returns to possible once every finger of
/// the view has lifted (at once when none is down).
enum class UIGestureRecognizerState {
    possible,            ///< Watching touches, nothing recognized yet (the resting state).
    began,               ///< A continuous gesture was recognized and starts.
    changed,             ///< A continuous gesture goes on with new values.
    ended,               ///< A continuous gesture ended, or a discrete one was recognized.
    cancelled,           ///< A continuous gesture was broken off (touches cancelled, recognizer disabled).
    failed,              ///< The touches are not this gesture.
    recognized = ended,  ///< A discrete gesture was recognized.
};

/// Base of the touch gesture recognizers: a small state machine that a `UITouchDispatcher` feeds with
/// the touches of its view and that calls its actions when its state changes.
///
/// **Actions.** Every action added with `addTarget` (or given to the constructor) is called with the
/// recognizer on each transition to began, changed, ended or cancelled (not for failed, nor for the
/// return to possible), in the order they were added.
///
/// **Working together.** All recognizers of a dispatcher see every touch of its view. When one begins
/// or is recognized, every other recognizer of the dispatcher that is still possible fails, unless the
/// two may recognize simultaneously; and a recognizer cannot begin while another that it may not run
/// beside is active. By default pan, pinch and rotation recognizers run beside each other (a
/// two-finger gesture may move, zoom and turn at once); every other pair is exclusive.
/// `setSimultaneousRecognitionRule` replaces that default for one recognizer (either side allowing
/// is enough).
///
/// **Failure requirements.** After `requireGestureRecognizerToFail(other)` this recognizer, when its
/// touches make its gesture, stays possible until `other` fails and then begins or is recognized; if
/// `other` begins or is recognized first, this one fails. A required recognizer that is disabled or
/// not attached to a dispatcher counts as failed.
///
/// **Delaying touches.** With `delaysTouchesBegan` the touches of the view are held back from the
/// view's own touch handler (`UITouchDispatcher::setViewTouchHandler`) while this recognizer is still
/// possible: they are delivered when it fails and dropped when it is recognized. Other recognizers
/// always get touches at once.
///
/// **Disabled** recognizers ignore input; disabling an active one cancels its gesture.
///
/// **Subclassing.** A subclass overrides the touch hooks and `reset`, tracks its touches with
/// `trackTouch`/`moveTouch`/`untrackTouches`, moves its state with `setState` and times itself with
/// `scheduleTimer`.
///
/// Reference type, created with `std::make_shared`; the dispatcher holds it strongly, it holds its
/// dispatcher and its view weakly. **Threads.** Main thread only: touches, timers and actions all run
/// there.
class UIGestureRecognizer : public std::enable_shared_from_this<UIGestureRecognizer> {
public:
    /// What a recognizer calls on its state changes.
    using Action = std::function<void(UIGestureRecognizer&)>;
    /// Decides whether this recognizer may recognize at the same time as `other`.
    using SimultaneousRecognitionRule = std::function<bool(const UIGestureRecognizer& other)>;

    /// A recognizer calling `action` (when given) on its state changes.
    explicit UIGestureRecognizer(Action action = nullptr);
    virtual ~UIGestureRecognizer();
    UIGestureRecognizer(const UIGestureRecognizer&) = delete;
    UIGestureRecognizer& operator=(const UIGestureRecognizer&) = delete;

    /// The current state.
    [[nodiscard]] UIGestureRecognizerState state() const noexcept { return state_; }
    /// The number of touches the gesture is made of now (taps: of the last tap, until reset).
    [[nodiscard]] virtual std::size_t numberOfTouches() const noexcept;
    /// The centroid of the gesture's touches in `view`'s coordinates; nullptr means the coordinates
    /// of the dispatcher's view. Once the touches have lifted, where they were last.
    [[nodiscard]] CGPoint locationInView(const SCNView* view) const;
    /// The location of touch `index` (0 ≤ index < numberOfTouches, in the order the touches went
    /// down) in `view`'s coordinates (nullptr: the dispatcher's view). @throw std::out_of_range for a
    /// bad index.
    [[nodiscard]] CGPoint locationOfTouch(std::size_t index, const SCNView* view) const;
    /// The view of the dispatcher it is attached to, or nullptr.
    [[nodiscard]] std::shared_ptr<SCNView> view() const;

    /// True (the default) when the recognizer handles touches.
    [[nodiscard]] bool isEnabled() const noexcept { return enabled_; }
    /// Enables or disables it; disabling cancels an active gesture and fails a possible one.
    void setEnabled(bool enabled);
    /// True when the view's own touch handling waits until this recognizer fails (false by default).
    [[nodiscard]] bool delaysTouchesBegan() const noexcept { return delaysTouchesBegan_; }
    /// Sets whether the view's own touch handling waits until this recognizer fails.
    void setDelaysTouchesBegan(bool delays) noexcept { delaysTouchesBegan_ = delays; }
    /// True (the default) when recognizing cancels the touches the view's own handler already got.
    [[nodiscard]] bool cancelsTouchesInView() const noexcept { return cancelsTouchesInView_; }
    /// Sets whether recognizing cancels the touches the view's own handler already got.
    void setCancelsTouchesInView(bool cancels) noexcept { cancelsTouchesInView_ = cancels; }

    /// Makes this recognizer wait for `other` to fail before it recognizes (see the class notes).
    /// Asking for itself or for nullptr does nothing.
    void requireGestureRecognizerToFail(const std::shared_ptr<UIGestureRecognizer>& other);
    /// Adds an action called on every state change but failure.
    void addTarget(Action action);

    /// Replaces the default rule of which recognizers may recognize at the same time as this one.
    void setSimultaneousRecognitionRule(SimultaneousRecognitionRule rule) { simultaneousRule_ = std::move(rule); }
    /// True when this recognizer and `other` may be active at the same time: either's rule allows it,
    /// or, without rules, both are transform gestures (pan, pinch, rotation).
    [[nodiscard]] bool canRecognizeSimultaneously(const UIGestureRecognizer& other) const;

protected:
    /// A touch the recognizer follows: where it went down and where it is now.
    struct TrackedTouch {
        std::uint64_t identifier = 0;  ///< The touch's identifier.
        CGPoint start;                 ///< Where it went down (or where tracking started).
        CGPoint location;              ///< Where it is now.
    };

    /// New touches of the view went down.
    virtual void touchesBegan(const std::vector<UITouch>& touches) = 0;
    /// Touches of the view moved (only the moved ones are passed).
    virtual void touchesMoved(const std::vector<UITouch>& touches) = 0;
    /// Touches of the view lifted.
    virtual void touchesEnded(const std::vector<UITouch>& touches) = 0;
    /// Touches of the view were cancelled; the default cancels an active gesture and fails a possible one.
    virtual void touchesCancelled(const std::vector<UITouch>& touches);
    /// Clears the gesture's values when the recognizer returns to possible; overrides call the base.
    virtual void reset();
    /// True for pan, pinch and rotation: transform gestures run beside each other by default.
    [[nodiscard]] virtual bool isTransformGesture() const noexcept { return false; }

    /// Moves the state machine; the dispatcher applies exclusivity and failure requirements, so a
    /// transition to began or ended from possible may be held back or turned into a failure.
    void setState(UIGestureRecognizerState state);
    /// Calls `fire` on the main queue after `delay` on the library clock, unless the recognizer is
    /// reset, disabled, detached or schedules another timer first. One timer at a time.
    void scheduleTimer(std::chrono::nanoseconds delay, std::function<void()> fire);
    /// Drops the pending timer.
    void cancelTimer() noexcept { ++timerGeneration_; }

    /// Starts following `touch`.
    void trackTouch(const UITouch& touch);
    /// Updates a followed touch's location; returns false when the touch is not followed.
    bool moveTouch(const UITouch& touch);
    /// Stops following those of `touches` that are followed and returns how many were. When none is
    /// left, the centroid keeps reading where they were.
    std::size_t untrackTouches(const std::vector<UITouch>& touches);
    /// The touches followed, in the order they went down.
    [[nodiscard]] const std::vector<TrackedTouch>& trackedTouches() const noexcept { return touches_; }
    /// True when `identifier` is followed.
    [[nodiscard]] bool isTracking(std::uint64_t identifier) const noexcept;
    /// The centroid of the followed touches (where they were last when none is followed), in the
    /// dispatcher's view points.
    [[nodiscard]] CGPoint centroid() const noexcept;
    /// The library clock's time in seconds, for velocities.
    [[nodiscard]] static double nowSeconds();

private:
    friend class detail::TouchDispatcherCore;

    CGPoint convert(CGPoint point, const SCNView* view) const;
    void commitState(UIGestureRecognizerState state);
    void requirementResolved();
    [[nodiscard]] bool isActive() const noexcept;
    [[nodiscard]] bool isEligibleForTouches() const noexcept;
    [[nodiscard]] bool countsAsFailedRequirement() const noexcept;
    void returnToPossible();

    UIGestureRecognizerState state_ = UIGestureRecognizerState::possible;
    bool enabled_ = true;
    bool delaysTouchesBegan_ = false;
    bool cancelsTouchesInView_ = true;
    std::vector<Action> actions_;
    SimultaneousRecognitionRule simultaneousRule_;
    std::vector<std::weak_ptr<UIGestureRecognizer>> requirements_;
    std::vector<std::weak_ptr<UIGestureRecognizer>> dependents_;
    std::optional<UIGestureRecognizerState> heldState_;
    std::vector<TrackedTouch> touches_;
    CGPoint lastLocation_;
    std::weak_ptr<detail::TouchDispatcherCore> dispatcher_;
    std::uint64_t timerGeneration_ = 0;
};

}  // namespace vantrel

#pragma GCC visibility pop
