#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "vantrel/adapters/UIGestureRecognizer.hpp"
#include "vantrel/adapters/UITouchDispatcher.hpp"

namespace vantrel::detail {

/// The shared state of one `UITouchDispatcher`: its recognizers, the touches down, and the view's own
/// touch handling with the events held back from it. Recognizers hold it weakly, so a dispatcher that
/// goes away detaches them. Main thread only.
class TouchDispatcherCore : public std::enable_shared_from_this<TouchDispatcherCore> {
public:
    explicit TouchDispatcherCore(std::weak_ptr<SCNView> aView) : view(std::move(aView)) {}

    /// Feeds one event to the recognizers and the view, then settles the recognizers.
    void dispatch(UITouchPhase phase, const std::vector<UITouch>& touches);
    /// Called when `recognizer` began or was recognized: others that may not run beside it fail and
    /// the view loses the touches.
    void didRecognize(UIGestureRecognizer& recognizer);
    /// Called when a recognizer failed: the view may get the touches it waited for.
    void didFail();
    /// True while an event is being fed (recognizers then return to possible at its end).
    [[nodiscard]] bool isDispatching() const noexcept { return dispatching_ > 0; }
    /// Attaches `recognizer`, taking it from the dispatcher it was attached to.
    void attach(std::shared_ptr<UIGestureRecognizer> recognizer);
    /// Lets every recognizer go without calling anyone back (the owner may be half destroyed).
    void releaseAll() noexcept;
    /// Detaches `recognizer`, cancelling or failing it first.
    void detach(const std::shared_ptr<UIGestureRecognizer>& recognizer);

    std::weak_ptr<SCNView> view;
    std::vector<std::shared_ptr<UIGestureRecognizer>> recognizers;
    std::vector<UITouch> active;  ///< The touches down, with their latest locations.
    UITouchDispatcher::TouchHandler viewHandler;

private:
    void deliverToView(UITouchPhase phase, const std::vector<UITouch>& touches);
    void sendToView(UITouchPhase phase, const std::vector<UITouch>& touches);
    void flushHeld();
    [[nodiscard]] bool viewIsDelayed() const noexcept;
    void settle();

    int dispatching_ = 0;
    std::vector<std::pair<UITouchPhase, std::vector<UITouch>>> held_;  // events the view has not got yet
    std::vector<std::uint64_t> viewTouches_;                           // touches the view saw begin and not yet end
    bool viewCut_ = false;  // a recognizer took this touch sequence from the view
};

}  // namespace vantrel::detail
