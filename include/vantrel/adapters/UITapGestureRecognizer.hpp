#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <chrono>
#include <cstddef>

#include "vantrel/adapters/UIGestureRecognizer.hpp"
#include "vantrel/graph/CGFloat.hpp"

namespace vantrel {

/// Recognizes `numberOfTapsRequired` taps of `numberOfTouchesRequired` fingers each (discrete: it goes
/// straight to recognized, which is `ended`).
///
/// A tap is the required fingers going down and all lifting, none moving more than
/// `allowableMovement` points. Between taps the next must start within `tapInterval` of the last lift
/// and within `tapSlop` points of the first tap. The recognizer fails when a finger moves too far,
/// when more fingers than required touch, when a tap lifts with fewer fingers than required, when the
/// next tap is late or lands too far away. Its location is the centroid of the last tap's fingers.
class UITapGestureRecognizer : public UIGestureRecognizer {
public:
    /// How long after a lift the next tap of a multiple tap may start.
    static constexpr std::chrono::milliseconds tapInterval{350};
    /// How far (points) a finger may move during a tap.
    static constexpr CGFloat allowableMovement = 10.0;
    /// How far (points) the taps of a multiple tap may lie from the first.
    static constexpr CGFloat tapSlop = 45.0;

    /// A tap recognizer calling `action` (when given).
    explicit UITapGestureRecognizer(Action action = nullptr);

    /// Taps that make the gesture (1 by default).
    [[nodiscard]] std::size_t numberOfTapsRequired() const noexcept { return tapsRequired_; }
    /// Sets the taps that make the gesture; 0 counts as 1.
    void setNumberOfTapsRequired(std::size_t count) noexcept;
    /// Fingers each tap is made of (1 by default).
    [[nodiscard]] std::size_t numberOfTouchesRequired() const noexcept { return touchesRequired_; }
    /// Sets the fingers of each tap; 0 counts as 1.
    void setNumberOfTouchesRequired(std::size_t count) noexcept;

    /// The fingers of the tap in progress, or of the last tap until the recognizer resets.
    [[nodiscard]] std::size_t numberOfTouches() const noexcept override;

protected:
    void touchesBegan(const std::vector<UITouch>& touches) override;
    void touchesMoved(const std::vector<UITouch>& touches) override;
    void touchesEnded(const std::vector<UITouch>& touches) override;
    void reset() override;

private:
    std::size_t tapsRequired_ = 1;
    std::size_t touchesRequired_ = 1;
    std::size_t tapsDone_ = 0;
    std::size_t fingersInTap_ = 0;  // fingers that went down during the tap in progress
    std::size_t lastTapFingers_ = 0;
    CGPoint firstTap_;
};

}  // namespace vantrel

#pragma GCC visibility pop
