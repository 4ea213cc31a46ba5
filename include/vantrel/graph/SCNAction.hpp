#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <cstddef>
#include <memory>
#include <vector>

#include "vantrel/graph/SCNVector3.hpp"

namespace vantrel {

/// How an action's progress follows its elapsed time.
enum class SCNActionTimingMode {
    linear = 0,         ///< Progress proportional to time.
    easeIn = 1,         ///< Slow start.
    easeOut = 2,        ///< Slow end.
    easeInEaseOut = 3,  ///< Slow start and slow end.
};

/// A timed change that a node runs (`SCNNode::runAction`): a relative move, a pause, or a sequence,
/// group or repetition of other actions.
///
/// Actions move what the scene shows: running a finite action changes the node's model position at
/// once by the action's whole move, and the presentation catches up over the action's time. An action
/// that repeats forever leaves the model where it is and only moves the presentation; removing it
/// keeps the node where it was shown at that moment.
///
/// A node copies an action when it starts running it, so changing an action afterwards affects only
/// later runs.
class SCNAction {
public:
    virtual ~SCNAction();

    /// Moves a node by `delta` over `duration` seconds.
    [[nodiscard]] static std::shared_ptr<SCNAction> moveBy(const SCNVector3& delta, double duration);
    /// Does nothing for `duration` seconds.
    [[nodiscard]] static std::shared_ptr<SCNAction> wait(double duration);
    /// Runs `actions` one after another.
    [[nodiscard]] static std::shared_ptr<SCNAction> sequence(std::vector<std::shared_ptr<SCNAction>> actions);
    /// Runs `actions` together; it lasts as long as the longest of them.
    [[nodiscard]] static std::shared_ptr<SCNAction> group(std::vector<std::shared_ptr<SCNAction>> actions);
    /// Runs `action` `count` times in a row.
    [[nodiscard]] static std::shared_ptr<SCNAction> repeat(std::shared_ptr<SCNAction> action, std::size_t count);
    /// Runs `action` again and again until removed. Repeating an action that takes no time does
    /// nothing, since it could never advance.
    [[nodiscard]] static std::shared_ptr<SCNAction> repeatForever(std::shared_ptr<SCNAction> action);

    /// Length in seconds; infinite for an action that repeats forever.
    [[nodiscard]] double duration() const;
    /// True when the action ends by itself.
    [[nodiscard]] bool isFinite() const;
    /// How progress follows time (linear by default).
    [[nodiscard]] SCNActionTimingMode timingMode() const noexcept { return timingMode_; }
    /// Sets how progress follows time.
    void setTimingMode(SCNActionTimingMode mode) noexcept { timingMode_ = mode; }

    /// The move this action has made after `elapsed` seconds (clamped to 0…duration).
    [[nodiscard]] SCNVector3 translationAt(double elapsed) const;
    /// The move of one complete run; zero for an action that repeats forever.
    [[nodiscard]] SCNVector3 totalTranslation() const;

    /// A deep copy.
    [[nodiscard]] virtual std::shared_ptr<SCNAction> copy() const = 0;

protected:
    SCNAction() = default;
    SCNAction(const SCNAction&) = default;
    SCNAction& operator=(const SCNAction&) = default;

    /// Length in seconds, before timing.
    [[nodiscard]] virtual double rawDuration() const = 0;
    /// The move after `elapsed` seconds of the action's own (already timed) clock.
    [[nodiscard]] virtual SCNVector3 rawTranslationAt(double elapsed) const = 0;
    /// The move of one complete run.
    [[nodiscard]] virtual SCNVector3 rawTotalTranslation() const = 0;

private:
    SCNActionTimingMode timingMode_ = SCNActionTimingMode::linear;
};

}  // namespace vantrel

#pragma GCC visibility pop
