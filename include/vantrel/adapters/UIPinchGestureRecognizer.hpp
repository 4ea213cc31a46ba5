#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/adapters/UITwoTouchGestureRecognizer.hpp"
#include "vantrel/graph/CGFloat.hpp"

namespace vantrel {

/// Recognizes two fingers moving apart or together and reports the ratio of their distances.
///
/// The pinch follows the first two fingers down (others are ignored). It begins once their distance
/// has changed by more than `hysteresis` points; `scale` is then the current distance divided by the
/// distance when they went down (or at the last `setScale`, which rescales the reference). It ends when
/// one of the two fingers lifts; if they lift before it began, it fails.
class UIPinchGestureRecognizer : public UITwoTouchGestureRecognizer {
public:
    /// How far (points) the distance of the two fingers must change before the pinch begins.
    static constexpr CGFloat hysteresis = 8.0;

    /// A pinch recognizer calling `action` (when given).
    explicit UIPinchGestureRecognizer(Action action = nullptr);

    /// Current distance / reference distance (1 until the fingers move).
    [[nodiscard]] CGFloat scale() const noexcept { return scale_; }
    /// Makes the current scale read `scale` (1.0 for incremental handling); a non-positive or
    /// non-finite value is ignored.
    void setScale(CGFloat scale);
    /// How fast the scale changes, per second, from the last two moves.
    [[nodiscard]] CGFloat velocity() const noexcept { return velocity_; }

protected:
    void pairFormed() override;
    bool pairMoved() override;
    void reset() override;

private:
    CGFloat startDistance_ = 0.0;  // distance when the second finger landed
    CGFloat scale_ = 1.0;
    CGFloat referenceDistance_ = 0.0;  // distance that reads as scale 1 (rescaled by setScale)
    CGFloat velocity_ = 0.0;
    double lastMoveTime_ = 0.0;
};

}  // namespace vantrel

#pragma GCC visibility pop
