#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/adapters/UITwoTouchGestureRecognizer.hpp"
#include "vantrel/graph/CGFloat.hpp"

namespace vantrel {

/// Recognizes two fingers turning about each other and reports the angle turned, in radians.
///
/// The rotation follows the first two fingers down (others are ignored) and measures the angle of the
/// line from the first to the second. It begins once that line has turned by more than `hysteresis`
/// radians; `rotation` is then the angle turned since the fingers went down (or since the last
/// `setRotation`), positive clockwise on screen (y downwards), unwrapped so that turns beyond half a
/// revolution accumulate. It ends when one of the two fingers lifts; before it began, that fails it.
class UIRotationGestureRecognizer : public UITwoTouchGestureRecognizer {
public:
    /// How far (radians) the fingers must turn before the rotation begins.
    static constexpr CGFloat hysteresis = 0.09;

    /// A rotation recognizer calling `action` (when given).
    explicit UIRotationGestureRecognizer(Action action = nullptr);

    /// The angle turned, in radians, clockwise positive.
    [[nodiscard]] CGFloat rotation() const noexcept { return rotation_; }
    /// Makes the current rotation read `rotation` (0 for incremental handling); non-finite values are ignored.
    void setRotation(CGFloat rotation);
    /// How fast the angle changes, radians per second, from the last two moves.
    [[nodiscard]] CGFloat velocity() const noexcept { return velocity_; }

protected:
    void pairFormed() override;
    bool pairMoved() override;
    void reset() override;

private:
    CGFloat lastAngle_ = 0.0;  // line angle at the last move
    CGFloat turned_ = 0.0;     // total turn since the fingers went down
    CGFloat rotation_ = 0.0;
    CGFloat velocity_ = 0.0;
    double lastMoveTime_ = 0.0;
};

}  // namespace vantrel

#pragma GCC visibility pop
