#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <chrono>
#include <cstddef>

#include "vantrel/adapters/UIGestureRecognizer.hpp"
#include "vantrel/graph/CGFloat.hpp"

namespace vantrel {

/// Recognizes fingers held down (continuous): it begins once `numberOfTouchesRequired` fingers have
/// stayed down for `minimumPressDuration` without moving more than `allowableMovement` points, then
/// changes on every move (any distance) and ends when a finger lifts.
///
/// Before it began, moving too far, lifting, or more fingers than required fail it.
class UILongPressGestureRecognizer : public UIGestureRecognizer {
public:
    /// Seconds, as the platform counts press durations.
    using Duration = std::chrono::duration<double>;

    /// A long-press recognizer calling `action` (when given).
    explicit UILongPressGestureRecognizer(Action action = nullptr);

    /// How long the fingers must stay down (0.5 s by default).
    [[nodiscard]] Duration minimumPressDuration() const noexcept { return minimumPressDuration_; }
    /// Sets how long the fingers must stay down; negative or non-finite values count as zero.
    void setMinimumPressDuration(Duration duration) noexcept;
    /// How far (points) a finger may move before the press began (10 by default).
    [[nodiscard]] CGFloat allowableMovement() const noexcept { return allowableMovement_; }
    /// Sets how far a finger may move before the press began; negative values count as zero.
    void setAllowableMovement(CGFloat points) noexcept;
    /// Fingers that make the press (1 by default).
    [[nodiscard]] std::size_t numberOfTouchesRequired() const noexcept { return touchesRequired_; }
    /// Sets the fingers that make the press; 0 counts as 1.
    void setNumberOfTouchesRequired(std::size_t count) noexcept;

protected:
    void touchesBegan(const std::vector<UITouch>& touches) override;
    void touchesMoved(const std::vector<UITouch>& touches) override;
    void touchesEnded(const std::vector<UITouch>& touches) override;

private:
    void pressLasted();

    Duration minimumPressDuration_{0.5};
    CGFloat allowableMovement_ = 10.0;
    std::size_t touchesRequired_ = 1;
};

}  // namespace vantrel

#pragma GCC visibility pop
