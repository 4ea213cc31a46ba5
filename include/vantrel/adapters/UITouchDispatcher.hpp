#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "vantrel/adapters/UIGestureRecognizer.hpp"
#include "vantrel/adapters/UITouch.hpp"
#include "vantrel/graph/CGFloat.hpp"
#include "vantrel/graph/CGPoint.hpp"

namespace vantrel {

class SCNView;

namespace detail {
class TouchDispatcherCore;
}

/// The gesture layer of one view: the recognizers attached to it, fed by the host with the view's
/// touch (or mouse) events.
///
/// The host reports each event once, with the touches that changed: `touchesBegan` for fingers that
/// went down, `touchesMoved` for those that moved, `touchesEnded` and `touchesCancelled` for those
/// that left. Every attached recognizer sees every touch; the class notes of `UIGestureRecognizer`
/// say how they decide among themselves. Events for unknown identifiers are ignored; a `began` for an
/// identifier already down counts as a move.
///
/// Time-based transitions (a long press beginning, a tap waiting for the next tap failing) run from
/// timers scheduled on the main queue with `DispatchQueue::main().asyncAfter`, on the library clock
/// (`vantrel::Clock::current()`), so a test that installs a `ManualClock` and advances it drives them.
///
/// Optionally the view handles touches itself (`setViewTouchHandler`); recognizers that delay or
/// cancel touches act on that handler.
///
/// Owned by the adapter of its view (one per view); holds its recognizers strongly and its view
/// weakly. Not copyable. **Threads.** Main thread only.
class UITouchDispatcher {
public:
    /// The view's own touch handling: the phase and the touches of one event.
    using TouchHandler = std::function<void(UITouchPhase phase, const std::vector<UITouch>& touches)>;

    /// The gesture layer of `view`; touch locations are in its points.
    explicit UITouchDispatcher(std::weak_ptr<SCNView> view);
    ~UITouchDispatcher();
    UITouchDispatcher(const UITouchDispatcher&) = delete;
    UITouchDispatcher& operator=(const UITouchDispatcher&) = delete;

    /// The view, or nullptr once it is gone.
    [[nodiscard]] std::shared_ptr<SCNView> view() const;

    /// Attaches a recognizer (taking it from another dispatcher it was attached to); attaching one
    /// twice or nullptr does nothing.
    void addGestureRecognizer(std::shared_ptr<UIGestureRecognizer> recognizer);
    /// Detaches a recognizer: an active gesture is cancelled (its actions see that), a possible one
    /// fails, then it returns to possible; recognizers that wait for it to fail stop waiting.
    void removeGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer);
    /// The attached recognizers, in the order they were added.
    [[nodiscard]] const std::vector<std::shared_ptr<UIGestureRecognizer>>& gestureRecognizers() const;

    /// Fingers went down.
    void touchesBegan(const std::vector<UITouch>& touches);
    /// Fingers moved.
    void touchesMoved(const std::vector<UITouch>& touches);
    /// Fingers lifted.
    void touchesEnded(const std::vector<UITouch>& touches);
    /// Fingers were taken away by the system.
    void touchesCancelled(const std::vector<UITouch>& touches);
    /// Routes each touch by its `phase` (stationary touches are skipped), in the order given.
    void handleTouches(const std::vector<UITouch>& touches);

    /// The touches down now.
    [[nodiscard]] std::size_t numberOfActiveTouches() const noexcept;
    /// Sets the view's own touch handling (nullptr: none).
    void setViewTouchHandler(TouchHandler handler);

private:
    std::shared_ptr<detail::TouchDispatcherCore> core_;
};

/// Synthetic touch sequences for hosts that turn mouse input into touches, and for tests. Each call is
/// a whole gesture: fingers down, `steps` moves, fingers up. Identifiers are `firstIdentifier`,
/// `firstIdentifier + 1`, … ; nothing waits, so timers only fire when the clock is moved.
struct UITouchScript {
    /// One tap of one finger per point in `points`, all down together and up together.
    static void tap(UITouchDispatcher& dispatcher, const std::vector<CGPoint>& points,
                    std::uint64_t firstIdentifier = 1);
    /// One finger down at `from`, `steps` equal moves to `to`, up.
    static void drag(UITouchDispatcher& dispatcher, CGPoint from, CGPoint to, std::size_t steps = 10,
                     std::uint64_t firstIdentifier = 1);
    /// Several fingers down at `from`, moved together in `steps` equal moves to `to` (same count), up.
    static void drag(UITouchDispatcher& dispatcher, const std::vector<CGPoint>& from, const std::vector<CGPoint>& to,
                     std::size_t steps = 10, std::uint64_t firstIdentifier = 1);
    /// Two fingers on opposite sides of `centre` at angle 0 (the first left of it), spreading from
    /// `fromDistance` to `toDistance` apart in `steps` moves, then up.
    static void pinch(UITouchDispatcher& dispatcher, CGPoint centre, CGFloat fromDistance, CGFloat toDistance,
                      std::size_t steps = 10, std::uint64_t firstIdentifier = 1);
    /// Two fingers `radius` from `centre` on opposite sides, the line between them turning from
    /// `fromAngle` to `toAngle` radians (clockwise on screen) in `steps` moves, then up.
    static void rotate(UITouchDispatcher& dispatcher, CGPoint centre, CGFloat radius, CGFloat fromAngle,
                       CGFloat toAngle, std::size_t steps = 10, std::uint64_t firstIdentifier = 1);
};

}  // namespace vantrel

#pragma GCC visibility pop
